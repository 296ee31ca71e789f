// The event thread on real pseudo-terminals: the device end is the port, the
// test writes into the other end.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "base/ExceptionDisplay.h"
#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/ComThread.h"
#include "cport/platform/PosixDevice.h"
#include "tests/cport/CPortTestUtil.h"

namespace {

using namespace std::chrono_literals;
constexpr auto Patience = std::chrono::seconds(20);

// Counts the event messages its window receives (smWindowSync).
class TCountingPort : public TComPort {
public:
  void PortWindowProc(TMessage& Message) override {
    if (Message.Msg == WM_PORTEVENT)
      ++WindowMessages;
    TComPort::PortWindowProc(Message);
  }
  int WindowMessages = 0;
};

class ComThreadPty : public ::testing::Test {
protected:
  ComThreadPty() {
    InitComPortErrors();
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    Port.SetDevice(PlatformComDevice());
    Port.SetPort(ptsname(Master));
    Port.SetBaudRate(TBaudRate::br57600);
    Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
    SetExceptionHandler([this](const std::exception& E) {
      const auto* Port = dynamic_cast<const EComPort*>(&E);
      Shown.push_back(Port ? std::to_string(Port->ErrorCode()) + ":" +
                                 std::to_string(Port->SystemErrorCode())
                           : std::string(E.what()));
    });
  }
  ~ComThreadPty() override {
    try {
      Port.ClosePort();
    } catch (const EComPort&) {
    }
    if (Master >= 0)
      close(Master);
    SetExceptionHandler(nullptr);
    DoneComPortErrors();
  }
  void WriteMaster(const std::string& Bytes) {
    ASSERT_EQ(write(Master, Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  }

  // Whether the port's device is closed: another open of it would fail while
  // it is not (the device is opened for exclusive use).
  bool DeviceReleased() {
    TComPort Other;
    Other.SetDevice(PlatformComDevice());
    Other.SetPort(Port.Port());
    Other.SetEvents({});
    try {
      Other.OpenPort();
    } catch (const EComPort& E) {
      ADD_FAILURE() << E.Message();
      return false;
    }
    return true;
  }

  // The process's thread count with no event thread, taken after one open and
  // close (a sanitizer's runtime starts a thread of its own with the first
  // thread the program creates).
  int SettledThreadCount() {
    Port.OpenPort();
    Port.ClosePort();
    return ThreadCount();
  }

  // A joined thread may take a moment to leave the task list.
  static bool ThreadCountReturnsTo(int Count) {
    const auto Deadline = std::chrono::steady_clock::now() + Patience;
    while (ThreadCount() != Count && std::chrono::steady_clock::now() < Deadline)
      std::this_thread::sleep_for(1ms);
    return ThreadCount() == Count;
  }

  TMainLoop Loop;
  int Master = -1;
  TCountingPort Port;
  std::vector<std::int32_t> Counts;
  std::vector<std::string> Shown;
};

TEST_F(ComThreadPty, UnreadBytesAreAnnouncedAgainOnlyWithNewOnes) {
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    Counts.push_back(Count);
    if (Count == 10) {
      char Buffer[4];
      EXPECT_EQ(Port.ReadBytes(Buffer, 4), 4);
    }
  });
  Port.OpenPort();
  WriteMaster("0123456789");
  // The driver may hand the ten bytes over in more than one piece; the first
  // report comes once all ten are there.
  ASSERT_TRUE(Loop.RunUntil([&] { return !Counts.empty() && Counts.back() == 10; }, Patience));
  const unsigned long WakeupsAfterFirst = Port.EventThread()->Wakeups();
  ASSERT_TRUE(Loop.RunUntil([&] { return Counts.size() > 1; }, 200ms) == false);
  // Six bytes wait, and the thread sleeps: no new report, no new wake-up.
  EXPECT_EQ(Port.EventThread()->Wakeups(), WakeupsAfterFirst);
  WriteMaster("x");
  ASSERT_TRUE(Loop.RunUntil([&] { return Counts.back() == 7; }, Patience));
  EXPECT_EQ(Port.EventThread()->Wakeups(), WakeupsAfterFirst + 1);
}

TEST_F(ComThreadPty, EventCharacterRaisesRxFlagAfterRxChar) {
  std::string Received;
  std::vector<std::string> Order;
  Port.SetEventChar('\n');
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    Order.push_back("char");
    std::string Bytes(static_cast<std::size_t>(Count), '\0');
    EXPECT_EQ(Port.ReadBytes(Bytes.data(), Count), Count);
    Received += Bytes;
  });
  Port.SetOnRxFlag([&](TObject*) { Order.push_back("flag"); });
  Port.OpenPort();
  WriteMaster("abc");
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 3; }, Patience));
  EXPECT_EQ(std::count(Order.begin(), Order.end(), "flag"), 0);
  WriteMaster("de\nf");
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 7; }, Patience));
  EXPECT_EQ(Received, "abcde\nf");
  ASSERT_EQ(std::count(Order.begin(), Order.end(), "flag"), 1);
  // Within its batch the flag comes after the characters.
  const auto Flag = std::find(Order.begin(), Order.end(), "flag");
  ASSERT_NE(Flag, Order.begin());
  EXPECT_EQ(*(Flag - 1), "char");
}

