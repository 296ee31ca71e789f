#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Drives a running HXT24.exe from outside, as a user would: its windows are
// found by class and caption, read through their messages (with buffers in
// the client's own memory where a control wants a pointer), and keys reach it
// through SendInput.
class TClientProcess {
public:
  // Starts HXT24.exe (beside this test program) with Arguments and waits for
  // its main window.
  explicit TClientProcess(const std::wstring& Arguments = L"");
  ~TClientProcess();
  TClientProcess(const TClientProcess&) = delete;
  TClientProcess& operator=(const TClientProcess&) = delete;

  HWND Main() const { return FMain; }
  HANDLE Process() const { return FInfo.hProcess; }
  // The exit code once the process has ended within TimeoutMs, else -1.
  long WaitForExit(DWORD TimeoutMs);

  // A child of the main window (any depth) of the given window class.
  HWND Child(const wchar_t* Class) const;
  // A top-level dialog of the client with Caption, waited for (at most 20 s);
  // nullptr when none appears.
  HWND WaitForDialog(const std::wstring& Caption) const;
  // True when no dialog with Caption is left within 20 s.
  bool WaitForNoDialog(HWND Dialog) const;
  // The top-level dialog of the client with Caption now, or nullptr.
  HWND FindDialog(const std::wstring& Caption) const;

  // Status bar: the right edges of the parts and the text of part Index.
  std::vector<int> StatusParts() const;
  std::wstring StatusText(int Index) const;
  // Toolbar: (command, image) of each button.
  std::vector<std::pair<int, int>> ToolbarButtons() const;

  // Sends a command as the menu or the toolbar would.
  void PostCommand(int Id) const;
  // Presses Key (a virtual key) with Ctrl held when Control is set, in the
  // window that has the focus; Window is brought to the front first.
  void PressKey(HWND Window, WORD Key, bool Control = false) const;

  // Copies Size bytes at Remote in the client's memory.
  std::vector<unsigned char> ReadMemory(const void* Remote, std::size_t Size) const;

private:
  PROCESS_INFORMATION FInfo{};
  HWND FMain = nullptr;
};

// A window's text, its class name, and its rectangle in the client area of
// Parent (the screen when Parent is nullptr).
std::wstring TextOf(HWND Window);
std::wstring ClassOf(HWND Window);
RECT RectIn(HWND Window, HWND Parent);
SIZE ClientSize(HWND Window);
// Waits (at most Seconds) until Done holds; returns Done().
bool WaitUntil(const std::function<bool()>& Done, int Seconds = 20);
// The folder of this test program, with a trailing backslash.
std::wstring ProgramFolder();
