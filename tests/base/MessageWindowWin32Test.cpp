// Message windows on Windows: hidden windows of the system, reached with
// SendMessage from other threads.
#include "base/MessageWindow.h"

#include <atomic>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "base/MainLoop.h"
#include "tests/base/LambdaThread.h"

// Blocks until a message sent by another thread waits for the calling thread,
// without delivering it (in SentMessageWin32.cpp: the system's headers cannot
// meet MessageWindow.h in one source).
bool SentMessageWaits(std::chrono::milliseconds Limit);

namespace {

// The main loop's sleep delivers the messages other threads send: each runs
// the procedure on the main thread, and its Result goes back to its sender.
TEST(MessageWindowWin32, TheMainLoopDeliversSentMessages) {
  TMainLoop Loop;
  std::vector<std::uintptr_t> Seen;
  std::atomic<bool> AllOnMain{true};
  TMessageWindow Window([&](TMessage& M) {
    AllOnMain = AllOnMain && IsMainThread();
    Seen.push_back(M.WParam);
    M.Result = static_cast<std::intptr_t>(M.WParam * 10);
  });
  std::vector<std::intptr_t> Results;
  std::atomic<bool> Done{false};
  TLambdaThread T([&](TLambdaThread&) {
    for (std::uintptr_t i = 1; i <= 3; ++i)
      Results.push_back(Window.Send(WM_USER + 1, i, 0));
    Done = true;
    Loop.Quit();
  });
  T.Start();
  EXPECT_TRUE(Loop.RunUntil([&] { return Done.load(); }, Patience));
  T.WaitFor();
  EXPECT_TRUE(AllOnMain);
  EXPECT_EQ(Seen, (std::vector<std::uintptr_t>{1, 2, 3}));
  EXPECT_EQ(Results, (std::vector<std::intptr_t>{10, 20, 30}));
}

// A message on its way when the window goes is answered with 0 by the system
// and never reaches the procedure; the main thread's wait for the sender
// delivers what the sender waits for, so neither waits for ever.
TEST(MessageWindowWin32, MessagesToAReleasedWindowAreAnsweredWithoutProcessing) {
  int Processed = 0;
  auto Window = std::make_unique<TMessageWindow>([&](TMessage&) { ++Processed; });
  TMessageWindow* Target = Window.get();
  std::intptr_t Result = -1;
  TLambdaThread T([&](TLambdaThread&) { Result = Target->Send(WM_USER + 1, 1, 0); });
  T.Start();
  ASSERT_TRUE(SentMessageWaits(Patience));
  Window.reset();
  T.WaitFor();
  EXPECT_EQ(Processed, 0);
  EXPECT_EQ(Result, 0);
}

} // namespace
