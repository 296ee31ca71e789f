#include "sim/SimComDevice.h"

#include <algorithm>
#include <utility>

namespace {

thread_local int SimLastError = 0;

bool IsImmediate(const TCommTimeouts& Timeouts) {
  return Timeouts.ReadIntervalTimeout == MAXDWORD && Timeouts.ReadTotalTimeoutMultiplier == 0 &&
         Timeouts.ReadTotalTimeoutConstant == 0;
}

} // namespace

// A stop request for both kinds of port: the simulated one waits on the
// device's own condition, a forwarded one on the next device's signal.
class TSimComDevice::TStopSignal : public TComStopSignal {
public:
  TStopSignal(TSimComDevice& Device, std::unique_ptr<TComStopSignal> Inner)
      : FDevice(Device), FInner(std::move(Inner)) {}
  void Signal() override {
    if (FInner)
      FInner->Signal();
    std::lock_guard Guard(FDevice.FLock);
    FStopped = true;
    FDevice.FWake.notify_all();
  }
  bool Stopped() const { return FStopped; } // under the device's lock
  TComStopSignal* Inner() const { return FInner.get(); }

private:
  TSimComDevice& FDevice;
  std::unique_ptr<TComStopSignal> FInner;
  bool FStopped = false;
};

TSimComDevice::TSimComDevice(const TSimOptions& Options, double BytesPerSecond, TComDevice& Next,
                             std::string PortName)
    : FOptions(Options), FRate(BytesPerSecond), FNext(Next), FPortName(std::move(PortName)) {}

TSimComDevice::~TSimComDevice() = default;

bool TSimComDevice::Forwarded(bool Result) {
  if (!Result)
    SimLastError = FNext.LastError();
  return Result;
}

bool TSimComDevice::Invalid() {
  SimLastError = ErrorInvalidHandle;
  return false;
}

TSimComDevice::TClock::time_point TSimComDevice::NextArrival() const {
  const double Seconds = (FLine->BytesBefore + static_cast<double>(FLine->Next.size())) / FRate;
  return FLine->Start +
         std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(Seconds));
}

void TSimComDevice::Advance(TClock::time_point Now) {
  TLine& Line = *FLine;
  while (NextArrival() <= Now) {
    for (const std::uint8_t Byte : Line.Next) {
      if (Line.Queue.size() < Line.QueueLimit)
        Line.Queue.push_back(Byte);
      else
        Line.Errors |= CE_RXOVER;
    }
    Line.BytesBefore += static_cast<double>(Line.Next.size());
    Line.RxEvent = true;
    Line.Next.clear();
    Line.Scope.NextFrame(Line.Next);
  }
}

TComHandle TSimComDevice::Open(const std::string& PortName) {
  if (PortName != FPortName) {
    const TComHandle Handle = FNext.Open(PortName);
    if (Handle == InvalidComHandle)
      SimLastError = FNext.LastError();
    return Handle;
  }
  std::lock_guard Guard(FLock);
  if (FLine) {
    SimLastError = ErrorAccessDenied; // one user at a time, as a COM port
    return InvalidComHandle;
  }
  // The scope has been sending all along: the first frame comes after its own
  // time on the line.
  FLine = std::make_unique<TLine>(FOptions);
  FLine->Start = TClock::now();
  FLine->Scope.NextFrame(FLine->Next);
  return SimHandle;
}

bool TSimComDevice::Close(TComHandle Handle) {
  if (Handle != SimHandle)
    return Forwarded(FNext.Close(Handle));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  FLine.reset();
  FWake.notify_all();
  return true;
}

bool TSimComDevice::SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) {
  if (Handle != SimHandle)
    return Forwarded(FNext.SetupComm(Handle, InQueue, OutQueue));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  FLine->QueueLimit = InQueue > 0 ? static_cast<std::size_t>(InQueue) : 4096;
  return true;
}

bool TSimComDevice::SetCommState(TComHandle Handle, const TDeviceControlBlock& State) {
  if (Handle != SimHandle)
    return Forwarded(FNext.SetCommState(Handle, State));
  std::lock_guard Guard(FLock);
  return FLine ? true : Invalid();
}

bool TSimComDevice::SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) {
  if (Handle != SimHandle)
    return Forwarded(FNext.SetCommTimeouts(Handle, Timeouts));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  FLine->Timeouts = Timeouts;
  return true;
}

