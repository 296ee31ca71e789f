#include "app/win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "app/win32/AboutDlg.h"
#include "app/win32/PortDlg.h"
#include "app/win32/Resource.h"
#include "app/win32/ToolbarImages.h"
#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "base/Format.h"
#include "base/Thread.h"

namespace {

constexpr wchar_t MainClass[] = L"THXT24MainForm";
constexpr wchar_t PanelClass[] = L"THXT24ScopePanel";
constexpr wchar_t ScopeClass[] = L"THXT24Scope";

// Posted by the port's event thread (through the thread handoff's wake hook):
// the loop runs the calls handed to the main thread.
constexpr UINT WM_HXT24_SYNCHRONIZE = WM_APP + 1;
// Posted once at start-up when the command line names a port.
constexpr UINT WM_HXT24_START_CONNECT = WM_APP + 2;

TMainWindow* WindowOf(HWND Window) {
  return reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

void RegisterClasses(HINSTANCE Instance, WNDPROC Main, WNDPROC Panel, WNDPROC Scope) {
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof Class;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);

  Class.lpfnWndProc = Main;
  Class.lpszClassName = MainClass;
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&Class);

  Class.lpfnWndProc = Panel;
  Class.lpszClassName = PanelClass;
  Class.hIcon = nullptr;
  RegisterClassExW(&Class);

  // No background brush: the scope's picture covers every pixel, so nothing
  // is erased first (no flicker).
  Class.lpfnWndProc = Scope;
  Class.lpszClassName = ScopeClass;
  Class.hbrBackground = nullptr;
  RegisterClassExW(&Class);
}

int MenuId(TMainCommand Command) {
  return Command == TMainCommand::mcConnect ? IDM_CONNECT : IDM_DISCONNECT;
}

std::wstring LastErrorText(const char* What) {
  return Widen(Format("%s failed (error %d)", {What, static_cast<int>(GetLastError())}));
}

} // namespace

std::wstring Widen(const std::string& Text) {
  if (Text.empty())
    return {};
  const int Size =
      MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Wide(static_cast<std::size_t>(Size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Wide.data(), Size);
  return Wide;
}

std::string Narrow(const std::wstring& Text) {
  if (Text.empty())
    return {};
  const int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<std::size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size,
                      nullptr, nullptr);
  return Result;
}

int WindowDpi(HWND Window) {
  // GetDpiForWindow exists from Windows 10 1607 on; looked up at run time.
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto GetDpi = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (GetDpi && Window) {
    const UINT Dpi = GetDpi(Window);
    if (Dpi > 0)
      return static_cast<int>(Dpi);
  }
  HDC Screen = GetDC(nullptr);
  const int Dpi = Screen ? GetDeviceCaps(Screen, LOGPIXELSY) : 96;
  if (Screen)
    ReleaseDC(nullptr, Screen);
  return Dpi > 0 ? Dpi : 96;
}

