#include "base/Exception.h"

#include <utility>

Exception::Exception(std::string Message) : FMessage(std::move(Message)) {}

const char* Exception::what() const noexcept {
  return FMessage.c_str();
}
