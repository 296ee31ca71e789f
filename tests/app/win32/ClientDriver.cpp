#include "tests/app/win32/ClientDriver.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

// The client's memory for a control that wants a pointer: allocated in its
// process, freed with this object.
class TRemoteBuffer {
public:
  TRemoteBuffer(HANDLE Process, std::size_t Size) : FProcess(Process) {
    FAddress = VirtualAllocEx(Process, nullptr, Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!FAddress)
      throw std::runtime_error("VirtualAllocEx failed");
  }
  ~TRemoteBuffer() { VirtualFreeEx(FProcess, FAddress, 0, MEM_RELEASE); }
  TRemoteBuffer(const TRemoteBuffer&) = delete;
  TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;
  void* Address() const { return FAddress; }
  LPARAM Param() const { return reinterpret_cast<LPARAM>(FAddress); }

private:
  HANDLE FProcess;
  void* FAddress;
};

struct TSearch {
  DWORD ProcessId;
  const wchar_t* Class;
  const wchar_t* Caption;
  HWND Found;
};

BOOL CALLBACK FindTopLevel(HWND Window, LPARAM Param) {
  auto* Search = reinterpret_cast<TSearch*>(Param);
  DWORD Owner = 0;
  GetWindowThreadProcessId(Window, &Owner);
  if (Owner != Search->ProcessId || !IsWindowVisible(Window))
    return TRUE;
  if (ClassOf(Window) != Search->Class)
    return TRUE;
  if (Search->Caption && TextOf(Window) != Search->Caption)
    return TRUE;
  Search->Found = Window;
  return FALSE;
}

BOOL CALLBACK FindChild(HWND Window, LPARAM Param) {
  auto* Search = reinterpret_cast<TSearch*>(Param);
  if (ClassOf(Window) != Search->Class)
    return TRUE;
  Search->Found = Window;
  return FALSE;
}

} // namespace

std::wstring TextOf(HWND Window) {
  wchar_t Text[1024] = L"";
  // WM_GETTEXT is carried across processes by the system.
  SendMessageTimeoutW(Window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(Text), SMTO_BLOCK, 10000,
                      nullptr);
  return Text;
}

std::wstring ClassOf(HWND Window) {
  wchar_t Name[256] = L"";
  GetClassNameW(Window, Name, 256);
  return Name;
}

RECT RectIn(HWND Window, HWND Parent) {
  RECT Rect{};
  GetWindowRect(Window, &Rect);
  if (Parent)
    MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&Rect), 2);
  return Rect;
}

SIZE ClientSize(HWND Window) {
  RECT Rect{};
  GetClientRect(Window, &Rect);
  return {Rect.right, Rect.bottom};
}

bool WaitUntil(const std::function<bool()>& Done, int Seconds) {
  for (int i = 0; i < Seconds * 50; ++i) {
    if (Done())
      return true;
    Sleep(20);
  }
  return Done();
}

std::wstring ProgramFolder() {
  wchar_t Path[MAX_PATH];
  GetModuleFileNameW(nullptr, Path, MAX_PATH);
  std::wstring Folder = Path;
  return Folder.substr(0, Folder.find_last_of(L"\\/") + 1);
}

TClientProcess::TClientProcess(const std::wstring& Arguments) {
  const std::wstring Program = ProgramFolder() + L"HXT24.exe";
  std::wstring Line = L"\"" + Program + L"\" " + Arguments;
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  if (!CreateProcessW(Program.c_str(), Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &Startup, &FInfo))
    throw std::runtime_error("HXT24.exe does not start");
  WaitForInputIdle(FInfo.hProcess, 20000);
  WaitUntil(
      [this] {
        TSearch Search{FInfo.dwProcessId, L"THXT24MainForm", nullptr, nullptr};
        EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&Search));
        FMain = Search.Found;
        return FMain != nullptr;
      },
      60); // a first start of Wine's services may take long on a busy machine
}

TClientProcess::~TClientProcess() {
  if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
    if (FMain)
      PostMessageW(FMain, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(FInfo.hProcess, 10000) != WAIT_OBJECT_0)
      TerminateProcess(FInfo.hProcess, 1);
  }
  CloseHandle(FInfo.hThread);
  CloseHandle(FInfo.hProcess);
}

long TClientProcess::WaitForExit(DWORD TimeoutMs) {
  if (WaitForSingleObject(FInfo.hProcess, TimeoutMs) != WAIT_OBJECT_0)
    return -1;
  DWORD Code = 0;
  GetExitCodeProcess(FInfo.hProcess, &Code);
  return static_cast<long>(Code);
}

