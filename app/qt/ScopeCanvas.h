#pragma once

#include <QImage>

#include "scope/PixelImage.h"
#include "scope/ScopeRenderer.h"

class QPainter;

// A QImage over Picture's pixels (Format_RGB32 has its byte layout), without
// a copy: valid while Picture lives and keeps its size.
QImage ScopeImage(const TPixelImage& Picture);

// The scope's screen picture on a QPainter, for the scope widget's paint.
// Where the painter writes 1:1 into a 32-bit image (a raster backing store,
// an image) the picture is composed straight into its pixels, also at a whole
// number of pixels per unit up to TScopeRenderer::MaxScale (a display scaled
// by 2); any other painter (a fractional scale, another engine) gets it drawn
// as an image.
class TScopeCanvas {
public:
  // Holds FBitmap, the off-screen picture.
  TScopeRenderer Renderer;

  // Paints the picture of Samples onto Painter at (0, 0), W x H logical
  // pixels. Retained: the target keeps what the last paint wrote until the
  // next one (a widget's backing store), so a paint of the whole area onto
  // the same image at the same place, where the last trace is still found,
  // only puts back the pixels of the last trace and draws the new one.
  void Paint(QPainter& Painter, const TScopeSamples& Samples, int W, int H, bool Retained = false);
  // Whether the last paint went straight into the painter's pixels, and
  // whether it wrote every pixel of the area (not only the traces).
  bool LastPaintDirect() const { return FLastPaintDirect; }
  bool LastPaintWhole() const { return FLastPaintWhole; }

private:
  // The picture composed for a painter that cannot take it straight.
  TPixelImage FComposed;
  bool FLastPaintDirect = false;
  bool FLastPaintWhole = false;
};
