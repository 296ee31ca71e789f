#include "cport/CPort.h"

#include <array>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "base/ExceptionDisplay.h"
#include "tests/TestUtil.h"
#include "tests/cport/CPortTestUtil.h"

namespace {

using TBytes = std::array<std::uint8_t, 28>;

TBytes BytesOf(const TDeviceControlBlock& Dcb) {
  TBytes Bytes;
  std::memcpy(Bytes.data(), &Dcb, Bytes.size());
  return Bytes;
}

std::uint32_t U32At(const TBytes& B, int Offset) {
  return std::uint32_t(B[Offset]) | std::uint32_t(B[Offset + 1]) << 8 |
         std::uint32_t(B[Offset + 2]) << 16 | std::uint32_t(B[Offset + 3]) << 24;
}
std::uint16_t U16At(const TBytes& B, int Offset) {
  return static_cast<std::uint16_t>(B[Offset] | B[Offset + 1] << 8);
}

// The scope's line settings, as the application sets them.
void ApplyScopeSettings(TCustomComPort& Port) {
  Port.SetBaudRate(TBaudRate::br57600);
  Port.Parity().SetBits(TParityBits::prNone);
  Port.SetStopBits(TStopBits::sbOneStopBit);
  Port.SetDataBits(TDataBits::dbEight);
  Port.Buffer().SetInputSize(1024);
  Port.FlowControl().SetControlDTR(TDTRFlowControl::dtrDisable);
  Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
  Port.FlowControl().SetOutCTSFlow(false);
  Port.FlowControl().SetOutDSRFlow(false);
  Port.FlowControl().SetXonXoffOut(false);
  Port.FlowControl().SetXonXoffIn(false);
}

} // namespace

// ---- Device records ----

