// The shell's notification windows for incoming messages and calls, as the phone's shell
// shows them: real top-level windows of the window manager, so that EnumWindows,
// GetWindowTextW, IsWindowVisible and DestroyWindow work on them from any thread.
// Called by the radio layer on its notification thread, before the program hears of the
// event. Never included by the program.
#pragma once

#include <string>

namespace orven::shell {

// "New SMS message" (major version 5 or more) or "New text message": one bubble at the
// top of the screen, showing the newest sender; a tap dismisses it.
void showNewMessage(const std::u16string& sender, const std::u16string& text);
// "Phone - Incoming..." on a Pocket PC (the Smartphone shell shows its call screen
// another way); it stays until the call is answered or ends.
void showIncomingCall(const std::u16string& number);
void endIncomingCall();

}  // namespace orven::shell
