#include "base/CommandLine.h"

#include <windows.h>

#include <shellapi.h>

#include "base/Win32Text.h"

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) {
  int Count = 0;
  wchar_t** Wide = CommandLineToArgvW(GetCommandLineW(), &Count);
  // Without the wide line (never in practice) the runtime's split stands.
  if (!Wide)
    return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> Args;
  for (int i = 0; i < Count; ++i)
    Args.push_back(FromWide(Wide[i]));
  LocalFree(Wide);
  return Args;
}
