#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cport/platform/ComDevice.h"

// A scriptable device for tests. It hosts named lines; a test adds a line,
// pushes received bytes, modem lines, line errors and events into it, reads back
// every call and every record written, and can make the Nth call of any
// operation fail with a chosen error number. All members are thread-safe, so a
// test can push events while another thread waits for them.
class TFakeComDevice : public TComDevice {
public:
  TFakeComDevice();
  ~TFakeComDevice() override;

  // ---- Scripting ----
  void AddLine(const std::string& PortName);
  void PushReceived(const std::string& PortName, const std::string& Bytes);
  void SetModemStatus(const std::string& PortName, std::uint32_t Status);
  void FlagLineErrors(const std::string& PortName, std::uint32_t Errors);
  // Reports EV_* bits to a wait on the line (those selected by its mask).
  void PushEvents(const std::string& PortName, std::uint32_t Mask);
  // The line goes away: every later call on its open handle fails with EIO and
  // a wait in progress ends with wrFailed.
  void Vanish(const std::string& PortName);
  // The Nth call (1 = the next one) of Operation ("Open", "SetCommState", ...)
  // fails with Error. Calls are counted from this request on.
  void FailCall(const std::string& Operation, int N, int Error);
  // What ListPorts reports.
  void SetPortList(std::vector<TComPortInfo> Ports);

  // ---- Inspection ----
  // Every call, in order: the operation's name, followed by its arguments for
  // Open ("Open COM1"), SetupComm ("SetupComm 1024 1024"), ReadFile
  // ("ReadFile 5"), PurgeComm ("PurgeComm 3") and SetCommMask ("SetCommMask 1").
  std::vector<std::string> Calls() const;
  void ClearCalls();
  std::vector<TDeviceControlBlock> States() const;
  std::vector<TCommTimeouts> TimeoutRecords() const;
  std::uint32_t CommMask(const std::string& PortName) const;
  std::size_t QueuedBytes(const std::string& PortName) const;
  bool IsOpen(const std::string& PortName) const;
  int OpenHandles() const;

  // ---- TComDevice ----
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
  std::vector<TComPortInfo> ListPorts() override;

private:
  struct TLine {
    std::deque<std::uint8_t> Received;
    std::uint32_t ModemStatus = 0;
    std::uint32_t Errors = 0;
    std::uint32_t PendingEvents = 0;
    std::uint32_t Mask = 0;
    bool Open = false;
    bool Vanished = false;
  };
  struct TFailure {
    int Remaining;
    int Error;
  };
  class TStopSignal;

  // Logs the call and decides whether it fails; Fail() sets the error.
  bool Enter(const std::string& Operation, const std::string& Call);
  bool Fail(int Error);
  // The line behind an open handle, or null after setting EBADF/EIO.
  TLine* LineOf(TComHandle Handle);
  TLine& NamedLine(const std::string& PortName);
  const TLine* FindLine(const std::string& PortName) const;

  mutable std::mutex FLock;
  std::vector<TComPortInfo> FPortList;
  std::condition_variable FChanged;
  std::map<std::string, TLine> FLines;
  std::map<TComHandle, std::string> FHandles;
  TComHandle FNextHandle = 3;
  std::vector<std::string> FCalls;
  std::multimap<std::string, TFailure> FFailures;
  std::vector<TDeviceControlBlock> FStates;
  std::vector<TCommTimeouts> FTimeouts;
};
