// The event character on pseudo-terminals: the wait has to read the bytes to
// see it, and the reads, counts and purges that follow must not notice.
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cport/platform/PosixDevice.h"
#include "cport/platform/PosixReadAhead.h"

namespace {

using namespace std::chrono_literals;

// The ring alone, on a small storage, filled from a pipe.
TEST(ReadAheadRing, WrapsDropsZerosFindsAndLeavesWhatDoesNotFit) {
  int Pipe[2];
  ASSERT_EQ(pipe2(Pipe, O_NONBLOCK | O_CLOEXEC), 0);
  auto Put = [&](const std::string& Bytes) {
    ASSERT_EQ(write(Pipe[1], Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  };
  auto Take = [](TPosixReadAhead& Ring, std::size_t Count) {
    std::string Out(Count, '?');
    Out.resize(Ring.Take(reinterpret_cast<std::uint8_t*>(Out.data()), Count));
    return Out;
  };
  TPosixReadAhead Ring(8);
  Put("abcdef");
  TPosixReadAhead::TMoved Moved = Ring.Move(Pipe[0], true, true, 'k');
  EXPECT_EQ(Moved.Read, 6u);
  EXPECT_EQ(Moved.Kept, 6u);
  EXPECT_FALSE(Moved.Found);
  EXPECT_EQ(Take(Ring, 5), "abcde");
  // Two bytes fit before the end of the storage, the rest wraps to its
  // start; the zeros go, the wanted byte is found in the wrapped part.
  Put(std::string("gh\0ij\0k", 7));
  Moved = Ring.Move(Pipe[0], true, true, 'k');
  EXPECT_EQ(Moved.Read, 7u);
  EXPECT_EQ(Moved.Kept, 5u);
  EXPECT_TRUE(Moved.Found);
  EXPECT_EQ(Ring.Size(), 6u);
  // Zeros kept when not dropped; what does not fit stays in the pipe.
  Put(std::string("\0lmn", 4));
  Moved = Ring.Move(Pipe[0], false, false, 0);
  EXPECT_EQ(Moved.Kept, 2u);
  EXPECT_TRUE(Ring.Full());
  EXPECT_EQ(Take(Ring, 16), std::string("fghijk\0l", 8));
  Moved = Ring.Move(Pipe[0], false, true, 'n');
  EXPECT_EQ(Moved.Kept, 2u);
  EXPECT_TRUE(Moved.Found);
  EXPECT_EQ(Take(Ring, 16), "mn");
  EXPECT_EQ(Ring.Size(), 0u);
  close(Pipe[0]);
  close(Pipe[1]);
}

class ReadAhead : public ::testing::Test {
protected:
  ReadAhead() { Reopen(EV_RXCHAR | EV_RXFLAG, '\n', false); }
  ~ReadAhead() override { Shut(); }

  void Shut() {
    if (Handle != InvalidComHandle)
      Device.Close(Handle);
    Handle = InvalidComHandle;
    if (Master >= 0)
      close(Master);
    Master = -1;
  }
  void Reopen(std::uint32_t Mask, std::uint8_t EventChar, bool DiscardNull) {
    Shut();
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    Handle = Device.Open(ptsname(Master));
    // A wait's set belongs to the descriptor it was made for.
    Stop = Device.NewStopSignal();
    if (Handle == InvalidComHandle)
      throw std::runtime_error("the pseudo-terminal does not open");
    TDeviceControlBlock Dcb;
    Dcb.DCBlength = 28;
    Dcb.BaudRate = 57600;
    Dcb.Flags = dcb::Binary | (DiscardNull ? dcb::Null : 0);
    Dcb.ByteSize = 8;
    Dcb.XonChar = 17;
    Dcb.XoffChar = 19;
    Dcb.EvtChar = EventChar;
    if (!Device.SetCommState(Handle, Dcb) || !Device.SetCommMask(Handle, Mask))
      throw std::runtime_error("the pseudo-terminal refuses the settings");
  }
  void WriteMaster(const std::string& Bytes) {
    ASSERT_EQ(write(Master, Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  }
  std::int32_t Queued() {
    std::uint32_t Errors = 0;
    std::int32_t InQueue = -1;
    EXPECT_TRUE(Device.ClearCommError(Handle, Errors, InQueue));
    return InQueue;
  }
  // The driver may hand a write over in pieces: waits until Count bytes are
  // in the input queue and gives the events of all the wake-ups on the way.
  std::uint32_t EventsUntilQueued(std::int32_t Count) {
    std::uint32_t All = 0;
    do {
      std::uint32_t Mask = 0;
      EXPECT_EQ(Device.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrEvents);
      All |= Mask;
    } while (Queued() < Count);
    return All;
  }
  // Waits until the device end itself has bytes to read.
  void AwaitDeviceReadable() {
    pollfd Poll{static_cast<int>(Handle), POLLIN, 0};
    ASSERT_EQ(poll(&Poll, 1, 20000), 1);
  }
  std::string ReadAll(std::int32_t Count) {
    std::string Bytes(static_cast<std::size_t>(Count), '\0');
    std::int32_t Read = -1;
    EXPECT_TRUE(Device.ReadFile(Handle, Bytes.data(), Count, Read));
    Bytes.resize(static_cast<std::size_t>(std::max(Read, 0)));
    return Bytes;
  }

  TPosixComDevice Device;
  std::unique_ptr<TComStopSignal> Stop;
  int Master = -1;
  TComHandle Handle = InvalidComHandle;
};

TEST_F(ReadAhead, EventCharacterAmongTheArrivalsIsReportedAndTheBytesStayReadable) {
  struct TRow {
    const char* Name;
    std::uint32_t Mask;
    std::uint8_t EventChar;
    bool DiscardNull;
    std::string Arrives, Read;
    bool Flag;
  };
  const std::uint32_t Both = EV_RXCHAR | EV_RXFLAG;
  const TRow Rows[] = {
      {"line end", Both, '\n', false, "abc\n", "abc\n", true},
      {"no line end", Both, '\n', false, "abc", "abc", false},
      {"first byte", Both, 0x55, false, std::string("\x55\x01\x02", 3), "\x55\x01\x02", true},
      {"zero byte", Both, 0, false, std::string("\x55\x00\x01", 3), std::string("\x55\x00\x01", 3),
       true},
      {"zero byte discarded", Both, 0, true, std::string("\x55\x00\x01", 3), "\x55\x01", false},
      {"not watched", EV_RXCHAR, '\n', false, "abc\n", "abc\n", false},
      {"only the flag watched", EV_RXFLAG, '\n', false, "abc\n", "abc\n", true},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    Reopen(Row.Mask, Row.EventChar, Row.DiscardNull);
    WriteMaster(Row.Arrives);
    std::uint32_t Events = 0;
    if (Row.Mask & EV_RXCHAR) {
      Events = EventsUntilQueued(std::int32_t(Row.Read.size()));
      EXPECT_EQ(Events & EV_RXCHAR, EV_RXCHAR);
    } else {
      std::uint32_t Mask = 0;
      ASSERT_EQ(Device.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrEvents);
      Events = Mask;
    }
    EXPECT_EQ((Events & EV_RXFLAG) != 0, Row.Flag);
    EXPECT_EQ(Events & ~Row.Mask, 0u);
    // Zero bytes dropped are not counted either.
    EXPECT_EQ(Queued(), std::int32_t(Row.Read.size()));
    EXPECT_EQ(ReadAll(16), Row.Read);
    EXPECT_EQ(Queued(), 0);
  }
}

TEST_F(ReadAhead, DroppedZerosDoNotCountTowardsTheFullQueue) {
  Reopen(EV_RXCHAR | EV_RX80FULL, 0, true);
  ASSERT_TRUE(Device.SetupComm(Handle, 10, 10));
  // Eight bytes arrive, four of them zeros: four for the reader, not 80 %.
  WriteMaster(std::string("a\0b\0c\0d\0", 8));
  EXPECT_EQ(EventsUntilQueued(4), EV_RXCHAR);
  // Four more: eight for the reader.
  WriteMaster("efgh");
  EXPECT_EQ(EventsUntilQueued(8), EV_RXCHAR | EV_RX80FULL);
  EXPECT_EQ(ReadAll(8), "abcdefgh");
  // Zeros, then a byte: the count is that byte.
  WriteMaster(std::string("\0\0", 2));
  WriteMaster("i");
  EXPECT_EQ(EventsUntilQueued(1), EV_RXCHAR);
  EXPECT_EQ(ReadAll(8), "i");
}

TEST_F(ReadAhead, ReadsServeTheBytesMovedAsideFirstAndCountsIncludeThem) {
  WriteMaster("hello");
  ASSERT_NE(EventsUntilQueued(5) & EV_RXCHAR, 0u);
  // Not waited for: these stay in the driver, behind the five moved aside.
  WriteMaster(" world");
  AwaitDeviceReadable();
  while (Queued() < 11)
    AwaitDeviceReadable();
  EXPECT_EQ(Queued(), 11);
  EXPECT_EQ(ReadAll(3), "hel");
  EXPECT_EQ(Queued(), 8);
  EXPECT_EQ(ReadAll(20), "lo world");
  EXPECT_EQ(Queued(), 0);
  EXPECT_EQ(ReadAll(20), "");
}

TEST_F(ReadAhead, EventCharacterTakenStraightFromTheDeviceIsReportedAtTheNextWakeUp) {
  // The first wait puts the device into the wait's set; then a reader takes
  // the bytes before the wait gets to them.
  WriteMaster("a");
  EventsUntilQueued(1);
  EXPECT_EQ(ReadAll(4), "a");
  WriteMaster("b\n");
  AwaitDeviceReadable();
  while (Queued() < 2)
    AwaitDeviceReadable();
  EXPECT_EQ(ReadAll(4), "b\n");
  // Nothing is left to announce; the next arrival brings the report along.
  WriteMaster("c");
  EXPECT_EQ(EventsUntilQueued(1), EV_RXCHAR | EV_RXFLAG);
  EXPECT_EQ(ReadAll(4), "c");
  // Reported once.
  WriteMaster("d");
  EXPECT_EQ(EventsUntilQueued(1), EV_RXCHAR);
}

TEST_F(ReadAhead, PurgeOfTheInputEmptiesTheBytesMovedAside) {
  WriteMaster("abc\n");
  EXPECT_NE(EventsUntilQueued(4) & EV_RXFLAG, 0u);
  ASSERT_TRUE(Device.PurgeComm(Handle, PURGE_TXCLEAR));
  EXPECT_EQ(Queued(), 4); // the output side only
  ASSERT_TRUE(Device.PurgeComm(Handle, PURGE_RXCLEAR));
  EXPECT_EQ(Queued(), 0);
  EXPECT_EQ(ReadAll(8), "");
  WriteMaster("d");
  EXPECT_EQ(EventsUntilQueued(1), EV_RXCHAR);
  EXPECT_EQ(ReadAll(8), "d");
}

TEST_F(ReadAhead, RingWrapsAroundAndWhatDoesNotFitWaitsInTheDriver) {
  // Bytes 0..N of a stream without the event character, one line end placed
  // where the ring wraps; chunks are written one at a time and waited for.
  std::string Stream;
  std::string Taken;
  std::size_t Written = 0;
  const std::size_t LineEnd = 65700;
  auto Byte = [&](std::size_t I) { return I == LineEnd ? '\n' : char('a' + I % 26); };
  auto Feed = [&](std::size_t Size) {
    std::string Chunk;
    for (std::size_t I = 0; I < Size; ++I)
      Chunk += Byte(Written + I);
    const bool HasLineEnd = Written <= LineEnd && LineEnd < Written + Size;
    Written += Size;
    Stream += Chunk;
    WriteMaster(Chunk);
    const auto Queue = std::int32_t(Written - Taken.size());
    const std::uint32_t Events = EventsUntilQueued(Queue);
    EXPECT_EQ((Events & EV_RXFLAG) != 0, HasLineEnd) << "chunk ending at " << Written;
  };
  for (int I = 0; I < 40; ++I)
    Feed(1000);
  Taken += ReadAll(30000);
  // The ring now holds 10000 bytes from 30000 on; the next 40000 run past
  // the end of its storage, and the chunk from 65000 (with the line end)
  // straddles it.
  for (int I = 0; I < 40; ++I)
    Feed(1000);
  EXPECT_EQ(Queued(), 50000);
  Taken += ReadAll(20000);
  // 1464 past the ring's size: they wait in the driver and are still counted.
  for (int I = 0; I < 37; ++I)
    Feed(1000);
  EXPECT_EQ(Queued(), std::int32_t(Written - Taken.size()));
  while (Taken.size() < Written) {
    const std::size_t Before = Taken.size();
    Taken += ReadAll(4096);
    ASSERT_GT(Taken.size(), Before);
  }
  EXPECT_TRUE(Taken == Stream);
  EXPECT_EQ(Queued(), 0);
}

TEST_F(ReadAhead, ReaderAndWaitRacingForTheSameBytesLoseAndRepeatNone) {
  // A read waiting for five bytes and a wait on another thread both wake for
  // each arrival; whichever takes them, the read ends with all of them, in
  // the order they came, within its time limit.
  ASSERT_TRUE(Device.SetCommTimeouts(Handle, {0, 0, 20000, 0, 0}));
  std::thread Waiter([&] {
    std::uint32_t Mask = 0;
    while (Device.WaitCommEvent(Handle, *Stop, Mask) == TComWaitResult::wrEvents) {
    }
  });
  for (int Round = 0; Round < 20; ++Round) {
    SCOPED_TRACE(Round);
    std::string Got;
    std::thread Reader([&] { Got = ReadAll(5); });
    // Give the reader a moment to go to sleep on the device.
    std::this_thread::sleep_for(1ms);
    WriteMaster("ab");
    WriteMaster("\ncd");
    Reader.join();
    EXPECT_EQ(Got, "ab\ncd");
  }
  Stop->Signal();
  Waiter.join();
  EXPECT_EQ(Queued(), 0);
}

} // namespace
