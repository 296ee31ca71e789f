#include "cport/platform/Win32Device.h"

#include <algorithm>
#include <cstddef>

#include "base/WideText.h"
#include "cport/platform/Win32Dcb.h"
#include "cport/platform/Win32Ports.h"

// The port's records are the system's: same size, same offsets.
static_assert(sizeof(DCB) == sizeof(TDeviceControlBlock) && sizeof(DCB) == 28);
static_assert(offsetof(DCB, DCBlength) == offsetof(TDeviceControlBlock, DCBlength));
static_assert(offsetof(DCB, BaudRate) == offsetof(TDeviceControlBlock, BaudRate));
static_assert(offsetof(DCB, wReserved) == offsetof(TDeviceControlBlock, wReserved));
static_assert(offsetof(DCB, XonLim) == offsetof(TDeviceControlBlock, XonLim));
static_assert(offsetof(DCB, XoffLim) == offsetof(TDeviceControlBlock, XoffLim));
static_assert(offsetof(DCB, ByteSize) == offsetof(TDeviceControlBlock, ByteSize));
static_assert(offsetof(DCB, Parity) == offsetof(TDeviceControlBlock, Parity));
static_assert(offsetof(DCB, StopBits) == offsetof(TDeviceControlBlock, StopBits));
static_assert(offsetof(DCB, XonChar) == offsetof(TDeviceControlBlock, XonChar));
static_assert(offsetof(DCB, XoffChar) == offsetof(TDeviceControlBlock, XoffChar));
static_assert(offsetof(DCB, ErrorChar) == offsetof(TDeviceControlBlock, ErrorChar));
static_assert(offsetof(DCB, EofChar) == offsetof(TDeviceControlBlock, EofChar));
static_assert(offsetof(DCB, EvtChar) == offsetof(TDeviceControlBlock, EvtChar));
static_assert(offsetof(DCB, wReserved1) == offsetof(TDeviceControlBlock, wReserved1));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(TCommTimeouts));
static_assert(EV_RXCHAR == 0x0001 && EV_RX80FULL == 0x0400 && PURGE_RXCLEAR == 0x0008 &&
              CE_MODE == 0x8000 && MS_RLSD_ON == 0x0080);

DCB SystemDcb(const TDeviceControlBlock& Record) {
  DCB System{};
  System.DCBlength = sizeof(DCB);
  System.BaudRate = Record.BaudRate;
  const std::uint32_t Flags = Record.Flags;
  System.fBinary = (Flags & dcb::Binary) != 0;
  System.fParity = (Flags & dcb::Parity) != 0;
  System.fOutxCtsFlow = (Flags & dcb::OutxCtsFlow) != 0;
  System.fOutxDsrFlow = (Flags & dcb::OutxDsrFlow) != 0;
  System.fDtrControl = (Flags & dcb::DtrControlMask) >> 4;
  System.fDsrSensitivity = (Flags & dcb::DsrSensitivity) != 0;
  System.fTXContinueOnXoff = (Flags & dcb::TXContinueOnXoff) != 0;
  System.fOutX = (Flags & dcb::OutX) != 0;
  System.fInX = (Flags & dcb::InX) != 0;
  System.fErrorChar = (Flags & dcb::ErrorChar) != 0;
  System.fNull = (Flags & dcb::Null) != 0;
  System.fRtsControl = (Flags & dcb::RtsControlMask) >> 12;
  System.fAbortOnError = (Flags & dcb::AbortOnError) != 0;
  System.fDummy2 = Flags >> 15;
  System.wReserved = Record.wReserved;
  System.XonLim = Record.XonLim;
  System.XoffLim = Record.XoffLim;
  System.ByteSize = Record.ByteSize;
  System.Parity = Record.Parity;
  System.StopBits = Record.StopBits;
  System.XonChar = static_cast<char>(Record.XonChar);
  System.XoffChar = static_cast<char>(Record.XoffChar);
  System.ErrorChar = static_cast<char>(Record.ErrorChar);
  System.EofChar = static_cast<char>(Record.EofChar);
  System.EvtChar = static_cast<char>(Record.EvtChar);
  System.wReserved1 = Record.wReserved1;
  return System;
}

