#include "app/qt/MainWindow.h"

#include <algorithm>
#include <vector>

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

#include "app/qt/AboutDlg.h"
#include "app/qt/PaintBox.h"
#include "app/qt/PortDlg.h"
#include "app/qt/ToolbarIcons.h"
#include "scope/PixelImage.h"

namespace {

// Menu and toolbar commands run from a queued call rather than inside Qt's
// menu or shortcut code: an exception leaving a command then unwinds only
// through the application's notify, which shows it.
template <typename TSender, typename TSignal>
void OnCommand(TSender* Sender, TSignal Signal, TMainWindow* Window, void (TMainForm::*Command)()) {
  QObject::connect(
      Sender, Signal, Window, [Window, Command] { (Window->Core().*Command)(); },
      Qt::QueuedConnection);
}

// QStatusBar leaves this gap between its items; the panels keep the places
// they had as its items.
constexpr int PanelGap = 6;

// The status bar's panels side by side at their own widths, as one item of
// the bar: a bar narrower than the panels cuts them at its edge. (Fixed-width
// items of QStatusBar's own layout are pushed over each other instead, and
// their texts print over each other.) Each panel cuts its text at its own
// edge.
class TPanelStrip : public QWidget {
public:
  explicit TPanelStrip(QWidget* Parent) : QWidget(Parent) {
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  }

  void AddPanel(QLabel* Panel) {
    FPanels.push_back(Panel);
    PlacePanels();
    updateGeometry();
  }

  QSize sizeHint() const override {
    int Width = 0;
    int Height = 0;
    for (const QLabel* Panel : FPanels) {
      Width += (Width ? PanelGap : 0) + Panel->minimumWidth();
      Height = std::max(Height, Panel->sizeHint().height());
    }
    return {Width, Height};
  }
  QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
  void resizeEvent(QResizeEvent* Event) override {
    QWidget::resizeEvent(Event);
    PlacePanels();
  }

private:
  void PlacePanels() {
    int Left = 0;
    for (QLabel* Panel : FPanels) {
      Panel->setGeometry(Left, 0, Panel->minimumWidth(), height());
      Left += Panel->minimumWidth() + PanelGap;
    }
  }

  std::vector<QLabel*> FPanels;
};

// Qt's own file dialog keeps its size at any scale (624 x 408 here, so 1248 x
// 816 device pixels at scale 2): on a small or scaled screen its lower rows,
// Cancel among them, would lie off the screen. It is shrunk to the screen's
// free area, with a frame like the owner's (the dialog has none before it
// shows); QDialog's placement then keeps it on the screen.
void FitToFreeArea(QDialog& Dialog, const QWidget& Owner) {
  const QScreen* Screen = Owner.screen();
  if (!Screen)
    return;
  const QSize Room =
      Screen->availableGeometry().size() - (Owner.frameGeometry().size() - Owner.size());
  const QSize Size = Dialog.size().boundedTo(Room);
  if (Size == Dialog.size())
    return;
  // Below the layout's own minimum only when the screen is smaller still.
  Dialog.setMinimumSize(Dialog.minimumSizeHint().boundedTo(Size));
  Dialog.resize(Size);
}

} // namespace

TMainWindow::TMainWindow(const std::string& IniFileName, QWidget* Parent) : QMainWindow(Parent) {
  CreateControls();
  FCore = std::make_unique<TMainForm>(*this, IniFileName);
  FCanvas.Renderer.SetColors(FCore->TraceColor(), FCore->GridColor(), FCore->BackColor());
}

TMainWindow::~TMainWindow() {
  // The core closes the port while every widget it reports to is still here.
  FCore.reset();
}

void TMainWindow::CreateControls() {
  setWindowTitle(QStringLiteral("HXT24"));
  setMinimumSize(TMainForm::MinWidth, TMainForm::MinHeight);
  resize(TMainForm::DesignedWidth, TMainForm::DesignedHeight);

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
  auto* Strip = new TPanelStrip(StatusBar);
  for (int i = 0; i < TMainForm::PanelCount; ++i) {
    auto* Panel = new QLabel(Strip);
    Panel->setFixedWidth(TMainForm::PanelWidths[static_cast<std::size_t>(i)]);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel->setTextFormat(Qt::PlainText);
    Panel->setIndent(2);
    Strip->AddPanel(Panel);
    Panels[static_cast<std::size_t>(i)] = Panel;
  }
  StatusBar->addWidget(Strip);
}

