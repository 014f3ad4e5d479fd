// Keeping the device awake: the idle-timer reset and synthesized key events, which the
// phone's power manager counts as activity. The emulated phone has no power manager
// that sleeps, so both only record what was asked (trace lines "SystemIdleTimerReset" and
// "keybd_event vk=0x10 flags=0x4"); a synthesized key is not delivered to any window.
#pragma once

#include "platform/win_types.h"

#define KEYEVENTF_EXTENDEDKEY 0x0001
#define KEYEVENTF_KEYUP 0x0002
#define KEYEVENTF_SILENT 0x0004

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, UINT_PTR extraInfo);
void SystemIdleTimerReset();