HFONT CreateFormFont(int Dpi, bool Bold) {
  LOGFONTW Font{};
  Font.lfHeight = -MulDiv(8, Dpi, 72);
  Font.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  Font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(Font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  return CreateFontIndirectW(&Font);
}

TMainWindow::TMainWindow(HINSTANCE Instance, const std::array<int, PanelCount>& PanelWidths)
    : FInstance(Instance), FPanelWidths(PanelWidths) {
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&Controls);
  RegisterClasses(Instance, &MainProc, &PanelProc, &ScopeProc);

  FMenu = LoadMenuW(Instance, MAKEINTRESOURCEW(IDR_MAINMENU));
  FAccelerators = LoadAcceleratorsW(Instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  if (!FMenu || !FAccelerators)
    throw Exception(Narrow(LastErrorText("Loading the menu resources")));
  FHandle =
      CreateWindowExW(0, MainClass, L"HXT24", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                      CW_USEDEFAULT, DesignedWidth, DesignedHeight, nullptr, FMenu, Instance, this);
  if (!FHandle) {
    DestroyMenu(FMenu);
    throw Exception(Narrow(LastErrorText("Creating the main window")));
  }
  // Queued handoffs of the port's event thread reach the loop as a posted
  // message; the loop sleeps in GetMessage otherwise (no timer, no polling).
  HWND Target = FHandle;
  SetWakeMainThread([Target] { PostMessageW(Target, WM_HXT24_SYNCHRONIZE, 0, 0); });
}

TMainWindow::~TMainWindow() {
  SetWakeMainThread(nullptr);
  FAboutDialog.reset();
  FPortDialog.reset();
  if (FHandle)
    DestroyWindow(FHandle);
  if (FImages)
    ImageList_Destroy(FImages);
  if (FFont)
    DeleteObject(FFont);
}

void TMainWindow::CreateDialogs() {
  FPortDialog = std::make_unique<TPortDialog>(FInstance, FHandle);
  FAboutDialog = std::make_unique<TAboutDialog>(FInstance, FHandle);
}

void TMainWindow::CreateChildren() {
  FFont = CreateFormFont(WindowDpi(FHandle));
  SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  CreateToolBar();
  FScopePanel =
      CreateWindowExW(0, PanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                      FHandle, reinterpret_cast<HMENU>(IDC_SCOPEPANEL), FInstance, this);
  FScope = CreateWindowExW(0, ScopeClass, L"", WS_CHILD | WS_VISIBLE, 1, 1, 0, 0, FScopePanel,
                           reinterpret_cast<HMENU>(IDC_SCOPE), FInstance, this);
  CreateStatusBar();
  LayoutChildren();
}

void TMainWindow::CreateToolBar() {
  FToolBar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                 CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                             0, 0, 0, ToolBarHeight, FHandle, reinterpret_cast<HMENU>(IDC_TOOLBAR),
                             FInstance, nullptr);
  SendMessageW(FToolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  FImages = ImageList_Create(16, 16, ILC_COLOR32, 2, 0);
  AddToolbarImages(FImages);
  SendMessageW(FToolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(FImages));
  SendMessageW(FToolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(23, 22));
  TBBUTTON Buttons[2]{};
  Buttons[0].iBitmap = 0;
  Buttons[0].idCommand = IDM_CAPTURE;
  Buttons[0].fsState = TBSTATE_ENABLED;
  Buttons[0].fsStyle = BTNS_BUTTON;
  Buttons[1].iBitmap = 1;
  Buttons[1].idCommand = IDM_SAVEPLOT;
  Buttons[1].fsState = TBSTATE_ENABLED;
  Buttons[1].fsStyle = BTNS_BUTTON;
  SendMessageW(FToolBar, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(Buttons));
}

void TMainWindow::CreateStatusBar() {
  // The status bar keeps its designed height: positioned by the window, not
  // by its own font.
  FStatusBar = CreateWindowExW(
      0, STATUSCLASSNAMEW, L"",
      WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 0, 0,
      StatusBarHeight, FHandle, reinterpret_cast<HMENU>(IDC_STATUSBAR), FInstance, nullptr);
  SendMessageW(FStatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  int Edges[PanelCount];
  int Right = 0;
  for (int i = 0; i < PanelCount; ++i) {
    Right += FPanelWidths[static_cast<std::size_t>(i)];
    Edges[i] = Right;
  }
  SendMessageW(FStatusBar, SB_SETPARTS, PanelCount, reinterpret_cast<LPARAM>(Edges));
}

void TMainWindow::LayoutChildren() {
  if (!FStatusBar)
    return;
  RECT Client;
  GetClientRect(FHandle, &Client);
  const int Width = Client.right;
  const int Height = Client.bottom;
  MoveWindow(FToolBar, 0, 0, Width, ToolBarHeight, TRUE);
  const int PanelHeight = std::max(0, Height - ToolBarHeight - StatusBarHeight);
  MoveWindow(FScopePanel, 0, ToolBarHeight, Width, PanelHeight, TRUE);
  MoveWindow(FStatusBar, 0, Height - StatusBarHeight, Width, StatusBarHeight, TRUE);
  // The paint box fills the panel inside its one-pixel lowered bevel.
  MoveWindow(FScope, 1, 1, std::max(0, Width - 2), std::max(0, PanelHeight - 2), FALSE);
  InvalidateRect(FScopePanel, nullptr, FALSE);
}

void TMainWindow::ShowCentred(int ShowCommand) {
  if (!FShown) {
    RECT Work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    RECT Frame;
    GetWindowRect(FHandle, &Frame);
    const int Width = Frame.right - Frame.left;
    const int Height = Frame.bottom - Frame.top;
    SetWindowPos(FHandle, nullptr, Work.left + (Work.right - Work.left - Width) / 2,
                 Work.top + (Work.bottom - Work.top - Height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    FShown = true;
  }
  ShowWindow(FHandle, ShowCommand);
  UpdateWindow(FHandle);
}

void TMainWindow::PostStartConnect() {
  PostMessageW(FHandle, WM_HXT24_START_CONNECT, 0, 0);
}

int TMainWindow::RunMessageLoop() {
  MSG Message;
  BOOL Result;
  while ((Result = GetMessageW(&Message, nullptr, 0, 0)) != 0) {
    if (Result == -1)
      return 1;
    // The accelerators belong to the main window; a modal dialog runs a loop
    // of its own, so they never fire while one is open.
    if (FHandle && (Message.hwnd == FHandle || IsChild(FHandle, Message.hwnd)) &&
        TranslateAcceleratorW(FHandle, FAccelerators, &Message))
      continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return static_cast<int>(Message.wParam);
}

void TMainWindow::Run(const std::function<void()>& Handler) {
  // The exception stops here: the MinGW unwinder cannot pass through the
  // system's frames between the window procedure and the message loop.
  try {
    if (Handler)
      Handler();
  } catch (const std::exception& E) {
    ShowException(E);
  } catch (...) {
    ShowException(Exception("Unknown error"));
  }
}

bool TMainWindow::CommandEnabled(int Id) const {
  const UINT State = GetMenuState(FMenu, static_cast<UINT>(Id), MF_BYCOMMAND);
  return State != static_cast<UINT>(-1) && !(State & (MF_GRAYED | MF_DISABLED));
}

void TMainWindow::Command(int Id) {
  switch (Id) {
  case IDM_CONNECT:
    if (CommandEnabled(IDM_CONNECT))
      Run(FHandlers.itConnectClick);
    break;
  case IDM_DISCONNECT:
    if (CommandEnabled(IDM_DISCONNECT))
      Run(FHandlers.itDisconnectClick);
    break;
  case IDM_EXIT:
    Run(FHandlers.itExitClick);
    break;
  case IDM_ABOUT:
    Run(FHandlers.itAboutClick);
    break;
  case IDM_CAPTURE:
    Run(FHandlers.tbbCaptureClick);
    break;
  case IDM_SAVEPLOT:
    Run(FHandlers.tbSavePlotClick);
    break;
  default:
    break;
  }
}

LRESULT CALLBACK TMainWindow::MainProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(L);
    auto* Self = static_cast<TMainWindow*>(Create->lpCreateParams);
    Self->FHandle = Window;
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Self));
  }
  TMainWindow* Self = WindowOf(Window);
  if (!Self)
    return DefWindowProcW(Window, Message, W, L);
  return Self->HandleMain(Message, W, L);
}

LRESULT TMainWindow::HandleMain(UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
  case WM_CREATE:
    try {
      CreateChildren();
    } catch (const std::exception& E) {
      ShowException(E);
      return -1;
    }
    return 0;
  case WM_SIZE:
    LayoutChildren();
    Run(FHandlers.ScopeResize);
    return 0;
  case WM_COMMAND:
    Command(LOWORD(W));
    return 0;
  case WM_GETMINMAXINFO: {
    auto* Limits = reinterpret_cast<MINMAXINFO*>(L);
    Limits->ptMinTrackSize.x = std::max<LONG>(Limits->ptMinTrackSize.x, FMinWidth);
    Limits->ptMinTrackSize.y = std::max<LONG>(Limits->ptMinTrackSize.y, FMinHeight);
    return 0;
  }
  case WM_NOTIFY: {
    auto* Header = reinterpret_cast<NMHDR*>(L);
    if (Header->code == TTN_GETDISPINFOW) {
      auto* Info = reinterpret_cast<NMTTDISPINFOW*>(L);
      if (Header->idFrom == IDM_CAPTURE)
        Info->lpszText = const_cast<wchar_t*>(L"Save to bitmap");
      else if (Header->idFrom == IDM_SAVEPLOT)
        Info->lpszText = const_cast<wchar_t*>(L"Save plot values");
      return 0;
    }
    break;
  }
  case WM_HXT24_SYNCHRONIZE:
    Run([] { CheckSynchronize(); });
    return 0;
  case WM_HXT24_START_CONNECT:
    Run(FHandlers.StartConnect);
    return 0;
  case WM_DPICHANGED: {
    const auto* Suggested = reinterpret_cast<const RECT*>(L);
    HFONT Old = FFont;
    FFont = CreateFormFont(HIWORD(W));
    SendMessageW(FStatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
    DeleteObject(Old);
    SetWindowPos(FHandle, nullptr, Suggested->left, Suggested->top,
                 Suggested->right - Suggested->left, Suggested->bottom - Suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  case WM_CLOSE:
    // Not while a modal dialog runs (the window is disabled then): the core
    // is inside the command that showed it.
    if (IsWindowEnabled(FHandle))
      DestroyWindow(FHandle);
    return 0;
  case WM_DESTROY:
    // The core closes its port and goes while the window is still here; the
    // thread handoff's wake-up no longer has a window to post to.
    {
      // No command reaches the core from here on; then it goes.
      const TMainWindowHandlers Last = std::move(FHandlers);
      FHandlers = {};
      Run(Last.FormDestroy);
    }
    SetWakeMainThread(nullptr);
    PostQuitMessage(0);
    return 0;
  case WM_NCDESTROY:
    SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
    FHandle = nullptr;
    FToolBar = FScopePanel = FScope = FStatusBar = nullptr;
    return 0;
  default:
    break;
  }
  return DefWindowProcW(FHandle, Message, W, L);
}

LRESULT CALLBACK TMainWindow::PanelProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
  case WM_PAINT: {
    // The lowered outer bevel: one pixel, shadow at top left, light at bottom
    // right; the paint box covers the rest.
    PAINTSTRUCT Paint;
    HDC Context = BeginPaint(Window, &Paint);
    RECT Client;
    GetClientRect(Window, &Client);
    DrawEdge(Context, &Client, BDR_SUNKENOUTER, BF_RECT);
    EndPaint(Window, &Paint);
    return 0;
  }
  case WM_ERASEBKGND:
    return 1;
  default:
    return DefWindowProcW(Window, Message, W, L);
  }
}

LRESULT CALLBACK TMainWindow::ScopeProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(L);
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  switch (Message) {
  case WM_ERASEBKGND:
    return 1;
  case WM_PAINT: {
    PAINTSTRUCT Paint;
    HDC Context = BeginPaint(Window, &Paint);
    if (TMainWindow* Self = WindowOf(Window))
      Self->BlitScope(Context);
    EndPaint(Window, &Paint);
    return 0;
  }
  default:
    return DefWindowProcW(Window, Message, W, L);
  }
}

