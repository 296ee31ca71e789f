#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "scope/ByteSource.h"
#include "tools/dump/DumpOptions.h"

// The live mode of hxt24-dump: the receiver reads from an open port, driven by
// the port's received-characters events on the main thread, as in the client.
class TLiveDump : public TByteSource {
public:
  // The port gets the scope's line settings (and --settings); --record opens
  // its file here.
  explicit TLiveDump(const TDumpOptions& Options);
  ~TLiveDump() override;
  TLiveDump(const TLiveDump&) = delete;
  TLiveDump& operator=(const TLiveDump&) = delete;

  // The port's read, with --raw and --record applied to every block.
  int ReadBytes(void* Buffer, int Count) override;
  // Counts a decoded frame; false for frames past --frames. The run ends
  // after that many.
  bool TakeFrame();

  // Opens the port, hands each OnRxChar count to RxChar until --frames,
  // --seconds, Ctrl+C or a port error, and closes the port. Returns 0, or 3
  // after a port error (shown on stderr).
  int Run(const std::function<void(int Count)>& RxChar);

private:
  void PortError(const std::exception& E);

  const TDumpOptions& FOptions;
  TMainLoop FLoop;
  TComPort FPort;
  std::FILE* FRecord = nullptr;
  int FFrames = 0;
  bool FFailed = false;
};
