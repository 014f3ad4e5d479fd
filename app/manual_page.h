// The manual page that "Help (manual)" opens: the owner's manual as a full-screen,
// scrolling text, closed by its "Close" soft key, Back or the action key. It never holds
// up the emergency procedure: the main window's timers and the radio's callbacks run on
// while it is open (its modal loop dispatches them), and it closes by itself when an
// alert begins or is answered, so that the main screen shows what happens.
#pragma once

#include "platform/windows.h"

INT_PTR CALLBACK manualPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Closes the manual page if it is open (GUI thread).
void closeManualPage();
