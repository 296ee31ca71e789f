#include "app/MainFrm.h"

#include <algorithm>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AboutDlg.h"
#include "app/PaintBox.h"
#include "app/PortDlg.h"
#include "app/ScopeCanvas.h"
#include "app/ToolbarIcons.h"
#include "base/ExceptionDisplay.h"
#include "base/ExePath.h"
#include "base/IniFile.h"
#include "base/InstallPaths.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "scope/ScopeExport.h"

namespace {

constexpr std::array<int, TMainForm::PanelCount> PanelWidths = {45, 75, 75, 50, 50,
                                                                50, 50, 50, 50, 50};
constexpr char SettingsSection[] = "Settings";

// Menu and toolbar commands run from a queued call rather than inside Qt's
// menu or shortcut code: an exception leaving a command then unwinds only
// through the application's notify, which shows it.
template <typename TSender, typename TSignal>
void OnCommand(TSender* Sender, TSignal Signal, TMainForm* Form, void (TMainForm::*Command)()) {
  QObject::connect(
      Sender, Signal, Form, [Form, Command] { (Form->*Command)(); }, Qt::QueuedConnection);
}

// A save dialog as the exports use it: starts in the executable's folder when
// this user may write there (a build tree, an unpacked folder), else in the
// user's Folder (pictures or documents), else at home; proposes Name and adds
// Suffix to a name typed without one. An existing file is replaced without a
// question (the proposed names are fixed, so every second export would ask;
// the write replaces the file only once it is whole). Returns the chosen
// file, or "" after Cancel.
std::string AskSaveFileName(QWidget* Parent, const QString& Filter, const QString& Suffix,
                            const char* Name, QStandardPaths::StandardLocation Folder) {
  QFileDialog Dialog(Parent);
  Dialog.setAcceptMode(QFileDialog::AcceptSave);
  Dialog.setOption(QFileDialog::DontConfirmOverwrite);
  Dialog.setDirectory(QString::fromStdString(
      SaveStartFolderFor(ExecutableDir(), QStandardPaths::writableLocation(Folder).toStdString(),
                         QDir::homePath().toStdString())));
  Dialog.setNameFilter(Filter);
  Dialog.setDefaultSuffix(Suffix);
  Dialog.selectFile(QString::fromUtf8(Name));
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
    return {};
  return Dialog.selectedFiles().constFirst().toStdString();
}

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

TMainForm::TMainForm(const std::string& IniFileName, QWidget* Parent)
    : QMainWindow(Parent), FIniFileName(IniFileName) {
  CreateControls();
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::CreateControls() {
  setWindowTitle(QStringLiteral("HXT24"));
  setMinimumSize(MinWidth, MinHeight);
  resize(DesignedWidth, DesignedHeight);

  itDevice = menuBar()->addMenu(QStringLiteral("&Device"));
  itConnect = itDevice->addAction(QStringLiteral("&Connect"));
  itConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  itDisconnect = itDevice->addAction(QStringLiteral("&Disconnect"));
  itDisconnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
  itDisconnect->setEnabled(false);
  N1 = itDevice->addSeparator();
  itExit = itDevice->addAction(QStringLiteral("E&xit"));
  itHelp = menuBar()->addMenu(QStringLiteral("&Help"));
  itAbout = itHelp->addAction(QStringLiteral("&About"));
  OnCommand(itConnect, &QAction::triggered, this, &TMainForm::itConnectClick);
  OnCommand(itDisconnect, &QAction::triggered, this, &TMainForm::itDisconnectClick);
  OnCommand(itExit, &QAction::triggered, this, &TMainForm::itExitClick);
  OnCommand(itAbout, &QAction::triggered, this, &TMainForm::itAboutClick);

  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  const auto AddButton = [this](const QPixmap& Icon, const QString& Hint) {
    auto* Button = new QToolButton(ToolBar1);
    Button->setIcon(QIcon(Icon));
    Button->setAutoRaise(true);
    Button->setToolTip(Hint);
    ToolBar1->addWidget(Button);
    return Button;
  };
  tbbCapture = AddButton(CaptureIcon(), QStringLiteral("Save to bitmap"));
  tbSavePlot = AddButton(SaveValuesIcon(), QStringLiteral("Save plot values"));
  OnCommand(tbbCapture, &QToolButton::clicked, this, &TMainForm::tbbCaptureClick);
  OnCommand(tbSavePlot, &QToolButton::clicked, this, &TMainForm::tbSavePlotClick);

  ScopePanel = new QFrame(this);
  ScopePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ScopePanel->setLineWidth(1);
  // The frame keeps its bevel out of the layout's area by itself.
  auto* Layout = new QVBoxLayout(ScopePanel);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Scope = new TPaintBox(ScopePanel);
  Scope->OnPaint = [this](QPainter& Canvas) { ScopePaint(Canvas); };
  Layout->addWidget(Scope);
  setCentralWidget(ScopePanel);

  StatusBar = statusBar();
  StatusBar->setFixedHeight(19);
  for (int i = 0; i < PanelCount; ++i) {
    auto* Panel = new QLabel(StatusBar);
    Panel->setFixedWidth(PanelWidths[static_cast<std::size_t>(i)]);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel->setTextFormat(Qt::PlainText);
    Panel->setIndent(2);
    StatusBar->addWidget(Panel);
    Panels[static_cast<std::size_t>(i)] = Panel;
  }
}

void TMainForm::UseDialogs(TPortDialog* PortDialog, TAboutDialog* AboutDialog) {
  FPortDialog = PortDialog;
  FAboutDialog = AboutDialog;
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
    Panels.at(static_cast<std::size_t>(Index))->setText(QString::fromStdString(Text));
  };
  // The picture must be on the screen before the frame handler returns.
  FLink.State.OnRepaint = [this] { Scope->repaint(); };
  ResetTrace();

  FIniFile = std::make_unique<TIniFile>(FIniFileName);
  const int Width = FIniFile->ReadInteger(SettingsSection, "Width", width());
  resize(CheckedWindowSize(Width, MinWidth, DesignedWidth), height());
  const int Height = FIniFile->ReadInteger(SettingsSection, "Height", height());
  resize(width(), CheckedWindowSize(Height, MinHeight, DesignedHeight));
  FitToScreen();
  const auto ReadColor = [this](const char* Key, std::uint32_t Default) {
    const auto Value =
        FIniFile->ReadInteger(SettingsSection, Key, static_cast<std::int32_t>(Default));
    return static_cast<std::uint32_t>(Value) & 0xFFFFFFu;
  };
  FTraceColor = ReadColor("TraceColor", TScopeRenderer::DefaultTraceColor);
  FGridColor = ReadColor("GridColor", TScopeRenderer::DefaultGridColor);
  FBackColor = ReadColor("BackColor", TScopeRenderer::DefaultBackColor);

  FCanvas = std::make_unique<TScopeCanvas>();
  FCanvas->Renderer.SetColors(FTraceColor, FGridColor, FBackColor);

  FComPort->SetOnRxChar([this](TObject*, std::int32_t Count) { ComPortRxChar(Count); });
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
  FCanvas.reset();
}

int TMainForm::TPortByteSource::ReadBytes(void* Buffer, int Count) {
  return FForm.FComPort->ReadBytes(Buffer, Count);
}

void TMainForm::ComPortRxChar(std::int32_t Count) {
  FLink.ComPortRxChar(Count);
}

void TMainForm::showEvent(QShowEvent* Event) {
  // Centred on the screen at the first show, at the size config.ini gave.
  if (!FShown) {
    FShown = true;
    FitToScreen();
    if (const QScreen* Screen = screen())
      move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(),
                               Screen->availableGeometry())
               .topLeft());
  }
  QMainWindow::showEvent(Event);
}

