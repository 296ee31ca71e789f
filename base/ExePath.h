#pragma once

#include <string>

// Full path of the running executable, in UTF-8 (resolved once: from
// /proc/self/exe on Linux, from the module file name on Windows).
const std::string& ExecutablePath();

// Folder of the running executable, with a trailing path delimiter.
std::string ExecutableDir();

// The folder separator the system's own paths use ('\\' on Windows, '/'
// elsewhere), and whether C separates folders there (both on Windows).
extern const char PathDelim;
bool IsPathDelimiter(char C);
