#include "cport/ComPortStorage.h"

#include <array>
#include <string>

#include "base/IniFile.h"
#include "base/Registry.h"
#include "cport/CPort.h"

namespace {

constexpr std::string_view CustomBaudRateText = "Custom";
constexpr std::array<std::string_view, 3> StopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<std::string_view, 4> DataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<std::string_view, 5> ParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<std::string_view, 4> FlowControlTexts = {"Hardware", "Software", "None",
                                                              "Custom"};
constexpr std::array<std::string_view, 3> DTRControlTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<std::string_view, 4> RTSControlTexts = {"Disable", "Enable", "Handshake",
                                                             "Toggle"};

// The text of an enumeration value. The enumerations are plain bytes, so an
// ordinal past the table (only a cast can make one) gives the empty text, which
// reads back as the fallback.
template <typename E, std::size_t N>
std::string EnumToText(const std::array<std::string_view, N>& Texts, E Value) {
  const auto Ordinal = static_cast<std::size_t>(Value);
  return Ordinal < N ? std::string(Texts[Ordinal]) : std::string();
}

template <typename E, std::size_t N>
E TextToEnum(const std::array<std::string_view, N>& Texts, std::string_view Text, E Fallback) {
  for (std::size_t i = 0; i < N; ++i)
    if (SameText(Texts[i], Text))
      return static_cast<E>(i);
  return Fallback;
}

} // namespace

// A rate's text is its number of bits per second ("57600"), brCustom's "Custom".
std::string BaudRateToText(TBaudRate Value) {
  const auto Ordinal = static_cast<std::size_t>(Value);
  if (Value == TBaudRate::brCustom)
    return std::string(CustomBaudRateText);
  return Ordinal < BaudRateValues.size() ? std::to_string(BaudRateValues[Ordinal]) : std::string();
}
TBaudRate TextToBaudRate(std::string_view Text) {
  if (SameText(Text, CustomBaudRateText))
    return TBaudRate::brCustom;
  for (std::size_t I = 1; I < BaudRateValues.size(); ++I)
    if (Text == std::to_string(BaudRateValues[I]))
      return static_cast<TBaudRate>(I);
  return TBaudRate::br9600;
}
std::string StopBitsToText(TStopBits Value) {
  return EnumToText(StopBitsTexts, Value);
}
TStopBits TextToStopBits(std::string_view Text) {
  return TextToEnum(StopBitsTexts, Text, TStopBits::sbOneStopBit);
}
std::string DataBitsToText(TDataBits Value) {
  return EnumToText(DataBitsTexts, Value);
}
TDataBits TextToDataBits(std::string_view Text) {
  return TextToEnum(DataBitsTexts, Text, TDataBits::dbEight);
}
std::string ParityToText(TParityBits Value) {
  return EnumToText(ParityTexts, Value);
}
TParityBits TextToParity(std::string_view Text) {
  return TextToEnum(ParityTexts, Text, TParityBits::prNone);
}
std::string FlowControlToText(TFlowControl Value) {
  return EnumToText(FlowControlTexts, Value);
}
TFlowControl TextToFlowControl(std::string_view Text) {
  return TextToEnum(FlowControlTexts, Text, TFlowControl::fcCustom);
}
std::string DTRControlToText(TDTRFlowControl Value) {
  return EnumToText(DTRControlTexts, Value);
}
TDTRFlowControl TextToDTRControl(std::string_view Text) {
  return TextToEnum(DTRControlTexts, Text, TDTRFlowControl::dtrDisable);
}
std::string RTSControlToText(TRTSFlowControl Value) {
  return EnumToText(RTSControlTexts, Value);
}
TRTSFlowControl TextToRTSControl(std::string_view Text) {
  return TextToEnum(RTSControlTexts, Text, TRTSFlowControl::rtsDisable);
}

std::string FlagToText(bool Value) {
  return Value ? "Yes" : "No";
}
bool TextToFlag(std::string_view Text) {
  return SameText(Text, "YES");
}

std::string CharToText(std::uint8_t Value) {
  if (Value >= 33 && Value <= 127)
    return std::string(1, static_cast<char>(Value));
  return "#" + std::to_string(Value);
}

