#include "app/CommandLine.h"

#include <cstdio>

#include "app/VersionInfo.h"
#include "base/ProgramInfo.h"

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

std::string ClientVersionLine() {
  return "HXT24 " + GetVersionValue("FileVersion");
}

bool AnswerCommandLine(const TCommandLine& Line, int& ExitCode) {
  if (!Line.Error.empty()) {
    std::fprintf(stderr, "hxt24: %s (see --help)\n", Line.Error.c_str());
    ExitCode = 2;
    return true;
  }
  if (Line.Help) {
    ExitCode = PrintProgramInfo("hxt24", CommandLineUsage());
    return true;
  }
  if (Line.Version) {
    ExitCode = PrintProgramInfo("hxt24", ClientVersionLine() + "\n");
    return true;
  }
  return false;
}
