#include "FakeMainView.h"

void FakeMainView::SetCommandEnabled(TMainCommand Command, bool Enabled) {
  const bool Connect = Command == TMainCommand::mcConnect;
  (Connect ? ConnectEnabled : DisconnectEnabled) = Enabled;
  Calls.push_back(std::string("Enable ") + (Connect ? "Connect " : "Disconnect ") +
                  (Enabled ? "1" : "0"));
}

void FakeMainView::SetPanelText(int Index, const std::string& Text) {
  Panels.at(static_cast<std::size_t>(Index)) = Text;
  Calls.push_back("Panel " + std::to_string(Index) + " " + Text);
}

void FakeMainView::RepaintScope() {
  if (Form)
    Shown = Form->ScopePaint();
  ++Repaints;
  Calls.push_back("Repaint " + std::to_string(Shown.Width()) + "x" +
                  std::to_string(Shown.Height()));
}

void FakeMainView::SetWindowSize(int Width, int Height) {
  WindowW = Width;
  WindowH = Height;
  Calls.push_back("Size " + std::to_string(Width) + "x" + std::to_string(Height));
}

bool FakeMainView::AskPortName(std::string& PortName) {
  Calls.push_back("AskPort " + PortName);
  return PortDialog(PortName);
}

std::string FakeMainView::AskSaveFileName(const TSaveRequest& Request) {
  SaveRequests.push_back(Request);
  Calls.push_back("AskSave " + Request.FileName);
  return SaveAnswer;
}

std::string FakeMainView::UserFolder(TUserFolder Folder) const {
  switch (Folder) {
  case TUserFolder::ufPictures:
    return Pictures;
  case TUserFolder::ufDocuments:
    return Documents;
  case TUserFolder::ufHome:
    return Home;
  }
  return {};
}

void FakeMainView::ShowAbout() {
  Calls.push_back("About");
}

void FakeMainView::CloseMainWindow() {
  Calls.push_back("Close");
}
