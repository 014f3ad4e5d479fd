// The confirmation watcher: the radio interface's notifications of incoming messages
// and calls, matched against the alert numbers and the test number while an alert is
// pending; a match confirms the alert, closes the shell's notification window, may
// answer the call on the loudspeaker, and arms the main window's timer 8.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/windows.h"

constexpr int receivedNumberSize = 100;  // UTF-16 units of a received number, terminator included

// The radio interface handle; null until radioThread registered. Written by the radio
// thread, read by the notification thread (answer) and the GUI thread (release).
extern std::atomic<HRIL> rilHandle;
// How many confirmations the watcher has accepted. A send that was under way while one
// arrived must not schedule a retry or overwrite what the confirmation shows.
extern std::atomic<uint32_t> confirmationCount;

// Registers with the radio interface, then sleeps for the life of the process.
DWORD WINAPI radioThread(LPVOID parameter);
// The radio interface's result callback: every result is ignored.
void CALLBACK onRadioResult(DWORD code, HRESULT commandId, const void* data, DWORD size,
                            DWORD parameter);
// The radio interface's notification callback, on its notification thread.
void CALLBACK onRadioNotify(DWORD code, const void* data, DWORD size, DWORD parameter);
// Shows the last confirmation's text again: a step of another search may have written
// over it meanwhile. GUI thread.
void showConfirmationAgain();
// Destroys the first top-level window titled exactly `title`, if it is visible.
void closeWindowByTitle(LPCWSTR title);
