#include "app/qt/Startup.h"

#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DemoScope.h"
#include "app/MainFrm.h"
#include "app/qt/AboutDlg.h"
#include "app/qt/Application.h"
#include "app/qt/MainWindow.h"
#include "app/qt/PortDlg.h"
#include "app/qt/ResourceTranslator.h"
#include "base/InstallPaths.h"
#include "cport/ProgramTranslation.h"

int RunHxt24(int Argc, char** Argv) {
  const TCommandLine Line = ParseCommandLine(std::vector<std::string>(Argv, Argv + Argc));
  if (int ExitCode = 0; AnswerCommandLine(Line, ExitCode))
    return ExitCode;

  // Translation starts before anything can raise or show a text and stops
  // only after the loop and every window are gone; the serial component's
  // messages are translated right after it.
  TProgramTranslation Translation("hxt24");
  THxtApplication Application(Argc, Argv);
  TResourceTranslator QtTexts;
  QCoreApplication::installTranslator(&QtTexts);
  THxtApplication::SetTitle(QStringLiteral("HXT24"));
  // The installed menu entry's name (org.hxt24.client.desktop) and icon, so a
  // desktop shows the window under that entry's icon (Wayland matches windows
  // to entries by this name).
  QGuiApplication::setDesktopFileName(QString::fromLatin1("org.hxt24.client"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("hxt24")));

  // The demo scope outlives the window, so closing the window closes the
  // port before the simulated line goes away.
  std::unique_ptr<TDemoScope> DemoScope;
  std::string Port = Line.Port;
  if (Line.Demo) {
    try {
      DemoScope = StartDemoScope();
      Port = DemoScope->DevicePath();
    } catch (const std::exception& E) {
      std::fprintf(stderr, "hxt24: no simulated scope: %s\n", E.what());
      return 1;
    }
  }

  // The main window first: closing it ends the program.
  TMainWindow MainForm(ConfigFilePath());
  TPortDialog PortDialog(&MainForm);
  TAboutDialog AboutDialog(&MainForm);
  MainForm.UseDialogs(&PortDialog, &AboutDialog);

  MainForm.show();
  if (!Port.empty()) {
    // As if Connect had been confirmed with this name (the dialog offers it
    // next), from the event loop, so a failure shows in the error box like
    // any Connect.
    QTimer::singleShot(0, &MainForm, [&MainForm, Port] { MainForm.Core().ConnectTo(Port); });
  }
  return THxtApplication::exec();
}
