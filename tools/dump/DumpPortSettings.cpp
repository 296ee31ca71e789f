#include "tools/dump/DumpPortSettings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Format.h"
#include "base/IniFile.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"
#include "cport/CPort.h"
#include "cport/ComPortStorage.h"

const char* const DumpPortName = "ComPort";

void ApplyDumpPortSettings(TComPort& Port, const TDumpOptions& Options) {
  Port.SetName(DumpPortName);
  Port.SetBaudRate(TBaudRate::br57600);
  Port.Parity().SetBits(TParityBits::prNone);
  Port.SetStopBits(TStopBits::sbOneStopBit);
  Port.SetDataBits(TDataBits::dbEight);
  Port.Buffer().SetInputSize(1024);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetControlDTR(TDTRFlowControl::dtrDisable);
  Flow.SetControlRTS(TRTSFlowControl::rtsEnable);
  Flow.SetOutCTSFlow(false);
  Flow.SetOutDSRFlow(false);
  Flow.SetXonXoffOut(false);
  Flow.SetXonXoffIn(false);
  Port.SetStoredGroups({TStoredGroup::sgLine, TStoredGroup::sgFlowDetails,
                        TStoredGroup::sgBufferSizes, TStoredGroup::sgTimeouts,
                        TStoredGroup::sgParityDetails, TStoredGroup::sgCharHandling});

  if (!Options.SettingsFile.empty()) {
    // A settings file that is not there would silently leave every setting
    // as it is; the user named it, so say that it cannot be read.
    std::string Nothing, Reason;
    std::uint64_t Size = 0;
    if (ReadRegularFile(Options.SettingsFile, 0, 0, Nothing, Size, Reason) != TReadResult::rrOk)
      throw ESettingsInput("cannot read settings \"" + Options.SettingsFile + "\": " + Reason);
    TIniFile Ini(Options.SettingsFile);
    Port.LoadFromIniSection(Ini);
  }
  if (!Options.SaveSettingsFile.empty())
    SaveSettingsWhole(Port, Options.SaveSettingsFile);
}

void SaveSettingsWhole(TComPort& Port, const std::string& FileName) {
  // The port stores its groups key by key; they go to a scratch copy of the
  // file first, so that the file itself changes once, with every key or none.
  std::string Contents, Reason;
  std::uint64_t Size = 0;
  const TReadResult Read =
      ReadRegularFile(FileName, 0, MaxSettingsFileSize + 1, Contents, Size, Reason);
  if (Read != TReadResult::rrOk && Read != TReadResult::rrMissing)
    throw Exception(Format(LoadResString(SCannotCreateFile), {FileName, Reason}));
  if (Contents.size() > MaxSettingsFileSize)
    throw Exception(Format(LoadResString(SCannotCreateFile), {FileName, SystemErrorText(EFBIG)}));
  // A name nobody can guess, made new: a link planted beside the file is never
  // written through.
  const std::string Scratch = CreateScratchFile(FileName);
  struct TRemove {
    const std::string& Name;
    ~TRemove() { std::remove(Name.c_str()); }
  } RemoveScratch{Scratch};
  SaveFileWhole(Scratch, Contents);
  TIniFile Ini(Scratch);
  Port.SaveToIniSection(Ini);
  if (ReadRegularFile(Scratch, 0, MaxSettingsFileSize + 1, Contents, Size, Reason) !=
      TReadResult::rrOk)
    throw Exception(Format(LoadResString(SCannotWriteFile), {FileName, Reason}));
  SaveFileWhole(FileName, Contents);
}

std::string DescribeLineSettings(const TComPort& Port) {
  std::string Text = "Port=" + Port.Port() + " BaudRate=" + BaudRateToText(Port.BaudRate());
  if (Port.BaudRate() == TBaudRate::brCustom)
    Text += " CustomBaudRate=" + std::to_string(Port.CustomBaudRate());
  Text += " DataBits=" + DataBitsToText(Port.DataBits()) +
          " Parity=" + ParityToText(Port.Parity().Bits()) +
          " StopBits=" + StopBitsToText(Port.StopBits()) +
          " FlowControl=" + FlowControlToText(Port.FlowControl().FlowControl());
  return Text;
}
