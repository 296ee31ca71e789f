#include "cport/platform/PosixDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "cport/platform/PosixLineWatch.h"
#include "cport/platform/PosixPorts.h"
#include "cport/platform/PosixReadAhead.h"
#include "cport/platform/PosixSystem.h"

namespace {

thread_local int PosixLastError = 0;

int Ioctl(int Descriptor, unsigned long Request, void* Argument) {
  return PosixSystem().Ioctl(Descriptor, Request, Argument);
}

// A device without modem lines (pseudo-terminals, some adapters) refuses the
// modem ioctls with one of these.
bool NoModemLines(int Error) {
  return Error == ENOTTY || Error == EINVAL;
}

bool ReadCounters(int Descriptor, TLineCounters& Counters) {
  serial_icounter_struct Icount{};
  if (Ioctl(Descriptor, TIOCGICOUNT, &Icount) != 0)
    return false;
  Counters = {Icount.frame, Icount.overrun,     Icount.parity,
              Icount.brk,   Icount.buf_overrun, Icount.tx};
  return true;
}

// The stop request of an event wait: an eventfd that becomes readable. It also
// keeps the epoll set of the waits made with it, so that a thread's waits
// cost no descriptors per event: the set is made at the first wait and lives
// as long as the signal.
class TPosixStopSignal : public TComStopSignal {
public:
  TPosixStopSignal() : FDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TPosixStopSignal() override {
    if (Epoll >= 0)
      close(Epoll);
    if (FDescriptor >= 0)
      close(FDescriptor);
  }
  void Signal() override {
    const std::uint64_t One = 1;
    [[maybe_unused]] ssize_t Written = write(FDescriptor, &One, sizeof One);
  }
  int Descriptor() const { return FDescriptor; }

  int Epoll = -1;
  int Watched = -1;           // the device descriptor in the set
  bool WatchedOutput = false; // and its output
  int WatchedWake = -1;       // the wake-up of the port's helpers in the set
  int OutputWatch = -1;       // the port's descriptor of its writers in the set
  std::uint32_t Initial = 0;  // the device's state when it entered the set
  bool HasCounters = false;   // line error counters at the last wake-up
  TLineCounters Counters{};

private:
  int FDescriptor;
};

using TClock = std::chrono::steady_clock;

int MillisecondsUntil(TClock::time_point Deadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
  return static_cast<int>(std::clamp<long long>(Left, 0, 0x7FFFFFFF));
}

constexpr std::uint32_t HelperEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_TXEMPTY;

} // namespace

