// The port's event path on a pseudo-terminal, a driver of its own:
// - latency: a 64-byte write on the master to OnRxChar running on the main
//   thread (event thread's epoll wake-up, handoff, main loop), next to the
//   floor: the same write waking a plain epoll_wait (EPOLLET) in another thread;
// - cpu: hxt24-dump --port fed trace frames at the scope's line rate (5760 B/s
//   in 64-byte writes), the time its threads spent on a processor (schedstat) over the
//   run, as a share of one core;
// - idle: the wake-ups of every thread but the main one while a port sits
//   open on a silent line, with and without the line events only helper
//   threads see (modem lines, transmitter empty), also behind a driver with
//   modem lines (answered through the device's system-call table, its
//   TIOCMIWAIT asleep like the driver's).
//
// Usage: comthread_bench [--samples N] [--seconds S] [--idle S]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/platform/PosixDevice.h"
#include "cport/platform/PosixSystem.h"
#include "sim/SimFrames.h"

namespace {

using TClock = std::chrono::steady_clock;

double Micros(TClock::duration D) {
  return std::chrono::duration<double, std::micro>(D).count();
}

struct TPty {
  TPty() {
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) {
      std::perror("posix_openpt");
      std::exit(1);
    }
    Slave = ptsname(Master);
  }
  ~TPty() { close(Master); }
  int Master;
  std::string Slave;
};

// What the scope sends: trace frames, 32 of them (a whole number of 64-byte
// chunks), written in turn.
const TSimBytes& Stream() {
  static const TSimBytes Frames = [] {
    TSimTrace Samples{};
    for (std::size_t I = 0; I < Samples.size(); ++I)
      Samples[I] = static_cast<std::uint8_t>(128 + (I % 64) - 32);
    const TSimBytes Frame = BuildTraceFrame(0x4B, 0x04, Samples);
    TSimBytes All;
    for (int I = 0; I < 32; ++I)
      All.insert(All.end(), Frame.begin(), Frame.end());
    return All;
  }();
  return Frames;
}

constexpr std::size_t ChunkSize = 64;
std::size_t StreamPos = 0;

void WriteChunk(int Master) {
  const TSimBytes& S = Stream();
  if (write(Master, S.data() + StreamPos, ChunkSize) != ssize_t(ChunkSize))
    std::perror("write");
  StreamPos = (StreamPos + ChunkSize) % S.size();
}

void Report(const char* Name, std::vector<double> Samples) {
  std::sort(Samples.begin(), Samples.end());
  auto At = [&](double Q) { return Samples[std::size_t(Q * double(Samples.size() - 1))]; };
  std::printf("%-8s n=%zu p50=%.0f us p90=%.0f us p99=%.0f us max=%.0f us\n", Name, Samples.size(),
              At(0.5), At(0.9), At(0.99), Samples.back());
}

// Write -> OnRxChar on the main thread, through the port.
std::vector<double> PortLatency(int Count) {
  TPty Pty;
  TMainLoop Loop;
  TComPort Port;
  Port.SetDevice(PlatformComDevice());
  Port.SetPort(Pty.Slave);
  Port.SetBaudRate(TBaudRate::br57600);
  TClock::time_point Written;
  std::vector<double> Samples;
  bool Seen = false;
  Port.SetOnRxChar([&](TObject*, std::int32_t N) {
    const auto Now = TClock::now();
    std::vector<char> Buffer(static_cast<std::size_t>(N));
    Port.ReadBytes(Buffer.data(), N);
    if (!Seen) {
      Samples.push_back(Micros(Now - Written));
      Seen = true;
    }
  });
  Port.OpenPort();
  for (int I = 0; I < Count; ++I) {
    Seen = false;
    Written = TClock::now();
    WriteChunk(Pty.Master);
    Loop.RunUntil([&] { return Seen; }, std::chrono::seconds(5));
    Loop.Run(std::chrono::milliseconds(2)); // let the line settle between samples
  }
  Port.ClosePort();
  return Samples;
}

