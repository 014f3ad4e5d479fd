// The device clock: wall time, a millisecond tick and Sleep. One clock source serves
// the whole layer; tests replace it with a virtual clock (platform/testing.h).
#pragma once

#include "platform/win_types.h"

void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);
DWORD GetTickCount();
#define INFINITE 0xFFFFFFFF

// On the GUI thread under the virtual clock, Sleep moves virtual time on instead of waiting.
// Sleep(INFINITE) never returns, and the thread is never woken again.
void Sleep(DWORD ms);