bool TSimComDevice::ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count,
                             std::int32_t& Read) {
  if (Handle != SimHandle)
    return Forwarded(FNext.ReadFile(Handle, Buffer, Count, Read));
  Read = 0;
  std::unique_lock Guard(FLock);
  if (!FLine)
    return Invalid();
  const TCommTimeouts Timeouts = FLine->Timeouts;
  const std::uint64_t Total = std::uint64_t{Timeouts.ReadTotalTimeoutMultiplier} *
                                  static_cast<std::uint64_t>(std::max(Count, 0)) +
                              Timeouts.ReadTotalTimeoutConstant;
  const TClock::time_point Deadline =
      Total > 0 ? TClock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(Total))
                : TClock::time_point::max();
  const unsigned Aborts = FLine->Aborts;
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  for (;;) {
    Advance(TClock::now());
    std::deque<std::uint8_t>& Queue = FLine->Queue;
    const auto Taken = std::min(Queue.size(), static_cast<std::size_t>(Count - Read));
    std::copy_n(Queue.begin(), Taken, Out + Read);
    Queue.erase(Queue.begin(), Queue.begin() + static_cast<std::ptrdiff_t>(Taken));
    Read += static_cast<std::int32_t>(Taken);
    if (Read >= Count || IsImmediate(Timeouts) || TClock::now() >= Deadline)
      return true;
    FWake.wait_until(Guard, std::min(Deadline, NextArrival()));
    if (!FLine)
      return Invalid(); // closed under the read
    if (FLine->Aborts != Aborts) {
      SimLastError = ErrorOperationAborted;
      return false;
    }
  }
}

bool TSimComDevice::PurgeComm(TComHandle Handle, std::uint32_t Flags) {
  if (Handle != SimHandle)
    return Forwarded(FNext.PurgeComm(Handle, Flags));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  if (Flags & PURGE_RXCLEAR) {
    Advance(TClock::now());
    FLine->Queue.clear();
  }
  if (Flags & PURGE_RXABORT) {
    ++FLine->Aborts;
    FWake.notify_all();
  }
  return true;
}

bool TSimComDevice::ClearCommError(TComHandle Handle, std::uint32_t& Errors,
                                   std::int32_t& InQueue) {
  if (Handle != SimHandle)
    return Forwarded(FNext.ClearCommError(Handle, Errors, InQueue));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  Advance(TClock::now());
  Errors = std::exchange(FLine->Errors, 0);
  InQueue = static_cast<std::int32_t>(FLine->Queue.size());
  return true;
}

bool TSimComDevice::GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) {
  if (Handle != SimHandle)
    return Forwarded(FNext.GetCommModemStatus(Handle, Status));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  Status = 0;
  return true;
}

bool TSimComDevice::SetCommMask(TComHandle Handle, std::uint32_t Mask) {
  if (Handle != SimHandle)
    return Forwarded(FNext.SetCommMask(Handle, Mask));
  std::lock_guard Guard(FLock);
  if (!FLine)
    return Invalid();
  FLine->Mask = Mask;
  FWake.notify_all();
  return true;
}

std::unique_ptr<TComStopSignal> TSimComDevice::NewStopSignal() {
  return std::make_unique<TStopSignal>(*this, FNext.NewStopSignal());
}

TComWaitResult TSimComDevice::WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                            std::uint32_t& Mask) {
  auto& Signal = static_cast<TStopSignal&>(Stop);
  if (Handle != SimHandle) {
    if (!Signal.Inner()) {
      SimLastError = ErrorInvalidHandle;
      return TComWaitResult::wrFailed;
    }
    const TComWaitResult Result = FNext.WaitCommEvent(Handle, *Signal.Inner(), Mask);
    if (Result == TComWaitResult::wrFailed)
      SimLastError = FNext.LastError();
    return Result;
  }
  std::unique_lock Guard(FLock);
  for (;;) {
    if (Signal.Stopped())
      return TComWaitResult::wrStopped;
    if (!FLine) {
      SimLastError = ErrorInvalidHandle;
      return TComWaitResult::wrFailed;
    }
    Advance(TClock::now());
    if ((FLine->Mask & EV_RXCHAR) && FLine->RxEvent) {
      FLine->RxEvent = false;
      Mask = EV_RXCHAR;
      return TComWaitResult::wrEvents;
    }
    // Asleep until the next frame is due (or, with no event asked for, until
    // a stop, a new mask or a close).
    if (FLine->Mask & EV_RXCHAR)
      FWake.wait_until(Guard, NextArrival());
    else
      FWake.wait(Guard);
  }
}

int TSimComDevice::LastError() {
  return SimLastError;
}

std::vector<TComPortInfo> TSimComDevice::ListPorts() {
  std::vector<TComPortInfo> Ports{{FPortName, "Simulated HXT24 scope"}};
  for (TComPortInfo& Port : FNext.ListPorts())
    Ports.push_back(std::move(Port));
  return Ports;
}