TDeviceControlBlock PortDcb(const DCB& System) {
  TDeviceControlBlock Record;
  Record.DCBlength = System.DCBlength;
  Record.BaudRate = System.BaudRate;
  std::uint32_t Flags = 0;
  Flags |= System.fBinary ? dcb::Binary : 0;
  Flags |= System.fParity ? dcb::Parity : 0;
  Flags |= System.fOutxCtsFlow ? dcb::OutxCtsFlow : 0;
  Flags |= System.fOutxDsrFlow ? dcb::OutxDsrFlow : 0;
  Flags |= static_cast<std::uint32_t>(System.fDtrControl) << 4;
  Flags |= System.fDsrSensitivity ? dcb::DsrSensitivity : 0;
  Flags |= System.fTXContinueOnXoff ? dcb::TXContinueOnXoff : 0;
  Flags |= System.fOutX ? dcb::OutX : 0;
  Flags |= System.fInX ? dcb::InX : 0;
  Flags |= System.fErrorChar ? dcb::ErrorChar : 0;
  Flags |= System.fNull ? dcb::Null : 0;
  Flags |= static_cast<std::uint32_t>(System.fRtsControl) << 12;
  Flags |= System.fAbortOnError ? dcb::AbortOnError : 0;
  Flags |= static_cast<std::uint32_t>(System.fDummy2) << 15;
  Record.Flags = Flags;
  Record.wReserved = System.wReserved;
  Record.XonLim = System.XonLim;
  Record.XoffLim = System.XoffLim;
  Record.ByteSize = System.ByteSize;
  Record.Parity = System.Parity;
  Record.StopBits = System.StopBits;
  Record.XonChar = static_cast<std::uint8_t>(System.XonChar);
  Record.XoffChar = static_cast<std::uint8_t>(System.XoffChar);
  Record.ErrorChar = static_cast<std::uint8_t>(System.ErrorChar);
  Record.EofChar = static_cast<std::uint8_t>(System.EofChar);
  Record.EvtChar = static_cast<std::uint8_t>(System.EvtChar);
  Record.wReserved1 = System.wReserved1;
  return Record;
}

COMMTIMEOUTS SystemTimeouts(const TCommTimeouts& Record) {
  COMMTIMEOUTS System{};
  System.ReadIntervalTimeout = Record.ReadIntervalTimeout;
  System.ReadTotalTimeoutMultiplier = Record.ReadTotalTimeoutMultiplier;
  System.ReadTotalTimeoutConstant = Record.ReadTotalTimeoutConstant;
  System.WriteTotalTimeoutMultiplier = Record.WriteTotalTimeoutMultiplier;
  System.WriteTotalTimeoutConstant = Record.WriteTotalTimeoutConstant;
  return System;
}

