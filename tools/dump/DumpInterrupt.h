#pragma once

#include "base/MainLoop.h"

// While it exists, Ctrl+C (and on Linux a polite kill, SIGTERM) ends the
// loop's run instead of the program, so the port closes properly. One source
// per platform: DumpInterruptPosix.cpp (signals), DumpInterruptWin32.cpp (the
// console's control handler, which runs on a thread of its own).
class TInterruptQuit {
public:
  explicit TInterruptQuit(TMainLoop& Loop);
  ~TInterruptQuit();
  TInterruptQuit(const TInterruptQuit&) = delete;
  TInterruptQuit& operator=(const TInterruptQuit&) = delete;
};
