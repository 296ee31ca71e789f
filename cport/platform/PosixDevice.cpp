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
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

namespace {

thread_local int PosixLastError = 0;

// A device without modem lines (pseudo-terminals, some adapters) refuses the
// modem ioctls with one of these.
bool NoModemLines(int Error) {
  return Error == ENOTTY || Error == EINVAL;
}

bool ReadCounters(int Descriptor, TLineCounters& Counters) {
  serial_icounter_struct Icount{};
  if (ioctl(Descriptor, TIOCGICOUNT, &Icount) != 0)
    return false;
  Counters = {Icount.frame, Icount.overrun, Icount.parity, Icount.brk, Icount.buf_overrun};
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
  int Watched = -1;         // the device descriptor in the set
  bool HasCounters = false; // line error counters at the last wake-up
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

} // namespace

// A ring of bytes taken from the driver ahead of the reader. A terminal's
// input queue cannot be looked into without reading it, so while the event
// character is watched for, the event wait moves what arrives into this ring
// (the one copy those bytes get on their way in) and looks through it there;
// the reader takes from the ring before it reads the device. Notify becomes
// readable each time bytes are moved in, so that a reader sleeping on the
// device wakes for them too. Everything but Notify is guarded by Lock, which
// a reader also holds while it reads the device itself, so that no byte can
// overtake the ones moved aside before it.
class TPosixComDevice::TReadAhead {
public:
  // Far beyond the driver's own queue: when a handler leaves this much
  // unread, the rest waits in the driver (and holds the sender back there).
  static constexpr std::size_t Capacity = 64 * 1024;