void TMainForm::FitToScreen() {
  // Never larger than the screen's free area: a window beyond it cannot be
  // reached to resize it, and its picture costs memory and time in
  // proportion to its size (16384 x 16384 would be a gigabyte).
  const QScreen* Screen = screen();
  if (!Screen)
    return;
  // The frame counts too, once the window system has given the window one.
  const QSize Free = Screen->availableGeometry().size() - (frameGeometry().size() - size());
  resize(std::max(MinWidth, std::min(width(), Free.width())),
         std::max(MinHeight, std::min(height(), Free.height())));
}

void TMainForm::ResetTrace() {
  FLink.State.ResetTrace();
}

void TMainForm::UpdateMenuState() {
  const bool Connected = FComPort->Connected();
  itConnect->setEnabled(!Connected);
  itDisconnect->setEnabled(Connected);
  if (!Connected)
    ResetTrace();
}

void TMainForm::ScopePaint(QPainter& Canvas) {
  // Painting starts only once the window is created whole (FCanvas last).
  if (FCanvas)
    FCanvas->Paint(Canvas, FLink.State.Samples(), Scope->width(), Scope->height(), true);
}

TPixelImage TMainForm::ScopeShot() {
  if (!FCanvas)
    return {};
  return FCanvas->Renderer.ScopePaint(FLink.State.Samples(), Scope->width(), Scope->height());
}

QImage TMainForm::ScopePicture() {
  const TPixelImage Shot = ScopeShot();
  return ScopeImage(Shot).copy();
}

void TMainForm::itConnectClick() {
  // A disabled command can still arrive, queued before the state changed.
  if (!itConnect->isEnabled())
    return;
  if (FPortDialog && FPortDialog->exec() == QDialog::Accepted) {
    ConnectTo(FPortDialog->GetPortName());
    return;
  }
  UpdateMenuState();
}

void TMainForm::ConnectTo(const std::string& PortName) {
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
  if (!itDisconnect->isEnabled())
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
  close();
}

void TMainForm::itAboutClick() {
  if (FAboutDialog)
    FAboutDialog->exec();
}

void TMainForm::tbbCaptureClick() {
  // What the scope area shows at the click, taken before the dialog covers it:
  // drawn again from the samples, at the area's size in logical pixels (a
  // grab of the widget would be larger on a scaled display).
  const TPixelImage Shot = ScopeShot();
  const std::string FileName =
      AskSaveFileName(this, QStringLiteral("Bitmap (*.bmp)"), QStringLiteral("bmp"),
                      PictureFileName, QStandardPaths::PicturesLocation);
  if (!FileName.empty())
    SavePicture(FileName, Shot);
}

void TMainForm::tbSavePlotClick() {
  const std::string FileName =
      AskSaveFileName(this, QStringLiteral("Text file (*.txt)"), QStringLiteral("txt"),
                      ValuesFileName, QStandardPaths::DocumentsLocation);
  // Panels and samples as they are now: frames decoded while the dialog was
  // open are included.
  if (!FileName.empty())
    SavePlotValues(FileName, FLink.State.Panels(), FLink.State.Samples());
}

QString TMainForm::PanelText(int Index) const {
  return Panels.at(static_cast<std::size_t>(Index))->text();
}