TEST_F(ComThreadPty, BytesLeftUnreadAfterTheEventCharacterAreCountedAndReadInOrder) {
  std::vector<int> Flags;
  Port.SetEventChar('\n');
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) { Counts.push_back(Count); });
  Port.SetOnRxFlag([&](TObject*) { Flags.push_back(int(Counts.size())); });
  Port.OpenPort();
  WriteMaster("one\n");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Counts.empty() && Counts.back() == 4; }, Patience));
  WriteMaster("two");
  ASSERT_TRUE(Loop.RunUntil([&] { return Counts.back() == 7; }, Patience));
  EXPECT_EQ(Flags.size(), 1u);
  EXPECT_EQ(Port.InQueueCount(), 7);
  char Buffer[16] = {};
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 5);
  EXPECT_EQ(std::string(Buffer, 5), "one\nt");
  EXPECT_EQ(Port.InQueueCount(), 2);
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 2);
  EXPECT_EQ(std::string(Buffer, 2), "wo");
  EXPECT_EQ(Port.InQueueCount(), 0);
}

TEST_F(ComThreadPty, CloseWithABatchWaitingForTheMainThreadProcessesItAndEnds) {
  std::promise<void> Queued;
  bool Once = false;
  SetWakeMainThread([&] {
    if (!std::exchange(Once, true))
      Queued.set_value();
  });
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) { Counts.push_back(Count); });
  Port.OpenPort();
  WriteMaster("abc");
  Queued.get_future().wait();
  // The event thread is blocked in the handoff; the main loop never ran it.
  Port.ClosePort();
  SetWakeMainThread(nullptr);
  EXPECT_FALSE(Port.Connected());
  ASSERT_EQ(Counts.size(), 1u);
  EXPECT_GT(Counts[0], 0);
}

TEST_F(ComThreadPty, CloseWhileWaitingEndsTheThreadAndLeaksNothing) {
  const int Before = OpenDescriptorCount();
  std::atomic<bool> Streaming{true};
  const int Writer = dup(Master);
  fcntl(Writer, F_SETFL, O_NONBLOCK);
  std::thread Stream([&] {
    // A scope at full speed; a full pty buffer just drops the rest.
    const std::string Chunk(64, '\x55');
    while (Streaming.load()) {
      [[maybe_unused]] ssize_t Written = write(Writer, Chunk.data(), Chunk.size());
      std::this_thread::sleep_for(1ms);
    }
  });
  int Reports = 0;
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    std::vector<char> Buffer(static_cast<std::size_t>(Count));
    Port.ReadBytes(Buffer.data(), Count);
    ++Reports;
  });
  for (int Cycle = 0; Cycle < 100; ++Cycle) {
    Port.OpenPort();
    // Some cycles close with a batch in flight, some while the thread sleeps.
    if (Cycle % 2)
      Loop.RunUntil([&] { return Reports > Cycle / 2; }, Patience);
    Port.ClosePort();
    ASSERT_FALSE(Port.Connected());
  }
  Streaming = false;
  Stream.join();
  close(Writer);
  EXPECT_GE(Reports, 50);
  EXPECT_EQ(OpenDescriptorCount(), Before);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(ComThreadPty, HangUpMidFrameReportsWaitFailedOnceWithoutSpinning) {
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    Counts.push_back(Count);
    // The frame handler takes only complete frames: these three bytes stay.
  });
  Port.OpenPort();
  WriteMaster("\x55\x01\x02");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Counts.empty(); }, Patience));
  const TComThread* Thread = Port.EventThread();
  close(Master);
  Master = -1;
  ASSERT_TRUE(Loop.RunUntil([&] { return !Shown.empty(); }, Patience));
  // Give a spinning thread every chance to show itself.
  Loop.Run(100ms);
  EXPECT_EQ(Shown, (std::vector<std::string>{"21:5"}));
  ASSERT_TRUE(Thread->Finished());
  EXPECT_LT(Thread->CpuTime(), 50ms);
  // Closing works; the gone device still refuses the purge, which closing
  // reports after the port is closed.
  try {
    Port.ClosePort();
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), pePurgeFailed);
  }
  EXPECT_FALSE(Port.Connected());
}

