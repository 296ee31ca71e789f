#include "scope/ScopeRenderer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <QPaintEngine>
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

  ComputePoints(Samples, W, H);
  if (H <= 2 * Band) {
    // The band between the two left-out strips is empty (or upside down):
    // nothing but the background can be shown.
    FBitmap.fill(FBackColor);
    FScreen.fill(FBackColor);
    return FScreen;
  }
  PrepareLayout(W, H);
  DrawGrid();
  DrawTrace(FBitmap.bits(), FBitmap.bytesPerLine(), W, H, nullptr, 1);
  StretchCopy(FBitmap, FScreen);
  return FScreen;
}

namespace {

// The image under Painter when it writes into 32-bit pixels at a whole
// number of pixels per unit (Scale: 1, or 2 on a display scaled by 2), with
// the pixel where the painter's (0, 0) lands; null for anything else.
QImage* DirectTarget(QPainter& Painter, QSize Size, QPoint& Origin, int& Scale) {
  QPaintEngine* Engine = Painter.paintEngine();
  if (!Engine || Engine->type() != QPaintEngine::Raster || !Engine->paintDevice() ||
      Engine->paintDevice()->devType() != QInternal::Image)
    return nullptr;
  auto* Image = static_cast<QImage*>(Engine->paintDevice());
  switch (Image->format()) {
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32:
  case QImage::Format_ARGB32_Premultiplied:
    break;
  default:
    return nullptr;
  }
  // A widget's painter is moved to the widget's place in the backing store,
  // and scaled by the display's pixel ratio; a fractional ratio, a rotation
  // or a part-pixel move is left to Qt.
  constexpr int MaxScale = 4;
  const QTransform Transform = Painter.deviceTransform();
  if (Transform.type() > QTransform::TxScale || Painter.opacity() < 1.0 ||
      Painter.compositionMode() != QPainter::CompositionMode_SourceOver)
    return nullptr;
  Scale = static_cast<int>(Transform.m11());
  const double Dx = Transform.dx();
  const double Dy = Transform.dy();
  Origin = QPoint(static_cast<int>(Dx), static_cast<int>(Dy));
  if (Scale < 1 || Scale > MaxScale || Transform.m11() != Scale || Transform.m22() != Scale ||
      Origin.x() != Dx || Origin.y() != Dy || !Image->rect().contains(QRect(Origin, Size * Scale)))
    return nullptr;
  return Image;
}

} // namespace

void TScopeRenderer::ScopePaint(QPainter& Painter, const TScopeSamples& Samples, int W, int H,
                                bool Retained) {
  FLastPaintDirect = false;
  FLastPaintWhole = false;
  if (W <= 0 || H <= 0)
    return;
  QPoint Origin;
  int Scale = 1;
  QImage* Target = DirectTarget(Painter, QSize(W, H), Origin, Scale);
  if (!Target) {
    Scale = 1;
    // Drawn as an image: ours, so it holds the last picture for certain.
    if (FComposed.size() != QSize(W, H))
      FComposed = QImage(W, H, QImage::Format_RGB32);
    if (FComposed.isNull())
      return;
    Target = &FComposed;
    Origin = QPoint(0, 0);
    Retained = true;
  }
  // The painter's engine writes into this very buffer (it made the image its
  // own when painting began), so nothing is copied here: constBits just
  // avoids a second detach check.
  const qsizetype Stride = Target->bytesPerLine();
  uchar* Pixels = const_cast<uchar*>(Target->constBits()) + Origin.y() * Stride +
                  Origin.x() * static_cast<qsizetype>(sizeof(QRgb));
  // An image that is not the one of the last paint (a new backing store
  // after a resize, a grab) holds something else. Only a paint of the whole
  // area counts on what lies under it: some backing stores clear the region
  // they are about to paint (those with a real alpha channel), which the
  // last trace's pixels then show.
  const TRetainedTarget This{Target->cacheKey() >> 32, Pixels, Stride, QSize(W, H), Scale};
  bool Keeps = Retained && This == FRetained;
  if (Keeps && Target != &FComposed) {
    const QRegion Clip = Painter.paintEngine()->systemClip();
    Keeps = Clip.isEmpty() || (QRegion(QRect(Origin, QSize(W, H) * Scale)) - Clip).isEmpty();
  }
  Keeps = Keeps && LastTraceStillThere(Pixels, Stride, W, Scale);
  Compose(Pixels, Stride, Samples, W, H, Scale, !Keeps);
  FRetained = Retained ? This : TRetainedTarget{};
  if (Target == &FComposed)
    Painter.drawImage(QRect(0, 0, W, H), FComposed);
  else
    FLastPaintDirect = true;
}

