#include "tools/dump/DumpInterrupt.h"

#include <csignal>

namespace {

TMainLoop* Interruptible = nullptr;
struct sigaction OldInt {};
struct sigaction OldTerm {};

extern "C" void StopOnSignal(int) {
  if (Interruptible)
    Interruptible->QuitFromSignal();
}

} // namespace

TInterruptQuit::TInterruptQuit(TMainLoop& Loop) {
  Interruptible = &Loop;
  struct sigaction Action {};
  Action.sa_handler = StopOnSignal;
  sigemptyset(&Action.sa_mask);
  sigaction(SIGINT, &Action, &OldInt);
  sigaction(SIGTERM, &Action, &OldTerm);
}

TInterruptQuit::~TInterruptQuit() {
  sigaction(SIGINT, &OldInt, nullptr);
  sigaction(SIGTERM, &OldTerm, nullptr);
  Interruptible = nullptr;
}
