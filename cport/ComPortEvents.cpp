// Line-event processing of the port: what each event reads from the device,
// whom it tells, and the event window's procedure.
#include "cport/CPort.h"

#include <exception>
#include <vector>

#include "base/ExceptionDisplay.h"
#include "base/MessageWindow.h"

bool TCustomComPort::RxCountMode() const {
  return FNotifyRxCount && !FHasRxBufLink;
}

void TCustomComPort::ProcessRxChar() {
  std::int32_t Count = InQueueCount();
  if (Count > 0)
    NotifyLinksState(TPortLinkNotice::pnRxActivity, true);
  DeliverRxBuffer(Count);
  if (Count > 0)
    TriggerRxChar(Count);
}

void TCustomComPort::DeliverRxBuffer(std::int32_t& Count) {
  if (Count <= 0 || RxCountMode())
    return;
  bool Taken = false;
  std::vector<std::uint8_t> Buffer;
  // OnRxBuf fires before the first link's handler, and once per batch at most.
  auto Take = [&] {
    Taken = true;
    Buffer.resize(static_cast<std::size_t>(Count));
    ReadBytes(Buffer.data(), Count);
    TriggerRxBuf(Buffer.data(), Count);
  };
  try {
    const std::size_t Links = FLinks.size();
    for (std::size_t I = 0; I < Links; ++I) {
      if (!FLinks[I]->OnRxBuf)
        continue;
      if (!Taken)
        Take();
      FLinks[I]->OnRxBuf(this, Buffer.data(), Count);
    }
    if (!Taken && !FNotifyRxCount)
      Take();
  } catch (...) {
    // Bytes handed over this way are never announced again by OnRxChar.
    if (Taken)
      Count = 0;
    throw;
  }
  if (Taken)
    Count = 0;
}

void TCustomComPort::ProcessTxEmpty() {
  NotifyLinksState(TPortLinkNotice::pnTxActivity, false);
  NotifyLinksEvent(TPortLinkNotice::pnTxEmpty);
  TriggerTxEmpty();
}

void TCustomComPort::ProcessRxFlag() {
  NotifyLinksEvent(TPortLinkNotice::pnRxFlag);
  TriggerRxFlag();
}

void TCustomComPort::ProcessRing() {
  NotifyLinksEvent(TPortLinkNotice::pnRing);
  TriggerRing();
}

void TCustomComPort::ProcessBreak() {
  TriggerBreak();
}

void TCustomComPort::ProcessError() {
  // Errors the device does not count (parity while unchecked) give an empty set.
  const TComErrors Errors = TakeLineErrors();
  if (!Errors.Empty())
    TriggerError(Errors);
}

void TCustomComPort::ProcessRx80Full() {
  TriggerRx80Full();
}

void TCustomComPort::ProcessEvent(TComEvent Event) {
  switch (Event) {
  case TComEvent::evRxChar:
    ProcessRxChar();
    break;
  case TComEvent::evTxEmpty:
    ProcessTxEmpty();
    break;
  case TComEvent::evRxFlag:
    ProcessRxFlag();
    break;
  case TComEvent::evRing:
    ProcessRing();
    break;
  case TComEvent::evBreak:
    ProcessBreak();
    break;
  case TComEvent::evCTS:
    ProcessCTSChange();
    break;
  case TComEvent::evDSR:
    ProcessDSRChange();
    break;
  case TComEvent::evError:
    ProcessError();
    break;
  case TComEvent::evRLSD:
    ProcessRLSDChange();
    break;
  case TComEvent::evRx80Full:
    ProcessRx80Full();
    break;
  }
}

void TCustomComPort::PortWindowProc(TMessage& Message) {
  if (Message.Msg != WM_PORTEVENT) {
    Message.Result = DefWindowProc(Message);
    return;
  }
  try {
    // Release the event thread before the handlers run: it may already wait
    // for the next batch.
    if (InSendMessage())
      ReplyMessage(0);
    // Dropped on a closed port, and once a close is under way: a handler
    // that closed the port ends the batch, and the thread stops anyway.
    if (!FConnected || FClosing)
      return;
    // WParam carries exactly one event's mask bit; anything else is ignored.
    for (TComEvent Event : EventDeliveryOrder)
      if (Message.WParam == EventsToMask(TComEvents{Event})) {
        ProcessEvent(Event);
        break;
      }
  } catch (const std::exception& E) {
    ShowException(E);
  }
}
