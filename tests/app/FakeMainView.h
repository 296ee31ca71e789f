#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/MainFrm.h"
#include "app/MainView.h"
#include "scope/PixelImage.h"

// A front end with no windows: records what the core tells it and answers
// its questions from the test's script.
class FakeMainView : public TMainView {
public:
  // What the calls did, as lines ("Enable Connect 1", "Panel 3 Hold",
  // "Repaint 615x284", "Size 625x375", "AskPort COM1", "AskSave plot.txt",
  // "About", "Close").
  std::vector<std::string> Calls;
  bool ConnectEnabled = false;
  bool DisconnectEnabled = false;
  std::vector<std::string> Panels = std::vector<std::string>(10);
  // The core it shows (set by the test once the core is made); each repaint
  // copies the core's picture into Shown, as a screen would show it.
  TMainForm* Form = nullptr;
  TPixelImage Shown;
  int Repaints = 0;

  int ScopeW = 615;
  int ScopeH = 284;
  int WindowW = 625;
  int WindowH = 375;

  // The port dialog: gets the offered text, may change it, returns OK.
  std::function<bool(std::string&)> PortDialog = [](std::string&) { return true; };
  // The save dialogs: the requests seen, and the file chosen ("" cancels).
  std::vector<TSaveRequest> SaveRequests;
  std::string SaveAnswer;
  std::string Pictures, Documents, Home;

  void SetCommandEnabled(TMainCommand Command, bool Enabled) override;
  void SetPanelText(int Index, const std::string& Text) override;
  void RepaintScope() override;
  int ScopeWidth() const override { return ScopeW; }
  int ScopeHeight() const override { return ScopeH; }
  int WindowWidth() const override { return WindowW; }
  int WindowHeight() const override { return WindowH; }
  void SetWindowSize(int Width, int Height) override;
  bool AskPortName(std::string& PortName) override;
  std::string AskSaveFileName(const TSaveRequest& Request) override;
  std::string UserFolder(TUserFolder Folder) const override;
  void ShowAbout() override;
  void CloseMainWindow() override;
};
