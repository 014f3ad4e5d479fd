// The three settings dialogs, opened modally by the main window's menu: owner details
// (template 109), alert numbers (106) and hardware keys (107). Each edits appSettings
// and saves it on SAVE.
#pragma once

#include "platform/windows.h"

INT_PTR CALLBACK ownerDetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK alertNumbersDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// SAVE here also closes the program (the button's first press then tests it).
INT_PTR CALLBACK hardwareKeysDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
