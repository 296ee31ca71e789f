#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cport/ComPortErrors.h"
#include "cport/ComPortSettings.h"
#include "cport/ComPortTypes.h"
#include "cport/ComThread.h"
#include "cport/Component.h"
#include "cport/platform/ComDevice.h"

// The serial port component: a port object with its settings, its device and
// its events. The main thread constructs, opens, reads, closes and destroys it;
// a handler may close it from whichever thread runs the handler.

class TIniFile;
class TRegistryKey;

// ---- Transfers ----

enum class TComTransferKind : std::uint8_t { tkWrite = 0, tkRead = 1 };

// One transfer between the port and its device. The device layer completes a
// read when it is started, so the record keeps the outcome until it is waited
// for.
struct TComTransfer {
  // Set by the operation that starts the transfer; a new record has none
  // (TransferErrorCode gives 0 for it).
  TComTransferKind Kind = static_cast<TComTransferKind>(0xFF);
  std::unique_ptr<std::uint8_t[]> Data; // written data handed to the links
  std::int32_t Size = 0;
  std::int32_t Transferred = 0; // bytes moved by the device
  int SystemError = 0;          // nonzero when the device failed the transfer
};
using PComTransfer = TComTransfer*;

void NewTransfer(PComTransfer& Async);
void DisposeTransfer(PComTransfer& Async);
// The error code for a failed transfer of the record's kind (0 for none).
std::int32_t TransferErrorCode(PComTransfer Async);

// ---- Links ----

enum class TPortLinkNotice : std::uint8_t {
  pnConnection,
  pnCTS,
  pnDSR,
  pnRLSD,
  pnRing,
  pnRxActivity,
  pnTxActivity,
  pnTxEmpty,
  pnRxFlag
};

using TLinkStateEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TLinkBufferEvent =
    std::function<void(TObject* Sender, const void* Buffer, std::int32_t Count)>;

// An object that follows a port: eleven optional handlers.
struct TComPortLink {
  TLinkStateEvent OnConnection;
  TLinkBufferEvent OnRxBuf;
  TLinkBufferEvent OnTxBuf;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnRxFlag;
  TLinkStateEvent OnCTSChange;
  TLinkStateEvent OnDSRChange;
  TLinkStateEvent OnRLSDChange;
  TNotifyEvent OnRing;
  TLinkStateEvent OnTx;
  TLinkStateEvent OnRx;
};

// ---- Pure conversions ----

class TCustomComPort;

// Bits per second of a rate value (CustomBaudRate for brCustom).
std::uint32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate);
// The device-control record for the port's current settings.
TDeviceControlBlock BuildDeviceControlBlock(const TCustomComPort& Port);
// The timeouts record; -1 is handed over as MAXDWORD, other values bit for bit.
TCommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts);
// MS_* status word to the signal set (bits 4-7 become bits 0-3).
TComLineSignals ModemStatusToSignals(std::uint32_t Status);
// CE_* flags to the error set; CE_RXPARITY counts only when ParityCheck is set.
TComErrors LineErrorsToComErrors(std::uint32_t Flags, bool ParityCheck);

// ---- The port ----

class TCustomComPort : public TComponent, private TComEventSink {
public:
  explicit TCustomComPort(TComponent* Owner = nullptr);
  ~TCustomComPort() override;

  const char* ClassName() const override { return "TCustomComPort"; }

  // The device backend this port talks to; only changed while closed.
  TComDevice& Device() const { return *FDevice; }
  void SetDevice(TComDevice& Device);

  void OpenPort();
  // Callable from any handler of the port, on the thread that runs it: the
  // rest of the batch in flight is dropped. A call that meets an open or a
  // close under way (on this or another thread) returns at once.
  void ClosePort();

  // Reading and the device queries; they work on DeviceHandle and raise
  // EComPort when the device refuses (also on a port that was never opened).
  std::int32_t ReadBytes(void* Buffer, std::int32_t Count);
  std::int32_t BeginRead(void* Buffer, std::int32_t Count, PComTransfer& Async);
  std::int32_t WaitForTransfer(PComTransfer& Async);
  void AbortTransfers();
  std::int32_t InQueueCount();
  TComLineSignals LineSignals();
  TComErrors TakeLineErrors();

