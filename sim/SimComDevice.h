#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cport/platform/ComDevice.h"
#include "sim/SimFrames.h"

// A simulated HXT24 behind the serial port's device layer, in the process: the
// port named PortName() is a scope whose frames (TSimScope) arrive at the line
// rate, each whole when its last byte would have; every other name goes to the
// next device (the platform's), so real ports still open. Made for platforms
// without pseudo-terminals (the Windows --demo).
//
// The simulated line takes any line settings and queue sizes, has no modem
// lines and answers the timeouts' total time (not the interval time). Its input
// queue holds InQueue bytes (SetupComm); what arrives beyond that is lost and
// flagged CE_RXOVER. Only EV_RXCHAR is reported; the event wait sleeps until the
// next frame is due or the stop signal, and nothing polls.
class TSimComDevice : public TComDevice {
public:
  TSimComDevice(const TSimOptions& Options, double BytesPerSecond, TComDevice& Next,
                std::string PortName = "DEMO");
  ~TSimComDevice() override;
  TSimComDevice(const TSimComDevice&) = delete;
  TSimComDevice& operator=(const TSimComDevice&) = delete;

  const std::string& PortName() const { return FPortName; }

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
  // The simulated port first, then the next device's.
  std::vector<TComPortInfo> ListPorts() override;

  // Error numbers, as the serial drivers give them.
  static constexpr int ErrorInvalidHandle = 6;
  static constexpr int ErrorAccessDenied = 5;
  static constexpr int ErrorOperationAborted = 995;

private:
  using TClock = std::chrono::steady_clock;
  class TStopSignal;
  // The open simulated port.
  struct TLine {
    explicit TLine(const TSimOptions& Options) : Scope(Options) {}
    TSimScope Scope;
    TClock::time_point Start;
    double BytesBefore = 0; // bytes of the frames that have arrived
    TSimBytes Next;         // the frame on its way
    std::deque<std::uint8_t> Queue;
    std::size_t QueueLimit = 4096;
    std::uint32_t Errors = 0;
    std::uint32_t Mask = 0;
    bool RxEvent = false; // bytes arrived since the last wait reported them
    TCommTimeouts Timeouts{};
    unsigned Aborts = 0; // purges that abort the reads under way
  };

  // The next device's call, its error kept for LastError.
  bool Forwarded(bool Result);
  // Simulated calls on a port that is not open.
  bool Invalid();
  TClock::time_point NextArrival() const;
  // Moves the frames due by Now into the queue.
  void Advance(TClock::time_point Now);

  static constexpr TComHandle SimHandle = -0x5C0;
  const TSimOptions FOptions;
  const double FRate;
  TComDevice& FNext;
  const std::string FPortName;
  std::mutex FLock;
  std::condition_variable FWake; // arrivals the waiters sleep to, stops, purges, closes
  std::unique_ptr<TLine> FLine;
};
