// The main window procedure: creation, painting, input, commands and the orderly end.
#pragma once

#include "platform/windows.h"

extern HWND menuBar;                      // the soft-key bar (shrunk to nothing; keys still work)
extern HICON trayIcon;                    // shown by the shell while the window is hidden
extern SHACTIVATEINFO shellActivateInfo;  // the shell's activation record
extern DWORD hiddenByUser;                // 1 after "Hide (minimize)": no pulling to the front

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
