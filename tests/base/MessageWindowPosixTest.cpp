// Message windows where a message travels through the thread handoff.
#include "base/MessageWindow.h"

#include <future>
#include <memory>

#include <gtest/gtest.h>

#include "tests/base/LambdaThread.h"

namespace {

TEST(MessageWindow, MessagesToAReleasedWindowAreAnsweredWithoutProcessing) {
  int Processed = 0;
  auto Window = std::make_unique<TMessageWindow>([&](TMessage&) { ++Processed; });
  TMessageWindow* Target = Window.get();
  std::promise<void> Queued;
  SetWakeMainThread([&] { Queued.set_value(); });
  std::intptr_t Result = -1;
  TLambdaThread T([&](TLambdaThread&) { Result = Target->Send(WM_USER + 1, 1, 0); });
  T.Start();
  // The message waits in the queue when the window goes; its sender must still
  // be answered, and the procedure must not run.
  Queued.get_future().wait();
  SetWakeMainThread(nullptr);
  Window.reset();
  T.WaitFor(); // runs the handoffs meanwhile
  EXPECT_EQ(Processed, 0);
  EXPECT_EQ(Result, 0);
}

} // namespace
