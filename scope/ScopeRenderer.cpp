#include "scope/ScopeRenderer.h"

#include <cstring>

#include <QPainter>
#include <QPen>

namespace {
constexpr int GridColumns = 25;
constexpr int GridRows = 8;
constexpr double SampleSpan = 255.0;
constexpr int TracePenWidth = 2;
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

  const double Sx = W / SampleSpan;
  const double Sy = H / SampleSpan;
  for (int I = 0; I < ScopeSampleCount; ++I)
    FPoints[I] = QPoint(static_cast<int>(I * Sx), static_cast<int>(Samples[I] * Sy));

  FBitmap.fill(FBackColor);
  if (H <= 2 * Band) {
    // The band between the two left-out strips is empty (or upside down):
    // nothing but the background can be shown.
    FScreen.fill(FBackColor);
    return FScreen;
  }
  DrawGrid();
  DrawTrace();
  StretchToScreen();
  return FScreen;
}

void TScopeRenderer::ScopePaint(QPainter& Painter, const TScopeSamples& Samples, int W, int H) {
  const QImage& Picture = ScopePaint(Samples, W, H);
  if (!Picture.isNull())
    Painter.drawImage(0, 0, Picture);
}

void TScopeRenderer::DrawGrid() {
  // One-pixel lines written straight into the bitmap. A line from (x, 0) to
  // (x, H) leaves out its end point, so it covers rows 0 .. H-1; the last
  // column and row lines fall on x = W and y = H when the product is exact,
  // outside the bitmap.
  const int W = FBitmap.width();
  const int H = FBitmap.height();
  const qsizetype Stride = FBitmap.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  QRgb* Pixels = reinterpret_cast<QRgb*>(FBitmap.bits());
  const double Dx = W / static_cast<double>(GridColumns);
  const double Dy = H / static_cast<double>(GridRows);
  for (int I = 0; I <= GridColumns; ++I) {
    const int X = static_cast<int>(I * Dx);
    if (X >= W)
      continue;
    QRgb* P = Pixels + X;
    for (int Y = 0; Y < H; ++Y, P += Stride)
      *P = FGridColor;
  }
  for (int I = 0; I <= GridRows; ++I) {
    const int Y = static_cast<int>(I * Dy);
    if (Y >= H)
      continue;
    QRgb* Row = Pixels + Y * Stride;
    for (int X = 0; X < W; ++X)
      Row[X] = FGridColor;
  }
}

void TScopeRenderer::DrawTrace() {
  QPainter Painter(&FBitmap);
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.setPen(
      QPen(QColor(FTraceColor), TracePenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  Painter.drawPolyline(FPoints.data(), static_cast<int>(FPoints.size()));
}

void TScopeRenderer::StretchToScreen() {
  // Bitmap rows Band .. H-Band-1 stretched onto screen rows 0 .. H-1. Each
  // screen row takes the source row under its centre (nearest neighbour), so a
  // whole row is one memcpy.
  const int W = FBitmap.width();
  const int H = FBitmap.height();
  const int SourceRows = H - 2 * Band;
  const qsizetype SrcStride = FBitmap.bytesPerLine();
  const qsizetype DstStride = FScreen.bytesPerLine();
  const uchar* Src = FBitmap.constBits();
  uchar* Dst = FScreen.bits();
  const std::size_t RowBytes = static_cast<std::size_t>(W) * sizeof(QRgb);
  for (int Y = 0; Y < H; ++Y) {
    const long long Row =
        Band + (static_cast<long long>(2 * Y + 1) * SourceRows) / (2 * static_cast<long long>(H));
    std::memcpy(Dst + Y * DstStride, Src + Row * SrcStride, RowBytes);
  }
}