TEST(DeviceControlBlock, ScopeSettingsGiveTheExpectedBytes) {
  TComPort Port;
  ApplyScopeSettings(Port);
  const TBytes Expected = {0x1C, 0x00, 0x00, 0x00, 0x00, 0xE1, 0x00, 0x00, 0x01, 0x10,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x08, 0x00,
                           0x00, 0x11, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(BytesOf(BuildDeviceControlBlock(Port)), Expected);
}

TEST(DeviceControlBlock, EachSettingLandsInItsFieldAndFlags) {
  struct TRow {
    const char* Name;
    std::function<void(TComPort&)> Set;
    std::uint32_t Rate, Flags;
    std::uint16_t Limit;
    std::uint8_t Size, Parity, Stop, ErrorChar, EvtChar;
  };
  using enum TParityBits;
  const TRow Rows[] = {
      {"defaults", [](TComPort&) {}, 9600, 0x0001, 256, 8, 0, 0, 0, 0},
      {"odd", [](TComPort& P) { P.Parity().SetBits(prOdd); }, 9600, 0x0001, 256, 8, 1, 0, 0, 0},
      {"even", [](TComPort& P) { P.Parity().SetBits(prEven); }, 9600, 0x0001, 256, 8, 2, 0, 0, 0},
      {"mark", [](TComPort& P) { P.Parity().SetBits(prMark); }, 9600, 0x0001, 256, 8, 3, 0, 0, 0},
      {"space", [](TComPort& P) { P.Parity().SetBits(prSpace); }, 9600, 0x0001, 256, 8, 4, 0, 0, 0},
      {"1.5 stop", [](TComPort& P) { P.SetStopBits(TStopBits::sbOne5StopBits); }, 9600, 0x0001, 256,
       8, 0, 1, 0, 0},
      {"2 stop", [](TComPort& P) { P.SetStopBits(TStopBits::sbTwoStopBits); }, 9600, 0x0001, 256, 8,
       0, 2, 0, 0},
      {"5 bits", [](TComPort& P) { P.SetDataBits(TDataBits::dbFive); }, 9600, 0x0001, 256, 5, 0, 0,
       0, 0},
      {"7 bits", [](TComPort& P) { P.SetDataBits(TDataBits::dbSeven); }, 9600, 0x0001, 256, 7, 0, 0,
       0, 0},
      {"dtr enable", [](TComPort& P) { P.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable); },
       9600, 0x0011, 256, 8, 0, 0, 0, 0},
      {"dtr handshake",
       [](TComPort& P) { P.FlowControl().SetControlDTR(TDTRFlowControl::dtrHandshake); }, 9600,
       0x0021, 256, 8, 0, 0, 0, 0},
      {"rts enable", [](TComPort& P) { P.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable); },
       9600, 0x1001, 256, 8, 0, 0, 0, 0},
      {"rts handshake",
       [](TComPort& P) { P.FlowControl().SetControlRTS(TRTSFlowControl::rtsHandshake); }, 9600,
       0x2001, 256, 8, 0, 0, 0, 0},
      {"rts toggle", [](TComPort& P) { P.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle); },
       9600, 0x3001, 256, 8, 0, 0, 0, 0},
      {"hardware preset",
       [](TComPort& P) { P.FlowControl().SetFlowControl(TFlowControl::fcHardware); }, 9600, 0x2005,
       256, 8, 0, 0, 0, 0},
      {"software preset",
       [](TComPort& P) { P.FlowControl().SetFlowControl(TFlowControl::fcSoftware); }, 9600, 0x0301,
       256, 8, 0, 0, 0, 0},
      {"dsr flags",
       [](TComPort& P) {
         P.FlowControl().SetOutDSRFlow(true);
         P.FlowControl().SetDSRSensitivity(true);
         P.FlowControl().SetTxContinueOnXoff(true);
       },
       9600, 0x00C9, 256, 8, 0, 0, 0, 0},
      {"parity check", [](TComPort& P) { P.Parity().SetCheck(true); }, 9600, 0x0003, 256, 8, 0, 0,
       0, 0},
      {"replace without check",
       [](TComPort& P) {
         P.Parity().SetReplace(true);
         P.Parity().SetReplaceChar('?');
       },
       9600, 0x0001, 256, 8, 0, 0, 0, 0},
      {"replace with check",
       [](TComPort& P) {
         P.Parity().SetCheck(true);
         P.Parity().SetReplace(true);
         P.Parity().SetReplaceChar('?');
       },
       9600, 0x0403, 256, 8, 0, 0, '?', 0},
      {"discard null, event char",
       [](TComPort& P) {
         P.SetDiscardNull(true);
         P.SetEventChar('\r');
       },
       9600, 0x0801, 256, 8, 0, 0, 0, '\r'},
      {"input 4096", [](TComPort& P) { P.Buffer().SetInputSize(4096); }, 9600, 0x0001, 1024, 8, 0,
       0, 0, 0},
      {"input 262144", [](TComPort& P) { P.Buffer().SetInputSize(262144); }, 9600, 0x0001, 0, 8, 0,
       0, 0, 0},
      {"custom 250000",
       [](TComPort& P) {
         P.SetBaudRate(TBaudRate::brCustom);
         P.SetCustomBaudRate(250000);
       },
       250000, 0x0001, 256, 8, 0, 0, 0, 0},
      {"custom ignored unless selected", [](TComPort& P) { P.SetCustomBaudRate(31250); }, 9600,
       0x0001, 256, 8, 0, 0, 0, 0},
      {"256000", [](TComPort& P) { P.SetBaudRate(TBaudRate::br256000); }, 256000, 0x0001, 256, 8, 0,
       0, 0, 0},
      {"110", [](TComPort& P) { P.SetBaudRate(TBaudRate::br110); }, 110, 0x0001, 256, 8, 0, 0, 0,
       0},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    TComPort Port;
    Row.Set(Port);
    const TBytes B = BytesOf(BuildDeviceControlBlock(Port));
    EXPECT_EQ(U32At(B, 0), 28u);
    EXPECT_EQ(U32At(B, 4), Row.Rate);
    EXPECT_EQ(U32At(B, 8), Row.Flags);
    EXPECT_EQ(U16At(B, 12), 0);
    EXPECT_EQ(U16At(B, 14), Row.Limit);
    EXPECT_EQ(U16At(B, 16), Row.Limit);
    EXPECT_EQ(B[18], Row.Size);
    EXPECT_EQ(B[19], Row.Parity);
    EXPECT_EQ(B[20], Row.Stop);
    EXPECT_EQ(B[21], 17);
    EXPECT_EQ(B[22], 19);
    EXPECT_EQ(B[23], Row.ErrorChar);
    EXPECT_EQ(B[24], 0);
    EXPECT_EQ(B[25], Row.EvtChar);
    EXPECT_EQ(U16At(B, 26), 0);
  }
}