  void Loaded() override;

  // ---- Properties ----
  bool Connected() const { return FConnected.load(); }
  void SetConnected(bool Value);
  TComHandle DeviceHandle() const { return FDeviceHandle; }

  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate Value);
  std::int32_t CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(std::int32_t Value);
  const std::string& Port() const { return FPort; }
  // A changed name moves an open port: ClosePort, then OpenPort.
  void SetPort(const std::string& Value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits Value);
  bool DiscardNull() const { return FDiscardNull; }
  void SetDiscardNull(bool Value);
  std::uint8_t EventChar() const { return FEventChar; }
  void SetEventChar(std::uint8_t Value);
  // Takes effect at the next OpenPort.
  TComEvents Events() const { return FEvents; }
  void SetEvents(TComEvents Value) { FEvents = Value; }

  // The owned settings objects; the setters copy into them and re-apply.
  TComBuffer& Buffer() { return *FBuffer; }
  const TComBuffer& Buffer() const { return *FBuffer; }
  void SetBuffer(const TComBuffer& Value);
  TComParity& Parity() { return *FParity; }
  const TComParity& Parity() const { return *FParity; }
  void SetParity(const TComParity& Value);
  TComTimeouts& Timeouts() { return *FTimeouts; }
  const TComTimeouts& Timeouts() const { return *FTimeouts; }
  void SetTimeouts(const TComTimeouts& Value);
  TComFlowControl& FlowControl() { return *FFlowControl; }
  const TComFlowControl& FlowControl() const { return *FFlowControl; }
  void SetFlowControl(const TComFlowControl& Value);

  TSyncMethod SyncMethod() const { return FSyncMethod; }
  // Refused with peConnectedProperty while the port is connected. A change
  // accepted while loading takes effect at the next OpenPort.
  void SetSyncMethod(TSyncMethod Value);
  TStoredGroups StoredGroups() const { return FStoredGroups; }
  void SetStoredGroups(TStoredGroups Value) { FStoredGroups = Value; }

  bool NotifyRxCount() const { return FNotifyRxCount; }
  // False: the port reads received bytes itself and hands them to OnRxBuf.
  void SetNotifyRxCount(bool Value) { FNotifyRxCount = Value; }
  // True when received bytes are reported as a count through OnRxChar.
  bool RxCountMode() const;
  // The event thread of an open port with events (null otherwise).
  const TComThread* EventThread() const { return FEventThread.get(); }
  bool HasRxBufLink() const { return FHasRxBufLink; }
  const std::vector<TComPortLink*>& Links() const { return FLinks; }

  // ---- Event properties ----
  const TNotifyEvent& OnAfterOpen() const { return FOnAfterOpen; }
  void SetOnAfterOpen(TNotifyEvent Handler) { FOnAfterOpen = std::move(Handler); }
  const TNotifyEvent& OnAfterClose() const { return FOnAfterClose; }
  void SetOnAfterClose(TNotifyEvent Handler) { FOnAfterClose = std::move(Handler); }
  const TNotifyEvent& OnBeforeOpen() const { return FOnBeforeOpen; }
  void SetOnBeforeOpen(TNotifyEvent Handler) { FOnBeforeOpen = std::move(Handler); }
  const TNotifyEvent& OnBeforeClose() const { return FOnBeforeClose; }
  void SetOnBeforeClose(TNotifyEvent Handler) { FOnBeforeClose = std::move(Handler); }
  const TRxCharEvent& OnRxChar() const { return FOnRxChar; }
  void SetOnRxChar(TRxCharEvent Handler) { FOnRxChar = std::move(Handler); }
  const TRxBufEvent& OnRxBuf() const { return FOnRxBuf; }
  void SetOnRxBuf(TRxBufEvent Handler) { FOnRxBuf = std::move(Handler); }
  const TNotifyEvent& OnTxEmpty() const { return FOnTxEmpty; }
  void SetOnTxEmpty(TNotifyEvent Handler) { FOnTxEmpty = std::move(Handler); }
  const TNotifyEvent& OnBreak() const { return FOnBreak; }
  void SetOnBreak(TNotifyEvent Handler) { FOnBreak = std::move(Handler); }
  const TNotifyEvent& OnRing() const { return FOnRing; }
  void SetOnRing(TNotifyEvent Handler) { FOnRing = std::move(Handler); }
  const TComSignalEvent& OnCTSChange() const { return FOnCTSChange; }
  void SetOnCTSChange(TComSignalEvent Handler) { FOnCTSChange = std::move(Handler); }
  const TComSignalEvent& OnDSRChange() const { return FOnDSRChange; }
  void SetOnDSRChange(TComSignalEvent Handler) { FOnDSRChange = std::move(Handler); }
  const TComSignalEvent& OnRLSDChange() const { return FOnRLSDChange; }
  void SetOnRLSDChange(TComSignalEvent Handler) { FOnRLSDChange = std::move(Handler); }
  const TNotifyEvent& OnRxFlag() const { return FOnRxFlag; }
  void SetOnRxFlag(TNotifyEvent Handler) { FOnRxFlag = std::move(Handler); }
  const TComErrorEvent& OnError() const { return FOnError; }
  void SetOnError(TComErrorEvent Handler) { FOnError = std::move(Handler); }
  const TNotifyEvent& OnRx80Full() const { return FOnRx80Full; }
  void SetOnRx80Full(TNotifyEvent Handler) { FOnRx80Full = std::move(Handler); }

  // Storing and loading the groups named in StoredGroups (ComPortStorage.cpp):
  // into an open registry key, or into the INI section named after the
  // component. Loading applies each value through its setter as it is read.
  virtual void SaveToRegistryKey(TRegistryKey& Registry);
  virtual void SaveToIniSection(TIniFile& Ini);
  virtual void LoadFromRegistryKey(TRegistryKey& Registry);
  virtual void LoadFromIniSection(TIniFile& Ini);

  // The three apply operations hand one group of settings to the device. They
  // act only on a connected port that is neither loading nor designing.
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();

