// The alert message: its text, made from the last position fix and the owner's
// details, and its sending by SMS to the alert numbers (or, during an alert-sending
// test, to the test number), through one handle of the phone's SMS library.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/windows.h"

constexpr int alertTextSize = 160;  // UTF-16 units of the alert text, terminator included
constexpr int testNumberSize = 16;  // UTF-16 units of the test number, terminator included

// Successful sends since the last confirmation; 0: no alert pending. Raised by sendAlert
// and zeroed by the main window's timer 8 (GUI thread); read by the radio notification
// thread.
extern std::atomic<uint32_t> alertsSent;
// The open SMS handle, 0 when none is open. GUI thread only (sendAlert, window destroy).
extern SMS_HANDLE smsHandle;
// 0 normally, 2 while an alert-sending test is under way. Set by the test (GUI thread),
// cleared by a confirmation (radio notification thread).
extern std::atomic<int32_t> testMode;
// The number a test alert goes to. Written only on the GUI thread, through
// setTestNumber; the GUI thread may read it directly, other threads use copyTestNumber.
extern WCHAR testNumber[testNumberSize];
void setTestNumber(LPCWSTR number);
void copyTestNumber(WCHAR number[testNumberSize]);

// The alert text for the current fix and settings (at most 159 characters: a name
// that would make it longer is cut). Returns its length.
int composeAlertText(WCHAR text[alertTextSize]);

// Sends the alert once to each target (the test number while testMode is set, otherwise
// the alert numbers of 3 or more characters). True when every SMS call succeeded: then
// alertsSent is raised and the status text says so. GUI thread.
bool sendAlert();
