// The GPS receiver test: a full-screen dialog (template 111, soft keys "Close" and
// "TEST") that runs the receiver search on its own timers, shows each step in its status
// line and shows the position it finds. It sends nothing: a position found here is only
// shown, on the main screen too.
//
// The dialog's own timers: 1 watches for the position every second, 2 checks the port
// the search is trying, 3 checks the remembered port. The GPS reader stops only the main
// window's timers 2 and 3, so the dialog stops its own once it sees the receiver.
#pragma once

#include "platform/windows.h"

// Set when a test starts; cleared when it finds a position and when the dialog opens.
// With no receiver known (gpsPortNumber below 0) it turns the status line red. GUI thread.
extern int32_t gpsTestRunning;

// Whether the open port is a running test's own: from its start until it finds the
// position, is closed, or the emergency procedure takes the receiver over. The main
// window's watchdogs (receiver lost, position missed) leave such a link alone: the test
// has no time limit and shows what the receiver does. GUI thread.
bool gpsTestHoldsLink();

INT_PTR CALLBACK gpsTestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
