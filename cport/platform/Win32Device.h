#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cport/platform/ComDevice.h"

// The device path of a port name: "\\.\" and the name ("COM10" and above open
// only that way), a name already in that form as it is.
std::string Win32DevicePath(const std::string& PortName);

// Serial ports through the system's comm API, every handle opened for
// overlapped I/O. Handles are the system's; GetLastError() is the error
// number.
class TWin32ComDevice : public TComDevice {
public:
  TComHandle Open(const std::string& PortName) override;
  bool Close(TComHandle Handle) override;
  bool SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) override;
  bool SetCommState(TComHandle Handle, const TDeviceControlBlock& State) override;
  bool SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) override;
  bool ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count, std::int32_t& Read) override;
  bool PurgeComm(TComHandle Handle, std::uint32_t Flags) override;
  bool ClearCommError(TComHandle Handle, std::uint32_t& Errors, std::int32_t& InQueue) override;
  bool GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) override;
  bool SetCommMask(TComHandle Handle, std::uint32_t Mask) override;
  std::unique_ptr<TComStopSignal> NewStopSignal() override;
  TComWaitResult WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                               std::uint32_t& Mask) override;
  int LastError() override;
  // The machine's ports (ListWin32Ports).
  std::vector<TComPortInfo> ListPorts() override;

  // Beyond what the port needs (tools and tests drive the line with these).
  bool WriteFile(TComHandle Handle, const void* Buffer, std::int32_t Count, std::int32_t& Written);
  bool GetCommState(TComHandle Handle, TDeviceControlBlock& State);
  // SETDTR, CLRDTR, SETRTS, ... as the system numbers them.
  bool EscapeCommFunction(TComHandle Handle, std::uint32_t Function);

  // A wait that ends without events and without a stop (the system's "aborted"
  // without our asking, or an empty event mask) makes the device check the
  // line; after this many in a row with nothing to report the wait fails, so
  // an event thread cannot spin on a device that never waits.
  static constexpr int UnexplainedWakeupLimit = 16;

private:
  // What an open handle keeps: the settings the reads and waits look at.
  struct TPortState {
    TCommTimeouts Timeouts{};
    std::uint32_t Mask = 0;
  };
  bool Find(TComHandle Handle, TPortState& State) const;
  bool Transfer(TComHandle Handle, bool Write, void* Buffer, std::uint32_t Count,
                std::int32_t& Done);

  mutable std::mutex FLock;
  std::map<TComHandle, TPortState> FPorts;
};