void TMainWindow::UseDialogs(TPortDialog* PortDialog, TAboutDialog* AboutDialog) {
  FPortDialog = PortDialog;
  FAboutDialog = AboutDialog;
}

void TMainWindow::showEvent(QShowEvent* Event) {
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

void TMainWindow::FitToScreen() {
  // Never larger than the screen's free area: a window beyond it cannot be
  // reached to resize it, and its picture costs memory and time in
  // proportion to its size (16384 x 16384 would be a gigabyte).
  const QScreen* Screen = screen();
  if (!Screen)
    return;
  // The frame counts too, once the window system has given the window one.
  const QSize Free = Screen->availableGeometry().size() - (frameGeometry().size() - size());
  resize(std::max(TMainForm::MinWidth, std::min(width(), Free.width())),
         std::max(TMainForm::MinHeight, std::min(height(), Free.height())));
}

void TMainWindow::ScopePaint(QPainter& Canvas) {
  // Painting starts only once the core is there.
  if (FCore)
    FCanvas.Paint(Canvas, FCore->Samples(), Scope->width(), Scope->height(), true);
}

QImage TMainWindow::ScopePicture() {
  if (!FCore)
    return {};
  return ScopeImage(FCore->ScopePaint()).copy();
}

QString TMainWindow::PanelText(int Index) const {
  return Panels.at(static_cast<std::size_t>(Index))->text();
}

void TMainWindow::SetCommandEnabled(TMainCommand Command, bool Enabled) {
  (Command == TMainCommand::mcConnect ? itConnect : itDisconnect)->setEnabled(Enabled);
}

void TMainWindow::SetPanelText(int Index, const std::string& Text) {
  Panels.at(static_cast<std::size_t>(Index))->setText(QString::fromStdString(Text));
}

void TMainWindow::RepaintScope() {
  Scope->repaint();
}

int TMainWindow::ScopeWidth() const {
  return Scope->width();
}

int TMainWindow::ScopeHeight() const {
  return Scope->height();
}

int TMainWindow::WindowWidth() const {
  return width();
}

int TMainWindow::WindowHeight() const {
  return height();
}

void TMainWindow::SetWindowSize(int Width, int Height) {
  resize(Width, Height);
  FitToScreen();
}

bool TMainWindow::AskPortName(std::string& PortName) {
  if (!FPortDialog)
    return false;
  FPortDialog->SetPortName(PortName);
  const bool Ok = FPortDialog->exec() == QDialog::Accepted;
  PortName = FPortDialog->GetPortName();
  return Ok;
}

std::string TMainWindow::AskSaveFileName(const TSaveRequest& Request) {
  // QFileDialog matches the filter's patterns case-sensitively on Linux: the
  // filter line's own lower-case pattern is the one shown.
  QFileDialog Dialog(this);
  Dialog.setAcceptMode(QFileDialog::AcceptSave);
  Dialog.setOption(QFileDialog::DontConfirmOverwrite);
  Dialog.setDirectory(QString::fromStdString(Request.InitialDir));
  Dialog.setNameFilter(QString::fromStdString(Request.Filter));
  Dialog.setDefaultSuffix(QString::fromStdString(Request.DefaultExt));
  Dialog.selectFile(QString::fromStdString(Request.FileName));
  FitToFreeArea(Dialog, *this);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
    return {};
  return Dialog.selectedFiles().constFirst().toStdString();
}

std::string TMainWindow::UserFolder(TUserFolder Folder) const {
  switch (Folder) {
  case TUserFolder::ufPictures:
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
  case TUserFolder::ufDocuments:
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
  case TUserFolder::ufHome:
    return QDir::homePath().toStdString();
  }
  return {};
}

void TMainWindow::ShowAbout() {
  if (FAboutDialog)
    FAboutDialog->exec();
}

void TMainWindow::CloseMainWindow() {
  close();
}