struct TPosixComDevice::TOpenPort {
  explicit TOpenPort(int D) : Descriptor(D), Notify(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TOpenPort() {
    if (Notify >= 0)
      close(Notify);
    CloseWriters();
  }
  TOpenPort(const TOpenPort&) = delete;
  TOpenPort& operator=(const TOpenPort&) = delete;

  TPortState Snapshot() {
    std::lock_guard<std::mutex> Lock(StateLock);
    return State;
  }
  TPosixLineWatch* LineWatch() {
    std::lock_guard<std::mutex> Lock(StateLock);
    return Watch.get();
  }
  // A second descriptor of the device, made at the first use: an event wait's
  // entry for the driver's wake-ups of its writers. -1 with errno on failure.
  int WritersDescriptor() {
    std::lock_guard<std::mutex> Lock(StateLock);
    if (Writers < 0)
      Writers = fcntl(Descriptor, F_DUPFD_CLOEXEC, 0);
    return Writers;
  }
  void CloseWriters() {
    std::lock_guard<std::mutex> Lock(StateLock);
    if (Writers >= 0)
      close(Writers);
    Writers = -1;
  }
  // A reader asleep on the device wakes through Notify for bytes the wait
  // moved into the ring (they leave the device with nothing to announce).
  void WakeReaders() {
    const std::uint64_t One = 1;
    [[maybe_unused]] ssize_t Written = write(Notify, &One, sizeof One);
  }
  void SettleReaders() {
    std::uint64_t Count = 0;
    [[maybe_unused]] ssize_t Got = read(Notify, &Count, sizeof Count);
  }

  const int Descriptor;

  std::mutex StateLock;
  TPortState State;
  // Made when the mask first asks for events only helpers see; lives as long
  // as the port.
  std::unique_ptr<TPosixLineWatch> Watch;
  int Writers = -1;

  // Guards the ring and what goes with it. A reader holds it also while it
  // reads the device itself, so that no byte can overtake the ones moved
  // aside before it.
  std::mutex IoLock;
  TPosixReadAhead Ring;
  // The event character went by in bytes a reader took straight from the
  // device; the next wake-up reports it.
  bool FlagPending = false;
  // Readers asleep on the device, to be woken through Notify.
  int Sleepers = 0;
  const int Notify;
};

namespace {

using TOpenPort = TPosixComDevice::TOpenPort;
using TPortState = TPosixComDevice::TPortState;

// Whether the event character can be seen at all: a zero byte the reader
// discards never arrives as far as the program is concerned.
bool WatchesEventChar(const TPortState& State) {
  return (State.Mask & EV_RXFLAG) != 0 && !(State.DiscardNull && State.EventChar == 0);
}

// Arrivals go through the ring when the event character is watched for or
// zero bytes are dropped: both need to see the bytes before the reader.
bool UsesRing(const TPortState& State) {
  return (State.Mask & EV_RXFLAG) != 0 || State.DiscardNull;
}

// Moves what the driver holds into the ring (with IoLock held); an event
// character among it is kept for the next wake-up unless Found takes it.
TPosixReadAhead::TMoved MoveAhead(TOpenPort& Port, const TPortState& State) {
  TPosixReadAhead::TMoved Moved =
      Port.Ring.Move(Port.Descriptor, State.DiscardNull, WatchesEventChar(State), State.EventChar);
  if (Moved.Kept > 0 && Port.Sleepers > 0)
    Port.WakeReaders();
  return Moved;
}

// The bytes a reader would get (with IoLock held): with zero bytes dropped,
// those in the driver are moved aside first, so that they are counted
// without the zeros. -1 with errno on failure.
std::int64_t QueuedBytes(TOpenPort& Port, const TPortState& State) {
  if (State.DiscardNull) {
    if (MoveAhead(Port, State).Found)
      Port.FlagPending = true;
  }
  int Waiting = 0;
  if (Ioctl(Port.Descriptor, FIONREAD, &Waiting) != 0)
    return -1;
  return std::int64_t{Waiting} + std::int64_t(Port.Ring.Size());
}

bool EightyPercentFull(std::int64_t Queued, const TPortState& State) {
  return (State.Mask & EV_RX80FULL) && State.InQueue > 0 &&
         Queued * 10 >= std::int64_t{State.InQueue} * 8;
}

} // namespace

std::string DevicePathForPort(const std::string& PortName) {
  if (!PortName.empty() && PortName[0] == '/')
    return PortName;
  if (PortName.size() > 3 && PortName.compare(0, 3, "COM") == 0) {
    const std::string Digits = PortName.substr(3);
    if (Digits.size() <= 9 &&
        std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; })) {
      const long Number = std::stol(Digits);
      if (Number >= 1)
        return "/dev/ttyS" + std::to_string(Number - 1);
    }
  }
  return "/dev/" + PortName;
}

TReadPlan PlanRead(const TCommTimeouts& T, std::int32_t Count) {
  TReadPlan Plan;
  if (T.ReadIntervalTimeout == MAXDWORD && T.ReadTotalTimeoutMultiplier == 0 &&
      T.ReadTotalTimeoutConstant == 0) {
    Plan.Immediate = true;
  } else if (T.ReadIntervalTimeout == MAXDWORD && T.ReadTotalTimeoutMultiplier == MAXDWORD &&
             T.ReadTotalTimeoutConstant != 0 && T.ReadTotalTimeoutConstant != MAXDWORD) {
    Plan.FirstByteOnly = true;
    Plan.TotalMs = T.ReadTotalTimeoutConstant;
  } else {
    Plan.TotalMs = std::uint64_t{T.ReadTotalTimeoutMultiplier} * std::uint64_t(std::max(Count, 0)) +
                   T.ReadTotalTimeoutConstant;
    if (T.ReadIntervalTimeout != MAXDWORD)
      Plan.IntervalMs = T.ReadIntervalTimeout;
  }
  return Plan;
}