std::uint8_t TextToChar(std::string_view Text) {
  if (Text.empty())
    return 0;
  if (Text.size() >= 2 && Text.front() == '#') {
    const auto Code = TryStrToInt(Text.substr(1));
    return Code ? static_cast<std::uint8_t>(static_cast<std::uint32_t>(*Code) & 0xFF) : 0;
  }
  return static_cast<std::uint8_t>(Text.front());
}

// ---- Storing and loading ----
//
// Both targets see the same keys in the same order; they differ only in how a
// value is written and in what a missing one reads as.

namespace {

class TSettingsTarget {
public:
  virtual ~TSettingsTarget() = default;
  virtual void WriteText(std::string_view Key, const std::string& Value) = 0;
  virtual void WriteInteger(std::string_view Key, std::int32_t Value) = 0;
  // Current is the setting as it stands, the default where the target has one.
  virtual std::string ReadText(std::string_view Key, const std::string& Current) = 0;
  virtual std::int32_t ReadInteger(std::string_view Key, std::int32_t Current) = 0;
};

class TIniTarget : public TSettingsTarget {
public:
  TIniTarget(TIniFile& Ini, std::string Section) : FIni(Ini), FSection(std::move(Section)) {}
  void WriteText(std::string_view Key, const std::string& Value) override {
    FIni.WriteString(FSection, Key, Value);
  }
  void WriteInteger(std::string_view Key, std::int32_t Value) override {
    FIni.WriteInteger(FSection, Key, Value);
  }
  std::string ReadText(std::string_view Key, const std::string& Current) override {
    return FIni.ReadString(FSection, Key, Current);
  }
  std::int32_t ReadInteger(std::string_view Key, std::int32_t Current) override {
    return FIni.ReadInteger(FSection, Key, Current);
  }

private:
  TIniFile& FIni;
  std::string FSection;
};

// A registry key has no defaults: a missing text reads as empty (and so as
// its type's fallback), a missing integer fails.
class TRegistryTarget : public TSettingsTarget {
public:
  explicit TRegistryTarget(TRegistryKey& Key) : FKey(Key) {}
  void WriteText(std::string_view Key, const std::string& Value) override {
    FKey.WriteString(Key, Value);
  }
  void WriteInteger(std::string_view Key, std::int32_t Value) override {
    FKey.WriteInteger(Key, Value);
  }
  std::string ReadText(std::string_view Key, const std::string&) override {
    return FKey.ReadString(Key);
  }
  std::int32_t ReadInteger(std::string_view Key, std::int32_t) override {
    return FKey.ReadInteger(Key);
  }

private:
  TRegistryKey& FKey;
};

// The groups in the order they are stored, which is not the order of their
// bits: line settings first, flow details last so that they override the
// flow preset of the line group.
constexpr TStoredGroup GroupOrder[] = {TStoredGroup::sgLine,          TStoredGroup::sgCharHandling,
                                       TStoredGroup::sgParityDetails, TStoredGroup::sgBufferSizes,
                                       TStoredGroup::sgTimeouts,      TStoredGroup::sgFlowDetails};

void StoreGroup(const TCustomComPort& Port, TStoredGroup Group, TSettingsTarget& T) {
  switch (Group) {
  case TStoredGroup::sgLine:
    T.WriteText("Port", Port.Port());
    T.WriteText("BaudRate", BaudRateToText(Port.BaudRate()));
    if (Port.BaudRate() == TBaudRate::brCustom)
      T.WriteInteger("CustomBaudRate", Port.CustomBaudRate());
    T.WriteText("StopBits", StopBitsToText(Port.StopBits()));
    T.WriteText("DataBits", DataBitsToText(Port.DataBits()));
    T.WriteText("Parity", ParityToText(Port.Parity().Bits()));
    T.WriteText("FlowControl", FlowControlToText(Port.FlowControl().FlowControl()));
    break;
  case TStoredGroup::sgCharHandling:
    T.WriteText("EventChar", CharToText(Port.EventChar()));
    T.WriteText("DiscardNull", FlagToText(Port.DiscardNull()));
    break;
  case TStoredGroup::sgParityDetails:
    T.WriteText("Parity.Check", FlagToText(Port.Parity().Check()));
    T.WriteText("Parity.Replace", FlagToText(Port.Parity().Replace()));
    T.WriteText("Parity.ReplaceChar", CharToText(Port.Parity().ReplaceChar()));
    break;
  case TStoredGroup::sgBufferSizes:
    T.WriteInteger("Buffer.OutputSize", Port.Buffer().OutputSize());
    T.WriteInteger("Buffer.InputSize", Port.Buffer().InputSize());
    break;
  case TStoredGroup::sgTimeouts: {
    const TComTimeouts& Timeouts = Port.Timeouts();
    T.WriteInteger("Timeouts.ReadInterval", Timeouts.ReadInterval());
    T.WriteInteger("Timeouts.ReadTotalConstant", Timeouts.ReadTotalConstant());
    T.WriteInteger("Timeouts.ReadTotalMultiplier", Timeouts.ReadTotalMultiplier());
    T.WriteInteger("Timeouts.WriteTotalConstant", Timeouts.WriteTotalConstant());
    T.WriteInteger("Timeouts.WriteTotalMultiplier", Timeouts.WriteTotalMultiplier());
    break;
  }
  case TStoredGroup::sgFlowDetails: {
    const TComFlowControl& Flow = Port.FlowControl();
    T.WriteText("FlowControl.ControlRTS", RTSControlToText(Flow.ControlRTS()));
    T.WriteText("FlowControl.ControlDTR", DTRControlToText(Flow.ControlDTR()));
    T.WriteText("FlowControl.DSRSensitivity", FlagToText(Flow.DSRSensitivity()));
    T.WriteText("FlowControl.OutCTSFlow", FlagToText(Flow.OutCTSFlow()));
    T.WriteText("FlowControl.OutDSRFlow", FlagToText(Flow.OutDSRFlow()));
    T.WriteText("FlowControl.TxContinueOnXoff", FlagToText(Flow.TxContinueOnXoff()));
    T.WriteText("FlowControl.XonXoffIn", FlagToText(Flow.XonXoffIn()));
    T.WriteText("FlowControl.XonXoffOut", FlagToText(Flow.XonXoffOut()));
    T.WriteText("FlowControl.XoffChar", CharToText(Flow.XoffChar()));
    T.WriteText("FlowControl.XonChar", CharToText(Flow.XonChar()));
    break;
  }
  }
}

// Each value is applied through its setter as soon as it is read, so a later
// key sees what an earlier one did (the custom rate only after "Custom").
void LoadGroup(TCustomComPort& Port, TStoredGroup Group, TSettingsTarget& T) {
  switch (Group) {
  case TStoredGroup::sgLine:
    Port.SetPort(T.ReadText("Port", Port.Port()));
    Port.SetBaudRate(TextToBaudRate(T.ReadText("BaudRate", BaudRateToText(Port.BaudRate()))));
    // A stored "Custom" without its rate means 9600, whatever the port held.
    if (Port.BaudRate() == TBaudRate::brCustom)
      Port.SetCustomBaudRate(T.ReadInteger("CustomBaudRate", 9600));
    Port.SetStopBits(TextToStopBits(T.ReadText("StopBits", StopBitsToText(Port.StopBits()))));
    Port.SetDataBits(TextToDataBits(T.ReadText("DataBits", DataBitsToText(Port.DataBits()))));
    Port.Parity().SetBits(TextToParity(T.ReadText("Parity", ParityToText(Port.Parity().Bits()))));
    // A preset overwrites the flow fields it governs; "Custom" keeps them.
    Port.FlowControl().SetFlowControl(TextToFlowControl(
        T.ReadText("FlowControl", FlowControlToText(Port.FlowControl().FlowControl()))));
    break;
  case TStoredGroup::sgCharHandling:
    Port.SetEventChar(TextToChar(T.ReadText("EventChar", CharToText(Port.EventChar()))));
    Port.SetDiscardNull(TextToFlag(T.ReadText("DiscardNull", FlagToText(Port.DiscardNull()))));
    break;
  case TStoredGroup::sgParityDetails: {
    TComParity& Parity = Port.Parity();
    Parity.SetCheck(TextToFlag(T.ReadText("Parity.Check", FlagToText(Parity.Check()))));
    Parity.SetReplace(TextToFlag(T.ReadText("Parity.Replace", FlagToText(Parity.Replace()))));
    Parity.SetReplaceChar(
        TextToChar(T.ReadText("Parity.ReplaceChar", CharToText(Parity.ReplaceChar()))));
    break;
  }
  case TStoredGroup::sgBufferSizes: {
    TComBuffer& Buffer = Port.Buffer();
    Buffer.SetOutputSize(T.ReadInteger("Buffer.OutputSize", Buffer.OutputSize()));
    Buffer.SetInputSize(T.ReadInteger("Buffer.InputSize", Buffer.InputSize()));
    break;
  }
  case TStoredGroup::sgTimeouts: {
    TComTimeouts& Timeouts = Port.Timeouts();
    Timeouts.SetReadInterval(T.ReadInteger("Timeouts.ReadInterval", Timeouts.ReadInterval()));
    Timeouts.SetReadTotalConstant(
        T.ReadInteger("Timeouts.ReadTotalConstant", Timeouts.ReadTotalConstant()));
    Timeouts.SetReadTotalMultiplier(
        T.ReadInteger("Timeouts.ReadTotalMultiplier", Timeouts.ReadTotalMultiplier()));
    Timeouts.SetWriteTotalConstant(
        T.ReadInteger("Timeouts.WriteTotalConstant", Timeouts.WriteTotalConstant()));
    Timeouts.SetWriteTotalMultiplier(
        T.ReadInteger("Timeouts.WriteTotalMultiplier", Timeouts.WriteTotalMultiplier()));
    break;
  }
  case TStoredGroup::sgFlowDetails: {
    TComFlowControl& Flow = Port.FlowControl();
    Flow.SetControlRTS(TextToRTSControl(
        T.ReadText("FlowControl.ControlRTS", RTSControlToText(Flow.ControlRTS()))));
    Flow.SetControlDTR(TextToDTRControl(
        T.ReadText("FlowControl.ControlDTR", DTRControlToText(Flow.ControlDTR()))));
    Flow.SetDSRSensitivity(
        TextToFlag(T.ReadText("FlowControl.DSRSensitivity", FlagToText(Flow.DSRSensitivity()))));
    Flow.SetOutCTSFlow(
        TextToFlag(T.ReadText("FlowControl.OutCTSFlow", FlagToText(Flow.OutCTSFlow()))));
    Flow.SetOutDSRFlow(
        TextToFlag(T.ReadText("FlowControl.OutDSRFlow", FlagToText(Flow.OutDSRFlow()))));
    Flow.SetTxContinueOnXoff(TextToFlag(
        T.ReadText("FlowControl.TxContinueOnXoff", FlagToText(Flow.TxContinueOnXoff()))));
    Flow.SetXonXoffIn(
        TextToFlag(T.ReadText("FlowControl.XonXoffIn", FlagToText(Flow.XonXoffIn()))));
    Flow.SetXonXoffOut(
        TextToFlag(T.ReadText("FlowControl.XonXoffOut", FlagToText(Flow.XonXoffOut()))));
    Flow.SetXoffChar(TextToChar(T.ReadText("FlowControl.XoffChar", CharToText(Flow.XoffChar()))));
    Flow.SetXonChar(TextToChar(T.ReadText("FlowControl.XonChar", CharToText(Flow.XonChar()))));
    break;
  }
  }
}

void StoreGroups(const TCustomComPort& Port, TSettingsTarget& Target) {
  for (TStoredGroup Group : GroupOrder)
    if (Port.StoredGroups().Contains(Group))
      StoreGroup(Port, Group, Target);
}

void LoadGroups(TCustomComPort& Port, TSettingsTarget& Target) {
  for (TStoredGroup Group : GroupOrder)
    if (Port.StoredGroups().Contains(Group))
      LoadGroup(Port, Group, Target);
}

} // namespace

void TCustomComPort::SaveToRegistryKey(TRegistryKey& Registry) {
  TRegistryTarget Target(Registry);
  StoreGroups(*this, Target);
}

void TCustomComPort::SaveToIniSection(TIniFile& Ini) {
  TIniTarget Target(Ini, Name());
  StoreGroups(*this, Target);
}

void TCustomComPort::LoadFromRegistryKey(TRegistryKey& Registry) {
  TRegistryTarget Target(Registry);
  LoadGroups(*this, Target);
}

void TCustomComPort::LoadFromIniSection(TIniFile& Ini) {
  TIniTarget Target(Ini, Name());
  LoadGroups(*this, Target);
}
