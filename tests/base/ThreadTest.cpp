#include "base/Thread.h"

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "base/MainLoop.h"
#include "base/MessageWindow.h"
#include "tests/base/LambdaThread.h"

namespace {

using namespace std::chrono_literals;

TEST(Thread, SynchronizeRunsOnTheMainThreadAndBlocksTheCaller) {
  std::vector<std::string> Order;
  std::atomic<bool> RanOnMain{false};
  TLambdaThread T([&](TLambdaThread&) {
    TThread::Synchronize([&] {
      RanOnMain = IsMainThread();
      Order.push_back("main");
    });
    // Only after the main thread ran the call; Order is not touched by main
    // any more, the thread's end orders it before the checks below.
    Order.push_back("thread");
  });
  T.Start();
  T.WaitFor(); // runs the handoffs meanwhile
  EXPECT_TRUE(RanOnMain);
  EXPECT_EQ(Order, (std::vector<std::string>{"main", "thread"}));
  EXPECT_EQ(T.FatalException(), nullptr);
}

TEST(Thread, ExceptionInAHandoffIsRaisedAgainInTheThreadAndRecorded) {
  std::string CaughtInThread;
  TLambdaThread T([&](TLambdaThread&) {
    try {
      TThread::Synchronize([] { throw Exception("ClearCommError function failed"); });
    } catch (const Exception& E) {
      CaughtInThread = E.Message();
    }
    TThread::Synchronize([] { throw std::runtime_error("second"); });
  });
  T.Start();
  T.WaitFor(); // runs the handoffs meanwhile
  EXPECT_EQ(CaughtInThread, "ClearCommError function failed");
  ASSERT_NE(T.FatalException(), nullptr);
  EXPECT_THROW(std::rethrow_exception(T.FatalException()), std::runtime_error);
}

TEST(Thread, CreatedSuspendedNeverRunsUnlessStarted) {
  std::atomic<bool> Ran{false};
  {
    TLambdaThread T([&](TLambdaThread&) { Ran = true; });
    EXPECT_FALSE(T.Started());
  }
  EXPECT_FALSE(Ran);
}

TEST(Thread, DestructorOnTheMainThreadRunsAPendingHandoff) {
  // No loop runs: without the destructor's own handoff processing the thread
  // would stay blocked in Synchronize and the destructor would never return.
  std::atomic<bool> Ran{false};
  std::promise<void> Queued;
  auto T = std::make_unique<TLambdaThread>([&](TLambdaThread& Self) {
    Queued.set_value();
    TThread::Synchronize([&] { Ran = IsMainThread(); });
    while (!Self.Terminated())
      TThread::Synchronize([] {});
  });
  T->Start();
  Queued.get_future().wait();
  T.reset();
  EXPECT_TRUE(Ran);
}

TEST(Thread, WaitingForTheThreadInsideItsOwnHandoffReleasesIt) {
  // A receive handler that closes the port: the main thread waits for the
  // event thread while that thread waits for the handler.
  TMainLoop Loop;
  bool WaitReturned = false;
  std::atomic<bool> AfterHandoff{false};
  TLambdaThread* Self = nullptr;
  TLambdaThread T([&](TLambdaThread&) {
    TThread::Synchronize([&] {
      Self->Terminate();
      Self->WaitFor();
      WaitReturned = true;
    });
    AfterHandoff = true;
  });
  Self = &T;
  T.Start();
  ASSERT_TRUE(Loop.RunUntil([&] { return WaitReturned; }, Patience));
  EXPECT_TRUE(T.Finished());
  EXPECT_TRUE(AfterHandoff);
}

TEST(Thread, ExceptionAfterAnEarlyReleaseIsShownNotLost) {
  TMainLoop Loop;
  std::string Shown;
  SetExceptionHandler([&](const std::exception& E) { Shown = E.what(); });
  TLambdaThread* Self = nullptr;
  TLambdaThread T([&](TLambdaThread&) {
    TThread::Synchronize([&] {
      Self->WaitFor();
      throw Exception("Handler failed after close");
    });
  });
  Self = &T;
  T.Start();
  bool Done = Loop.RunUntil([&] { return !Shown.empty(); }, Patience);
  SetExceptionHandler(nullptr);
  ASSERT_TRUE(Done);
  EXPECT_EQ(Shown, "Handler failed after close");
  EXPECT_EQ(T.FatalException(), nullptr);
}

TEST(Thread, WakeHookFiresOncePerHandoffAndOnTerminateRunsOnMain) {
  TMainLoop Loop;
  std::atomic<int> Wakes{0};
  // Replace the loop's hook with a counting one that still wakes the loop.
  SetWakeMainThread([&] {
    ++Wakes;
    Loop.Post([] {});
  });
  std::atomic<bool> TerminateOnMain{false};
  TLambdaThread T([&](TLambdaThread&) {
    for (int I = 0; I < 3; ++I)
      TThread::Synchronize([] {});
  });
  T.OnTerminate = [&] { TerminateOnMain = IsMainThread(); };
  T.Start();
  T.WaitFor();
  SetWakeMainThread(nullptr);
  EXPECT_EQ(Wakes, 4); // three handoffs and the termination notification
  EXPECT_TRUE(TerminateOnMain);
}

TEST(Thread, ClearingTheWakeHookWaitsForTheCallInFlight) {
  // The owner of a hook clears it and frees what it uses while another thread
  // is still inside it: clearing must wait for that call.
  auto Owned = std::make_unique<int>(0);
  std::promise<void> Entered;
  std::atomic<bool> HookReturned{false};
  SetWakeMainThread([&, Data = Owned.get()] {
    Entered.set_value();
    // Long enough for a clearing that does not wait to come back first.
    std::this_thread::sleep_for(100ms);
    ++*Data;
    HookReturned = true;
  });
  std::thread Queuer([] { TThread::Queue([] {}); });
  Entered.get_future().wait();
  SetWakeMainThread(nullptr);
  EXPECT_TRUE(HookReturned);
  Owned.reset();
  Queuer.join();
  CheckSynchronize();
}

TEST(MainLoop, GoesSafelyWhileAnotherThreadKeepsWakingIt) {
  // Each loop closes its descriptor while the other thread may be waking it.
  std::atomic<bool> Done{false};
  std::thread Queuer([&] {
    for (int I = 0; I < 20000; ++I)
      TThread::Queue([] {});
    Done = true;
  });
  while (!Done.load())
    std::make_unique<TMainLoop>().reset();
  Queuer.join();
  CheckSynchronize();
}

TEST(Thread, QueueDoesNotWaitAndShowsItsException) {
  TMainLoop Loop;
  std::vector<std::string> Shown;
  SetExceptionHandler([&](const std::exception& E) { Shown.push_back(E.what()); });
  std::promise<void> WentOn;
  TLambdaThread T([&](TLambdaThread&) {
    TThread::Queue([] { throw Exception("WaitForEvent method failed (win error code: 5)"); });
    WentOn.set_value();
  });
  T.Start();
  // The main thread runs nothing yet: a waiting Queue would never get here.
  bool ThreadWentOn = WentOn.get_future().wait_for(Patience) == std::future_status::ready;
  bool ShownIt = Loop.RunUntil([&] { return !Shown.empty(); }, Patience);
  SetExceptionHandler(nullptr);
  EXPECT_TRUE(ThreadWentOn);
  ASSERT_TRUE(ShownIt);
  EXPECT_EQ(Shown, (std::vector<std::string>{"WaitForEvent method failed (win error code: 5)"}));
}

TEST(MessageWindow, ReplyReleasesTheSenderBeforeProcessingEnds) {
  std::promise<void> SenderBack;
  auto SenderBackFuture = SenderBack.get_future().share();
  std::vector<std::string> Seen;
  std::intptr_t Replied = -1;
  bool SenderReturnedBeforeEnd = false;
  TMessageWindow Window([&](TMessage& M) {
    Seen.push_back(std::to_string(M.Msg) + ":" + std::to_string(M.WParam) + ":" +
                   std::to_string(InSendMessage()));
    if (M.WParam == 1) {
      ReplyMessage(7);
      EXPECT_FALSE(InSendMessage());
      // The sender is free now; were it not, this would wait in vain.
      SenderReturnedBeforeEnd = SenderBackFuture.wait_for(Patience) == std::future_status::ready;
    }
    M.Result = 9;
  });
  TLambdaThread T([&](TLambdaThread&) {
    Replied = Window.Send(WM_USER + 1, 1, 0);
    SenderBack.set_value();
    // Not replied early: the procedure's Result comes back.
    EXPECT_EQ(Window.Send(WM_USER + 1, 2, 0), 9);
  });
  T.Start();
  T.WaitFor(); // runs the handoffs meanwhile
  EXPECT_EQ(Replied, 7);
  EXPECT_TRUE(SenderReturnedBeforeEnd);
  EXPECT_EQ(Seen, (std::vector<std::string>{"1025:1:1", "1025:2:1"}));
  // On the main thread the procedure runs at once, and nobody waits.
  EXPECT_EQ(Window.Send(WM_USER + 1, 3, 0), 9);
  EXPECT_EQ(Seen.back(), "1025:3:0");
}

TEST(MainLoop, QuitFromAnotherThreadOrASignalEndsRun) {
  TMainLoop Loop;
  std::thread Quitter([&] { Loop.Quit(); });
  EXPECT_TRUE(Loop.Run());
  Quitter.join();
  // The request was consumed; a signal-style quit ends the next run.
  Loop.QuitFromSignal();
  EXPECT_TRUE(Loop.Run());
  // A time limit ends a run with nothing to do.
  EXPECT_FALSE(Loop.Run(10ms));
}

TEST(MainLoop, PostedCallsRunInOrderAndTheirErrorsAreShown) {
  TMainLoop Loop;
  std::vector<int> Order;
  std::vector<std::string> Shown;
  SetExceptionHandler([&](const std::exception& E) { Shown.push_back(E.what()); });
  std::thread Poster([&] {
    Loop.Post([&] { Order.push_back(1); });
    Loop.Post([] { throw Exception("Posted call failed"); });
    Loop.Post([&] { Order.push_back(3); });
  });
  Poster.join();
  bool Done = Loop.RunUntil([&] { return Order.size() == 2; }, Patience);
  SetExceptionHandler(nullptr);
  ASSERT_TRUE(Done);
  EXPECT_EQ(Order, (std::vector<int>{1, 3}));
  EXPECT_EQ(Shown, (std::vector<std::string>{"Posted call failed"}));
}

} // namespace
