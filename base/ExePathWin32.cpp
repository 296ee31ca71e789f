// The executable's path on Windows: the module file name of the process.
#include "base/ExePath.h"

#include <windows.h>

#include <string>

#include "base/Win32Text.h"

namespace {

std::string ResolveExecutable() {
  std::wstring Buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length =
        GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Length == 0)
      return {};
    // A name that fills the buffer may have been cut: try again with more room.
    if (Length < Buffer.size()) {
      Buffer.resize(Length);
      return FromWide(Buffer);
    }
    if (Buffer.size() >= 32768)
      return {};
    Buffer.resize(Buffer.size() * 2);
  }
}

} // namespace

const std::string& ExecutablePath() {
  static const std::string Path = ResolveExecutable();
  return Path;
}

std::string ExecutableDir() {
  const std::string& Path = ExecutablePath();
  const auto Slash = Path.find_last_of("\\/");
  return Slash == std::string::npos ? std::string(".\\") : Path.substr(0, Slash + 1);
}

const char PathDelim = '\\';

bool IsPathDelimiter(char C) {
  return C == '\\' || C == '/';
}