// ---- Closing from a handler ----

TEST_F(ComThreadPty, HandlerClosingItsPortEndsTheBatchThere) {
  // The most common thing a serial program does on a bad frame. The event
  // character makes the batch carry a second event after the bytes.
  Port.SetEventChar('\n');
  int Flags = 0;
  bool ConnectedAfterClose = true;
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    Counts.push_back(Count);
    Port.ClosePort();
    ConnectedAfterClose = Port.Connected();
  });
  Port.SetOnRxFlag([&](TObject*) { ++Flags; });
  Port.OpenPort();
  WriteMaster("ab\n");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Counts.empty(); }, Patience));
  Loop.Run(20ms);
  EXPECT_FALSE(ConnectedAfterClose);
  EXPECT_EQ(Counts.size(), 1u);
  EXPECT_EQ(Flags, 0);
  EXPECT_TRUE(Shown.empty()) << Shown.front();
  EXPECT_EQ(Port.EventThread(), nullptr);
  EXPECT_TRUE(DeviceReleased());
  // And it opens again as before.
  Port.OpenPort();
  WriteMaster("c");
  ASSERT_TRUE(Loop.RunUntil([&] { return Counts.size() == 2; }, Patience));
}

TEST_F(ComThreadPty, HandlerClosingDuringAClosePortOnTheMainThreadClosesOnce) {
  // ClosePort on the main thread while a batch waits for it: the wait runs the
  // batch, whose handler closes the port again.
  std::promise<void> Queued;
  std::atomic<bool> Once{false};
  SetWakeMainThread([&] {
    if (!Once.exchange(true))
      Queued.set_value();
  });
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    Counts.push_back(Count);
    Port.ClosePort();
  });
  Port.OpenPort();
  WriteMaster("abc");
  Queued.get_future().wait();
  Port.ClosePort();
  SetWakeMainThread(nullptr);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Counts.size(), 1u);
  EXPECT_TRUE(Shown.empty()) << Shown.front();
  EXPECT_TRUE(DeviceReleased());
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComThreadPty, HandlerOnTheEventThreadClosesItsPortWithoutWaitingForItself) {
  Port.SetSyncMethod(TSyncMethod::smNone);
  const int Threads = SettledThreadCount();
  const int Descriptors = OpenDescriptorCount();
  std::promise<bool> Returned;
  std::atomic<int> Calls{0};
  Port.SetOnRxChar([&](TObject*, std::int32_t) {
    const int Call = ++Calls;
    // Wakes the main loop, which the event thread does not otherwise do.
    TThread::Queue([] {});
    if (Call > 1)
      return;
    Port.ClosePort();
    Returned.set_value(Port.Connected());
  });
  Port.OpenPort();
  WriteMaster("abc");
  auto Result = Returned.get_future();
  ASSERT_EQ(Result.wait_for(Patience), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  EXPECT_FALSE(Port.Connected());
  EXPECT_TRUE(DeviceReleased());
  // More bytes reach nobody; the next close (or open) takes the ended thread.
  WriteMaster("d");
  Port.ClosePort();
  EXPECT_EQ(Calls, 1);
  EXPECT_TRUE(ThreadCountReturnsTo(Threads));
  EXPECT_EQ(OpenDescriptorCount(), Descriptors);
  Loop.Run(0ms);
  EXPECT_TRUE(Shown.empty()) << Shown.front();
}

TEST_F(ComThreadPty, SyncMethodAssignedWhileLoadingCountsFromTheNextOpen) {
  std::vector<bool> OnMain;
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    OnMain.push_back(IsMainThread());
    std::string Bytes(static_cast<std::size_t>(Count), '\0');
    Port.ReadBytes(Bytes.data(), Count);
  });
  Port.OpenPort();
  Port.SetLoading(true);
  Port.SetSyncMethod(TSyncMethod::smWindowSync);
  Port.SetLoading(false);
  // The running thread still hands its batches over as it did.
  WriteMaster("ab");
  ASSERT_TRUE(Loop.RunUntil([&] { return !OnMain.empty(); }, Patience));
  EXPECT_EQ(Port.WindowMessages, 0);
  Port.ClosePort();
  Port.OpenPort();
  WriteMaster("cd");
  ASSERT_TRUE(Loop.RunUntil([&] { return OnMain.size() == 2; }, Patience));
  EXPECT_GE(Port.WindowMessages, 1);
  EXPECT_EQ(OnMain, (std::vector<bool>{true, true}));
}

