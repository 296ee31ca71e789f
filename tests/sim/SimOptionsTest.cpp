#include "tools/sim/SimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TArgs = std::vector<std::string>;

TEST(SimOptions, EveryOptionReachesItsField) {
  const TSimCommandLine D = ParseSimOptions({});
  EXPECT_EQ(D.Frames, -1);
  EXPECT_EQ(D.Rate, 5760);
  EXPECT_EQ(D.Chunk, 64);
  EXPECT_EQ(D.Scope.Settings.Mode, 1);
  EXPECT_FALSE(D.Help || D.Split || D.Scope.SingleSamples);

  const TSimCommandLine C = ParseSimOptions({"--device",
                                             "/dev/ttyUSB0",
                                             "--replay=rec.bin",
                                             "--frames",
                                             "1099511627776",
                                             "--rate",
                                             "1e3",
                                             "--chunk=65536",
                                             "--wave",
                                             "ramp",
                                             "--cycles",
                                             "0.5",
                                             "--amplitude",
                                             "128",
                                             "--offset",
                                             "0",
                                             "--drift",
                                             "-1",
                                             "--mode",
                                             "roll",
                                             "--timebase",
                                             "31",
                                             "--volts",
                                             "11",
                                             "--probe",
                                             "x10",
                                             "--coupling",
                                             "dc",
                                             "--hold",
                                             "--memory",
                                             "--single",
                                             "--record-every",
                                             "3",
                                             "--noise",
                                             "100000",
                                             "--bad-headers",
                                             "7",
                                             "--split",
                                             "--seed",
                                             "4294967295"});
  EXPECT_EQ(C.Device, "/dev/ttyUSB0");
  EXPECT_EQ(C.Replay, "rec.bin");
  EXPECT_EQ(C.Frames, 1LL << 40);
  EXPECT_EQ(C.Rate, 1000);
  EXPECT_EQ(C.Chunk, 65536);
  EXPECT_EQ(C.Scope.Wave, swRamp);
  EXPECT_EQ(C.Scope.Cycles, 0.5);
  EXPECT_EQ(C.Scope.Amplitude, 128);
  EXPECT_EQ(C.Scope.Offset, 0);
  EXPECT_EQ(C.Scope.Drift, -1);
  EXPECT_EQ(C.Scope.Settings.Mode, 3);
  EXPECT_EQ(C.Scope.Settings.TimeBase, 31);
  EXPECT_EQ(C.Scope.Settings.Volts, 11);
  EXPECT_TRUE(C.Scope.Settings.Probe10);
  EXPECT_TRUE(C.Scope.Settings.DC);
  EXPECT_TRUE(C.Scope.Settings.Hold);
  EXPECT_TRUE(C.Scope.Settings.Memory);
  EXPECT_TRUE(C.Scope.SingleSamples);
  EXPECT_EQ(C.Scope.RecordEvery, 3);
  EXPECT_EQ(C.Scope.NoiseBytes, 100000);
  EXPECT_EQ(C.Scope.BadHeaderEvery, 7);
  EXPECT_TRUE(C.Split);
  EXPECT_EQ(C.Scope.Seed, 4294967295u);

  // The first choice of each list, and a later option overriding an earlier one.
  const TSimCommandLine F = ParseSimOptions(
      {"--mode", "roll", "--mode", "norm", "--probe", "x1", "--coupling", "ac", "--help"});
  EXPECT_EQ(F.Scope.Settings.Mode, 0);
  EXPECT_FALSE(F.Scope.Settings.Probe10);
  EXPECT_FALSE(F.Scope.Settings.DC);
  EXPECT_TRUE(F.Help);
}

TEST(SimOptions, RefusesWhatItCannotUse) {
  const std::vector<TArgs> Bad = {
      {"extra"},
      {"-x"},
      {"--"},
      {"--colour", "red"},
      {"--wave", "saw"},
      {"--wave"},
      {"--timebase", "32"},
      {"--volts", "-1"},
      {"--probe", "x100"},
      {"--coupling", "AC"},
      {"--mode", "stop"},
      {"--frames", "many"},
      {"--frames", "5x"},
      {"--frames", ""},
      {"--chunk", "0"},
      {"--rate", "0.5"},
      {"--rate", "nan"},
      {"--rate", "inf"},
      {"--drift", "1.01"},
      {"--amplitude", "129"},
      {"--offset", "256"},
      {"--seed", "4294967296"},
      {"--frames", "1099511627777"},
      {"--device", ""},
      {"--replay="},
      {"--hold=yes"},
      {"--timebase", " 3"},
      {"--cycles", "2,5"},
  };
  for (const TArgs& Args : Bad) {
    std::string Line;
    for (const std::string& A : Args)
      Line += A + " ";
    EXPECT_THROW(ParseSimOptions(Args), ESimUsage) << Line;
  }
}
