#pragma once

#include <string>

// Where the programs find their files, both when they run from the build tree (everything
// beside the executable) and when installed (executables in /usr/bin, shared files in
// /usr/share/hxt24, settings in the user's configuration folder). Each rule comes as a pure
// function of its inputs, for the tests, and as the form the programs call.

// The catalog tree ("<dir>/<language>/LC_MESSAGES/<domain>.mo"): "<ExeDir>locale" when the
// executable carries its catalogs or that folder exists, else "<ExeDir>../share/hxt24/locale"
// (normalised) when that folder exists, else "<ExeDir>locale". ExeDir ends with '/'.
std::string CatalogDirectoryFor(const std::string& ExeDir, bool Carried);

// The settings file: "<ExeDir>config.ini" when it exists, else
// "<XdgConfigHome>/hxt24/config.ini" when XdgConfigHome is an absolute path, else
// "<Home>/.config/hxt24/config.ini"; without a home, "<ExeDir>config.ini".
std::string ConfigFileFor(const std::string& ExeDir, const std::string& XdgConfigHome,
                          const std::string& Home);
// ConfigFileFor the running executable, $XDG_CONFIG_HOME and $HOME (the password
// database's home when $HOME is unset). On Windows: "<ExeDir>config.ini" when it
// exists, else "%APPDATA%\hxt24\config.ini".
std::string ConfigFilePath();

// True when this user may create files in Folder.
bool IsWritableFolder(const std::string& Folder);

// Where a save dialog starts: ExeDir when it is a folder this user may write to, else
// UserFolder (the pictures or documents folder) when it is a folder, else Home.
std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home);
