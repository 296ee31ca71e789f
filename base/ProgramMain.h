#pragma once

#include <functional>

// The outermost frame of a program's main: Body's result is the exit status;
// anything that escapes it (out of memory included) is one line on the
// standard error, "PROGRAM: message", and the status Failure, never an abort.
// Output still buffered is flushed first, so the message follows it.
int RunProgramMain(const char* Program, int Failure, const std::function<int()>& Body) noexcept;
