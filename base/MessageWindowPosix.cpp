// Message windows where the system has none: the window is a mailbox on the
// main thread, and a message travels through the thread handoff.
#include "base/MessageWindow.h"

#include <utility>

#include "base/Thread.h"

struct TMessageWindow::TState {
  TWndMethod Method;
  bool Alive = true; // read and written on the main thread only
};

TMessageWindow::TMessageWindow(TWndMethod Method) : FState(std::make_shared<TState>()) {
  FState->Method = std::move(Method);
}

TMessageWindow::~TMessageWindow() {
  FState->Alive = false;
}

std::intptr_t TMessageWindow::Send(unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  // The message travels by value and the state by shared ownership, so the
  // procedure never touches the sender's stack nor a released window.
  std::shared_ptr<TState> State = FState;
  return ThreadHandoff::Send([State, Msg, WParam, LParam]() -> std::intptr_t {
    TMessage Message{Msg, WParam, LParam, 0};
    if (!State->Alive)
      return DefWindowProc(Message);
    State->Method(Message);
    return Message.Result;
  });
}

std::intptr_t DefWindowProc(const TMessage&) {
  return 0;
}

bool InSendMessage() {
  return ThreadHandoff::InSend();
}

bool ReplyMessage(std::intptr_t Result) {
  return ThreadHandoff::Reply(Result);
}
