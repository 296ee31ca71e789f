#include "cport/ComPortStorage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "base/Environment.h"
#include "base/IniFile.h"
#include "base/Registry.h"
#include "cport/CPort.h"
#include "tests/TestUtil.h"
#include "tests/cport/CPortTestUtil.h"
#include "tests/cport/PortSettingsListing.h"

namespace {

const TStoredGroups AllGroups{TStoredGroup::sgLine,          TStoredGroup::sgFlowDetails,
                              TStoredGroup::sgBufferSizes,   TStoredGroup::sgTimeouts,
                              TStoredGroup::sgParityDetails, TStoredGroup::sgCharHandling};

// A port with a value other than the initial one in every stored setting.
void SetEverySetting(TCustomComPort& Port) {
  Port.SetPort("/dev/ttyUSB1");
  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(31250);
  Port.SetStopBits(TStopBits::sbOne5StopBits);
  Port.SetDataBits(TDataBits::dbSeven);
  Port.SetDiscardNull(true);
  Port.SetEventChar(13);
  Port.Parity().SetBits(TParityBits::prSpace);
  Port.Parity().SetCheck(true);
  Port.Parity().SetReplace(true);
  Port.Parity().SetReplaceChar('?');
  Port.Buffer().SetInputSize(4096);
  Port.Buffer().SetOutputSize(-3);
  Port.Timeouts().SetReadInterval(5);
  Port.Timeouts().SetReadTotalMultiplier(6);
  Port.Timeouts().SetReadTotalConstant(7);
  Port.Timeouts().SetWriteTotalMultiplier(-1);
  Port.Timeouts().SetWriteTotalConstant(INT32_MAX);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetOutCTSFlow(true);
  Flow.SetOutDSRFlow(true);
  Flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  Flow.SetControlRTS(TRTSFlowControl::rtsToggle);
  Flow.SetXonXoffOut(true);
  Flow.SetDSRSensitivity(true);
  Flow.SetTxContinueOnXoff(true);
  Flow.SetXonChar('Q');
  Flow.SetXoffChar(200);
}

} // namespace

