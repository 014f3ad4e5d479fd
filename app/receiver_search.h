// The receiver search of the emergency procedure: the main window's timers 1111 (the
// procedure starts), 2 (one step of the port scan), 3 (check of the saved port), 4
// (receiver lost) and 44 (position missed), and the steps they share.
//
// The scan tries "COM0:" to "COM9:" in turn. A port that opens has 7.5 s to deliver a
// sentence holding "$GP"; after a port that does not open the next one follows 500 ms
// later, and between two ports the GUI thread pauses 500 ms. The reader thread normally
// finds the receiver first: it stops timers 2 and 3 itself and saves the port.
#pragma once

#include "platform/windows.h"

// Opens "COM%d:" with gpsPortNumber and arms checkTimer (2 or 3) for 7.5 s; when the
// port does not open, closes the link and arms timer 2 for 500 ms.
void tryGpsPort(HWND window, UINT_PTR checkTimer);
// Cue 2, then the scan from "COM0:".
void scanFromFirstPort(HWND window);

// Ends the emergency procedure's search where it stands, once help has answered: its
// timers, the position still to be announced, and the port. A receiver test's search
// is its own and goes on.
void endAlertSearch(HWND window);

// The timers' handlers; each stops its own timer first.
void onProcedureStartTimer(HWND window);  // 1111
void onScanTimer(HWND window);            // 2
void onKnownPortTimer(HWND window);       // 3
void onReceiverLostTimer(HWND window);    // 4, not while a GPS test holds the link
void onPositionMissedTimer(HWND window);  // 44, likewise
