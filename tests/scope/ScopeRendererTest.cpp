#include "scope/ScopeRenderer.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace {

using TPoint = TScopeRenderer::TPoint;

// An opaque pixel 0xFFRRGGBB.
constexpr std::uint32_t Rgb(std::uint32_t R, std::uint32_t G, std::uint32_t B) {
  return 0xFF000000u | R << 16 | G << 8 | B;
}

const std::uint32_t Trace = TScopeRenderer::ToPixel(TScopeRenderer::DefaultTraceColor);
const std::uint32_t Grid = TScopeRenderer::ToPixel(TScopeRenderer::DefaultGridColor);
const std::uint32_t Back = TScopeRenderer::ToPixel(TScopeRenderer::DefaultBackColor);

TScopeSamples Flat(std::uint8_t Value) {
  TScopeSamples S;
  S.fill(Value);
  return S;
}

std::vector<int> ColumnsOfColor(const TPixelImage& Image, int Row, std::uint32_t Color) {
  std::vector<int> Found;
  for (int X = 0; X < Image.Width(); ++X)
    if (Image.Pixel(X, Row) == Color)
      Found.push_back(X);
  return Found;
}

std::vector<int> RowsOfColor(const TPixelImage& Image, int Column, std::uint32_t Color) {
  std::vector<int> Found;
  for (int Y = 0; Y < Image.Height(); ++Y)
    if (Image.Pixel(Column, Y) == Color)
      Found.push_back(Y);
  return Found;
}

TEST(ScopeRenderer, DefaultColours) {
  EXPECT_EQ(Trace, Rgb(0, 255, 0));
  EXPECT_EQ(Grid, Rgb(128, 128, 128));
  EXPECT_EQ(Back, Rgb(0, 128, 128));
  // Red sits in the low byte; the top byte is ignored.
  EXPECT_EQ(TScopeRenderer::ToPixel(0x0000FF), Rgb(255, 0, 0));
  EXPECT_EQ(TScopeRenderer::ToPixel(0xFF563412), Rgb(0x12, 0x34, 0x56));
}

TEST(ScopeRenderer, GridOfTheDesignedSize) {
  TScopeRenderer R;
  R.ScopePaint(Flat(127), 615, 284);
  const TPixelImage& B = R.Bitmap();
  ASSERT_EQ(B.Width(), 615);
  ASSERT_EQ(B.Height(), 284);
  std::vector<int> Columns;
  for (int I = 0; I < 25; ++I)
    Columns.push_back(static_cast<int>(I * 24.6));
  ASSERT_EQ(Columns[3], 73);
  ASSERT_EQ(Columns[24], 590);
  // Row 20 crosses no row line and no trace: grid columns only.
  EXPECT_EQ(ColumnsOfColor(B, 20, Grid), Columns);
  EXPECT_EQ(ColumnsOfColor(B, 20, Back).size(), 615u - 25u);
  // Column 10 crosses no column line: grid rows and the flat trace.
  EXPECT_EQ(RowsOfColor(B, 10, Grid), (std::vector<int>{0, 35, 71, 106, 142, 177, 213, 248}));
}

TEST(ScopeRenderer, FlatLineAfterResetLiesOnBitmapRow141) {
  TScopeRenderer R;
  R.ScopePaint(Flat(127), 615, 284);
  const TPixelImage& B = R.Bitmap();
  for (int X : {10, 300, 600})
    EXPECT_EQ(B.Pixel(X, 141), Trace) << X;
  // Pen width 2: the rows around it, and nothing further away.
  const auto Rows = RowsOfColor(B, 300, Trace);
  ASSERT_FALSE(Rows.empty());
  EXPECT_GE(Rows.front(), 139);
  EXPECT_LE(Rows.back(), 143);
  EXPECT_LE(Rows.size(), 3u);
  // The trace spans the full width of the bitmap.
  EXPECT_EQ(B.Pixel(1, 141), Trace);
  EXPECT_EQ(B.Pixel(613, 141), Trace);
}

