#include "scope/PixelImage.h"

#include <algorithm>

TPixelImage::TPixelImage(int Width, int Height, std::uint32_t Fill) {
  SetSize(Width, Height);
  this->Fill(Fill);
}

void TPixelImage::SetSize(int Width, int Height) {
  if (Width <= 0 || Height <= 0)
    Width = Height = 0;
  FWidth = Width;
  FHeight = Height;
  FPixels.resize(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height));
}

void TPixelImage::Fill(std::uint32_t Value) {
  std::fill(FPixels.begin(), FPixels.end(), Value);
}

bool TPixelImage::operator==(const TPixelImage& Other) const {
  return FWidth == Other.FWidth && FHeight == Other.FHeight && FPixels == Other.FPixels;
}