TEST(CommTimeouts, MinusOneIsMaxDwordOtherValuesBitForBit) {
  TComTimeouts Timeouts;
  EXPECT_EQ(BuildCommTimeouts(Timeouts), (TCommTimeouts{MAXDWORD, 0, 0, 100, 1000}));
  Timeouts.SetReadInterval(20);
  Timeouts.SetReadTotalMultiplier(-2);
  Timeouts.SetReadTotalConstant(-1);
  Timeouts.SetWriteTotalMultiplier(0);
  Timeouts.SetWriteTotalConstant(2147483647);
  EXPECT_EQ(BuildCommTimeouts(Timeouts),
            (TCommTimeouts{20, 0xFFFFFFFEu, MAXDWORD, 0, 2147483647u}));
}

TEST(LineMapping, ModemStatusAndLineErrors) {
  EXPECT_EQ(ModemStatusToSignals(MS_CTS_ON | MS_RLSD_ON),
            (TComLineSignals{TComLineSignal::lsCTS, TComLineSignal::lsRLSD}));
  EXPECT_EQ(ModemStatusToSignals(MS_DSR_ON | MS_RING_ON | 0x0F | 0x100),
            (TComLineSignals{TComLineSignal::lsDSR, TComLineSignal::lsRing}));
  using enum TComError;
  EXPECT_EQ(LineErrorsToComErrors(CE_RXPARITY, false), TComErrors{});
  EXPECT_EQ(LineErrorsToComErrors(CE_RXPARITY, true), TComErrors{ceRxParity});
  EXPECT_EQ(LineErrorsToComErrors(CE_FRAME | CE_OVERRUN, false), (TComErrors{ceFrame, ceOverrun}));
  EXPECT_EQ(
      LineErrorsToComErrors(CE_RXOVER | CE_TXFULL | CE_BREAK | CE_IOE | CE_MODE | 0x0020, false),
      (TComErrors{ceRxOver, ceTxFull, ceBreak, ceIO, ceMode}));
}

// ---- Lifecycle on the fake device ----

class ComPortLifecycle : public TFakePortTest {
protected:
  ComPortLifecycle() {
    Port.SetOnBeforeOpen([this](TObject* S) { Log(S, "BeforeOpen"); });
    Port.SetOnAfterOpen([this](TObject* S) { Log(S, "AfterOpen"); });
    Port.SetOnBeforeClose([this](TObject* S) { Log(S, "BeforeClose"); });
    Port.SetOnAfterClose([this](TObject* S) { Log(S, "AfterClose"); });
    Port.SetOnCTSChange([this](TObject* S, bool On) { Log(S, On ? "CTS on" : "CTS off"); });
    Port.SetOnDSRChange([this](TObject* S, bool On) { Log(S, On ? "DSR on" : "DSR off"); });
    Port.SetOnRLSDChange([this](TObject* S, bool On) { Log(S, On ? "RLSD on" : "RLSD off"); });
  }
  // The port outlives this fixture's log: close it while the log exists.
  ~ComPortLifecycle() override {
    try {
      Port.ClosePort();
    } catch (const EComPort&) {
    }
  }
  void Log(TObject* Sender, const std::string& What) {
    EXPECT_EQ(Sender, &Port);
    Events.push_back(What + (Port.Connected() ? " [open]" : " [closed]"));
  }
  std::vector<std::string> Events;
};