TEST(ScopeRenderer, TraceColourFollowsTheSettings) {
  TScopeRenderer R;
  R.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  R.ScopePaint(Flat(127), 615, 284);
  EXPECT_EQ(R.Bitmap().Pixel(300, 141), Rgb(255, 0, 0));
  EXPECT_EQ(R.Bitmap().Pixel(24, 20), Rgb(255, 255, 255));
  EXPECT_EQ(R.Bitmap().Pixel(30, 20), Rgb(0, 0, 0));
}

TEST(ScopeRenderer, ScreenLeavesOutTheBandsAndStretches) {
  TScopeRenderer R;
  const TPixelImage& S = R.ScopePaint(Flat(127), 615, 284);
  ASSERT_EQ(S.Width(), 615);
  ASSERT_EQ(S.Height(), 284);
  // 25 columns with a line on the left edge.
  EXPECT_EQ(S.Pixel(0, 20), Grid);
  EXPECT_EQ(ColumnsOfColor(S, 20, Grid).size(), 25u);
  // Row line 0 lies in the top band: the screen shows the 7 inner row lines.
  std::vector<int> Runs;
  int Previous = -2;
  for (int Y : RowsOfColor(S, 10, Grid)) {
    if (Y != Previous + 1)
      Runs.push_back(Y);
    Previous = Y;
  }
  EXPECT_EQ(Runs.size(), 7u);
  EXPECT_NE(S.Pixel(10, 0), Grid);
  // Top row shows bitmap row 5, the bottom row bitmap row H - 6; rows in
  // between are bitmap rows in order, stretched by H / (H - 10).
  const TPixelImage& B = R.Bitmap();
  auto SameRow = [&](int ScreenRow, int BitmapRow) {
    return std::equal(S.Row(ScreenRow), S.Row(ScreenRow) + 615, B.Row(BitmapRow));
  };
  EXPECT_TRUE(SameRow(0, 5));
  EXPECT_TRUE(SameRow(283, 278));
  // Bitmap row 142 (a grid row) lands on screen at about (142 - 5) * 284 / 274.
  EXPECT_EQ(S.Pixel(10, 142), Grid);
  EXPECT_NE(S.Pixel(10, 137), Grid);
}

TEST(ScopeRenderer, ValuesInTheTopBandAreNotOnTheScreen) {
  TScopeRenderer R;
  // Stored 4 lands in bitmap row 4: outside the screen copy.
  const TPixelImage& Hidden = R.ScopePaint(Flat(4), 615, 284);
  EXPECT_TRUE(ColumnsOfColor(Hidden, 0, Trace).empty());
  for (int Y = 0; Y < 284; ++Y)
    ASSERT_EQ(Hidden.Pixel(300, Y) == Trace, false) << Y;
  // Stored 5 lands in bitmap row 5, the top row on the screen.
  const TPixelImage& Shown = R.ScopePaint(Flat(5), 615, 284);
  EXPECT_EQ(Shown.Pixel(300, 0), Trace);
}

TEST(ScopeRenderer, RisingTraceFromBottomToTop) {
  TScopeSamples S;
  for (int I = 0; I < 256; ++I)
    S[I] = static_cast<std::uint8_t>(256 - I); // stored form of a received ramp 0..255
  TScopeRenderer R;
  R.ScopePaint(S, 615, 284);
  const auto& P = R.Points();
  EXPECT_EQ(P[0], (TPoint{0, 0}));
  EXPECT_EQ(P[1].X, 2);
  EXPECT_GE(P[1].Y, 283); // stored 255: at y = H or just above it
  EXPECT_EQ(P[255].Y, 1);
  EXPECT_GE(P[255].X, 614);
  for (int I = 2; I < 256; ++I)
    ASSERT_LE(P[I].Y, P[I - 1].Y) << I;
}

