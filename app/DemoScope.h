#pragma once

#include <memory>
#include <string>

// The simulated scope of --demo, running inside the client: a line the client
// opens like a serial port. One source per platform: DemoScopePosix.cpp (a
// pseudo-terminal), DemoScopeWin32.cpp (Windows has no pseudo-terminal: a
// port of the serial component's device layer, while the scope runs).
class TDemoScope {
public:
  virtual ~TDemoScope() = default;
  // The name to open, as for --port.
  virtual std::string DevicePath() const = 0;
};

// Starts the demo scope: a sine at 1 ms/div, run mode, DC, x1, 0.5 V/div.
// Raises std::exception when it cannot.
std::unique_ptr<TDemoScope> StartDemoScope();
