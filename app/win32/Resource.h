#pragma once

// Resource and command identifiers of HXT24.exe, shared by Hxt24.rc and the
// windows (windres reads this file too: plain #defines only).

#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101

#define IDM_CONNECT 1001
#define IDM_DISCONNECT 1002
#define IDM_EXIT 1003
#define IDM_ABOUT 1004
#define IDM_CAPTURE 1101
#define IDM_SAVEPLOT 1102

// Child windows of the main window.
#define IDC_TOOLBAR 2001
#define IDC_SCOPEPANEL 2002
#define IDC_SCOPE 2003
#define IDC_STATUSBAR 2004

// Port dialog.
#define IDC_GROUPBOX 3001
#define IDC_LBLPORT 3002
#define IDC_CBPORT 3003
#define IDC_BTNOK 1
#define IDC_BTNCANCEL 3005

// About dialog.
#define IDC_LABEL1 4001
#define IDC_LBLVERSION 4002
#define IDC_BEVEL1 4003
