#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/MessageWindow.h"
#include "base/Thread.h"
#include "cport/ComPortTypes.h"
#include "cport/platform/ComDevice.h"

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

// Shared by a port, its event thread and every batch the thread hands over, so
// that it outlives all of them: a handler may close the port, and with it free
// the thread, while the batch it belongs to is still being delivered.
class TComStopToken {
public:
  // Ends the batch being delivered now: no handler of it runs after the one
  // that is running. Batches that start later are not affected.
  void EndBatch() { FBatchEnds.fetch_add(1, std::memory_order_acq_rel); }
  // Taken when a batch starts; BatchEnded tells whether EndBatch came since.
  unsigned BatchMark() const { return FBatchEnds.load(std::memory_order_acquire); }
  bool BatchEnded(unsigned Mark) const { return BatchMark() != Mark; }

  // The thread is to end: it waits for no further event.
  void RequestStop();
  bool StopRequested() const { return FStop.load(std::memory_order_acquire); }

  // Handlers that run on the event thread (smNone) wait until the port has
  // finished opening, so that they never close the port under the opening's
  // own signal reports. AwaitDelivery is false when the stop came first.
  void AllowDelivery();
  bool AwaitDelivery();

  // The port has cleared the device's mask and closed the device itself (a
  // handler on the event thread closed the port): the thread must not touch
  // the handle again, another port may already have it.
  void ReleaseDevice() { FDeviceReleased.store(true, std::memory_order_release); }
  bool DeviceReleased() const { return FDeviceReleased.load(std::memory_order_acquire); }

private:
  std::atomic<unsigned> FBatchEnds{0};
  std::atomic<bool> FStop{false};
  std::atomic<bool> FDeviceReleased{false};
  std::atomic<bool> FDeliveryAllowed{false};
  std::mutex FGateLock;
  std::condition_variable FGate;
};

// Where the thread delivers the events of a batch: the processing routine of
// one line event.
class TComEventSink {
public:
  virtual void ProcessEvent(TComEvent Event) = 0;

protected:
  ~TComEventSink() = default;
};

// All the thread knows of its port, taken once when the thread is created.
struct TComThreadPort {
  TComEventSink* Sink = nullptr;
  TComDevice* Device = nullptr;
  TComHandle Handle = InvalidComHandle;
  TComEvents Events;                                  // the device's event mask
  TSyncMethod SyncMethod = TSyncMethod::smThreadSync; // how every batch is handed over
  TMessageWindow* EventWindow = nullptr;              // smWindowSync: where the messages go
  TThreadPriority Priority = tpNormal;
  std::shared_ptr<TComStopToken> Stop;
};

// The port's event thread: waits for the line events of the port's Events on
// its device and hands each batch over as the port's SyncMethod said when the
// thread was created. Created by OpenPort once the device is configured,
// destroyed by ClosePort before the device is closed; it only ever sleeps in
// the device's event wait.
class TComThread : public TThread {
public:
  // Sets the device's event mask from Port.Events and starts waiting.
  explicit TComThread(const TComThreadPort& Port);
  // Requests the stop and waits until the thread has ended (running pending
  // handoffs meanwhile when called on the main thread). Never called on the
  // thread itself: a port closed there keeps the object until it can wait.
  ~TComThread() override;

  // Ends the wait: the thread stops at once, or after the batch it delivers.
  void RequestStop();
  // For a handler on this thread (smNone) that closes the port: the thread
  // ends when the handler returns and never touches the device again. Clears
  // the device's mask and queues as the thread does when it ends, and lets go
  // of what the wait holds of the device (a second descriptor of it), so that
  // the device can be closed and opened again at once.
  void ReleaseDeviceHere();

  // How many waits ended with events (the thread's wake-ups for the line).
  unsigned long Wakeups() const { return FWakeups.load(); }

protected:
  void Execute() override;

private:
  void Run();
  void DeliverEvents(TComEvents Events);
  void SendEventMessages(TComEvents Events);
  // Calls the sink for each event of the batch, in delivery order, until a
  // handler ends the batch. Touches nothing but its arguments, so a handler
  // may free the thread meanwhile.
  static void HandleEvents(TComEventSink& Sink, const TComStopToken& Stop, TComEvents Events);

  const TComThreadPort FPort;
  std::unique_ptr<TComStopSignal> FStopEvent;
  std::atomic<unsigned long> FWakeups{0};
};
