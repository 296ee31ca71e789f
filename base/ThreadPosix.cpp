// TThread's system side on Linux: kernel thread ids, nice values, the
// thread's CPU clock.
#include "base/ThreadPlatform.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

int CurrentSystemThreadId() {
  return static_cast<int>(syscall(SYS_gettid));
}

void SetSystemThreadPriority(int ThreadId, TThreadPriority Priority) {
  // On Linux a thread's nice value is its own.
  static const int Nice[] = {19, 10, 5, 0, -5, -10, -20};
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId), Nice[Priority]);
}

std::chrono::nanoseconds CurrentThreadCpuTime() {
  timespec Used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Used);
  return std::chrono::seconds(Used.tv_sec) + std::chrono::nanoseconds(Used.tv_nsec);
}

void MainThreadWait(std::unique_lock<std::mutex>& Guard, std::condition_variable& Wake,
                    const std::function<bool()>& Ready) {
  Wake.wait(Guard, Ready);
}

void NotifyMainThreadWait() noexcept {}
