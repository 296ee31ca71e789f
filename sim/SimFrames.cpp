#include "sim/SimFrames.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "scope/SettingsBytes.h"

std::uint8_t SettingsByteA(const TSimSettings& Settings) {
  return static_cast<std::uint8_t>(((Settings.Mode & 0x03) << ModeShift) |
                                   (Settings.TimeBase & TimeBaseMask));
}

std::uint8_t SettingsByteB(const TSimSettings& Settings) {
  return static_cast<std::uint8_t>(
      (Settings.Hold ? HoldMask : 0) | (Settings.Memory ? MemoryMask : 0) |
      (Settings.DC ? CouplingMask : 0) | (Settings.Probe10 ? ProbeMask : 0) |
      (Settings.Volts & SensitivityMask));
}

TSimBytes BuildFrame(char Type, std::uint8_t A, std::uint8_t B, const TSimBytes& Payload) {
  const std::size_t L = 7 + Payload.size();
  TSimBytes Frame = {0x42,
                     static_cast<std::uint8_t>(Type),
                     static_cast<std::uint8_t>(L & 0xFF),
                     static_cast<std::uint8_t>((L >> 8) & 0xFF),
                     A,
                     B,
                     0};
  Frame.insert(Frame.end(), Payload.begin(), Payload.end());
  return Frame;
}

TSimBytes BuildTraceFrame(std::uint8_t A, std::uint8_t B, const TSimTrace& Samples) {
  TSimBytes Payload(3, 0);
  Payload.insert(Payload.end(), Samples.begin(), Samples.end());
  return BuildFrame('A', A, B, Payload);
}

TSimBytes BuildSingleSampleFrame(std::uint8_t A, std::uint8_t B, std::uint8_t P, std::uint8_t V) {
  return BuildFrame('S', A, B, TSimBytes{P, 0, 0, V, 0});
}

int RollDivisor(int TimeBase) {
  const int T = TimeBase - RollFirstTimeBase;
  return T >= 0 && T < static_cast<int>(RollSecondsPerDiv.size())
             ? RollSecondsPerDiv[static_cast<std::size_t>(T)]
             : 0;
}

bool ParseWave(const std::string& Name, TSimWave& Wave) {
  static const struct {
    const char* Name;
    TSimWave Wave;
  } Waves[] = {{"sine", swSine},
               {"square", swSquare},
               {"triangle", swTriangle},
               {"ramp", swRamp},
               {"noise", swNoise}};
  for (const auto& W : Waves)
    if (Name == W.Name) {
      Wave = W.Wave;
      return true;
    }
  return false;
}

TSimScope::TSimScope(const TSimOptions& Options)
    : FOptions(Options), FA(SettingsByteA(Options.Settings)), FB(SettingsByteB(Options.Settings)),
      FRandom(Options.Seed) {}

std::uint8_t TSimScope::Sample(long long Index, double Pos) const {
  double Phase = FOptions.Cycles * Pos / 256.0 + FOptions.Drift * static_cast<double>(Index);
  Phase -= std::floor(Phase);
  double Unit = 0; // -1 .. 1
  switch (FOptions.Wave) {
  case swSine:
    Unit = std::sin(2 * std::numbers::pi * Phase);
    break;
  case swSquare:
    Unit = Phase < 0.5 ? 1 : -1;
    break;
  case swTriangle:
    Unit = Phase < 0.5 ? 4 * Phase - 1 : 3 - 4 * Phase;
    break;
  case swRamp:
    Unit = 2 * Phase - 1;
    break;
  case swNoise:
    Unit = std::uniform_real_distribution<double>(-1, 1)(FRandom);
    break;
  }
  const long Value = std::lround(FOptions.Offset + FOptions.Amplitude * Unit);
  return static_cast<std::uint8_t>(std::clamp(Value, 0L, 255L));
}

TSimTrace TSimScope::Trace(long long Index) const {
  TSimTrace Samples;
  for (int i = 0; i < 256; ++i)
    Samples[static_cast<std::size_t>(i)] = Sample(Index, i);
  return Samples;
}

void TSimScope::AppendFaults(TSimBytes& Out) {
  if (FOptions.NoiseBytes > 0) {
    const int Count = std::uniform_int_distribution<int>(0, FOptions.NoiseBytes)(FRandom);
    for (int i = 0; i < Count; ++i)
      Out.push_back(static_cast<std::uint8_t>(FRandom()));
  }
  if (FOptions.BadHeaderEvery > 0 && FFrames % FOptions.BadHeaderEvery == 0) {
    // Alternately a length the client refuses and an unknown type letter;
    // both are dropped together with their six header bytes.
    static constexpr std::uint8_t TooLong[] = {0x42, 0x41, 0x12, 0x01, 0, 0, 0}; // L = 274
    static constexpr std::uint8_t BadType[] = {0x42, 0x42, 0x0A, 0x01, 0, 0, 0}; // "BB"
    const auto& Header = (FFrames / FOptions.BadHeaderEvery) % 2 ? BadType : TooLong;
    Out.insert(Out.end(), std::begin(Header), std::end(Header));
  }
}

void TSimScope::NextFrame(TSimBytes& Out) {
  AppendFaults(Out);
  TSimBytes Frame;
  if (FOptions.SingleSamples) {
    // The counter runs through the positions; at slow time bases several
    // counts fall on one position, as the scope's divisor has it.
    const int Divisor = std::max(1, RollDivisor(FOptions.Settings.TimeBase));
    const auto P = static_cast<std::uint8_t>(FCounter);
    FCounter = (FCounter + 1) % 256;
    Frame = BuildSingleSampleFrame(FA, FB, P, Sample(FFrames / 256, P / Divisor));
  } else {
    Frame = BuildTraceFrame(FA, FB, Trace(FFrames));
  }
  Out.insert(Out.end(), Frame.begin(), Frame.end());
  ++FFrames;
  if (FOptions.RecordEvery > 0 && FFrames % FOptions.RecordEvery == 0) {
    const auto R = BuildFrame('R', FA, FB, TSimBytes(8, 0));
    Out.insert(Out.end(), R.begin(), R.end());
  }
}