// ---- Open, stream, close from anywhere ----

enum class TCloser { FromHandler, FromMain, Both };

class ClosingFromAnywhere : public ComThreadPty,
                            public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(ClosingFromAnywhere, RoundsOfOpenStreamCloseLeaveNothingBehind) {
  const TSyncMethod Method = GetParam();
  Port.SetSyncMethod(Method);
  std::atomic<int> Wakes{0};
  SetWakeMainThread([&] {
    ++Wakes;
    Loop.Post([] {});
  });
  const int Threads = SettledThreadCount();
  const int Descriptors = OpenDescriptorCount();

  // A scope streaming at full speed; a full pty buffer just drops the rest.
  std::atomic<bool> Streaming{true};
  const int Writer = dup(Master);
  fcntl(Writer, F_SETFL, O_NONBLOCK);
  std::thread Stream([&] {
    const std::string Chunk(64, '\x55');
    while (Streaming.load()) {
      [[maybe_unused]] ssize_t Written = write(Writer, Chunk.data(), Chunk.size());
      std::this_thread::sleep_for(200us);
    }
  });
  // Also when an assertion ends the test early.
  auto EndStream = [&] {
    if (!Stream.joinable())
      return;
    Streaming = false;
    Stream.join();
    close(Writer);
  };
  struct TAtExit {
    decltype(EndStream)& End;
    ~TAtExit() { End(); }
  } StreamEnds{EndStream};

  std::atomic<bool> CloseInHandler{false};
  std::atomic<bool> Entered{false};
  std::atomic<bool> HandlerClosed{false};
  std::atomic<int> Reports{0};
  std::atomic<int> Late{0};
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    // Nothing of a batch runs after a handler closed the port.
    if (HandlerClosed.load())
      ++Late;
    Entered = true;
    ++Reports;
    std::vector<char> Buffer(static_cast<std::size_t>(Count));
    Port.ReadBytes(Buffer.data(), Count);
    if (CloseInHandler.load()) {
      Port.ClosePort();
      HandlerClosed = true;
    }
    // Wakes the main loop also when this runs on the event thread.
    TThread::Queue([] {});
  });

  int Opens = 0;
  Port.SetOnAfterOpen([&](TObject*) { ++Opens; });

  constexpr int Rounds = 500;
  for (int Round = 0; Round < Rounds; ++Round) {
    const auto Closer = static_cast<TCloser>(Round % 3);
    CloseInHandler = Closer != TCloser::FromMain;
    Entered = false;
    HandlerClosed = false;
    const int WakesBefore = Wakes.load();
    Port.OpenPort();
    // (With smNone a handler may have closed it again already.)
    ASSERT_EQ(Opens, Round + 1);
    switch (Closer) {
    case TCloser::FromHandler:
      break;
    case TCloser::FromMain:
      ASSERT_TRUE(Loop.RunUntil([&] { return Entered.load(); }, Patience)) << Round;
      Port.ClosePort();
      break;
    case TCloser::Both: {
      // Closes while a batch waits for the main thread (which the close then
      // runs), or, with smNone, while a handler runs on the event thread.
      const auto Deadline = std::chrono::steady_clock::now() + Patience;
      auto Ready = [&] {
        return Method == TSyncMethod::smNone ? Entered.load() : Wakes.load() > WakesBefore;
      };
      while (!Ready() && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::sleep_for(50us);
      ASSERT_TRUE(Ready()) << Round;
      Port.ClosePort();
      break;
    }
    }
    ASSERT_TRUE(Loop.RunUntil([&] { return !Port.Connected(); }, Patience)) << Round;
  }
  EndStream();
  // Takes a thread that ended on its own after the last round.
  Port.ClosePort();
  Loop.Run(0ms);
  SetWakeMainThread(nullptr);

  EXPECT_EQ(Late, 0);
  // Every round but those closing from both sides waited for a report (with
  // smWindowSync, messages still queued when a close starts are dropped).
  EXPECT_GE(Reports, Rounds - Rounds / 3);
  EXPECT_TRUE(Shown.empty()) << Shown.front();
  EXPECT_EQ(OpenDescriptorCount(), Descriptors);
  EXPECT_TRUE(ThreadCountReturnsTo(Threads));
}

