#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/MainLoop.h"
#include "base/SafeFile.h"
#include "cport/CPort.h"
#include "scope/ByteSource.h"
#include "tools/dump/DumpOptions.h"

// The live mode of hxt24-dump: the receiver reads from an open port, driven by
// the port's received-characters events on the main thread, as in the client.
class TLiveDump : public TByteSource {
public:
  // The port gets the scope's line settings (and --settings); --record opens
  // its file here (a TSafeFile: the recording replaces an earlier file only
  // once it is complete).
  explicit TLiveDump(const TDumpOptions& Options);
  ~TLiveDump() override;
  TLiveDump(const TLiveDump&) = delete;
  TLiveDump& operator=(const TLiveDump&) = delete;

  // The port's read, with --raw and --record applied to every block.
  int ReadBytes(void* Buffer, int Count) override;
  // Counts a decoded frame; false for frames past --frames. The run ends
  // after that many.
  bool TakeFrame();

  // Ends the run, as --frames does.
  void Stop() { FLoop.Quit(); }

  // Opens the port, hands each OnRxChar count to RxChar until --frames,
  // --seconds, Ctrl+C, a port error or a failed write of the record, and
  // closes the port. Returns 0, or 3 after a port error (shown on stderr).
  // The record is then committed; a record that could not be written raises
  // Exception (exit status 1) and leaves an earlier file as it was.
  int Run(const std::function<void(int Count)>& RxChar);

private:
  void PortError(const std::exception& E);

  const TDumpOptions& FOptions;
  TMainLoop FLoop;
  TComPort FPort;
  std::unique_ptr<TSafeFile> FRecord;
  std::string FRecordError; // the first failed write of the record
  int FFrames = 0;
  bool FFailed = false;
};

// The standard output of both modes, checked: a write or flush that fails
// (a full disk, /dev/full) is remembered, and CheckStdout then raises
// Exception with the system's reason.
void WriteStdout(std::string_view Text);
bool FlushStdout();
void CheckStdout();