  TReadAhead() : Notify(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TReadAhead() {
    if (Notify >= 0)
      close(Notify);
  }
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Copies up to Count of the oldest bytes out.
  std::size_t Take(std::uint8_t* Out, std::size_t Count) {
    const std::size_t Taken = std::min(Count, Size);
    const std::size_t First = std::min(Taken, Capacity - Head);
    if (Taken == 0)
      return 0;
    std::memcpy(Out, Ring.get() + Head, First);
    std::memcpy(Out + First, Ring.get(), Taken - First);
    Head = (Head + Taken) % Capacity;
    Size -= Taken;
    if (Size == 0)
      Head = 0;
    return Taken;
  }

  // Moves what the driver holds into the ring, as much as fits. Found tells
  // whether Wanted is among the moved bytes (when Look is set). A read that
  // fails (nothing there, the line hung up) only ends the move.
  std::size_t Move(int Descriptor, bool Look, std::uint8_t Wanted, bool& Found) {
    if (!Ring)
      Ring.reset(new std::uint8_t[Capacity]);
    std::size_t Moved = 0;
    while (Size < Capacity) {
      const std::size_t Tail = (Head + Size) % Capacity;
      const std::size_t Free = Capacity - Size;
      const std::size_t First = std::min(Free, Capacity - Tail);
      iovec Parts[2] = {{Ring.get() + Tail, First}, {Ring.get(), Free - First}};
      const ssize_t Got = readv(Descriptor, Parts, Free > First ? 2 : 1);
      if (Got < 0 && errno == EINTR)
        continue;
      if (Got <= 0)
        break;
      const std::size_t Count = static_cast<std::size_t>(Got);
      const std::size_t InFirst = std::min(Count, First);
      if (Look && !Found)
        Found = std::memchr(Ring.get() + Tail, Wanted, InFirst) != nullptr ||
                (Count > InFirst && std::memchr(Ring.get(), Wanted, Count - InFirst) != nullptr);
      Size += Count;
      Moved += Count;
      if (Count < Free)
        break; // a short read: the driver has handed over all it had
    }
    return Moved;
  }

  void Clear() {
    Head = Size = 0;
    FlagPending = false;
  }
  void Wake() {
    const std::uint64_t One = 1;
    [[maybe_unused]] ssize_t Written = write(Notify, &One, sizeof One);
  }
  void Settle() {
    std::uint64_t Count = 0;
    [[maybe_unused]] ssize_t Got = read(Notify, &Count, sizeof Count);
  }

  std::mutex Lock;
  const int Notify;
  std::unique_ptr<std::uint8_t[]> Ring; // made at the first move
  std::size_t Head = 0, Size = 0;
  // The event character went by in bytes a reader took straight from the
  // device; the next wake-up reports it.
  bool FlagPending = false;
  // Readers asleep on the device, to be woken through Notify.
  int Sleepers = 0;
};

namespace {

// Whether the event character can be seen at all: a zero byte the reader
// discards never arrives as far as the program is concerned.
bool WatchesEventChar(const TPosixComDevice::TPortState& State) {
  return (State.Mask & EV_RXFLAG) != 0 && !(State.DiscardNull && State.EventChar == 0);
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

bool TPosixComDevice::Known(TComHandle Handle) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (FPorts.count(static_cast<int>(Handle)) == 0)
    return Fail(EBADF);
  return true;
}

std::shared_ptr<TPosixComDevice::TReadAhead> TPosixComDevice::ReadAheadOf(TComHandle Handle) const {
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FReadAhead.find(static_cast<int>(Handle));
  return It == FReadAhead.end() ? nullptr : It->second;
}

bool TPosixComDevice::PortState(TComHandle Handle, TPortState& State) const {
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(static_cast<int>(Handle));
  if (It == FPorts.end())
    return false;
  State = It->second;
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
  auto Ahead = std::make_shared<TReadAhead>();
  if (Ahead->Notify < 0) {
    const int Error = errno;
    ioctl(Descriptor, TIOCNXCL);
    close(Descriptor);
    Fail(Error);
    return InvalidComHandle;
  }

  TPortState State;
  State.HasCounters = ReadCounters(Descriptor, State.Counters);
  std::lock_guard<std::mutex> Lock(FLock);
  FPorts[Descriptor] = State;
  FReadAhead[Descriptor] = std::move(Ahead);
  return Descriptor;
}

bool TPosixComDevice::Close(TComHandle Handle) {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    if (FPorts.erase(static_cast<int>(Handle)) == 0)
      return Fail(EBADF);
    FReadAhead.erase(static_cast<int>(Handle));
  }
  const int Descriptor = static_cast<int>(Handle);
  ioctl(Descriptor, TIOCNXCL);
  if (close(Descriptor) != 0)
    return Fail(errno);
  return true;
}

bool TPosixComDevice::SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) {
  // The terminal driver has fixed queues: the sizes are only recorded.
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(static_cast<int>(Handle));
  if (It == FPorts.end())
    return Fail(EBADF);
  It->second.InQueue = InQueue;
  It->second.OutQueue = OutQueue;
  return true;
}

bool TPosixComDevice::SetCommState(TComHandle Handle, const TDeviceControlBlock& State) {
  if (!Known(Handle))
    return false;
  const int Descriptor = static_cast<int>(Handle);
  TPosixLineSettings Line;
  if (const int Error = DcbToPosixLine(State, Line))
    return Fail(Error);
  if (const int Error = ApplyTermiosImage(Descriptor, Line.Termios))
    return Fail(Error);
  auto Drive = [Descriptor](TLineDrive How, int Bit) {
    if (How == TLineDrive::ldLeave)
      return 0;
    if (ioctl(Descriptor, How == TLineDrive::ldOn ? TIOCMBIS : TIOCMBIC, &Bit) == 0)
      return 0;
    return NoModemLines(errno) ? 0 : errno;
  };
  if (const int Error = Drive(Line.Dtr, TIOCM_DTR))
    return Fail(Error);
  if (const int Error = Drive(Line.Rts, TIOCM_RTS))
    return Fail(Error);
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(Descriptor);
  if (It == FPorts.end())
    return Fail(EBADF);
  It->second.DiscardNull = Line.DiscardNull;
  It->second.EventChar = Line.EventChar;
  return true;
}

bool TPosixComDevice::SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) {
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(static_cast<int>(Handle));
  if (It == FPorts.end())
    return Fail(EBADF);
  It->second.Timeouts = Timeouts;
  return true;
}

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
  TPortState State;
  if (!PortState(Handle, State))
    return Fail(EBADF);
  const std::shared_ptr<TReadAhead> Ahead = ReadAheadOf(Handle);
  if (!Ahead)
    return Fail(EBADF);
  if (Count < 0)
    return Fail(EINVAL);
  const int Descriptor = static_cast<int>(Handle);
  const bool Watching = WatchesEventChar(State);
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  const TReadPlan Plan = PlanRead(State.Timeouts, Count);
  // A limit beyond some 35 years is no limit in practice; capping it keeps the
  // clock arithmetic from overflowing.
  const auto TotalDeadline =
      TClock::now() + std::chrono::milliseconds(std::min<std::uint64_t>(Plan.TotalMs, 1ull << 40));

  bool DeviceWoke = false; // the last wait ended because the device was readable
  while (Read < Count) {
    std::uint8_t* Begin = Out + Read;
    const auto Wanted = static_cast<std::size_t>(Count - Read);
    ssize_t Got = 0;
    int Error = 0;
    {
      // Bytes moved aside come first; the device is read only when there are
      // none, and under the same lock, so that the order stays that of the line.
      std::lock_guard<std::mutex> Lock(Ahead->Lock);
      Got = static_cast<ssize_t>(Ahead->Take(Begin, Wanted));
      if (Got == 0) {
        Got = read(Descriptor, Begin, Wanted);
        Error = errno;
        if (Got > 0 && Watching &&
            std::memchr(Begin, State.EventChar, static_cast<std::size_t>(Got)) != nullptr)
          Ahead->FlagPending = true;
      }
    }
    if (Got > 0) {
      std::int32_t Kept = static_cast<std::int32_t>(Got);
      if (State.DiscardNull)
        Kept = static_cast<std::int32_t>(std::remove(Begin, Begin + Got, 0) - Begin);
      Read += Kept;
      DeviceWoke = false;
      continue;
    }
    // In raw mode (no minimum count, no time) an empty queue reads as 0,
    // like EAGAIN; a hung-up line shows in the wait below. A device that
    // says it is readable and then gives 0 has reached its end.
    if (Got == 0 && DeviceWoke)
      break;
    if (Got < 0 && Error == EINTR)
      continue;
    if (Got < 0 && Error != EAGAIN)
      return Fail(Error);
    // Nothing waiting now.
    if (Plan.Immediate || (Plan.FirstByteOnly && Read > 0))
      break;
    int WaitMs = -1;
    if (Plan.TotalMs != 0)
      WaitMs = MillisecondsUntil(TotalDeadline);
    if (Plan.IntervalMs != 0 && Read > 0) {
      const int Interval = static_cast<int>(std::min<std::uint32_t>(Plan.IntervalMs, 0x7FFFFFFF));
      WaitMs = WaitMs < 0 ? Interval : std::min(WaitMs, Interval);
    }
    if (WaitMs == 0)
      break;
    // Wakes for bytes on the device and for bytes the event wait moves aside
    // meanwhile (which leave the device with nothing to announce). The wait
    // only signals a reader it knows to be asleep, so the reader says so
    // first, and looks again for bytes moved aside before it did.
    {
      std::lock_guard<std::mutex> Lock(Ahead->Lock);
      if (Ahead->Size > 0)
        continue;
      ++Ahead->Sleepers;
    }
    pollfd Poll[2] = {{Descriptor, POLLIN, 0}, {Ahead->Notify, POLLIN, 0}};
    const int Ready = poll(Poll, 2, WaitMs);
    const int PollError = errno;
    {
      std::lock_guard<std::mutex> Lock(Ahead->Lock);
      --Ahead->Sleepers;
    }
    errno = PollError;
    if (Ready < 0) {
      if (errno == EINTR)
        continue;
      return Fail(errno);
    }
    if (Ready == 0)
      break; // a timeout ran out
    if (Poll[0].revents & (POLLHUP | POLLERR | POLLNVAL))
      break; // the line hung up: nothing more will come
    DeviceWoke = (Poll[0].revents & POLLIN) != 0;
    if (Poll[1].revents & POLLIN)
      Ahead->Settle();
  }
  return true;
}

