#include "scope/PixelImage.h"

#include <algorithm>
#include <new>

TPixelImage::TPixelImage(int Width, int Height, std::uint32_t Fill) {
  SetSize(Width, Height);
  this->Fill(Fill);
}

bool TPixelImage::SetSize(int Width, int Height) {
  if (Width <= 0 || Height <= 0)
    Width = Height = 0;
  const long long Pixels = static_cast<long long>(Width) * Height;
  bool Held = Pixels <= MaxPixels;
  if (Held) {
    try {
      FPixels.resize(static_cast<std::size_t>(Pixels));
    } catch (const std::bad_alloc&) {
      Held = false;
    }
  }
  if (!Held) {
    Width = Height = 0;
    FPixels.clear();
  }
  FWidth = Width;
  FHeight = Height;
  return Held;
}

void TPixelImage::Fill(std::uint32_t Value) {
  std::fill(FPixels.begin(), FPixels.end(), Value);
}

bool TPixelImage::operator==(const TPixelImage& Other) const {
  return FWidth == Other.FWidth && FHeight == Other.FHeight && FPixels == Other.FPixels;
}
