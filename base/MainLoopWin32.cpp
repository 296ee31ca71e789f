// The main loop's wake-up on Windows: an auto-reset event object. The sleep
// also wakes for the thread's window messages and dispatches them, so that the
// hidden message windows (MessageWindowWin32.cpp) receive the messages other
// threads send them while the loop waits.
#include "base/MainLoop.h"

#include <windows.h>

#include <cstdint>

#include "base/Exception.h"
#include "base/Format.h"

namespace {

HANDLE HandleOf(std::intptr_t Event) {
  return reinterpret_cast<HANDLE>(Event);
}

int LastError() {
  return static_cast<int>(GetLastError());
}

} // namespace

std::intptr_t TMainLoop::CreateWakeEvent() {
  HANDLE Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!Event)
    throw Exception(Format("Cannot create the main loop's event (error %d)", {LastError()}));
  return reinterpret_cast<std::intptr_t>(Event);
}

void TMainLoop::CloseWakeEvent(std::intptr_t Event) noexcept {
  CloseHandle(HandleOf(Event));
}

void TMainLoop::SignalWakeEvent(std::intptr_t Event) noexcept {
  SetEvent(HandleOf(Event));
}

bool TMainLoop::SleepOnWakeEvent(std::intptr_t Event, int TimeoutMs) {
  HANDLE Handle = HandleOf(Event);
  const DWORD Timeout = TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs);
  const DWORD Result =
      MsgWaitForMultipleObjectsEx(1, &Handle, Timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (Result == WAIT_TIMEOUT)
    return false;
  if (Result == WAIT_OBJECT_0)
    return true;
  if (Result != WAIT_OBJECT_0 + 1)
    throw Exception(Format("The main loop's wait failed (error %d)", {LastError()}));
  // Window messages: sent ones are delivered inside PeekMessage, posted ones
  // go to their window procedures here. WM_QUIT has no meaning for this loop
  // (Quit ends it) and is dropped.
  MSG Message;
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT)
      continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return true;
}
