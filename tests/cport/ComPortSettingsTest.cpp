#include "cport/ComPortSettings.h"

#include <gtest/gtest.h>

#include "cport/CPort.h"
#include "tests/TestUtil.h"
#include "tests/cport/CPortTestUtil.h"

using enum TFlowControl;
using enum TRTSFlowControl;
using enum TDTRFlowControl;

TEST(ComFlowControl, PresetIsReadFromTheFourGoverningFields) {
  struct TRow {
    TRTSFlowControl Rts;
    bool OutCTS, XonIn, XonOut;
    TFlowControl Expected;
  } Rows[] = {
      {rtsHandshake, true, false, false, fcHardware}, {rtsDisable, false, true, true, fcSoftware},
      {rtsDisable, false, false, false, fcNone},      {rtsEnable, false, false, false, fcCustom},
      {rtsHandshake, false, false, false, fcCustom},  {rtsDisable, true, false, false, fcCustom},
      {rtsDisable, false, true, false, fcCustom},     {rtsToggle, false, false, false, fcCustom},
      {rtsHandshake, true, true, true, fcCustom},
  };
  for (const TRow& Row : Rows) {
    TComFlowControl Flow;
    Flow.SetControlRTS(Row.Rts);
    Flow.SetOutCTSFlow(Row.OutCTS);
    Flow.SetXonXoffIn(Row.XonIn);
    Flow.SetXonXoffOut(Row.XonOut);
    // The fields outside the preset never change the result.
    Flow.SetControlDTR(dtrHandshake);
    Flow.SetOutDSRFlow(true);
    Flow.SetDSRSensitivity(true);
    Flow.SetTxContinueOnXoff(true);
    EXPECT_EQ(Flow.FlowControl(), Row.Expected) << int(Row.Rts) << Row.OutCTS << Row.XonIn;
  }
  EXPECT_EQ(TComFlowControl().FlowControl(), fcNone);
}

