#include "app/qt/ScopeCanvas.h"

#include <QPaintEngine>
#include <QPainter>

QImage ScopeImage(const TPixelImage& Picture) {
  if (Picture.IsEmpty())
    return QImage();
  return QImage(reinterpret_cast<const uchar*>(Picture.Bits()), Picture.Width(), Picture.Height(),
                Picture.Stride(), QImage::Format_RGB32);
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
  const QTransform Transform = Painter.deviceTransform();
  if (Transform.type() > QTransform::TxScale || Painter.opacity() < 1.0 ||
      Painter.compositionMode() != QPainter::CompositionMode_SourceOver)
    return nullptr;
  Scale = static_cast<int>(Transform.m11());
  const double Dx = Transform.dx();
  const double Dy = Transform.dy();
  Origin = QPoint(static_cast<int>(Dx), static_cast<int>(Dy));
  if (Scale < 1 || Scale > TScopeRenderer::MaxScale || Transform.m11() != Scale ||
      Transform.m22() != Scale || Origin.x() != Dx || Origin.y() != Dy ||
      !Image->rect().contains(QRect(Origin, Size * Scale)))
    return nullptr;
  return Image;
}

} // namespace

void TScopeCanvas::Paint(QPainter& Painter, const TScopeSamples& Samples, int W, int H,
                         bool Retained) {
  FLastPaintDirect = false;
  FLastPaintWhole = false;
  if (W <= 0 || H <= 0)
    return;
  QPoint Origin;
  int Scale = 1;
  QImage* Target = DirectTarget(Painter, QSize(W, H), Origin, Scale);
  if (!Target) {
    // Drawn as an image: ours, so it holds the last picture for certain.
    if (!FComposed.SetSize(W, H))
      return;
    // Our own picture has an identity no QImage's serial number takes.
    FLastPaintWhole = Renderer.ComposeScreen({FComposed.Bits(), FComposed.Stride(), 1, -1}, Samples,
                                             W, H, TTargetKeeps::tkLastPicture);
    Painter.drawImage(QRect(0, 0, W, H), ScopeImage(FComposed));
    return;
  }
  // The painter's engine writes into this very buffer (it made the image its
  // own when painting began), so nothing is copied here: constBits just
  // avoids a second detach check.
  const qsizetype Stride = Target->bytesPerLine();
  auto* Pixels = reinterpret_cast<std::uint32_t*>(
      const_cast<uchar*>(Target->constBits()) + Origin.y() * Stride +
      Origin.x() * static_cast<qsizetype>(sizeof(QRgb)));
  // An image that is not the one of the last paint (a new backing store
  // after a resize, a grab) holds something else. Only a paint of the whole
  // area counts on what lies under it: some backing stores clear the region
  // they are about to paint (those with a real alpha channel), which the
  // last trace's pixels then show.
  TTargetKeeps Keeps = TTargetKeeps::tkNothing;
  if (Retained) {
    const QRegion Clip = Painter.paintEngine()->systemClip();
    Keeps = Clip.isEmpty() || (QRegion(QRect(Origin, QSize(W, H) * Scale)) - Clip).isEmpty()
                ? TTargetKeeps::tkLastPicture
                : TTargetKeeps::tkPartOfLastPicture;
  }
  FLastPaintWhole = Renderer.ComposeScreen({Pixels, Stride, Scale, Target->cacheKey() >> 32},
                                           Samples, W, H, Keeps);
  FLastPaintDirect = true;
}
