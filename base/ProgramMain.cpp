#include "base/ProgramMain.h"

#include <cstdio>
#include <exception>
#include <new>

int RunProgramMain(const char* Program, int Failure, const std::function<int()>& Body) noexcept {
  const char* Message = nullptr;
  try {
    return Body();
  } catch (const std::bad_alloc&) {
    // Nothing more is allocated to say so.
    Message = "out of memory";
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", Program, E.what());
    return Failure;
  } catch (...) {
    Message = "unknown error";
  }
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", Program, Message);
  return Failure;
}
