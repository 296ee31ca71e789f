#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QSize>

#include "scope/ScopeState.h"

class QPainter;

// Draws the scope area: background, a grid of 25 x 8 divisions and the trace
// of the 256 stored samples. Drawing goes into the off-screen bitmap (W x H)
// first; the screen picture is one stretched copy of bitmap rows 5 .. H-5 onto
// rows 0 .. H (nearest neighbour, no smoothing), so the 5-pixel bands at the
// top and the bottom are left out. Both images are kept between paints and
// only reallocated when the size changes.
//
// The screen needs no bitmap in between: ComposeScreen writes the same
// picture straight into the target's pixels (each screen row copied from the
// prepared row of the bitmap row it shows, the trace drawn through the map
// from bitmap rows to the screen rows that show them), and a widget's paint
// composes it straight into the window's backing store where it can.
class TScopeRenderer {
public:
  // Colours are 0x00BBGGRR (red in the low byte); only the low 24 bits count.
  static constexpr std::uint32_t DefaultTraceColor = 65280;  // green
  static constexpr std::uint32_t DefaultGridColor = 8421504; // grey
  static constexpr std::uint32_t DefaultBackColor = 8421376; // teal
  // Rows left out at the top and at the bottom by the screen copy.
  static constexpr int Band = 5;

  // Screen rows showing one bitmap row: First .. First + Count - 1.
  struct TRowSpan {
    int First = 0;
    int Count = 0;
  };
  // Screen rows First .. Last of one column (none when First > Last).
  struct TRowRange {
    int First = INT_MAX;
    int Last = -1;
  };

  TScopeRenderer();

  void SetColors(std::uint32_t TraceColor, std::uint32_t GridColor, std::uint32_t BackColor);

  // Draws everything again from Samples for a scope area of W x H pixels and
  // returns the screen picture (W x H; empty when W or H is 0 or less). Areas
  // of 10 pixels height or less show the background only. This is the
  // picture the export saves, drawn through the bitmap.
  const QImage& ScopePaint(const TScopeSamples& Samples, int W, int H);
  // The same picture, drawn onto Painter at (0, 0) W x H (logical pixels):
  // for a widget's paintEvent. A painter writing 1:1 into a 32-bit image (a
  // raster backing store, an image) gets it composed straight into its
  // pixels, also at a whole number of pixels per unit (a display scaled by
  // 2); any other (a fractional scale, another engine) gets it drawn as an
  // image.
  // Retained: the target keeps what the last paint wrote until the next one
  // (a widget's backing store), so a paint of the whole area onto the same
  // image at the same place, where the last trace is still found, only puts
  // back the pixels of the last trace and draws the new one.
  void ScopePaint(QPainter& Painter, const TScopeSamples& Samples, int W, int H,
                  bool Retained = false);
  // Writes the screen picture of Samples into W x H 32-bit pixels starting at
  // Pixels, Stride bytes from one row to the next.
  void ComposeScreen(uchar* Pixels, qsizetype Stride, const TScopeSamples& Samples, int W, int H);
  // Whether the last paint onto a painter went straight into its pixels, and
  // whether it wrote every pixel of the area (not only the traces).
  bool LastPaintDirect() const { return FLastPaintDirect; }
  bool LastPaintWhole() const { return FLastPaintWhole; }

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
  void ComputePoints(const TScopeSamples& Samples, int W, int H);
  // The image, place and size a retained paint wrote to last.
  struct TRetainedTarget {
    qint64 Serial = -1;
    const uchar* Pixels = nullptr;
    qsizetype Stride = 0;
    QSize Size;
    int Scale = 1;
    bool operator==(const TRetainedTarget&) const = default;
  };

  // Whether the last composed trace's pixels are still in the target (a
  // sample of its columns).
  bool LastTraceStillThere(const uchar* Pixels, qsizetype Stride, int W, int Scale) const;
  // ComposeScreen, writing every pixel (Whole) or, onto the last picture,
  // only the last trace's pixels and the new trace.
  // Scale: target pixels per picture pixel, each way.
  void Compose(uchar* Pixels, qsizetype Stride, const TScopeSamples& Samples, int W, int H,
               int Scale, bool Whole);
  // Prepares the two kinds of row and the row tables for W x H (H > 2 * Band);
  // true when they changed.
  bool PrepareLayout(int W, int H);
  void DrawGrid();
  // The trace into W x H pixels: at its bitmap rows when Rows is null, else
  // at the screen rows Rows gives for each bitmap row.
  void DrawTrace(uchar* Pixels, qsizetype Stride, int W, int H, const TRowSpan* Rows, int Scale);

  QImage FBitmap;
  QImage FScreen;
  std::array<QPoint, ScopeSampleCount> FPoints;
  // The two kinds of bitmap row before the trace: background with the column
  // lines, and a row line.
  std::vector<QRgb> FBackRow;
  std::vector<QRgb> FGridRow;
  // The same two rows with every pixel repeated, for a scaled target.
  std::vector<QRgb> FScaledBackRow;
  std::vector<QRgb> FScaledGridRow;
  // Per bitmap row: whether it is a row line, and the screen rows showing it;
  // per screen row: the bitmap row it shows. Kept for FLayoutSize.
  std::vector<std::uint8_t> FRowIsLine;
  std::vector<TRowSpan> FRowSpans;
  std::vector<int> FSourceRow;
  QSize FLayoutSize;
  QRgb FLayoutBack = 0;
  QRgb FLayoutGrid = 0;
  // Per column, the screen rows the last composed trace wrote.
  std::vector<TRowRange> FTraceRows;
  TRetainedTarget FRetained;
  // The picture composed for a painter that cannot take it straight.
  QImage FComposed;
  bool FLastPaintDirect = false;
  bool FLastPaintWhole = false;
  QRgb FTraceColor;
  QRgb FGridColor;
  QRgb FBackColor;
};