int TMainWindow::ScopeScale() const {
  return std::max(1, WindowDpi(FHandle) / 96);
}

void TMainWindow::BlitScope(HDC Context) const {
  if (FPicture.IsEmpty())
    return;
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = FPicture.Width();
  Info.bmiHeader.biHeight = -FPicture.Height(); // rows top-down, as the picture holds them
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  const int Scale = ScopeScale();
  if (Scale == 1)
    SetDIBitsToDevice(Context, 0, 0, static_cast<DWORD>(FPicture.Width()),
                      static_cast<DWORD>(FPicture.Height()), 0, 0, 0,
                      static_cast<UINT>(FPicture.Height()), FPicture.Bits(), &Info, DIB_RGB_COLORS);
  else
    StretchDIBits(Context, 0, 0, FPicture.Width() * Scale, FPicture.Height() * Scale, 0, 0,
                  FPicture.Width(), FPicture.Height(), FPicture.Bits(), &Info, DIB_RGB_COLORS,
                  SRCCOPY);
}

void TMainWindow::SetCommandEnabled(TMainCommand Command, bool Enabled) {
  EnableMenuItem(FMenu, static_cast<UINT>(MenuId(Command)),
                 MF_BYCOMMAND | (Enabled ? MF_ENABLED : MF_GRAYED));
}

