#include "tools/dump/DumpOptions.h"

#include <charconv>
#include <cstddef>

const char* const DumpUsage = "usage: hxt24-dump [--chunk N | --chunks N1,N2,...] [--samples] "
                              "[--values OUT.txt] [--bmp OUT.bmp --size WxH] "
                              "[--settings IN.ini] [--save-settings OUT.ini] "
                              "(FILE | --port NAME [--raw] [--record OUT.bin] [--frames N] "
                              "[--seconds S])\n"
                              "       hxt24-dump --list-ports\n"
                              "       hxt24-dump --help | --version";

const char* const DumpHelp =
    R"(Usage: hxt24-dump [--chunk N | --chunks N1,N2,...] [--samples] [--values OUT.txt]
                  [--bmp OUT.bmp --size WxH] [--settings IN.ini]
                  [--save-settings OUT.ini] FILE
       hxt24-dump --port NAME [--raw] [--record OUT.bin] [--frames N] [--seconds S]
                  [the options above, without FILE]
       hxt24-dump --list-ports

Decodes an HXT24 scope's byte stream, recorded in FILE or read live from a
serial port, through the client's receiver and decoders: one line per frame,
"<n> <tag> <L> <panel 0>|...|<panel 6>".

  --chunk N, --chunks N1,N2,...
                        sizes of the received-characters events, in turn
                        (default 4096)
  --samples             print the 256 values after each frame's line
  --values OUT.txt      write the values file of the final state
  --bmp OUT.bmp --size WxH
                        write the picture of the scope area at that size
  --settings IN.ini     load the port's settings from the [ComPort] section
  --save-settings OUT.ini
                        write the port's settings, keeping the rest of the file
  --port NAME           read live from the serial port NAME (57600 8N1)
  --raw                 also print every block read, in hex
  --record OUT.bin      keep the bytes read, for a later offline run
  --frames N, --seconds S
                        stop after N frames or S seconds (else at Ctrl+C)
  --list-ports          print the serial ports of this machine and end
  --version             print the version and exit
  --help                print this text and exit

Exit status: 0 done, 1 an output could not be written, 2 a bad command line or
an unreadable file, 3 a port error. Messages follow LANG.
)";

namespace {

// A whole decimal number from Min to Max, nothing else in the text.
int ParseNumber(const std::string& Text, int Min, int Max, const std::string& What) {
  int Value = 0;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
  if (Text.empty() || Ec != std::errc() || Ptr != End || Value < Min || Value > Max)
    throw EUsage("bad " + What + " \"" + Text + "\"");
  return Value;
}

constexpr int MaxChunk = 1 << 24;
constexpr int MaxSide = 16384;

} // namespace

TDumpOptions ParseDumpOptions(const std::vector<std::string>& Args) {
  TDumpOptions Options;
  bool HaveSize = false;
  bool HaveChunks = false;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    auto Value = [&]() -> const std::string& {
      if (I + 1 >= Args.size())
        throw EUsage(Arg + " needs a value");
      return Args[++I];
    };
    // Asked for help or the version, the program does nothing else.
    if (Arg == "--help" || Arg == "--version") {
      TDumpOptions Info;
      Info.Help = Arg == "--help";
      Info.Version = !Info.Help;
      return Info;
    }
    if (Arg == "--list-ports") {
      if (Args.size() != 1)
        throw EUsage("--list-ports takes no other argument");
      Options.ListPorts = true;
      return Options;
    }
    if (Arg == "--chunk" || Arg == "--chunks") {
      if (HaveChunks)
        throw EUsage("--chunk and --chunks given more than once");
      HaveChunks = true;
      Options.Chunks.clear();
      const std::string& List = Value();
      std::size_t Start = 0;
      do {
        const std::size_t Comma = Arg == "--chunks" ? List.find(',', Start) : std::string::npos;
        Options.Chunks.push_back(
            ParseNumber(List.substr(Start, Comma - Start), 1, MaxChunk, "chunk size"));
        Start = Comma == std::string::npos ? List.size() + 1 : Comma + 1;
      } while (Start <= List.size());
    } else if (Arg == "--samples") {
      Options.Samples = true;
    } else if (Arg == "--values") {
      Options.ValuesFile = Value();
    } else if (Arg == "--bmp") {
      Options.BmpFile = Value();
    } else if (Arg == "--settings") {
      Options.SettingsFile = Value();
    } else if (Arg == "--save-settings") {
      Options.SaveSettingsFile = Value();
    } else if (Arg == "--port") {
      Options.PortName = Value();
      if (Options.PortName.empty())
        throw EUsage("empty port name");
    } else if (Arg == "--raw") {
      Options.Raw = true;
    } else if (Arg == "--record") {
      Options.RecordFile = Value();
    } else if (Arg == "--frames") {
      Options.Frames = ParseNumber(Value(), 1, 1 << 30, "frame count");
    } else if (Arg == "--seconds") {
      Options.Seconds = ParseNumber(Value(), 1, 1 << 20, "number of seconds");
    } else if (Arg == "--size") {
      const std::string& Size = Value();
      const std::size_t X = Size.find('x');
      if (X == std::string::npos)
        throw EUsage("bad size \"" + Size + "\", expected WxH");
      Options.Width = ParseNumber(Size.substr(0, X), 1, MaxSide, "width");
      Options.Height = ParseNumber(Size.substr(X + 1), 1, MaxSide, "height");
      HaveSize = true;
    } else if (Arg.size() > 1 && Arg[0] == '-') {
      throw EUsage("unknown option " + Arg);
    } else if (Options.InputFile.empty()) {
      Options.InputFile = Arg;
    } else {
      throw EUsage("more than one input file");
    }
  }
  const bool Live = !Options.PortName.empty();
  if (Live && !Options.InputFile.empty())
    throw EUsage("an input file and --port exclude each other");
  if (!Live && Options.InputFile.empty())
    throw EUsage("no input file");
  if (!Live && (Options.Raw || !Options.RecordFile.empty() || Options.Frames || Options.Seconds))
    throw EUsage("--raw, --record, --frames and --seconds need --port");
  if (!Options.BmpFile.empty() && !HaveSize)
    throw EUsage("--bmp needs --size WxH");
  return Options;
}
