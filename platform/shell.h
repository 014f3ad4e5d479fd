// The phone's shell library: full-screen control, and (with the main screen) the
// menu bar, the input panel and the tray icon.
#pragma once

#include "platform/win_types.h"

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

BOOL SHFullScreen(HWND hwnd, DWORD state);