bool TPosixComDevice::PurgeComm(TComHandle Handle, std::uint32_t Flags) {
  if (!Known(Handle))
    return false;
  // Reads and writes complete when they are started, so the abort flags find
  // nothing to abort and leave the queues alone (received bytes stay for the
  // handlers); the call still fails on a device that has gone away.
  const bool Output = (Flags & PURGE_TXCLEAR) != 0;
  const bool Input = (Flags & PURGE_RXCLEAR) != 0;
  if (!Output && !Input) {
    int Waiting = 0;
    if ((Flags & (PURGE_TXABORT | PURGE_RXABORT)) &&
        ioctl(static_cast<int>(Handle), FIONREAD, &Waiting) != 0)
      return Fail(errno);
    return true;
  }
  const int Queue = Output && Input ? TCIOFLUSH : (Output ? TCOFLUSH : TCIFLUSH);
  if (!Input) {
    if (tcflush(static_cast<int>(Handle), Queue) != 0)
      return Fail(errno);
    return true;
  }
  const std::shared_ptr<TReadAhead> Ahead = ReadAheadOf(Handle);
  if (!Ahead)
    return Fail(EBADF);
  // The bytes moved aside belong to the input queue: they go with it, with
  // no wait moving more in between.
  std::lock_guard<std::mutex> Lock(Ahead->Lock);
  if (tcflush(static_cast<int>(Handle), Queue) != 0)
    return Fail(errno);
  Ahead->Clear();
  return true;
}