bool TScopeRenderer::LastTraceStillThere(const uchar* Pixels, qsizetype Stride, int W,
                                         int Scale) const {
  // A cleared region loses every pixel at once: a sample of the columns
  // finds it.
  constexpr int Step = 16;
  if (FTraceRows.size() != static_cast<std::size_t>(W))
    return false;
  for (int X = 0; X < W; X += Step) {
    const TRowRange& Range = FTraceRows[static_cast<std::size_t>(X)];
    if (Range.First <= Range.Last &&
        reinterpret_cast<const QRgb*>(Pixels + Range.First * Scale * Stride)[X * Scale] !=
            FTraceColor)
      return false;
  }
  return true;
}

void TScopeRenderer::ComposeScreen(uchar* Pixels, qsizetype Stride, const TScopeSamples& Samples,
                                   int W, int H) {
  FRetained = TRetainedTarget{};
  Compose(Pixels, Stride, Samples, W, H, 1, true);
}

void TScopeRenderer::Compose(uchar* Pixels, qsizetype Stride, const TScopeSamples& Samples, int W,
                             int H, int Scale, bool Whole) {
  if (W <= 0 || H <= 0)
    return;
  ComputePoints(Samples, W, H);
  // Every pixel of the picture is a Scale x Scale block of the target.
  const int DeviceW = W * Scale;
  const std::size_t RowBytes = static_cast<std::size_t>(DeviceW) * sizeof(QRgb);
  if (H <= 2 * Band) {
    FBackRow.assign(static_cast<std::size_t>(DeviceW), FBackColor);
    for (int Y = 0; Y < H * Scale; ++Y)
      std::memcpy(Pixels + Y * Stride, FBackRow.data(), RowBytes);
    FLayoutSize = QSize();
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
  const QRgb* BackRow = Scale == 1 ? FBackRow.data() : FScaledBackRow.data();
  const QRgb* GridRow = Scale == 1 ? FGridRow.data() : FScaledGridRow.data();
  // Screen row y shows bitmap row FSourceRow[y]: before the trace, that is a
  // row line or background with the column lines.
  const auto Prepared = [&](int Y) {
    return FRowIsLine[static_cast<std::size_t>(FSourceRow[static_cast<std::size_t>(Y)])] ? GridRow
                                                                                         : BackRow;
  };
  if (Whole) {
    for (int Y = 0; Y < H * Scale; ++Y)
      std::memcpy(Pixels + Y * Stride, Prepared(Y / Scale), RowBytes);
    FTraceRows.assign(static_cast<std::size_t>(W), TRowRange{});
  } else {
    // The target still holds the last picture: only the last trace's pixels
    // go back to what lies under them (a few per column, where whole rows
    // would be most of the area for a wave that crosses them).
    for (int X = 0; X < W; ++X) {
      TRowRange& Range = FTraceRows[static_cast<std::size_t>(X)];
      for (int Y = Range.First * Scale; Y < (Range.Last + 1) * Scale; ++Y) {
        QRgb* Row = reinterpret_cast<QRgb*>(Pixels + Y * Stride);
        const QRgb* Under = Prepared(Y / Scale);
        for (int Dx = X * Scale; Dx < (X + 1) * Scale; ++Dx)
          Row[Dx] = Under[Dx];
      }
      Range = TRowRange{};
    }
  }
  DrawTrace(Pixels, Stride, W, H, FRowSpans.data(), Scale);
}

void TScopeRenderer::ComputePoints(const TScopeSamples& Samples, int W, int H) {
  const double Sx = W / SampleSpan;
  const double Sy = H / SampleSpan;
  for (int I = 0; I < ScopeSampleCount; ++I)
    FPoints[I] = QPoint(static_cast<int>(I * Sx), static_cast<int>(Samples[I] * Sy));
}

bool TScopeRenderer::PrepareLayout(int W, int H) {
  const QSize Size(W, H);
  if (Size == FLayoutSize && FLayoutBack == FBackColor && FLayoutGrid == FGridColor)
    return false;
  FLayoutSize = Size;
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
  // The screen copy's rows: screen row y shows the bitmap row under its
  // centre (see StretchCopy); rows in the bands are shown by none.
  const int SourceRows = H - 2 * Band;
  FSourceRow.resize(static_cast<std::size_t>(H));
  FRowSpans.assign(static_cast<std::size_t>(H), TRowSpan{});
  for (int Y = 0; Y < H; ++Y) {
    const int Row = Band + static_cast<int>((static_cast<long long>(2 * Y + 1) * SourceRows) /
                                            (2 * static_cast<long long>(H)));
    FSourceRow[static_cast<std::size_t>(Y)] = Row;
    TRowSpan& Span = FRowSpans[static_cast<std::size_t>(Row)];
    if (Span.Count++ == 0)
      Span.First = Y;
  }
  // Whatever a retained target holds was drawn with the old rows.
  FTraceRows.assign(static_cast<std::size_t>(W), TRowRange{});
  FRetained = TRetainedTarget{};
  return true;
}

void TScopeRenderer::DrawGrid() {
  // The background fill and the one-pixel grid lines in one pass: every row is
  // a copy of one of two prepared rows, background with the column lines or a
  // whole row line.
  const int H = FBitmap.height();
  const std::size_t RowBytes = FBackRow.size() * sizeof(QRgb);
  const qsizetype Stride = FBitmap.bytesPerLine();
  uchar* Row = FBitmap.bits();
  for (int Y = 0; Y < H; ++Y, Row += Stride)
    std::memcpy(Row, FRowIsLine[static_cast<std::size_t>(Y)] ? FGridRow.data() : FBackRow.data(),
                RowBytes);
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
  // Rows: the screen rows showing each bitmap row, or null to draw at the
  // bitmap rows themselves.
  // Written, with Rows: the screen rows the pen wrote in each column, widened.
  // Scale, with Rows: every pixel is a Scale x Scale block of the target.
  TTracePen(uchar* Pixels, qsizetype Stride, int Width, int Height, QRgb Color,
            const TScopeRenderer::TRowSpan* Rows, TScopeRenderer::TRowRange* Written, int Scale)
      : FPixels(reinterpret_cast<QRgb*>(Pixels)),
        FStride(Stride / static_cast<qsizetype>(sizeof(QRgb))), FWidth(Width), FHeight(Height),
        FColor(Color), FRows(Rows), FWritten(Written), FScale(Scale) {}

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

  QRgb* FPixels;
  qsizetype FStride;
  int FWidth;
  int FHeight;
  QRgb FColor;
  const TScopeRenderer::TRowSpan* FRows;
  TScopeRenderer::TRowRange* FWritten;
  int FScale;
};

} // namespace

void TScopeRenderer::DrawTrace(uchar* Pixels, qsizetype Stride, int W, int H, const TRowSpan* Rows,
                               int Scale) {
  // Drawn by hand: a QPainter with a wide pen strokes the polyline into a path
  // first, which costs many times the rest of the paint.
  TTracePen Pen(Pixels, Stride, W, H, FTraceColor, Rows, Rows ? FTraceRows.data() : nullptr, Scale);
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
