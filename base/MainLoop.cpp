#include "base/MainLoop.h"

#include <utility>

#include "base/ExceptionDisplay.h"

TMainLoop::TMainLoop() {
  FEvent = CreateWakeEvent();
  SetWakeMainThread([this] { Wake(); });
}

TMainLoop::~TMainLoop() {
  // Clearing the hook waits for wake-ups in flight on other threads, so none
  // writes to the descriptor after it is closed (or to another file that
  // reuses its number).
  SetWakeMainThread(nullptr);
  CloseWakeEvent(FEvent);
}

void TMainLoop::Wake() noexcept {
  SignalWakeEvent(FEvent);
}

void TMainLoop::Post(std::function<void()> Call) {
  {
    std::lock_guard Guard(FLock);
    FPosted.push_back(std::move(Call));
  }
  Wake();
}

void TMainLoop::Quit() {
  FQuit.store(true);
  Wake();
}

void TMainLoop::QuitFromSignal() noexcept {
  FQuit.store(true);
  Wake();
}

bool TMainLoop::WaitAndRun(std::chrono::steady_clock::time_point Deadline, bool Limited) {
  int Timeout = -1;
  if (Limited) {
    auto Left = std::chrono::ceil<TDuration>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0)
      return false;
    Timeout = Left.count() > 1000000 ? 1000000 : static_cast<int>(Left.count());
  }
  if (!SleepOnWakeEvent(FEvent, Timeout))
    return !Limited || std::chrono::steady_clock::now() < Deadline;
  ++FWakeups;
  // Handoffs first: a thread blocked in one is the most urgent.
  CheckSynchronize();
  for (;;) {
    std::function<void()> Call;
    {
      std::lock_guard Guard(FLock);
      if (FPosted.empty())
        break;
      Call = std::move(FPosted.front());
      FPosted.pop_front();
    }
    try {
      Call();
    } catch (const std::exception& E) {
      ShowException(E);
    }
    CheckSynchronize();
  }
  return true;
}

bool TMainLoop::Run(TDuration Limit) {
  return RunUntil([] { return false; }, Limit) || FQuit.exchange(false);
}

bool TMainLoop::RunUntil(const std::function<bool()>& Done, TDuration Limit) {
  const bool Limited = Limit != Forever;
  const auto Deadline =
      Limited ? std::chrono::steady_clock::now() + Limit : std::chrono::steady_clock::time_point{};
  // Work queued before the loop started (no wake-up may be pending for it).
  CheckSynchronize();
  while (!Done()) {
    if (FQuit.load())
      return Done();
    if (!WaitAndRun(Deadline, Limited))
      return Done();
  }
  return true;
}
