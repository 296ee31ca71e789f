#pragma once

#include <memory>
#include <string>

#include "app/MainView.h"
#include "scope/PixelImage.h"

class TComPort;

// Until the client core drives these windows: Connect asks for a port and
// opens it, Disconnect closes it, the menu follows. (Replaced by the core.)
class TShellDriver {
public:
  explicit TShellDriver(TMainView& View);
  ~TShellDriver();
  void Connect();
  void Disconnect();
  void UpdateMenuState();
  void Redraw();
  const TPixelImage& Picture() const { return FPicture; }

private:
  TMainView& FView;
  std::unique_ptr<TComPort> FComPort;
  std::string FPortName = "COM1";
  TPixelImage FPicture;
};