TEST(ScopeRenderer, TraceIsConnectedAndStaysOnItsSegments) {
  // Steep jumps, flat runs and random values: every row a segment passes
  // through holds a trace pixel within the segment's columns, and no trace
  // pixel lies outside the box of its two points widened by the pen.
  std::uint32_t Seed = 7;
  for (int Round = 0; Round < 20; ++Round) {
    TScopeSamples S;
    for (int I = 0; I < 256; ++I) {
      Seed = Seed * 1103515245 + 12345;
      S[I] = Round % 2 ? static_cast<std::uint8_t>(Seed >> 16) : (I / 16 % 2 ? 250 : 3);
    }
    TScopeRenderer R;
    R.SetColors(0x0000FF, 0x808080, 0x000000);
    const int W = Round < 10 ? 615 : 301;
    const int H = Round < 10 ? 284 : 97;
    R.ScopePaint(S, W, H);
    const TPixelImage& B = R.Bitmap();
    const std::uint32_t Red = Rgb(255, 0, 0);
    const auto& P = R.Points();
    for (int I = 1; I < 256; ++I) {
      const int X0 = std::min(P[I - 1].X, P[I].X);
      const int X1 = std::max(P[I - 1].X, P[I].X);
      const int Y0 = std::min(P[I - 1].Y, P[I].Y);
      const int Y1 = std::min(std::max(P[I - 1].Y, P[I].Y), H - 1);
      for (int Y = Y0; Y <= Y1; ++Y) {
        bool Found = false;
        for (int X = std::max(X0 - 1, 0); X <= std::min(X1, W - 1) && !Found; ++X)
          Found = B.Pixel(X, Y) == Red;
        ASSERT_TRUE(Found) << "round " << Round << ", segment " << I << ", row " << Y;
      }
    }
    std::vector<std::uint8_t> Allowed(static_cast<std::size_t>(W) * H, 0);
    for (int I = 0; I < 256; ++I) {
      const TPoint A = P[I > 0 ? I - 1 : 0];
      for (int Y = std::min(A.Y, P[I].Y) - 1; Y <= std::max(A.Y, P[I].Y); ++Y)
        for (int X = std::min(A.X, P[I].X) - 1; X <= std::max(A.X, P[I].X); ++X)
          if (X >= 0 && X < W && Y >= 0 && Y < H)
            Allowed[static_cast<std::size_t>(Y) * W + X] = 1;
    }
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X)
        if (B.Pixel(X, Y) == Red) {
          ASSERT_TRUE(Allowed[static_cast<std::size_t>(Y) * W + X]) << X << "," << Y;
        }
  }
}

TEST(ScopeRenderer, EnlargedAreaEnlargesBitmapAndGrid) {
  TScopeRenderer R;
  R.ScopePaint(Flat(127), 615, 284);
  const TPixelImage& S = R.ScopePaint(Flat(127), 1000, 700);
  EXPECT_EQ(S.Width(), 1000);
  EXPECT_EQ(S.Height(), 700);
  EXPECT_EQ(R.Bitmap().Width(), 1000);
  EXPECT_EQ(R.Bitmap().Height(), 700);
  EXPECT_EQ(ColumnsOfColor(R.Bitmap(), 20, Grid).size(), 25u);
  EXPECT_EQ(R.Bitmap().Pixel(40, 20), Grid);
  // 127 * 700 / 255 = 348.6
  EXPECT_EQ(R.Bitmap().Pixel(998, 348), Trace);
}

TEST(ScopeRenderer, SmallHeightsShowTheBackgroundOnly) {
  for (int H : {1, 5, 9, 10}) {
    SCOPED_TRACE(H);
    TScopeRenderer R;
    const TPixelImage& S = R.ScopePaint(Flat(127), 300, H);
    ASSERT_EQ(S.Width(), 300);
    ASSERT_EQ(S.Height(), H);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < 300; ++X)
        ASSERT_EQ(S.Pixel(X, Y), Back);
  }
  // Height 11 has one source row: it is shown, stretched over the area.
  TScopeRenderer R;
  const TPixelImage& S = R.ScopePaint(Flat(127), 300, 11);
  for (int Y = 0; Y < 11; ++Y)
    EXPECT_TRUE(std::equal(S.Row(Y), S.Row(Y) + 300, R.Bitmap().Row(5))) << Y;
}

