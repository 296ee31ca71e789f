#include "cport/platform/FakeDevice.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {
thread_local int FakeLastError = 0;
} // namespace

class TFakeComDevice::TStopSignal : public TComStopSignal {
public:
  explicit TStopSignal(TFakeComDevice& Device) : FDevice(Device) {}
  void Signal() override {
    std::lock_guard<std::mutex> Lock(FDevice.FLock);
    FSignalled = true;
    FDevice.FChanged.notify_all();
  }
  bool Signalled() const { return FSignalled; } // under the device lock

private:
  TFakeComDevice& FDevice;
  bool FSignalled = false;
};

TFakeComDevice::TFakeComDevice() = default;
TFakeComDevice::~TFakeComDevice() = default;

// ---- Scripting ----

void TFakeComDevice::AddLine(const std::string& PortName) {
  std::lock_guard<std::mutex> Lock(FLock);
  FLines[PortName];
}

TFakeComDevice::TLine& TFakeComDevice::NamedLine(const std::string& PortName) {
  auto It = FLines.find(PortName);
  if (It == FLines.end())
    throw std::logic_error("fake device has no line " + PortName);
  return It->second;
}

const TFakeComDevice::TLine* TFakeComDevice::FindLine(const std::string& PortName) const {
  auto It = FLines.find(PortName);
  return It == FLines.end() ? nullptr : &It->second;
}

void TFakeComDevice::PushReceived(const std::string& PortName, const std::string& Bytes) {
  std::lock_guard<std::mutex> Lock(FLock);
  TLine& Line = NamedLine(PortName);
  Line.Received.insert(Line.Received.end(), Bytes.begin(), Bytes.end());
}

void TFakeComDevice::SetModemStatus(const std::string& PortName, std::uint32_t Status) {
  std::lock_guard<std::mutex> Lock(FLock);
  NamedLine(PortName).ModemStatus = Status;
}

void TFakeComDevice::FlagLineErrors(const std::string& PortName, std::uint32_t Errors) {
  std::lock_guard<std::mutex> Lock(FLock);
  NamedLine(PortName).Errors |= Errors;
}

void TFakeComDevice::PushEvents(const std::string& PortName, std::uint32_t Mask) {
  std::lock_guard<std::mutex> Lock(FLock);
  NamedLine(PortName).PendingEvents |= Mask;
  FChanged.notify_all();
}

void TFakeComDevice::Vanish(const std::string& PortName) {
  std::lock_guard<std::mutex> Lock(FLock);
  NamedLine(PortName).Vanished = true;
  FChanged.notify_all();
}

void TFakeComDevice::FailCall(const std::string& Operation, int N, int Error) {
  std::lock_guard<std::mutex> Lock(FLock);
  FFailures.emplace(Operation, TFailure{N, Error});
}

// ---- Inspection ----

std::vector<std::string> TFakeComDevice::Calls() const {
  std::lock_guard<std::mutex> Lock(FLock);
  return FCalls;
}

void TFakeComDevice::ClearCalls() {
  std::lock_guard<std::mutex> Lock(FLock);
  FCalls.clear();
}

std::vector<TDeviceControlBlock> TFakeComDevice::States() const {
  std::lock_guard<std::mutex> Lock(FLock);
  return FStates;
}

std::vector<TCommTimeouts> TFakeComDevice::TimeoutRecords() const {
  std::lock_guard<std::mutex> Lock(FLock);
  return FTimeouts;
}

std::uint32_t TFakeComDevice::CommMask(const std::string& PortName) const {
  std::lock_guard<std::mutex> Lock(FLock);
  const TLine* Line = FindLine(PortName);
  return Line ? Line->Mask : 0;
}

std::size_t TFakeComDevice::QueuedBytes(const std::string& PortName) const {
  std::lock_guard<std::mutex> Lock(FLock);
  const TLine* Line = FindLine(PortName);
  return Line ? Line->Received.size() : 0;
}

bool TFakeComDevice::IsOpen(const std::string& PortName) const {
  std::lock_guard<std::mutex> Lock(FLock);
  const TLine* Line = FindLine(PortName);
  return Line && Line->Open;
}

int TFakeComDevice::OpenHandles() const {
  std::lock_guard<std::mutex> Lock(FLock);
  return static_cast<int>(FHandles.size());
}

// ---- Internals (all under FLock) ----

bool TFakeComDevice::Enter(const std::string& Operation, const std::string& Call) {
  FCalls.push_back(Call);
  auto Range = FFailures.equal_range(Operation);
  for (auto It = Range.first; It != Range.second; ++It) {
    if (--It->second.Remaining == 0) {
      const int Error = It->second.Error;
      FFailures.erase(It);
      return Fail(Error);
    }
  }
  return true;
}

bool TFakeComDevice::Fail(int Error) {
  FakeLastError = Error;
  return false;
}

TFakeComDevice::TLine* TFakeComDevice::LineOf(TComHandle Handle) {
  auto It = FHandles.find(Handle);
  if (It == FHandles.end()) {
    Fail(EBADF);
    return nullptr;
  }
  TLine& Line = FLines.at(It->second);
  if (Line.Vanished) {
    Fail(EIO);
    return nullptr;
  }
  return &Line;
}

// ---- TComDevice ----

