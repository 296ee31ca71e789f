#include "cport/CPort.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <utility>

#include "base/ExceptionDisplay.h"
#include "base/MessageWindow.h"

// ---- Pure conversions ----

std::uint32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate) {
  if (Rate == TBaudRate::brCustom)
    return static_cast<std::uint32_t>(CustomBaudRate);
  return BaudRateValues[static_cast<std::size_t>(Rate)];
}

TDeviceControlBlock BuildDeviceControlBlock(const TCustomComPort& Port) {
  const TComFlowControl& Flow = Port.FlowControl();
  const TComParity& Parity = Port.Parity();
  TDeviceControlBlock Dcb{};
  Dcb.DCBlength = sizeof(TDeviceControlBlock);
  Dcb.BaudRate = BaudRateValue(Port.BaudRate(), Port.CustomBaudRate());

  std::uint32_t Flags = dcb::Binary;
  if (Parity.Check())
    Flags |= dcb::Parity;
  if (Flow.OutCTSFlow())
    Flags |= dcb::OutxCtsFlow;
  if (Flow.OutDSRFlow())
    Flags |= dcb::OutxDsrFlow;
  Flags |= static_cast<std::uint32_t>(Flow.ControlDTR()) << 4;
  if (Flow.DSRSensitivity())
    Flags |= dcb::DsrSensitivity;
  if (Flow.TxContinueOnXoff())
    Flags |= dcb::TXContinueOnXoff;
  if (Flow.XonXoffOut())
    Flags |= dcb::OutX;
  if (Flow.XonXoffIn())
    Flags |= dcb::InX;
  const bool Replace = Parity.Check() && Parity.Replace();
  if (Replace)
    Flags |= dcb::ErrorChar;
  if (Port.DiscardNull())
    Flags |= dcb::Null;
  Flags |= static_cast<std::uint32_t>(Flow.ControlRTS()) << 12;
  Dcb.Flags = Flags;

  // Both limits a quarter of the input queue; the record keeps the low 16 bits.
  const std::int32_t Limit = Port.Buffer().InputSize() / 4;
  Dcb.XonLim = static_cast<std::uint16_t>(Limit);
  Dcb.XoffLim = static_cast<std::uint16_t>(Limit);
  Dcb.ByteSize = static_cast<std::uint8_t>(5 + static_cast<int>(Port.DataBits()));
  Dcb.Parity = static_cast<std::uint8_t>(Parity.Bits());
  Dcb.StopBits = static_cast<std::uint8_t>(Port.StopBits());
  Dcb.XonChar = Flow.XonChar();
  Dcb.XoffChar = Flow.XoffChar();
  Dcb.ErrorChar = Replace ? Parity.ReplaceChar() : 0;
  Dcb.EofChar = 0;
  Dcb.EvtChar = Port.EventChar();
  return Dcb;
}

TCommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts) {
  // -1 is all ones in 32 bits, which is MAXDWORD.
  auto Dword = [](std::int32_t Value) { return static_cast<std::uint32_t>(Value); };
  TCommTimeouts Result;
  Result.ReadIntervalTimeout = Dword(Timeouts.ReadInterval());
  Result.ReadTotalTimeoutMultiplier = Dword(Timeouts.ReadTotalMultiplier());
  Result.ReadTotalTimeoutConstant = Dword(Timeouts.ReadTotalConstant());
  Result.WriteTotalTimeoutMultiplier = Dword(Timeouts.WriteTotalMultiplier());
  Result.WriteTotalTimeoutConstant = Dword(Timeouts.WriteTotalConstant());
  return Result;
}

TComLineSignals ModemStatusToSignals(std::uint32_t Status) {
  return TComLineSignals::FromBits(static_cast<std::uint8_t>((Status >> 4) & 0x0F));
}

