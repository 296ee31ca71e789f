#include "app/win32/PortDlg.h"

#include <exception>
#include <vector>

#include "app/win32/MainWindow.h"
#include "app/win32/Resource.h"
#include "app/win32/PortList.h"

namespace {

constexpr INT_PTR ResultOK = 1;
constexpr INT_PTR ResultCancel = 2;

} // namespace

TPortDialog::TPortDialog(HINSTANCE Instance, HWND Owner)
    : FInstance(Instance), FOwner(Owner), FTemplate(L"Connect") {
  FFont = CreateFormFont(WindowDpi(Owner));
}

TPortDialog::~TPortDialog() {
  if (FFont)
    DeleteObject(FFont);
}

bool TPortDialog::ShowModal(std::string& PortName) {
  // The list is read at every show: an adapter plugged in meanwhile is offered.
  FFoundPorts.clear();
  try {
    for (const std::string& Name : MachinePortNames())
      FFoundPorts += Widen(Name) + L'\0';
  } catch (const std::exception&) {
    // A machine whose ports cannot be listed still offers COM1 to COM4.
  }
  FText = Widen(PortName);
  const INT_PTR Result = DialogBoxIndirectParamW(FInstance, FTemplate.Get(), FOwner, &DialogProc,
                                                 reinterpret_cast<LPARAM>(this));
  PortName = Narrow(FText);
  return Result == ResultOK;
}

void TPortDialog::Build(HWND Dialog) {
  SizeAndCentre(Dialog, FOwner, ClientWidth, ClientHeight);
  AddControl(Dialog, L"BUTTON", L"", BS_GROUPBOX, IDC_GROUPBOX, 8, 8, 185, 81, FFont);
  // Label and combo box sit in the group box (16, 20 and 16, 40 from its corner).
  const std::wstring Label = L"Connect using port:";
  const SIZE LabelSize = TextSize(Dialog, FFont, Label);
  AddControl(Dialog, L"STATIC", Label.c_str(), SS_LEFT, IDC_LBLPORT, 8 + 16, 8 + 20, LabelSize.cx,
             LabelSize.cy, FFont);
  HWND Combo =
      AddControl(Dialog, L"COMBOBOX", L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
                 IDC_CBPORT, 8 + 16, 8 + 40, 145, 160, FFont);
  std::vector<std::wstring> Names = {L"COM1", L"COM2", L"COM3", L"COM4"};
  for (std::size_t At = 0; At < FFoundPorts.size();) {
    const std::size_t End = FFoundPorts.find(L'\0', At);
    std::wstring Name = FFoundPorts.substr(At, End - At);
    bool Listed = false;
    for (const auto& Known : Names)
      Listed = Listed || Known == Name;
    if (!Listed && !Name.empty())
      Names.push_back(Name);
    At = End + 1;
  }
  for (const auto& Name : Names)
    SendMessageW(Combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Name.c_str()));
  // The entry of that name is the current one (none for another name); the
  // text is shown whole, selected, with the focus in the field.
  const LRESULT Current = SendMessageW(Combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(FText.c_str()));
  SendMessageW(Combo, CB_SETCURSEL, Current == CB_ERR ? static_cast<WPARAM>(-1) : Current, 0);
  SetWindowTextW(Combo, FText.c_str());
  SendMessageW(Combo, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  AddControl(Dialog, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDC_BTNOK, 200, 16, 75, 25,
             FFont);
  AddControl(Dialog, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDC_BTNCANCEL, 200, 48, 75,
             25, FFont);
  SetFocus(Combo);
}

INT_PTR CALLBACK TPortDialog::DialogProc(HWND Dialog, UINT Message, WPARAM W, LPARAM L) {
  auto* Self = reinterpret_cast<TPortDialog*>(GetWindowLongPtrW(Dialog, DWLP_USER));
  switch (Message) {
  case WM_INITDIALOG:
    Self = reinterpret_cast<TPortDialog*>(L);
    SetWindowLongPtrW(Dialog, DWLP_USER, L);
    Self->Build(Dialog);
    return FALSE; // the focus is set
  case WM_COMMAND: {
    const int Id = LOWORD(W);
    // IDCANCEL is what the dialog manager sends for Esc: bound to nothing.
    if (Id != IDC_BTNOK && Id != IDC_BTNCANCEL)
      return FALSE;
    if (HIWORD(W) != BN_CLICKED)
      return FALSE;
    HWND Combo = GetDlgItem(Dialog, IDC_CBPORT);
    const int Length = GetWindowTextLengthW(Combo);
    std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
    GetWindowTextW(Combo, Text.data(), Length + 1);
    Text.resize(static_cast<std::size_t>(Length));
    Self->FText = Text;
    EndDialog(Dialog, Id == IDC_BTNOK ? ResultOK : ResultCancel);
    return TRUE;
  }
  case WM_CLOSE: {
    // The close box: Cancel, keeping the text as it was left.
    HWND Combo = GetDlgItem(Dialog, IDC_CBPORT);
    const int Length = GetWindowTextLengthW(Combo);
    std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
    GetWindowTextW(Combo, Text.data(), Length + 1);
    Text.resize(static_cast<std::size_t>(Length));
    Self->FText = Text;
    EndDialog(Dialog, ResultCancel);
    return TRUE;
  }
  default:
    return FALSE;
  }
}
