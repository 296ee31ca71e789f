#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scope/PixelImage.h"
#include "scope/ScopeState.h"

// A front end's 32-bit picture (0xFFRRGGBB pixels, the TPixelImage layout)
// that the screen picture is composed straight into: a window's backing
// store, a DIB section.
struct TPixelTarget {
  // The scope area's top-left pixel.
  std::uint32_t* Pixels = nullptr;
  // Bytes from one row to the next (a multiple of 4).
  std::ptrdiff_t Stride = 0;
  // Target pixels per picture pixel, each way (a display scaled by 2 gives 2).
  int Scale = 1;
  // Which buffer this is: a front end gives another value for another buffer
  // (a new backing store after a resize) even where it has the same address.
  std::int64_t Identity = 0;
  bool operator==(const TPixelTarget&) const = default;
};

// What a target holds of the last picture composed into it.
enum class TTargetKeeps {
  // Nothing (an image made for this paint): write every pixel, remember nothing.
  tkNothing,
  // Its pixels since the last compose into it (a backing store): where the
  // last trace is still found, only its pixels are put back and the new trace
  // drawn.
  tkLastPicture,
  // Its pixels, but part of them may have been cleared (a paint of part of
  // the area): write every pixel, and count on them next time.
  tkPartOfLastPicture,
};

// Draws the scope area: background, a grid of 25 x 8 divisions and the trace
// of the 256 stored samples. Drawing goes into the off-screen bitmap (W x H)
// first; the screen picture is one stretched copy of bitmap rows 5 .. H-5 onto
// rows 0 .. H (nearest neighbour, no smoothing), so the 5-pixel bands at the
// top and the bottom are left out. Both pictures are kept between paints and
// only reallocated when the size changes.
//
// The screen needs no bitmap in between: ComposeScreen writes the same
// picture straight into a target's pixels (each screen row copied from the
// prepared row of the bitmap row it shows, the trace drawn through the map
// from bitmap rows to the screen rows that show them).
class TScopeRenderer {
public:
  // Colours are 0x00BBGGRR (red in the low byte); only the low 24 bits count.
  static constexpr std::uint32_t DefaultTraceColor = 65280;  // green
  static constexpr std::uint32_t DefaultGridColor = 8421504; // grey
  static constexpr std::uint32_t DefaultBackColor = 8421376; // teal
  // Rows left out at the top and at the bottom by the screen copy.
  static constexpr int Band = 5;
  // Target scales a compose takes (target pixels per picture pixel).
  static constexpr int MaxScale = 4;

  struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
  };
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
  // returns the screen picture (W x H; empty when W or H is 0 or less, or the
  // area is too large to hold). Areas of 10 pixels height or less show the
  // background only. This is the picture the export saves, drawn through the
  // bitmap.
  const TPixelImage& ScopePaint(const TScopeSamples& Samples, int W, int H);
  // The same picture written into Target, W x H picture pixels (each a
  // Scale x Scale block); Target must hold them all. Keeps says what Target
  // still holds of the last compose into it. True when every pixel of the
  // area was written (not only the traces).
  bool ComposeScreen(const TPixelTarget& Target, const TScopeSamples& Samples, int W, int H,
                     TTargetKeeps Keeps = TTargetKeeps::tkNothing);
  // Whether the last compose wrote every pixel of the area.
  bool LastPaintWhole() const { return FLastPaintWhole; }

  // The off-screen bitmap and the screen picture of the last ScopePaint.
  const TPixelImage& Bitmap() const { return FBitmap; }
  const TPixelImage& Screen() const { return FScreen; }
  // The trace's polyline of the last paint, in bitmap coordinates.
  const std::array<TPoint, ScopeSampleCount>& Points() const { return FPoints; }

  // The bitmap row that screen row Y of an area H high shows (H > 2 * Band):
  // the one under the row's centre when rows Band .. H-Band-1 are stretched
  // over all H, that is Band + floor((2Y + 1)(H - 2 Band) / 2H).
  static int SourceRow(int Y, int H);
  // The screen copy: Bitmap rows Band .. H-Band-1 stretched onto all rows of
  // Screen (same size, H > 2 * Band), nearest neighbour.
  static void StretchCopy(const TPixelImage& Bitmap, TPixelImage& Screen);

  // Converts 0x00BBGGRR to an opaque pixel 0xFFRRGGBB.
  static std::uint32_t ToPixel(std::uint32_t Color);

private:
  void ComputePoints(const TScopeSamples& Samples, int W, int H);
  // Whether the last composed trace's pixels are still in Target (a sample of
  // its columns).
  bool LastTraceStillThere(const TPixelTarget& Target, int W) const;
  void Compose(const TPixelTarget& Target, const TScopeSamples& Samples, int W, int H, bool Whole);
  // Prepares the two kinds of row and the row tables for W x H (H > 2 * Band);
  // true when they changed.
  bool PrepareLayout(int W, int H);
  void DrawGrid();
  // The trace into W x H pixels: at its bitmap rows when Rows is null, else
  // at the screen rows Rows gives for each bitmap row.
  void DrawTrace(std::uint32_t* Pixels, std::ptrdiff_t Stride, int W, int H, const TRowSpan* Rows,
                 int Scale);

  TPixelImage FBitmap;
  TPixelImage FScreen;
  std::array<TPoint, ScopeSampleCount> FPoints;
  // The two kinds of bitmap row before the trace: background with the column
  // lines, and a row line.
  std::vector<std::uint32_t> FBackRow;
  std::vector<std::uint32_t> FGridRow;
  // The same two rows with every pixel repeated, for a scaled target.
  std::vector<std::uint32_t> FScaledBackRow;
  std::vector<std::uint32_t> FScaledGridRow;
  // Per bitmap row: whether it is a row line, and the screen rows showing it;
  // per screen row: the bitmap row it shows. Kept for the layout's size.
  std::vector<std::uint8_t> FRowIsLine;
  std::vector<TRowSpan> FRowSpans;
  std::vector<int> FSourceRow;
  int FLayoutW = 0;
  int FLayoutH = 0;
  std::uint32_t FLayoutBack = 0;
  std::uint32_t FLayoutGrid = 0;
  // Per column, the screen rows the last composed trace wrote.
  std::vector<TRowRange> FTraceRows;
  // The target a compose that may keep its pixels wrote last, at its size.
  struct TRetained {
    TPixelTarget Target;
    int W = 0;
    int H = 0;
    bool operator==(const TRetained&) const = default;
  };
  TRetained FRetained;
  bool FLastPaintWhole = false;
  std::uint32_t FTraceColor;
  std::uint32_t FGridColor;
  std::uint32_t FBackColor;
};
