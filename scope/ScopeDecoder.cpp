#include "scope/ScopeDecoder.h"

#include <algorithm>
#include <string>

const std::array<const char*, 4> ModeNames = {"norm", "run", "once", "roll"};

const std::array<const char*, 32> TimeDivNames = {
    ".2us/div", ".5us/div",  "1us/div",   "2us/div",   "5us/div",  "10us/div", "20us/div",
    "50us/div", "0.1ms/div", "0.2ms/div", "0.5ms/div", "1ms/div",  "2ms/div",  "5ms/div",
    "10ms/div", "20ms/div",  "50ms/div",  "0.1s/div",  "0.2s/div", "0.5s/div", "1s/div",
    "2s/div",   "5s/div",    "10s/div",   "20s/div",   "30s/div",  "1m/div",   "2m/div",
    "5m/div",   "0.25h/div", "0.5h/div",  "1h/div"};

const std::array<const char*, 12> VoltDivX10Names = {"50mv/div", ".1v/div", ".2v/div", ".5v/div",
                                                     "1v/div",   "2v/div",  "4v/div",  "10v/div",
                                                     "20v/div",  "40v/div", "80v/div", "200v/div"};

const std::array<const char*, 12> VoltDivX1Names = {"5mv/div",  "10mv/div", "20mv/div", "50mv/div",
                                                    "0.1v/div", "0.2v/div", "0.4v/div", "1v/div",
                                                    "2v/div",   "4v/div",   "8v/div",   "20v/div"};

namespace {
// Offsets in a frame (as on the wire).
constexpr int SettingsA = 4;
constexpr int SettingsB = 5;
constexpr int PositionCounter = 7;
constexpr int FirstSample = 10;

int TimeBase(std::uint8_t A) {
  return A & TimeBaseMask;
}
int Sensitivity(std::uint8_t B) {
  return B & SensitivityMask;
}
bool HasFlag(std::uint8_t B, std::uint8_t Mask) {
  return (B & Mask) == Mask;
}
} // namespace

TScopeDecoder::TScopeDecoder(TScopeState& State) : FState(State) {}

void TScopeDecoder::DispatchFrame(std::string_view Tag, int /*L*/, const std::uint8_t* Frame) {
  if (Tag == "BS") {
    TSingleSampleFrame Copy;
    std::copy_n(Frame, Copy.size(), Copy.begin());
    HandleSingleSampleFrame(Copy);
  } else if (Tag == "BA") {
    TTraceFrame Copy;
    std::copy_n(Frame, Copy.size(), Copy.begin());
    HandleTraceFrame(Copy);
  }
  // "BR" frames carry nothing the client shows.
}

void TScopeDecoder::HandleSingleSampleFrame(const TSingleSampleFrame& Frame) {
  const std::uint8_t A = Frame[SettingsA];
  const std::uint8_t B = Frame[SettingsB];
  const int T = TimeBase(A) - RollFirstTimeBase;
  if (T < 0 || T >= static_cast<int>(RollSecondsPerDiv.size())) {
    // Only the slow time bases have a divisor: no position, so no sample.
    StoreSamples(0, 0, A, B, nullptr);
    return;
  }
  const int Pos = Frame[PositionCounter] / RollSecondsPerDiv[T];
  StoreSamples(Pos, Pos + 1, A, B, &Frame[FirstSample]);
}

void TScopeDecoder::HandleTraceFrame(const TTraceFrame& Frame) {
  StoreSamples(0, ScopeSampleCount, Frame[SettingsA], Frame[SettingsB], &Frame[FirstSample]);
}

void TScopeDecoder::StoreSamples(int Start, int End, std::uint8_t A, std::uint8_t B,
                                 const std::uint8_t* Data) {
  const int First = std::max(Start, 0);
  const int Last = std::min(End, ScopeSampleCount);
  for (int I = First; I < Last; ++I)
    FState.SetSample(I, static_cast<std::uint8_t>(256 - Data[I - Start]));
  ShowScopeSettings(A, B);
  FState.TriggerRepaint();
}

void TScopeDecoder::ShowScopeSettings(std::uint8_t A, std::uint8_t B) {
  FState.SetPanel(0, ModeNames[A >> ModeShift]);
  const int T = TimeBase(A);
  if (T < static_cast<int>(TimeDivNames.size()))
    FState.SetPanel(1, std::string("X=") + TimeDivNames[T]);
  const int V = Sensitivity(B);
  if (V < static_cast<int>(VoltDivX1Names.size()))
    FState.SetPanel(2, std::string("Y=") +
                           (HasFlag(B, ProbeMask) ? VoltDivX10Names[V] : VoltDivX1Names[V]));
  FState.SetPanel(3, HasFlag(B, HoldMask) ? "Hold" : "");
  FState.SetPanel(4, HasFlag(B, MemoryMask) ? "Memory" : "");
  FState.SetPanel(5, HasFlag(B, CouplingMask) ? "DC" : "AC");
  FState.SetPanel(6, HasFlag(B, ProbeMask) ? "x10" : "x1");
}
