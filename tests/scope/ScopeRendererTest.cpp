#include "scope/ScopeRenderer.h"

#include <set>
#include <vector>

#include <QPaintEngine>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QRgb Trace = TScopeRenderer::ToRgb(TScopeRenderer::DefaultTraceColor);
const QRgb Grid = TScopeRenderer::ToRgb(TScopeRenderer::DefaultGridColor);
const QRgb Back = TScopeRenderer::ToRgb(TScopeRenderer::DefaultBackColor);

TScopeSamples Flat(std::uint8_t Value) {
  TScopeSamples S;
  S.fill(Value);
  return S;
}

std::vector<int> ColumnsOfColor(const QImage& Image, int Row, QRgb Color) {
  std::vector<int> Found;
  for (int X = 0; X < Image.width(); ++X)
    if (Image.pixel(X, Row) == Color)
      Found.push_back(X);
  return Found;
}

std::vector<int> RowsOfColor(const QImage& Image, int Column, QRgb Color) {
  std::vector<int> Found;
  for (int Y = 0; Y < Image.height(); ++Y)
    if (Image.pixel(Column, Y) == Color)
      Found.push_back(Y);
  return Found;
}

TEST(ScopeRenderer, DefaultColours) {
  EXPECT_EQ(Trace, qRgb(0, 255, 0));
  EXPECT_EQ(Grid, qRgb(128, 128, 128));
  EXPECT_EQ(Back, qRgb(0, 128, 128));
  // Red sits in the low byte; the top byte is ignored.
  EXPECT_EQ(TScopeRenderer::ToRgb(0x0000FF), qRgb(255, 0, 0));
  EXPECT_EQ(TScopeRenderer::ToRgb(0xFF563412), qRgb(0x12, 0x34, 0x56));
}

TEST(ScopeRenderer, GridOfTheDesignedSize) {
  TScopeRenderer R;
  R.ScopePaint(Flat(127), 615, 284);
  const QImage& B = R.Bitmap();
  ASSERT_EQ(B.size(), QSize(615, 284));
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
  const QImage& B = R.Bitmap();
  for (int X : {10, 300, 600})
    EXPECT_EQ(B.pixel(X, 141), Trace) << X;
  // Pen width 2: the rows around it, and nothing further away.
  const auto Rows = RowsOfColor(B, 300, Trace);
  ASSERT_FALSE(Rows.empty());
  EXPECT_GE(Rows.front(), 139);
  EXPECT_LE(Rows.back(), 143);
  EXPECT_LE(Rows.size(), 3u);
  // The trace spans the full width of the bitmap.
  EXPECT_EQ(B.pixel(1, 141), Trace);
  EXPECT_EQ(B.pixel(613, 141), Trace);
}

TEST(ScopeRenderer, TraceColourFollowsTheSettings) {
  TScopeRenderer R;
  R.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  R.ScopePaint(Flat(127), 615, 284);
  EXPECT_EQ(R.Bitmap().pixel(300, 141), qRgb(255, 0, 0));
  EXPECT_EQ(R.Bitmap().pixel(24, 20), qRgb(255, 255, 255));
  EXPECT_EQ(R.Bitmap().pixel(30, 20), qRgb(0, 0, 0));
}

TEST(ScopeRenderer, ScreenLeavesOutTheBandsAndStretches) {
  TScopeRenderer R;
  const QImage& S = R.ScopePaint(Flat(127), 615, 284);
  ASSERT_EQ(S.size(), QSize(615, 284));
  // 25 columns with a line on the left edge.
  EXPECT_EQ(S.pixel(0, 20), Grid);
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
  EXPECT_NE(S.pixel(10, 0), Grid);
  // Top row shows bitmap row 5, the bottom row bitmap row H - 6; rows in
  // between are bitmap rows in order, stretched by H / (H - 10).
  const QImage& B = R.Bitmap();
  auto SameRow = [&](int ScreenRow, int BitmapRow) {
    return std::equal(reinterpret_cast<const QRgb*>(S.constScanLine(ScreenRow)),
                      reinterpret_cast<const QRgb*>(S.constScanLine(ScreenRow)) + 615,
                      reinterpret_cast<const QRgb*>(B.constScanLine(BitmapRow)));
  };
  EXPECT_TRUE(SameRow(0, 5));
  EXPECT_TRUE(SameRow(283, 278));
  // Bitmap row 142 (a grid row) lands on screen at about (142 - 5) * 284 / 274.
  EXPECT_EQ(S.pixel(10, 142), Grid);
  EXPECT_NE(S.pixel(10, 137), Grid);
}

