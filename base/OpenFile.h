#pragma once

#include <cstdio>
#include <string>

// std::fopen for a UTF-8 file name (Mode as for fopen): on Windows through the
// wide name (_wfopen), so names outside the ANSI code page open too. Sets
// errno on failure, as fopen does. OpenFilePosix.cpp, OpenFileWin32.cpp.
std::FILE* OpenFile(const std::string& FileName, const char* Mode);
