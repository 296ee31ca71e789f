#pragma once

#include <windows.h>

#include <string>
#include <vector>

// An empty modal dialog's template in memory (caption, border, no controls):
// the dialogs make their controls themselves, at pixel positions, when the
// dialog manager creates the window (WM_INITDIALOG).
class TDialogTemplate {
public:
  explicit TDialogTemplate(const std::wstring& Caption);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(FStorage.data()); }

private:
  // DWORD-aligned, as the dialog manager wants it.
  std::vector<DWORD> FStorage;
};

// Helpers for the dialogs: the client area made Width x Height and the
// window centred on Owner; a child control at a pixel position with Font.
void SizeAndCentre(HWND Dialog, HWND Owner, int Width, int Height);
HWND AddControl(HWND Dialog, const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id,
                int Left, int Top, int Width, int Height, HFONT Font);
// Width and height of Text in Font (for the labels, which size themselves).
SIZE TextSize(HWND Window, HFONT Font, const std::wstring& Text);
