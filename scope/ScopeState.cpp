#include "scope/ScopeState.h"

#include <utility>

namespace {
constexpr std::uint8_t ResetSample = 127;
}

TScopeState::TScopeState() {
  FSamples.fill(ResetSample);
}

void TScopeState::SetPanel(int Index, std::string Text) {
  std::string& Panel = FPanels.at(Index);
  if (Panel == Text)
    return;
  Panel = std::move(Text);
  if (OnPanelChange)
    OnPanelChange(Index, Panel);
}

void TScopeState::ResetTrace() {
  FSamples.fill(ResetSample);
  TriggerRepaint();
}

void TScopeState::TriggerRepaint() {
  if (OnRepaint)
    OnRepaint();
}
