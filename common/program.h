// The records every part of the program uses to reach the program itself: its module
// handle, its folder and its main window. Start-up fills them; everything else reads.
#pragma once

#include "platform/windows.h"

extern HINSTANCE appInstance;          // module handle for every resource load
extern WCHAR appFolder[MAX_PATH];      // folder of the executable, ending in a backslash
extern HWND mainWindow;                // set once the main window is created and shown
extern const WCHAR mainClassName[];    // "ZURVCLASS_ORVEN"
extern const WCHAR mainWindowTitle[];  // "ZURV: ORVEN™"

// The platform's form of a window handle that also brings its owned windows forward
// (a message box or dialog the window owns comes up with it).
inline HWND withOwnedWindows(HWND window) {
    return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(window) | 1);
}
