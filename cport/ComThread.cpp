#include "cport/ComThread.h"

#include <exception>
#include <string>

#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "cport/CPort.h"
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

TComThread::TComThread(TCustomComPort* Port) : TThread(true), FPort(Port) {
  FStopEvent = Port->Device().NewStopSignal();
  // The port has no setting of its own for the priority: the line needs no
  // more than normal.
  SetPriority(tpNormal);
  Port->Device().SetCommMask(Port->DeviceHandle(), EventsToMask(Port->Events()));
  Start();
}

TComThread::~TComThread() {
  RequestStop();
  WaitFor();
}

void TComThread::RequestStop() {
  FStopEvent->Signal();
  std::this_thread::yield();
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
  TComDevice& Device = FPort->Device();
  const TComHandle Handle = FPort->DeviceHandle();
  for (;;) {
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
    FEvents = MaskToEvents(Mask);
    DeliverEvents();
  }
  Device.SetCommMask(Handle, 0);
  Device.PurgeComm(Handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TComThread::DeliverEvents() {
  switch (FPort->SyncMethod()) {
  case TSyncMethod::smThreadSync:
    Synchronize([this] { HandleEvents(); });
    break;
  case TSyncMethod::smWindowSync:
    SendEventMessages();
    break;
  case TSyncMethod::smNone:
    HandleEvents();
    break;
  }
}

void TComThread::SendEventMessages() {
  for (TComEvent Event : EventDeliveryOrder)
    if (FEvents.Contains(Event))
      FPort->FEventWindow->Send(WM_PORTEVENT, EventsToMask(TComEvents{Event}), 0);
}

void TComThread::HandleEvents() {
  for (TComEvent Event : EventDeliveryOrder)
    if (FEvents.Contains(Event))
      FPort->ProcessEvent(Event);
}
