// Start-up and single instance: the program's entry point and the records every
// other area uses to reach the main window.
#pragma once

#include "platform/windows.h"

extern HINSTANCE appInstance;     // module handle for every resource load
extern WCHAR appFolder[MAX_PATH]; // folder of the executable, ending in a backslash
extern DWORD launchedWithAlert;   // 1 when the command line asked for an alert
extern HWND mainWindow;           // set once the main window is created and shown

extern const WCHAR mainClassName[];  // "ZURVCLASS_ORVEN"
extern const WCHAR mainWindowTitle[]; // "ZURV: ORVEN™"

void fillAppFolder();
ATOM registerMainClass(HINSTANCE instance, LPCWSTR className);
bool startInstance(HINSTANCE instance, int showCommand, LPCWSTR commandLine);
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