TEST(ComFlowControl, WritingPresetKeepsTheOtherFields) {
  TComFlowControl Flow;
  Flow.SetControlDTR(dtrEnable);
  Flow.SetOutDSRFlow(true);
  Flow.SetDSRSensitivity(true);
  Flow.SetTxContinueOnXoff(true);
  Flow.SetXonChar('Q');
  Flow.SetXoffChar('S');
  Flow.SetFlowControl(fcHardware);
  EXPECT_EQ(Flow.FlowControl(), fcHardware);
  EXPECT_EQ(Flow.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(Flow.OutCTSFlow());

  Flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(Flow.ControlRTS(), rtsDisable);
  EXPECT_FALSE(Flow.OutCTSFlow());
  EXPECT_TRUE(Flow.XonXoffIn());
  EXPECT_TRUE(Flow.XonXoffOut());

  Flow.SetFlowControl(fcCustom);
  EXPECT_EQ(Flow.FlowControl(), fcSoftware);

  Flow.SetFlowControl(fcNone);
  EXPECT_EQ(Flow.FlowControl(), fcNone);
  EXPECT_FALSE(Flow.XonXoffIn() || Flow.XonXoffOut() || Flow.OutCTSFlow());
  EXPECT_EQ(Flow.ControlDTR(), dtrEnable);
  EXPECT_TRUE(Flow.OutDSRFlow());
  EXPECT_TRUE(Flow.DSRSensitivity());
  EXPECT_TRUE(Flow.TxContinueOnXoff());
  EXPECT_EQ(Flow.XonChar(), 'Q');
  EXPECT_EQ(Flow.XoffChar(), 'S');
}

TEST(ComBuffer, OddPositiveSizesAreLoweredAfterTheEqualityTest) {
  struct TRow {
    std::int32_t Set, Stored;
  } Rows[] = {{1025, 1024}, {1023, 1022}, {0, 0}, {-3, -3}, {1, 0}, {2147483647, 2147483646}};
  for (const TRow& Row : Rows) {
    TComBuffer Buffer;
    Buffer.SetInputSize(Row.Set);
    Buffer.SetOutputSize(Row.Set);
    EXPECT_EQ(Buffer.InputSize(), Row.Stored) << Row.Set;
    EXPECT_EQ(Buffer.OutputSize(), Row.Stored) << Row.Set;
  }
}

TEST(ComSettings, CopyFromCopiesValuesOnlyAndRefusesOtherClasses) {
  TComParity Source;
  Source.SetBits(TParityBits::prMark);
  Source.SetCheck(true);
  Source.SetReplace(true);
  Source.SetReplaceChar('?');
  TComParity Target;
  Target.CopyFrom(&Source);
  EXPECT_EQ(Target.Bits(), TParityBits::prMark);
  EXPECT_TRUE(Target.Check() && Target.Replace());
  EXPECT_EQ(Target.ReplaceChar(), '?');
  EXPECT_EQ(Target.ComPort(), nullptr);

  TComFlowControl Flow;
  Flow.SetXoffChar(1);
  Flow.SetControlDTR(dtrEnable);
  TComFlowControl FlowCopy;
  FlowCopy.CopyFrom(&Flow);
  EXPECT_EQ(FlowCopy.XoffChar(), 1);
  EXPECT_EQ(FlowCopy.ControlDTR(), dtrEnable);

  TComTimeouts Timeouts;
  Timeouts.SetWriteTotalConstant(7);
  TComTimeouts TimeoutsCopy;
  TimeoutsCopy.CopyFrom(&Timeouts);
  EXPECT_EQ(TimeoutsCopy.WriteTotalConstant(), 7);
  EXPECT_EQ(TimeoutsCopy.ReadInterval(), -1);

  TComBuffer Buffer;
  EXPECT_EXCEPTION_MESSAGE(Target.CopyFrom(&Buffer), "Cannot assign a TComBuffer to a TComParity");
  EXPECT_EXCEPTION_MESSAGE(Buffer.CopyFrom(nullptr), "Cannot assign a nil to a TComBuffer");
  EXPECT_EQ(Buffer.InputSize(), 1024);
}

// ---- Setters on an open port (fake device) ----

class ComSettingsOnOpenPort : public TFakePortTest {
protected:
  ComSettingsOnOpenPort() {
    Port.SetEvents({});
    Port.OpenPort();
    Fake.ClearCalls();
  }
  std::vector<std::string> CallsOf(auto&& Action) {
    Fake.ClearCalls();
    Action();
    return Fake.Calls();
  }
};

TEST_F(ComSettingsOnOpenPort, EqualValuesMakeNoDeviceCall) {
  using V = std::vector<std::string>;
  EXPECT_EQ(CallsOf([&] { Port.SetBaudRate(TBaudRate::br9600); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetCustomBaudRate(9600); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetDataBits(TDataBits::dbEight); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetStopBits(TStopBits::sbOneStopBit); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetDiscardNull(false); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetEventChar(0); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.SetPort("COM1"); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.Parity().SetCheck(false); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.FlowControl().SetXonChar(17); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.Timeouts().SetReadInterval(-1); }), V{});
  EXPECT_EQ(CallsOf([&] { Port.Buffer().SetInputSize(1024); }), V{});
}

TEST_F(ComSettingsOnOpenPort, ChangedValuesApplyTheirGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(CallsOf([&] { Port.SetBaudRate(TBaudRate::br57600); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.SetEventChar('\n'); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.Parity().SetBits(TParityBits::prEven); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.FlowControl().SetControlRTS(rtsEnable); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.Timeouts().SetReadTotalConstant(5); }), V{"SetCommTimeouts"});
  // Only the queue sizes: the flow limits follow at the next line change.
  EXPECT_EQ(CallsOf([&] { Port.Buffer().SetInputSize(4096); }), V{"SetupComm 4096 1024"});
  EXPECT_EQ(Fake.States().back().XonLim, 256);
  // 1025 over 1024 is a change that stores 1024 again.
  Port.Buffer().SetInputSize(1024);
  EXPECT_EQ(CallsOf([&] { Port.Buffer().SetInputSize(1025); }), V{"SetupComm 1024 1024"});
  // Presets re-apply always, fcCustom included.
  EXPECT_EQ(CallsOf([&] { Port.FlowControl().SetFlowControl(fcCustom); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.FlowControl().SetFlowControl(fcNone); }), V{"SetCommState"});
}

TEST_F(ComSettingsOnOpenPort, ObjectSettersCopyAndAlwaysReApply) {
  using V = std::vector<std::string>;
  TComParity& OwnedParity = Port.Parity();
  TComParity Parity;
  Parity.SetCheck(true);
  EXPECT_EQ(CallsOf([&] { Port.SetParity(Parity); }), V{"SetCommState"});
  EXPECT_EQ(&Port.Parity(), &OwnedParity);
  EXPECT_TRUE(OwnedParity.Check());
  EXPECT_EQ(OwnedParity.ComPort(), &Port);
  // Same values again: still applied.
  EXPECT_EQ(CallsOf([&] { Port.SetParity(Parity); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.SetFlowControl(TComFlowControl()); }), V{"SetCommState"});
  EXPECT_EQ(CallsOf([&] { Port.SetTimeouts(TComTimeouts()); }), V{"SetCommTimeouts"});
  EXPECT_EQ(CallsOf([&] { Port.SetBuffer(TComBuffer()); }), V{"SetupComm 1024 1024"});
}

TEST_F(ComSettingsOnOpenPort, RefusedValueStaysStored) {
  Fake.FailCall("SetCommState", 1, 22);
  const EComPort E = Raised([&] { Port.SetDataBits(TDataBits::dbSeven); });
  EXPECT_EQ(E.ErrorCode(), peSetStateFailed);
  EXPECT_EQ(E.Message(), "SetCommState function failed (win error code: 22)");
  EXPECT_EQ(Port.DataBits(), TDataBits::dbSeven);
  EXPECT_TRUE(Port.Connected());
}

TEST(ComSettingsClosedPort, SettersOnlyStore) {
  TFakeComDevice Fake;
  TComPort Port;
  Port.SetDevice(Fake);
  Port.SetBaudRate(TBaudRate::br57600);
  Port.FlowControl().SetFlowControl(fcHardware);
  Port.Buffer().SetInputSize(333);
  Port.Timeouts().SetReadInterval(10);
  EXPECT_TRUE(Fake.Calls().empty());
  EXPECT_EQ(Port.Buffer().InputSize(), 332);
}
