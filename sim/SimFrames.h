#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A simulated HXT24: the frames it sends and the trace it shows.
//
// Every frame: 'B' | type 'S', 'A' or 'R' | length L of the whole frame (16
// bits, low byte first) | settings byte A | settings byte B | one spare byte |
// L - 7 bytes of payload.

using TSimBytes = std::vector<std::uint8_t>;
using TSimTrace = std::array<std::uint8_t, 256>;

enum TSimWave { swSine, swSquare, swTriangle, swRamp, swNoise };

// The scope's front-panel state as the two settings bytes carry it.
struct TSimSettings {
  int Mode = 1;      // 0 norm, 1 run, 2 once, 3 roll
  int TimeBase = 11; // 0 (.2us/div) to 31 (1h/div); 20 to 31 are the roll time bases
  int Volts = 4;     // sensitivity index 0 to 11
  bool Probe10 = false;
  bool DC = false;
  bool Hold = false;
  bool Memory = false;
};

// A: mode in bits 7-6, time base in bits 5-0.
std::uint8_t SettingsByteA(const TSimSettings& Settings);
// B: hold 0x80, memory 0x40, DC 0x20, x10 probe 0x10, sensitivity in bits 3-0.
std::uint8_t SettingsByteB(const TSimSettings& Settings);

// A frame of the given type around Payload (1 to 266 bytes give a frame the
// client accepts; other sizes make the bad headers of the fault injection).
TSimBytes BuildFrame(char Type, std::uint8_t A, std::uint8_t B, const TSimBytes& Payload);
// "BA", L = 266: three spare bytes, then the 256 samples left to right.
TSimBytes BuildTraceFrame(std::uint8_t A, std::uint8_t B, const TSimTrace& Samples);
// "BS", L = 12: position counter P at offset 7, sample V at offset 10.
TSimBytes BuildSingleSampleFrame(std::uint8_t A, std::uint8_t B, std::uint8_t P, std::uint8_t V);

// Seconds per division of the roll time bases 20 to 31; 0 for the others.
int RollDivisor(int TimeBase);

struct TSimOptions {
  TSimWave Wave = swSine;
  double Cycles = 2.0; // periods across the 256 samples
  int Amplitude = 100; // peak deviation from the middle, in sample counts
  int Offset = 128;    // the middle, in sample counts
  double Drift = 0.01; // periods the wave moves per trace frame
  TSimSettings Settings;
  bool SingleSamples = false; // "BS" frames instead of "BA" (roll time bases)
  int RecordEvery = 0;        // a "BR" frame after every N frames (0: none)
  int NoiseBytes = 0;         // up to N random bytes between frames
  int BadHeaderEvery = 0;     // a header with a bad length or type before every N-th frame
  std::uint32_t Seed = 1;
};

// Produces the stream: one call of NextFrame appends one data frame and the
// faults and extra frames asked for around it.
class TSimScope {
public:
  explicit TSimScope(const TSimOptions& Options);

  void NextFrame(TSimBytes& Out);
  // The 256 received values of trace frame Index.
  TSimTrace Trace(long long Index) const;
  // One sample of the wave at position Pos (0..255) of trace frame Index.
  std::uint8_t Sample(long long Index, double Pos) const;

  long long FramesSent() const { return FFrames; }
  std::mt19937& Random() { return FRandom; }

private:
  void AppendFaults(TSimBytes& Out);

  TSimOptions FOptions;
  std::uint8_t FA;
  std::uint8_t FB;
  long long FFrames = 0;
  int FCounter = 0; // position counter of single-sample frames
  mutable std::mt19937 FRandom;
};

// Parses a waveform name ("sine", "square", "triangle", "ramp", "noise").
bool ParseWave(const std::string& Name, TSimWave& Wave);
