// hxt24-sim: a simulated HXT24 scope on a pseudo-terminal (or a device).
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <getopt.h>
#include <iterator>
#include <memory>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "sim/SimFrames.h"
#include "sim/SimLine.h"

namespace {

std::atomic<bool> StopRequested{false};

void OnStopSignal(int) {
  StopRequested.store(true);
}

const char Usage[] = R"(Usage: hxt24-sim [OPTIONS]

A simulated HXT24 oscilloscope. It creates a pseudo-terminal, prints the path
of its device end as the first line on stdout (connect the client to it, e.g.
"hxt24 --port /dev/pts/3"), and streams trace frames ("BA", 266 bytes) at the
scope's line rate of 57600 bit/s (5760 bytes/s) until it is stopped (Ctrl+C).

Line:
  --device PATH       write to an existing device instead (a serial port, a
                      pty device end); it is set to 57600 8N1 raw when a tty
  --replay FILE       send the bytes of FILE (a recorded stream) instead of
                      generated frames, then stop
  --frames N          stop after N data frames (default: run until stopped)
  --rate BYTES        bytes per second (default 5760)
  --chunk N           bytes per write (default 64); a chunk is written when
                      its last byte would have arrived at the line rate

Waveform:
  --wave NAME         sine, square, triangle, ramp or noise (default sine)
  --cycles X          periods across the 256 samples (default 2)
  --amplitude N       peak deviation from the middle, 0..128 (default 100)
  --offset N          the middle, 0..255 (default 128)
  --drift X           periods the wave moves per frame (default 0.01)

Settings bytes (shown in the client's status bar):
  --mode NAME         norm, run, once or roll (default run)
  --timebase T        time-base index 0..31 (default 11, 1ms/div);
                      20..31 are the roll time bases 1s/div .. 1h/div
  --volts V           sensitivity index 0..11 (default 4: 0.1v/div with x1)
  --probe x1|x10      probe factor (default x1)
  --coupling ac|dc    input coupling (default ac)
  --hold              hold flag set
  --memory            memory flag set

Frames and faults:
  --single            send single-sample frames ("BS", 12 bytes) as the scope
                      does at the roll time bases (use with --timebase 20..31)
  --record-every N    a "BR" frame after every N data frames
  --noise N           up to N random bytes between frames
  --bad-headers N     a header with a bad length or type before every N-th frame
  --split             write chunks of random size (1 to 2 x --chunk), so
                      frames are split at random points
  --seed N            seed of the random faults and the noise wave (default 1)

  --help              this text
)";

bool ParseInt(const char* Text, long Min, long Max, long& Value) {
  char* End = nullptr;
  errno = 0;
  Value = std::strtol(Text, &End, 10);
  return errno == 0 && End != Text && *End == '\0' && Value >= Min && Value <= Max;
}

bool ParseDouble(const char* Text, double Min, double Max, double& Value) {
  char* End = nullptr;
  errno = 0;
  Value = std::strtod(Text, &End);
  return errno == 0 && End != Text && *End == '\0' && Value >= Min && Value <= Max;
}

int BadOption(const char* Name, const char* Value) {
  std::fprintf(stderr, "hxt24-sim: invalid value for --%s: '%s' (see --help)\n", Name, Value);
  return 2;
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

int main(int Argc, char** Argv) {
  enum {
    optDevice = 256,
    optReplay,
    optFrames,
    optRate,
    optChunk,
    optWave,
    optCycles,
    optAmplitude,
    optOffset,
    optDrift,
    optMode,
    optTimeBase,
    optVolts,
    optProbe,
    optCoupling,
    optHold,
    optMemory,
    optSingle,
    optRecordEvery,
    optNoise,
    optBadHeaders,
    optSplit,
    optSeed,
    optHelp
  };
  static const option Options[] = {
      {"device", required_argument, nullptr, optDevice},
      {"replay", required_argument, nullptr, optReplay},
      {"frames", required_argument, nullptr, optFrames},
      {"rate", required_argument, nullptr, optRate},
      {"chunk", required_argument, nullptr, optChunk},
      {"wave", required_argument, nullptr, optWave},
      {"cycles", required_argument, nullptr, optCycles},
      {"amplitude", required_argument, nullptr, optAmplitude},
      {"offset", required_argument, nullptr, optOffset},
      {"drift", required_argument, nullptr, optDrift},
      {"mode", required_argument, nullptr, optMode},
      {"timebase", required_argument, nullptr, optTimeBase},
      {"volts", required_argument, nullptr, optVolts},
      {"probe", required_argument, nullptr, optProbe},
      {"coupling", required_argument, nullptr, optCoupling},
      {"hold", no_argument, nullptr, optHold},
      {"memory", no_argument, nullptr, optMemory},
      {"single", no_argument, nullptr, optSingle},
      {"record-every", required_argument, nullptr, optRecordEvery},
      {"noise", required_argument, nullptr, optNoise},
      {"bad-headers", required_argument, nullptr, optBadHeaders},
      {"split", no_argument, nullptr, optSplit},
      {"seed", required_argument, nullptr, optSeed},
      {"help", no_argument, nullptr, optHelp},
      {nullptr, 0, nullptr, 0},
  };

  TSimOptions Sim;
  std::string Device, Replay;
  long Frames = -1, Chunk = 64, Number = 0;
  double Rate = 5760;
  bool Split = false;
  int Option;
  while ((Option = getopt_long(Argc, Argv, "", Options, nullptr)) != -1) {
    const char* Name =
        Option >= optDevice && Option <= optHelp ? Options[Option - optDevice].name : "";
    switch (Option) {
    case optDevice:
      Device = optarg;
      break;
    case optReplay:
      Replay = optarg;
      break;
    case optFrames:
      if (!ParseInt(optarg, 0, 1L << 40, Frames))
        return BadOption(Name, optarg);
      break;
    case optRate:
      if (!ParseDouble(optarg, 1, 1e7, Rate))
        return BadOption(Name, optarg);
      break;
    case optChunk:
      if (!ParseInt(optarg, 1, 65536, Chunk))
        return BadOption(Name, optarg);
      break;
    case optWave:
      if (!ParseWave(optarg, Sim.Wave))
        return BadOption(Name, optarg);
      break;
    case optCycles:
      if (!ParseDouble(optarg, 0, 128, Sim.Cycles))
        return BadOption(Name, optarg);
      break;
    case optAmplitude:
      if (!ParseInt(optarg, 0, 128, Number))
        return BadOption(Name, optarg);
      Sim.Amplitude = static_cast<int>(Number);
      break;
    case optOffset:
      if (!ParseInt(optarg, 0, 255, Number))
        return BadOption(Name, optarg);
      Sim.Offset = static_cast<int>(Number);
      break;
    case optDrift:
      if (!ParseDouble(optarg, -1, 1, Sim.Drift))
        return BadOption(Name, optarg);
      break;
    case optMode: {
      const std::string Mode = optarg;
      const char* Modes[] = {"norm", "run", "once", "roll"};
      int Found = -1;
      for (int i = 0; i < 4; ++i)
        if (Mode == Modes[i])
          Found = i;
      if (Found < 0)
        return BadOption(Name, optarg);
      Sim.Settings.Mode = Found;
      break;
    }
    case optTimeBase:
      if (!ParseInt(optarg, 0, 31, Number))
        return BadOption(Name, optarg);
      Sim.Settings.TimeBase = static_cast<int>(Number);
      break;
    case optVolts:
      if (!ParseInt(optarg, 0, 11, Number))
        return BadOption(Name, optarg);
      Sim.Settings.Volts = static_cast<int>(Number);
      break;
    case optProbe:
      if (std::strcmp(optarg, "x1") != 0 && std::strcmp(optarg, "x10") != 0)
        return BadOption(Name, optarg);
      Sim.Settings.Probe10 = std::strcmp(optarg, "x10") == 0;
      break;
    case optCoupling:
      if (std::strcmp(optarg, "ac") != 0 && std::strcmp(optarg, "dc") != 0)
        return BadOption(Name, optarg);
      Sim.Settings.DC = std::strcmp(optarg, "dc") == 0;
      break;
    case optHold:
      Sim.Settings.Hold = true;
      break;
    case optMemory:
      Sim.Settings.Memory = true;
      break;
    case optSingle:
      Sim.SingleSamples = true;
      break;
    case optRecordEvery:
      if (!ParseInt(optarg, 0, 1000000, Number))
        return BadOption(Name, optarg);
      Sim.RecordEvery = static_cast<int>(Number);
      break;
    case optNoise:
      if (!ParseInt(optarg, 0, 100000, Number))
        return BadOption(Name, optarg);
      Sim.NoiseBytes = static_cast<int>(Number);
      break;
    case optBadHeaders:
      if (!ParseInt(optarg, 0, 1000000, Number))
        return BadOption(Name, optarg);
      Sim.BadHeaderEvery = static_cast<int>(Number);
      break;
    case optSplit:
      Split = true;
      break;
    case optSeed:
      if (!ParseInt(optarg, 0, 0xFFFFFFFFL, Number))
        return BadOption(Name, optarg);
      Sim.Seed = static_cast<std::uint32_t>(Number);
      break;
    case optHelp:
      std::fputs(Usage, stdout);
      return 0;
    default:
      std::fputs("hxt24-sim: see --help\n", stderr);
      return 2;
    }
  }
  if (optind < Argc) {
    std::fprintf(stderr, "hxt24-sim: unexpected argument '%s' (see --help)\n", Argv[optind]);
    return 2;
  }

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
  TSimStreamer Streamer(Fd, Rate, static_cast<int>(Chunk));
  Streamer.SetDropWhenFull(Pty != nullptr);
  Streamer.SetRandomSplits(Split, Sim.Seed);
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