namespace {

HANDLE H(TComHandle Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

// Returns false with Error as the thread's last error (cleaning up may have
// changed it).
bool Fail(DWORD Error) {
  SetLastError(Error);
  return false;
}

// The stop request of one event thread, and the event its overlapped wait
// completes.
class TWin32StopSignal : public TComStopSignal {
public:
  TWin32StopSignal()
      : FStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        FWaitDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32StopSignal() override {
    if (FStop)
      CloseHandle(FStop);
    if (FWaitDone)
      CloseHandle(FWaitDone);
  }
  TWin32StopSignal(const TWin32StopSignal&) = delete;
  TWin32StopSignal& operator=(const TWin32StopSignal&) = delete;

  void Signal() override { SetEvent(FStop); }
  bool Signalled() const { return WaitForSingleObject(FStop, 0) == WAIT_OBJECT_0; }

  HANDLE FStop;
  HANDLE FWaitDone;
};

// The completion event of one overlapped transfer.
struct TTransferEvent {
  TTransferEvent() : Handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~TTransferEvent() {
    if (Handle)
      CloseHandle(Handle);
  }
  TTransferEvent(const TTransferEvent&) = delete;
  TTransferEvent& operator=(const TTransferEvent&) = delete;
  HANDLE Handle;
};

// Reads under the "return at once with what has arrived" timeouts.
bool IsImmediate(const TCommTimeouts& Timeouts) {
  return Timeouts.ReadIntervalTimeout == MAXDWORD && Timeouts.ReadTotalTimeoutMultiplier == 0 &&
         Timeouts.ReadTotalTimeoutConstant == 0;
}

} // namespace

std::string Win32DevicePath(const std::string& PortName) {
  if (PortName.rfind("\\\\.\\", 0) == 0)
    return PortName;
  return "\\\\.\\" + PortName;
}

TComHandle TWin32ComDevice::Open(const std::string& PortName) {
  // Port names are UTF-8 like every text of the program; a name the system
  // gave (a port list entry) may hold any character.
  const std::string Path = Win32DevicePath(PortName);
  const int Length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Path.data(),
                                         static_cast<int>(Path.size()), nullptr, 0);
  if (Length <= 0)
    return InvalidComHandle; // not UTF-8: ERROR_NO_UNICODE_TRANSLATION
  std::wstring WidePath(static_cast<std::size_t>(Length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Path.data(), static_cast<int>(Path.size()),
                      WidePath.data(), Length);
  HANDLE Handle = CreateFileW(WidePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (Handle == INVALID_HANDLE_VALUE)
    return InvalidComHandle;
  // Nothing is asked of the device here: the port configures it next, and a
  // device that refuses the comm calls fails there, with that call's error.
  // Until the port sets timeouts, reads go to the driver as they are.
  const auto Result = reinterpret_cast<TComHandle>(Handle);
  std::lock_guard Guard(FLock);
  FPorts[Result] = TPortState{};
  return Result;
}

bool TWin32ComDevice::Close(TComHandle Handle) {
  {
    std::lock_guard Guard(FLock);
    if (FPorts.erase(Handle) == 0)
      return Fail(ERROR_INVALID_HANDLE);
  }
  return CloseHandle(H(Handle)) != 0;
}

bool TWin32ComDevice::Find(TComHandle Handle, TPortState& State) const {
  std::lock_guard Guard(FLock);
  const auto It = FPorts.find(Handle);
  if (It == FPorts.end())
    return Fail(ERROR_INVALID_HANDLE);
  State = It->second;
  return true;
}

bool TWin32ComDevice::SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) {
  return ::SetupComm(H(Handle), static_cast<DWORD>(InQueue), static_cast<DWORD>(OutQueue)) != 0;
}

bool TWin32ComDevice::SetCommState(TComHandle Handle, const TDeviceControlBlock& State) {
  DCB System = SystemDcb(State);
  return ::SetCommState(H(Handle), &System) != 0;
}

bool TWin32ComDevice::GetCommState(TComHandle Handle, TDeviceControlBlock& State) {
  DCB System{};
  System.DCBlength = sizeof System;
  if (!::GetCommState(H(Handle), &System))
    return false;
  State = PortDcb(System);
  return true;
}

bool TWin32ComDevice::SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) {
  COMMTIMEOUTS System = SystemTimeouts(Timeouts);
  if (!::SetCommTimeouts(H(Handle), &System))
    return false;
  std::lock_guard Guard(FLock);
  if (const auto It = FPorts.find(Handle); It != FPorts.end())
    It->second.Timeouts = Timeouts;
  return true;
}

