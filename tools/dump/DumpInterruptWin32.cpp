#include "tools/dump/DumpInterrupt.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<TMainLoop*> Interruptible{nullptr};

BOOL WINAPI StopOnControl(DWORD Event) {
  switch (Event) {
  case CTRL_C_EVENT:
  case CTRL_BREAK_EVENT:
  case CTRL_CLOSE_EVENT:
    if (TMainLoop* Loop = Interruptible.load()) {
      Loop->QuitFromSignal();
      return TRUE;
    }
    return FALSE;
  default:
    return FALSE;
  }
}

} // namespace

TInterruptQuit::TInterruptQuit(TMainLoop& Loop) {
  Interruptible.store(&Loop);
  SetConsoleCtrlHandler(StopOnControl, TRUE);
}

TInterruptQuit::~TInterruptQuit() {
  SetConsoleCtrlHandler(StopOnControl, FALSE);
  Interruptible.store(nullptr);
}
