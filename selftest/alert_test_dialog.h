// The alert-sending test: a full-screen dialog (template 110, soft keys "Close" and
// "TEST") where the owner types a number that will answer. "TEST" plants a fixed test
// position as if the receiver had found it, puts the program in test mode and closes;
// the main window's timer 5 then sends one test message to that number, and a reply or
// call from it (or from an alert number) confirms the test.
#pragma once

#include "platform/windows.h"

// The test position, in decimal degrees: it reads N12.345677° and E123.456789°.
constexpr double testLatitude = 12.345678;
constexpr double testLongitude = 123.456789;

INT_PTR CALLBACK alertTestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
