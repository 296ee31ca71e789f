#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "scope/ScopeState.h"
#include "scope/SettingsBytes.h"

// Names shown in the status bar for the two settings bytes of a frame header
// (their layout: scope/SettingsBytes.h).
extern const std::array<const char*, 4> ModeNames;
extern const std::array<const char*, 32> TimeDivNames;
extern const std::array<const char*, 12> VoltDivX10Names;
extern const std::array<const char*, 12> VoltDivX1Names;
// Turns frames into samples and status texts in a TScopeState and has the
// picture repainted at once.
//  - "BS" (single sample): offset 7 position counter P, offset 10 value V;
//    stored at P div RollSecondsPerDiv[t].
//  - "BA" (trace): offsets 10..265 hold the 256 samples.
//  - "BR": accepted and ignored.
// Indices the tables do not cover never read outside them: a single-sample
// frame with t outside 20..31 stores no sample, t >= 32 leaves panel 1 as it
// is and v >= 12 leaves panel 2 as it is; the other panels and the repaint
// happen as usual.
class TScopeDecoder {
public:
  static constexpr int SingleSampleFrameSize = 12;
  static constexpr int TraceFrameSize = 266;
  using TSingleSampleFrame = std::array<std::uint8_t, SingleSampleFrameSize>;
  using TTraceFrame = std::array<std::uint8_t, TraceFrameSize>;

  explicit TScopeDecoder(TScopeState& State);

  // Frame points at offset 0 of the receiver's buffer (at least 266 bytes);
  // the length L takes no part in decoding.
  void DispatchFrame(std::string_view Tag, int L, const std::uint8_t* Frame);
  void HandleSingleSampleFrame(const TSingleSampleFrame& Frame);
  void HandleTraceFrame(const TTraceFrame& Frame);
  // Stores Data[0 .. End-Start-1] negated at positions Start..End-1, writes the
  // panels and repaints.
  void StoreSamples(int Start, int End, std::uint8_t A, std::uint8_t B, const std::uint8_t* Data);
  void ShowScopeSettings(std::uint8_t A, std::uint8_t B);

private:
  TScopeState& FState;
};
