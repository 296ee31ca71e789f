// The main loop's wake-up on POSIX systems: an eventfd, slept on with poll.
#include "base/MainLoop.h"

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/Format.h"

std::intptr_t TMainLoop::CreateWakeEvent() {
  const int Event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (Event < 0)
    throw Exception(Format("Cannot create the main loop's event (error %d)", {errno}));
  return Event;
}

void TMainLoop::CloseWakeEvent(std::intptr_t Event) noexcept {
  close(static_cast<int>(Event));
}

void TMainLoop::SignalWakeEvent(std::intptr_t Event) noexcept {
  const std::uint64_t One = 1;
  // A full counter (never in practice) still leaves the descriptor readable.
  (void)!write(static_cast<int>(Event), &One, sizeof One);
}

bool TMainLoop::SleepOnWakeEvent(std::intptr_t Event, int TimeoutMs) {
  pollfd P{static_cast<int>(Event), POLLIN, 0};
  const int N = poll(&P, 1, TimeoutMs);
  if (N == 0)
    return false;
  if (N < 0 && errno != EINTR)
    throw Exception(Format("The main loop's wait failed (error %d)", {errno}));
  std::uint64_t Count;
  (void)!read(static_cast<int>(Event), &Count, sizeof Count);
  return true;
}
