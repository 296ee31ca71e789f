#include "base/OpenFile.h"

std::FILE* OpenFile(const std::string& FileName, const char* Mode) {
  return std::fopen(FileName.c_str(), Mode);
}