TEST(ScopeRenderer, EmptyAreaGivesAnEmptyPicture) {
  TScopeRenderer R;
  EXPECT_TRUE(R.ScopePaint(Flat(127), 0, 284).IsEmpty());
  EXPECT_TRUE(R.ScopePaint(Flat(127), 615, 0).IsEmpty());
  EXPECT_TRUE(R.ScopePaint(Flat(127), -3, -3).IsEmpty());
  // More than an image can hold: nothing is drawn, nothing is written.
  EXPECT_TRUE(R.ScopePaint(Flat(127), 1 << 30, 1 << 20).IsEmpty());
  EXPECT_FALSE(R.ScopePaint(Flat(127), 20, 20).IsEmpty());
}

// Pixels X .. X+W-1, Y .. Y+H-1 of Image.
TPixelImage Part(const TPixelImage& Image, int X, int Y, int W, int H) {
  TPixelImage Out(W, H);
  for (int Row = 0; Row < H; ++Row)
    std::copy(Image.Row(Y + Row) + X, Image.Row(Y + Row) + X + W, Out.Row(Row));
  return Out;
}

// Image with every pixel a Scale x Scale block.
TPixelImage Enlarged(const TPixelImage& Image, int Scale) {
  TPixelImage Out(Image.Width() * Scale, Image.Height() * Scale);
  for (int Y = 0; Y < Out.Height(); ++Y)
    for (int X = 0; X < Out.Width(); ++X)
      Out.SetPixel(X, Y, Image.Pixel(X / Scale, Y / Scale));
  return Out;
}