TEST(ScopeRenderer, ValuesInTheTopBandAreNotOnTheScreen) {
  TScopeRenderer R;
  // Stored 4 lands in bitmap row 4: outside the screen copy.
  const QImage& Hidden = R.ScopePaint(Flat(4), 615, 284);
  EXPECT_TRUE(ColumnsOfColor(Hidden, 0, Trace).empty());
  for (int Y = 0; Y < 284; ++Y)
    ASSERT_EQ(Hidden.pixel(300, Y) == Trace, false) << Y;
  // Stored 5 lands in bitmap row 5, the top row on the screen.
  const QImage& Shown = R.ScopePaint(Flat(5), 615, 284);
  EXPECT_EQ(Shown.pixel(300, 0), Trace);
}

TEST(ScopeRenderer, RisingTraceFromBottomToTop) {
  TScopeSamples S;
  for (int I = 0; I < 256; ++I)
    S[I] = static_cast<std::uint8_t>(256 - I); // stored form of a received ramp 0..255
  TScopeRenderer R;
  R.ScopePaint(S, 615, 284);
  const auto& P = R.Points();
  EXPECT_EQ(P[0], QPoint(0, 0));
  EXPECT_EQ(P[1].x(), 2);
  EXPECT_GE(P[1].y(), 283); // stored 255: at y = H or just above it
  EXPECT_EQ(P[255].y(), 1);
  EXPECT_GE(P[255].x(), 614);
  for (int I = 2; I < 256; ++I)
    ASSERT_LE(P[I].y(), P[I - 1].y()) << I;
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
    const QImage& B = R.Bitmap();
    const QRgb Red = qRgb(255, 0, 0);
    const auto& P = R.Points();
    for (int I = 1; I < 256; ++I) {
      const int X0 = std::min(P[I - 1].x(), P[I].x());
      const int X1 = std::max(P[I - 1].x(), P[I].x());
      const int Y0 = std::min(P[I - 1].y(), P[I].y());
      const int Y1 = std::min(std::max(P[I - 1].y(), P[I].y()), H - 1);
      for (int Y = Y0; Y <= Y1; ++Y) {
        bool Found = false;
        for (int X = std::max(X0 - 1, 0); X <= std::min(X1, W - 1) && !Found; ++X)
          Found = B.pixel(X, Y) == Red;
        ASSERT_TRUE(Found) << "round " << Round << ", segment " << I << ", row " << Y;
      }
    }
    std::vector<std::uint8_t> Allowed(static_cast<std::size_t>(W) * H, 0);
    for (int I = 0; I < 256; ++I) {
      const QPoint A = P[I > 0 ? I - 1 : 0];
      for (int Y = std::min(A.y(), P[I].y()) - 1; Y <= std::max(A.y(), P[I].y()); ++Y)
        for (int X = std::min(A.x(), P[I].x()) - 1; X <= std::max(A.x(), P[I].x()); ++X)
          if (X >= 0 && X < W && Y >= 0 && Y < H)
            Allowed[static_cast<std::size_t>(Y) * W + X] = 1;
    }
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X)
        if (B.pixel(X, Y) == Red) {
          ASSERT_TRUE(Allowed[static_cast<std::size_t>(Y) * W + X]) << X << "," << Y;
        }
  }
}

TEST(ScopeRenderer, EnlargedAreaEnlargesBitmapAndGrid) {
  TScopeRenderer R;
  R.ScopePaint(Flat(127), 615, 284);
  const QImage& S = R.ScopePaint(Flat(127), 1000, 700);
  EXPECT_EQ(S.size(), QSize(1000, 700));
  EXPECT_EQ(R.Bitmap().size(), QSize(1000, 700));
  EXPECT_EQ(ColumnsOfColor(R.Bitmap(), 20, Grid).size(), 25u);
  EXPECT_EQ(R.Bitmap().pixel(40, 20), Grid);
  // 127 * 700 / 255 = 348.6
  EXPECT_EQ(R.Bitmap().pixel(998, 348), Trace);
}

