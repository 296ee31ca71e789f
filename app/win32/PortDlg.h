#pragma once

#include <windows.h>

#include <string>

#include "app/win32/DialogTemplate.h"

// The port dialog ("Connect"): a group box with "Connect using port:" and the
// editable combo box cbPort (COM1 to COM4, then the ports the machine has),
// OK (the default button, Enter) and Cancel. Esc is bound to nothing; the
// close box is Cancel. Made once and shown modally for every Connect.
class TPortDialog {
public:
  static constexpr int ClientWidth = 282;
  static constexpr int ClientHeight = 99;

  TPortDialog(HINSTANCE Instance, HWND Owner);
  ~TPortDialog();
  TPortDialog(const TPortDialog&) = delete;
  TPortDialog& operator=(const TPortDialog&) = delete;

  // Shows the dialog with PortName as cbPort's text; on return PortName is the
  // text as the user left it. True for OK.
  bool ShowModal(std::string& PortName);

private:
  static INT_PTR CALLBACK DialogProc(HWND Dialog, UINT Message, WPARAM W, LPARAM L);
  void Build(HWND Dialog);

  HINSTANCE FInstance;
  HWND FOwner;
  HFONT FFont = nullptr;
  TDialogTemplate FTemplate;
  std::wstring FText;
  // The machine's ports, looked up at every show.
  std::wstring FFoundPorts; // names, each ended by L'\0'
};
