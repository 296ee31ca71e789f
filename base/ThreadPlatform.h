#pragma once

// The system side of TThread, one source per platform (ThreadPosix.cpp,
// ThreadWin32.cpp).

#include <chrono>

#include "base/Thread.h"

// The id the system knows the calling thread by (never 0).
int CurrentSystemThreadId();
// Gives the thread with that id the priority; a priority the process may not
// set leaves the thread as it was.
void SetSystemThreadPriority(int ThreadId, TThreadPriority Priority);
// The processor time the calling thread has used so far.
std::chrono::nanoseconds CurrentThreadCpuTime();
