#pragma once

#include <string>

#include "scope/PixelImage.h"

// The BMP file of a picture, as the picture export writes it: a
// BITMAPFILEHEADER and a BITMAPINFOHEADER (54 bytes, little-endian), then the
// pixels at 24 bits (blue, green, red), the bottom row first, every row padded
// with zero bytes to a multiple of 4; no compression, no colour table, 3937
// pixels per metre (100 dpi) both ways. The same bytes on every platform.
//
// Raises Exception when the picture is empty or its file would not fit the
// format's 32-bit sizes (the caller names the file).
std::string EncodeBmp(const TPixelImage& Picture);