std::uint32_t CounterChangesToErrors(const TLineCounters& Before, const TLineCounters& After) {
  std::uint32_t Errors = 0;
  if (After.Frame != Before.Frame)
    Errors |= CE_FRAME;
  if (After.Overrun != Before.Overrun)
    Errors |= CE_OVERRUN;
  if (After.Parity != Before.Parity)
    Errors |= CE_RXPARITY;
  if (After.Break != Before.Break)
    Errors |= CE_BREAK;
  if (After.BufferOverrun != Before.BufferOverrun)
    Errors |= CE_RXOVER;
  return Errors;
}

bool TPosixComDevice::Fail(int Error) {
  PosixLastError = Error;
  return false;
}

int TPosixComDevice::LastError() {
  return PosixLastError;
}

std::shared_ptr<TOpenPort> TPosixComDevice::Find(TComHandle Handle) const {
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(static_cast<int>(Handle));
  if (It != FPorts.end())
    return It->second;
  PosixLastError = EBADF;
  return nullptr;
}

bool TPosixComDevice::PortState(TComHandle Handle, TPortState& State) const {
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  State = Port->Snapshot();
  return true;
}

TComHandle TPosixComDevice::Open(const std::string& PortName) {
  const std::string Path = DevicePathForPort(PortName);
  const int Descriptor = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Descriptor < 0) {
    Fail(errno);
    return InvalidComHandle;
  }
  // Exclusive use: TIOCEXCL keeps other openers out (but not a privileged
  // one), the lock keeps out every other user of this component.
  if (flock(Descriptor, LOCK_EX | LOCK_NB) != 0) {
    const int Error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(Descriptor);
    Fail(Error);
    return InvalidComHandle;
  }
  ioctl(Descriptor, TIOCEXCL);
  auto Port = std::make_shared<TOpenPort>(Descriptor);
  if (Port->Notify < 0) {
    const int Error = errno;
    ioctl(Descriptor, TIOCNXCL);
    close(Descriptor);
    Fail(Error);
    return InvalidComHandle;
  }
  Port->State.HasCounters = ReadCounters(Descriptor, Port->State.Counters);
  std::lock_guard<std::mutex> Lock(FLock);
  FPorts[Descriptor] = std::move(Port);
  return Descriptor;
}

bool TPosixComDevice::Close(TComHandle Handle) {
  std::shared_ptr<TOpenPort> Port;
  {
    std::lock_guard<std::mutex> Lock(FLock);
    auto It = FPorts.find(static_cast<int>(Handle));
    if (It == FPorts.end())
      return Fail(EBADF);
    Port = std::move(It->second);
    FPorts.erase(It);
  }
  // The helpers sleep in calls on the descriptor: they end before it closes.
  // The second descriptor goes with it (it shares the lock of exclusive use).
  if (TPosixLineWatch* Watch = Port->LineWatch())
    Watch->Stop();
  Port->CloseWriters();
  const int Descriptor = static_cast<int>(Handle);
  ioctl(Descriptor, TIOCNXCL);
  if (close(Descriptor) != 0)
    return Fail(errno);
  return true;
}

bool TPosixComDevice::SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) {
  // The terminal driver has fixed queues: the sizes are only recorded.
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  std::lock_guard<std::mutex> Lock(Port->StateLock);
  Port->State.InQueue = InQueue;
  Port->State.OutQueue = OutQueue;
  return true;
}

