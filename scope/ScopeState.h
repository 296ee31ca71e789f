#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Number of trace positions; one received sample per position.
constexpr int ScopeSampleCount = 256;
// Status bar panels 0 to 6 carry the scope's settings.
constexpr int ScopePanelCount = 7;

using TScopeSamples = std::array<std::uint8_t, ScopeSampleCount>;
using TScopePanels = std::array<std::string, ScopePanelCount>;

// What the scope area and the status bar show: the stored trace and the seven
// settings texts. A received sample r is stored as (256 - r) mod 256, so a
// larger stored value is drawn lower; 127 everywhere after ResetTrace.
//
// The owner hooks two events:
//  - OnPanelChange(Index, Text) after a panel text changed (the window copies
//    it into its status bar label);
//  - OnRepaint() when the picture must be redrawn at once (the window repaints
//    its scope area immediately; the paint must finish before the call
//    returns, so one frame is fully stored before it is drawn).
class TScopeState {
public:
  using TPanelChangeEvent = std::function<void(int Index, const std::string& Text)>;
  using TRepaintEvent = std::function<void()>;

  TScopeState();

  const TScopeSamples& Samples() const { return FSamples; }
  const TScopePanels& Panels() const { return FPanels; }
  const std::string& Panel(int Index) const { return FPanels.at(Index); }

  void SetSample(int Index, std::uint8_t Stored) { FSamples.at(Index) = Stored; }
  void SetPanel(int Index, std::string Text);

  // Sets every sample to 127 (a flat line just above the middle) and repaints.
  void ResetTrace();

  // Fires OnRepaint when it is assigned.
  void TriggerRepaint();

  TPanelChangeEvent OnPanelChange;
  TRepaintEvent OnRepaint;

private:
  TScopeSamples FSamples;
  TScopePanels FPanels;
};
