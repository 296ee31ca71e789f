#pragma once

#include <windows.h>

#include <string>

#include "app/win32/DialogTemplate.h"

// The about dialog ("About HXT24"): the program's name in bold, "Version: "
// and the executable's file version (worked out once, when the dialog is
// made), a separator line and OK.
class TAboutDialog {
public:
  static constexpr int ClientWidth = 177;
  static constexpr int ClientHeight = 102;

  TAboutDialog(HINSTANCE Instance, HWND Owner);
  ~TAboutDialog();
  TAboutDialog(const TAboutDialog&) = delete;
  TAboutDialog& operator=(const TAboutDialog&) = delete;

  void ShowModal();
  const std::wstring& VersionText() const { return FVersionText; }

private:
  static INT_PTR CALLBACK DialogProc(HWND Dialog, UINT Message, WPARAM W, LPARAM L);
  void Build(HWND Dialog);

  HINSTANCE FInstance;
  HWND FOwner;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
  TDialogTemplate FTemplate;
  std::wstring FVersionText;
};