TComErrors LineErrorsToComErrors(std::uint32_t Flags, bool ParityCheck) {
  TComErrors Errors;
  if (Flags & CE_FRAME)
    Errors.Include(TComError::ceFrame);
  if ((Flags & CE_RXPARITY) && ParityCheck)
    Errors.Include(TComError::ceRxParity);
  if (Flags & CE_OVERRUN)
    Errors.Include(TComError::ceOverrun);
  if (Flags & CE_RXOVER)
    Errors.Include(TComError::ceRxOver);
  if (Flags & CE_TXFULL)
    Errors.Include(TComError::ceTxFull);
  if (Flags & CE_BREAK)
    Errors.Include(TComError::ceBreak);
  if (Flags & CE_IOE)
    Errors.Include(TComError::ceIO);
  if (Flags & CE_MODE)
    Errors.Include(TComError::ceMode);
  return Errors;
}

// ---- Transfers ----

void NewTransfer(PComTransfer& Async) {
  Async = new TComTransfer();
}

void DisposeTransfer(PComTransfer& Async) {
  delete Async; // the record owns its data
  Async = nullptr;
}

std::int32_t TransferErrorCode(PComTransfer Async) {
  if (!Async)
    return 0;
  switch (Async->Kind) {
  case TComTransferKind::tkWrite:
    return peWriteFailed;
  case TComTransferKind::tkRead:
    return peReadFailed;
  }
  return 0;
}

// ---- Construction ----

TCustomComPort::TCustomComPort(TComponent* Owner)
    : TComponent(Owner), FDevice(&DefaultComDevice()), FParity(std::make_unique<TComParity>()),
      FFlowControl(std::make_unique<TComFlowControl>()),
      FTimeouts(std::make_unique<TComTimeouts>()), FBuffer(std::make_unique<TComBuffer>()) {
  FParity->SetComPort(this);
  FFlowControl->SetComPort(this);
  FTimeouts->SetComPort(this);
  FBuffer->SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
  // A destructor cannot pass an error on: show it, and make sure the device is
  // released even when a close handler raised before the device was closed.
  try {
    ClosePort();
  } catch (const std::exception& E) {
    ShowException(E);
  }
  if (FConnected && !FClosing) {
    DestroyEventThread();
    CloseDevice();
    FConnected = false;
  }
  ReapRetiredThreads();
  // A port freed by a handler on its own event thread (smNone) cannot wait for
  // that thread, which is still running the handler: the thread object is
  // left to the thread rather than freed under it.
  for (auto& Thread : FRetiredThreads)
    (void)Thread.release();
  FBuffer.reset();
  FFlowControl.reset();
  FTimeouts.reset();
  FParity.reset();
}

void TCustomComPort::SetDevice(TComDevice& Device) {
  if (FConnected)
    throw EComPort(peConnectedProperty);
  FDevice = &Device;
}

// ---- Lifecycle ----

bool TCustomComPort::BeginOpen() {
  std::lock_guard Lock(FStateLock);
  if (FConnected || FOpening || FClosing)
    return false;
  FOpening = true;
  return true;
}

bool TCustomComPort::BeginClose() {
  std::lock_guard Lock(FStateLock);
  // A ClosePort from a handler ends the batch it belongs to, also when it
  // only meets a close under way.
  if (FStopToken)
    FStopToken->EndBatch();
  if (!FConnected || FOpening || FClosing) {
    // The close under way stops the thread anyway; told now, the thread
    // does not wait for another batch meanwhile (a handler with smNone that
    // meets a close on the main thread returns into a thread that ends).
    if (FClosing && FStopToken)
      FStopToken->RequestStop();
    return false;
  }
  FClosing = true;
  return true;
}

void TCustomComPort::EndChange() {
  std::lock_guard Lock(FStateLock);
  FOpening = false;
  FClosing = false;
}

namespace {

// Ends the claim of an open or a close however the operation leaves.
template <typename F> struct TScopeExit {
  F Exit;
  bool Active = true;
  ~TScopeExit() {
    if (Active)
      Exit();
  }
  void Now() {
    if (std::exchange(Active, false))
      Exit();
  }
};
template <typename F> TScopeExit(F) -> TScopeExit<F>;

} // namespace

