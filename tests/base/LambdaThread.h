#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "base/Thread.h"

// Guards against a hang; no test depends on how long anything takes.
inline constexpr auto Patience = std::chrono::seconds(20);

// A thread whose body is a lambda; stops and waits in its own destructor, as
// every thread class with members used by its body must.
class TLambdaThread : public TThread {
public:
  explicit TLambdaThread(std::function<void(TLambdaThread&)> Body)
      : TThread(true), FBody(std::move(Body)) {}
  ~TLambdaThread() override {
    Terminate();
    WaitFor();
  }
  using TThread::Terminated;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TLambdaThread&)> FBody;
};
