// HXT24.exe --port COMn on a line that plays a recorded stream (wine-on-pty.py
// --play): the status bar and the scope area show the last frame, the picture
// saved through the toolbar is written, Ctrl+F4 gives the flat trace.
//
// Environment: HXT24_TEST_PORT (the line), HXT24_STREAM_RECORDING (the
// recording, a Linux path), HXT24_STREAM_WORK (a folder, Linux path) where the
// saved picture goes (capture.bmp) and its size is told (size.txt, "WxH"), for
// the comparison with the Linux dump that follows this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/win32/Resource.h"
#include "scope/ByteSource.h"
#include "scope/PixelImage.h"
#include "scope/ScopeLink.h"
#include "scope/ScopeRenderer.h"
#include "tests/app/win32/ClientDriver.h"

namespace {

std::string Environment(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

// A Linux path as Wine's drive Z: shows it.
std::wstring WindowsPath(const std::string& Path) {
  std::wstring Result = L"Z:";
  for (char Char : Path)
    Result += Char == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(Char));
  return Result;
}

std::vector<unsigned char> ReadAll(const std::wstring& Path) {
  std::ifstream File(Path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

// What the screen shows of Window's client area, W x H, as 0xFFRRGGBB pixels.
TPixelImage ReadBack(HWND Window, int W, int H) {
  TPixelImage Picture(W, H);
  // From the screen, where the window is: what the user sees.
  POINT Origin{0, 0};
  ClientToScreen(Window, &Origin);
  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = W;
  Info.bmiHeader.biHeight = -H;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HBITMAP Section = CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Memory, Section);
  BitBlt(Memory, 0, 0, W, H, Screen, Origin.x, Origin.y, SRCCOPY);
  GdiFlush();
  const auto* Pixels = static_cast<const std::uint32_t*>(Bits);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      Picture.SetPixel(x, y, 0xFF000000u | (Pixels[y * W + x] & 0xFFFFFFu));
  SelectObject(Memory, Old);
  DeleteObject(Section);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);
  return Picture;
}

// The first pixel where the two pictures differ, for the failure message.
std::string FirstDifference(const TPixelImage& Got, const TPixelImage& Wanted) {
  if (Got.Width() != Wanted.Width() || Got.Height() != Wanted.Height())
    return "sizes differ";
  for (int y = 0; y < Got.Height(); ++y)
    for (int x = 0; x < Got.Width(); ++x)
      if (Got.Pixel(x, y) != Wanted.Pixel(x, y)) {
        char Text[96];
        std::snprintf(Text, sizeof Text, "(%d, %d): %08X, wanted %08X", x, y, Got.Pixel(x, y),
                      Wanted.Pixel(x, y));
        return Text;
      }
  return "none";
}

BOOL CALLBACK AddChild(HWND Window, LPARAM Param) {
  auto* Text = reinterpret_cast<std::string*>(Param);
  char Line[400];
  const std::wstring Caption = TextOf(Window);
  std::snprintf(Line, sizeof Line, "%#x %ls \"%ls\" %s\n", GetDlgCtrlID(Window),
                ClassOf(Window).c_str(), Caption.c_str(), IsWindowVisible(Window) ? "" : "hidden");
  *Text += Line;
  return TRUE;
}

// The controls of a dialog, for a failure message.
std::string DescribeChildren(HWND Dialog) {
  std::string Text = "controls:\n";
  EnumChildWindows(Dialog, &AddChild, reinterpret_cast<LPARAM>(&Text));
  return Text;
}

} // namespace

