#include "cport/ComThread.h"

#include <exception>
#include <string>

#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "cport/ComPortErrors.h"

namespace {

// Event ordinal -> device mask bit.
constexpr std::uint32_t MaskOfEvent[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                         EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD, EV_RX80FULL};
constexpr int EventCount = sizeof MaskOfEvent / sizeof MaskOfEvent[0];

// Shows Error on the main thread later; the thread does not wait for it.
void ShowOnMainThread(const std::exception& Error) {
  if (const auto* Port = dynamic_cast<const EComPort*>(&Error)) {
    TThread::Queue([Copy = *Port] { ShowException(Copy); });
    return;
  }
  TThread::Queue([Message = std::string(Error.what())] { ShowException(Exception(Message)); });
}

} // namespace

std::uint32_t EventsToMask(TComEvents Events) {
  std::uint32_t Mask = 0;
  for (int I = 0; I < EventCount; ++I)
    if (Events.Contains(static_cast<TComEvent>(I)))
      Mask |= MaskOfEvent[I];
  return Mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) {
  TComEvents Events;
  for (int I = 0; I < EventCount; ++I)
    if (Mask & MaskOfEvent[I])
      Events.Include(static_cast<TComEvent>(I));
  return Events;
}

void TComStopToken::RequestStop() {
  {
    std::lock_guard Lock(FGateLock);
    FStop.store(true, std::memory_order_release);
  }
  FGate.notify_all();
}

void TComStopToken::AllowDelivery() {
  {
    std::lock_guard Lock(FGateLock);
    FDeliveryAllowed.store(true, std::memory_order_release);
  }
  FGate.notify_all();
}

bool TComStopToken::AwaitDelivery() {
  if (FDeliveryAllowed.load(std::memory_order_acquire))
    return !StopRequested();
  std::unique_lock Lock(FGateLock);
  FGate.wait(Lock, [this] { return FDeliveryAllowed.load() || FStop.load(); });
  return !FStop.load();
}

TComThread::TComThread(const TComThreadPort& Port) : TThread(true), FPort(Port) {
  FStopEvent = FPort.Device->NewStopSignal();
  SetPriority(FPort.Priority);
  FPort.Device->SetCommMask(FPort.Handle, EventsToMask(FPort.Events));
  Start();
}

TComThread::~TComThread() {
  RequestStop();
  WaitFor();
}

void TComThread::RequestStop() {
  FPort.Stop->RequestStop();
  // Gone only when the thread released the device itself, and then it waits
  // for nothing any more.
  if (FStopEvent)
    FStopEvent->Signal();
  std::this_thread::yield();
}

void TComThread::ReleaseDeviceHere() {
  FPort.Stop->RequestStop();
  FPort.Stop->ReleaseDevice();
  FPort.Device->SetCommMask(FPort.Handle, 0);
  FPort.Device->PurgeComm(FPort.Handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
  // No wait runs: this thread is in a handler, and it checks the stop
  // request before it would wait again.
  FStopEvent.reset();
}

void TComThread::Execute() {
  try {
    Run();
  } catch (const std::exception& E) {
    // The thread ends as it must, but a port that stops delivering events
    // says so instead of going quiet.
    ShowOnMainThread(E);
    throw;
  }
}

void TComThread::Run() {
  TComDevice& Device = *FPort.Device;
  const TComHandle Handle = FPort.Handle;
  const TComStopToken& Stop = *FPort.Stop;
  // The stop request is looked at before every wait: a handler that closed
  // the port on this thread has closed the device too.
  while (!Stop.StopRequested()) {
    std::uint32_t Mask = 0;
    const TComWaitResult Result = Device.WaitCommEvent(Handle, *FStopEvent, Mask);
    if (Result == TComWaitResult::wrStopped)
      break;
    if (Result == TComWaitResult::wrFailed) {
      // The device went away (cable pulled, other end hung up) or the wait
      // itself failed: waiting again would only fail again, so end here and
      // tell the user once.
      const int Error = Device.LastError();
      ShowOnMainThread(EComPort(peWaitFailed, Error));
      break;
    }
    ++FWakeups;
    DeliverEvents(MaskToEvents(Mask));
  }
  if (Stop.DeviceReleased())
    return;
  Device.SetCommMask(Handle, 0);
  Device.PurgeComm(Handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TComThread::DeliverEvents(TComEvents Events) {
  switch (FPort.SyncMethod) {
  case TSyncMethod::smThreadSync:
    // The call holds the token and the sink, not this thread: a handler that
    // closes the port frees the thread while the call still runs.
    Synchronize(
        [Sink = FPort.Sink, Stop = FPort.Stop, Events] { HandleEvents(*Sink, *Stop, Events); });
    break;
  case TSyncMethod::smWindowSync:
    SendEventMessages(Events);
    break;
  case TSyncMethod::smNone:
    if (FPort.Stop->AwaitDelivery())
      HandleEvents(*FPort.Sink, *FPort.Stop, Events);
    break;
  }
}

void TComThread::SendEventMessages(TComEvents Events) {
  const unsigned Mark = FPort.Stop->BatchMark();
  for (TComEvent Event : EventDeliveryOrder)
    if (Events.Contains(Event)) {
      if (FPort.Stop->BatchEnded(Mark))
        return;
      FPort.EventWindow->Send(WM_PORTEVENT, EventsToMask(TComEvents{Event}), 0);
    }
}

void TComThread::HandleEvents(TComEventSink& Sink, const TComStopToken& Stop, TComEvents Events) {
  const unsigned Mark = Stop.BatchMark();
  for (TComEvent Event : EventDeliveryOrder)
    if (Events.Contains(Event)) {
      if (Stop.BatchEnded(Mark))
        return;
      Sink.ProcessEvent(Event);
    }
}