bool TPosixComDevice::SetCommState(TComHandle Handle, const TDeviceControlBlock& State) {
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  const int Descriptor = Port->Descriptor;
  TPosixLineSettings Line;
  if (const int Error = DcbToPosixLine(State, Line))
    return Fail(Error);
  if (const int Error = ApplyTermiosImage(Descriptor, Line.Termios))
    return Fail(Error);
  auto Drive = [Descriptor](TLineDrive How, int Bit) {
    if (How == TLineDrive::ldLeave)
      return 0;
    if (Ioctl(Descriptor, How == TLineDrive::ldOn ? TIOCMBIS : TIOCMBIC, &Bit) == 0)
      return 0;
    return NoModemLines(errno) ? 0 : errno;
  };
  if (const int Error = Drive(Line.Dtr, TIOCM_DTR))
    return Fail(Error);
  if (const int Error = Drive(Line.Rts, TIOCM_RTS))
    return Fail(Error);
  std::lock_guard<std::mutex> Lock(Port->StateLock);
  Port->State.DiscardNull = Line.DiscardNull;
  Port->State.EventChar = Line.EventChar;
  return true;
}

bool TPosixComDevice::SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) {
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  std::lock_guard<std::mutex> Lock(Port->StateLock);
  Port->State.Timeouts = Timeouts;
  return true;
}

namespace {

struct TTaken {
  ssize_t Got = 0;       // bytes taken from the ring or the device; -1 on failure
  std::int32_t Kept = 0; // of those, the ones the reader gets
  int Error = 0;
};

// One step of a read: the bytes moved aside come first; the device is read
// only when there are none, and under the same lock, so that the order stays
// that of the line.
TTaken TakeInput(TOpenPort& Port, const TPortState& State, std::uint8_t* Begin,
                 std::size_t Wanted) {
  TTaken Taken;
  {
    std::lock_guard<std::mutex> Lock(Port.IoLock);
    Taken.Got = static_cast<ssize_t>(Port.Ring.Take(Begin, Wanted));
    if (Taken.Got > 0) {
      Taken.Kept = static_cast<std::int32_t>(Taken.Got); // zeros never enter the ring
      return Taken;
    }
    Taken.Got = read(Port.Descriptor, Begin, Wanted);
    Taken.Error = errno;
    if (Taken.Got > 0 && WatchesEventChar(State) &&
        std::memchr(Begin, State.EventChar, static_cast<std::size_t>(Taken.Got)) != nullptr)
      Port.FlagPending = true;
  }
  if (Taken.Got > 0) {
    Taken.Kept = static_cast<std::int32_t>(Taken.Got);
    if (State.DiscardNull)
      Taken.Kept = static_cast<std::int32_t>(std::remove(Begin, Begin + Taken.Got, 0) - Begin);
  }
  return Taken;
}

// How long a read may still wait for more: -1 without limit, 0 when it ends.
int ReadWaitMs(const TReadPlan& Plan, TClock::time_point TotalDeadline, std::int32_t Read) {
  if (Plan.Immediate || (Plan.FirstByteOnly && Read > 0))
    return 0;
  int WaitMs = -1;
  if (Plan.TotalMs != 0)
    WaitMs = MillisecondsUntil(TotalDeadline);
  if (Plan.IntervalMs != 0 && Read > 0) {
    const int Interval = static_cast<int>(std::min<std::uint32_t>(Plan.IntervalMs, 0x7FFFFFFF));
    WaitMs = WaitMs < 0 ? Interval : std::min(WaitMs, Interval);
  }
  return WaitMs;
}

enum class TInputWait { iwDevice, iwMovedAside, iwTimedOut, iwHungUp, iwFailed };

// Sleeps until bytes are on the device or the event wait moves some aside
// (which leaves the device with nothing to announce). The wait only signals a
// reader it knows to be asleep, so the reader says so first, and looks again
// for bytes moved aside before it did.
TInputWait AwaitInput(TOpenPort& Port, int WaitMs) {
  {
    std::lock_guard<std::mutex> Lock(Port.IoLock);
    if (Port.Ring.Size() > 0)
      return TInputWait::iwMovedAside;
    ++Port.Sleepers;
  }
  pollfd Poll[2] = {{Port.Descriptor, POLLIN, 0}, {Port.Notify, POLLIN, 0}};
  const int Ready = poll(Poll, 2, WaitMs);
  const int PollError = errno;
  {
    std::lock_guard<std::mutex> Lock(Port.IoLock);
    --Port.Sleepers;
  }
  if (Ready < 0) {
    errno = PollError;
    return PollError == EINTR ? TInputWait::iwMovedAside : TInputWait::iwFailed;
  }
  if (Ready == 0)
    return TInputWait::iwTimedOut;
  if (Poll[0].revents & (POLLHUP | POLLERR | POLLNVAL))
    return TInputWait::iwHungUp;
  if (Poll[1].revents & POLLIN)
    Port.SettleReaders();
  return (Poll[0].revents & POLLIN) ? TInputWait::iwDevice : TInputWait::iwMovedAside;
}

} // namespace

