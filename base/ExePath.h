#pragma once

#include <string>

// Full path of the running executable (resolved once, from /proc/self/exe).
const std::string& ExecutablePath();

// Folder of the running executable, with a trailing '/'.
std::string ExecutableDir();