// Every value of every enumeration reads back from its text, and unmatched
// texts take the fallback.
TEST(ComPortStorage, EnumerationTextsAndFallbacks) {
  const std::vector<std::string> Rates = {"Custom", "110",    "300",    "600",   "1200",  "2400",
                                          "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                          "57600",  "115200", "128000", "256000"};
  for (std::size_t i = 0; i < Rates.size(); ++i) {
    EXPECT_EQ(BaudRateToText(static_cast<TBaudRate>(i)), Rates[i]);
    EXPECT_EQ(TextToBaudRate(Rates[i]), static_cast<TBaudRate>(i));
  }
  struct Row {
    std::vector<std::string> Texts; // by ordinal
    std::string (*ToText)(int);
    int (*FromText)(std::string_view);
    std::vector<std::pair<std::string, int>> Reads; // text, ordinal it gives
  };
#define ENUM_FUNCS(T, To, From)                                                                    \
  [](int V) { return To(static_cast<T>(V)); },                                                     \
      [](std::string_view S) { return static_cast<int>(From(S)); }
  const Row Rows[] = {
      {{"Custom"},
       ENUM_FUNCS(TBaudRate, BaudRateToText, TextToBaudRate),
       {{"custom", 0}, {"57601", 7}, {"", 7}, {" 57600", 7}, {"57600 ", 7}, {"0", 7}}},
      {{"1", "1.5", "2"},
       ENUM_FUNCS(TStopBits, StopBitsToText, TextToStopBits),
       {{"3", 0}, {"1,5", 0}, {"", 0}}},
      {{"5", "6", "7", "8"},
       ENUM_FUNCS(TDataBits, DataBitsToText, TextToDataBits),
       {{"9", 3}, {"4", 3}, {"", 3}}},
      {{"None", "Odd", "Even", "Mark", "Space"},
       ENUM_FUNCS(TParityBits, ParityToText, TextToParity),
       {{"none", 0}, {"NONE", 0}, {"eVeN", 2}, {" Even", 0}, {"Evens", 0}}},
      {{"Hardware", "Software", "None", "Custom"},
       ENUM_FUNCS(TFlowControl, FlowControlToText, TextToFlowControl),
       {{"HARDWARE", 0}, {"RTS/CTS", 3}, {"", 3}}},
      {{"Disable", "Enable", "Handshake"},
       ENUM_FUNCS(TDTRFlowControl, DTRControlToText, TextToDTRControl),
       {{"handshake", 2}, {"Toggle", 0}, {"", 0}}},
      {{"Disable", "Enable", "Handshake", "Toggle"},
       ENUM_FUNCS(TRTSFlowControl, RTSControlToText, TextToRTSControl),
       {{"TOGGLE", 3}, {"On", 0}, {"", 0}}},
  };
#undef ENUM_FUNCS
  for (const auto& R : Rows) {
    for (std::size_t i = 0; i < R.Texts.size(); ++i) {
      EXPECT_EQ(R.ToText(static_cast<int>(i)), R.Texts[i]);
      EXPECT_EQ(R.FromText(R.Texts[i]), static_cast<int>(i)) << R.Texts[i];
    }
    for (const auto& [Text, Ordinal] : R.Reads)
      EXPECT_EQ(R.FromText(Text), Ordinal) << "'" << Text << "' after " << R.Texts[0];
  }
}

TEST(ComPortStorage, FlagTexts) {
  EXPECT_EQ(FlagToText(true), "Yes");
  EXPECT_EQ(FlagToText(false), "No");
  for (const char* Text : {"Yes", "YES", "yes", "yEs"})
    EXPECT_TRUE(TextToFlag(Text)) << Text;
  for (const char* Text : {"No", "", "Y", "true", "1", " Yes", "Yes!"})
    EXPECT_FALSE(TextToFlag(Text)) << Text;
}

TEST(ComPortStorage, CharacterTexts) {
  const std::pair<int, const char*> Written[] = {
      {0, "#0"}, {13, "#13"}, {17, "#17"},   {32, "#32"},   {33, "!"},
      {35, "#"}, {126, "~"},  {127, "\x7f"}, {128, "#128"}, {255, "#255"}};
  for (const auto& [Code, Text] : Written)
    EXPECT_EQ(CharToText(static_cast<std::uint8_t>(Code)), Text) << Code;
  const std::pair<const char*, int> Read[] = {
      {"#17", 17},   {"#300", 44}, {"#x", 0},      {"#", '#'},  {"Q", 'Q'},          {"", 0},
      {"Quit", 'Q'}, {"#-1", 255}, {"#$41", 0x41}, {"#1 7", 0}, {"#99999999999", 0}, {"##", 0}};
  for (const auto& [Text, Code] : Read)
    EXPECT_EQ(TextToChar(Text), Code) << "'" << Text << "'";
  for (int Code = 0; Code < 256; ++Code)
    EXPECT_EQ(TextToChar(CharToText(static_cast<std::uint8_t>(Code))), Code);
}

TEST(ComPortStorage, LineGroupWritesItsKeysInOrder) {
  TTempDir Dir;
  TIniFile Ini(Dir.File("port.ini"));
  TComPort Port;
  Port.SetName("ComPort1");
  Port.SaveToIniSection(Ini);
  EXPECT_EQ(Ini.ReadSection("ComPort1"),
            (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits", "Parity",
                                      "FlowControl"}));
  EXPECT_EQ(ReadTextFile(Ini.FileName()), "[ComPort1]\nPort=COM1\nBaudRate=9600\nStopBits=1\n"
                                          "DataBits=8\nParity=None\nFlowControl=None\n");

  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(250000);
  Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable); // no preset any more
  std::filesystem::remove(Ini.FileName());
  Port.SaveToIniSection(Ini);
  EXPECT_EQ(Ini.ReadSection("ComPort1"),
            (std::vector<std::string>{"Port", "BaudRate", "CustomBaudRate", "StopBits", "DataBits",
                                      "Parity", "FlowControl"}));
  EXPECT_EQ(Ini.ReadString("ComPort1", "BaudRate", ""), "Custom");
  EXPECT_EQ(Ini.ReadInteger("ComPort1", "CustomBaudRate", 0), 250000);
  EXPECT_EQ(Ini.ReadString("ComPort1", "FlowControl", ""), "Custom");
}