bool TPosixComDevice::ClearCommError(TComHandle Handle, std::uint32_t& Errors,
                                     std::int32_t& InQueue) {
  Errors = 0;
  InQueue = 0;
  if (!Known(Handle))
    return false;
  const std::shared_ptr<TReadAhead> Ahead = ReadAheadOf(Handle);
  if (!Ahead)
    return Fail(EBADF);
  const int Descriptor = static_cast<int>(Handle);
  {
    // Both parts under the lock, so that no byte is counted in both.
    std::lock_guard<std::mutex> Lock(Ahead->Lock);
    int Waiting = 0;
    if (ioctl(Descriptor, FIONREAD, &Waiting) != 0)
      return Fail(errno);
    InQueue = static_cast<std::int32_t>(
        std::min<std::size_t>(std::size_t(Waiting) + Ahead->Size, 0x7FFFFFFF));
  }

  TLineCounters Now;
  if (!ReadCounters(Descriptor, Now))
    return true; // the driver does not count line errors
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(Descriptor);
  if (It == FPorts.end())
    return Fail(EBADF);
  TPortState& S = It->second;
  if (S.HasCounters)
    Errors = CounterChangesToErrors(S.Counters, Now);
  S.HasCounters = true;
  S.Counters = Now;
  return true;
}

bool TPosixComDevice::GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) {
  Status = 0;
  if (!Known(Handle))
    return false;
  int Lines = 0;
  if (ioctl(static_cast<int>(Handle), TIOCMGET, &Lines) != 0)
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
  std::lock_guard<std::mutex> Lock(FLock);
  auto It = FPorts.find(static_cast<int>(Handle));
  if (It == FPorts.end())
    return Fail(EBADF);
  It->second.Mask = Mask;
  return true;
}

std::unique_ptr<TComStopSignal> TPosixComDevice::NewStopSignal() {
  return std::make_unique<TPosixStopSignal>();
}

