#pragma once

#include <array>
#include <string>

#include "scope/ScopeState.h"

// Labels of the first seven lines of a values file; an empty label means the
// panel text is written alone.
extern const std::array<const char*, ScopePanelCount> ExportLabels;

// The values file: 264 lines, each ended by CR LF. Lines 1-7 the status panel
// texts (with their labels), line 8 empty, then "i=v" for i = 0..255 with
// v = 256 - stored sample (so the received value, 256 for a received 0).
std::string PlotValuesText(const TScopePanels& Panels, const TScopeSamples& Samples);
