// HXT24.exe: start-up of the Win32 client over the client core, its message
// loop and shutdown.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "app/CommandLine.h"
#include "app/DemoScope.h"
#include "app/MainFrm.h"
#include "app/win32/MainWindow.h"
#include "base/CommandLine.h"
#include "base/ExceptionDisplay.h"
#include "base/InstallPaths.h"
#include "cport/ProgramTranslation.h"

namespace {

void ShowErrorBox(const std::exception& E) {
  const std::wstring Text = Widen(ExceptionDisplayText(E.what()));
  MessageBoxW(GetActiveWindow(), Text.c_str(), L"HXT24", MB_OK | MB_ICONERROR);
}

bool Redirected(DWORD Which) {
  HANDLE Handle = GetStdHandle(Which);
  return Handle && Handle != INVALID_HANDLE_VALUE && GetFileType(Handle) != FILE_TYPE_UNKNOWN;
}

// A GUI program has no console of its own: --help, --version and a wrong
// option print to the console the program was started from. Output already
// going to a file or a pipe stays there.
void UseParentConsole() {
  const bool Out = Redirected(STD_OUTPUT_HANDLE);
  const bool Err = Redirected(STD_ERROR_HANDLE);
  if (Out && Err)
    return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS))
    return;
  if (!Out)
    std::freopen("CONOUT$", "w", stdout);
  if (!Err)
    std::freopen("CONOUT$", "w", stderr);
}

// The program's whole run; wWinMain catches what escapes it.
int RunClient(HINSTANCE Instance, int ShowCommand) {
  const TCommandLine Line = ParseCommandLine(CommandLineArguments(0, nullptr));
  if (Line.Help || Line.Version || !Line.Error.empty()) {
    UseParentConsole();
    int ExitCode = 0;
    if (AnswerCommandLine(Line, ExitCode)) {
      std::fflush(stdout);
      std::fflush(stderr);
      return ExitCode;
    }
  }

  // Translation first and last; the error box is the exception display.
  TProgramTranslation Translation("HXT24");
  SetExceptionHandler(&ShowErrorBox);
  try {
    // The demo scope outlives the window, so closing the window closes the
    // port before the simulated line goes away.
    std::unique_ptr<TDemoScope> DemoScope;
    std::string Port = Line.Port;
    if (Line.Demo) {
      DemoScope = StartDemoScope();
      Port = DemoScope->DevicePath();
    }

    // The main window first (its FormCreate is the core's), then the port
    // dialog and the about dialog.
    TMainWindow MainForm(Instance, TMainForm::PanelWidths);
    MainForm.SetMinimumSize(TMainForm::MinWidth, TMainForm::MinHeight);
    std::unique_ptr<TMainForm> Core = std::make_unique<TMainForm>(MainForm, ConfigFilePath());
    MainForm.CreateDialogs();
    TMainForm* Form = Core.get();
    // Every repaint shows the picture the core composes then.
    MainForm.OnScopePicture = [&Core]() -> const TPixelImage& {
      static const TPixelImage None;
      return Core ? Core->ScopePaint() : None;
    };
    TMainWindowHandlers Handlers;
    Handlers.itConnectClick = [Form] { Form->itConnectClick(); };
    Handlers.itDisconnectClick = [Form] { Form->itDisconnectClick(); };
    Handlers.itExitClick = [Form] { Form->itExitClick(); };
    Handlers.itAboutClick = [Form] { Form->itAboutClick(); };
    Handlers.tbbCaptureClick = [Form] { Form->tbbCaptureClick(); };
    Handlers.tbSavePlotClick = [Form] { Form->tbSavePlotClick(); };
    Handlers.ScopeResize = [&MainForm] { MainForm.RepaintScope(); };
    // FormDestroy runs as the window goes: the port closes first.
    Handlers.FormDestroy = [&Core] { Core.reset(); };
    Handlers.StartConnect = [Form, Port] { Form->ConnectTo(Port); };
    MainForm.SetHandlers(std::move(Handlers));
    MainForm.ShowCentred(ShowCommand);
    // --port and --demo: as if Connect had been confirmed with that name, from
    // the loop, so a failure shows in the error box like any Connect.
    if (!Port.empty())
      MainForm.PostStartConnect();
    return MainForm.RunMessageLoop();
  } catch (const std::exception& E) {
    ShowErrorBox(E);
    return 1;
  }
}

} // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int ShowCommand) {
  // Last resort: what escapes the run is shown in a box, not left to the
  // runtime's abort.
  const char* Message = nullptr;
  try {
    return RunClient(Instance, ShowCommand);
  } catch (const std::bad_alloc&) {
    Message = "out of memory";
  } catch (const std::exception& E) {
    ShowErrorBox(E);
    return 1;
  } catch (...) {
    Message = "unknown error";
  }
  MessageBoxA(nullptr, Message, "HXT24", MB_OK | MB_ICONERROR);
  return 1;
}
