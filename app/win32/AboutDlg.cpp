#include "app/win32/AboutDlg.h"

#include "app/VersionInfo.h"
#include "app/win32/MainWindow.h"
#include "app/win32/Resource.h"

TAboutDialog::TAboutDialog(HINSTANCE Instance, HWND Owner)
    : FInstance(Instance), FOwner(Owner), FTemplate(L"About HXT24") {
  const int Dpi = WindowDpi(Owner);
  FFont = CreateFormFont(Dpi);
  FBoldFont = CreateFormFont(Dpi, true);
  FVersionText = L"Version: " + Widen(GetVersionValue("FileVersion"));
}

TAboutDialog::~TAboutDialog() {
  if (FFont)
    DeleteObject(FFont);
  if (FBoldFont)
    DeleteObject(FBoldFont);
}

void TAboutDialog::ShowModal() {
  DialogBoxIndirectParamW(FInstance, FTemplate.Get(), FOwner, &DialogProc,
                          reinterpret_cast<LPARAM>(this));
}

void TAboutDialog::Build(HWND Dialog) {
  SizeAndCentre(Dialog, FOwner, ClientWidth, ClientHeight);
  const std::wstring Title = L"HXT24 Scope Software";
  const SIZE TitleSize = TextSize(Dialog, FBoldFont, Title);
  AddControl(Dialog, L"STATIC", Title.c_str(), SS_LEFT | SS_NOPREFIX, IDC_LABEL1, 16, 16,
             TitleSize.cx, TitleSize.cy, FBoldFont);
  const SIZE VersionSize = TextSize(Dialog, FFont, FVersionText);
  AddControl(Dialog, L"STATIC", FVersionText.c_str(), SS_LEFT | SS_NOPREFIX, IDC_LBLVERSION, 16, 32,
             VersionSize.cx, VersionSize.cy, FFont);
  // The bevel: its top line across the dialog at height 64 (drawn in
  // WM_DRAWITEM: an etched static control would size itself).
  AddControl(Dialog, L"STATIC", L"", SS_OWNERDRAW, IDC_BEVEL1, 0, 64, ClientWidth, 9, FFont);
  HWND OK = AddControl(Dialog, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 96, 72, 75,
                       25, FFont);
  SetFocus(OK);
}

INT_PTR CALLBACK TAboutDialog::DialogProc(HWND Dialog, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
  case WM_INITDIALOG:
    reinterpret_cast<TAboutDialog*>(L)->Build(Dialog);
    return FALSE;
  case WM_COMMAND:
    if (LOWORD(W) == IDOK && HIWORD(W) == BN_CLICKED) {
      EndDialog(Dialog, IDOK);
      return TRUE;
    }
    return FALSE; // Esc (IDCANCEL) is bound to nothing
  case WM_DRAWITEM: {
    const auto* Item = reinterpret_cast<const DRAWITEMSTRUCT*>(L);
    if (Item->CtlID != IDC_BEVEL1)
      return FALSE;
    RECT Line = Item->rcItem;
    FillRect(Item->hDC, &Line, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(Item->hDC, &Line, EDGE_ETCHED, BF_TOP);
    return TRUE;
  }
  case WM_CLOSE:
    EndDialog(Dialog, IDCANCEL);
    return TRUE;
  default:
    return FALSE;
  }
}
