#include "base/InstallPaths.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

#include "base/ExePath.h"

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string& Path) {
  std::error_code Error;
  return !Path.empty() && fs::is_directory(Path, Error);
}

bool Exists(const std::string& Path) {
  std::error_code Error;
  return fs::exists(Path, Error);
}

std::string Environment(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? std::string(Value) : std::string();
}

} // namespace

std::string CatalogDirectoryFor(const std::string& ExeDir, bool Carried) {
  const std::string Beside = ExeDir + "locale";
  if (Carried || IsFolder(Beside))
    return Beside;
  const std::string Shared = (fs::path(ExeDir) / "../share/hxt24/locale").lexically_normal();
  return IsFolder(Shared) ? Shared : Beside;
}

std::string ConfigFileFor(const std::string& ExeDir, const std::string& XdgConfigHome,
                          const std::string& Home) {
  const std::string Beside = ExeDir + "config.ini";
  if (Exists(Beside))
    return Beside;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
  if (!XdgConfigHome.empty() && XdgConfigHome.front() == '/')
    return (fs::path(XdgConfigHome) / "hxt24/config.ini").string();
  if (!Home.empty())
    return (fs::path(Home) / ".config/hxt24/config.ini").string();
  return Beside;
}

std::string ConfigFilePath() {
  std::string Home = Environment("HOME");
  if (Home.empty())
    if (const passwd* User = getpwuid(getuid()); User && User->pw_dir)
      Home = User->pw_dir;
  return ConfigFileFor(ExecutableDir(), Environment("XDG_CONFIG_HOME"), Home);
}

std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home) {
  if (IsFolder(ExeDir) && access(ExeDir.c_str(), W_OK) == 0)
    return ExeDir;
  if (IsFolder(UserFolder))
    return UserFolder;
  return Home;
}
