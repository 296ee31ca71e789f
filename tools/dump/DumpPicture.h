#pragma once

#include <string>

#include "scope/ScopeState.h"

// hxt24-dump's --bmp picture: the scope area the client would show at
// Width x Height, drawn by the scope's renderer and saved as the client's
// picture export saves it (same bytes on every platform).

// Draws Samples at Width x Height and saves the BMP file (through TSafeFile).
void SaveDumpPicture(const std::string& FileName, const TScopeSamples& Samples, int Width,
                     int Height);
