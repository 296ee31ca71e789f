#pragma once

#include <exception>
#include <functional>
#include <string>

// Where an exception that escaped an event handler is shown. The Qt client
// points this at its error box; command-line tools at stderr. Without a
// handler the message goes to stderr.
using TExceptionHandler = std::function<void(const std::exception&)>;

void SetExceptionHandler(TExceptionHandler Handler);
void ShowException(const std::exception& E);

// The text of the error box: the message, with a full stop appended when its
// last character sorts after '.' (so "...: 2)" stays as it is).
std::string ExceptionDisplayText(const std::string& Message);
