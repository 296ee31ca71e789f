#pragma once

#include <QImage>
#include <QMainWindow>

#include <array>
#include <memory>
#include <string>

#include "app/MainFrm.h"
#include "app/MainView.h"
#include "app/qt/ScopeCanvas.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QStatusBar;
class QToolBar;
class QToolButton;
class TAboutDialog;
class TPaintBox;
class TPortDialog;

// The main window's widgets over the client core: menu, toolbar, the scope
// area and the ten-panel status bar. It builds them, forwards their commands
// to Core() and shows what the core tells it (TMainView); the state of the
// link, the menu state, config.ini and the exports are the core's.
class TMainWindow : public QMainWindow, public TMainView {
public:
  // IniFileName is the settings file; the program passes ConfigFilePath().
  explicit TMainWindow(const std::string& IniFileName, QWidget* Parent = nullptr);
  ~TMainWindow() override;

  // The dialogs are created after the main window; start-up hands them over.
  void UseDialogs(TPortDialog* PortDialog, TAboutDialog* AboutDialog);

  TMainForm& Core() { return *FCore; }

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
  std::array<QLabel*, TMainForm::PanelCount> Panels{};

  QString PanelText(int Index) const;
  // The core's picture of the scope area, drawn now, as a QImage.
  QImage ScopePicture();

  // TMainView.
  void SetCommandEnabled(TMainCommand Command, bool Enabled) override;
  void SetPanelText(int Index, const std::string& Text) override;
  void RepaintScope() override;
  int ScopeWidth() const override;
  int ScopeHeight() const override;
  int WindowWidth() const override;
  int WindowHeight() const override;
  void SetWindowSize(int Width, int Height) override;
  bool AskPortName(std::string& PortName) override;
  std::string AskSaveFileName(const TSaveRequest& Request) override;
  std::string UserFolder(TUserFolder Folder) const override;
  void ShowAbout() override;
  void CloseMainWindow() override;

protected:
  void showEvent(QShowEvent* Event) override;

private:
  void CreateControls();
  // Shrinks the window to the free area of its screen (never below the
  // minimum size).
  void FitToScreen();
  void ScopePaint(QPainter& Canvas);

  std::unique_ptr<TMainForm> FCore;
  // The screen's own renderer: the picture is composed straight into the
  // window's backing store, where only the last trace is put back and the
  // new one drawn (the core's renderer draws whole pictures, for exports).
  TScopeCanvas FCanvas;
  TPortDialog* FPortDialog = nullptr;
  TAboutDialog* FAboutDialog = nullptr;
  bool FShown = false;
};