// The device calls of the main thread: the event thread's waits come when
// they come.
static std::vector<std::string> MainThreadCalls(const TFakeComDevice& Fake) {
  std::vector<std::string> Calls = Fake.Calls();
  std::erase(Calls, "WaitCommEvent");
  return Calls;
}

TEST_F(ComPortLifecycle, OpenAndCloseCallTheDeviceInOrder) {
  using V = std::vector<std::string>;
  Fake.SetModemStatus("COM1", MS_CTS_ON);
  ApplyScopeSettings(Port);
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
  EXPECT_NE(Port.DeviceHandle(), InvalidComHandle);
  // The event thread sets the mask of all ten events before it starts.
  EXPECT_EQ(MainThreadCalls(Fake), (V{"Open COM1", "SetupComm 1024 1024", "SetCommState",
                                      "SetCommTimeouts", "SetCommMask 1535", "GetCommModemStatus",
                                      "GetCommModemStatus", "GetCommModemStatus"}));
  ASSERT_EQ(Fake.States().size(), 1u);
  EXPECT_EQ(Fake.States()[0].BaudRate, 57600u);
  EXPECT_EQ(Fake.States()[0].Flags, 0x1001u);
  EXPECT_EQ(Fake.TimeoutRecords(), (std::vector<TCommTimeouts>{{MAXDWORD, 0, 0, 100, 1000}}));
  EXPECT_EQ(Events, (V{"BeforeOpen [closed]", "AfterOpen [open]", "CTS on [open]", "DSR off [open]",
                       "RLSD off [open]"}));

  Fake.ClearCalls();
  Events.clear();
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
  EXPECT_FALSE(Fake.IsOpen("COM1"));
  // Closing reports the lines off without reading them.
  // Transfers are aborted, then the event thread clears the mask and empties
  // the queues as it ends, and only then is the device closed.
  EXPECT_EQ(MainThreadCalls(Fake), (V{"PurgeComm 3", "SetCommMask 0", "PurgeComm 12", "Close"}));
  EXPECT_EQ(Events, (V{"CTS off [open]", "DSR off [open]", "RLSD off [open]", "BeforeClose [open]",
                       "AfterClose [closed]"}));
}

TEST_F(ComPortLifecycle, OpenOnOpenAndCloseOnClosedDoNothing) {
  Port.ClosePort();
  Port.SetConnected(false);
  Port.OpenPort();
  Fake.ClearCalls();
  Events.clear();
  Port.OpenPort();
  Port.SetConnected(true);
  // The event thread's wait may come in after the clear; nothing else may.
  EXPECT_TRUE(MainThreadCalls(Fake).empty());
  EXPECT_TRUE(Events.empty());
  Port.SetConnected(false);
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortLifecycle, ConfigurationFailureClosesTheHandleAgain) {
  struct TRow {
    const char* Operation;
    int Code;
    const char* Message;
  } Rows[] = {
      {"SetupComm", peSetupCommFailed, "SetupComm function failed (win error code: 87)"},
      {"SetCommState", peSetStateFailed, "SetCommState function failed (win error code: 87)"},
      {"SetCommTimeouts", peSetTimeoutsFailed, "SetCommTimeouts failed (win error code: 87)"},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Operation);
    Events.clear();
    Fake.ClearCalls();
    Fake.FailCall(Row.Operation, 1, 87);
    const EComPort E = Raised([&] { Port.OpenPort(); });
    EXPECT_EQ(E.ErrorCode(), Row.Code);
    EXPECT_EQ(E.SystemErrorCode(), 87);
    EXPECT_EQ(E.Message(), Row.Message);
    EXPECT_FALSE(Port.Connected());
    EXPECT_FALSE(Fake.IsOpen("COM1"));
    EXPECT_EQ(Fake.Calls().back(), "Close");
    EXPECT_EQ(Events, std::vector<std::string>{"BeforeOpen [closed]"});
  }
  // And the port opens normally afterwards.
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortLifecycle, MissingDeviceRaisesOpenFailedAndStaysClosed) {
  Port.SetPort("COM9");
  const EComPort E = Raised([&] { Port.OpenPort(); });
  EXPECT_EQ(E.ErrorCode(), peOpenFailed);
  EXPECT_EQ(E.SystemErrorCode(), 2);
  EXPECT_EQ(E.Message(), "Unable to open com port (win error code: 2)");
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Events, std::vector<std::string>{"BeforeOpen [closed]"});
  Fake.ClearCalls();
  Port.ClosePort();
  EXPECT_TRUE(Fake.Calls().empty());
}

