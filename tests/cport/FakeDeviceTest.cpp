#include "cport/platform/FakeDevice.h"

#include <cerrno>
#include <future>

#include <gtest/gtest.h>

// The event thread's tests rely on the fake's wait; these check that it wakes
// for selected events only, that the stop request wins, and that a vanished
// line ends the wait.

namespace {

struct TWaitOutcome {
  TComWaitResult Result;
  std::uint32_t Mask;
  int Error;
};

std::future<TWaitOutcome> WaitAsync(TFakeComDevice& Fake, TComHandle Handle, TComStopSignal& Stop) {
  return std::async(std::launch::async, [&Fake, Handle, &Stop] {
    std::uint32_t Mask = 0;
    const TComWaitResult Result = Fake.WaitCommEvent(Handle, Stop, Mask);
    return TWaitOutcome{Result, Mask, Result == TComWaitResult::wrFailed ? Fake.LastError() : 0};
  });
}

class FakeDeviceWait : public ::testing::Test {
protected:
  FakeDeviceWait() {
    Fake.AddLine("COM1");
    Handle = Fake.Open("COM1");
    Fake.SetCommMask(Handle, EV_RXCHAR | EV_ERR);
  }
  TFakeComDevice Fake;
  TComHandle Handle;
  std::unique_ptr<TComStopSignal> Stop = Fake.NewStopSignal();
};

} // namespace

TEST_F(FakeDeviceWait, ReportsSelectedEventsTogether) {
  // Unselected events are held back; selected ones arrive as one batch.
  Fake.PushEvents("COM1", EV_RING);
  auto Waiting = WaitAsync(Fake, Handle, *Stop);
  Fake.PushEvents("COM1", EV_RXCHAR | EV_ERR);
  const TWaitOutcome Outcome = Waiting.get();
  EXPECT_EQ(Outcome.Result, TComWaitResult::wrEvents);
  EXPECT_EQ(Outcome.Mask, EV_RXCHAR | EV_ERR);

  // Bits the port has no event for come through as the drivers report them.
  Fake.PushEvents("COM1", 0x0800);
  std::uint32_t Mask = 0;
  EXPECT_EQ(Fake.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrEvents);
  EXPECT_EQ(Mask, 0x0800u);
}

TEST_F(FakeDeviceWait, StopEndsTheWaitAndWinsOverEvents) {
  auto Waiting = WaitAsync(Fake, Handle, *Stop);
  Stop->Signal();
  EXPECT_EQ(Waiting.get().Result, TComWaitResult::wrStopped);
  // Once signalled, every later wait ends at once, even with events pending.
  Fake.PushEvents("COM1", EV_RXCHAR);
  std::uint32_t Mask = 0;
  EXPECT_EQ(Fake.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrStopped);
}

TEST_F(FakeDeviceWait, VanishedLineAndClosedHandleEndTheWait) {
  auto Waiting = WaitAsync(Fake, Handle, *Stop);
  Fake.Vanish("COM1");
  const TWaitOutcome Outcome = Waiting.get();
  EXPECT_EQ(Outcome.Result, TComWaitResult::wrFailed);
  EXPECT_EQ(Outcome.Error, EIO);

  Fake.AddLine("COM2");
  const TComHandle Second = Fake.Open("COM2");
  Fake.SetCommMask(Second, EV_RXCHAR);
  auto SecondWait = WaitAsync(Fake, Second, *Stop);
  Fake.Close(Second);
  const TWaitOutcome Closed = SecondWait.get();
  EXPECT_EQ(Closed.Result, TComWaitResult::wrFailed);
  EXPECT_EQ(Closed.Error, EBADF);
}

TEST(FakeDevice, FailsTheNthCallAndCountsFromTheRequest) {
  TFakeComDevice Fake;
  Fake.AddLine("COM1");
  const TComHandle Handle = Fake.Open("COM1");
  std::uint32_t Status = 0;
  EXPECT_TRUE(Fake.GetCommModemStatus(Handle, Status));
  Fake.FailCall("GetCommModemStatus", 2, 31);
  EXPECT_TRUE(Fake.GetCommModemStatus(Handle, Status));
  EXPECT_FALSE(Fake.GetCommModemStatus(Handle, Status));
  EXPECT_EQ(Fake.LastError(), 31);
  EXPECT_TRUE(Fake.GetCommModemStatus(Handle, Status));
  // Opening is exclusive and unknown lines do not exist.
  EXPECT_EQ(Fake.Open("COM1"), InvalidComHandle);
  EXPECT_EQ(Fake.LastError(), EBUSY);
  EXPECT_EQ(Fake.Open("COM7"), InvalidComHandle);
  EXPECT_EQ(Fake.LastError(), ENOENT);
}

TEST(FakeDevice, AbortFlagsLeaveTheInputQueueOnlyClearEmptiesIt) {
  TFakeComDevice Fake;
  Fake.AddLine("COM1");
  const TComHandle Handle = Fake.Open("COM1");
  Fake.PushReceived("COM1", "abc");
  // What ClosePort does first: the bytes stay for a batch still in flight.
  ASSERT_TRUE(Fake.PurgeComm(Handle, PURGE_TXABORT | PURGE_RXABORT));
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 3u);
  ASSERT_TRUE(Fake.PurgeComm(Handle, PURGE_TXCLEAR | PURGE_RXCLEAR));
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 0u);
}
