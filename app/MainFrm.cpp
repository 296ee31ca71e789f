#include "app/MainFrm.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AboutDlg.h"
#include "app/PaintBox.h"
#include "app/PortDlg.h"
#include "app/ToolbarIcons.h"
#include "base/IniFile.h"

namespace {

constexpr std::array<int, TMainForm::PanelCount> PanelWidths = {45, 75, 75, 50, 50,
                                                                50, 50, 50, 50, 50};
constexpr std::uint32_t DefaultTraceColor = 65280;  // green
constexpr std::uint32_t DefaultGridColor = 8421504; // grey
constexpr std::uint32_t DefaultBackColor = 8421376; // teal
constexpr char SettingsSection[] = "Settings";

// Menu and toolbar commands run from a queued call rather than inside Qt's
// menu or shortcut code: an exception leaving a command then unwinds only
// through the application's notify, which shows it.
template <typename TSender, typename TSignal>
void OnCommand(TSender* Sender, TSignal Signal, TMainForm* Form, void (TMainForm::*Command)()) {
  QObject::connect(
      Sender, Signal, Form, [Form, Command] { (Form->*Command)(); }, Qt::QueuedConnection);
}

} // namespace

QColor ColorFromValue(std::uint32_t Value) {
  return QColor(static_cast<int>(Value & 0xFF), static_cast<int>((Value >> 8) & 0xFF),
                static_cast<int>((Value >> 16) & 0xFF));
}

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
  auto* Layout = new QVBoxLayout(ScopePanel);
  Layout->setContentsMargins(ScopePanel->frameWidth(), ScopePanel->frameWidth(),
                             ScopePanel->frameWidth(), ScopePanel->frameWidth());
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
  ResetTrace();

  FIniFile = std::make_unique<TIniFile>(FIniFileName);
  const int Width = FIniFile->ReadInteger(SettingsSection, "Width", width());
  resize(CheckedWindowSize(Width, MinWidth, DesignedWidth), height());
  const int Height = FIniFile->ReadInteger(SettingsSection, "Height", height());
  resize(width(), CheckedWindowSize(Height, MinHeight, DesignedHeight));
  const auto ReadColor = [this](const char* Key, std::uint32_t Default) {
    const auto Value =
        FIniFile->ReadInteger(SettingsSection, Key, static_cast<std::int32_t>(Default));
    return static_cast<std::uint32_t>(Value) & 0xFFFFFFu;
  };
  FTraceColor = ReadColor("TraceColor", DefaultTraceColor);
  FGridColor = ReadColor("GridColor", DefaultGridColor);
  FBackColor = ReadColor("BackColor", DefaultBackColor);

  FBitmap = std::make_unique<QImage>();
}

void TMainForm::FormDestroy() {
  FIniFile.reset();
  FBitmap.reset();
}

void TMainForm::showEvent(QShowEvent* Event) {
  // Centred on the screen at the first show, at the size config.ini gave.
  if (!FShown) {
    FShown = true;
    if (const QScreen* Screen = screen())
      move(
          QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), Screen->availableGeometry())
              .topLeft());
  }
  QMainWindow::showEvent(Event);
}

void TMainForm::ResetTrace() {
  FSamples.fill(127);
  Scope->repaint();
}

void TMainForm::UpdateMenuState() {}

void TMainForm::ScopePaint(QPainter& Canvas) {
  const int W = Scope->width();
  const int H = Scope->height();
  if (FBitmap->size() != QSize(W, H))
    *FBitmap = QImage(W, H, QImage::Format_RGB32);
  FBitmap->fill(ColorFromValue(FBackColor));
  Canvas.drawImage(QPoint(0, 0), *FBitmap);
}

void TMainForm::itConnectClick() {}

void TMainForm::itDisconnectClick() {}

void TMainForm::itExitClick() {
  close();
}

void TMainForm::itAboutClick() {
  if (FAboutDialog)
    FAboutDialog->exec();
}

void TMainForm::tbbCaptureClick() {}

void TMainForm::tbSavePlotClick() {}

QString TMainForm::PanelText(int Index) const {
  return Panels.at(static_cast<std::size_t>(Index))->text();
}