TEST_F(ComPortLifecycle, ModemStatusFailureAfterOpenLeavesThePortOpen) {
  Fake.FailCall("GetCommModemStatus", 2, 5);
  const EComPort E = Raised([&] { Port.OpenPort(); });
  EXPECT_EQ(E.ErrorCode(), peModemStatusFailed);
  EXPECT_EQ(E.Message(), "GetCommModemStatus function failed (win error code: 5)");
  EXPECT_TRUE(Port.Connected());
  EXPECT_TRUE(Fake.IsOpen("COM1"));
  EXPECT_EQ(Events, (std::vector<std::string>{"BeforeOpen [closed]", "AfterOpen [open]",
                                              "CTS off [open]"}));
  Port.ClosePort();
  EXPECT_FALSE(Fake.IsOpen("COM1"));
}

TEST_F(ComPortLifecycle, VanishedDeviceIsClosedAndThePurgeFailureReported) {
  Port.OpenPort();
  Fake.Vanish("COM1");
  Events.clear();
  const EComPort E = Raised([&] { Port.ClosePort(); });
  EXPECT_EQ(E.ErrorCode(), pePurgeFailed);
  EXPECT_EQ(E.Message(), "PurgeComm function failed (win error code: 5)");
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Fake.OpenHandles(), 0);
  EXPECT_EQ(Events.back(), "AfterClose [closed]");
}

TEST_F(ComPortLifecycle, PortChangeWhileOpenMovesThePort) {
  Fake.AddLine("COM2");
  Port.OpenPort();
  Events.clear();
  Fake.ClearCalls();
  Port.SetPort("COM2");
  EXPECT_TRUE(Port.Connected());
  EXPECT_FALSE(Fake.IsOpen("COM1"));
  EXPECT_TRUE(Fake.IsOpen("COM2"));
  const std::vector<std::string> Calls = MainThreadCalls(Fake);
  ASSERT_GE(Calls.size(), 5u);
  EXPECT_EQ(Calls[0], "PurgeComm 3");
  EXPECT_EQ(Calls[3], "Close");
  EXPECT_EQ(Calls[4], "Open COM2");
  EXPECT_EQ(Events[3], "BeforeClose [open]");
  EXPECT_EQ(Events[4], "AfterClose [closed]");
  EXPECT_EQ(Events[5], "BeforeOpen [closed]");

  // Other letter case is another name; opening it fails and leaves it closed.
  const EComPort E = Raised([&] { Port.SetPort("com2"); });
  EXPECT_EQ(E.ErrorCode(), peOpenFailed);
  EXPECT_EQ(Port.Port(), "com2");
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortLifecycle, SyncMethodIsRefusedWhileConnected) {
  Port.OpenPort();
  Port.SetSyncMethod(TSyncMethod::smThreadSync); // equal: accepted
  const EComPort E = Raised([&] { Port.SetSyncMethod(TSyncMethod::smNone); });
  EXPECT_EQ(E.ErrorCode(), peConnectedProperty);
  EXPECT_EQ(E.SystemErrorCode(), -1);
  EXPECT_EQ(E.Message(), "Cannot set property while connected");
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smThreadSync);
  Port.SetLoading(true);
  Port.SetSyncMethod(TSyncMethod::smNone);
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smNone);
  Port.SetLoading(false);
  Port.ClosePort();
  Port.SetSyncMethod(TSyncMethod::smWindowSync);
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smWindowSync);
}