TEST(HXT24Stream, ShowsSavesAndDisconnects) {
  const std::string Port = Environment("HXT24_TEST_PORT");
  const std::string Recording = Environment("HXT24_STREAM_RECORDING");
  const std::string Work = Environment("HXT24_STREAM_WORK");
  if (Port.empty() || Recording.empty() || Work.empty())
    GTEST_SKIP() << "needs the line of wine-on-pty.py --play";

  // The recording decoded here: the last frame's panels and samples.
  const std::vector<unsigned char> Bytes = ReadAll(WindowsPath(Recording));
  ASSERT_FALSE(Bytes.empty());
  TMemoryByteSource Source;
  Source.Push(Bytes.data(), Bytes.size());
  TScopeLink Link(&Source);
  while (Source.Waiting() > 0) {
    const std::size_t Before = Source.TotalRead();
    Link.ComPortRxChar(Source.Waiting());
    if (Source.TotalRead() == Before)
      break;
  }

  TClientProcess Client(L"--port " + std::wstring(Port.begin(), Port.end()));
  ASSERT_NE(Client.Main(), nullptr);
  HWND Scope = Client.Child(L"THXT24Scope");
  ASSERT_NE(Scope, nullptr);
  const SIZE Size = ClientSize(Scope);
  TScopeRenderer Renderer;
  const TPixelImage Wanted = Renderer.ScopePaint(Link.State.Samples(), Size.cx, Size.cy);

  // The whole stream has arrived when the screen shows the last frame.
  TPixelImage Shown;
  const bool Arrived = WaitUntil([&] {
    Shown = ReadBack(Scope, Size.cx, Size.cy);
    return Shown == Wanted;
  });
  EXPECT_TRUE(Arrived) << "first difference " << FirstDifference(Shown, Wanted);
  for (int i = 0; i < 10; ++i) {
    const std::string& Text = i < 7 ? Link.State.Panel(i) : std::string();
    EXPECT_EQ(Client.StatusText(i), std::wstring(Text.begin(), Text.end())) << "panel " << i;
  }

  // The picture through the toolbar's Capture button and the save dialog.
  const std::wstring Capture = WindowsPath(Work + "/capture.bmp");
  Client.PostCommand(IDM_CAPTURE);
  HWND Save = Client.WaitForDialog(L"Save As");
  ASSERT_NE(Save, nullptr);
  HWND Name = GetDlgItem(Save, 0x47C); // the file name box (cmb13)
  if (!Name)
    Name = GetDlgItem(Save, 0x480); // edt1 in the older layout
  ASSERT_NE(Name, nullptr);
  SendMessageW(Name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Capture.c_str()));
  HWND SaveButton = FindWindowExW(Save, nullptr, L"Button", L"&Save");
  ASSERT_NE(SaveButton, nullptr) << DescribeChildren(Save);
  PostMessageW(SaveButton, BM_CLICK, 0, 0);
  ASSERT_TRUE(Client.WaitForNoDialog(Save)) << DescribeChildren(Save);
  EXPECT_TRUE(WaitUntil([&] { return ReadAll(Capture).size() > 54; })) << "nothing saved";
  std::ofstream(WindowsPath(Work + "/size.txt").c_str()) << Size.cx << "x" << Size.cy << std::endl;

  // While connected Ctrl+O does nothing (a dialog would take the next key);
  // Ctrl+F4 disconnects: the flat trace; the panels keep their texts.
  Client.PressKey(Client.Main(), 'O', true);
  Client.PressKey(Client.Main(), VK_F4, true);
  TScopeSamples Flat;
  Flat.fill(127);
  const TPixelImage FlatWanted = Renderer.ScopePaint(Flat, Size.cx, Size.cy);
  const bool Flattened = WaitUntil([&] {
    Shown = ReadBack(Scope, Size.cx, Size.cy);
    return Shown == FlatWanted;
  });
  EXPECT_TRUE(Flattened) << "first difference " << FirstDifference(Shown, FlatWanted);
  EXPECT_EQ(Client.FindDialog(L"Connect"), nullptr) << "Ctrl+O connected again";
  EXPECT_EQ(Client.StatusText(1),
            std::wstring(Link.State.Panel(1).begin(), Link.State.Panel(1).end()));

  // Disconnected, Ctrl+O opens the port dialog, offering the port of --port.
  Client.PressKey(Client.Main(), 'O', true);
  HWND Dialog = Client.WaitForDialog(L"Connect");
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, IDC_CBPORT)), std::wstring(Port.begin(), Port.end()));
  PostMessageW(Dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(Client.WaitForNoDialog(Dialog));
}
