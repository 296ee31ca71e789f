#include "base/Win32HiddenWindow.h"

#include <windows.h>

#include <mutex>

#include "base/Exception.h"
#include "base/Format.h"

namespace {

struct TEntry {
  Win32HiddenWindow::TProcedure Procedure;
  void* Context;
};

LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto* Entry = reinterpret_cast<TEntry*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  // The system's own messages (creation, destruction) get the default.
  if (!Entry || Msg < WM_USER)
    return DefWindowProcW(Window, Msg, WParam, LParam);
  return Entry->Procedure(Entry->Context, Msg, WParam, LParam);
}

const wchar_t* WindowClass() {
  static std::once_flag Once;
  static const wchar_t* Name = L"HXT24.MessageWindow";
  static DWORD Error = 0;
  std::call_once(Once, [] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = WindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = Name;
    if (!RegisterClassExW(&Class))
      Error = GetLastError();
  });
  if (Error != 0)
    throw Exception(
        Format("Cannot register the message window class (error %d)", {static_cast<int>(Error)}));
  return Name;
}

} // namespace

void* Win32HiddenWindow::Create(TProcedure Procedure, void* Context) {
  HWND Window = CreateWindowExW(0, WindowClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!Window)
    throw Exception(
        Format("Cannot create the message window (error %d)", {static_cast<int>(GetLastError())}));
  SetWindowLongPtrW(Window, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(new TEntry{Procedure, Context}));
  return Window;
}

void Win32HiddenWindow::Destroy(void* Window) noexcept {
  HWND Handle = static_cast<HWND>(Window);
  auto* Entry = reinterpret_cast<TEntry*>(GetWindowLongPtrW(Handle, GWLP_USERDATA));
  SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
  DestroyWindow(Handle);
  delete Entry;
}

std::intptr_t Win32HiddenWindow::Send(void* Window, unsigned Msg, std::uintptr_t WParam,
                                      std::intptr_t LParam) {
  return SendMessageW(static_cast<HWND>(Window), Msg, WParam, LParam);
}

bool Win32HiddenWindow::InSend() {
  return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND;
}

bool Win32HiddenWindow::Reply(std::intptr_t Result) {
  return InSend() && ReplyMessage(Result);
}
