#include "sim/SimFrames.h"
#include "sim/SimLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "scope/ByteSource.h"
#include "scope/ScopeLink.h"

namespace {

// The client's own receiver and decoder, fed with what the simulator sends.
struct TClient {
  TMemoryByteSource Line;
  TScopeLink Link{&Line};
  std::vector<std::string> Tags;

  TClient() {
    Link.OnFrameDone = [this](std::string_view Tag, int) { Tags.emplace_back(Tag); };
  }
  void Receive(const TSimBytes& Bytes) {
    Line.Push(Bytes.data(), Bytes.size());
    Link.ComPortRxChar(Line.Waiting());
  }
  long Count(const std::string& Tag) const { return std::count(Tags.begin(), Tags.end(), Tag); }
};

TSimBytes Stream(TSimScope& Scope, int Frames) {
  TSimBytes Out;
  for (int i = 0; i < Frames; ++i)
    Scope.NextFrame(Out);
  return Out;
}

} // namespace

TEST(SimFrames, TheClientShowsTheSettingsTheSimulatorSends) {
  struct Row {
    TSimSettings Settings;
    std::array<const char*, 7> Panels;
  } const Rows[] = {
      {{}, {"run", "X=1ms/div", "Y=0.1v/div", "", "", "AC", "x1"}},
      {{3, 20, 9, true, true, true, true},
       {"roll", "X=1s/div", "Y=40v/div", "Hold", "Memory", "DC", "x10"}},
      {{0, 0, 0, false, true, false, true},
       {"norm", "X=.2us/div", "Y=5mv/div", "", "Memory", "DC", "x1"}},
      {{2, 31, 11, true, false, true, false},
       {"once", "X=1h/div", "Y=200v/div", "Hold", "", "AC", "x10"}},
  };
  for (const auto& R : Rows) {
    TSimOptions Options;
    Options.Settings = R.Settings;
    TSimScope Scope(Options);
    TClient Client;
    Client.Receive(Stream(Scope, 1));
    ASSERT_EQ(Client.Tags, std::vector<std::string>{"BA"});
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(Client.Link.State.Panel(i), R.Panels[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(SimFrames, TraceFramesCarryTheWaveLeftToRight) {
  TSimOptions Options;
  Options.Wave = swRamp;
  Options.Cycles = 1;
  Options.Drift = 0;
  Options.Amplitude = 128;
  TSimScope Scope(Options);
  const TSimBytes Frame = Stream(Scope, 1);
  ASSERT_EQ(Frame.size(), 266u);
  EXPECT_EQ(Frame[2] | Frame[3] << 8, 266);
  TClient Client;
  Client.Receive(Frame);
  const TSimTrace Sent = Scope.Trace(0);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(Client.Link.State.Samples()[static_cast<std::size_t>(i)],
              static_cast<std::uint8_t>(256 - Sent[static_cast<std::size_t>(i)]))
        << i;
  // One rising ramp across the screen, from the bottom to the top.
  EXPECT_EQ(Sent[0], 0);
  EXPECT_EQ(Sent[255], 255);
  EXPECT_TRUE(std::is_sorted(Sent.begin(), Sent.end()));
}

TEST(SimFrames, WaveShapes) {
  const auto Values = [](TSimWave Wave) {
    TSimOptions Options;
    Options.Wave = Wave;
    Options.Cycles = 2;
    Options.Amplitude = 50;
    Options.Offset = 100;
    const TSimTrace T = TSimScope(Options).Trace(3);
    return std::vector<int>(T.begin(), T.end());
  };
  for (TSimWave Wave : {swSine, swSquare, swTriangle, swRamp, swNoise}) {
    const auto V = Values(Wave);
    EXPECT_GE(*std::min_element(V.begin(), V.end()), 50) << Wave;
    EXPECT_LE(*std::max_element(V.begin(), V.end()), 150) << Wave;
    EXPECT_GT(*std::max_element(V.begin(), V.end()) - *std::min_element(V.begin(), V.end()), 80)
        << Wave;
  }
  auto Square = Values(swSquare);
  std::sort(Square.begin(), Square.end());
  Square.erase(std::unique(Square.begin(), Square.end()), Square.end());
  EXPECT_EQ(Square, (std::vector<int>{50, 150}));
  // The wave moves from frame to frame: the display is alive.
  TSimOptions Options;
  TSimScope Scope(Options);
  EXPECT_NE(Scope.Trace(0), Scope.Trace(10));
}

TEST(SimFrames, SingleSampleFramesLandAtCounterDividedByTheRollDivisor) {
  TSimOptions Options;
  Options.SingleSamples = true;
  Options.Settings.Mode = 3;
  Options.Settings.TimeBase = 22; // 5 s per division
  TSimScope Scope(Options);
  const TSimBytes Frames = Stream(Scope, 15);
  ASSERT_EQ(Frames.size(), 15u * 12);
  EXPECT_EQ(Frames[1], 'S');
  EXPECT_EQ(Frames[12 * 14 + 7], 14); // the position counter
  TClient Client;
  Client.Receive(Frames);
  EXPECT_EQ(Client.Count("BS"), 15);
  // Counters 0..14 divided by 5: positions 0, 1 and 2 written, 3 still reset.
  for (int Pos : {0, 1, 2})
    EXPECT_EQ(Client.Link.State.Samples()[static_cast<std::size_t>(Pos)],
              static_cast<std::uint8_t>(256 - Scope.Sample(0, Pos)))
        << Pos;
  EXPECT_EQ(Client.Link.State.Samples()[3], 127);
  EXPECT_EQ(Client.Link.State.Panel(1), "X=5s/div");
}

TEST(SimFrames, BadHeadersAndRecordFramesCostNoDataFrame) {
  TSimOptions Options;
  Options.BadHeaderEvery = 3;
  Options.RecordEvery = 4;
  TSimScope Scope(Options);
  const TSimBytes Bytes = Stream(Scope, 24);
  // 24 data frames, 6 record frames, 8 bad headers of 7 bytes each.
  EXPECT_EQ(Bytes.size(), 24u * 266 + 6u * 15 + 8u * 7);
  TClient Client;
  Client.Receive(Bytes);
  EXPECT_EQ(Client.Count("BA"), 24);
  EXPECT_EQ(Client.Count("BR"), 6);
}

TEST(SimFrames, NoiseBetweenFramesIsSkippedByTheClient) {
  TSimOptions Options;
  Options.NoiseBytes = 20;
  Options.Seed = 7;
  TSimScope Scope(Options);
  TClient Client;
  Client.Receive(Stream(Scope, 200));
  // Noise can forge a header now and then and take a frame with it; most
  // frames get through.
  EXPECT_GT(Client.Count("BA"), 150);
  EXPECT_LE(Client.Count("BA"), 200);
}

TEST(SimStreamer, ChunksAreDueWhenTheirLastByteWouldHaveArrived) {
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  TSimOptions Options;
  TSimScope Scope(Options);
  TSimStreamer Streamer(Pipe[1], 5760, 64);
  std::vector<double> Due;
  timespec Start{};
  clock_gettime(CLOCK_MONOTONIC, &Start);
  int FramesLeft = 3;
  const bool Ok = Streamer.Run(
      [&](TSimBytes& Out) {
        Scope.NextFrame(Out);
        return --FramesLeft > 0;
      },
      [&](const timespec& Deadline) {
        Due.push_back(static_cast<double>(Deadline.tv_sec - Start.tv_sec) +
                      static_cast<double>(Deadline.tv_nsec - Start.tv_nsec) / 1e9);
        return true;
      });
  ASSERT_TRUE(Ok);
  close(Pipe[1]);
  // 798 bytes: twelve chunks of 64 and one of 30, chunks across frame ends.
  ASSERT_EQ(Due.size(), 13u);
  for (std::size_t i = 0; i + 1 < Due.size(); ++i)
    EXPECT_NEAR(Due[i], 64.0 * static_cast<double>(i + 1) / 5760, 1e-3) << i;
  EXPECT_NEAR(Due.back(), 798.0 / 5760, 1e-3);
  TSimBytes Read(1024);
  const ssize_t Got = read(Pipe[0], Read.data(), Read.size());
  close(Pipe[0]);
  ASSERT_EQ(Got, 798);
  Read.resize(798);
  TSimScope Again(Options);
  EXPECT_EQ(Read, Stream(Again, 3));
  EXPECT_EQ(Streamer.BytesSent(), 798u);
}

TEST(SimStreamer, RandomSplitsStopRequestsAndAFullLine) {
  int Pipe[2];
  ASSERT_EQ(pipe2(Pipe, O_NONBLOCK), 0);
  TSimOptions Options;
  TSimScope Scope(Options);
  TSimStreamer Streamer(Pipe[1], 5760, 16);
  Streamer.SetRandomSplits(true, 3);
  Streamer.SetDropWhenFull(true);
  unsigned long long Before = 0;
  std::vector<unsigned long long> Sizes;
  int Waits = 0;
  // Nobody reads the pipe: once it is full the rest is dropped, never blocks.
  Streamer.Run(
      [&](TSimBytes& Out) {
        Scope.NextFrame(Out);
        return true;
      },
      [&](const timespec&) {
        const unsigned long long Now = Streamer.BytesSent() + Streamer.BytesDropped();
        if (Waits++ > 0)
          Sizes.push_back(Now - Before);
        Before = Now;
        return Waits < 10000;
      });
  close(Pipe[0]);
  close(Pipe[1]);
  EXPECT_GT(Streamer.BytesDropped(), 0u);
  EXPECT_GT(Streamer.BytesSent(), 0u);
  ASSERT_FALSE(Sizes.empty());
  EXPECT_EQ(*std::min_element(Sizes.begin(), Sizes.end()), 1u);
  EXPECT_EQ(*std::max_element(Sizes.begin(), Sizes.end()), 32u);
}

TEST(SimStreamer, AWriteToAClosedLineEndsTheStreamWithItsError) {
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  close(Pipe[0]);
  signal(SIGPIPE, SIG_IGN);
  TSimOptions Options;
  TSimScope Scope(Options);
  TSimStreamer Streamer(Pipe[1], 5760, 64);
  EXPECT_FALSE(Streamer.Run(
      [&](TSimBytes& Out) {
        Scope.NextFrame(Out);
        return true;
      },
      [](const timespec&) { return true; }));
  EXPECT_EQ(Streamer.LastError(), EPIPE);
  close(Pipe[1]);
}

TEST(SimScopeThread, StreamsFramesOnItsPseudoTerminalAndHangsUpWhenStopped) {
  TSimOptions Options;
  Options.Settings.Hold = true;
  TSimScopeThread Sim(Options, 5760 * 20.0, 266);
  const int Fd = open(Sim.DevicePath().c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(Fd, 0) << Sim.DevicePath();
  TClient Client;
  std::uint8_t Buffer[512];
  while (Client.Count("BA") < 3) {
    const ssize_t Got = read(Fd, Buffer, sizeof Buffer);
    ASSERT_GT(Got, 0);
    Client.Receive(TSimBytes(Buffer, Buffer + Got));
  }
  EXPECT_EQ(Client.Link.State.Panel(3), "Hold");
  Sim.Stop();
  // The line is gone: reading ends instead of waiting.
  ssize_t Got;
  do
    Got = read(Fd, Buffer, sizeof Buffer);
  while (Got > 0);
  EXPECT_TRUE(Got == 0 || errno == EIO);
  close(Fd);
}

namespace {

// Runs hxt24-sim with Args; returns its exit status and, through Device, the
// first line it printed (the device path).
struct TSimProcess {
  FILE* Out = nullptr;
  std::string Device;
  explicit TSimProcess(const std::string& Args) {
    Out = popen((std::string(HXT24_SIM_PATH) + " " + Args + " 2>/dev/null").c_str(), "r");
    char Line[256] = {};
    if (Out && fgets(Line, sizeof Line, Out))
      Device.assign(Line, strcspn(Line, "\n"));
  }
  int Finish() {
    std::string Rest;
    char Buffer[4096];
    while (fgets(Buffer, sizeof Buffer, Out))
      Rest += Buffer;
    const int Status = pclose(Out);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
};

} // namespace

TEST(SimTool, StreamsTheAskedFramesOnItsPseudoTerminalThenEnds) {
  TSimProcess Sim("--frames 5 --rate 200000 --mode roll --timebase 24 --volts 7 --probe x10 "
                  "--coupling dc --memory --wave square --record-every 2");
  ASSERT_EQ(Sim.Device.rfind("/dev/pts/", 0), 0u) << Sim.Device;
  const int Fd = open(Sim.Device.c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(Fd, 0);
  TClient Client;
  std::uint8_t Buffer[4096];
  while (Client.Count("BA") < 5) {
    const ssize_t Got = read(Fd, Buffer, sizeof Buffer);
    ASSERT_GT(Got, 0);
    Client.Receive(TSimBytes(Buffer, Buffer + Got));
  }
  close(Fd);
  EXPECT_EQ(Sim.Finish(), 0);
  EXPECT_EQ(Client.Count("BR"), 2);
  const std::array<std::string, 7> Expected = {"roll",   "X=20s/div", "Y=10v/div", "",
                                               "Memory", "DC",        "x10"};
  EXPECT_EQ(Client.Link.State.Panels(), Expected);
}

TEST(SimTool, HelpAndBadOptions) {
  TSimProcess Help("--help");
  EXPECT_EQ(Help.Device, "Usage: hxt24-sim [OPTIONS]");
  EXPECT_EQ(Help.Finish(), 0);
  for (const char* Bad : {"--wave saw", "--timebase 32", "--volts -1", "--probe x100",
                          "--frames many", "--replay /nonexistent/file", "extra"}) {
    TSimProcess Sim(Bad);
    EXPECT_EQ(Sim.Device, "") << Bad;
    EXPECT_EQ(Sim.Finish(), 2) << Bad;
  }
}

TEST(SimTool, ReplaysARecordedFileAsItIs) {
  char Name[] = "/tmp/hxt24-replay-XXXXXX";
  const int File = mkstemp(Name);
  ASSERT_GE(File, 0);
  TSimOptions Options;
  Options.NoiseBytes = 9;
  TSimScope Scope(Options);
  const TSimBytes Recorded = Stream(Scope, 4);
  ASSERT_EQ(write(File, Recorded.data(), Recorded.size()), static_cast<ssize_t>(Recorded.size()));
  close(File);
  TSimProcess Sim(std::string("--rate 100000 --replay ") + Name);
  const int Fd = open(Sim.Device.c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(Fd, 0) << Sim.Device;
  TSimBytes Got;
  std::uint8_t Buffer[4096];
  while (Got.size() < Recorded.size()) {
    const ssize_t N = read(Fd, Buffer, sizeof Buffer);
    ASSERT_GT(N, 0);
    Got.insert(Got.end(), Buffer, Buffer + N);
  }
  close(Fd);
  EXPECT_EQ(Sim.Finish(), 0);
  unlink(Name);
  EXPECT_EQ(Got, Recorded);
}
