#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/MessageWindow.h"
#include "base/Thread.h"
#include "cport/ComPortTypes.h"
#include "cport/platform/ComDevice.h"

class TCustomComPort;

// The message that carries one line event to the port's event window; WParam
// is the event's mask bit (EV_*), LParam 0.
constexpr unsigned WM_PORTEVENT = WM_USER + 1;

// Event set <-> device event mask. Mask bits without a port event (printer
// errors, provider bits) are dropped.
std::uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(std::uint32_t Mask);

// The order in which the events of one batch are processed: errors first, so
// that they are reported before the bytes they came with.
inline constexpr TComEvent EventDeliveryOrder[] = {
    TComEvent::evError, TComEvent::evRxChar,  TComEvent::evTxEmpty, TComEvent::evBreak,
    TComEvent::evRing,  TComEvent::evCTS,     TComEvent::evDSR,     TComEvent::evRxFlag,
    TComEvent::evRLSD,  TComEvent::evRx80Full};

// The port's event thread: waits for the line events of the port's Events on
// its device and hands each batch over as the port's SyncMethod says. Created
// by OpenPort once the device is configured, destroyed by ClosePort before the
// device is closed; it only ever sleeps in the device's event wait.
class TComThread : public TThread {
public:
  // Sets the device's event mask from the port's Events and starts waiting.
  explicit TComThread(TCustomComPort* Port);
  // Requests the stop and waits until the thread has ended (running pending
  // handoffs meanwhile when called on the main thread).
  ~TComThread() override;

  void RequestStop();

  // How many waits ended with events (the thread's wake-ups for the line).
  unsigned long Wakeups() const { return FWakeups.load(); }

protected:
  void Execute() override;

private:
  void Run();
  void DeliverEvents();
  void SendEventMessages();
  void HandleEvents();

  TCustomComPort* FPort;
  std::unique_ptr<TComStopSignal> FStopEvent;
  TComEvents FEvents; // the received events of the last wait
  std::atomic<unsigned long> FWakeups{0};
};