bool TWin32ComDevice::Transfer(TComHandle Handle, bool Write, void* Buffer, std::uint32_t Count,
                               std::int32_t& Done) {
  // Every transfer has an event of its own: the owner and an smNone handler
  // may read at the same time, and a shared event would let one of them take
  // the other's completion for its own while its transfer is still pending.
  const TTransferEvent Event;
  if (!Event.Handle)
    return false;
  OVERLAPPED Overlapped{};
  Overlapped.hEvent = Event.Handle;
  DWORD Bytes = 0;
  const BOOL Started = Write ? ::WriteFile(H(Handle), Buffer, Count, &Bytes, &Overlapped)
                             : ::ReadFile(H(Handle), Buffer, Count, &Bytes, &Overlapped);
  // The driver ends the transfer as the timeouts say (or a purge aborts it).
  // A transfer whose time ran out is no failure: it gives what was moved by
  // then (Wine reports the driver's timeout status as ERROR_TIMEOUT).
  if (!Started) {
    DWORD Error = GetLastError();
    if (Error == ERROR_IO_PENDING)
      Error = GetOverlappedResult(H(Handle), &Overlapped, &Bytes, TRUE) ? ERROR_SUCCESS
                                                                        : GetLastError();
    if (Error == ERROR_TIMEOUT)
      Bytes = static_cast<DWORD>(Overlapped.InternalHigh);
    else if (Error != ERROR_SUCCESS)
      return Fail(Error);
  }
  Done = static_cast<std::int32_t>(Bytes);
  return true;
}

bool TWin32ComDevice::ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count,
                               std::int32_t& Read) {
  Read = 0;
  TPortState State;
  if (!Find(Handle, State))
    return false;
  if (Count <= 0)
    return true;
  std::uint32_t Wanted = static_cast<std::uint32_t>(Count);
  if (IsImmediate(State.Timeouts)) {
    // "Whatever has arrived" is what the input queue holds now: asking for no
    // more than that ends at once everywhere (some systems let an overlapped
    // read of more wait for the rest despite these timeouts).
    DWORD Errors = 0;
    COMSTAT Status{};
    if (!::ClearCommError(H(Handle), &Errors, &Status))
      return false;
    Wanted = std::min<std::uint32_t>(Wanted, Status.cbInQue);
    if (Wanted == 0)
      return true;
  }
  return Transfer(Handle, false, Buffer, Wanted, Read);
}

bool TWin32ComDevice::WriteFile(TComHandle Handle, const void* Buffer, std::int32_t Count,
                                std::int32_t& Written) {
  Written = 0;
  TPortState State;
  if (!Find(Handle, State))
    return false;
  if (Count <= 0)
    return true;
  return Transfer(Handle, true, const_cast<void*>(Buffer), static_cast<std::uint32_t>(Count),
                  Written);
}

bool TWin32ComDevice::PurgeComm(TComHandle Handle, std::uint32_t Flags) {
  return ::PurgeComm(H(Handle), Flags) != 0;
}

bool TWin32ComDevice::ClearCommError(TComHandle Handle, std::uint32_t& Errors,
                                     std::int32_t& InQueue) {
  DWORD Flags = 0;
  COMSTAT Status{};
  if (!::ClearCommError(H(Handle), &Flags, &Status))
    return false;
  Errors = Flags;
  InQueue = static_cast<std::int32_t>(Status.cbInQue);
  return true;
}

bool TWin32ComDevice::GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) {
  DWORD Bits = 0;
  if (!::GetCommModemStatus(H(Handle), &Bits)) {
    // A port without modem lines (some adapters, a terminal emulation) says
    // so; it has no signals to report, which is not a failure.
    if (GetLastError() != ERROR_NOT_SUPPORTED)
      return false;
    Bits = 0;
  }
  Status = Bits;
  return true;
}

bool TWin32ComDevice::EscapeCommFunction(TComHandle Handle, std::uint32_t Function) {
  return ::EscapeCommFunction(H(Handle), Function) != 0;
}

bool TWin32ComDevice::SetCommMask(TComHandle Handle, std::uint32_t Mask) {
  if (!::SetCommMask(H(Handle), Mask))
    return false;
  std::lock_guard Guard(FLock);
  if (const auto It = FPorts.find(Handle); It != FPorts.end())
    It->second.Mask = Mask;
  return true;
}

std::unique_ptr<TComStopSignal> TWin32ComDevice::NewStopSignal() {
  return std::make_unique<TWin32StopSignal>();
}

