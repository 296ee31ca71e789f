#include "base/ExceptionDisplay.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex HandlerLock;
TExceptionHandler& Handler() {
  static TExceptionHandler Current;
  return Current;
}

} // namespace

void SetExceptionHandler(TExceptionHandler NewHandler) {
  std::lock_guard Guard(HandlerLock);
  Handler() = std::move(NewHandler);
}

void ShowException(const std::exception& E) {
  TExceptionHandler Current;
  {
    std::lock_guard Guard(HandlerLock);
    Current = Handler();
  }
  if (Current) {
    Current(E);
    return;
  }
  std::fprintf(stderr, "%s\n", ExceptionDisplayText(E.what()).c_str());
}

std::string ExceptionDisplayText(const std::string& Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.')
    return Message + '.';
  return Message;
}
