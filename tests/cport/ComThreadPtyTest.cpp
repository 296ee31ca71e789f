// The event thread on real pseudo-terminals: the device end is the port, the
// test writes into the other end.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
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

  TMainLoop Loop;
  int Master = -1;
  TComPort Port;
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

} // namespace