TEST_F(ComPortLifecycle, LoadingStoresConnectedAndEndOfLoadingOpens) {
  Port.SetLoading(true);
  Port.SetConnected(true);
  EXPECT_TRUE(Port.Connected());
  EXPECT_TRUE(Fake.Calls().empty());
  // Applying while loading does nothing either.
  Port.SetBaudRate(TBaudRate::br300);
  EXPECT_TRUE(Fake.Calls().empty());
  Port.Loaded();
  EXPECT_FALSE(Port.Loading());
  EXPECT_TRUE(Port.Connected());
  EXPECT_TRUE(Fake.IsOpen("COM1"));
}

TEST_F(ComPortLifecycle, FailureAtEndOfLoadingIsShownNotRaised) {
  std::vector<std::string> Shown;
  SetExceptionHandler([&](const std::exception& E) { Shown.push_back(E.what()); });
  Port.SetPort("COM4");
  Port.SetLoading(true);
  Port.SetConnected(true);
  EXPECT_NO_THROW(Port.Loaded());
  SetExceptionHandler(nullptr);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Shown, std::vector<std::string>{"Unable to open com port (win error code: 2)"});
}

TEST_F(ComPortLifecycle, DesigningNeverOpens) {
  Port.SetDesigning(true);
  Port.OpenPort();
  Port.SetConnected(true);
  // No device call at all: not even an event thread exists to wait.
  EXPECT_TRUE(Fake.Calls().empty());
  // The flag was only stored; nothing was opened.
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Fake.OpenHandles(), 0);
  Port.SetDesigning(false);
}

TEST(ComPortDestruction, DestroyingAnOpenPortClosesItFirst) {
  InitComPortErrors();
  TFakeComDevice Fake;
  Fake.AddLine("COM1");
  std::vector<std::string> Events;
  {
    TComponent Owner;
    auto* Port = new TComPort(&Owner);
    Port->SetDevice(Fake);
    Port->SetOnAfterClose([&](TObject*) { Events.push_back("AfterClose"); });
    Port->OpenPort();
    EXPECT_TRUE(Fake.IsOpen("COM1"));
  }
  EXPECT_FALSE(Fake.IsOpen("COM1"));
  EXPECT_EQ(Events, std::vector<std::string>{"AfterClose"});
}

TEST(ComPortDestruction, HandlerFailureOnCloseStillReleasesTheDevice) {
  InitComPortErrors();
  TFakeComDevice Fake;
  Fake.AddLine("COM1");
  std::vector<std::string> Shown;
  SetExceptionHandler([&](const std::exception& E) { Shown.push_back(E.what()); });
  {
    TComPort Port;
    Port.SetDevice(Fake);
    Port.OpenPort();
    Port.SetOnBeforeClose([](TObject*) { throw Exception("handler failed"); });
  }
  SetExceptionHandler(nullptr);
  EXPECT_EQ(Shown, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(Fake.OpenHandles(), 0);
}

// ---- Data transfer on the fake device ----

TEST_F(ComPortLifecycle, ReadBytesGetsWhatIsWaiting) {
  Port.OpenPort();
  char Buffer[8] = {};
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 0);
  Fake.PushReceived("COM1", "abc");
  EXPECT_EQ(Port.InQueueCount(), 3);
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 3);
  EXPECT_EQ(std::string(Buffer, 3), "abc");
  EXPECT_EQ(Port.InQueueCount(), 0);
}

