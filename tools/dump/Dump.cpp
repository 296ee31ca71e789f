// hxt24-dump: feeds a recorded byte stream through the scope's receiver and
// decoders and prints what the main window would show.
//
// Exit status: 0 done; 1 an output could not be written (a file, the record,
// the standard output); 2 a bad command line or an input or settings file that
// cannot be read; 3 (live mode) the port failed: it could not be opened, or it
// went away. Any other failure (out of memory included) is a message and 1.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/CommandLine.h"
#include "base/Exception.h"
#include "base/OpenFile.h"
#include "base/ProgramInfo.h"
#include "base/ProgramMain.h"
#include "base/SafeFile.h"
#include "scope/PlotValues.h"
#include "scope/ScopeLink.h"
#include "cport/CPort.h"
#include "cport/ProgramTranslation.h"
#include "cport/platform/ComDevice.h"
#include "tools/dump/DumpLive.h"
#include "tools/dump/DumpOptions.h"
#include "tools/dump/DumpPicture.h"
#include "tools/dump/DumpPortSettings.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitOutputFailed = 1;
constexpr int ExitBadInput = 2;

class EInput : public Exception {
public:
  using Exception::Exception;
};

// The recording, opened before anything else is done with it; read as a
// stream in blocks, so that a file of any size (or a device or pipe that never
// ends) takes the same memory.
class TInputFile {
public:
  explicit TInputFile(const std::string& Name) : FName(Name), FFile(OpenFile(Name, "rb")) {
    if (!FFile)
      throw EInput("cannot open \"" + Name + "\": " + std::strerror(errno));
  }
  ~TInputFile() { std::fclose(FFile); }
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // The next block into Block (at most its size); 0 at the end.
  std::size_t Read(std::vector<std::uint8_t>& Block) {
    const std::size_t N = std::fread(Block.data(), 1, Block.size(), FFile);
    if (N == 0 && std::ferror(FFile))
      throw EInput("cannot read \"" + FName + "\": " + std::strerror(errno));
    return N;
  }

private:
  std::string FName;
  std::FILE* FFile;
};

// One line per dispatched frame, and the samples line when asked for.
class TFramePrinter {
public:
  TFramePrinter(const TScopeState& State, bool Samples) : FState(State), FSamples(Samples) {}

  void Frame(std::string_view Tag, int L) {
    FLine.clear();
    FLine += std::to_string(++FCount);
    FLine += ' ';
    FLine += Tag;
    FLine += ' ';
    FLine += std::to_string(L);
    FLine += ' ';
    for (int I = 0; I < ScopePanelCount; ++I) {
      if (I > 0)
        FLine += '|';
      FLine += FState.Panel(I);
    }
    FLine += '\n';
    if (FSamples) {
      FLine += ' ';
      for (std::uint8_t Stored : FState.Samples()) {
        FLine += ' ';
        FLine += std::to_string(256 - Stored);
      }
      FLine += '\n';
    }
    WriteStdout(FLine);
  }

private:
  const TScopeState& FState;
  bool FSamples;
  int FCount = 0;
  std::string FLine;
};

// Delivers the input as received-characters events: each chunk is queued,
// then the event reports everything waiting. A chunk may span blocks; the
// receiver leaves at most one frame waiting, so memory stays bounded.
void Feed(TScopeLink& Link, TMemoryByteSource& Source, TInputFile& Input,
          const std::vector<int>& Chunks) {
  std::vector<std::uint8_t> Block(65536);
  std::size_t Next = 0;
  std::size_t Left = static_cast<std::size_t>(Chunks[0]); // still to go into this chunk
  bool Queued = false;
  while (const std::size_t N = Input.Read(Block)) {
    for (std::size_t Pos = 0; Pos < N;) {
      const std::size_t Take = std::min(Left, N - Pos);
      Source.Push(Block.data() + Pos, Take);
      Pos += Take;
      Left -= Take;
      Queued = true;
      if (Left == 0) {
        Link.ComPortRxChar(Source.Waiting());
        Queued = false;
        Left = static_cast<std::size_t>(Chunks[++Next % Chunks.size()]);
      }
    }
  }
  if (Queued) // the last chunk, shorter than asked
    Link.ComPortRxChar(Source.Waiting());
}

