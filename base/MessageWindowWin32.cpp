// Message windows on Windows: a hidden (message-only) window of the main
// thread. Another thread's Send is SendMessage, so the system delivers it
// when the main thread looks at its messages (its event loop, TMainLoop, or a
// TThread::WaitFor on the main thread), and ReplyMessage releases the sender.
#include "base/MessageWindow.h"

#include <exception>
#include <utility>

#include "base/ExceptionDisplay.h"
#include "base/Win32HiddenWindow.h"

struct TMessageWindow::TState {
  TWndMethod Method;
  void* Window = nullptr;
};

namespace {

std::intptr_t Procedure(void* Context, unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  auto* Method = static_cast<TWndMethod*>(Context);
  TMessage Message{Msg, WParam, LParam, 0};
  // An exception cannot travel back to the sender through the system: it is
  // shown here, and the sender gets 0.
  try {
    (*Method)(Message);
  } catch (const std::exception& E) {
    ShowException(E);
    return 0;
  }
  return Message.Result;
}

} // namespace

TMessageWindow::TMessageWindow(TWndMethod Method) : FState(std::make_shared<TState>()) {
  FState->Method = std::move(Method);
  FState->Window = Win32HiddenWindow::Create(&Procedure, &FState->Method);
}

TMessageWindow::~TMessageWindow() {
  Win32HiddenWindow::Destroy(FState->Window);
}

std::intptr_t TMessageWindow::Send(unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam) {
  return Win32HiddenWindow::Send(FState->Window, Msg, WParam, LParam);
}

std::intptr_t DefWindowProc(const TMessage&) {
  return 0;
}

bool InSendMessage() {
  return Win32HiddenWindow::InSend();
}

bool ReplyMessage(std::intptr_t Result) {
  return Win32HiddenWindow::Reply(Result);
}