TEST(ComPortStorage, EveryGroupRoundTripsThroughIniAndRegistry) {
  TComPort Source;
  Source.SetName("Line");
  SetEverySetting(Source);
  Source.SetStoredGroups(AllGroups);
  const std::string Expected = PortSettingsListing(Source);
  ASSERT_NE(Expected, PortSettingsListing(TComPort()));

  TTempDir Dir;
  TIniFile Ini(Dir.File("port.ini"));
  Source.SaveToIniSection(Ini);
  TComPort FromIni;
  FromIni.SetName("line"); // sections match without regard to case
  FromIni.SetStoredGroups(AllGroups);
  FromIni.LoadFromIniSection(Ini);
  EXPECT_EQ(PortSettingsListing(FromIni), Expected);
  EXPECT_EQ(Ini.ReadString("Line", "EventChar", ""), "#13");
  EXPECT_EQ(Ini.ReadString("Line", "FlowControl.XoffChar", ""), "#200");

  TMemRegistryKey Key;
  Source.SaveToRegistryKey(Key);
  EXPECT_EQ(Key.ValueKind("Port"), rkString);
  EXPECT_EQ(Key.ValueKind("CustomBaudRate"), rkInteger);
  EXPECT_EQ(Key.ValueKind("Timeouts.ReadInterval"), rkInteger);
  EXPECT_EQ(Key.ValueNames().size(), 29u); // 7 + 2 + 3 + 2 + 5 + 10
  TComPort FromKey;
  FromKey.SetStoredGroups(AllGroups);
  FromKey.LoadFromRegistryKey(Key);
  EXPECT_EQ(PortSettingsListing(FromKey), Expected);
}

// The platform's own registry (the system's on Windows, the settings file under
// $XDG_CONFIG_HOME elsewhere, here a folder of the test's own): what one key
// object stored, a key opened afresh gives back whole.
TEST(ComPortStorage, EveryGroupSurvivesThePlatformsRegistry) {
  TTempDir Home;
  const char* OldHome = std::getenv("XDG_CONFIG_HOME");
  const std::string KeptHome = OldHome ? OldHome : "";
  ASSERT_TRUE(SetEnvironmentValue("XDG_CONFIG_HOME", Home.Path().string()));
  std::random_device Random;
  const std::string Path = "Software\\HXT24 Tests\\ComPortStorage " + std::to_string(Random()) +
                           std::to_string(Random());
  TComPort Source;
  SetEverySetting(Source);
  Source.SetStoredGroups(AllGroups);
  {
    auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, Path);
    ASSERT_TRUE(Key);
    Source.SaveToRegistryKey(*Key);
  }
  {
    auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, Path, true);
    ASSERT_TRUE(Key);
    TComPort Fresh;
    Fresh.SetStoredGroups(AllGroups);
    Fresh.LoadFromRegistryKey(*Key);
    EXPECT_EQ(PortSettingsListing(Fresh), PortSettingsListing(Source));
  }
  EXPECT_TRUE(DeleteRegistryKey(TRegRoot::rrCurrentUser, Path));
  if (OldHome)
    SetEnvironmentValue("XDG_CONFIG_HOME", KeptHome);
  else
    RemoveEnvironmentValue("XDG_CONFIG_HOME");
}