// Reads as the timeouts record says:
// - interval MAXDWORD with both totals 0: at once, what has arrived;
// - interval MAXDWORD, multiplier MAXDWORD, a constant below MAXDWORD: what has
//   arrived, else wait up to the constant for the first byte;
// - otherwise: until Count bytes, the total time (multiplier * Count +
//   constant, when not 0) or the gap between two bytes (interval, when not 0)
//   runs out. All zero waits for Count bytes.
bool TPosixComDevice::ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count,
                               std::int32_t& Read) {
  Read = 0;
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  if (Count < 0)
    return Fail(EINVAL);
  const TPortState State = Port->Snapshot();
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  const TReadPlan Plan = PlanRead(State.Timeouts, Count);
  // A limit beyond some 35 years is no limit in practice; capping it keeps the
  // clock arithmetic from overflowing.
  const auto TotalDeadline =
      TClock::now() + std::chrono::milliseconds(std::min<std::uint64_t>(Plan.TotalMs, 1ull << 40));

  bool DeviceWoke = false; // the last wait ended because the device was readable
  while (Read < Count) {
    const TTaken Taken =
        TakeInput(*Port, State, Out + Read, static_cast<std::size_t>(Count - Read));
    if (Taken.Got > 0) {
      Read += Taken.Kept;
      DeviceWoke = false;
      continue;
    }
    // In raw mode (no minimum count, no time) an empty queue reads as 0,
    // like EAGAIN; a hung-up line shows in the wait below. A device that
    // says it is readable and then gives 0 has reached its end.
    if (Taken.Got == 0 && DeviceWoke)
      break;
    if (Taken.Got < 0 && Taken.Error == EINTR)
      continue;
    if (Taken.Got < 0 && Taken.Error != EAGAIN)
      return Fail(Taken.Error);
    const int WaitMs = ReadWaitMs(Plan, TotalDeadline, Read);
    if (WaitMs == 0)
      break;
    const TInputWait Woke = AwaitInput(*Port, WaitMs);
    if (Woke == TInputWait::iwFailed)
      return Fail(errno);
    if (Woke == TInputWait::iwTimedOut || Woke == TInputWait::iwHungUp)
      break; // a timeout ran out, or nothing more will come
    DeviceWoke = Woke == TInputWait::iwDevice;
  }
  return true;
}

bool TPosixComDevice::PurgeComm(TComHandle Handle, std::uint32_t Flags) {
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  const int Descriptor = Port->Descriptor;
  // Reads and writes complete when they are started, so the abort flags find
  // nothing to abort and leave the queues alone (received bytes stay for the
  // handlers); the call still fails on a device that has gone away.
  const bool Output = (Flags & PURGE_TXCLEAR) != 0;
  const bool Input = (Flags & PURGE_RXCLEAR) != 0;
  if (!Output && !Input) {
    int Waiting = 0;
    if ((Flags & (PURGE_TXABORT | PURGE_RXABORT)) && Ioctl(Descriptor, FIONREAD, &Waiting) != 0)
      return Fail(errno);
    return true;
  }
  const int Queue = Output && Input ? TCIOFLUSH : (Output ? TCOFLUSH : TCIFLUSH);
  // The bytes moved aside belong to the input queue: they go with it, with
  // no wait moving more in between.
  std::lock_guard<std::mutex> Lock(Port->IoLock);
  if (tcflush(Descriptor, Queue) != 0)
    return Fail(errno);
  if (Input) {
    Port->Ring.Clear();
    Port->FlagPending = false;
  }
  return true;
}

