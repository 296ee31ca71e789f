#include "base/ProgramMain.h"

#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/Exception.h"

namespace {

// Whatever escapes a program's body is one line on the standard error and
// the failure status; a body that returns gives its own status.
TEST(ProgramMain, WhatEscapesIsOneLineAndTheFailureStatus) {
  const struct {
    void (*Throw)();
    const char* Line;
  } Rows[] = {
      {[] { throw std::bad_alloc(); }, "prog: out of memory\n"},
      {[] { throw Exception("Cannot write file \"x\". No space left on device"); },
       "prog: Cannot write file \"x\". No space left on device\n"},
      {[] { throw std::length_error("vector"); }, "prog: vector\n"},
      {[] { throw 42; }, "prog: unknown error\n"},
  };
  for (const auto& Row : Rows) {
    testing::internal::CaptureStderr();
    const int Status = RunProgramMain("prog", 3, [&]() -> int {
      Row.Throw();
      return 0;
    });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Row.Line);
    EXPECT_EQ(Status, 3);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgramMain("prog", 3, [] { return 7; }), 7);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
