#include "scope/ScopeRenderer.h"

#include <cstdlib>
#include <cstring>

#include <QPainter>

namespace {
constexpr int GridColumns = 25;
constexpr int GridRows = 8;
constexpr double SampleSpan = 255.0;
} // namespace

TScopeRenderer::TScopeRenderer()
    : FTraceColor(ToRgb(DefaultTraceColor)), FGridColor(ToRgb(DefaultGridColor)),
      FBackColor(ToRgb(DefaultBackColor)) {}

QRgb TScopeRenderer::ToRgb(std::uint32_t Color) {
  return qRgb(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
}

void TScopeRenderer::SetColors(std::uint32_t TraceColor, std::uint32_t GridColor,
                               std::uint32_t BackColor) {
  FTraceColor = ToRgb(TraceColor);
  FGridColor = ToRgb(GridColor);
  FBackColor = ToRgb(BackColor);
}

const QImage& TScopeRenderer::ScopePaint(const TScopeSamples& Samples, int W, int H) {
  if (W <= 0 || H <= 0) {
    FBitmap = QImage();
    FScreen = QImage();
    return FScreen;
  }
  // Reallocate only on a new size: a paint at the same size reuses both images.
  const QSize Size(W, H);
  if (FBitmap.size() != Size)
    FBitmap = QImage(Size, QImage::Format_RGB32);
  if (FScreen.size() != Size)
    FScreen = QImage(Size, QImage::Format_RGB32);
  if (FBitmap.isNull() || FScreen.isNull()) {
    // Too large to allocate: draw nothing rather than write through no memory.
    FBitmap = QImage();
    FScreen = QImage();
    return FScreen;
  }

  const double Sx = W / SampleSpan;
  const double Sy = H / SampleSpan;
  for (int I = 0; I < ScopeSampleCount; ++I)
    FPoints[I] = QPoint(static_cast<int>(I * Sx), static_cast<int>(Samples[I] * Sy));

  if (H <= 2 * Band) {
    // The band between the two left-out strips is empty (or upside down):
    // nothing but the background can be shown.
    FBitmap.fill(FBackColor);
    FScreen.fill(FBackColor);
    return FScreen;
  }
  DrawGrid();
  DrawTrace();
  StretchCopy(FBitmap, FScreen);
  return FScreen;
}

void TScopeRenderer::ScopePaint(QPainter& Painter, const TScopeSamples& Samples, int W, int H) {
  const QImage& Picture = ScopePaint(Samples, W, H);
  if (!Picture.isNull())
    Painter.drawImage(0, 0, Picture);
}

void TScopeRenderer::DrawGrid() {
  // The background fill and the one-pixel grid lines in one pass: every row is
  // a copy of one of two prepared rows, background with the column lines or a
  // whole row line. A line from (x, 0) to (x, H) leaves out its end point, so
  // it covers rows 0 .. H-1; the last column and row lines fall on x = W and
  // y = H when the product is exact, outside the bitmap.
  const int W = FBitmap.width();
  const int H = FBitmap.height();
  FBackRow.assign(static_cast<std::size_t>(W), FBackColor);
  FGridRow.assign(static_cast<std::size_t>(W), FGridColor);
  const double Dx = W / static_cast<double>(GridColumns);
  for (int I = 0; I <= GridColumns; ++I) {
    const int X = static_cast<int>(I * Dx);
    if (X < W)
      FBackRow[static_cast<std::size_t>(X)] = FGridColor;
  }
  const double Dy = H / static_cast<double>(GridRows);
  const std::size_t RowBytes = static_cast<std::size_t>(W) * sizeof(QRgb);
  const qsizetype Stride = FBitmap.bytesPerLine();
  uchar* Row = FBitmap.bits();
  int NextLine = 0; // index of the next row line
  for (int Y = 0; Y < H; ++Y, Row += Stride) {
    bool OnLine = false;
    while (NextLine <= GridRows && static_cast<int>(NextLine * Dy) <= Y) {
      OnLine = OnLine || static_cast<int>(NextLine * Dy) == Y;
      ++NextLine;
    }
    std::memcpy(Row, OnLine ? FGridRow.data() : FBackRow.data(), RowBytes);
  }
}

namespace {

// Writes the trace into a 32-bit image: a pen of width 2 without smoothing.
// A line whose run is mostly horizontal covers the row of each pixel and the
// row above; a mostly vertical one the column and the column to the left; each
// vertex covers the 2 x 2 square up and left of it, which joins the segments.
// (A horizontal line at y thus lies on rows y - 1 and y, as a width-2 pen of
// the toolkit draws it.) Pixels outside the image are left out.
class TTracePen {
public:
  TTracePen(QImage& Image, QRgb Color)
      : FPixels(reinterpret_cast<QRgb*>(Image.bits())),
        FStride(Image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb))), FWidth(Image.width()),
        FHeight(Image.height()), FColor(Color) {}

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
    if (static_cast<unsigned>(X) < static_cast<unsigned>(FWidth) &&
        static_cast<unsigned>(Y) < static_cast<unsigned>(FHeight))
      FPixels[Y * FStride + X] = FColor;
  }

  QRgb* FPixels;
  qsizetype FStride;
  int FWidth;
  int FHeight;
  QRgb FColor;
};

} // namespace

void TScopeRenderer::DrawTrace() {
  // Drawn by hand: a QPainter with a wide pen strokes the polyline into a path
  // first, which costs many times the rest of the paint.
  TTracePen Pen(FBitmap, FTraceColor);
  for (int I = 0; I < ScopeSampleCount; ++I) {
    const QPoint& P = FPoints[I];
    if (I > 0)
      Pen.Line(FPoints[I - 1].x(), FPoints[I - 1].y(), P.x(), P.y());
    Pen.Vertex(P.x(), P.y());
  }
}

void TScopeRenderer::StretchCopy(const QImage& Bitmap, QImage& Screen) {
  // Bitmap rows Band .. H-Band-1 stretched onto screen rows 0 .. H-1. Each
  // screen row takes the source row under its centre (nearest neighbour), so a
  // whole row is one memcpy.
  const int W = Bitmap.width();
  const int H = Bitmap.height();
  const int SourceRows = H - 2 * Band;
  const qsizetype SrcStride = Bitmap.bytesPerLine();
  const qsizetype DstStride = Screen.bytesPerLine();
  const uchar* Src = Bitmap.constBits();
  uchar* Dst = Screen.bits();
  const std::size_t RowBytes = static_cast<std::size_t>(W) * sizeof(QRgb);
  for (int Y = 0; Y < H; ++Y) {
    const long long Row =
        Band + (static_cast<long long>(2 * Y + 1) * SourceRows) / (2 * static_cast<long long>(H));
    std::memcpy(Dst + Y * DstStride, Src + Row * SrcStride, RowBytes);
  }
}
