#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QPoint>

#include "scope/ScopeState.h"

class QPainter;

// Draws the scope area: background, a grid of 25 x 8 divisions and the trace
// of the 256 stored samples. Drawing goes into the off-screen bitmap (W x H)
// first; the screen picture is one stretched copy of bitmap rows 5 .. H-5 onto
// rows 0 .. H (nearest neighbour, no smoothing), so the 5-pixel bands at the
// top and the bottom are left out. Both images are kept between paints and
// only reallocated when the size changes.
class TScopeRenderer {
public:
  // Colours are 0x00BBGGRR (red in the low byte); only the low 24 bits count.
  static constexpr std::uint32_t DefaultTraceColor = 65280;  // green
  static constexpr std::uint32_t DefaultGridColor = 8421504; // grey
  static constexpr std::uint32_t DefaultBackColor = 8421376; // teal
  // Rows left out at the top and at the bottom by the screen copy.
  static constexpr int Band = 5;

  TScopeRenderer();

  void SetColors(std::uint32_t TraceColor, std::uint32_t GridColor, std::uint32_t BackColor);

  // Draws everything again from Samples for a scope area of W x H pixels and
  // returns the screen picture (W x H; empty when W or H is 0 or less). Areas
  // of 10 pixels height or less show the background only.
  const QImage& ScopePaint(const TScopeSamples& Samples, int W, int H);
  // The same, drawn onto Painter at (0, 0): for a widget's paintEvent.
  void ScopePaint(QPainter& Painter, const TScopeSamples& Samples, int W, int H);

  // The off-screen bitmap and the screen picture of the last paint.
  const QImage& Bitmap() const { return FBitmap; }
  const QImage& Screen() const { return FScreen; }
  // The trace's polyline of the last paint, in bitmap coordinates.
  const std::array<QPoint, ScopeSampleCount>& Points() const { return FPoints; }

  // The screen copy: Bitmap rows Band .. H-Band-1 stretched onto all rows of
  // Screen (same size, 32 bits per pixel, H > 2 * Band), nearest neighbour.
  static void StretchCopy(const QImage& Bitmap, QImage& Screen);

  // Converts 0x00BBGGRR to an opaque Qt colour.
  static QRgb ToRgb(std::uint32_t Color);

private:
  void DrawGrid();
  void DrawTrace();

  QImage FBitmap;
  QImage FScreen;
  std::array<QPoint, ScopeSampleCount> FPoints;
  // The two kinds of bitmap row before the trace: background with the column
  // lines, and a row line.
  std::vector<QRgb> FBackRow;
  std::vector<QRgb> FGridRow;
  QRgb FTraceColor;
  QRgb FGridColor;
  QRgb FBackColor;
};
