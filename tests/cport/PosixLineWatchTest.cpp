// The line events only a serial driver produces (modem line changes, the end
// of a transmission), on a pseudo-terminal whose missing driver calls are
// answered by a fake driver put into the device's system-call table.
#include "cport/platform/PosixLineWatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <linux/serial.h>
#include <mutex>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/platform/PosixDevice.h"
#include "cport/platform/PosixSystem.h"

namespace {

using namespace std::chrono_literals;
constexpr auto Patience = std::chrono::seconds(20);

// A UART with modem lines and counters behind a pseudo-terminal: the modem
// ioctls, the output queue and the drain are answered here, everything else
// by the system. TIOCMIWAIT and tcdrain sleep in poll() on a pipe the test
// writes to (one byte releases one call), so that a signal interrupts them as
// it interrupts the driver.
class TFakeUart {
public:
  TFakeUart() {
    if (pipe2(LinePipe, O_CLOEXEC) != 0 || pipe2(DrainPipe, O_CLOEXEC) != 0)
      throw std::runtime_error("no pipe");
    Current = this;
    PosixSystem().Ioctl = FakeIoctl;
    PosixSystem().Drain = FakeDrain;
  }
  ~TFakeUart() {
    PosixSystem() = RealPosixSystem();
    Current = nullptr;
    for (int D : {LinePipe[0], LinePipe[1], DrainPipe[0], DrainPipe[1]})
      close(D);
  }

  // Changes the lines (and their counters) and releases one TIOCMIWAIT.
  void ChangeLines(int Toggle) {
    {
      std::lock_guard<std::mutex> Lock(FLock);
      Lines ^= Toggle;
      Counters.cts += (Toggle & TIOCM_CTS) ? 1 : 0;
      Counters.dsr += (Toggle & TIOCM_DSR) ? 1 : 0;
      Counters.rng += (Toggle & TIOCM_RNG) ? 1 : 0;
      Counters.dcd += (Toggle & TIOCM_CD) ? 1 : 0;
    }
    Release(LinePipe[1]);
  }
  void FinishDrain() { Release(DrainPipe[1]); }
  // The UART counts line errors (they come with the next arrival).
  void CountErrors(int Frame, int Parity, int Break) {
    std::lock_guard<std::mutex> Lock(FLock);
    Counters.frame += Frame;
    Counters.parity += Parity;
    Counters.brk += Break;
  }
  // Waits until Count calls of the kind have gone to sleep in total.
  bool AwaitSleepers(const std::atomic<int>& Calls, int Count) {
    std::unique_lock<std::mutex> Lock(FLock);
    return FEntered.wait_for(Lock, Patience, [&] { return Calls.load() >= Count; });
  }

  std::atomic<int> LineWaits{0}, LineWaitsEnded{0}, Drains{0};

private:
  static void Release(int Pipe) {
    const char Byte = 1;
    ASSERT_EQ(write(Pipe, &Byte, 1), 1);
  }
  // Sleeps until the pipe holds a byte (taken) or a signal comes.
  int Sleep(int Pipe, std::atomic<int>& Calls) {
    {
      std::lock_guard<std::mutex> Lock(FLock);
      ++Calls;
    }
    FEntered.notify_all();
    pollfd Poll{Pipe, POLLIN, 0};
    if (poll(&Poll, 1, -1) < 0)
      return -1; // EINTR
    char Byte;
    return read(Pipe, &Byte, 1) == 1 ? 0 : -1;
  }
  static int FakeIoctl(int Descriptor, unsigned long Request, void* Argument) {
    TFakeUart& U = *Current;
    switch (Request) {
    case TIOCMGET: {
      std::lock_guard<std::mutex> Lock(U.FLock);
      *static_cast<int*>(Argument) = U.Lines;
      return 0;
    }
    case TIOCMBIS:
    case TIOCMBIC:
      return 0;
    case TIOCGICOUNT: {
      std::lock_guard<std::mutex> Lock(U.FLock);
      *static_cast<serial_icounter_struct*>(Argument) = U.Counters;
      return 0;
    }
    case TIOCMIWAIT: {
      const int Result = U.Sleep(U.LinePipe[0], U.LineWaits);
      ++U.LineWaitsEnded;
      return Result;
    }
    default:
      return RealPosixSystem().Ioctl(Descriptor, Request, Argument);
    }
  }
  static int FakeDrain(int) { return Current->Sleep(Current->DrainPipe[0], Current->Drains); }

