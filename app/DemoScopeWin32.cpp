#include "app/DemoScope.h"

#include "cport/platform/ComDevice.h"
#include "sim/SimComDevice.h"

namespace {

// Windows has no pseudo-terminal to open as a COM port: the scope sits behind
// the serial port's device layer instead, as the port "DEMO" of the device
// that new ports use while it runs (every other name still reaches the real
// ports).
class TDeviceDemoScope : public TDemoScope {
public:
  explicit TDeviceDemoScope(const TSimOptions& Options)
      : FPrevious(DefaultComDevice()), FDevice(Options, 5760.0, FPrevious) {
    SetDefaultComDevice(&FDevice);
  }
  ~TDeviceDemoScope() override { SetDefaultComDevice(&FPrevious); }
  TDeviceDemoScope(const TDeviceDemoScope&) = delete;
  TDeviceDemoScope& operator=(const TDeviceDemoScope&) = delete;

  std::string DevicePath() const override { return FDevice.PortName(); }

private:
  TComDevice& FPrevious;
  TSimComDevice FDevice;
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
  return std::make_unique<TDeviceDemoScope>(Options);
}
