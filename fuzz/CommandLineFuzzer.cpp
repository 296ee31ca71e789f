// The command lines of hxt24-dump and hxt24-sim: the input is the argument
// list, arguments separated by zero bytes; its first byte picks the program.
//
// For any list: the parser either returns or raises its usage error (any
// other exception, a crash or a hang is a finding); what hxt24-dump accepts
// is something it can run (one input, or one port, or the port listing; every
// chunk size and picture side in range; a picture with its size); and parsing
// is the same the second time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
  if (Data[0] & 1)
    CheckSim(Args);
  else
    CheckDump(Args);
  return 0;
}