TComHandle TFakeComDevice::Open(const std::string& PortName) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("Open", "Open " + PortName))
    return InvalidComHandle;
  auto It = FLines.find(PortName);
  if (It == FLines.end() || It->second.Vanished) {
    Fail(ENOENT);
    return InvalidComHandle;
  }
  if (It->second.Open) {
    Fail(EBUSY);
    return InvalidComHandle;
  }
  It->second.Open = true;
  It->second.Mask = 0;
  const TComHandle Handle = FNextHandle++;
  FHandles[Handle] = PortName;
  return Handle;
}

bool TFakeComDevice::Close(TComHandle Handle) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("Close", "Close"))
    return false;
  auto It = FHandles.find(Handle);
  if (It == FHandles.end())
    return Fail(EBADF);
  FLines.at(It->second).Open = false;
  FHandles.erase(It);
  FChanged.notify_all();
  return true;
}

bool TFakeComDevice::SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("SetupComm", "SetupComm " + std::to_string(InQueue) + " " + std::to_string(OutQueue)))
    return false;
  return LineOf(Handle) != nullptr;
}

bool TFakeComDevice::SetCommState(TComHandle Handle, const TDeviceControlBlock& State) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("SetCommState", "SetCommState") || !LineOf(Handle))
    return false;
  FStates.push_back(State);
  return true;
}

bool TFakeComDevice::SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("SetCommTimeouts", "SetCommTimeouts") || !LineOf(Handle))
    return false;
  FTimeouts.push_back(Timeouts);
  return true;
}

bool TFakeComDevice::ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count,
                              std::int32_t& Read) {
  std::lock_guard<std::mutex> Lock(FLock);
  Read = 0;
  if (!Enter("ReadFile", "ReadFile " + std::to_string(Count)))
    return false;
  TLine* Line = LineOf(Handle);
  if (!Line)
    return false;
  if (Count < 0)
    return Fail(EINVAL);
  // Reads return at once with what has arrived, as with the default timeouts.
  auto* Out = static_cast<std::uint8_t*>(Buffer);
  while (Read < Count && !Line->Received.empty()) {
    Out[Read++] = Line->Received.front();
    Line->Received.pop_front();
  }
  return true;
}

bool TFakeComDevice::PurgeComm(TComHandle Handle, std::uint32_t Flags) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("PurgeComm", "PurgeComm " + std::to_string(Flags)))
    return false;
  TLine* Line = LineOf(Handle);
  if (!Line)
    return false;
  // Reads complete when they are started, so the abort flags find nothing to
  // abort: only the clear flag empties the input queue, as on a real device.
  if (Flags & PURGE_RXCLEAR)
    Line->Received.clear();
  return true;
}

bool TFakeComDevice::ClearCommError(TComHandle Handle, std::uint32_t& Errors,
                                    std::int32_t& InQueue) {
  std::lock_guard<std::mutex> Lock(FLock);
  Errors = 0;
  InQueue = 0;
  if (!Enter("ClearCommError", "ClearCommError"))
    return false;
  TLine* Line = LineOf(Handle);
  if (!Line)
    return false;
  Errors = Line->Errors;
  Line->Errors = 0;
  InQueue = static_cast<std::int32_t>(Line->Received.size());
  return true;
}

bool TFakeComDevice::GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) {
  std::lock_guard<std::mutex> Lock(FLock);
  Status = 0;
  if (!Enter("GetCommModemStatus", "GetCommModemStatus"))
    return false;
  TLine* Line = LineOf(Handle);
  if (!Line)
    return false;
  Status = Line->ModemStatus;
  return true;
}

bool TFakeComDevice::SetCommMask(TComHandle Handle, std::uint32_t Mask) {
  std::lock_guard<std::mutex> Lock(FLock);
  if (!Enter("SetCommMask", "SetCommMask " + std::to_string(Mask)))
    return false;
  TLine* Line = LineOf(Handle);
  if (!Line)
    return false;
  Line->Mask = Mask;
  FChanged.notify_all();
  return true;
}

std::unique_ptr<TComStopSignal> TFakeComDevice::NewStopSignal() {
  return std::make_unique<TStopSignal>(*this);
}

TComWaitResult TFakeComDevice::WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                             std::uint32_t& Mask) {
  std::unique_lock<std::mutex> Lock(FLock);
  Mask = 0;
  if (!Enter("WaitCommEvent", "WaitCommEvent"))
    return TComWaitResult::wrFailed;
  auto& Signal = static_cast<TStopSignal&>(Stop);
  for (;;) {
    // The stop request wins over events that arrived at the same time.
    if (Signal.Signalled())
      return TComWaitResult::wrStopped;
    TLine* Line = LineOf(Handle);
    if (!Line)
      return TComWaitResult::wrFailed;
    // Selected events are reported, and so are bits the port has no event for
    // (as drivers report printer-error and provider bits).
    constexpr std::uint32_t PortEventBits = 0x05FF;
    if (const std::uint32_t Events = Line->PendingEvents & (Line->Mask | ~PortEventBits)) {
      Line->PendingEvents &= ~Events;
      Mask = Events;
      return TComWaitResult::wrEvents;
    }
    FChanged.wait(Lock);
  }
}

int TFakeComDevice::LastError() {
  return FakeLastError;
}

void TFakeComDevice::SetPortList(std::vector<TComPortInfo> Ports) {
  std::lock_guard<std::mutex> Lock(FLock);
  FPortList = std::move(Ports);
}

std::vector<TComPortInfo> TFakeComDevice::ListPorts() {
  std::lock_guard<std::mutex> Lock(FLock);
  return FPortList;
}