void TMainWindow::SetPanelText(int Index, const std::string& Text) {
  if (Index < 0 || Index >= PanelCount || !FStatusBar)
    return;
  const std::wstring Wide = Widen(Text);
  SendMessageW(FStatusBar, SB_SETTEXTW, static_cast<WPARAM>(Index),
               reinterpret_cast<LPARAM>(Wide.c_str()));
}

void TMainWindow::RepaintScope() {
  if (OnScopePicture)
    FPicture = OnScopePicture();
  if (!FScope)
    return;
  // Drawn now, not at the next WM_PAINT: the caller expects it on the screen.
  HDC Context = GetDC(FScope);
  if (Context) {
    BlitScope(Context);
    ReleaseDC(FScope, Context);
  }
  ValidateRect(FScope, nullptr);
}

int TMainWindow::ScopeWidth() const {
  RECT Client{};
  if (FScope)
    GetClientRect(FScope, &Client);
  return Client.right / ScopeScale();
}

int TMainWindow::ScopeHeight() const {
  RECT Client{};
  if (FScope)
    GetClientRect(FScope, &Client);
  return Client.bottom / ScopeScale();
}

int TMainWindow::WindowWidth() const {
  RECT Frame{};
  GetWindowRect(FHandle, &Frame);
  return Frame.right - Frame.left;
}