void TCustomComPort::OpenPort() {
  if (Designing())
    return;
  ReapRetiredThreads();
  if (!BeginOpen())
    return;
  TScopeExit Claim{[this] { EndChange(); }};
  ProcessBeforeOpen();
  OpenDevice();
  // Connected first: the apply operations act only on a connected port.
  FConnected = true;
  try {
    ConfigureDevice();
  } catch (...) {
    CloseDevice();
    FConnected = false;
    throw;
  }
  if (FEvents.Empty())
    FThreadCreated = false;
  else
    CreateEventThread();
  // Handlers of the opening may close the port again; handlers on the event
  // thread wait until the opening is over.
  Claim.Now();
  std::shared_ptr<TComStopToken> Stop = FThreadCreated ? FStopToken : nullptr;
  TScopeExit Deliver{[&Stop] {
    if (Stop)
      Stop->AllowDelivery();
  }};
  ProcessAfterOpen();
}

void TCustomComPort::ClosePort() {
  if (Designing())
    return;
  if (!BeginClose()) {
    ReapRetiredThreads();
    return;
  }
  TScopeExit Claim{[this] { EndChange(); }};
  ProcessBeforeClose();
  // A device that has gone away (cable pulled) refuses the purge; the port is
  // still closed, and the failure is reported once it is.
  std::exception_ptr PurgeFailure;
  try {
    AbortTransfers();
  } catch (const EComPort&) {
    PurgeFailure = std::current_exception();
  }
  DestroyEventThread();
  CloseDevice();
  // Closed and free again in one step: whoever sees the port closed can open
  // it (handlers of the closing too).
  {
    std::lock_guard Lock(FStateLock);
    FConnected = false;
    FClosing = false;
    Claim.Active = false;
  }
  ProcessAfterClose();
  if (PurgeFailure)
    std::rethrow_exception(PurgeFailure);
}

void TCustomComPort::CreateEventThread() {
  // The method is taken once, here: the window and the thread's delivery
  // always agree, whatever is assigned while the port is open.
  const TSyncMethod Method = FSyncMethod;
  // The window first: the thread may send to it as soon as it runs.
  if (Method == TSyncMethod::smWindowSync)
    FEventWindow =
        std::make_unique<TMessageWindow>([this](TMessage& Message) { PortWindowProc(Message); });
  auto Stop = std::make_shared<TComStopToken>();
  {
    std::lock_guard Lock(FStateLock);
    FStopToken = Stop;
  }
  TComThreadPort Setup;
  Setup.Sink = this;
  Setup.Device = FDevice;
  Setup.Handle = FDeviceHandle;
  Setup.Events = FEvents;
  Setup.SyncMethod = Method;
  Setup.EventWindow = FEventWindow.get();
  // The port has no setting of its own for the priority: the line needs no
  // more than normal.
  Setup.Priority = tpNormal;
  Setup.Stop = std::move(Stop);
  FEventThread = std::make_unique<TComThread>(Setup);
  FThreadCreated = true;
}

void TCustomComPort::DestroyEventThread() {
  if (FThreadCreated) {
    FThreadCreated = false;
    if (FEventThread->IsCurrentThread()) {
      // A handler on the event thread (smNone) closes the port: the thread
      // cannot wait for itself. It lets go of the device now and ends when
      // the handler returns; the next open or close (or the destructor)
      // joins it.
      FEventThread->ReleaseDeviceHere();
      std::lock_guard Lock(FStateLock);
      FRetiredThreads.push_back(std::move(FEventThread));
    } else {
      // Stops the thread and waits for its end; the pointer is already clear
      // when the wait runs handoffs that may reach this port again.
      std::unique_ptr<TComThread> Thread = std::move(FEventThread);
      Thread.reset();
    }
  }
  FEventWindow.reset();
}

void TCustomComPort::ReapRetiredThreads() {
  std::vector<std::unique_ptr<TComThread>> Ended;
  {
    std::lock_guard Lock(FStateLock);
    for (auto It = FRetiredThreads.begin(); It != FRetiredThreads.end();) {
      if ((*It)->IsCurrentThread()) {
        ++It;
        continue;
      }
      Ended.push_back(std::move(*It));
      It = FRetiredThreads.erase(It);
    }
  }
  // Each has stopped or is about to: its handler has returned or returns
  // without waiting for anyone.
  Ended.clear();
}

