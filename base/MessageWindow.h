#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// Hidden message windows: a mailbox on the main thread with a window
// procedure. Another thread sends it a message and waits for the reply; the
// procedure may reply at once (ReplyMessage) and then go on processing while
// the sender continues. Messages sent by one thread are processed in order.

constexpr unsigned WM_USER = 0x0400;

// The window-message record handed to a window procedure.
struct TMessage {
  unsigned Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

using TWndMethod = std::function<void(TMessage&)>;

class TMessageWindow {
public:
  // Create and free it on the main thread.
  explicit TMessageWindow(TWndMethod Method);
  // Messages still on their way are then answered with 0 and not processed.
  ~TMessageWindow();
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  // Runs the window procedure on the main thread and returns the message's
  // Result, or the value of an earlier ReplyMessage. Blocks the sending
  // thread until then; on the main thread the procedure runs at once.
  std::intptr_t Send(unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam);

private:
  struct TState;
  std::shared_ptr<TState> FState;
};

// The result of a message that a window procedure does not handle.
std::intptr_t DefWindowProc(const TMessage& Message);
// True inside a window procedure that another thread's Send is waiting for.
bool InSendMessage();
// Releases the waiting sender with Result; false when none waits.
bool ReplyMessage(std::intptr_t Result);
