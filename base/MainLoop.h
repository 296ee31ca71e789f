#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "base/Thread.h"

// The main thread's event loop for programs without a window toolkit (the dump
// tool, tests). It sleeps on one wake-up object until a thread hands a call over,
// a call is posted, Quit is requested or the optional time limit passes; it
// never polls. While it exists it is the wake hook of the thread handoff.
class TMainLoop {
public:
  using TDuration = std::chrono::milliseconds;
  static constexpr TDuration Forever = TDuration::max();

  // Create it on the main thread; only one may exist at a time.
  TMainLoop();
  ~TMainLoop();
  TMainLoop(const TMainLoop&) = delete;
  TMainLoop& operator=(const TMainLoop&) = delete;

  // Runs Call on the main thread in a later round (any thread may post).
  // An exception it raises goes to the exception display.
  void Post(std::function<void()> Call);
  // Ends Run (any thread).
  void Quit();
  // The same from a signal handler: only an atomic store and a write.
  void QuitFromSignal() noexcept;

  // Runs rounds of work until Quit (true; the request is consumed) or until
  // Limit has passed (false).
  bool Run(TDuration Limit = Forever);
  // Runs rounds until Done holds (checked before the first sleep and after
  // every round), Quit, or Limit passes; returns Done().
  bool RunUntil(const std::function<bool()>& Done, TDuration Limit);

  // How many times the loop woke up for work since it was created.
  unsigned long Wakeups() const { return FWakeups.load(); }

private:
  void Wake() noexcept;
  // One sleep (up to Timeout) and one round of work; false if it timed out.
  bool WaitAndRun(std::chrono::steady_clock::time_point Deadline, bool Limited);

  // The wake-up object and the sleep on it, one source per platform
  // (MainLoopPosix.cpp: an eventfd; MainLoopWin32.cpp: an event object, and
  // the sleep also dispatches the thread's window messages).
  static std::intptr_t CreateWakeEvent();
  static void CloseWakeEvent(std::intptr_t Event) noexcept;
  static void SignalWakeEvent(std::intptr_t Event) noexcept;
  // Sleeps until Event is signalled (true; the signal is consumed) or
  // TimeoutMs has passed (false); -1 sleeps without a limit.
  static bool SleepOnWakeEvent(std::intptr_t Event, int TimeoutMs);

  std::intptr_t FEvent = -1;
  std::mutex FLock;
  std::deque<std::function<void()>> FPosted;
  std::atomic<bool> FQuit{false};
  std::atomic<unsigned long> FWakeups{0};
};