// Write -> a plain epoll_wait returning in another thread.
std::vector<double> FloorLatency(int Count) {
  TPty Pty;
  const int Slave = open(Pty.Slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios Raw{};
  tcgetattr(Slave, &Raw);
  cfmakeraw(&Raw);
  tcsetattr(Slave, TCSANOW, &Raw);
  const int Epoll = epoll_create1(EPOLL_CLOEXEC);
  epoll_event Ev{};
  Ev.events = EPOLLIN | EPOLLET;
  Ev.data.fd = Slave;
  epoll_ctl(Epoll, EPOLL_CTL_ADD, Slave, &Ev);
  std::atomic<long long> WakeNs{0};
  std::atomic<bool> Stop{false};
  std::thread Waiter([&] {
    char Buffer[256];
    while (!Stop.load()) {
      epoll_event Got{};
      if (epoll_wait(Epoll, &Got, 1, 100) == 1) {
        WakeNs = TClock::now().time_since_epoch().count();
        while (read(Slave, Buffer, sizeof Buffer) > 0) {
        }
      }
    }
  });
  std::vector<double> Samples;
  for (int I = 0; I < Count; ++I) {
    WakeNs = 0;
    const auto Written = TClock::now();
    WriteChunk(Pty.Master);
    // The waiter may have taken these bytes with the read that emptied the
    // previous chunk (the write raced the read): no wake-up comes for them,
    // so that sample is dropped instead of waiting for ever.
    const auto GiveUp = Written + std::chrono::seconds(1);
    while (WakeNs.load() == 0 && TClock::now() < GiveUp)
      std::this_thread::yield();
    if (WakeNs.load() == 0)
      continue;
    Samples.push_back(Micros(TClock::time_point(TClock::duration(WakeNs.load())) - Written));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Stop = true;
  Waiter.join();
  close(Epoll);
  close(Slave);
  return Samples;
}

// Nanoseconds on a processor of every thread of Pid (first field of each
// task's schedstat), finer than the clock ticks of /proc/PID/stat.
long long ProcessCpuNs(pid_t Pid) {
  const std::string Tasks = "/proc/" + std::to_string(Pid) + "/task";
  DIR* Dir = opendir(Tasks.c_str());
  if (!Dir)
    return -1;
  long long Total = 0;
  while (dirent* Entry = readdir(Dir)) {
    if (Entry->d_name[0] == '.')
      continue;
    std::FILE* File = std::fopen((Tasks + "/" + Entry->d_name + "/schedstat").c_str(), "r");
    if (!File)
      continue;
    long long OnCpu = 0;
    if (std::fscanf(File, "%lld", &OnCpu) == 1)
      Total += OnCpu;
    std::fclose(File);
  }
  closedir(Dir);
  return Total;
}

// The baseline reader: one thread that sleeps in epoll_wait (EPOLLET) on the
// raw device end and reads what arrived, nothing else.
[[noreturn]] void BareReader(const std::string& Slave) {
  const int Line = open(Slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios Raw{};
  tcgetattr(Line, &Raw);
  cfmakeraw(&Raw);
  tcsetattr(Line, TCSANOW, &Raw);
  const int Epoll = epoll_create1(EPOLL_CLOEXEC);
  epoll_event Ev{};
  Ev.events = EPOLLIN | EPOLLET;
  Ev.data.fd = Line;
  epoll_ctl(Epoll, EPOLL_CTL_ADD, Line, &Ev);
  char Buffer[1024];
  for (;;) {
    epoll_event Got{};
    if (epoll_wait(Epoll, &Got, 1, -1) == 1 && (Got.events & (EPOLLHUP | EPOLLERR)))
      _exit(0);
    while (read(Line, Buffer, sizeof Buffer) > 0) {
    }
  }
}

// A reader on a line fed at 5760 B/s (64-byte writes on an absolute
// schedule); its CPU share over Seconds after 2 s of warm-up.
double ReaderCpu(int Seconds, bool Dump) {
  TPty Pty;
  const pid_t Child = fork();
  if (Child == 0) {
    const int Null = open("/dev/null", O_WRONLY);
    dup2(Null, 1);
    dup2(Null, 2);
    if (!Dump)
      BareReader(Pty.Slave);
#ifdef HXT24_DUMP_PATH
    execl(HXT24_DUMP_PATH, "hxt24-dump", "--port", Pty.Slave.c_str(), static_cast<char*>(nullptr));
#endif
    _exit(127);
  }
  const auto Period = std::chrono::microseconds(64 * 1000000 / 5760);
  std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the port opens
  const auto Start = TClock::now();
  auto Next = Start;
  long long NsBefore = -1;
  const auto WarmUpEnd = Start + std::chrono::seconds(2);
  const auto End = WarmUpEnd + std::chrono::seconds(Seconds);
  TClock::time_point MeasureStart;
  while (TClock::now() < End) {
    WriteChunk(Pty.Master);
    Next += Period;
    if (NsBefore < 0 && TClock::now() >= WarmUpEnd) {
      NsBefore = ProcessCpuNs(Child);
      MeasureStart = TClock::now();
    }
    std::this_thread::sleep_until(Next);
  }
  const long long NsAfter = ProcessCpuNs(Child);
  const double Elapsed = std::chrono::duration<double>(TClock::now() - MeasureStart).count();
  kill(Child, SIGINT);
  int Status = 0;
  waitpid(Child, &Status, 0);
  return 100.0 * (double(NsAfter - NsBefore) / 1e9) / Elapsed;
}

void ReportCpu(int Seconds) {
#ifdef HXT24_DUMP_PATH
  const double Bare = ReaderCpu(Seconds, false);
  const double Dump = ReaderCpu(Seconds, true);
  std::printf("cpu      at 5760 B/s: hxt24-dump --port %.2f %% of a core, bare epoll reader "
              "%.2f %% (%.1fx)\n",
              Dump, Bare, Dump / Bare);
#else
  (void)Seconds;
  std::printf("cpu      skipped: hxt24-dump is not built (no GUI)\n");
#endif
}

// ---- Idle ----

// Voluntary and involuntary context switches of each thread of this process
// but the calling one, by thread id.
std::vector<std::pair<std::string, long long>> OtherThreadSwitches() {
  std::vector<std::pair<std::string, long long>> Result;
  const std::string Self = std::to_string(gettid());
  DIR* Tasks = opendir("/proc/self/task");
  while (dirent* Entry = Tasks ? readdir(Tasks) : nullptr) {
    if (Entry->d_name[0] == '.' || Self == Entry->d_name)
      continue;
    FILE* Status =
        std::fopen(("/proc/self/task/" + std::string(Entry->d_name) + "/status").c_str(), "r");
    long long Count = 0;
    char Line[256];
    while (Status && std::fgets(Line, sizeof Line, Status))
      if (std::strstr(Line, "ctxt_switches:"))
        Count += std::atoll(std::strchr(Line, ':') + 1);
    if (Status)
      std::fclose(Status);
    Result.emplace_back(Entry->d_name, Count);
  }
  if (Tasks)
    closedir(Tasks);
  return Result;
}

// A driver with modem lines: the modem ioctls answered, TIOCMIWAIT asleep
// until a signal (nothing changes on a silent line).
int ModemIoctl(int Descriptor, unsigned long Request, void* Argument) {
  switch (Request) {
  case TIOCMGET:
    *static_cast<int*>(Argument) = TIOCM_DSR | TIOCM_CTS;
    return 0;
  case TIOCMBIS:
  case TIOCMBIC:
    return 0;
  case TIOCGICOUNT:
    *static_cast<serial_icounter_struct*>(Argument) = {};
    return 0;
  case TIOCMIWAIT:
    return poll(nullptr, 0, -1);
  default:
    return RealPosixSystem().Ioctl(Descriptor, Request, Argument);
  }
}

void ReportIdle(int Seconds) {
  const auto Measure = [Seconds](const char* Name, TComEvents Events, bool ModemLines) {
    if (ModemLines)
      PosixSystem().Ioctl = ModemIoctl;
    TPty Line;
    TComPort Port;
    Port.SetPort(Line.Slave);
    Port.SetEvents(Events);
    Port.OpenPort();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto Before = OtherThreadSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(Seconds));
    const auto After = OtherThreadSwitches();
    std::printf("idle     %-44s %zu threads besides main:", Name, After.size());
    for (const auto& [Id, Count] : After) {
      long long Was = 0;
      for (const auto& [I, C] : Before)
        if (I == Id)
          Was = C;
      std::printf(" %.2f/s", double(Count - Was) / Seconds);
    }
    std::printf("\n");
    Port.ClosePort();
    PosixSystem() = RealPosixSystem();
  };
  const TComEvents Received{TComEvent::evRxChar, TComEvent::evRxFlag, TComEvent::evError,
                            TComEvent::evBreak, TComEvent::evRx80Full};
  TComEvents All = Received;
  for (TComEvent E : {TComEvent::evTxEmpty, TComEvent::evCTS, TComEvent::evDSR, TComEvent::evRing,
                      TComEvent::evRLSD})
    All.Include(E);
  Measure("pty, no modem or transmitter events", Received, false);
  Measure("pty, all ten events", All, false);
  Measure("pty with modem lines (injected), all ten", All, true);
}

} // namespace

int main(int argc, char** argv) {
  int Samples = 2000;
  int Seconds = 20;
  int Idle = 0;
  for (int I = 1; I + 1 < argc; I += 2) {
    if (std::strcmp(argv[I], "--samples") == 0)
      Samples = std::atoi(argv[I + 1]);
    else if (std::strcmp(argv[I], "--seconds") == 0)
      Seconds = std::atoi(argv[I + 1]);
    else if (std::strcmp(argv[I], "--idle") == 0)
      Idle = std::atoi(argv[I + 1]);
  }
  if (Idle > 0) {
    ReportIdle(Idle);
    return 0;
  }
  // Floor and port in turn, so that both see the same load on the machine.
  std::vector<double> Port, Floor;
  for (int Round = 0; Round < 4; ++Round) {
    auto F = FloorLatency(Samples / 4);
    auto P = PortLatency(Samples / 4);
    Floor.insert(Floor.end(), F.begin(), F.end());
    Port.insert(Port.end(), P.begin(), P.end());
  }
  Report("floor", Floor);
  Report("port", Port);
  ReportCpu(Seconds);
  return 0;
}
