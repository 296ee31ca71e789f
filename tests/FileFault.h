#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "base/SafeFile.h"

// Makes the Nth system call of Step (1 for the first) fail with Error for the
// life of the object; every other call runs.
class TFileFaultScope {
public:
  TFileFaultScope(TFileStep Step, int Error = ENOSPC, int Nth = 1) {
    SetFileFault([=, Count = 0](TFileStep Asked) mutable {
      return Asked == Step && ++Count == Nth ? Error : 0;
    });
  }
  ~TFileFaultScope() { SetFileFault(nullptr); }
  TFileFaultScope(const TFileFaultScope&) = delete;
  TFileFaultScope& operator=(const TFileFaultScope&) = delete;
};

// The names in a folder, to see that no temporary file was left behind.
inline std::vector<std::string> FolderNames(const std::filesystem::path& Folder) {
  std::vector<std::string> Names;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder))
    Names.push_back(Entry.path().filename().string());
  return Names;
}