TEST(ScopeRenderer, SmallHeightsShowTheBackgroundOnly) {
  for (int H : {1, 5, 9, 10}) {
    SCOPED_TRACE(H);
    TScopeRenderer R;
    const QImage& S = R.ScopePaint(Flat(127), 300, H);
    ASSERT_EQ(S.size(), QSize(300, H));
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < 300; ++X)
        ASSERT_EQ(S.pixel(X, Y), Back);
  }
  // Height 11 has one source row: it is shown, stretched over the area.
  TScopeRenderer R;
  const QImage& S = R.ScopePaint(Flat(127), 300, 11);
  for (int Y = 0; Y < 11; ++Y)
    EXPECT_EQ(S.copy(0, Y, 300, 1), R.Bitmap().copy(0, 5, 300, 1)) << Y;
}

TEST(ScopeRenderer, EmptyAreaGivesAnEmptyPicture) {
  TScopeRenderer R;
  EXPECT_TRUE(R.ScopePaint(Flat(127), 0, 284).isNull());
  EXPECT_TRUE(R.ScopePaint(Flat(127), 615, 0).isNull());
  EXPECT_TRUE(R.ScopePaint(Flat(127), -3, -3).isNull());
  // More than an image can hold: nothing is drawn, nothing is written.
  EXPECT_TRUE(R.ScopePaint(Flat(127), 1 << 30, 1 << 20).isNull());
  EXPECT_FALSE(R.ScopePaint(Flat(127), 20, 20).isNull());
}

