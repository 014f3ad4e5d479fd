// Start-up and single instance: the program's entry point. The records it fills
// (instance, folder, main window) are in common/program.h.
#pragma once

#include "common/program.h"
#include "platform/windows.h"

extern DWORD launchedWithAlert;  // 1 when the command line asked for an alert

void fillAppFolder();
ATOM registerMainClass(HINSTANCE instance, LPCWSTR className);
bool startInstance(HINSTANCE instance, int showCommand, LPCWSTR commandLine);
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