int TMainWindow::WindowHeight() const {
  RECT Frame{};
  GetWindowRect(FHandle, &Frame);
  return Frame.bottom - Frame.top;
}

void TMainWindow::SetWindowSize(int Width, int Height) {
  // Kept within the screen's free area.
  RECT Work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
  Width = std::min(Width, static_cast<int>(Work.right - Work.left));
  Height = std::min(Height, static_cast<int>(Work.bottom - Work.top));
  SetWindowPos(FHandle, nullptr, 0, 0, Width, Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TMainWindow::AskPortName(std::string& PortName) {
  return FPortDialog->ShowModal(PortName);
}

std::string TMainWindow::AskSaveFileName(const TSaveRequest& Request) {
  // The filter: "Description|pattern" pairs; a description alone takes its
  // pattern from the parentheses ("Bitmap (*.bmp)" offers *.bmp).
  std::wstring Filter;
  const std::wstring Given = Widen(Request.Filter);
  if (Given.find(L'|') != std::wstring::npos) {
    Filter = Given;
  } else {
    const auto Open = Given.find(L'(');
    const auto Close = Given.find(L')', Open == std::wstring::npos ? 0 : Open);
    const std::wstring Pattern = Open != std::wstring::npos && Close != std::wstring::npos
                                     ? Given.substr(Open + 1, Close - Open - 1)
                                     : L"*.*";
    Filter = Given + L'|' + Pattern;
  }
  std::replace(Filter.begin(), Filter.end(), L'|', L'\0');
  Filter.append(2, L'\0');

  std::vector<wchar_t> Name(32768, L'\0');
  const std::wstring Proposed = Widen(Request.FileName);
  std::copy_n(Proposed.begin(), std::min(Proposed.size(), Name.size() - 1), Name.begin());
  const std::wstring DefaultExt = Widen(Request.DefaultExt);
  std::wstring Folder = Widen(Request.InitialDir);
  std::replace(Folder.begin(), Folder.end(), L'/', L'\\');

  OPENFILENAMEW Dialog{};
  Dialog.lStructSize = sizeof Dialog;
  Dialog.hwndOwner = FHandle;
  Dialog.lpstrFilter = Filter.c_str();
  Dialog.nFilterIndex = 1;
  Dialog.lpstrFile = Name.data();
  Dialog.nMaxFile = static_cast<DWORD>(Name.size());
  Dialog.lpstrInitialDir = Folder.empty() ? nullptr : Folder.c_str();
  Dialog.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  // No question before an existing file is replaced.
  Dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&Dialog)) {
    const DWORD Error = CommDlgExtendedError();
    if (Error != 0)
      throw Exception(Format("The save dialog failed (error %d)", {static_cast<int>(Error)}));
    return {};
  }
  return Narrow(Name.data());
}

std::string TMainWindow::UserFolder(TUserFolder Folder) const {
  PWSTR Path = nullptr;
  const KNOWNFOLDERID& Id = Folder == TUserFolder::ufPictures    ? FOLDERID_Pictures
                            : Folder == TUserFolder::ufDocuments ? FOLDERID_Documents
                                                                 : FOLDERID_Profile;
  std::string Result;
  if (SUCCEEDED(SHGetKnownFolderPath(Id, 0, nullptr, &Path)) && Path)
    Result = Narrow(Path);
  CoTaskMemFree(Path);
  return Result;
}

void TMainWindow::ShowAbout() {
  FAboutDialog->ShowModal();
}

void TMainWindow::CloseMainWindow() {
  // Posted: the command that asks for it (Exit) returns first, then the
  // window goes and the core with it.
  PostMessageW(FHandle, WM_CLOSE, 0, 0);
}
