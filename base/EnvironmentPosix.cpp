#include "base/Environment.h"

#include <cstdlib>

bool SetEnvironmentValue(const std::string& Name, const std::string& Value) {
  return setenv(Name.c_str(), Value.c_str(), 1) == 0;
}

bool RemoveEnvironmentValue(const std::string& Name) {
  return unsetenv(Name.c_str()) == 0;
}
