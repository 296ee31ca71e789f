#include "base/InstallPaths.h"

#include <algorithm>
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

// The names of a path between its separators, "." and ".." resolved, in lower case (ASCII):
// Windows compares names without regard to case, and a Linux folder that differs from a
// system folder only in case is rare enough to be treated as one.
std::vector<std::string> Components(const std::string& Path) {
  std::vector<std::string> Names;
  std::size_t Start = 0;
  while (Start <= Path.size()) {
    std::size_t End = Path.find_first_of("/\\", Start);
    if (End == std::string::npos)
      End = Path.size();
    std::string Name = Path.substr(Start, End - Start);
    for (char& C : Name)
      if (C >= 'A' && C <= 'Z')
        C = static_cast<char>(C - 'A' + 'a');
    if (Name == "..") {
      if (!Names.empty())
        Names.pop_back();
    } else if (!Name.empty() && Name != ".") {
      Names.push_back(std::move(Name));
    }
    Start = End + 1;
  }
  return Names;
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

bool IsInFolder(const std::string& Path, const std::string& Folder) {
  const std::vector<std::string> Inner = Components(Path);
  const std::vector<std::string> Outer = Components(Folder);
  return !Outer.empty() && Inner.size() >= Outer.size() &&
         std::equal(Outer.begin(), Outer.end(), Inner.begin());
}

std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home, const std::vector<std::string>& Protected) {
  // Asked of the path as given and of the one its links lead to: /bin is /usr/bin on
  // most systems now, and an installed program may be started through a link.
  std::error_code Error;
  const std::string Real = Utf8Of(fs::weakly_canonical(PathOf(ExeDir), Error));
  const auto InSystemFolder = [&](const std::string& Folder) {
    return IsInFolder(ExeDir, Folder) || (!Error && IsInFolder(Real, Folder));
  };
  if (IsFolder(ExeDir) && std::none_of(Protected.begin(), Protected.end(), InSystemFolder) &&
      IsWritableFolder(ExeDir))
    return ExeDir;
  if (IsFolder(UserFolder))
    return UserFolder;
  return Home;
}

std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home) {
  return SaveStartFolderFor(ExeDir, UserFolder, Home, SystemFolders());
}
