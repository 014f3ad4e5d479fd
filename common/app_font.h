// The program's one font operation, shared by the main screen and the dialogs.
#pragma once

#include "platform/windows.h"

// A font of the program's face for this platform ("Tahoma" on Pocket PC, "Segoe
// Condensed" on Smartphone 5 and later, "Nina" before): height is the character cell
// in pixels; style 1 underlines, 2 strikes out, 3 is italic. The caller deletes it.
HFONT createAppFont(int height, BOOL bold, int style, BOOL clearType);