bool TPosixComDevice::ClearCommError(TComHandle Handle, std::uint32_t& Errors,
                                     std::int32_t& InQueue) {
  Errors = 0;
  InQueue = 0;
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  const TPortState State = Port->Snapshot();
  {
    // Both parts under the lock, so that no byte is counted in both.
    std::lock_guard<std::mutex> Lock(Port->IoLock);
    const std::int64_t Queued = QueuedBytes(*Port, State);
    if (Queued < 0)
      return Fail(errno);
    InQueue = static_cast<std::int32_t>(std::min<std::int64_t>(Queued, 0x7FFFFFFF));
  }

  TLineCounters Now;
  if (!ReadCounters(Port->Descriptor, Now))
    return true; // the driver does not count line errors
  std::lock_guard<std::mutex> Lock(Port->StateLock);
  TPortState& S = Port->State;
  if (S.HasCounters)
    Errors = CounterChangesToErrors(S.Counters, Now);
  S.HasCounters = true;
  S.Counters = Now;
  return true;
}

bool TPosixComDevice::GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) {
  Status = 0;
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  int Lines = 0;
  if (Ioctl(Port->Descriptor, TIOCMGET, &Lines) != 0)
    return NoModemLines(errno) ? true : Fail(errno);
  if (Lines & TIOCM_CTS)
    Status |= MS_CTS_ON;
  if (Lines & TIOCM_DSR)
    Status |= MS_DSR_ON;
  if (Lines & TIOCM_RNG)
    Status |= MS_RING_ON;
  if (Lines & TIOCM_CAR)
    Status |= MS_RLSD_ON;
  return true;
}

bool TPosixComDevice::SetCommMask(TComHandle Handle, std::uint32_t Mask) {
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return false;
  TPosixLineWatch* Watch = nullptr;
  {
    std::lock_guard<std::mutex> Lock(Port->StateLock);
    Port->State.Mask = Mask;
    if (!Port->Watch && (Mask & HelperEvents))
      Port->Watch = std::make_unique<TPosixLineWatch>(Port->Descriptor);
    Watch = Port->Watch.get();
  }
  // Starting and stopping helpers outside the lock: a stop waits for them.
  if (Watch)
    Watch->Follow(Mask);
  return true;
}

std::unique_ptr<TComStopSignal> TPosixComDevice::NewStopSignal() {
  return std::make_unique<TPosixStopSignal>();
}