TScopeSamples Wild() {
  TScopeSamples S;
  for (int I = 0; I < ScopeSampleCount; ++I)
    S[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>((I * 97 + (I % 7) * 61) % 256);
  return S;
}

TScopeSamples Sawtooth() {
  TScopeSamples S;
  for (int I = 0; I < ScopeSampleCount; ++I)
    S[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(I % 2 ? 0 : 255);
  return S;
}

TEST(ScopeRenderer, ComposingIntoAFrontEndsPixelsGivesTheExportedPictureExactly) {
  // The screen composed straight into a larger buffer at an offset (a
  // window's backing store), with no bitmap in between, is the very picture
  // the export draws through the bitmap, at every size and for every trace;
  // what lies around the area stays untouched.
  constexpr std::uint32_t Around = 0xFF010203u;
  const struct {
    int W, H;
  } Sizes[] = {{615, 284}, {1000, 700}, {1, 1},    {300, 10}, {300, 11},
               {300, 12},  {255, 13},   {256, 37}, {17, 600}, {1920, 1080}};
  for (const auto Size : Sizes)
    for (const TScopeSamples& Samples : {Flat(127), Flat(0), Wild(), Sawtooth()}) {
      SCOPED_TRACE(testing::Message() << Size.W << "x" << Size.H);
      const TPixelImage Expected = TScopeRenderer().ScopePaint(Samples, Size.W, Size.H);
      TPixelImage Store(Size.W + 9, Size.H + 5, Around);
      TScopeRenderer R;
      EXPECT_TRUE(R.ComposeScreen({Store.Row(3) + 7, Store.Stride()}, Samples, Size.W, Size.H));
      ASSERT_EQ(Part(Store, 7, 3, Size.W, Size.H), Expected);
      TPixelImage Outside = Store;
      for (int Y = 3; Y < 3 + Size.H; ++Y)
        std::fill(Outside.Row(Y) + 7, Outside.Row(Y) + 7 + Size.W, Around);
      ASSERT_EQ(Outside, TPixelImage(Store.Width(), Store.Height(), Around));
    }
}

TEST(ScopeRenderer, ARetainedTargetGetsOnlyTheTracesRedrawnAndStillTheWholePicture) {
  // A target that keeps the last picture (a backing store) gets the last
  // trace's pixels put back and the new trace drawn, at scale 1 and at a
  // display's scale of 2 (each pixel a 2 x 2 block). Every picture of a run
  // of different traces must still be the exported one exactly.
  std::vector<TScopeSamples> Traces = {Flat(127), Flat(0), Flat(255), Wild(), Sawtooth()};
  for (int Shift : {0, 40, 90}) {
    TScopeSamples S;
    for (int I = 0; I < ScopeSampleCount; ++I)
      S[static_cast<std::size_t>(I)] =
          static_cast<std::uint8_t>((I * (7 + Shift) + Shift * Shift + (I % 5) * 53) % 256);
    Traces.push_back(S);
  }
  const auto Exact = [](const TScopeSamples& Samples) {
    return TScopeRenderer().ScopePaint(Samples, 615, 284);
  };
  for (int Scale : {1, 2}) {
    SCOPED_TRACE(Scale);
    TScopeRenderer R;
    TPixelImage Store(615 * Scale + 5, 284 * Scale + 4, 0xFF010203u);
    const TPixelTarget Target{Store.Row(2) + 3, Store.Stride(), Scale, 1};
    const auto PaintAndCheck = [&](const TScopeSamples& Samples, bool ExpectWhole) {
      // The rows above the area and the columns left of it stay as they were.
      const TPixelImage Above = Part(Store, 0, 0, Store.Width(), 2);
      const TPixelImage Left = Part(Store, 0, 0, 3, Store.Height());
      EXPECT_EQ(R.ComposeScreen(Target, Samples, 615, 284, TTargetKeeps::tkLastPicture),
                ExpectWhole);
      EXPECT_EQ(Part(Store, 3, 2, 615 * Scale, 284 * Scale), Enlarged(Exact(Samples), Scale));
      EXPECT_EQ(Part(Store, 0, 0, Store.Width(), 2), Above);
      EXPECT_EQ(Part(Store, 0, 0, 3, Store.Height()), Left);
    };
    PaintAndCheck(Traces[0], true);
    for (std::size_t I = 1; I < Traces.size(); ++I) {
      SCOPED_TRACE(I);
      PaintAndCheck(Traces[I], false);
      PaintAndCheck(Traces[I - 1], false);
    }
    // The export at another size changes the prepared rows: the next paint
    // draws everything again.
    R.ScopePaint(Traces[3], 400, 200);
    PaintAndCheck(Traces[4], true);
    PaintAndCheck(Traces[5], false);
    // A target cleared since (the last trace is no longer there), another
    // buffer, a target said to hold nothing or only part: everything again.
    Store.Fill(0);
    PaintAndCheck(Traces[6], true);
    EXPECT_TRUE(R.ComposeScreen({Target.Pixels, Target.Stride, Scale, 2}, Traces[3], 615, 284,
                                TTargetKeeps::tkLastPicture));
    EXPECT_TRUE(R.ComposeScreen(Target, Traces[4], 615, 284, TTargetKeeps::tkPartOfLastPicture));
    PaintAndCheck(Traces[5], false);
    EXPECT_TRUE(R.ComposeScreen(Target, Traces[6], 615, 284, TTargetKeeps::tkNothing));
    PaintAndCheck(Traces[7], true);
    // Another colour: everything again, in the new colours.
    R.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
    EXPECT_TRUE(R.ComposeScreen(Target, Traces[3], 615, 284, TTargetKeeps::tkLastPicture));
    TScopeRenderer Red;
    Red.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
    EXPECT_EQ(Part(Store, 3, 2, 615 * Scale, 284 * Scale),
              Enlarged(Red.ScopePaint(Traces[3], 615, 284), Scale));
  }
}

} // namespace
