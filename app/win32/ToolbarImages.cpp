#include "app/win32/ToolbarImages.h"

#include <cstdint>
#include <cstring>

namespace {

// One character per pixel: '.' transparent, the others from the palette below.
constexpr const char* Camera[16] = {
    "................", "................", "................", ".....kkkkk......",
    "....kggggk......", ".kkkkkkkkkkkkkk.", ".kwwwwkkkkwwwwk.", ".kwwwkbbbbkwwwk.",
    ".kwwkbllllbkwwk.", ".kwwkblwllbkwwk.", ".kwwkbllllbkwwk.", ".kwwwkbbbbkwwwk.",
    ".kwwwwkkkkwwwwk.", ".kkkkkkkkkkkkkk.", "................", "................"};
constexpr const char* Values[16] = {
    "..kkkkkkkkkk....", "..kwwwwwwwwkk...", "..kwwwwwwwwkwk..", "..kwbbwgggwkkkk.",
    "..kwwwwwwwwwwwk.", "..kwbbwgggggwwk.", "..kwwwwwwwwwwwk.", "..kwbbwggggwwwk.",
    "..kwwwwwwwwwwwk.", "..kwbbwgggggwwk.", "..kwwwwwwwwwwwk.", "..kwbbwggwwwwwk.",
    "..kwwwwwwwwwwwk.", "..kwwwwwwwwwwwk.", "..kkkkkkkkkkkkk.", "................"};

std::uint32_t Colour(char Key) {
  switch (Key) {
  case 'k':
    return 0xFF202020u; // outline
  case 'g':
    return 0xFF808080u; // grey detail
  case 'w':
    return 0xFFFFFFFFu; // white face
  case 'b':
    return 0xFF1F4E9Fu; // lens rim / figures
  case 'l':
    return 0xFF4F9FDFu; // lens glass
  default:
    return 0x00000000u; // transparent
  }
}

void AddImage(HIMAGELIST List, const char* const Rows[16]) {
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = 16;
  Info.bmiHeader.biHeight = -16; // top-down
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HBITMAP Image = CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (!Image)
    return;
  auto* Pixels = static_cast<std::uint32_t*>(Bits);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      Pixels[y * 16 + x] = Colour(Rows[y][x]);
  // With ILC_COLOR32 the alpha channel is the mask.
  ImageList_Add(List, Image, nullptr);
  DeleteObject(Image);
}

} // namespace

void AddToolbarImages(HIMAGELIST List) {
  AddImage(List, Camera);
  AddImage(List, Values);
}
