#include "cport/platform/PosixLineWatch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cport/platform/ComDevice.h"
#include "cport/platform/PosixSystem.h"

namespace {

constexpr int InterruptSignal = SIGURG;
constexpr std::uint32_t ModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

void Interrupted(int) {}

// Installed once, before the first helper starts: the signal's default is to
// be ignored, which would not interrupt anything.
void InstallInterruptHandler() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    struct sigaction Action {};
    Action.sa_handler = Interrupted;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = 0; // no SA_RESTART: the driver call returns EINTR
    sigaction(InterruptSignal, &Action, nullptr);
  });
}

} // namespace

// One helper thread with its stop flag.
class TPosixLineWatch::THelper {
public:
  explicit THelper(std::function<void(const std::atomic<bool>&)> Body)
      : FThread([this, Body = std::move(Body)] {
          // Only the interruption reaches a helper: the program's own signals
          // (Ctrl+C and the like) go to its other threads, and a mask
          // inherited from the starting thread cannot keep the
          // interruption out.
          sigset_t Others;
          sigfillset(&Others);
          sigdelset(&Others, InterruptSignal);
          pthread_sigmask(SIG_SETMASK, &Others, nullptr);
          Body(FStopping);
          std::lock_guard<std::mutex> Lock(FLock);
          FDone = true;
          FEnded.notify_all();
        }) {}
  ~THelper() { Finish(); }

  // Set under the owner's lock, so that a helper checking the flag under it
  // cannot miss it.
  void RequestStop() { FStopping = true; }

  // Interrupts the helper's driver call until it has ended, then joins it. A
  // signal that arrives just before the helper enters the call is lost, so it
  // is sent again until the helper is done.
  void Finish() {
    if (!FThread.joinable())
      return;
    FStopping = true;
    {
      std::unique_lock<std::mutex> Lock(FLock);
      while (!FDone) {
        pthread_kill(FThread.native_handle(), InterruptSignal);
        FEnded.wait_for(Lock, std::chrono::milliseconds(5));
      }
    }
    FThread.join();
  }

private:
  std::atomic<bool> FStopping{false};
  std::mutex FLock;
  std::condition_variable FEnded;
  bool FDone = false;
  std::thread FThread; // last: it starts running at once
};

TPosixLineWatch::TPosixLineWatch(int Descriptor)
    : FDescriptor(Descriptor), FWake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TPosixLineWatch::~TPosixLineWatch() {
  Stop();
  if (FWake >= 0)
    close(FWake);
}

void TPosixLineWatch::Follow(std::uint32_t Mask) {
  if (FWake < 0)
    return;
  bool Modem = (Mask & ModemEvents) != 0;
  const bool Drain = (Mask & EV_TXEMPTY) != 0;
  if (Modem && !FModem) {
    // A device without modem lines has nothing to wait for.
    int Lines = 0;
    Modem = PosixSystem().Ioctl(FDescriptor, TIOCMGET, &Lines) == 0;
  }
  std::unique_ptr<THelper> Ended[2];
  {
    std::lock_guard<std::mutex> Lock(FLock);
    if ((Modem && !FModem) || (Drain && !FDrain))
      InstallInterruptHandler();
    if (Modem && !FModem)
      FModem = std::make_unique<THelper>([this](const auto& S) { WatchModemLines(S); });
    if (Drain && !FDrain)
      FDrain = std::make_unique<THelper>([this](const auto& S) { DrainTransmitter(S); });
    if (!Modem && FModem) {
      FModem->RequestStop();
      Ended[0] = std::move(FModem);
    }
    if (!Drain && FDrain) {
      FDrain->RequestStop();
      Ended[1] = std::move(FDrain);
    }
  }
  FDrainWanted.notify_all();
  // The destructors interrupt and join, outside the lock the drain helper
  // sleeps on.
}

void TPosixLineWatch::Stop() {
  Follow(0);
}

void TPosixLineWatch::RequestDrain() {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    if (!FDrain)
      return;
    FDrainRequested = true;
  }
  FDrainWanted.notify_all();
}

std::uint32_t TPosixLineWatch::TakeEvents() {
  std::uint64_t Count = 0;
  [[maybe_unused]] ssize_t Got = read(FWake, &Count, sizeof Count);
  return FPending.exchange(0);
}

void TPosixLineWatch::Post(std::uint32_t Events) {
  FPending.fetch_or(Events);
  const std::uint64_t One = 1;
  [[maybe_unused]] ssize_t Written = write(FWake, &One, sizeof One);
}

// Sleeps in TIOCMIWAIT for a change of CTS, DSR, RI or DCD. The driver's
// counters of those changes say which moved, also lines that went and came
// back before the helper looked; a driver without counters is asked for the
// lines themselves.
void TPosixLineWatch::WatchModemLines(const std::atomic<bool>& Stopping) {
  const TPosixSystem& System = PosixSystem();
  int Lines = 0;
  if (System.Ioctl(FDescriptor, TIOCMGET, &Lines) != 0)
    return;
  serial_icounter_struct Before{};
  const bool Counted = System.Ioctl(FDescriptor, TIOCGICOUNT, &Before) == 0;
  const unsigned long Watched = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
  int Unchanged = 0;
  while (!Stopping) {
    if (System.Ioctl(FDescriptor, TIOCMIWAIT, reinterpret_cast<void*>(Watched)) != 0) {
      if (errno == EINTR)
        continue;
      return; // the driver cannot wait for its lines, or the line hung up
    }
    std::uint32_t Events = 0;
    serial_icounter_struct After{};
    int Now = 0;
    if (Counted && System.Ioctl(FDescriptor, TIOCGICOUNT, &After) == 0) {
      Events = (After.cts != Before.cts ? EV_CTS : 0) | (After.dsr != Before.dsr ? EV_DSR : 0) |
               (After.rng != Before.rng ? EV_RING : 0) | (After.dcd != Before.dcd ? EV_RLSD : 0);
      Before = After;
    } else if (System.Ioctl(FDescriptor, TIOCMGET, &Now) == 0) {
      const int Changed = Lines ^ Now;
      Events = (Changed & TIOCM_CTS ? EV_CTS : 0) | (Changed & TIOCM_DSR ? EV_DSR : 0) |
               (Changed & TIOCM_RNG ? EV_RING : 0) | (Changed & TIOCM_CD ? EV_RLSD : 0);
      Lines = Now;
    } else {
      return;
    }
    // A driver whose wait keeps returning with nothing changed would make
    // this loop spin: it is not waited on any further.
    Unchanged = Events ? 0 : Unchanged + 1;
    if (Unchanged == 3)
      return;
    if (Events)
      Post(Events);
  }
}

// Sleeps until the port's event wait has seen output go out, then in tcdrain
// until the output queue and the transmitter are empty.
void TPosixLineWatch::DrainTransmitter(const std::atomic<bool>& Stopping) {
  for (;;) {
    {
      std::unique_lock<std::mutex> Lock(FLock);
      FDrainWanted.wait(Lock, [&] { return FDrainRequested || Stopping; });
      if (Stopping)
        return;
      FDrainRequested = false;
    }
    if (PosixSystem().Drain(FDescriptor) != 0) {
      if (errno != EINTR || Stopping)
        return;
      std::lock_guard<std::mutex> Lock(FLock);
      FDrainRequested = true; // interrupted by something else: drain again
      continue;
    }
    Post(EV_TXEMPTY);
  }
}
