#include "scope/ScopeRenderer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int GridColumns = 25;
constexpr int GridRows = 8;
constexpr double SampleSpan = 255.0;

std::uint32_t* RowAt(std::uint32_t* Pixels, std::ptrdiff_t Stride, int Y) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(Pixels) + Y * Stride);
}
} // namespace

TScopeRenderer::TScopeRenderer()
    : FTraceColor(ToPixel(DefaultTraceColor)), FGridColor(ToPixel(DefaultGridColor)),
      FBackColor(ToPixel(DefaultBackColor)) {}

std::uint32_t TScopeRenderer::ToPixel(std::uint32_t Color) {
  // 0x00BBGGRR -> 0xFFRRGGBB: red and blue swap places, green stays.
  return 0xFF000000u | ((Color & 0xFFu) << 16) | (Color & 0xFF00u) | ((Color >> 16) & 0xFFu);
}

void TScopeRenderer::SetColors(std::uint32_t TraceColor, std::uint32_t GridColor,
                               std::uint32_t BackColor) {
  FTraceColor = ToPixel(TraceColor);
  FGridColor = ToPixel(GridColor);
  FBackColor = ToPixel(BackColor);
}

int TScopeRenderer::SourceRow(int Y, int H) {
  return Band + static_cast<int>((static_cast<long long>(2 * Y + 1) * (H - 2 * Band)) /
                                 (2 * static_cast<long long>(H)));
}

const TPixelImage& TScopeRenderer::ScopePaint(const TScopeSamples& Samples, int W, int H) {
  // A paint at the same size reuses both pictures; an empty area, or one
  // too large to hold, leaves both empty, and nothing is drawn.
  if (W <= 0 || H <= 0 || !FBitmap.SetSize(W, H) || !FScreen.SetSize(W, H)) {
    FBitmap.SetSize(0, 0);
    FScreen.SetSize(0, 0);
    return FScreen;
  }
  ComputePoints(Samples, W, H);
  if (H <= 2 * Band) {
    // The band between the two left-out strips is empty (or upside down):
    // nothing but the background can be shown.
    FBitmap.Fill(FBackColor);
    FScreen.Fill(FBackColor);
    return FScreen;
  }
  PrepareLayout(W, H);
  DrawGrid();
  DrawTrace(FBitmap.Bits(), FBitmap.Stride(), W, H, nullptr, 1);
  StretchCopy(FBitmap, FScreen);
  return FScreen;
}

bool TScopeRenderer::ComposeScreen(const TPixelTarget& Target, const TScopeSamples& Samples, int W,
                                   int H, TTargetKeeps Keeps) {
  FLastPaintWhole = false;
  if (W <= 0 || H <= 0 || !Target.Pixels || Target.Scale < 1 || Target.Scale > MaxScale)
    return false;
  // Only the very buffer, place and size of the last compose that counted on
  // its pixels still holds the last trace, and only if nothing cleared it.
  const TRetained This{Target, W, H};
  const bool Kept =
      Keeps == TTargetKeeps::tkLastPicture && This == FRetained && LastTraceStillThere(Target, W);
  Compose(Target, Samples, W, H, !Kept);
  FRetained = Keeps == TTargetKeeps::tkNothing ? TRetained{} : This;
  return FLastPaintWhole;
}

bool TScopeRenderer::LastTraceStillThere(const TPixelTarget& Target, int W) const {
  // A cleared region loses every pixel at once: a sample of the columns
  // finds it.
  constexpr int Step = 16;
  if (FTraceRows.size() != static_cast<std::size_t>(W))
    return false;
  for (int X = 0; X < W; X += Step) {
    const TRowRange& Range = FTraceRows[static_cast<std::size_t>(X)];
    if (Range.First <= Range.Last &&
        RowAt(Target.Pixels, Target.Stride, Range.First * Target.Scale)[X * Target.Scale] !=
            FTraceColor)
      return false;
  }
  return true;
}

