// Sound cues: numbered wave files in the folder "sounds" beside the executable, played
// at full volume so that an owner who cannot look at the screen hears each step; the
// owner's volume is put back afterwards.
#pragma once

#include <atomic>

#include "platform/windows.h"

// The owner's output volume, put back after a cue (0xFFFFFFFF is full on both channels).
// Written under the cue lock by the GUI thread and the GPS reader thread (readSavedVolume,
// playCue); read by anyone.
extern std::atomic<DWORD> savedVolume;

// Plays cue n ("%ssounds\%d.wav" in appFolder). A synchronous cue returns when the sound
// has ended and puts the volume back at once; an asynchronous one arms timer 111 of
// mainWindow to put it back 5 s later. False, with the volume untouched, when the file
// does not exist. Safe to call from any thread.
bool playCue(int n, bool asynchronous);

// savedVolume := the output volume (window creation). Ignored while a cue holds the
// volume raised: what it would read then is the cue's full volume, not the owner's.
void readSavedVolume();

// Timer 111, after its KillTimer: puts savedVolume back, ending the raise of the last
// asynchronous cue (deferred to the end of a synchronous cue still playing).
void restoreSavedVolume();