namespace {

// Puts the port's descriptor (and the wake-up of its helpers) into the wait's
// epoll set, as the mask needs: edge-triggered input always, output too when
// the end of a transmission is watched. Done again only when the port or the
// mask changes. 0 or the error number.
int WatchPort(TPosixStopSignal& Signal, TOpenPort& Port, const TPortState& State,
              TPosixLineWatch* Watch) {
  if (Signal.Epoll < 0) {
    Signal.Epoll = epoll_create1(EPOLL_CLOEXEC);
    if (Signal.Epoll < 0)
      return errno;
    epoll_event Stopping{};
    Stopping.events = EPOLLIN;
    Stopping.data.fd = Signal.Descriptor();
    if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Signal.Descriptor(), &Stopping) != 0)
      return errno;
  }
  const bool Output = (State.Mask & EV_TXEMPTY) != 0;
  if (Signal.Watched != Port.Descriptor || Signal.WatchedOutput != Output) {
    // Errors counted before a change of the mask are still to be reported.
    const bool NewDevice = Signal.Watched != Port.Descriptor;
    if (Signal.Watched >= 0)
      epoll_ctl(Signal.Epoll, EPOLL_CTL_DEL, Signal.Watched, nullptr);
    if (Signal.OutputWatch >= 0)
      epoll_ctl(Signal.Epoll, EPOLL_CTL_DEL, Signal.OutputWatch, nullptr);
    Signal.Watched = Signal.OutputWatch = -1;
    epoll_event Line{};
    Line.events = EPOLLIN | EPOLLET;
    Line.data.fd = Port.Descriptor;
    if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Port.Descriptor, &Line) != 0)
      return errno;
    Signal.Watched = Port.Descriptor;
    // Errors counted since the open (or the last query) come with the first
    // arrival the wait sees.
    if (NewDevice) {
      Signal.HasCounters = State.HasCounters;
      Signal.Counters = State.Counters;
    }
    // The driver wakes its readers for arrivals and its writers as output
    // goes out; one entry for both would report room for output at every
    // arrival and unread bytes at every wake-up of the writers. A second
    // descriptor of the same device is the entry of the writers.
    if (Output) {
      Signal.OutputWatch = Port.WritersDescriptor();
      if (Signal.OutputWatch < 0)
        return errno;
      epoll_event Writers{};
      Writers.events = EPOLLOUT | EPOLLET;
      Writers.data.fd = Signal.OutputWatch;
      if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Signal.OutputWatch, &Writers) != 0)
        return errno;
    }
    Signal.WatchedOutput = Output;
    // The set reports the device's state once when it enters: room for
    // output is no wake-up of the writers, bytes already waiting are an
    // arrival (kept for the first sleep).
    epoll_event Ready[4];
    const int Count = epoll_wait(Signal.Epoll, Ready, 4, 0);
    Signal.Initial = 0;
    for (int I = 0; I < Count; ++I)
      if (Ready[I].data.fd == Port.Descriptor)
        Signal.Initial = Ready[I].events & (EPOLLIN | EPOLLHUP | EPOLLERR);
  }
  const int Wake = Watch ? Watch->WakeDescriptor() : -1;
  if (Wake != Signal.WatchedWake) {
    if (Signal.WatchedWake >= 0)
      epoll_ctl(Signal.Epoll, EPOLL_CTL_DEL, Signal.WatchedWake, nullptr);
    Signal.WatchedWake = -1;
    if (Wake >= 0) {
      epoll_event Helpers{};
      Helpers.events = EPOLLIN;
      Helpers.data.fd = Wake;
      if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Wake, &Helpers) != 0)
        return errno;
      Signal.WatchedWake = Wake;
    }
  }
  return 0;
}

struct TWakeUp {
  bool Stopped = false;
  bool Arrival = false; // the device became readable
  bool Output = false;  // the device reported room for output
  bool HungUp = false;
  bool Helpers = false; // a helper posted events
};

void Report(std::uint32_t Flags, TWakeUp& Woke) {
  Woke.Arrival = Woke.Arrival || (Flags & EPOLLIN) != 0;
  Woke.HungUp = Woke.HungUp || (Flags & (EPOLLHUP | EPOLLERR)) != 0;
}

// One sleep in the wait's set (none when the device's state at its entry is
// still to be reported); 0 or the error number.
int Sleep(TPosixStopSignal& Signal, TWakeUp& Woke) {
  for (;;) {
    epoll_event Ready[4];
    const int Count = epoll_wait(Signal.Epoll, Ready, 4, Signal.Initial ? 0 : -1);
    if (Count < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    Report(std::exchange(Signal.Initial, 0u), Woke);
    for (int I = 0; I < Count; ++I) {
      const int Descriptor = Ready[I].data.fd;
      const std::uint32_t Flags = Ready[I].events;
      if (Descriptor == Signal.Descriptor()) {
        Woke.Stopped = true;
      } else if (Descriptor == Signal.WatchedWake) {
        Woke.Helpers = true;
      } else if (Descriptor == Signal.OutputWatch) {
        Woke.Output = true;
      } else {
        Report(Flags, Woke);
      }
    }
    return 0;
  }
}

// What an arrival brings: received characters, the event character among
// them (moved into the ring to be seen), a queue filled to 80 %.
std::uint32_t ArrivalEvents(TOpenPort& Port, const TPortState& State) {
  std::uint32_t Events = EV_RXCHAR;
  std::lock_guard<std::mutex> Lock(Port.IoLock);
  if (UsesRing(State)) {
    const TPosixReadAhead::TMoved Moved = MoveAhead(Port, State);
    if (std::exchange(Port.FlagPending, false) || Moved.Found)
      Events |= EV_RXFLAG;
    // Zero bytes only: nothing arrived as far as the reader is concerned.
    if (State.DiscardNull && Moved.Read > 0 && Moved.Kept == 0)
      Events &= ~EV_RXCHAR;
  }
  if (State.Mask & EV_RX80FULL) {
    const std::int64_t Queued = QueuedBytes(Port, State);
    if (Queued >= 0 && EightyPercentFull(Queued, State))
      Events |= EV_RX80FULL;
  }
  return Events;
}

// Line errors and breaks show in the driver's counters (where it keeps them);
// Transmitted tells whether output went out since the last look.
std::uint32_t CounterEvents(TPosixStopSignal& Signal, int Descriptor, bool& Transmitted) {
  TLineCounters Now;
  if (!Signal.HasCounters || !ReadCounters(Descriptor, Now))
    return 0;
  const std::uint32_t Changed = CounterChangesToErrors(Signal.Counters, Now);
  Transmitted = Now.Transmitted != Signal.Counters.Transmitted;
  Signal.Counters = Now;
  return ((Changed & ~CE_BREAK) ? EV_ERR : 0) | ((Changed & CE_BREAK) ? EV_BREAK : 0);
}

// Whether output went out since the last look, so that the drain helper is to
// wait for the transmitter: the driver woke its writers (it does so as its
// output queue empties; a pseudo-terminal, at every write) or its transmit
// counter moved.
bool OutputWentOut(const TWakeUp& Woke, bool Transmitted) {
  return Woke.Output || Transmitted;
}

} // namespace

