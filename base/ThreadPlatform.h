#pragma once

// The system side of TThread, one source per platform (ThreadPosix.cpp,
// ThreadWin32.cpp).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "base/Thread.h"

// The id the system knows the calling thread by (never 0).
int CurrentSystemThreadId();
// Gives the thread with that id the priority; a priority the process may not
// set leaves the thread as it was.
void SetSystemThreadPriority(int ThreadId, TThreadPriority Priority);
// The processor time the calling thread has used so far.
std::chrono::nanoseconds CurrentThreadCpuTime();

// The main thread's sleep while it waits for another thread (TThread::WaitFor):
// until Ready holds, checked with Guard held, woken through Wake. Whoever
// notifies Wake also calls NotifyMainThreadWait. On Windows the sleep also
// answers the window messages other threads send to the main thread's hidden
// windows: a thread blocked in SendMessage could otherwise never end.
void MainThreadWait(std::unique_lock<std::mutex>& Guard, std::condition_variable& Wake,
                    const std::function<bool()>& Ready);
void NotifyMainThreadWait() noexcept;