// Only the stored groups are written and read; the others stay as they were.
TEST(ComPortStorage, OnlyStoredGroupsTakePart) {
  TComPort Source;
  SetEverySetting(Source);
  Source.SetStoredGroups({TStoredGroup::sgTimeouts, TStoredGroup::sgCharHandling});
  TMemRegistryKey Key;
  Source.SaveToRegistryKey(Key);
  EXPECT_EQ(Key.ValueNames(), (std::vector<std::string>{
                                  "EventChar", "DiscardNull", "Timeouts.ReadInterval",
                                  "Timeouts.ReadTotalConstant", "Timeouts.ReadTotalMultiplier",
                                  "Timeouts.WriteTotalConstant", "Timeouts.WriteTotalMultiplier"}));
  TComPort Target;
  Target.SetStoredGroups(Source.StoredGroups());
  Target.LoadFromRegistryKey(Key);
  EXPECT_EQ(Target.EventChar(), 13);
  EXPECT_EQ(Target.Timeouts().WriteTotalConstant(), INT32_MAX);
  EXPECT_EQ(Target.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(Target.Buffer().InputSize(), 1024);
}

TEST(ComPortStorage, IniLoadKeepsWhatIsMissingOrUnmatched) {
  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  TComPort Port;
  Port.SetName("P");
  SetEverySetting(Port);
  Port.SetStoredGroups(AllGroups);
  const std::string Before = PortSettingsListing(Port);

  // An empty section changes nothing but the custom rate: "Custom" (kept as
  // it was) without a stored rate means 9600.
  WriteTextFile(Name, "[P]\n");
  TIniFile Ini(Name);
  Port.LoadFromIniSection(Ini);
  EXPECT_EQ(Port.CustomBaudRate(), 9600);
  Port.SetCustomBaudRate(31250);
  EXPECT_EQ(PortSettingsListing(Port), Before);

  // Garbage integers keep their setting too; an unmatched flow preset keeps
  // the flow fields.
  WriteTextFile(Name, "[P]\nBuffer.InputSize=lots\nTimeouts.ReadInterval=\nFlowControl=Bogus\n"
                      "CustomBaudRate=31250\n");
  Port.LoadFromIniSection(Ini);
  EXPECT_EQ(PortSettingsListing(Port), Before);

  WriteTextFile(Name, "[P]\nBaudRate=57601\nStopBits=3\nDataBits=9\nParity=EVEN\n"
                      "FlowControl.XonChar=#300\nFlowControl.XoffChar=#x\nEventChar=\n");
  Port.LoadFromIniSection(Ini);
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(Port.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prEven);
  EXPECT_EQ(Port.FlowControl().XonChar(), 44);
  EXPECT_EQ(Port.FlowControl().XoffChar(), 0);
  EXPECT_EQ(Port.EventChar(), 0);
  EXPECT_TRUE(Port.FlowControl().OutDSRFlow()); // its key is missing
  EXPECT_EQ(Port.CustomBaudRate(), 31250);      // not read: the rate is not Custom
}

TEST(ComPortStorage, CustomRateWithoutItsValueMeans9600) {
  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  WriteTextFile(Name, "[P]\nBaudRate=custom\n");
  TIniFile Ini(Name);
  TComPort Port;
  Port.SetName("P");
  Port.SetCustomBaudRate(31250);
  Port.LoadFromIniSection(Ini);
  EXPECT_EQ(Port.BaudRate(), TBaudRate::brCustom);
  EXPECT_EQ(Port.CustomBaudRate(), 9600);
}

// A preset in the line group rewrites the flow fields it governs; the flow
// details, read later, win over it.
TEST(ComPortStorage, FlowPresetThenFlowDetails) {
  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  TIniFile Ini(Name);
  TComPort Port;
  Port.SetName("P");
  Port.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable);
  Port.FlowControl().SetXonXoffIn(true);

  WriteTextFile(Name, "[P]\nFlowControl=Hardware\n");
  Port.LoadFromIniSection(Ini);
  EXPECT_EQ(Port.FlowControl().FlowControl(), TFlowControl::fcHardware);
  EXPECT_FALSE(Port.FlowControl().XonXoffIn());
  EXPECT_EQ(Port.FlowControl().ControlDTR(), TDTRFlowControl::dtrEnable);

  WriteTextFile(Name, "[P]\nFlowControl=Software\nFlowControl.XonXoffOut=No\n"
                      "FlowControl.ControlRTS=Enable\n");
  Port.SetStoredGroups({TStoredGroup::sgLine, TStoredGroup::sgFlowDetails});
  Port.LoadFromIniSection(Ini);
  EXPECT_TRUE(Port.FlowControl().XonXoffIn());
  EXPECT_FALSE(Port.FlowControl().XonXoffOut());
  EXPECT_FALSE(Port.FlowControl().OutCTSFlow());
  EXPECT_EQ(Port.FlowControl().ControlRTS(), TRTSFlowControl::rtsEnable);
  EXPECT_EQ(Port.FlowControl().FlowControl(), TFlowControl::fcCustom);
}

