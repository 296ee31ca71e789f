#include "base/ProgramInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string VersionLine(const std::string& Program) {
  return Program + " " + ProgramVersion + "\n";
}

int PrintProgramInfo(const std::string& Program, const std::string& Text) {
  errno = 0;
  const bool Written = std::fwrite(Text.data(), 1, Text.size(), stdout) == Text.size();
  if (std::fflush(stdout) == 0 && Written)
    return 0;
  const int Error = errno ? errno : EIO;
  std::fprintf(stderr, "%s: cannot write the standard output: %s\n", Program.c_str(),
               std::strerror(Error));
  return 1;
}
