#include "app/win32/ShellDriver.h"

#include "cport/CPort.h"

TShellDriver::TShellDriver(TMainView& View) : FView(View), FComPort(std::make_unique<TComPort>()) {}

TShellDriver::~TShellDriver() {
  FComPort->ClosePort();
}

void TShellDriver::Connect() {
  if (FView.AskPortName(FPortName)) {
    FComPort->SetPort(FPortName);
    FComPort->OpenPort();
  }
  UpdateMenuState();
}

void TShellDriver::Disconnect() {
  FComPort->ClosePort();
  UpdateMenuState();
}

void TShellDriver::UpdateMenuState() {
  FView.SetCommandEnabled(TMainCommand::mcConnect, !FComPort->Connected());
  FView.SetCommandEnabled(TMainCommand::mcDisconnect, FComPort->Connected());
  if (!FComPort->Connected())
    Redraw();
}

void TShellDriver::Redraw() {
  FPicture.SetSize(FView.ScopeWidth(), FView.ScopeHeight());
  FPicture.Fill(0xFF008080u);
  FView.RepaintScope();
}
