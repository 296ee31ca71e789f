// HXT24.exe: start-up of the Win32 client, its message loop and shutdown.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/win32/MainWindow.h"
#include "base/ExceptionDisplay.h"
#include "app/win32/ShellDriver.h"

namespace {

void ShowErrorBox(const std::exception& E) {
  const std::wstring Text = Widen(ExceptionDisplayText(E.what()));
  HWND Owner = GetActiveWindow();
  MessageBoxW(Owner, Text.c_str(), L"HXT24", MB_OK | MB_ICONERROR);
}

} // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int ShowCommand) {
  SetExceptionHandler(&ShowErrorBox);
  try {
    TMainWindow MainForm(Instance, {45, 75, 75, 50, 50, 50, 50, 50, 50, 50});
    MainForm.CreateDialogs();
    TShellDriver Driver(MainForm);
    MainForm.OnScopePicture = [&Driver]() -> const TPixelImage& { return Driver.Picture(); };
    TMainWindowHandlers Handlers;
    Handlers.itConnectClick = [&] { Driver.Connect(); };
    Handlers.itDisconnectClick = [&] { Driver.Disconnect(); };
    Handlers.itExitClick = [&] { MainForm.CloseMainWindow(); };
    Handlers.itAboutClick = [&] { MainForm.ShowAbout(); };
    Handlers.ScopeResize = [&] { Driver.Redraw(); };
    MainForm.SetHandlers(std::move(Handlers));
    Driver.UpdateMenuState();
    MainForm.ShowCentred(ShowCommand);
    return MainForm.RunMessageLoop();
  } catch (const std::exception& E) {
    ShowErrorBox(E);
    return 1;
  }
}
