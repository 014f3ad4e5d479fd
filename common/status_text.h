// The main screen's status message. Written by the GUI thread, the GPS reader thread
// and the radio notification thread; read by the painter. Every write replaces the
// whole text under a lock and then asks the main window for a repaint, so a reader
// never sees half of one text and half of another.
#pragma once

#include "platform/windows.h"

constexpr int statusTextSize = 260;  // characters, terminator included

// Replaces the status text (cut to 259 characters) and invalidates mainWindow.
void setStatusText(LPCWSTR text);
// Formats with wsprintfW and then sets it, as one step.
void formatStatusText(LPCWSTR format, ...);
// Copies the current text into buffer (statusTextSize characters).
void copyStatusText(WCHAR buffer[statusTextSize]);
