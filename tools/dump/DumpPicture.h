#pragma once

#include <string>

#include "scope/ScopeState.h"

// hxt24-dump's --bmp picture: drawn by the scope's renderer, which needs Qt
// Gui. A build without Qt (the Windows cross build) has no pictures: --bmp is
// then refused as a usage error. DumpPictureQt.cpp, DumpPictureNone.cpp.

// True when this build can draw the picture.
bool DumpDrawsPictures();
// Draws Samples at Width x Height and saves the BMP file (through TSafeFile).
void SaveDumpPicture(const std::string& FileName, const TScopeSamples& Samples, int Width,
                     int Height);