protected:
  virtual void OpenDevice();
  virtual void CloseDevice();
  virtual void ConfigureDevice();

  // Each fires its event, if assigned, with the port as sender.
  virtual void TriggerAfterClose();
  virtual void TriggerAfterOpen();
  virtual void TriggerBeforeClose();
  virtual void TriggerBeforeOpen();
  virtual void TriggerRxChar(std::int32_t Count);
  virtual void TriggerRxBuf(const void* Buffer, std::int32_t Count);
  virtual void TriggerTxEmpty();
  virtual void TriggerBreak();
  virtual void TriggerRing();
  virtual void TriggerRxFlag();
  virtual void TriggerCTSChange(bool OnOff);
  virtual void TriggerDSRChange(bool OnOff);
  virtual void TriggerError(TComErrors Errors);
  virtual void TriggerRLSDChange(bool OnOff);
  virtual void TriggerRx80Full();

  // Lifecycle processing around OpenPort and ClosePort.
  void ProcessBeforeOpen();
  void ProcessAfterOpen();
  void ProcessBeforeClose();
  void ProcessAfterClose();
  // Opening: reads and reports CTS, DSR and RLSD. Closing: reports them off
  // without reading the device.
  void ReportSignals(bool Opening);
  // Each reads the modem lines anew and reports the line's state.
  void ProcessCTSChange();
  void ProcessDSRChange();
  void ProcessRLSDChange();

  // Line-event processing (ComPortEvents.cpp): each reads what its event
  // concerns from the device now, tells the links and fires the event.
  void ProcessRxChar();
  void ProcessTxEmpty();
  void ProcessRxFlag();
  void ProcessRing();
  void ProcessBreak();
  void ProcessError();
  void ProcessRx80Full();
  // Hands Count received bytes to OnRxBuf and the links unless they are
  // reported as a count; sets Count to 0 when it took them.
  void DeliverRxBuffer(std::int32_t& Count);
  // The processing routine of one line event.
  void ProcessEvent(TComEvent Event) override;
  // The event window's procedure (smWindowSync): replies to the event thread
  // at once, then processes the WM_PORTEVENT's event on a connected port.
  // Overridable like any window procedure.
  virtual void PortWindowProc(TMessage& Message);

  void NotifyLinksState(TPortLinkNotice Notice, bool OnOff);
  void NotifyLinksEvent(TPortLinkNotice Notice);
  void NotifyLinksTx(const void* Buffer, std::int32_t Count);

