// HXT24.exe under Wine with a virtual display, driven from outside through
// its messages and keys.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/Resource.h"
#include "tests/app/win32/ClientDriver.h"

namespace {

void ExpectRect(HWND Window, HWND Parent, int Left, int Top, int Width, int Height,
                const char* Name) {
  const RECT Rect = RectIn(Window, Parent);
  EXPECT_EQ(Rect.left, Left) << Name;
  EXPECT_EQ(Rect.top, Top) << Name;
  if (Width >= 0) {
    EXPECT_EQ(Rect.right - Rect.left, Width) << Name;
  }
  if (Height >= 0) {
    EXPECT_EQ(Rect.bottom - Rect.top, Height) << Name;
  }
}

// The centre of Inner lies on the centre of Outer (within the rounding).
void ExpectCentred(const RECT& Inner, const RECT& Outer, const char* Name) {
  EXPECT_NEAR((Inner.left + Inner.right) / 2, (Outer.left + Outer.right) / 2, 1) << Name;
  EXPECT_NEAR((Inner.top + Inner.bottom) / 2, (Outer.top + Outer.bottom) / 2, 1) << Name;
}

} // namespace

// The main window as it comes up: size and place, toolbar, scope area, the
// ten status bar panels, and the menu and shortcuts it was built from.
TEST(HXT24Window, MainWindowLayout) {
  TClientProcess Client;
  HWND Main = Client.Main();
  ASSERT_NE(Main, nullptr);
  EXPECT_EQ(TextOf(Main), L"HXT24");
  RECT Frame = RectIn(Main, nullptr);
  EXPECT_EQ(Frame.right - Frame.left, 625);
  EXPECT_EQ(Frame.bottom - Frame.top, 375);
  RECT Work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
  ExpectCentred(Frame, Work, "main window on the screen");

  const SIZE Client_ = ClientSize(Main);
  HWND ToolBar = Client.Child(TOOLBARCLASSNAMEW);
  HWND StatusBar = Client.Child(STATUSCLASSNAMEW);
  HWND Panel = Client.Child(L"THXT24ScopePanel");
  HWND Scope = Client.Child(L"THXT24Scope");
  ASSERT_TRUE(ToolBar && StatusBar && Panel && Scope);
  ExpectRect(ToolBar, Main, 0, 0, Client_.cx, 24, "toolbar");
  ExpectRect(StatusBar, Main, 0, Client_.cy - 19, Client_.cx, 19, "status bar");
  ExpectRect(Panel, Main, 0, 24, Client_.cx, Client_.cy - 24 - 19, "ScopePanel");
  ExpectRect(Scope, Panel, 1, 1, Client_.cx - 2, Client_.cy - 24 - 19 - 2, "Scope");
  EXPECT_EQ(Client.ToolbarButtons(),
            (std::vector<std::pair<int, int>>{{IDM_CAPTURE, 0}, {IDM_SAVEPLOT, 1}}));

  const std::vector<int> Widths = {45, 75, 75, 50, 50, 50, 50, 50, 50, 50};
  const std::vector<int> Parts = Client.StatusParts();
  ASSERT_EQ(Parts.size(), Widths.size());
  for (std::size_t i = 0, Left = 0; i < Parts.size(); Left = Parts[i], ++i) {
    EXPECT_EQ(Parts[i] - static_cast<int>(Left), Widths[i]) << "panel " << i;
    EXPECT_EQ(Client.StatusText(static_cast<int>(i)), L"") << "panel " << i;
  }

  // The menu and the shortcuts as the executable carries them.
  const std::wstring Program = ProgramFolder() + L"HXT24.exe";
  HMODULE Image = LoadLibraryExW(Program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(Image, nullptr);
  HMENU Menu = LoadMenuW(Image, MAKEINTRESOURCEW(IDR_MAINMENU));
  ASSERT_NE(Menu, nullptr);
  struct TItem {
    HMENU Menu;
    UINT Position;
    const wchar_t* Text;
    UINT State;
  };
  HMENU Device = GetSubMenu(Menu, 0);
  HMENU Help = GetSubMenu(Menu, 1);
  const TItem Items[] = {
      {Menu, 0, L"&Device", 0},
      {Menu, 1, L"&Help", 0},
      {Device, 0, L"&Connect\tCtrl+O", 0},
      {Device, 1, L"&Disconnect\tCtrl+F4", MF_GRAYED},
      {Device, 2, L"", MF_SEPARATOR},
      {Device, 3, L"E&xit", 0},
      {Help, 0, L"&About", 0},
  };
  for (const TItem& Item : Items) {
    wchar_t Text[128] = L"";
    GetMenuStringW(Item.Menu, Item.Position, Text, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(Text), Item.Text);
    const UINT State = GetMenuState(Item.Menu, Item.Position, MF_BYPOSITION);
    if (Item.State == MF_SEPARATOR) {
      EXPECT_TRUE(State & MF_SEPARATOR) << Item.Position;
    } else {
      EXPECT_EQ(State & (MF_GRAYED | MF_SEPARATOR), Item.State) << Text;
    }
  }
  EXPECT_EQ(GetMenuItemCount(Device), 4);
  EXPECT_EQ(GetMenuItemCount(Help), 1);
  DestroyMenu(Menu);

  HACCEL Accelerators = LoadAcceleratorsW(Image, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  ASSERT_NE(Accelerators, nullptr);
  ACCEL Keys[8];
  const int Count = CopyAcceleratorTableW(Accelerators, Keys, 8);
  std::vector<std::pair<int, int>> Shortcuts; // (shortcut code, command)
  for (int i = 0; i < Count; ++i) {
    EXPECT_EQ(Keys[i].fVirt & ~FNOINVERT, FVIRTKEY | FCONTROL);
    Shortcuts.emplace_back(0x4000 + Keys[i].key, Keys[i].cmd);
  }
  EXPECT_EQ(Shortcuts,
            (std::vector<std::pair<int, int>>{{16463, IDM_CONNECT}, {16499, IDM_DISCONNECT}}));
  FreeLibrary(Image);

  // Exit ends the program.
  Client.PostCommand(IDM_EXIT);
  EXPECT_EQ(Client.WaitForExit(20000), 0);
}

// The port dialog through Ctrl+O: its controls where they belong, Esc bound to
// nothing, Enter as OK with a port that does not exist (an error box captioned
// "HXT24"), the text kept for the next Connect, the close box as Cancel; and
// the about dialog with the executable's version.
TEST(HXT24Window, PortAndAboutDialogs) {
  TClientProcess Client;
  HWND Main = Client.Main();
  ASSERT_NE(Main, nullptr);

  // Ctrl+F4 while the port is closed does nothing; Ctrl+O opens the dialog.
  Client.PressKey(Main, VK_F4, true);
  Client.PressKey(Main, 'O', true);
  HWND Dialog = Client.WaitForDialog(L"Connect");
  ASSERT_NE(Dialog, nullptr);
  const SIZE Size = ClientSize(Dialog);
  EXPECT_EQ(Size.cx, 282);
  EXPECT_EQ(Size.cy, 99);
  ExpectCentred(RectIn(Dialog, nullptr), RectIn(Main, nullptr), "port dialog on the window");
  ExpectRect(GetDlgItem(Dialog, IDC_GROUPBOX), Dialog, 8, 8, 185, 81, "GroupBox");
  ExpectRect(GetDlgItem(Dialog, IDC_LBLPORT), Dialog, 24, 28, -1, -1, "lblPort");
  ExpectRect(GetDlgItem(Dialog, IDC_CBPORT), Dialog, 24, 48, 145, -1, "cbPort");
  ExpectRect(GetDlgItem(Dialog, IDC_BTNOK), Dialog, 200, 16, 75, 25, "btnOK");
  ExpectRect(GetDlgItem(Dialog, IDC_BTNCANCEL), Dialog, 200, 48, 75, 25, "btnCancel");
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, IDC_LBLPORT)), L"Connect using port:");
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, IDC_BTNOK)), L"OK");
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, IDC_BTNCANCEL)), L"Cancel");
  HWND Combo = GetDlgItem(Dialog, IDC_CBPORT);
  EXPECT_EQ(TextOf(Combo), L"COM1");
  ASSERT_GE(SendMessageW(Combo, CB_GETCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t Item[64] = L"";
    SendMessageW(Combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(Item));
    EXPECT_EQ(std::wstring(Item), L"COM" + std::to_wstring(i + 1));
  }

  // Esc, then a typed character: once the character is in, Esc has been
  // handled too, and the dialog is still open.
  SendMessageW(Combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"COM7"));
  SendMessageW(Combo, CB_SETEDITSEL, 0, MAKELPARAM(4, 4));
  Client.PressKey(Dialog, VK_ESCAPE);
  Client.PressKey(Dialog, '7');
  EXPECT_TRUE(WaitUntil([&] { return TextOf(Combo) == L"COM77"; })) << "typed: "
                                                                    << "COM7";
  EXPECT_TRUE(IsWindowVisible(Dialog)) << "Esc closed the dialog";

  // Enter is OK: COM77 does not exist, the error box says so.
  Client.PressKey(Dialog, VK_RETURN);
  ASSERT_TRUE(Client.WaitForNoDialog(Dialog));
  HWND Error = Client.WaitForDialog(L"HXT24");
  ASSERT_NE(Error, nullptr) << "no error box for a port that does not exist";
  HWND Message = GetDlgItem(Error, 0xFFFF);
  const std::wstring Text = TextOf(Message);
  // The port's message and its system error, with no full stop after ")".
  EXPECT_EQ(Text.rfind(L"Unable to open com port (win error code: ", 0), 0u) << Text.c_str();
  EXPECT_EQ(Text.back(), L')');
  SendMessageW(Error, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(Client.WaitForNoDialog(Error));

  // The next Connect offers COM77 again; the close box cancels it.
  Client.PressKey(Main, 'O', true);
  Dialog = Client.WaitForDialog(L"Connect");
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, IDC_CBPORT)), L"COM77");
  PostMessageW(Dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(Client.WaitForNoDialog(Dialog));

  // About (after the cancelled Connect: an error box would show up first).
  Client.PostCommand(IDM_ABOUT);
  HWND About = Client.WaitForDialog(L"About HXT24");
  ASSERT_NE(About, nullptr);
  EXPECT_EQ(Client.FindDialog(L"HXT24"), nullptr) << "the cancelled Connect opened a port";
  const SIZE AboutSize = ClientSize(About);
  EXPECT_EQ(AboutSize.cx, 177);
  EXPECT_EQ(AboutSize.cy, 102);
  ExpectCentred(RectIn(About, nullptr), RectIn(Main, nullptr), "about dialog on the window");
  EXPECT_EQ(TextOf(GetDlgItem(About, IDC_LABEL1)), L"HXT24 Scope Software");
  EXPECT_EQ(TextOf(GetDlgItem(About, IDC_LBLVERSION)), L"Version: 1.1.1.78");
  ExpectRect(GetDlgItem(About, IDC_LABEL1), About, 16, 16, -1, -1, "Label1");
  ExpectRect(GetDlgItem(About, IDC_LBLVERSION), About, 16, 32, -1, -1, "lblVersionString");
  ExpectRect(GetDlgItem(About, IDC_BEVEL1), About, 0, 64, 177, 9, "Bevel1");
  ExpectRect(GetDlgItem(About, IDOK), About, 96, 72, 75, 25, "btnOK");
  Client.PressKey(About, VK_RETURN);
  EXPECT_TRUE(Client.WaitForNoDialog(About));
}
