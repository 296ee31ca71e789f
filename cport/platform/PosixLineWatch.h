#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// The line events an epoll wait cannot see, watched by helper threads that
// sleep in the driver: modem line changes (TIOCMIWAIT) and the end of a
// transmission (tcdrain). A helper that sees one adds its EV_* bit to the
// pending events and makes the wake-up descriptor readable; the port's event
// wait watches that descriptor and takes the events. Helpers run only while
// the event mask asks for what they watch and the driver can do it: a device
// without modem lines (a pseudo-terminal) gets no modem helper.
//
// Stopping: a helper blocked in the driver is interrupted by a signal aimed at
// its thread (SIGURG, handled by a function that does nothing and installed
// without SA_RESTART, so the call returns EINTR), sent again every few
// milliseconds until the helper has seen its stop flag; closing the descriptor
// would not wake it, the call holds the file.
class TPosixLineWatch {
public:
  explicit TPosixLineWatch(int Descriptor);
  ~TPosixLineWatch();
  TPosixLineWatch(const TPosixLineWatch&) = delete;
  TPosixLineWatch& operator=(const TPosixLineWatch&) = delete;

  // The eventfd that becomes readable when events are pending; -1 when it
  // could not be made (then no helper runs).
  int WakeDescriptor() const { return FWake; }

  // Starts the helpers the mask needs and stops the others.
  void Follow(std::uint32_t Mask);
  // Output went out: the drain helper waits for the transmitter to empty and
  // then reports EV_TXEMPTY. Ignored when it does not run.
  void RequestDrain();
  // The pending events, which are cleared.
  std::uint32_t TakeEvents();
  // Stops both helpers; returns once they have ended.
  void Stop();

private:
  class THelper;
  void WatchModemLines(const std::atomic<bool>& Stopping);
  void DrainTransmitter(const std::atomic<bool>& Stopping);
  void Post(std::uint32_t Events);

  const int FDescriptor;
  const int FWake;
  std::atomic<std::uint32_t> FPending{0};
  std::mutex FLock; // the helpers and the drain request
  std::condition_variable FDrainWanted;
  bool FDrainRequested = false;
  std::unique_ptr<THelper> FModem, FDrain;
};
