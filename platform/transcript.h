// The transcript: what a person would see and hear on the emulated phone, one line per
// event with its time, for a phone that has no window. Each line is "HH:MM:SS what":
//
//   screen: <the application window's message, its line breaks shown as " / ">
//   cue <n>: <what the program's sound n means>
//   message box: <text>
//   COMn: opened | closed | cannot be opened
//   SMS to <number>, <k> part(s): <text>     then   SMS to <number>: sent | not sent (<why>)
//   SMS from <number>: <text>
//   call from <number> | call answered
//
// It is off unless the entry point starts it (the program runs without a window), so
// tests in-process never write one. Never included by the program.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace orven::transcript {

// Starts writing lines to `out` (flushed per line). Called once, before WinMain.
void start(FILE* out);
bool on();

// One line: the local time, a blank and the formatted text.
void line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A text on one line: each CR, LF or CR LF becomes " / ".
std::string oneLine(std::u16string_view text);

// DrawTextW drew `text` with `format` into a context of `window` (not a measurement).
void textDrawn(HWND window, std::u16string_view text, UINT format);
// EndPaint of `window`: when it is the application window and the message it shows is
// not the one last reported, reports it.
void paintEnded(HWND window);
// PlaySoundW of the file at this Linux path.
void soundPlayed(const std::string& path);

}  // namespace orven::transcript