TComWaitResult TWin32ComDevice::WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                              std::uint32_t& Mask) {
  auto& Signal = static_cast<TWin32StopSignal&>(Stop);
  if (!Signal.FStop || !Signal.FWaitDone) {
    SetLastError(ERROR_INVALID_HANDLE);
    return TComWaitResult::wrFailed;
  }
  int Unexplained = 0;
  for (;;) {
    if (Signal.Signalled())
      return TComWaitResult::wrStopped;
    OVERLAPPED Overlapped{};
    Overlapped.hEvent = Signal.FWaitDone;
    ResetEvent(Signal.FWaitDone);
    DWORD Events = 0;
    DWORD Error = ERROR_SUCCESS;
    if (!::WaitCommEvent(H(Handle), &Events, &Overlapped)) {
      Error = GetLastError();
      if (Error == ERROR_IO_PENDING) {
        HANDLE Objects[2] = {Signal.FStop, Signal.FWaitDone};
        const DWORD Which = WaitForMultipleObjects(2, Objects, FALSE, INFINITE);
        DWORD Ignored = 0;
        if (Which == WAIT_OBJECT_0) {
          // Emptying the mask ends a pending wait everywhere (cancelling the
          // I/O does not on every system); the wait must be over before its
          // OVERLAPPED goes. Then the port's mask is put back.
          ::SetCommMask(H(Handle), 0);
          CancelIo(H(Handle));
          GetOverlappedResult(H(Handle), &Overlapped, &Ignored, TRUE);
          TPortState State;
          if (Find(Handle, State))
            ::SetCommMask(H(Handle), State.Mask);
          return TComWaitResult::wrStopped;
        }
        if (Which != WAIT_OBJECT_0 + 1) {
          Error = GetLastError();
          ::SetCommMask(H(Handle), 0);
          GetOverlappedResult(H(Handle), &Overlapped, &Ignored, TRUE);
          SetLastError(Error);
          return TComWaitResult::wrFailed;
        }
        Error = GetOverlappedResult(H(Handle), &Overlapped, &Ignored, FALSE) ? ERROR_SUCCESS
                                                                             : GetLastError();
        // Wine's serial driver starts the thread that completes a wait before
        // it marks the wait as pending, and a quick completion can be marked
        // pending again afterwards. The event only fires when the wait is
        // over, with its events written (none when it was cancelled).
        if (Error == ERROR_IO_INCOMPLETE)
          Error = Events != 0 ? ERROR_SUCCESS : ERROR_OPERATION_ABORTED;
      }
    }
    if (Error == ERROR_SUCCESS && Events != 0) {
      Mask = Events;
      return TComWaitResult::wrEvents;
    }
    if (Error != ERROR_SUCCESS && Error != ERROR_OPERATION_ABORTED) {
      SetLastError(Error);
      return TComWaitResult::wrFailed;
    }
    // Ended without events and not by us: the mask was changed under the wait,
    // or the line changed under it (a hang-up ends waits this way). The line
    // says which.
    if (Signal.Signalled())
      return TComWaitResult::wrStopped;
    DWORD LineErrors = 0;
    COMSTAT Status{};
    if (!::ClearCommError(H(Handle), &LineErrors, &Status))
      return TComWaitResult::wrFailed;
    TPortState State;
    if (Find(Handle, State) && (State.Mask & EV_RXCHAR) && Status.cbInQue > 0) {
      Mask = EV_RXCHAR;
      return TComWaitResult::wrEvents;
    }
    if (++Unexplained >= UnexplainedWakeupLimit) {
      SetLastError(Error == ERROR_SUCCESS ? ERROR_OPERATION_ABORTED : Error);
      return TComWaitResult::wrFailed;
    }
  }
}

std::vector<TComPortInfo> TWin32ComDevice::ListPorts() {
  return ListWin32Ports();
}

int TWin32ComDevice::LastError() {
  return static_cast<int>(GetLastError());
}

TComDevice& PlatformComDevice() {
  static TWin32ComDevice Device;
  return Device;
}
