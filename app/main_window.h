// The main window procedure: creation, painting, input, commands and the orderly end.
#pragma once

#include "platform/windows.h"

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
