#pragma once

#include <exception>
#include <string>

// The general error of the runtime: an 8-bit (UTF-8) message and nothing else.
// Every failure the program reports is an Exception or derives from it.
class Exception : public std::exception {
public:
  explicit Exception(std::string Message);
  const char* what() const noexcept override;
  const std::string& Message() const noexcept { return FMessage; }

private:
  std::string FMessage;
};
