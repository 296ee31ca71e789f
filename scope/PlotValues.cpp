#include "scope/PlotValues.h"

const std::array<const char*, ScopePanelCount> ExportLabels = {"Trigger", "",      "",     "Hold",
                                                               "Memory",  "AC/DC", "Probe"};

std::string PlotValuesText(const TScopePanels& Panels, const TScopeSamples& Samples) {
  static const char* const LineEnd = "\r\n";
  std::string Text;
  Text.reserve(4096);
  for (int I = 0; I < ScopePanelCount; ++I) {
    const std::string Label = ExportLabels[I];
    if (!Label.empty())
      Text += Label + "=";
    Text += Panels[I];
    Text += LineEnd;
  }
  Text += LineEnd;
  for (int I = 0; I < ScopeSampleCount; ++I) {
    Text += std::to_string(I);
    Text += '=';
    Text += std::to_string(256 - Samples[I]);
    Text += LineEnd;
  }
  return Text;
}
