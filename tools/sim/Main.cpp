// hxt24-sim: a simulated HXT24 scope on a pseudo-terminal (or a device).
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "base/ProgramInfo.h"
#include "base/ProgramMain.h"
#include "sim/SimFrames.h"
#include "sim/SimLine.h"
#include "tools/sim/SimOptions.h"

namespace {

std::atomic<bool> StopRequested{false};

void OnStopSignal(int) {
  StopRequested.store(true);
}

void SetSerialLine(int Fd) {
  termios Settings{};
  if (tcgetattr(Fd, &Settings) != 0)
    return; // not a tty: a file or a pipe takes the bytes as they are
  cfmakeraw(&Settings);
  cfsetspeed(&Settings, B57600);
  Settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  Settings.c_cflag |= CS8 | CLOCAL | CREAD;
  tcsetattr(Fd, TCSANOW, &Settings);
}

} // namespace

int RunSim(int Argc, char** Argv) {
  TSimCommandLine Line;
  try {
    Line = ParseSimOptions(std::vector<std::string>(Argv + 1, Argv + Argc));
  } catch (const ESimUsage& E) {
    std::fprintf(stderr, "hxt24-sim: %s (see --help)\n", E.what());
    return 2;
  }
  if (Line.Help)
    return PrintProgramInfo("hxt24-sim", SimUsage);
  if (Line.Version)
    return PrintProgramInfo("hxt24-sim", VersionLine("hxt24-sim"));
  const TSimOptions& Sim = Line.Scope;
  const std::string& Device = Line.Device;
  const std::string& Replay = Line.Replay;
  const long long Frames = Line.Frames;

  TSimBytes Recorded;
  if (!Replay.empty()) {
    std::ifstream In(Replay, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "hxt24-sim: cannot read %s: %s\n", Replay.c_str(), std::strerror(errno));
      return 2;
    }
    Recorded.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<TSimPty> Pty;
  int Fd = -1;
  if (Device.empty()) {
    try {
      Pty = std::make_unique<TSimPty>();
    } catch (const std::exception& E) {
      std::fprintf(stderr, "hxt24-sim: %s\n", E.what());
      return 1;
    }
    Fd = Pty->MasterFd();
    std::printf("%s\n", Pty->DevicePath().c_str());
  } else {
    Fd = ::open(Device.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (Fd < 0) {
      std::fprintf(stderr, "hxt24-sim: cannot open %s: %s\n", Device.c_str(), std::strerror(errno));
      return 1;
    }
    SetSerialLine(Fd);
    std::printf("%s\n", Device.c_str());
  }
  std::fflush(stdout);

  struct sigaction Action {};
  Action.sa_handler = OnStopSignal;
  sigemptyset(&Action.sa_mask);
  sigaction(SIGINT, &Action, nullptr);
  sigaction(SIGTERM, &Action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TSimScope Scope(Sim);
  TSimStreamer Streamer(Fd, Line.Rate, Line.Chunk);
  Streamer.SetDropWhenFull(Pty != nullptr);
  Streamer.SetRandomSplits(Line.Split, Sim.Seed);
  bool ReplayDone = false;
  const auto Fill = [&](TSimBytes& Out) {
    if (!Replay.empty()) {
      if (ReplayDone)
        return false;
      Out.insert(Out.end(), Recorded.begin(), Recorded.end());
      ReplayDone = true;
      return false;
    }
    if (Frames >= 0 && Scope.FramesSent() >= Frames)
      return false;
    Scope.NextFrame(Out);
    return Frames < 0 || Scope.FramesSent() < Frames;
  };
  const bool Ok = Streamer.Run(
      Fill, [](const timespec& Deadline) { return SleepUntil(Deadline, StopRequested); });
  if (!Ok) {
    std::fprintf(stderr, "hxt24-sim: write failed: %s\n", std::strerror(Streamer.LastError()));
    return 1;
  }
  // A finite stream stays on the line a moment longer, so the client reads
  // the last frames before the hang-up.
  if (Pty && !StopRequested.load() && (Frames >= 0 || !Replay.empty())) {
    timespec Grace{};
    clock_gettime(CLOCK_MONOTONIC, &Grace);
    Grace.tv_sec += 1;
    SleepUntil(Grace, StopRequested);
  }
  if (!Device.empty())
    ::close(Fd);
  std::fprintf(stderr, "hxt24-sim: %llu bytes sent, %llu dropped, %lld frames\n",
               Streamer.BytesSent(), Streamer.BytesDropped(), Scope.FramesSent());
  return 0;
}

int main(int Argc, char** Argv) {
  return RunProgramMain("hxt24-sim", 1, [&] { return RunSim(Argc, Argv); });
}
