#include "sim/SimLine.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* What) {
  throw std::runtime_error(std::string(What) + ": " + std::strerror(errno));
}

timespec AddSeconds(const timespec& Start, double Seconds) {
  const double Whole = std::floor(Seconds);
  timespec T = Start;
  T.tv_sec += static_cast<time_t>(Whole);
  T.tv_nsec += static_cast<long>((Seconds - Whole) * 1e9);
  if (T.tv_nsec >= 1000000000L) {
    T.tv_sec += 1;
    T.tv_nsec -= 1000000000L;
  }
  return T;
}

} // namespace

TSimPty::TSimPty() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FMaster < 0)
    Fail("posix_openpt");
  if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) {
    const int Saved = errno;
    ::close(FMaster);
    errno = Saved;
    Fail("unlockpt");
  }
  char Name[128];
  if (ptsname_r(FMaster, Name, sizeof Name) != 0) {
    ::close(FMaster);
    Fail("ptsname");
  }
  FPath = Name;
  // Raw from the start: the line discipline must not echo, translate CR or
  // hold bytes back for a line end before the client configures the port.
  FSlave = ::open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FSlave >= 0) {
    termios Settings{};
    if (tcgetattr(FSlave, &Settings) == 0) {
      cfmakeraw(&Settings);
      cfsetspeed(&Settings, B57600);
      tcsetattr(FSlave, TCSANOW, &Settings);
    }
  }
  // Nobody reading must never block the scope.
  fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);
}

TSimPty::~TSimPty() {
  Close();
}

void TSimPty::Close() {
  if (FSlave >= 0)
    ::close(FSlave);
  if (FMaster >= 0)
    ::close(FMaster);
  FSlave = FMaster = -1;
}

TSimStreamer::TSimStreamer(int Fd, double BytesPerSecond, int ChunkSize)
    : FFd(Fd), FRate(BytesPerSecond > 0 ? BytesPerSecond : 5760),
      FChunk(ChunkSize > 0 ? ChunkSize : 1) {}

bool TSimStreamer::WriteChunk(const std::uint8_t* Data, std::size_t Count) {
  while (Count > 0) {
    const ssize_t Written = ::write(FFd, Data, Count);
    if (Written > 0) {
      Data += Written;
      Count -= static_cast<std::size_t>(Written);
      FSent += static_cast<unsigned long long>(Written);
      continue;
    }
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && FDropWhenFull) {
      FDropped += Count;
      return true;
    }
    FLastError = Written < 0 ? errno : EIO;
    return false;
  }
  return true;
}

bool TSimStreamer::Run(const TFill& Fill, const TWaitUntil& Wait) {
  timespec Start{};
  clock_gettime(CLOCK_MONOTONIC, &Start);
  unsigned long long Due = 0; // bytes of the line so far, sent or dropped
  TSimBytes Pending;
  std::size_t Pos = 0;
  bool More = true;
  for (;;) {
    Pending.erase(Pending.begin(), Pending.begin() + static_cast<std::ptrdiff_t>(Pos));
    Pos = 0;
    if (Pending.empty() && More)
      More = Fill(Pending);
    if (Pending.empty())
      return true;
    std::size_t Count = static_cast<std::size_t>(FChunk);
    if (FRandomSplits)
      Count = std::uniform_int_distribution<std::size_t>(1, 2 * Count)(FRandom);
    // Fill up a chunk from the following frames, so chunks run across frame
    // boundaries as they do on a real line.
    while (Pending.size() < Count && More)
      More = Fill(Pending);
    Count = std::min(Count, Pending.size());
    Due += Count;
    if (!Wait(AddSeconds(Start, static_cast<double>(Due) / FRate)))
      return true;
    if (!WriteChunk(Pending.data(), Count))
      return false;
    Pos = Count;
  }
}

bool SleepUntil(const timespec& Deadline, const std::atomic<bool>& Stop) {
  while (!Stop.load()) {
    const int Result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &Deadline, nullptr);
    if (Result == 0)
      return !Stop.load();
    if (Result != EINTR)
      return false;
  }
  return false;
}

TSimScopeThread::TSimScopeThread(const TSimOptions& Options, double BytesPerSecond, int ChunkSize)
    : FScope(Options), FStreamer(FPty.MasterFd(), BytesPerSecond, ChunkSize) {
  FStreamer.SetDropWhenFull(true);
  FThread = std::thread([this] {
    FStreamer.Run(
        [this](TSimBytes& Out) {
          FScope.NextFrame(Out);
          return true;
        },
        [this](const timespec& Deadline) {
          // steady_clock is CLOCK_MONOTONIC here, so the deadline carries over.
          const auto Until = std::chrono::steady_clock::time_point(
              std::chrono::seconds(Deadline.tv_sec) + std::chrono::nanoseconds(Deadline.tv_nsec));
          std::unique_lock Guard(FLock);
          return !FWake.wait_until(Guard, Until, [this] { return FStopping; });
        });
  });
}

TSimScopeThread::~TSimScopeThread() {
  Stop();
}

void TSimScopeThread::Stop() {
  {
    std::lock_guard Guard(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  if (FThread.joinable())
    FThread.join();
  FPty.Close();
}
