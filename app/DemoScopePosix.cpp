#include "app/DemoScope.h"

#include "sim/SimLine.h"

namespace {

class TPtyDemoScope : public TDemoScope {
public:
  explicit TPtyDemoScope(const TSimOptions& Options) : FScope(Options, 5760.0, 64) {}
  std::string DevicePath() const override { return FScope.DevicePath(); }

private:
  TSimScopeThread FScope;
};

} // namespace

std::unique_ptr<TDemoScope> StartDemoScope() {
  TSimOptions Options;
  Options.Wave = swSine;
  Options.Cycles = 2.5;
  Options.Amplitude = 90;
  Options.Drift = 0.004;
  Options.Settings.Mode = 1;
  Options.Settings.TimeBase = 11;
  Options.Settings.Volts = 6;
  Options.Settings.DC = true;
  return std::make_unique<TPtyDemoScope>(Options);
}
