#include "tools/dump/DumpLive.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "base/ExceptionDisplay.h"
#include "tools/dump/DumpPortSettings.h"

namespace {

TMainLoop* Interruptible = nullptr;

extern "C" void StopOnSignal(int) {
  if (Interruptible)
    Interruptible->QuitFromSignal();
}

// Ctrl+C and a polite kill end the run through the loop, so the port closes.
class TSignalQuit {
public:
  explicit TSignalQuit(TMainLoop& Loop) {
    Interruptible = &Loop;
    struct sigaction Action {};
    Action.sa_handler = StopOnSignal;
    sigemptyset(&Action.sa_mask);
    sigaction(SIGINT, &Action, &FOldInt);
    sigaction(SIGTERM, &Action, &FOldTerm);
  }
  ~TSignalQuit() {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
    Interruptible = nullptr;
  }

private:
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
};

} // namespace

TLiveDump::TLiveDump(const TDumpOptions& Options) : FOptions(Options) {
  FPort.SetPort(Options.PortName);
  ApplyDumpPortSettings(FPort, Options);
  // The command line names the device, whatever a settings file says.
  FPort.SetPort(Options.PortName);
  if (!Options.RecordFile.empty()) {
    FRecord = std::fopen(Options.RecordFile.c_str(), "wb");
    if (!FRecord)
      throw Exception("cannot create \"" + Options.RecordFile + "\": " + std::strerror(errno));
  }
}

TLiveDump::~TLiveDump() {
  if (FRecord)
    std::fclose(FRecord);
}

int TLiveDump::ReadBytes(void* Buffer, int Count) {
  const int Read = FPort.ReadBytes(Buffer, Count);
  const auto* Bytes = static_cast<const std::uint8_t*>(Buffer);
  if (FOptions.Raw && Read > 0) {
    std::string Line = "raw";
    static const char Hex[] = "0123456789abcdef";
    for (int I = 0; I < Read; ++I) {
      Line += ' ';
      Line += Hex[Bytes[I] >> 4];
      Line += Hex[Bytes[I] & 15];
    }
    Line += '\n';
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fflush(stdout); // live: shown as it happens, also through a pipe
  }
  if (FRecord && Read > 0 &&
      std::fwrite(Bytes, 1, static_cast<std::size_t>(Read), FRecord) != std::size_t(Read))
    throw Exception("cannot write \"" + FOptions.RecordFile + "\": " + std::strerror(errno));
  return Read;
}

bool TLiveDump::TakeFrame() {
  // One read may complete several frames that queued up: those past the
  // limit are not printed.
  if (FOptions.Frames == 0)
    return true;
  if (FFrames >= FOptions.Frames)
    return false;
  if (++FFrames == FOptions.Frames)
    FLoop.Quit();
  return true;
}

void TLiveDump::PortError(const std::exception& E) {
  std::fprintf(stderr, "hxt24-dump: %s\n", ExceptionDisplayText(E.what()).c_str());
  FFailed = true;
  FLoop.Quit();
}

int TLiveDump::Run(const std::function<void(int Count)>& RxChar) {
  // Errors of the event thread and of the handlers reach the user here.
  SetExceptionHandler([this](const std::exception& E) { PortError(E); });
  TSignalQuit Quit(FLoop);
  FPort.SetOnRxChar([&](TObject*, std::int32_t Count) { RxChar(Count); });
  std::fprintf(stderr, "hxt24-dump: %s\n", DescribeLineSettings(FPort).c_str());
  try {
    FPort.OpenPort();
    FLoop.Run(FOptions.Seconds > 0 ? std::chrono::milliseconds(FOptions.Seconds * 1000)
                                   : TMainLoop::Forever);
  } catch (const EComPort& E) {
    PortError(E);
  }
  try {
    FPort.ClosePort();
  } catch (const EComPort& E) {
    // A device that went away also refuses the purge: one report is enough.
    if (!FFailed)
      PortError(E);
  }
  SetExceptionHandler(nullptr);
  if (FRecord && std::fflush(FRecord) != 0)
    throw Exception("cannot write \"" + FOptions.RecordFile + "\": " + std::strerror(errno));
  return FFailed ? 3 : 0;
}
