#pragma once

#include <cstdint>
#include <vector>

// An owned picture of Width x Height 32-bit pixels, rows top-down with no
// padding between them (Stride() == 4 * Width). A pixel is 0xFFRRGGBB: in
// memory (little-endian) blue, green, red, 0xFF, which is the layout of a
// 32-bit BI_RGB DIB row and of QImage::Format_RGB32, so
// a front end shows it without converting (Win32: SetDIBitsToDevice with a
// negative height; Qt: a QImage over Bits()).
class TPixelImage {
public:
  TPixelImage() = default;
  // The largest picture held: 2^28 pixels (16384 x 16384, 1 GiB).
  static constexpr long long MaxPixels = 1LL << 28;

  // A picture filled with Fill; an empty one when Width or Height is 0 or
  // less, or the picture is too large to hold.
  TPixelImage(int Width, int Height, std::uint32_t Fill = 0xFF000000u);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool IsEmpty() const { return FWidth <= 0 || FHeight <= 0; }
  // Bytes from one row to the next.
  int Stride() const { return FWidth * 4; }

  // Row Y (0 is the top), Width pixels; Y must lie in [0, Height).
  std::uint32_t* Row(int Y) { return FPixels.data() + static_cast<std::size_t>(Y) * FWidth; }
  const std::uint32_t* Row(int Y) const {
    return FPixels.data() + static_cast<std::size_t>(Y) * FWidth;
  }
  std::uint32_t* Bits() { return FPixels.data(); }
  const std::uint32_t* Bits() const { return FPixels.data(); }

  std::uint32_t Pixel(int X, int Y) const { return Row(Y)[X]; }
  void SetPixel(int X, int Y, std::uint32_t Value) { Row(Y)[X] = Value; }

  // Changes the size; the pixels are then undefined (kept when the size is the
  // same). Memory is kept for a later, smaller size. A size of more than
  // MaxPixels, or one whose memory cannot be had, leaves the picture empty
  // and gives false.
  bool SetSize(int Width, int Height);
  void Fill(std::uint32_t Value);

  bool operator==(const TPixelImage& Other) const;

private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<std::uint32_t> FPixels;
};
