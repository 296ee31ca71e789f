#include "base/InstallPaths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/ExePath.h"

namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 in the program; std::filesystem takes and gives them as
// such only through char8_t (its plain strings are the ANSI code page on
// Windows).
fs::path PathOf(const std::string& Utf8) {
  return fs::path(std::u8string(Utf8.begin(), Utf8.end()));
}

std::string Utf8Of(const fs::path& Path) {
  const std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

bool IsFolder(const std::string& Path) {
  std::error_code Error;
  return !Path.empty() && fs::is_directory(PathOf(Path), Error);
}

bool Exists(const std::string& Path) {
  std::error_code Error;
  return fs::exists(PathOf(Path), Error);
}

} // namespace

std::string CatalogDirectoryFor(const std::string& ExeDir, bool Carried) {
  const std::string Beside = ExeDir + "locale";
  if (Carried || IsFolder(Beside))
    return Beside;
  const std::string Shared = Utf8Of((PathOf(ExeDir) / "../share/hxt24/locale").lexically_normal());
  return IsFolder(Shared) ? Shared : Beside;
}

std::string ConfigFileFor(const std::string& ExeDir, const std::string& XdgConfigHome,
                          const std::string& Home) {
  const std::string Beside = ExeDir + "config.ini";
  if (Exists(Beside))
    return Beside;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
  if (!XdgConfigHome.empty() && XdgConfigHome.front() == '/')
    return Utf8Of(PathOf(XdgConfigHome) / "hxt24/config.ini");
  if (!Home.empty())
    return Utf8Of(PathOf(Home) / ".config/hxt24/config.ini");
  return Beside;
}

std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home) {
  if (IsFolder(ExeDir) && IsWritableFolder(ExeDir))
    return ExeDir;
  if (IsFolder(UserFolder))
    return UserFolder;
  return Home;
}
