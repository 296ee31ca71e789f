#include "app/MainFrm.h"

#include "base/ExceptionDisplay.h"
#include "base/ExePath.h"
#include "base/IniFile.h"
#include "base/InstallPaths.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "scope/PixelImage.h"
#include "scope/ScopeExport.h"
#include "scope/ScopeRenderer.h"

#include <stdexcept>

namespace {

constexpr char SettingsSection[] = "Settings";

// Closes Port. A device that has gone away (cable pulled, the other end hung
// up) refuses the purge that closing starts with; the port is closed all the
// same, and the event thread's failed wait has told the user already. One
// vanished device gives one box, so that refusal is not shown again.
void ClosePortOf(TComPort& Port) {
  try {
    Port.ClosePort();
  } catch (const EComPort& E) {
    if (Port.Connected() || E.ErrorCode() != pePurgeFailed)
      throw;
  }
}

} // namespace

int CheckedWindowSize(std::int32_t Value, int Min, int Designed) {
  return Value < Min || Value > TMainForm::MaxSize ? Designed : static_cast<int>(Value);
}

TMainForm::TMainForm(TMainView& View, const std::string& IniFileName)
    : FView(View), FIniFileName(IniFileName) {
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::FormCreate() {
  // The scope's line: 57600 8N1, a 1 KiB input queue, DTR off and RTS on, no
  // flow control. Applied in this order, each through its setter.
  FComPort = std::make_unique<TComPort>();
  FComPort->SetBaudRate(TBaudRate::br57600);
  FComPort->Parity().SetBits(TParityBits::prNone);
  FComPort->SetStopBits(TStopBits::sbOneStopBit);
  FComPort->SetDataBits(TDataBits::dbEight);
  FComPort->Buffer().SetInputSize(1024);
  FComPort->FlowControl().SetControlDTR(TDTRFlowControl::dtrDisable);
  FComPort->FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
  FComPort->FlowControl().SetOutCTSFlow(false);
  FComPort->FlowControl().SetOutDSRFlow(false);
  FComPort->FlowControl().SetXonXoffOut(false);
  FComPort->FlowControl().SetXonXoffIn(false);

  FLink.Receiver.SetSource(&FPortSource);
  FLink.State.OnPanelChange = [this](int Index, const std::string& Text) {
    FView.SetPanelText(Index, Text);
  };
  // The picture must be on the screen before the frame handler returns.
  FLink.State.OnRepaint = [this] {
    if (FRenderer)
      FView.RepaintScope();
  };
  ResetTrace();

  FIniFile = std::make_unique<TIniFile>(FIniFileName);
  const int Width = FIniFile->ReadInteger(SettingsSection, "Width", FView.WindowWidth());
  FView.SetWindowSize(CheckedWindowSize(Width, MinWidth, DesignedWidth), FView.WindowHeight());
  const int Height = FIniFile->ReadInteger(SettingsSection, "Height", FView.WindowHeight());
  FView.SetWindowSize(FView.WindowWidth(), CheckedWindowSize(Height, MinHeight, DesignedHeight));
  const auto ReadColor = [this](const char* Key, std::uint32_t Default) {
    const auto Value =
        FIniFile->ReadInteger(SettingsSection, Key, static_cast<std::int32_t>(Default));
    return static_cast<std::uint32_t>(Value) & 0xFFFFFFu;
  };
  FTraceColor = ReadColor("TraceColor", TScopeRenderer::DefaultTraceColor);
  FGridColor = ReadColor("GridColor", TScopeRenderer::DefaultGridColor);
  FBackColor = ReadColor("BackColor", TScopeRenderer::DefaultBackColor);

  FRenderer = std::make_unique<TScopeRenderer>();
  FRenderer->SetColors(FTraceColor, FGridColor, FBackColor);

  FComPort->SetOnRxChar([this](TObject*, std::int32_t Count) { ComPortRxChar(Count); });
  SetMenuState(false);
}

void TMainForm::FormDestroy() {
  // The port goes first: its event thread must be gone before anything it
  // could deliver to.
  try {
    ClosePortOf(*FComPort);
  } catch (const std::exception& E) {
    ShowException(E);
  }
  FComPort.reset();
  FIniFile.reset();
  FRenderer.reset();
}

int TMainForm::TPortByteSource::ReadBytes(void* Buffer, int Count) {
  return FForm.FComPort->ReadBytes(Buffer, Count);
}

void TMainForm::ComPortRxChar(std::int32_t Count) {
  FLink.ComPortRxChar(Count);
}

void TMainForm::ResetTrace() {
  FLink.State.ResetTrace();
}

void TMainForm::SetMenuState(bool Connected) {
  FConnectEnabled = !Connected;
  FDisconnectEnabled = Connected;
  FView.SetCommandEnabled(TMainCommand::mcConnect, FConnectEnabled);
  FView.SetCommandEnabled(TMainCommand::mcDisconnect, FDisconnectEnabled);
}

void TMainForm::UpdateMenuState() {
  const bool Connected = FComPort->Connected();
  SetMenuState(Connected);
  if (!Connected)
    ResetTrace();
}

bool TMainForm::CommandEnabled(TMainCommand Command) const {
  return Command == TMainCommand::mcConnect ? FConnectEnabled : FDisconnectEnabled;
}

const std::string& TMainForm::PanelText(int Index) const {
  static const std::string Never; // panels 7 to 9 are never written
  if (Index < 0 || Index >= PanelCount)
    throw std::out_of_range("no status bar panel " + std::to_string(Index));
  return Index < ScopePanelCount ? FLink.State.Panel(Index) : Never;
}

const TPixelImage& TMainForm::ScopePaint() {
  return FRenderer->ScopePaint(FLink.State.Samples(), FView.ScopeWidth(), FView.ScopeHeight());
}

void TMainForm::itConnectClick() {
  if (!FConnectEnabled)
    return;
  std::string Name = FPortName;
  const bool Ok = FView.AskPortName(Name);
  FPortName = Name;
  if (Ok) {
    ConnectTo(Name);
    return;
  }
  UpdateMenuState();
}

void TMainForm::ConnectTo(const std::string& PortName) {
  FPortName = PortName;
  FComPort->SetPort(PortName);
  try {
    FComPort->OpenPort();
  } catch (...) {
    // A port that failed after it was opened (say, while reporting its
    // signals) is connected all the same: the menu must let the user close it.
    if (FComPort->Connected())
      UpdateMenuState();
    throw;
  }
  UpdateMenuState();
}

void TMainForm::itDisconnectClick() {
  if (!FDisconnectEnabled)
    return;
  try {
    ClosePortOf(*FComPort);
  } catch (...) {
    // A close that failed after the port was closed: the window follows.
    if (!FComPort->Connected())
      UpdateMenuState();
    throw;
  }
  UpdateMenuState();
}

void TMainForm::itExitClick() {
  FView.CloseMainWindow();
}

void TMainForm::itAboutClick() {
  FView.ShowAbout();
}

std::string TMainForm::SaveFolder(TUserFolder Folder) const {
  // The executable's folder when this user may write there (a build tree, an
  // unpacked folder), else the user's pictures or documents folder, else home.
  return SaveStartFolderFor(ExecutableDir(), FView.UserFolder(Folder),
                            FView.UserFolder(TUserFolder::ufHome));
}

void TMainForm::tbbCaptureClick() {
  // What the scope area shows at the click, taken before the dialog covers it:
  // drawn again from the samples, at the area's size in logical pixels.
  const TPixelImage Shot = ScopePaint();
  const std::string FileName = FView.AskSaveFileName(
      {"Bitmap (*.bmp)", "*.BMP", "bmp", PictureFileName, SaveFolder(TUserFolder::ufPictures)});
  if (!FileName.empty())
    SavePicture(FileName, Shot);
}

void TMainForm::tbSavePlotClick() {
  const std::string FileName = FView.AskSaveFileName(
      {"Text file (*.txt)", "*.txt", "txt", ValuesFileName, SaveFolder(TUserFolder::ufDocuments)});
  // Panels and samples as they are now: frames decoded while the dialog was
  // open are included.
  if (!FileName.empty())
    SavePlotValues(FileName, FLink.State.Panels(), FLink.State.Samples());
}
