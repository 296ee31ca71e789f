#include "base/ExePath.h"

#include <climits>
#include <unistd.h>

namespace {

std::string ResolveExecutable() {
  char Buffer[PATH_MAX];
  const ssize_t Length = readlink("/proc/self/exe", Buffer, sizeof(Buffer) - 1);
  if (Length <= 0)
    return {};
  return std::string(Buffer, static_cast<std::size_t>(Length));
}

} // namespace

const std::string& ExecutablePath() {
  static const std::string Path = ResolveExecutable();
  return Path;
}

std::string ExecutableDir() {
  const std::string& Path = ExecutablePath();
  const auto Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string("./") : Path.substr(0, Slash + 1);
}

const char PathDelim = '/';

bool IsPathDelimiter(char C) {
  return C == '/';
}