private:
  bool CanApply() const;
  [[noreturn]] void RaiseSystemError(std::int32_t Code);
  // OpenPort calls CreateEventThread once the device is configured (with the
  // event window first for smWindowSync); ClosePort calls DestroyEventThread
  // after pending transfers were aborted and before the device is closed.
  void CreateEventThread();
  void DestroyEventThread();
  // Joins and frees the threads that ended on their own after a handler
  // closed the port on them (smNone), except the calling thread itself.
  void ReapRetiredThreads();
  // Claims the port for an open (or a close): false when it is already open
  // (closed), or when an open or close is under way on any thread.
  bool BeginOpen();
  bool BeginClose();
  void EndChange();

  TComDevice* FDevice;
  std::unique_ptr<TComThread> FEventThread;
  std::unique_ptr<TMessageWindow> FEventWindow; // only with smWindowSync, while the thread exists
  bool FThreadCreated = false;
  // Shared with the event thread and its batches; a new one per thread.
  std::shared_ptr<TComStopToken> FStopToken;
  std::vector<std::unique_ptr<TComThread>> FRetiredThreads;
  // Guards the open/close claims, FStopToken and FRetiredThreads: with smNone
  // the event thread's handlers may open and close the port too.
  std::mutex FStateLock;
  bool FOpening = false;
  std::atomic<bool> FClosing{false};
  TComHandle FDeviceHandle = InvalidComHandle;
  std::vector<TComPortLink*> FLinks; // not owned
  bool FNotifyRxCount = true;
  bool FHasRxBufLink = false;
  std::atomic<bool> FConnected{false};
  TBaudRate FBaudRate = TBaudRate::br9600;
  std::int32_t FCustomBaudRate = 9600;
  std::string FPort = "COM1";
  TStopBits FStopBits = TStopBits::sbOneStopBit;
  TDataBits FDataBits = TDataBits::dbEight;
  bool FDiscardNull = false;
  std::uint8_t FEventChar = 0;
  TComEvents FEvents = AllComEvents;
  // Created in this order; freed by the destructor in the order Buffer,
  // FlowControl, Timeouts, Parity.
  std::unique_ptr<TComParity> FParity;
  std::unique_ptr<TComFlowControl> FFlowControl;
  std::unique_ptr<TComTimeouts> FTimeouts;
  std::unique_ptr<TComBuffer> FBuffer;
  TSyncMethod FSyncMethod = TSyncMethod::smThreadSync;
  TStoredGroups FStoredGroups{TStoredGroup::sgLine};

  TNotifyEvent FOnAfterOpen, FOnAfterClose, FOnBeforeOpen, FOnBeforeClose;
  TRxCharEvent FOnRxChar;
  TRxBufEvent FOnRxBuf;
  TNotifyEvent FOnTxEmpty, FOnBreak, FOnRing;
  TComSignalEvent FOnCTSChange, FOnDSRChange, FOnRLSDChange;
  TNotifyEvent FOnRxFlag;
  TComErrorEvent FOnError;
  TNotifyEvent FOnRx80Full;
};

// The port as the application creates it.
class TComPort : public TCustomComPort {
public:
  using TCustomComPort::TCustomComPort;
  const char* ClassName() const override { return "TComPort"; }
};