void TCustomComPort::OpenDevice() {
  FDeviceHandle = FDevice->Open(FPort);
  if (FDeviceHandle == InvalidComHandle)
    RaiseSystemError(peOpenFailed);
}

void TCustomComPort::CloseDevice() {
  if (FDeviceHandle != InvalidComHandle) {
    FDevice->Close(FDeviceHandle);
    FDeviceHandle = InvalidComHandle;
  }
}

void TCustomComPort::ConfigureDevice() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

bool TCustomComPort::CanApply() const {
  return FConnected && !Loading() && !Designing();
}

void TCustomComPort::RaiseSystemError(std::int32_t Code) {
  // Read the error right after the failed call, before anything can change it.
  const int SystemError = FDevice->LastError();
  throw EComPort(Code, SystemError);
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApply())
    return;
  const TDeviceControlBlock Dcb = BuildDeviceControlBlock(*this);
  if (!FDevice->SetCommState(FDeviceHandle, Dcb))
    RaiseSystemError(peSetStateFailed);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!CanApply())
    return;
  if (!FDevice->SetCommTimeouts(FDeviceHandle, BuildCommTimeouts(*FTimeouts)))
    RaiseSystemError(peSetTimeoutsFailed);
}

void TCustomComPort::ApplyBufferSizes() {
  if (!CanApply())
    return;
  if (!FDevice->SetupComm(FDeviceHandle, FBuffer->InputSize(), FBuffer->OutputSize()))
    RaiseSystemError(peSetupCommFailed);
}

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (FConnected && !Designing()) {
    FConnected = false;
    try {
      OpenPort();
    } catch (const std::exception& E) {
      ShowException(E);
    }
  }
}

// ---- Properties ----

