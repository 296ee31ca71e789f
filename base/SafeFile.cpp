#include "base/SafeFile.h"

#include <utility>

namespace {

TFileFault& FaultHook() {
  static TFileFault Hook;
  return Hook;
}

} // namespace

void SetFileFault(TFileFault Fault) {
  FaultHook() = std::move(Fault);
}

int FileFault(TFileStep Step) {
  const TFileFault& Hook = FaultHook();
  return Hook ? Hook(Step) : 0;
}

void SaveFileWhole(const std::string& FileName, std::string_view Contents) {
  TSafeFile File(FileName);
  File.Write(Contents);
  File.Commit();
}
