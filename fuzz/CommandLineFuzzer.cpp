// The command lines of hxt24-dump, hxt24-sim and the client hxt24: the input
// is the argument list, arguments separated by zero bytes; its first byte
// picks the program.
//
// For any list: the parser either returns or raises its usage error (any
// other exception, a crash or a hang is a finding); what hxt24-dump accepts
// is something it can run (one input, or one port, or the port listing; every
// chunk size and picture side in range; a picture with its size); and parsing
// is the same the second time.
//
// The client's line: what it accepts never asks for both the demo scope and
// a port; the port it connects to is one the line named (the value of a
// --port or a --port=) and opens an absolute device path; an unknown option
// after the line is refused, and a toolkit's option (-platform offscreen)
// after it changes nothing, unless --port takes either as its value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "cport/platform/PosixDevice.h"
#include "tools/dump/DumpOptions.h"
#include "tools/sim/SimOptions.h"

namespace {

[[noreturn]] void Finding(const char* What) {
  std::fprintf(stderr, "%s\n", What);
  std::abort();
}

void CheckDump(const std::vector<std::string>& Args) {
  TDumpOptions Options;
  try {
    Options = ParseDumpOptions(Args);
  } catch (const EUsage& E) {
    if (std::string(E.what()).empty())
      Finding("usage error without a message");
    return;
  }
  if (Options.Help || Options.Version)
    return;
  const int Modes =
      int(Options.ListPorts) + int(!Options.InputFile.empty()) + int(!Options.PortName.empty());
  if (Modes != 1)
    Finding("not exactly one of input, port and listing");
  if (Options.Chunks.empty())
    Finding("no chunk size");
  for (int Chunk : Options.Chunks)
    if (Chunk < 1 || Chunk > (1 << 24))
      Finding("chunk size out of range");
  if (!Options.BmpFile.empty() && (Options.Width < 1 || Options.Height < 1))
    Finding("picture without a size");
  const TDumpOptions Again = ParseDumpOptions(Args);
  if (Again.Chunks != Options.Chunks || Again.InputFile != Options.InputFile ||
      Again.PortName != Options.PortName || Again.Width != Options.Width)
    Finding("second parse differs");
}

void CheckSim(const std::vector<std::string>& Args) {
  try {
    ParseSimOptions(Args);
  } catch (const ESimUsage& E) {
    if (std::string(E.what()).empty())
      Finding("usage error without a message");
  }
}

bool SameLine(const TCommandLine& A, const TCommandLine& B) {
  return A.Help == B.Help && A.Version == B.Version && A.Demo == B.Demo && A.Port == B.Port &&
         A.Error == B.Error;
}

void CheckClient(const std::vector<std::string>& Args) {
  const TCommandLine Line = ParseCommandLine(Args);
  // A --port as the last argument takes what is appended as its value.
  const bool PortLast = Args.size() > 1 && Args.back() == "--port";
  std::vector<std::string> Longer = Args.empty() ? std::vector<std::string>{"hxt24"} : Args;
  Longer.push_back("--no-such-option");
  const TCommandLine Unknown = ParseCommandLine(Longer);
  if (Unknown.Error.empty() && !(PortLast && Unknown.Port == "--no-such-option"))
    Finding("unknown option accepted");
  Longer.back() = "-platform";
  Longer.push_back("offscreen");
  if (!PortLast && !SameLine(ParseCommandLine(Longer), Line))
    Finding("toolkit option changed the line");
  if (!Line.Error.empty())
    return;
  if (Line.Demo && !Line.Port.empty())
    Finding("demo scope and a port");
  if (Line.Port.empty())
    return;
  bool Named = false;
  for (std::size_t i = 1; i < Args.size(); ++i)
    Named = Named || Args[i] == "--port=" + Line.Port ||
            (Args[i] == "--port" && i + 1 < Args.size() && Args[i + 1] == Line.Port);
  if (!Named)
    Finding("port not named on the line");
  const std::string Path = DevicePathForPort(Line.Port);
  if (Path.empty() || Path[0] != '/')
    Finding("port opens no absolute path");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  std::vector<std::string> Args(1);
  for (std::size_t i = 1; i < Size && Args.size() <= 64; ++i) {
    if (Data[i] == 0)
      Args.emplace_back();
    else
      Args.back() += static_cast<char>(Data[i]);
  }
  if (Size == 1)
    Args.clear();
  switch (Data[0] % 3) {
  case 0:
    CheckDump(Args);
    break;
  case 1:
    CheckSim(Args);
    break;
  default:
    CheckClient(Args);
  }
  return 0;
}