void TCustomComPort::SetConnected(bool Value) {
  if (Loading() || Designing()) {
    FConnected = Value;
    return;
  }
  if (Value == FConnected)
    return;
  if (Value)
    OpenPort();
  else
    ClosePort();
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  if (Value == FBaudRate)
    return;
  FBaudRate = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value) {
  if (Value == FCustomBaudRate)
    return;
  FCustomBaudRate = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& Value) {
  if (Value == FPort)
    return;
  FPort = Value;
  if (FConnected && !Loading() && !Designing()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetStopBits(TStopBits Value) {
  if (Value == FStopBits)
    return;
  FStopBits = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits Value) {
  if (Value == FDataBits)
    return;
  FDataBits = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool Value) {
  if (Value == FDiscardNull)
    return;
  FDiscardNull = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(std::uint8_t Value) {
  if (Value == FEventChar)
    return;
  FEventChar = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
  FBuffer->CopyFrom(&Value);
  ApplyBufferSizes();
}

void TCustomComPort::SetParity(const TComParity& Value) {
  FParity->CopyFrom(&Value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
  FTimeouts->CopyFrom(&Value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
  FFlowControl->CopyFrom(&Value);
  ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
  if (Value == FSyncMethod)
    return;
  // Refused while open; accepted while loading, it counts from the next open
  // (the event thread took the method when it started).
  if (FConnected && !Loading() && !Designing())
    throw EComPort(peConnectedProperty);
  FSyncMethod = Value;
}

// ---- Data transfer ----

std::int32_t TCustomComPort::BeginRead(void* Buffer, std::int32_t Count, PComTransfer& Async) {
  if (!Async)
    throw EComPort(peInvalidAsync);
  Async->Kind = TComTransferKind::tkRead;
  std::int32_t Read = 0;
  if (!FDevice->ReadFile(FDeviceHandle, Buffer, Count, Read))
    RaiseSystemError(peReadFailed);
  Async->Transferred = Read;
  return Read;
}

std::int32_t TCustomComPort::WaitForTransfer(PComTransfer& Async) {
  if (!Async)
    throw EComPort(peInvalidAsync);
  if (Async->SystemError != 0)
    throw EComPort(TransferErrorCode(Async), Async->SystemError);
  if (Async->Kind == TComTransferKind::tkRead && InQueueCount() == 0)
    NotifyLinksState(TPortLinkNotice::pnRxActivity, false);
  else if (Async->Data)
    NotifyLinksTx(Async->Data.get(), Async->Size);
  return Async->Transferred;
}

std::int32_t TCustomComPort::ReadBytes(void* Buffer, std::int32_t Count) {
  // The record lives for this call only and owns what it holds, so it is
  // released whichever way the call leaves.
  TComTransfer Record;
  PComTransfer Async = &Record;
  BeginRead(Buffer, Count, Async);
  return WaitForTransfer(Async);
}

void TCustomComPort::AbortTransfers() {
  if (!FDevice->PurgeComm(FDeviceHandle, PURGE_TXABORT | PURGE_RXABORT))
    RaiseSystemError(pePurgeFailed);
}

std::int32_t TCustomComPort::InQueueCount() {
  std::uint32_t Errors = 0;
  std::int32_t InQueue = 0;
  if (!FDevice->ClearCommError(FDeviceHandle, Errors, InQueue))
    RaiseSystemError(peClearErrorFailed);
  return InQueue;
}

TComLineSignals TCustomComPort::LineSignals() {
  std::uint32_t Status = 0;
  if (!FDevice->GetCommModemStatus(FDeviceHandle, Status))
    RaiseSystemError(peModemStatusFailed);
  return ModemStatusToSignals(Status);
}

TComErrors TCustomComPort::TakeLineErrors() {
  std::uint32_t Errors = 0;
  std::int32_t InQueue = 0;
  if (!FDevice->ClearCommError(FDeviceHandle, Errors, InQueue))
    RaiseSystemError(peClearErrorFailed);
  return LineErrorsToComErrors(Errors, FParity->Check());
}

// ---- Lifecycle processing ----

void TCustomComPort::ProcessBeforeOpen() {
  TriggerBeforeOpen();
}

void TCustomComPort::ProcessAfterOpen() {
  NotifyLinksState(TPortLinkNotice::pnConnection, true);
  TriggerAfterOpen();
  ReportSignals(true);
}

void TCustomComPort::ProcessBeforeClose() {
  ReportSignals(false);
  TriggerBeforeClose();
}

void TCustomComPort::ProcessAfterClose() {
  NotifyLinksState(TPortLinkNotice::pnConnection, false);
  TriggerAfterClose();
}

void TCustomComPort::ReportSignals(bool Opening) {
  if (Opening) {
    ProcessCTSChange();
    ProcessDSRChange();
    ProcessRLSDChange();
    return;
  }
  NotifyLinksState(TPortLinkNotice::pnCTS, false);
  NotifyLinksState(TPortLinkNotice::pnDSR, false);
  NotifyLinksState(TPortLinkNotice::pnRLSD, false);
  TriggerCTSChange(false);
  TriggerDSRChange(false);
  TriggerRLSDChange(false);
}

void TCustomComPort::ProcessCTSChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsCTS);
  NotifyLinksState(TPortLinkNotice::pnCTS, OnOff);
  TriggerCTSChange(OnOff);
}

void TCustomComPort::ProcessDSRChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsDSR);
  NotifyLinksState(TPortLinkNotice::pnDSR, OnOff);
  TriggerDSRChange(OnOff);
}

void TCustomComPort::ProcessRLSDChange() {
  const bool OnOff = LineSignals().Contains(TComLineSignal::lsRLSD);
  NotifyLinksState(TPortLinkNotice::pnRLSD, OnOff);
  TriggerRLSDChange(OnOff);
}

// ---- Links ----

namespace {

const TLinkStateEvent* StateHandler(const TComPortLink& Link, TPortLinkNotice Notice) {
  switch (Notice) {
  case TPortLinkNotice::pnConnection:
    return &Link.OnConnection;
  case TPortLinkNotice::pnCTS:
    return &Link.OnCTSChange;
  case TPortLinkNotice::pnDSR:
    return &Link.OnDSRChange;
  case TPortLinkNotice::pnRLSD:
    return &Link.OnRLSDChange;
  case TPortLinkNotice::pnRxActivity:
    return &Link.OnRx;
  case TPortLinkNotice::pnTxActivity:
    return &Link.OnTx;
  default:
    return nullptr;
  }
}

const TNotifyEvent* EventHandler(const TComPortLink& Link, TPortLinkNotice Notice) {
  switch (Notice) {
  case TPortLinkNotice::pnRing:
    return &Link.OnRing;
  case TPortLinkNotice::pnTxEmpty:
    return &Link.OnTxEmpty;
  case TPortLinkNotice::pnRxFlag:
    return &Link.OnRxFlag;
  default:
    return nullptr;
  }
}

} // namespace

void TCustomComPort::NotifyLinksState(TPortLinkNotice Notice, bool OnOff) {
  const std::size_t Count = FLinks.size();
  for (std::size_t i = 0; i < Count; ++i) {
    const TLinkStateEvent* Handler = StateHandler(*FLinks[i], Notice);
    if (Handler && *Handler)
      (*Handler)(this, OnOff);
  }
}

void TCustomComPort::NotifyLinksEvent(TPortLinkNotice Notice) {
  const std::size_t Count = FLinks.size();
  for (std::size_t i = 0; i < Count; ++i) {
    const TNotifyEvent* Handler = EventHandler(*FLinks[i], Notice);
    if (Handler && *Handler)
      (*Handler)(this);
  }
}

void TCustomComPort::NotifyLinksTx(const void* Buffer, std::int32_t Count) {
  const std::size_t Links = FLinks.size();
  for (std::size_t i = 0; i < Links; ++i)
    if (FLinks[i]->OnTxBuf)
      FLinks[i]->OnTxBuf(this, Buffer, Count);
}

// ---- Triggers ----

void TCustomComPort::TriggerAfterClose() {
  if (FOnAfterClose)
    FOnAfterClose(this);
}
void TCustomComPort::TriggerAfterOpen() {
  if (FOnAfterOpen)
    FOnAfterOpen(this);
}
void TCustomComPort::TriggerBeforeClose() {
  if (FOnBeforeClose)
    FOnBeforeClose(this);
}
void TCustomComPort::TriggerBeforeOpen() {
  if (FOnBeforeOpen)
    FOnBeforeOpen(this);
}
void TCustomComPort::TriggerRxChar(std::int32_t Count) {
  if (FOnRxChar)
    FOnRxChar(this, Count);
}
void TCustomComPort::TriggerRxBuf(const void* Buffer, std::int32_t Count) {
  if (FOnRxBuf)
    FOnRxBuf(this, Buffer, Count);
}
void TCustomComPort::TriggerTxEmpty() {
  if (FOnTxEmpty)
    FOnTxEmpty(this);
}
void TCustomComPort::TriggerBreak() {
  if (FOnBreak)
    FOnBreak(this);
}
void TCustomComPort::TriggerRing() {
  if (FOnRing)
    FOnRing(this);
}
void TCustomComPort::TriggerRxFlag() {
  if (FOnRxFlag)
    FOnRxFlag(this);
}
void TCustomComPort::TriggerCTSChange(bool OnOff) {
  if (FOnCTSChange)
    FOnCTSChange(this, OnOff);
}
void TCustomComPort::TriggerDSRChange(bool OnOff) {
  if (FOnDSRChange)
    FOnDSRChange(this, OnOff);
}
void TCustomComPort::TriggerError(TComErrors Errors) {
  if (FOnError)
    FOnError(this, Errors);
}
void TCustomComPort::TriggerRLSDChange(bool OnOff) {
  if (FOnRLSDChange)
    FOnRLSDChange(this, OnOff);
}
void TCustomComPort::TriggerRx80Full() {
  if (FOnRx80Full)
    FOnRx80Full(this);
}
