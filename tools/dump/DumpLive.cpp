#include "tools/dump/DumpLive.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/ExceptionDisplay.h"
#include "tools/dump/DumpInterrupt.h"
#include "tools/dump/DumpPortSettings.h"

namespace {

int StdoutError = 0; // the first failure of the standard output

} // namespace

void WriteStdout(std::string_view Text) {
  if (std::fwrite(Text.data(), 1, Text.size(), stdout) != Text.size() && StdoutError == 0)
    StdoutError = errno ? errno : EIO;
}

bool FlushStdout() {
  if (std::fflush(stdout) != 0 && StdoutError == 0)
    StdoutError = errno ? errno : EIO;
  return StdoutError == 0;
}

void CheckStdout() {
  if (!FlushStdout())
    throw Exception(std::string("cannot write the standard output: ") + std::strerror(StdoutError));
}

TLiveDump::TLiveDump(const TDumpOptions& Options) : FOptions(Options) {
  FPort.SetPort(Options.PortName);
  ApplyDumpPortSettings(FPort, Options);
  // The command line names the device, whatever a settings file says.
  FPort.SetPort(Options.PortName);
  if (!Options.RecordFile.empty())
    FRecord = std::make_unique<TSafeFile>(Options.RecordFile);
}

// An uncommitted record (a failed run) goes with its temporary file.
TLiveDump::~TLiveDump() = default;

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
    WriteStdout(Line);
    // Live: shown as it happens, also through a pipe.
    if (!FlushStdout())
      FLoop.Quit();
  }
  if (FRecord && Read > 0 && FRecordError.empty()) {
    try {
      FRecord->Write(
          std::string_view(reinterpret_cast<const char*>(Bytes), static_cast<std::size_t>(Read)));
    } catch (const Exception& E) {
      // The recording is what the user asked for: without it the run ends.
      FRecordError = E.Message();
      FLoop.Quit();
    }
  }
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
  TInterruptQuit Quit(FLoop);
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
  if (!FRecordError.empty())
    throw Exception(FRecordError);
  if (FRecord)
    FRecord->Commit();
  return FFailed ? 3 : 0;
}
