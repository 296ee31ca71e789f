#include "app/win32/DialogTemplate.h"

TDialogTemplate::TDialogTemplate(const std::wstring& Caption) {
  DLGTEMPLATE Header{};
  Header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  const auto* Raw = reinterpret_cast<const WORD*>(&Header);
  std::vector<WORD> Words(Raw, Raw + sizeof Header / sizeof(WORD));
  Words.push_back(0); // no menu
  Words.push_back(0); // the standard dialog class
  for (wchar_t Char : Caption)
    Words.push_back(static_cast<WORD>(Char));
  Words.push_back(0);
  FStorage.assign((Words.size() + 1) / 2, 0);
  CopyMemory(FStorage.data(), Words.data(), Words.size() * sizeof(WORD));
}

void SizeAndCentre(HWND Dialog, HWND Owner, int Width, int Height) {
  RECT Frame{0, 0, Width, Height};
  AdjustWindowRectEx(&Frame, static_cast<DWORD>(GetWindowLongW(Dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(Dialog, GWL_EXSTYLE)));
  const int FrameWidth = Frame.right - Frame.left;
  const int FrameHeight = Frame.bottom - Frame.top;
  RECT Centre{};
  if (!Owner || !GetWindowRect(Owner, &Centre))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Centre, 0);
  const int Left = Centre.left + (Centre.right - Centre.left - FrameWidth) / 2;
  const int Top = Centre.top + (Centre.bottom - Centre.top - FrameHeight) / 2;
  SetWindowPos(Dialog, nullptr, Left, Top, FrameWidth, FrameHeight, SWP_NOZORDER);
}

HWND AddControl(HWND Dialog, const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id,
                int Left, int Top, int Width, int Height, HFONT Font) {
  HWND Control = CreateWindowExW(
      0, Class, Text, WS_CHILD | WS_VISIBLE | Style, Left, Top, Width, Height, Dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Dialog, GWLP_HINSTANCE)), nullptr);
  if (Control)
    SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return Control;
}

SIZE TextSize(HWND Window, HFONT Font, const std::wstring& Text) {
  SIZE Size{0, 0};
  HDC Context = GetDC(Window);
  if (!Context)
    return Size;
  HGDIOBJ Old = SelectObject(Context, Font);
  GetTextExtentPoint32W(Context, Text.c_str(), static_cast<int>(Text.size()), &Size);
  SelectObject(Context, Old);
  ReleaseDC(Window, Context);
  return Size;
}
