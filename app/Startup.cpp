#include "app/Startup.h"

#include <QComboBox>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>

#include "app/AboutDlg.h"
#include "app/DemoScope.h"
#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/PortDlg.h"
#include "app/ResourceTranslator.h"
#include "app/VersionInfo.h"
#include "base/InstallPaths.h"
#include "cport/ProgramTranslation.h"
#include "i18n/gnugettext.h"

TCommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  TCommandLine Line;
  for (std::size_t i = 1; i < Args.size(); ++i) {
    const std::string& Arg = Args[i];
    if (Arg == "--help" || Arg == "-h")
      Line.Help = true;
    else if (Arg == "--version")
      Line.Version = true;
    else if (Arg == "--demo")
      Line.Demo = true;
    else if (Arg == "--port") {
      if (i + 1 >= Args.size()) {
        Line.Error = "option --port needs a port name";
        return Line;
      }
      Line.Port = Args[++i];
    } else if (Arg.rfind("--port=", 0) == 0)
      Line.Port = Arg.substr(7);
    else if (Arg.rfind("--", 0) == 0 && Arg.size() > 2) {
      Line.Error = "unknown option " + Arg;
      return Line;
    }
  }
  if (Line.Demo && !Line.Port.empty())
    Line.Error = "--demo and --port exclude each other";
  return Line;
}

const char* CommandLineUsage() {
  return R"(Usage: hxt24 [--port NAME | --demo] [--help] [--version]

The HXT24 scope client: shows the scope's trace and settings from a serial line
at 57600 bit/s, 8N1.

  --port NAME   connect at start to NAME, as Device, Connect with NAME would:
                COM1 is /dev/ttyS0, a name starting with / is a device path,
                any other name is looked up under /dev
  --demo        connect to a simulated scope running inside the program (on a
                pseudo-terminal), for trying the client without a scope
  --version     print the version and exit
  --help        print this text and exit

The window's size and colours come from config.ini beside the executable, or
when there is none, from $XDG_CONFIG_HOME/hxt24/config.ini (by default
~/.config/hxt24/config.ini), section [Settings]: Width, Height, TraceColor,
GridColor, BackColor (colours as $BBGGRR).
)";
}

int RunHxt24(int Argc, char** Argv) {
  const TCommandLine Line = ParseCommandLine(std::vector<std::string>(Argv, Argv + Argc));
  if (!Line.Error.empty()) {
    std::fprintf(stderr, "hxt24: %s (see --help)\n", Line.Error.c_str());
    return 2;
  }
  if (Line.Help) {
    std::fputs(CommandLineUsage(), stdout);
    return 0;
  }
  if (Line.Version) {
    std::printf("HXT24 %s\n", GetVersionValue("FileVersion").c_str());
    return 0;
  }

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
  TMainForm MainForm(ConfigFilePath());
  TPortDialog PortDialog(&MainForm);
  TAboutDialog AboutDialog(&MainForm);
  MainForm.UseDialogs(&PortDialog, &AboutDialog);

  MainForm.show();
  if (!Port.empty()) {
    // As if Connect had been confirmed with this name: the dialog offers it.
    PortDialog.cbPort->setEditText(QString::fromStdString(Port));
    // From the event loop, so a failure shows in the error box like any
    // Connect.
    QTimer::singleShot(0, &MainForm, [&MainForm, Port] { MainForm.ConnectTo(Port); });
  }
  return THxtApplication::exec();
}