std::string MethodName(const ::testing::TestParamInfo<TSyncMethod>& Info) {
  static const char* const Names[] = {"ThreadSync", "WindowSync", "None"};
  return Names[static_cast<int>(Info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, ClosingFromAnywhere,
                         ::testing::Values(TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                           TSyncMethod::smNone),
                         MethodName);

// ---- Reconnecting ----

// What the port watches: every event (the second descriptor of the writers),
// received characters only, or with the read-ahead ring (zero bytes dropped).
enum class TReopenWatch { Everything, RxCharOnly, ReadAhead };

class ReopeningAPort : public ComThreadPty,
                       public ::testing::WithParamInterface<std::tuple<TSyncMethod, TReopenWatch>> {
};

TEST_P(ReopeningAPort, BytesSentWhileClosedAndAfterTheReopenAreBothAnnounced) {
  const auto [Method, Watch] = GetParam();
  Port.SetSyncMethod(Method);
  if (Watch == TReopenWatch::RxCharOnly)
    Port.SetEvents(TComEvents{TComEvent::evRxChar});
  if (Watch == TReopenWatch::ReadAhead)
    Port.SetDiscardNull(true);
  std::mutex Lock;
  std::vector<std::int32_t> Seen;
  // The handler reads nothing: each report counts everything still waiting.
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    std::lock_guard<std::mutex> Hold(Lock);
    Seen.push_back(Count);
    // Wakes the main loop also when this runs on the event thread.
    TThread::Queue([] {});
  });
  auto Last = [&] {
    std::lock_guard<std::mutex> Hold(Lock);
    return Seen.empty() ? -1 : Seen.back();
  };
  auto Reports = [&] {
    std::lock_guard<std::mutex> Hold(Lock);
    return Seen.size();
  };
  // Odd rounds send as the port opens, racing the event thread's start.
  bool SendAtOpen = false;
  Port.SetOnAfterOpen([&](TObject*) {
    if (SendAtOpen)
      WriteMaster("abc");
  });
  for (int Round = 0; Round < 4; ++Round) {
    // The port is closed: a program lost its connection and is about to
    // reconnect while the scope keeps sending (the first round: the bytes
    // wait before the port ever opened).
    SendAtOpen = Round % 2 != 0;
    if (!SendAtOpen)
      WriteMaster("abc");
    const std::size_t Before = Reports();
    Port.OpenPort();
    // Bytes waiting when the event thread starts (or coming as it starts)
    // are one arrival...
    ASSERT_TRUE(Loop.RunUntil([&] { return Reports() > Before; }, Patience)) << Round;
    EXPECT_EQ(Last(), 3) << Round;
    // ... and the next byte is another one.
    WriteMaster("d");
    ASSERT_TRUE(Loop.RunUntil([&] { return Last() == 4; }, Patience)) << Round;
    EXPECT_EQ(Reports(), Before + 2) << Round;
    EXPECT_EQ(Port.InQueueCount(), 4) << Round;
    Port.ClosePort();
    // Closing empties the input: the next round starts from nothing.
  }
  Loop.Run(0ms);
  EXPECT_TRUE(Shown.empty()) << Shown.front();
}

std::string
ReopenName(const ::testing::TestParamInfo<std::tuple<TSyncMethod, TReopenWatch>>& Info) {
  static const char* const Methods[] = {"ThreadSync", "WindowSync", "None"};
  static const char* const Watches[] = {"Everything", "RxCharOnly", "ReadAhead"};
  return std::string(Methods[static_cast<int>(std::get<0>(Info.param))]) +
         Watches[static_cast<int>(std::get<1>(Info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    EveryMethod, ReopeningAPort,
    ::testing::Combine(::testing::Values(TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                         TSyncMethod::smNone),
                       ::testing::Values(TReopenWatch::Everything, TReopenWatch::RxCharOnly,
                                         TReopenWatch::ReadAhead)),
    ReopenName);

} // namespace
