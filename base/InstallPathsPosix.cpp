// Where the programs find their files: the parts that ask a POSIX system.
#include "base/InstallPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "base/ExePath.h"

namespace {

std::string Environment(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? std::string(Value) : std::string();
}

} // namespace

std::string ConfigFilePath() {
  std::string Home = Environment("HOME");
  if (Home.empty())
    if (const passwd* User = getpwuid(getuid()); User && User->pw_dir)
      Home = User->pw_dir;
  return ConfigFileFor(ExecutableDir(), Environment("XDG_CONFIG_HOME"), Home);
}

std::vector<std::string> SystemFolders() {
  return {"/usr",    "/opt", "/bin",  "/sbin", "/lib",  "/lib32", "/lib64",
          "/libx32", "/etc", "/boot", "/var",  "/snap", "/nix",   "/app"};
}

bool IsWritableFolder(const std::string& Folder) {
  return access(Folder.c_str(), W_OK) == 0;
}