TEST(ScopeRenderer, PaintingOntoAPainterGivesTheExportedPictureExactly) {
  // The screen is composed straight into the painter's pixels, with no bitmap
  // in between; it must be the very picture the export draws through the
  // bitmap, pixel for pixel, at every size and for every trace.
  TScopeSamples Wild;
  for (int I = 0; I < ScopeSampleCount; ++I)
    Wild[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>((I * 97 + (I % 7) * 61) % 256);
  TScopeSamples Sawtooth;
  for (int I = 0; I < ScopeSampleCount; ++I)
    Sawtooth[static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(I % 2 ? 0 : 255);
  const QSize Sizes[] = {{615, 284}, {1000, 700}, {1, 1},    {300, 10}, {300, 11},
                         {300, 12},  {255, 13},   {256, 37}, {17, 600}, {1920, 1080}};
  for (const QSize Size : Sizes)
    for (const TScopeSamples& Samples : {Flat(127), Flat(0), Wild, Sawtooth}) {
      SCOPED_TRACE(testing::Message() << Size.width() << "x" << Size.height());
      TScopeRenderer Exact;
      const QImage Expected = Exact.ScopePaint(Samples, Size.width(), Size.height());
      // Into a larger image at an offset, as a widget's painter in its
      // window's backing store: what lies around the area stays untouched.
      TScopeRenderer R;
      QImage Target(Size + QSize(9, 5), QImage::Format_ARGB32_Premultiplied);
      Target.fill(qRgb(1, 2, 3));
      {
        QPainter P(&Target);
        P.translate(7, 3);
        R.ScopePaint(P, Samples, Size.width(), Size.height());
      }
      ASSERT_TRUE(R.LastPaintDirect());
      ASSERT_EQ(Target.copy(QRect(QPoint(7, 3), Size)).convertToFormat(QImage::Format_RGB32),
                Expected);
      QImage Around = Target.convertToFormat(QImage::Format_RGB32);
      QPainter(&Around).fillRect(QRect(QPoint(7, 3), Size), qRgb(1, 2, 3));
      QImage Untouched(Target.size(), QImage::Format_RGB32);
      Untouched.fill(qRgb(1, 2, 3));
      ASSERT_EQ(Around, Untouched);
    }
  // A painter that scales by a whole number (a display with a device pixel
  // ratio of 2) gets the picture composed straight, each pixel a 2 x 2 block,
  // also when only the traces are redrawn; a fractional scale gets it drawn
  // as an image.
  TScopeRenderer R;
  QImage Scaled(1240, 578, QImage::Format_RGB32);
  Scaled.fill(qRgb(1, 2, 3));
  for (const TScopeSamples& Samples : {Wild, Sawtooth, Flat(127), Wild}) {
    {
      QPainter P(&Scaled);
      P.translate(3, 2);
      P.scale(2, 2);
      R.ScopePaint(P, Samples, 615, 284, true);
    }
    EXPECT_TRUE(R.LastPaintDirect());
    EXPECT_EQ(Scaled.copy(3, 2, 1230, 568),
              TScopeRenderer().ScopePaint(Samples, 615, 284).scaled(1230, 568));
  }
  EXPECT_FALSE(R.LastPaintWhole());
  const QImage Expected = TScopeRenderer().ScopePaint(Wild, 615, 284);
  QImage Fractional(923, 426, QImage::Format_RGB32);
  Fractional.fill(qRgb(1, 2, 3));
  QImage Reference = Fractional.copy();
  {
    QPainter P(&Fractional);
    P.scale(1.5, 1.5);
    R.ScopePaint(P, Wild, 615, 284, true);
    QPainter Q(&Reference);
    Q.scale(1.5, 1.5);
    Q.drawImage(QRect(0, 0, 615, 284), Expected);
  }
  EXPECT_FALSE(R.LastPaintDirect());
  EXPECT_EQ(Fractional, Reference);
}

TEST(ScopeRenderer, ARetainedTargetGetsOnlyTheTracesRedrawnAndStillTheWholePicture) {
  // A widget's backing store keeps the last picture: the next paint puts back
  // the last trace's pixels and draws the new trace. Every picture in a run
  // of different traces must still be the exported one exactly.
  std::vector<TScopeSamples> Traces = {Flat(127), Flat(0), Flat(255)};
  for (int Shift : {0, 40, 90}) {
    TScopeSamples S;
    for (int I = 0; I < ScopeSampleCount; ++I)
      S[static_cast<std::size_t>(I)] =
          static_cast<std::uint8_t>((I * (7 + Shift) + Shift * Shift + (I % 5) * 53) % 256);
    Traces.push_back(S);
  }
  TScopeRenderer R;
  QImage Target(640, 300, QImage::Format_RGB32);
  Target.fill(qRgb(1, 2, 3));
  const auto PaintAndCheck = [&](const TScopeSamples& Samples, bool ExpectWhole) {
    {
      QPainter P(&Target);
      P.translate(3, 2);
      R.ScopePaint(P, Samples, 615, 284, true);
    }
    EXPECT_TRUE(R.LastPaintDirect());
    EXPECT_EQ(R.LastPaintWhole(), ExpectWhole);
    EXPECT_EQ(Target.copy(3, 2, 615, 284), TScopeRenderer().ScopePaint(Samples, 615, 284));
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
  // Another colour: everything again.
  R.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  {
    QPainter P(&Target);
    P.translate(3, 2);
    R.ScopePaint(P, Traces[5], 615, 284, true);
  }
  EXPECT_TRUE(R.LastPaintWhole());
  TScopeRenderer Red;
  Red.SetColors(0x0000FF, 0xFFFFFF, 0x000000);
  EXPECT_EQ(Target.copy(3, 2, 615, 284), Red.ScopePaint(Traces[5], 615, 284));

  // A target cleared between paints (a backing store with an alpha channel
  // clears the region it paints), a paint of part of the area, and a
  // different image get the whole picture.
  for (const auto Format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
    SCOPED_TRACE(Format);
    TScopeRenderer A;
    QImage Store(615, 284, Format);
    const auto Paint = [&](const TScopeSamples& Samples, const QRegion& Clip) {
      QPainter P(&Store);
      if (!Clip.isEmpty())
        P.paintEngine()->setSystemClip(Clip);
      A.ScopePaint(P, Samples, 615, 284, true);
    };
    const auto Exact = [](const TScopeSamples& Samples) {
      return TScopeRenderer().ScopePaint(Samples, 615, 284);
    };
    Store.fill(Qt::transparent);
    Paint(Traces[3], {});
    EXPECT_TRUE(A.LastPaintWhole());
    Paint(Traces[4], {});
    EXPECT_FALSE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[4]));
    Store.fill(Qt::transparent);
    Paint(Traces[5], {});
    EXPECT_TRUE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[5]));
    Paint(Traces[3], QRegion(0, 0, 615, 100));
    EXPECT_TRUE(A.LastPaintWhole());
    Paint(Traces[4], QRegion(0, 0, 615, 284));
    EXPECT_FALSE(A.LastPaintWhole());
    EXPECT_EQ(Store.convertToFormat(QImage::Format_RGB32), Exact(Traces[4]));
    QImage Other = Store.copy();
    {
      QPainter P(&Other);
      A.ScopePaint(P, Traces[5], 615, 284, true);
    }
    EXPECT_TRUE(A.LastPaintWhole());
  }
}

} // namespace
