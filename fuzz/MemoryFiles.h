#pragma once

#include <map>
#include <string>

// The files of a fuzzer that links MemoryFiles.cpp: TSafeFile and
// ReadRegularFile then work on this map instead of the disk (no folder, no
// flush, nothing left between runs). Only regular files exist.
std::map<std::string, std::string>& MemoryFiles();
