#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "cport/platform/ComDevice.h"
#include "cport/platform/PosixTermios.h"

// The device path of a port name: a name starting with "/" is a path,
// "COMn" (n >= 1) is /dev/ttyS(n-1), anything else is looked up under /dev/.
std::string DevicePathForPort(const std::string& PortName);

// How a read waits, from the timeouts record and the requested count.
struct TReadPlan {
  bool Immediate = false;       // return at once with what has arrived
  bool FirstByteOnly = false;   // wait only for the first byte, up to TotalMs
  std::uint64_t TotalMs = 0;    // whole read, 0 = no limit
  std::uint32_t IntervalMs = 0; // between two bytes once one arrived, 0 = no limit
  friend bool operator==(const TReadPlan&, const TReadPlan&) = default;
};
TReadPlan PlanRead(const TCommTimeouts& Timeouts, std::int32_t Count);

// The driver's line error counters (where it keeps them), and the count of
// bytes it has transmitted.
struct TLineCounters {
  int Frame = 0, Overrun = 0, Parity = 0, Break = 0, BufferOverrun = 0, Transmitted = 0;
};
// The CE_* flags of the counters that changed.
std::uint32_t CounterChangesToErrors(const TLineCounters& Before, const TLineCounters& After);

// Serial devices and pseudo-terminals through termios. Descriptors are the
// handles; errno is the error number.
class TPosixComDevice : public TComDevice {
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
  // DiscoverPosixPorts (PosixPorts.h) over the machine's own sysfs and /dev.
  std::vector<TComPortInfo> ListPorts() override;

  // What the device keeps per open descriptor beyond the termios state.
  struct TPortState {
    TCommTimeouts Timeouts{MAXDWORD, 0, 0, 0, 0};
    std::int32_t InQueue = 0;
    std::int32_t OutQueue = 0;
    std::uint32_t Mask = 0;
    bool DiscardNull = false;
    std::uint8_t EventChar = 0;
    // Line error counters at the last ClearCommError, where the driver counts.
    bool HasCounters = false;
    TLineCounters Counters;
  };
  // A copy of the state of an open descriptor (false when it is not one).
  bool PortState(TComHandle Handle, TPortState& State) const;

  // One open descriptor: its state, the bytes read ahead of the reader, the
  // helpers of the events epoll cannot see.
  struct TOpenPort;

private:
  bool Fail(int Error);
  // The open port of Handle; null with EBADF when it is not one of ours.
  std::shared_ptr<TOpenPort> Find(TComHandle Handle) const;

  mutable std::mutex FLock; // the map
  std::map<int, std::shared_ptr<TOpenPort>> FPorts;
};