  static inline TFakeUart* Current = nullptr;
  std::mutex FLock;
  std::condition_variable FEntered;
  int Lines = TIOCM_DSR;
  serial_icounter_struct Counters{};
  int LinePipe[2] = {-1, -1};
  int DrainPipe[2] = {-1, -1};
};

class LineWatch : public ::testing::Test {
protected:
  LineWatch() {
    InitComPortErrors();
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    Port.SetDevice(PlatformComDevice());
    Port.SetPort(ptsname(Master));
  }
  ~LineWatch() override {
    try {
      Port.ClosePort();
    } catch (const EComPort&) {
    }
    close(Master);
    DoneComPortErrors();
  }

  TFakeUart Uart;
  TMainLoop Loop;
  int Master = -1;
  std::vector<std::string> Seen; // what the handlers saw, also at the close
  TComPort Port;
};

TEST_F(LineWatch, ModemLineChangesWakeTheWaitOnceInDeliveryOrder) {
  Port.SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR, TComEvent::evRLSD});
  Port.SetOnCTSChange([&](TObject*, bool On) { Seen.push_back(On ? "cts on" : "cts off"); });
  Port.SetOnDSRChange([&](TObject*, bool On) { Seen.push_back(On ? "dsr on" : "dsr off"); });
  Port.SetOnRLSDChange([&](TObject*, bool On) { Seen.push_back(On ? "rlsd on" : "rlsd off"); });
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    char Buffer[8];
    Port.ReadBytes(Buffer, Count);
    Seen.push_back("rx");
  });
  Port.OpenPort();
  Seen.clear(); // the lines as they were at the open
  ASSERT_TRUE(Uart.AwaitSleepers(Uart.LineWaits, 1));
  // Carrier detect and CTS come up together; ring is not in the events.
  Uart.ChangeLines(TIOCM_CD | TIOCM_CTS | TIOCM_RNG);
  ASSERT_TRUE(Loop.RunUntil([&] { return Seen.size() >= 2; }, Patience));
  ASSERT_TRUE(Uart.AwaitSleepers(Uart.LineWaits, 2));
  // A byte afterwards: its report comes alone, the line change is not repeated.
  ASSERT_EQ(write(Master, "x", 1), 1);
  ASSERT_TRUE(Loop.RunUntil([&] { return Seen.size() >= 3; }, Patience));
  Uart.ChangeLines(TIOCM_DSR);
  ASSERT_TRUE(Loop.RunUntil([&] { return Seen.size() >= 4; }, Patience));
  EXPECT_EQ(Seen, (std::vector<std::string>{"cts on", "rlsd on", "rx", "dsr off"}));
}

TEST_F(LineWatch, ClosingInterruptsTheHelperAsleepInTheDriver) {
  Port.SetEvents({TComEvent::evRxChar, TComEvent::evRLSD, TComEvent::evTxEmpty});
  Port.SetOnRxChar([&](TObject*, std::int32_t) { Seen.push_back("rx"); });
  // A program that keeps the signal out of its own threads: the helpers
  // started from here must not inherit that.
  sigset_t Interruption, Before;
  sigemptyset(&Interruption);
  sigaddset(&Interruption, SIGURG);
  pthread_sigmask(SIG_BLOCK, &Interruption, &Before);
  Port.OpenPort();
  pthread_sigmask(SIG_SETMASK, &Before, nullptr);
  ASSERT_TRUE(Uart.AwaitSleepers(Uart.LineWaits, 1));
  // An arrival shows the event thread watching the device.
  ASSERT_EQ(write(Master, "x", 1), 1);
  ASSERT_TRUE(Loop.RunUntil([&] { return !Seen.empty(); }, Patience));
  // Output makes the other helper sleep in the drain.
  ASSERT_EQ(write(static_cast<int>(Port.DeviceHandle()), "out", 3), 3);
  ASSERT_TRUE(Uart.AwaitSleepers(Uart.Drains, 1));
  // Nothing releases either call: only the close's interruption can end them.
  auto Closed = std::async(std::launch::async, [&] { Port.ClosePort(); });
  ASSERT_EQ(Closed.wait_for(Patience), std::future_status::ready) << "the close hangs";
  Closed.get();
  EXPECT_EQ(Uart.LineWaitsEnded.load(), 1);
  EXPECT_FALSE(Port.Connected());
}