void TScopeRenderer::Compose(const TPixelTarget& Target, const TScopeSamples& Samples, int W, int H,
                             bool Whole) {
  const int Scale = Target.Scale;
  ComputePoints(Samples, W, H);
  // Every pixel of the picture is a Scale x Scale block of the target.
  const int DeviceW = W * Scale;
  const std::size_t RowBytes = static_cast<std::size_t>(DeviceW) * sizeof(std::uint32_t);
  if (H <= 2 * Band) {
    FBackRow.assign(static_cast<std::size_t>(DeviceW), FBackColor);
    for (int Y = 0; Y < H * Scale; ++Y)
      std::memcpy(RowAt(Target.Pixels, Target.Stride, Y), FBackRow.data(), RowBytes);
    // The prepared rows are gone: the next layout is made afresh.
    FLayoutW = FLayoutH = 0;
    FLastPaintWhole = true;
    return;
  }
  if (PrepareLayout(W, H))
    Whole = true;
  FLastPaintWhole = Whole;
  if (Scale != 1 && (Whole || FScaledBackRow.size() != static_cast<std::size_t>(DeviceW))) {
    FScaledBackRow.resize(static_cast<std::size_t>(DeviceW));
    FScaledGridRow.resize(static_cast<std::size_t>(DeviceW));
    for (int X = 0; X < DeviceW; ++X) {
      FScaledBackRow[static_cast<std::size_t>(X)] = FBackRow[static_cast<std::size_t>(X / Scale)];
      FScaledGridRow[static_cast<std::size_t>(X)] = FGridRow[static_cast<std::size_t>(X / Scale)];
    }
  }
  const std::uint32_t* BackRow = Scale == 1 ? FBackRow.data() : FScaledBackRow.data();
  const std::uint32_t* GridRow = Scale == 1 ? FGridRow.data() : FScaledGridRow.data();
  // Screen row y shows bitmap row FSourceRow[y]: before the trace, that is a
  // row line or background with the column lines.
  const auto Prepared = [&](int Y) {
    return FRowIsLine[static_cast<std::size_t>(FSourceRow[static_cast<std::size_t>(Y)])] ? GridRow
                                                                                         : BackRow;
  };
  if (Whole) {
    for (int Y = 0; Y < H * Scale; ++Y)
      std::memcpy(RowAt(Target.Pixels, Target.Stride, Y), Prepared(Y / Scale), RowBytes);
    FTraceRows.assign(static_cast<std::size_t>(W), TRowRange{});
  } else {
    // The target still holds the last picture: only the last trace's pixels
    // go back to what lies under them (a few per column, where whole rows
    // would be most of the area for a wave that crosses them).
    for (int X = 0; X < W; ++X) {
      TRowRange& Range = FTraceRows[static_cast<std::size_t>(X)];
      // A column the last trace left alone (First is INT_MAX: scaled, it
      // would overflow and point above the area).
      if (Range.First > Range.Last)
        continue;
      for (int Y = Range.First * Scale; Y < (Range.Last + 1) * Scale; ++Y) {
        std::uint32_t* Row = RowAt(Target.Pixels, Target.Stride, Y);
        const std::uint32_t* Under = Prepared(Y / Scale);
        for (int Dx = X * Scale; Dx < (X + 1) * Scale; ++Dx)
          Row[Dx] = Under[Dx];
      }
      Range = TRowRange{};
    }
  }
  DrawTrace(Target.Pixels, Target.Stride, W, H, FRowSpans.data(), Scale);
}

void TScopeRenderer::ComputePoints(const TScopeSamples& Samples, int W, int H) {
  const double Sx = W / SampleSpan;
  const double Sy = H / SampleSpan;
  for (int I = 0; I < ScopeSampleCount; ++I)
    FPoints[static_cast<std::size_t>(I)] = {
        static_cast<int>(I * Sx), static_cast<int>(Samples[static_cast<std::size_t>(I)] * Sy)};
}

