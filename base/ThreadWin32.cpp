// TThread's system side on Windows: thread ids, thread priorities, the
// thread's kernel and user times.
#include "base/ThreadPlatform.h"

#include <windows.h>

int CurrentSystemThreadId() {
  return static_cast<int>(GetCurrentThreadId());
}

void SetSystemThreadPriority(int ThreadId, TThreadPriority Priority) {
  static const int Levels[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                               THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                               THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                               THREAD_PRIORITY_TIME_CRITICAL};
  HANDLE Thread = OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(ThreadId));
  if (!Thread)
    return;
  (void)SetThreadPriority(Thread, Levels[Priority]);
  CloseHandle(Thread);
}

std::chrono::nanoseconds CurrentThreadCpuTime() {
  FILETIME Creation, Exit, Kernel, User;
  if (!GetThreadTimes(GetCurrentThread(), &Creation, &Exit, &Kernel, &User))
    return std::chrono::nanoseconds(0);
  auto Ticks = [](const FILETIME& T) {
    return (static_cast<unsigned long long>(T.dwHighDateTime) << 32) | T.dwLowDateTime;
  };
  // FILETIME counts 100 ns steps.
  return std::chrono::nanoseconds((Ticks(Kernel) + Ticks(User)) * 100);
}
