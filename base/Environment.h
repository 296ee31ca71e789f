#pragma once

#include <string>

// Sets the process's environment variable Name to Value (both ASCII), for
// std::getenv and for the programs started afterwards. One source per
// platform (EnvironmentPosix.cpp: setenv; EnvironmentWin32.cpp: the C
// runtime's _putenv_s, which std::getenv reads). False when it failed.
bool SetEnvironmentValue(const std::string& Name, const std::string& Value);
// Removes Name from the environment; false when it failed.
bool RemoveEnvironmentValue(const std::string& Name);
