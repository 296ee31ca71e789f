#pragma once

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "scope/ByteSource.h"
#include "scope/PixelImage.h"
#include "scope/ScopeLink.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QStatusBar;
class QToolBar;
class QToolButton;
class TAboutDialog;
class TComPort;
class TIniFile;
class TPaintBox;
class TPortDialog;
class TScopeCanvas;

// The one main window: menu, toolbar, the scope area and the ten-panel status
// bar, and all state of the link to the scope.
class TMainForm : public QMainWindow {
public:
  static constexpr int DesignedWidth = 625;
  static constexpr int DesignedHeight = 375;
  static constexpr int MinWidth = 200;
  static constexpr int MinHeight = 150;
  static constexpr int MaxSize = 16384;
  static constexpr int PanelCount = 10;

  // IniFileName is the settings file; the program passes "config.ini" beside
  // the executable.
  explicit TMainForm(const std::string& IniFileName, QWidget* Parent = nullptr);
  ~TMainForm() override;

  // The dialogs are created after the main window; start-up hands them over.
  void UseDialogs(TPortDialog* PortDialog, TAboutDialog* AboutDialog);

  // Controls, by their names.
  QMenu* itDevice = nullptr;
  QAction* itConnect = nullptr;
  QAction* itDisconnect = nullptr;
  QAction* N1 = nullptr;
  QAction* itExit = nullptr;
  QMenu* itHelp = nullptr;
  QAction* itAbout = nullptr;
  QToolBar* ToolBar1 = nullptr;
  QToolButton* tbbCapture = nullptr;
  QToolButton* tbSavePlot = nullptr;
  QFrame* ScopePanel = nullptr;
  TPaintBox* Scope = nullptr;
  QStatusBar* StatusBar = nullptr;
  std::array<QLabel*, PanelCount> Panels{};

  // Commands; menu and toolbar run them from the event loop.
  void itConnectClick();
  void itDisconnectClick();
  void itExitClick();
  void itAboutClick();
  void tbbCaptureClick();
  void tbSavePlotClick();

  // The second half of Connect, as after OK in the port dialog: names the
  // port and opens it (start-up's --port uses it too).
  void ConnectTo(const std::string& PortName);

  TComPort& ComPort() { return *FComPort; }

  // Read-only views for the status bar and the scope state.
  QString PanelText(int Index) const;
  std::uint32_t TraceColor() const { return FTraceColor; }
  std::uint32_t GridColor() const { return FGridColor; }
  std::uint32_t BackColor() const { return FBackColor; }
  const TScopeSamples& Samples() const { return FLink.State.Samples(); }
  // The receiver, decoder and displayed state of the scope link.
  TScopeLink& ScopeLink() { return FLink; }
  // The picture of the scope area, drawn now from the samples at the area's
  // size in logical pixels (W x H of Scope): what the screen shows and what
  // the picture export saves.
  QImage ScopePicture();

protected:
  void showEvent(QShowEvent* Event) override;

private:
  // Shrinks the window to the free area of its screen (never below the
  // minimum size).
  void FitToScreen();
  // The receiver reads straight from the port.
  class TPortByteSource : public TByteSource {
  public:
    explicit TPortByteSource(TMainForm& Form) : FForm(Form) {}
    int ReadBytes(void* Buffer, int Count) override;

  private:
    TMainForm& FForm;
  };

  void CreateControls();
  void FormCreate();
  void FormDestroy();
  void ResetTrace();
  void UpdateMenuState();
  void ComPortRxChar(std::int32_t Count);
  void ScopePaint(QPainter& Canvas);
  // ScopePicture's pixels, a copy of the renderer's.
  TPixelImage ScopeShot();

  std::unique_ptr<TComPort> FComPort;
  TPortByteSource FPortSource{*this};
  // Receiver state, FSamples and the panel texts.
  TScopeLink FLink;
  // The renderer (it holds FBitmap, the off-screen picture) and its painting
  // onto the scope widget.
  std::unique_ptr<TScopeCanvas> FCanvas;
  std::unique_ptr<TIniFile> FIniFile;
  std::uint32_t FTraceColor = 0;
  std::uint32_t FGridColor = 0;
  std::uint32_t FBackColor = 0;

  std::string FIniFileName;
  TPortDialog* FPortDialog = nullptr;
  TAboutDialog* FAboutDialog = nullptr;
  bool FShown = false;
};

// A window size from config.ini, or the designed size when it lies outside
// [Min, TMainForm::MaxSize].
int CheckedWindowSize(std::int32_t Value, int Min, int Designed);