TEST_F(ComPortLifecycle, ReadFailureAndNilTransfers) {
  Port.OpenPort();
  Fake.FailCall("ReadFile", 1, 995);
  char Buffer[4];
  const EComPort E = Raised([&] { Port.ReadBytes(Buffer, 4); });
  EXPECT_EQ(E.ErrorCode(), peReadFailed);
  EXPECT_EQ(E.SystemErrorCode(), 995);

  PComTransfer None = nullptr;
  EXPECT_EQ(Raised([&] { Port.BeginRead(Buffer, 4, None); }).Message(), "Invalid Async parameter");
  EXPECT_EQ(Raised([&] { Port.WaitForTransfer(None); }).ErrorCode(), peInvalidAsync);

  PComTransfer Async = nullptr;
  NewTransfer(Async);
  EXPECT_EQ(TransferErrorCode(Async), 0);
  Fake.PushReceived("COM1", "xy");
  EXPECT_EQ(Port.BeginRead(Buffer, 4, Async), 2);
  EXPECT_EQ(TransferErrorCode(Async), peReadFailed);
  EXPECT_EQ(Port.WaitForTransfer(Async), 2);
  Async->Kind = TComTransferKind::tkWrite;
  EXPECT_EQ(TransferErrorCode(Async), peWriteFailed);
  DisposeTransfer(Async);
  EXPECT_EQ(Async, nullptr);
}

TEST_F(ComPortLifecycle, LineErrorsDependOnParityCheckAndAreTakenOnce) {
  Port.OpenPort();
  using enum TComError;
  Fake.FlagLineErrors("COM1", CE_RXPARITY);
  EXPECT_EQ(Port.TakeLineErrors(), TComErrors{});
  Fake.FlagLineErrors("COM1", CE_RXPARITY);
  Port.Parity().SetCheck(true);
  EXPECT_EQ(Port.TakeLineErrors(), TComErrors{ceRxParity});
  EXPECT_EQ(Port.TakeLineErrors(), TComErrors{});
  Fake.FlagLineErrors("COM1", CE_FRAME | CE_OVERRUN);
  EXPECT_EQ(Port.TakeLineErrors(), (TComErrors{ceFrame, ceOverrun}));
  // The queue count query clears pending errors too.
  Fake.FlagLineErrors("COM1", CE_BREAK);
  Port.InQueueCount();
  EXPECT_EQ(Port.TakeLineErrors(), TComErrors{});

  Fake.SetModemStatus("COM1", MS_CTS_ON | MS_RLSD_ON);
  EXPECT_EQ(Port.LineSignals(), (TComLineSignals{TComLineSignal::lsCTS, TComLineSignal::lsRLSD}));
  Fake.FailCall("ClearCommError", 1, 6);
  EXPECT_EQ(Raised([&] { Port.InQueueCount(); }).ErrorCode(), peClearErrorFailed);
}

// ---- A port that was never opened (the platform's own device) ----

// What the platform's device reports for a handle that is not open.
#ifdef _WIN32
constexpr int BadHandleError = 6; // ERROR_INVALID_HANDLE
#else
constexpr int BadHandleError = EBADF;
#endif

TEST(NeverOpenedPort, OperationsFailWithBadDescriptorAndLeaveNothingBehind) {
  InitComPortErrors();
  TComPort Port;
  const int Before = OpenDescriptorCount();
  char Buffer[4];
  struct TRow {
    const char* Name;
    std::function<void()> Call;
    int Code;
  } Rows[] = {
      {"ReadBytes", [&] { Port.ReadBytes(Buffer, 4); }, peReadFailed},
      {"AbortTransfers", [&] { Port.AbortTransfers(); }, pePurgeFailed},
      {"InQueueCount", [&] { Port.InQueueCount(); }, peClearErrorFailed},
      {"TakeLineErrors", [&] { Port.TakeLineErrors(); }, peClearErrorFailed},
      {"LineSignals", [&] { Port.LineSignals(); }, peModemStatusFailed},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    try {
      Row.Call();
      ADD_FAILURE() << "no error";
    } catch (const EComPort& E) {
      EXPECT_EQ(E.ErrorCode(), Row.Code);
      EXPECT_EQ(E.SystemErrorCode(), BadHandleError);
    }
  }
  EXPECT_EQ(OpenDescriptorCount(), Before);
}
