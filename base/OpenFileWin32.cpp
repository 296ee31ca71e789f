#include "base/OpenFile.h"

#include "base/Win32Text.h"

std::FILE* OpenFile(const std::string& FileName, const char* Mode) {
  return _wfopen(ToWide(FileName).c_str(), ToWide(Mode).c_str());
}
