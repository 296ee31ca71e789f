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

namespace {

// Set whenever the main thread's waiter is notified; auto-reset, so a
// notification between the check and the sleep is not lost.
HANDLE MainThreadWaitEvent() {
  static const HANDLE Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return Event;
}

} // namespace

void MainThreadWait(std::unique_lock<std::mutex>& Guard, std::condition_variable&,
                    const std::function<bool()>& Ready) {
  HANDLE Event = MainThreadWaitEvent();
  while (!Ready()) {
    Guard.unlock();
    // Sent messages are answered inside PeekMessage; posted ones stay queued
    // for the program's own loop.
    MsgWaitForMultipleObjectsEx(1, &Event, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    MSG Message;
    PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    Guard.lock();
  }
}

void NotifyMainThreadWait() noexcept {
  SetEvent(MainThreadWaitEvent());
}