// One epoll wait on the device, the wake-up of the port's helpers and the
// stop signal, with no time-out. The device is watched edge-triggered, which
// gives received characters the drivers' meaning: one event per arrival, and
// bytes a handler leaves unread are announced again only when more arrive.
// Line errors and breaks show in the driver's counters, checked at each
// wake-up, since the byte that carried the error arrives with it. While the
// event character is watched for (or zero bytes are dropped), each arrival is
// moved into the read-ahead ring and looked through there; the device is then
// empty, and the next edge again means new bytes. Modem line changes and the
// end of a transmission come from the helpers (PosixLineWatch.h).
TComWaitResult TPosixComDevice::WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                              std::uint32_t& Mask) {
  Mask = 0;
  auto Failed = [this](int Error) {
    Fail(Error);
    return TComWaitResult::wrFailed;
  };
  auto& Signal = static_cast<TPosixStopSignal&>(Stop);
  const std::shared_ptr<TOpenPort> Port = Find(Handle);
  if (!Port)
    return TComWaitResult::wrFailed;
  TPosixLineWatch* const Watch = Port->LineWatch();
  if (const int Error = WatchPort(Signal, *Port, Port->Snapshot(), Watch))
    return Failed(Error);

  for (;;) {
    TWakeUp Woke;
    if (const int Error = Sleep(Signal, Woke))
      return Failed(Error);
    // The stop request wins over events that came at the same time.
    if (Woke.Stopped)
      return TComWaitResult::wrStopped;
    // The device is gone (the other end hung up, the adapter was pulled):
    // nothing will arrive any more, so the wait fails rather than sleeping
    // for ever (and a level-triggered wait would report it again at once).
    if (Woke.HungUp)
      return Failed(EIO);

    const TPortState State = Port->Snapshot();
    std::uint32_t Events = 0;
    if (Woke.Arrival)
      Events |= ArrivalEvents(*Port, State);
    if (Woke.Arrival || Woke.Output) {
      bool Transmitted = false;
      Events |= CounterEvents(Signal, Port->Descriptor, Transmitted);
      if (Watch && (State.Mask & EV_TXEMPTY) && OutputWentOut(Woke, Transmitted))
        Watch->RequestDrain();
    }
    if (Woke.Helpers && Watch)
      Events |= Watch->TakeEvents();
    Events &= State.Mask;
    if (Events) {
      Mask = Events;
      return TComWaitResult::wrEvents;
    }
  }
}

std::vector<TComPortInfo> TPosixComDevice::ListPorts() {
  return DiscoverPosixPorts();
}

TComDevice& PlatformComDevice() {
  static TPosixComDevice Device;
  return Device;
}