TEST(ComPortStorage, RegistryLoadWithoutDefaults) {
  TComPort Source;
  SetEverySetting(Source);
  Source.SetStoredGroups(AllGroups);
  TMemRegistryKey Key;
  Source.SaveToRegistryKey(Key);

  // A missing integer ends the load; the groups before it stay applied.
  ASSERT_TRUE(Key.DeleteValue("Buffer.OutputSize"));
  TComPort Port;
  Port.SetStoredGroups(AllGroups);
  EXPECT_EXCEPTION_MESSAGE(Port.LoadFromRegistryKey(Key),
                           "Failed to get data for 'Buffer.OutputSize'");
  EXPECT_EQ(Port.CustomBaudRate(), 31250);     // sgLine
  EXPECT_EQ(Port.EventChar(), 13);             // sgCharHandling
  EXPECT_EQ(Port.Parity().ReplaceChar(), '?'); // sgParityDetails
  EXPECT_EQ(Port.Buffer().InputSize(), 1024);  // after the failure
  EXPECT_EQ(Port.Timeouts().ReadInterval(), -1);
  EXPECT_FALSE(Port.FlowControl().OutDSRFlow());

  // A missing text reads as empty: the fallback value, an empty port name.
  TMemRegistryKey Line;
  Line.WriteString("StopBits", "2");
  Line.WriteString("DataBits", "7");
  Line.WriteString("Parity", "Odd");
  Line.WriteString("FlowControl", "Hardware");
  TComPort Other;
  Other.SetBaudRate(TBaudRate::br57600);
  Other.LoadFromRegistryKey(Line);
  EXPECT_EQ(Other.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(Other.Port(), "");
  EXPECT_EQ(Other.StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_EQ(Other.FlowControl().FlowControl(), TFlowControl::fcHardware);

  // "Custom" needs its rate in a key.
  Line.WriteString("BaudRate", "Custom");
  EXPECT_EXCEPTION_MESSAGE(Other.LoadFromRegistryKey(Line),
                           "Failed to get data for 'CustomBaudRate'");
  // A rate stored as text is the wrong kind.
  Line.WriteString("CustomBaudRate", "1");
  EXPECT_EXCEPTION_MESSAGE(Other.LoadFromRegistryKey(Line),
                           "Invalid data type for 'CustomBaudRate'");
}

TEST(ComPortStorage, RefusedWritesFail) {
  TComPort Port;
  Port.SetName("P");
  TMemRegistryKey Key(true);
  EXPECT_EXCEPTION_MESSAGE(Port.SaveToRegistryKey(Key), "Failed to set data for 'Port'");

  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  WriteTextFile(Name, "[P]\nPort=COM7\n");
  std::filesystem::permissions(Name, std::filesystem::perms(0444));
  TIniFile Ini(Name);
  EXPECT_EXCEPTION_MESSAGE(Port.SaveToIniSection(Ini), "Unable to write to " + Name);
  EXPECT_EQ(ReadTextFile(Name), "[P]\nPort=COM7\n");
}

// On an open port every value read goes to the device at once through its
// setter; a refused one ends the load, stored but not applied, and nothing
// after it is read.
class ComPortStorageOpen : public TFakePortTest {};

TEST_F(ComPortStorageOpen, ValuesReachTheDeviceOneByOneAndARefusalEndsTheLoad) {
  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  WriteTextFile(Name, "[P]\nPort=COM1\nBaudRate=57600\nStopBits=2\nDataBits=7\n");
  TIniFile Ini(Name);
  Port.SetName("P");
  Port.OpenPort();
  Fake.ClearCalls();
  Fake.FailCall("SetCommState", 2, 87);
  try {
    Port.LoadFromIniSection(Ini);
    ADD_FAILURE() << "the refused state did not end the load";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), peSetStateFailed);
  }
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br57600);
  EXPECT_EQ(Port.StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(Fake.States().back().BaudRate, 57600u);
  Port.ClosePort();
}