HWND TClientProcess::Child(const wchar_t* Class) const {
  TSearch Search{FInfo.dwProcessId, Class, nullptr, nullptr};
  EnumChildWindows(FMain, &FindChild, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

HWND TClientProcess::FindDialog(const std::wstring& Caption) const {
  TSearch Search{FInfo.dwProcessId, L"#32770", Caption.c_str(), nullptr};
  EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

HWND TClientProcess::WaitForDialog(const std::wstring& Caption) const {
  HWND Found = nullptr;
  WaitUntil([&] { return (Found = FindDialog(Caption)) != nullptr; });
  return Found;
}

bool TClientProcess::WaitForNoDialog(HWND Dialog) const {
  return WaitUntil([Dialog] { return !IsWindow(Dialog) || !IsWindowVisible(Dialog); });
}

std::vector<unsigned char> TClientProcess::ReadMemory(const void* Remote, std::size_t Size) const {
  std::vector<unsigned char> Bytes(Size);
  SIZE_T Read = 0;
  if (!ReadProcessMemory(FInfo.hProcess, Remote, Bytes.data(), Size, &Read) || Read != Size)
    throw std::runtime_error("ReadProcessMemory failed");
  return Bytes;
}

std::vector<int> TClientProcess::StatusParts() const {
  HWND Bar = Child(STATUSCLASSNAMEW);
  TRemoteBuffer Buffer(FInfo.hProcess, 64 * sizeof(int));
  const int Count = static_cast<int>(SendMessageW(Bar, SB_GETPARTS, 64, Buffer.Param()));
  const auto Bytes = ReadMemory(Buffer.Address(), static_cast<std::size_t>(Count) * sizeof(int));
  std::vector<int> Parts(static_cast<std::size_t>(Count));
  CopyMemory(Parts.data(), Bytes.data(), Bytes.size());
  return Parts;
}

std::wstring TClientProcess::StatusText(int Index) const {
  HWND Bar = Child(STATUSCLASSNAMEW);
  const int Length = LOWORD(SendMessageW(Bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(Index), 0));
  TRemoteBuffer Buffer(FInfo.hProcess, (static_cast<std::size_t>(Length) + 1) * sizeof(wchar_t));
  SendMessageW(Bar, SB_GETTEXTW, static_cast<WPARAM>(Index), Buffer.Param());
  const auto Bytes =
      ReadMemory(Buffer.Address(), static_cast<std::size_t>(Length) * sizeof(wchar_t));
  std::wstring Text(static_cast<std::size_t>(Length), L'\0');
  CopyMemory(Text.data(), Bytes.data(), Bytes.size());
  return Text;
}

std::vector<std::pair<int, int>> TClientProcess::ToolbarButtons() const {
  HWND Bar = Child(TOOLBARCLASSNAMEW);
  const int Count = static_cast<int>(SendMessageW(Bar, TB_BUTTONCOUNT, 0, 0));
  std::vector<std::pair<int, int>> Buttons;
  TRemoteBuffer Buffer(FInfo.hProcess, sizeof(TBBUTTON));
  for (int i = 0; i < Count; ++i) {
    SendMessageW(Bar, TB_GETBUTTON, static_cast<WPARAM>(i), Buffer.Param());
    const auto Bytes = ReadMemory(Buffer.Address(), sizeof(TBBUTTON));
    TBBUTTON Button;
    CopyMemory(&Button, Bytes.data(), sizeof Button);
    Buttons.emplace_back(Button.idCommand, Button.iBitmap);
  }
  return Buttons;
}

void TClientProcess::PostCommand(int Id) const {
  PostMessageW(FMain, WM_COMMAND, MAKEWPARAM(Id, 0), 0);
}

void TClientProcess::PressKey(HWND Window, WORD Key, bool Control) const {
  SetForegroundWindow(Window);
  std::vector<INPUT> Inputs;
  auto Add = [&Inputs](WORD VirtualKey, bool Up) {
    INPUT Input{};
    Input.type = INPUT_KEYBOARD;
    Input.ki.wVk = VirtualKey;
    Input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC));
    Input.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
    Inputs.push_back(Input);
  };
  if (Control)
    Add(VK_CONTROL, false);
  Add(Key, false);
  Add(Key, true);
  if (Control)
    Add(VK_CONTROL, true);
  SendInput(static_cast<UINT>(Inputs.size()), Inputs.data(), sizeof(INPUT));
}