// One epoll wait on the device and the stop signal, with no time-out. The
// device is watched edge-triggered, which gives received characters the
// drivers' meaning: one event per arrival, and bytes a handler leaves unread
// are announced again only when more arrive. Line errors and breaks show in
// the driver's counters (where it keeps them), checked at each arrival, since
// the byte that carried the error arrives with it. While the event character
// is watched for, each arrival is moved into the read-ahead ring and looked
// through there; the device is then empty, and the next edge again means new
// bytes, so unread bytes in the ring wake nobody. The modem lines have no
// wake-up of their own here (TIOCMIWAIT would need a thread of its own per
// port), so CTS, DSR, ring and RLSD changes are not reported, nor is an empty
// output queue.
TComWaitResult TPosixComDevice::WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                              std::uint32_t& Mask) {
  Mask = 0;
  auto Failed = [this](int Error) {
    Fail(Error);
    return TComWaitResult::wrFailed;
  };
  auto& Signal = static_cast<TPosixStopSignal&>(Stop);
  const int Descriptor = static_cast<int>(Handle);
  if (!Known(Handle))
    return TComWaitResult::wrFailed;
  if (Signal.Epoll < 0 || Signal.Watched != Descriptor) {
    if (Signal.Epoll < 0) {
      Signal.Epoll = epoll_create1(EPOLL_CLOEXEC);
      if (Signal.Epoll < 0)
        return Failed(errno);
      epoll_event Stopping{};
      Stopping.events = EPOLLIN;
      Stopping.data.fd = Signal.Descriptor();
      if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Signal.Descriptor(), &Stopping) != 0)
        return Failed(errno);
    } else {
      epoll_ctl(Signal.Epoll, EPOLL_CTL_DEL, Signal.Watched, nullptr);
    }
    // Bytes already waiting are reported by the first wait.
    epoll_event Line{};
    Line.events = EPOLLIN | EPOLLET;
    Line.data.fd = Descriptor;
    if (epoll_ctl(Signal.Epoll, EPOLL_CTL_ADD, Descriptor, &Line) != 0)
      return Failed(errno);
    Signal.Watched = Descriptor;
    Signal.HasCounters = ReadCounters(Descriptor, Signal.Counters);
  }

  for (;;) {
    epoll_event Ready[2];
    const int Count = epoll_wait(Signal.Epoll, Ready, 2, -1);
    if (Count < 0) {
      if (errno == EINTR)
        continue;
      return Failed(errno);
    }
    std::uint32_t LineEvents = 0;
    for (int I = 0; I < Count; ++I) {
      // The stop request wins over events that came at the same time.
      if (Ready[I].data.fd == Signal.Descriptor())
        return TComWaitResult::wrStopped;
      LineEvents |= Ready[I].events;
    }
    // The device is gone (the other end hung up, the adapter was pulled):
    // nothing will arrive any more, so the wait fails rather than sleeping
    // for ever (and a level-triggered wait would report it again at once).
    if (LineEvents & (EPOLLHUP | EPOLLERR))
      return Failed(EIO);
    if (!(LineEvents & EPOLLIN))
      continue;

    TPortState State;
    if (!PortState(Handle, State))
      return Failed(EBADF);
    std::uint32_t Events = EV_RXCHAR;
    if (State.Mask & EV_RXFLAG) {
      // Seeing the event character means reading: what arrived moves aside
      // for the reader, and only the new bytes are looked through.
      const std::shared_ptr<TReadAhead> Ahead = ReadAheadOf(Handle);
      if (!Ahead)
        return Failed(EBADF);
      bool Found = false;
      std::size_t Moved = 0;
      {
        std::lock_guard<std::mutex> Lock(Ahead->Lock);
        Moved = Ahead->Move(Descriptor, WatchesEventChar(State), State.EventChar, Found);
        Found = std::exchange(Ahead->FlagPending, false) || Found;
        if (Moved > 0 && Ahead->Sleepers > 0)
          Ahead->Wake();
        if ((State.Mask & EV_RX80FULL) && State.InQueue > 0) {
          int Waiting = 0;
          if (ioctl(Descriptor, FIONREAD, &Waiting) == 0 &&
              (std::int64_t{Waiting} + std::int64_t(Ahead->Size)) * 10 >=
                  std::int64_t{State.InQueue} * 8)
            Events |= EV_RX80FULL;
        }
      }
      if (Found)
        Events |= EV_RXFLAG;
    }
    TLineCounters Now;
    if (Signal.HasCounters && ReadCounters(Descriptor, Now)) {
      const std::uint32_t Changed = CounterChangesToErrors(Signal.Counters, Now);
      if (Changed & ~CE_BREAK)
        Events |= EV_ERR;
      if (Changed & CE_BREAK)
        Events |= EV_BREAK;
      Signal.Counters = Now;
    }
    if ((State.Mask & (EV_RX80FULL | EV_RXFLAG)) == EV_RX80FULL && State.InQueue > 0) {
      int Waiting = 0;
      if (ioctl(Descriptor, FIONREAD, &Waiting) == 0 &&
          std::int64_t{Waiting} * 10 >= std::int64_t{State.InQueue} * 8)
        Events |= EV_RX80FULL;
    }
    Events &= State.Mask;
    if (Events) {
      Mask = Events;
      return TComWaitResult::wrEvents;
    }
  }
}

TComDevice& PlatformComDevice() {
  static TPosixComDevice Device;
  return Device;
}
