#include "base/Environment.h"

#include <cstdlib>

bool SetEnvironmentValue(const std::string& Name, const std::string& Value) {
  return _putenv_s(Name.c_str(), Value.c_str()) == 0;
}

bool RemoveEnvironmentValue(const std::string& Name) {
  // An empty value removes the variable.
  return _putenv_s(Name.c_str(), "") == 0;
}
