// The port's read path against the bare calls underneath, on one
// pseudo-terminal with nothing waiting (so every figure is per-call cost, not
// transfer time): ReadBytes against read(), InQueueCount against FIONREAD;
// and the port list against a bare listing of /sys/class/tty.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cport/CPort.h"
#include "cport/platform/ComDevice.h"

namespace {

class TPtyPort {
public:
  TPtyPort() {
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
      throw std::runtime_error("no pseudo-terminal");
    InitComPortErrors();
    Port.SetPort(ptsname(FMaster));
    Port.SetEvents({});
    Port.SetBaudRate(TBaudRate::br57600);
    Port.OpenPort();
  }
  ~TPtyPort() {
    Port.ClosePort();
    close(FMaster);
  }
  int Descriptor() const { return static_cast<int>(Port.DeviceHandle()); }
  TComPort Port;

private:
  int FMaster = -1;
};

TPtyPort& Pty() {
  static TPtyPort Instance;
  return Instance;
}

void BM_BareRead(benchmark::State& State) {
  char Buffer[64];
  const int Descriptor = Pty().Descriptor();
  for (auto _ : State)
    benchmark::DoNotOptimize(read(Descriptor, Buffer, sizeof Buffer));
}
BENCHMARK(BM_BareRead);

void BM_ReadBytes(benchmark::State& State) {
  char Buffer[64];
  TComPort& Port = Pty().Port;
  for (auto _ : State)
    benchmark::DoNotOptimize(Port.ReadBytes(Buffer, sizeof Buffer));
}
BENCHMARK(BM_ReadBytes);

void BM_BareFionread(benchmark::State& State) {
  const int Descriptor = Pty().Descriptor();
  int Waiting = 0;
  for (auto _ : State)
    benchmark::DoNotOptimize(ioctl(Descriptor, FIONREAD, &Waiting));
}
BENCHMARK(BM_BareFionread);

void BM_InQueueCount(benchmark::State& State) {
  TComPort& Port = Pty().Port;
  for (auto _ : State)
    benchmark::DoNotOptimize(Port.InQueueCount());
}
BENCHMARK(BM_InQueueCount);

} // namespace

// The port dialog reads the machine's ports at every show: the whole lookup
// against a bare listing of the folder the kernel lists its terminals in.
void BM_BareTtyListing(benchmark::State& State) {
  for (auto _ : State) {
    int Count = 0;
    if (DIR* Dir = opendir("/sys/class/tty")) {
      while (readdir(Dir))
        ++Count;
      closedir(Dir);
    }
    benchmark::DoNotOptimize(Count);
  }
}
BENCHMARK(BM_BareTtyListing);

void BM_ListPorts(benchmark::State& State) {
  for (auto _ : State)
    benchmark::DoNotOptimize(DefaultComDevice().ListPorts());
}
BENCHMARK(BM_ListPorts);

BENCHMARK_MAIN();