bool TScopeRenderer::PrepareLayout(int W, int H) {
  if (W == FLayoutW && H == FLayoutH && FLayoutBack == FBackColor && FLayoutGrid == FGridColor)
    return false;
  FLayoutW = W;
  FLayoutH = H;
  FLayoutBack = FBackColor;
  FLayoutGrid = FGridColor;
  // A line from (x, 0) to (x, H) leaves out its end point, so it covers rows
  // 0 .. H-1; the last column and row lines fall on x = W and y = H when the
  // product is exact, outside the bitmap.
  FBackRow.assign(static_cast<std::size_t>(W), FBackColor);
  FGridRow.assign(static_cast<std::size_t>(W), FGridColor);
  const double Dx = W / static_cast<double>(GridColumns);
  for (int I = 0; I <= GridColumns; ++I) {
    const int X = static_cast<int>(I * Dx);
    if (X < W)
      FBackRow[static_cast<std::size_t>(X)] = FGridColor;
  }
  FRowIsLine.assign(static_cast<std::size_t>(H), 0);
  const double Dy = H / static_cast<double>(GridRows);
  for (int I = 0; I <= GridRows; ++I) {
    const int Y = static_cast<int>(I * Dy);
    if (Y < H)
      FRowIsLine[static_cast<std::size_t>(Y)] = 1;
  }
  // The screen copy's rows; bitmap rows in the bands are shown by none.
  FSourceRow.resize(static_cast<std::size_t>(H));
  FRowSpans.assign(static_cast<std::size_t>(H), TRowSpan{});
  for (int Y = 0; Y < H; ++Y) {
    const int Row = SourceRow(Y, H);
    FSourceRow[static_cast<std::size_t>(Y)] = Row;
    TRowSpan& Span = FRowSpans[static_cast<std::size_t>(Row)];
    if (Span.Count++ == 0)
      Span.First = Y;
  }
  // Whatever a retained target holds was drawn with the old rows.
  FTraceRows.assign(static_cast<std::size_t>(W), TRowRange{});
  FRetained = TRetained{};
  return true;
}

void TScopeRenderer::DrawGrid() {
  // The background fill and the one-pixel grid lines in one pass: every row is
  // a copy of one of two prepared rows, background with the column lines or a
  // whole row line.
  const std::size_t RowBytes = FBackRow.size() * sizeof(std::uint32_t);
  for (int Y = 0; Y < FBitmap.Height(); ++Y)
    std::memcpy(FBitmap.Row(Y),
                FRowIsLine[static_cast<std::size_t>(Y)] ? FGridRow.data() : FBackRow.data(),
                RowBytes);
}

namespace {

// Writes the trace into 32-bit pixels: a pen of width 2 without smoothing.
// A line whose run is mostly horizontal covers the row of each pixel and the
// row above; a mostly vertical one the column and the column to the left; each
// vertex covers the 2 x 2 square up and left of it, which joins the segments.
// (A horizontal line at y thus lies on rows y - 1 and y, as a width-2 pen of
// the toolkit draws it.) Pixels outside the picture are left out.
class TTracePen {
public:
  // Rows: the screen rows showing each bitmap row, or null to draw at the
  // bitmap rows themselves.
  // Written, with Rows: the screen rows the pen wrote in each column, widened.
  // Scale, with Rows: every pixel is a Scale x Scale block of the target.
  TTracePen(std::uint32_t* Pixels, std::ptrdiff_t Stride, int Width, int Height,
            std::uint32_t Color, const TScopeRenderer::TRowSpan* Rows,
            TScopeRenderer::TRowRange* Written, int Scale)
      : FPixels(Pixels), FStride(Stride / static_cast<std::ptrdiff_t>(sizeof(std::uint32_t))),
        FWidth(Width), FHeight(Height), FColor(Color), FRows(Rows), FWritten(Written),
        FScale(Scale) {}

