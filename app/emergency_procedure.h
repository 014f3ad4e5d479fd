// The emergency procedure: from a tap or a button press to the alarm, as a chain of
// one-shot timers of the main window. This file holds the start-up timers (1, 11), the
// procedure's start, the position-found step and the sends (5, 55, 6, 7), the
// confirmation alarm (8) and the volume restore (111); the receiver search (1111, 2, 3,
// 4, 44) is in receiver_search.h.
#pragma once

#include "platform/windows.h"

// With a usable alert number: "Begin emergency procedure\nimmediately", cue 11 and timer
// 1111 in one second. Without one: the message box saying no alert will be sent.
void beginEmergencyProcedure(HWND window);

// Step 0 of every WM_TIMER: clockSnapshot := the device clock.
void refreshClockSnapshot();

// The timers' handlers; each stops its own timer first.
void onStartupTimer(HWND window);        // 1
void onStartupEndTimer(HWND window);     // 11
void onPositionFoundTimer(HWND window);  // 5
void onFirstSendTimer(HWND window);      // 55
void onAfterSendTimer(HWND window);      // 6
void onRepeatSendTimer(HWND window);     // 7
void onAlarmTimer(HWND window);          // 8
void onVolumeRestoreTimer(HWND window);  // 111
