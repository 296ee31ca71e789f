#include "app/DemoScope.h"

#include <stdexcept>

std::unique_ptr<TDemoScope> StartDemoScope() {
  throw std::runtime_error("the demo scope needs a pseudo-terminal, which Windows does not have");
}