  void Vertex(int X, int Y) {
    Plot(X - 1, Y - 1);
    Plot(X, Y - 1);
    Plot(X - 1, Y);
    Plot(X, Y);
  }

  // Bresenham from (X0, Y0) to (X1, Y1), both ends included.
  void Line(int X0, int Y0, int X1, int Y1) {
    const int Dx = std::abs(X1 - X0);
    const int Dy = -std::abs(Y1 - Y0);
    const int StepX = X0 < X1 ? 1 : -1;
    const int StepY = Y0 < Y1 ? 1 : -1;
    // The second pixel of the pen's width: above for flat runs, left for steep ones.
    const int OffX = Dx >= -Dy ? 0 : -1;
    const int OffY = Dx >= -Dy ? -1 : 0;
    int Err = Dx + Dy;
    for (;;) {
      Plot(X0, Y0);
      Plot(X0 + OffX, Y0 + OffY);
      if (X0 == X1 && Y0 == Y1)
        break;
      const int E2 = 2 * Err;
      if (E2 >= Dy) {
        Err += Dy;
        X0 += StepX;
      }
      if (E2 <= Dx) {
        Err += Dx;
        Y0 += StepY;
      }
    }
  }

private:
  void Plot(int X, int Y) {
    if (static_cast<unsigned>(X) >= static_cast<unsigned>(FWidth) ||
        static_cast<unsigned>(Y) >= static_cast<unsigned>(FHeight))
      return;
    if (!FRows) {
      FPixels[Y * FStride + X] = FColor;
      return;
    }
    // A bitmap row in a left-out band has no screen row (Count 0).
    const TScopeRenderer::TRowSpan& Span = FRows[Y];
    if (Span.Count == 0)
      return;
    for (int Row = Span.First * FScale; Row < (Span.First + Span.Count) * FScale; ++Row)
      for (int Column = X * FScale; Column < (X + 1) * FScale; ++Column)
        FPixels[Row * FStride + Column] = FColor;
    TScopeRenderer::TRowRange& Column = FWritten[X];
    Column.First = std::min(Column.First, Span.First);
    Column.Last = std::max(Column.Last, Span.First + Span.Count - 1);
  }

  std::uint32_t* FPixels;
  std::ptrdiff_t FStride;
  int FWidth;
  int FHeight;
  std::uint32_t FColor;
  const TScopeRenderer::TRowSpan* FRows;
  TScopeRenderer::TRowRange* FWritten;
  int FScale;
};

} // namespace

void TScopeRenderer::DrawTrace(std::uint32_t* Pixels, std::ptrdiff_t Stride, int W, int H,
                               const TRowSpan* Rows, int Scale) {
  // Drawn by hand: a toolkit's wide pen strokes the polyline into a path
  // first, which costs many times the rest of the paint.
  TTracePen Pen(Pixels, Stride, W, H, FTraceColor, Rows, Rows ? FTraceRows.data() : nullptr, Scale);
  for (std::size_t I = 0; I < FPoints.size(); ++I) {
    const TPoint& P = FPoints[I];
    if (I > 0)
      Pen.Line(FPoints[I - 1].X, FPoints[I - 1].Y, P.X, P.Y);
    Pen.Vertex(P.X, P.Y);
  }
}

void TScopeRenderer::StretchCopy(const TPixelImage& Bitmap, TPixelImage& Screen) {
  // Each screen row takes one whole source row (nearest neighbour), so a row
  // is one memcpy.
  const int H = Bitmap.Height();
  const std::size_t RowBytes = static_cast<std::size_t>(Bitmap.Width()) * sizeof(std::uint32_t);
  for (int Y = 0; Y < H; ++Y)
    std::memcpy(Screen.Row(Y), Bitmap.Row(SourceRow(Y, H)), RowBytes);
}
