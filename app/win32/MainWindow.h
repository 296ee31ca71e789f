#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/MainView.h"
#include "scope/PixelImage.h"

class TAboutDialog;
class TPortDialog;

// What the main window forwards: its commands and the changes of the scope
// area's size. Each runs inside the window procedure, which shows any
// exception it raises in the error box and goes on.
struct TMainWindowHandlers {
  std::function<void()> itConnectClick;
  std::function<void()> itDisconnectClick;
  std::function<void()> itExitClick;
  std::function<void()> itAboutClick;
  std::function<void()> tbbCaptureClick;
  std::function<void()> tbSavePlotClick;
  // The scope area has a new size: the core draws its picture again.
  std::function<void()> ScopeResize;
  // The window is being destroyed (WM_DESTROY): the core goes now, while the
  // window still exists (the other handlers are dropped first).
  std::function<void()> FormDestroy;
  // The connection the command line asks for, from the loop (PostStartConnect).
  std::function<void()> StartConnect;
};

// The Win32 main window of HXT24.exe: menu and accelerators from the
// resources, a flat toolbar with its image list and hints, ScopePanel with
// the Scope paint box, the ten-panel status bar; and the two dialogs. It is
// the core's view (TMainView) and keeps no state of the connection.
class TMainWindow : public TMainView {
public:
  static constexpr int DesignedWidth = 625;
  static constexpr int DesignedHeight = 375;
  static constexpr int ToolBarHeight = 24;
  static constexpr int StatusBarHeight = 19;
  static constexpr int PanelCount = 10;

  // Creates the window hidden (the core's start-up may size it first).
  // PanelWidths are the status bar panels' widths in pixels.
  TMainWindow(HINSTANCE Instance, const std::array<int, PanelCount>& PanelWidths);
  ~TMainWindow() override;
  TMainWindow(const TMainWindow&) = delete;
  TMainWindow& operator=(const TMainWindow&) = delete;

  void SetHandlers(TMainWindowHandlers Handlers) { FHandlers = std::move(Handlers); }
  // Creates the two dialogs, hidden (after the main window, port dialog first).
  void CreateDialogs();
  // Centres the window on the screen's free area and shows it.
  void ShowCentred(int ShowCommand);
  // The smallest size the user may drag the window to, frame included.
  void SetMinimumSize(int Width, int Height) {
    FMinWidth = Width;
    FMinHeight = Height;
  }
  // Makes the loop run the StartConnect handler once it runs.
  void PostStartConnect();
  // Runs the message loop until the window is gone; returns the exit code.
  int RunMessageLoop();

  HWND Handle() const { return FHandle; }
  HFONT Font() const { return FFont; }

  // TMainView
  void SetCommandEnabled(TMainCommand Command, bool Enabled) override;
  void SetPanelText(int Index, const std::string& Text) override;
  void RepaintScope() override;
  // Gives the picture RepaintScope shows (the core's ScopePaint).
  std::function<const TPixelImage&()> OnScopePicture;
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

private:
  static LRESULT CALLBACK MainProc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static LRESULT CALLBACK PanelProc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static LRESULT CALLBACK ScopeProc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  LRESULT HandleMain(UINT Message, WPARAM W, LPARAM L);
  void CreateChildren();
  void CreateToolBar();
  void CreateStatusBar();
  void LayoutChildren();
  void Command(int Id);
  void Run(const std::function<void()>& Handler);
  // Puts the kept picture on the scope's drawing context.
  void BlitScope(HDC Context) const;
  // Whole-number scale of the scope's picture for the window's DPI (1 at 96).
  int ScopeScale() const;
  bool CommandEnabled(int Id) const;

  HINSTANCE FInstance;
  std::array<int, PanelCount> FPanelWidths;
  HWND FHandle = nullptr;
  HWND FToolBar = nullptr;
  HWND FScopePanel = nullptr;
  HWND FScope = nullptr;
  HWND FStatusBar = nullptr;
  HMENU FMenu = nullptr;
  HACCEL FAccelerators = nullptr;
  HFONT FFont = nullptr;
  HIMAGELIST FImages = nullptr;
  TPixelImage FPicture;
  TMainWindowHandlers FHandlers;
  std::unique_ptr<TPortDialog> FPortDialog;
  std::unique_ptr<TAboutDialog> FAboutDialog;
  bool FShown = false;
  int FMinWidth = 0;
  int FMinHeight = 0;
};

// "MS Sans Serif" at 8 points for a window of the given DPI.
HFONT CreateFormFont(int Dpi, bool Bold = false);
// The DPI of Window (96 where the system cannot tell).
int WindowDpi(HWND Window);
// Narrow (UTF-8) and wide texts.
std::wstring Widen(const std::string& Text);
std::string Narrow(const std::wstring& Text);