// The device alone: a wait on one thread, the test writing on the port.
class TransmitterEmpty : public LineWatch {
protected:
  TransmitterEmpty() {
    Handle = Device.Open(ptsname(Master));
    TDeviceControlBlock Raw;
    Raw.BaudRate = 57600;
    Raw.Flags = dcb::Binary;
    Raw.ByteSize = 8;
    Raw.XonChar = 17;
    Raw.XoffChar = 19;
    if (Handle == InvalidComHandle || !Device.SetCommState(Handle, Raw) ||
        !Device.SetCommMask(Handle, EV_RXCHAR | EV_TXEMPTY))
      throw std::runtime_error("the pseudo-terminal does not open");
    Stop = Device.NewStopSignal();
  }
  ~TransmitterEmpty() override { Device.Close(Handle); }
  std::future<std::uint32_t> Wait() {
    return std::async(std::launch::async, [this] {
      std::uint32_t Mask = 0;
      EXPECT_EQ(Device.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrEvents);
      return Mask;
    });
  }

  TPosixComDevice Device;
  TComHandle Handle = InvalidComHandle;
  std::unique_ptr<TComStopSignal> Stop;
};

TEST_F(TransmitterEmpty, ReportedOnceTheDrainAfterAWriteEnds) {
  // A first arrival shows the wait watching the device.
  auto First = Wait();
  ASSERT_EQ(write(Master, "go", 2), 2);
  ASSERT_EQ(First.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(First.get(), EV_RXCHAR);

  auto Waited = Wait();
  ASSERT_EQ(write(static_cast<int>(Handle), "abc", 3), 3);
  ASSERT_TRUE(Uart.AwaitSleepers(Uart.Drains, 1));
  // The transmitter has not drained yet: nothing may be reported.
  EXPECT_EQ(Waited.wait_for(0s), std::future_status::timeout);
  Uart.FinishDrain();
  ASSERT_EQ(Waited.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(Waited.get(), EV_TXEMPTY);

  // Arrivals alone are no output.
  auto Next = Wait();
  ASSERT_EQ(write(Master, "in", 2), 2);
  ASSERT_EQ(Next.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(Next.get(), EV_RXCHAR);
  EXPECT_EQ(Uart.Drains.load(), 1);
  std::uint32_t Errors = 0;
  std::int32_t Queued = 0;
  EXPECT_TRUE(Device.ClearCommError(Handle, Errors, Queued));
  EXPECT_EQ(Queued, 4);
}

TEST_F(TransmitterEmpty, ClosingReleasesTheDeviceWhileTheWaitsSignalLives) {
  auto First = Wait(); // the wait watches the writers through a second descriptor
  ASSERT_EQ(write(Master, "go", 2), 2);
  ASSERT_EQ(First.wait_for(Patience), std::future_status::ready);
  ASSERT_TRUE(Device.Close(Handle));
  // Open again at once, the stop signal (and its set) still there.
  TPosixComDevice Other;
  const TComHandle Again = Other.Open(ptsname(Master));
  EXPECT_NE(Again, InvalidComHandle) << "error " << Other.LastError();
  Other.Close(Again);
}

TEST_F(TransmitterEmpty, LineErrorsComeFromTheDriversCountersWithTheArrival) {
  ASSERT_TRUE(Device.SetCommMask(Handle, EV_RXCHAR | EV_ERR | EV_BREAK | EV_TXEMPTY));
  // A parity error counted while INPCK is off (a check without replacement):
  // the byte arrives as it came, the error is reported all the same.
  Uart.CountErrors(0, 1, 0);
  auto First = Wait();
  ASSERT_EQ(write(Master, "p", 1), 1);
  ASSERT_EQ(First.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(First.get(), EV_RXCHAR | EV_ERR);
  Uart.CountErrors(1, 0, 1);
  auto Next = Wait();
  ASSERT_EQ(write(Master, "f", 1), 1);
  ASSERT_EQ(Next.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(Next.get(), EV_RXCHAR | EV_ERR | EV_BREAK);
  // The queries report each counted error once.
  std::uint32_t Errors = 0;
  std::int32_t Queued = 0;
  EXPECT_TRUE(Device.ClearCommError(Handle, Errors, Queued));
  EXPECT_EQ(Errors, CE_RXPARITY | CE_FRAME | CE_BREAK);
  EXPECT_EQ(Queued, 2);
  EXPECT_TRUE(Device.ClearCommError(Handle, Errors, Queued));
  EXPECT_EQ(Errors, 0u);
}

} // namespace
