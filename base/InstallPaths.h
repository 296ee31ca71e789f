#pragma once

#include <string>
#include <vector>

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

// True when Path is Folder or lies inside it, compared by whole names between
// separators ('/' and '\' both), "." and ".." resolved, letters without regard
// to case. An empty Folder, or the root alone, holds nothing here.
bool IsInFolder(const std::string& Path, const std::string& Folder);

// The folders where the system keeps installed programs and their data; a
// save dialog never starts there. Linux: /usr, /opt, /bin, /sbin, /lib...,
// /etc, /boot, /var, /snap, /nix, /app. Windows: the Program Files folders,
// the program data folder and the Windows folder.
std::vector<std::string> SystemFolders();

// Where a save dialog starts: ExeDir when it is a folder this user may write
// to and lies in none of Protected, else UserFolder (the pictures or documents
// folder) when it is a folder, else Home. So an installed program (in
// /usr/bin, even for root who may write there) offers the user's folder, and a
// build tree or an unpacked folder of the user's offers itself.
std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home, const std::vector<std::string>& Protected);
// The same with the system's folders (SystemFolders).
std::string SaveStartFolderFor(const std::string& ExeDir, const std::string& UserFolder,
                               const std::string& Home);