void WriteOutputs(const TDumpOptions& Options, const TScopeState& State) {
  if (!Options.ValuesFile.empty())
    SaveFileWhole(Options.ValuesFile, PlotValuesText(State.Panels(), State.Samples()));
  if (!Options.BmpFile.empty())
    SaveDumpPicture(Options.BmpFile, State.Samples(), Options.Width, Options.Height);
}

// Live mode: the same receiver and printer, fed by the port's events.
int RunLive(const TDumpOptions& Options) {
  TLiveDump Live(Options);
  TScopeLink Link(&Live);
  TFramePrinter Printer(Link.State, Options.Samples);
  Link.OnFrameDone = [&](std::string_view Tag, int L) {
    if (Live.TakeFrame()) {
      Printer.Frame(Tag, L);
      // Frames nobody can see are not worth waiting for.
      if (!FlushStdout())
        Live.Stop();
    }
  };
  const int Status = Live.Run([&](int Count) { Link.ComPortRxChar(Count); });
  // The files asked for are written even when the standard output failed.
  FlushStdout();
  WriteOutputs(Options, Link.State);
  CheckStdout();
  return Status;
}

// One line per serial port: the name to give --port, a tab, what is behind it.
int ListPorts() {
  for (const TComPortInfo& Port : PlatformComDevice().ListPorts())
    WriteStdout(Port.Name + "\t" + Port.Description + "\n");
  CheckStdout();
  return ExitOk;
}

int Run(const TDumpOptions& Options) {
  if (Options.Help)
    return PrintProgramInfo("hxt24-dump", DumpHelp);
  if (Options.Version)
    return PrintProgramInfo("hxt24-dump", VersionLine("hxt24-dump"));
  if (Options.ListPorts)
    return ListPorts();
  if (!Options.PortName.empty())
    return RunLive(Options);
  TInputFile Input(Options.InputFile);
  if (!Options.SettingsFile.empty() || !Options.SaveSettingsFile.empty()) {
    // The input is a recording, so the port is set up as it would be for a
    // live scope but never opened.
    TComPort Port;
    ApplyDumpPortSettings(Port, Options);
    std::fprintf(stderr, "hxt24-dump: %s (not opened: the input is a recording): %s\n",
                 DumpPortName, DescribeLineSettings(Port).c_str());
  }
  TMemoryByteSource Source;
  TScopeLink Link(&Source);
  TFramePrinter Printer(Link.State, Options.Samples);
  Link.OnFrameDone = [&](std::string_view Tag, int L) { Printer.Frame(Tag, L); };
  Feed(Link, Source, Input, Options.Chunks);
  // The files asked for are written even when the standard output failed.
  FlushStdout();
  WriteOutputs(Options, Link.State);
  CheckStdout();
  return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
  return RunProgramMain("hxt24-dump", ExitOutputFailed, [&] {
    // The port's messages and the runtime's follow LANG, as in the client.
    TProgramTranslation Translation("hxt24-dump");
    try {
      std::vector<std::string> Args = CommandLineArguments(argc, argv);
      Args.erase(Args.begin());
      return Run(ParseDumpOptions(Args));
    } catch (const EUsage& E) {
      std::fprintf(stderr, "hxt24-dump: %s\n%s\n", E.what(), DumpUsage);
      return ExitBadInput;
    } catch (const EInput& E) {
      std::fprintf(stderr, "hxt24-dump: %s\n", E.what());
      return ExitBadInput;
    } catch (const ESettingsInput& E) {
      std::fprintf(stderr, "hxt24-dump: %s\n", E.what());
      return ExitBadInput;
    }
  });
}
