#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Command line of hxt24-dump:
//   hxt24-dump [--chunk N | --chunks N1,N2,...] [--samples] [--values OUT.txt]
//              [--bmp OUT.bmp --size WxH] [--settings IN.ini] [--save-settings OUT.ini]
//              FILE
//   hxt24-dump --port NAME [--raw] [--record OUT.bin] [--frames N] [--seconds S]
//              [the options above, without FILE]
//   hxt24-dump --list-ports
//   hxt24-dump --help | --version
struct TDumpOptions {
  // Print the help (DumpHelp) or the version on the standard output and end.
  bool Help = false;
  bool Version = false;
  // Print the serial ports of this machine (path, tab, description) and end.
  bool ListPorts = false;
  // Sizes of the received-characters events, used in turn.
  std::vector<int> Chunks{4096};
  bool Samples = false;
  std::string ValuesFile;
  std::string BmpFile;
  int Width = 0;
  int Height = 0;
  std::string InputFile;
  // Port settings, all groups, in the section named after the port object:
  // read before the port is opened, written after.
  std::string SettingsFile;
  std::string SaveSettingsFile;
  // Live mode: read from this port instead of a file.
  std::string PortName;
  bool Raw = false;       // print every block the receiver reads, in hex
  std::string RecordFile; // save every byte read
  int Frames = 0;         // stop after this many frames (0: no limit)
  int Seconds = 0;        // stop after this many seconds (0: no limit)
};

// A command line that cannot be used; the message says why.
class EUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

extern const char* const DumpUsage;
// DumpUsage and what each option does: the text of --help.
extern const char* const DumpHelp;

TDumpOptions ParseDumpOptions(const std::vector<std::string>& Args);
