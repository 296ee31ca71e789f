#include "scope/BmpFile.h"

#include <cstdint>

#include "base/Exception.h"

namespace {

constexpr std::uint32_t HeaderBytes = 14 + 40;
constexpr std::uint32_t PixelsPerMetre = 3937;

void Put16(std::string& To, std::uint32_t Value) {
  To += static_cast<char>(Value & 0xFF);
  To += static_cast<char>((Value >> 8) & 0xFF);
}

void Put32(std::string& To, std::uint32_t Value) {
  Put16(To, Value & 0xFFFF);
  Put16(To, Value >> 16);
}

} // namespace

std::string EncodeBmp(const TPixelImage& Picture) {
  if (Picture.IsEmpty())
    throw Exception("The picture is empty");
  const int W = Picture.Width();
  const int H = Picture.Height();
  const std::uint64_t RowBytes = (static_cast<std::uint64_t>(W) * 3 + 3) / 4 * 4;
  const std::uint64_t ImageBytes = RowBytes * static_cast<std::uint64_t>(H);
  if (ImageBytes + HeaderBytes > UINT32_MAX)
    throw Exception("The picture is too large for a BMP file");
  std::string Bytes;
  Bytes.reserve(static_cast<std::size_t>(ImageBytes + HeaderBytes));
  // BITMAPFILEHEADER
  Bytes += "BM";
  Put32(Bytes, static_cast<std::uint32_t>(ImageBytes + HeaderBytes));
  Put32(Bytes, 0); // reserved
  Put32(Bytes, HeaderBytes);
  // BITMAPINFOHEADER; a positive height: the rows run bottom-up.
  Put32(Bytes, 40);
  Put32(Bytes, static_cast<std::uint32_t>(W));
  Put32(Bytes, static_cast<std::uint32_t>(H));
  Put16(Bytes, 1);  // planes
  Put16(Bytes, 24); // bits per pixel
  Put32(Bytes, 0);  // BI_RGB
  Put32(Bytes, static_cast<std::uint32_t>(ImageBytes));
  Put32(Bytes, PixelsPerMetre);
  Put32(Bytes, PixelsPerMetre);
  Put32(Bytes, 0); // colours used
  Put32(Bytes, 0); // important colours
  const std::size_t Padding =
      static_cast<std::size_t>(RowBytes - static_cast<std::uint64_t>(W) * 3);
  for (int Y = H - 1; Y >= 0; --Y) {
    const std::uint32_t* Row = Picture.Row(Y);
    for (int X = 0; X < W; ++X) {
      const std::uint32_t P = Row[X]; // 0xFFRRGGBB
      Bytes += static_cast<char>(P & 0xFF);
      Bytes += static_cast<char>((P >> 8) & 0xFF);
      Bytes += static_cast<char>((P >> 16) & 0xFF);
    }
    Bytes.append(Padding, '\0');
  }
  return Bytes;
}
