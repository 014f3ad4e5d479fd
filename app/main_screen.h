// The main screen: the skin, the bottom bar with "Alert now!" and "Menu", the status
// band and the receiver diagnostics; the owner-drawn "Exit" item of the main menu.
#pragma once

#include "common/app_font.h"
#include "platform/windows.h"

// Bitmap resource 105, loaded when the main window is created; null leaves the skin
// undrawn.
extern HBITMAP skinBitmap;

// The WM_PAINT handler of the main window.
void paintMainScreen(HWND window);

// The WM_MEASUREITEM answer for the exit item: 88 pixels wide, one menu row high.
void measureExitItem(HWND window, MEASUREITEMSTRUCT* item);

// The WM_DRAWITEM handler: the exit item, white on red when selected, red on white
// otherwise.
void drawExitItem(const DRAWITEMSTRUCT* item);

// Height of the bottom bar for a screen (or client area) this wide: 26, or 22 below 240.
int bottomBarHeight(int width);
