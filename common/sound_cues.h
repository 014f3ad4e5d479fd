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

// The cues, each with its mode. Numbers 10 and 12 to 110 are not used.
constexpr int startupCue = 1;           // sync: start-up complete (timer 11); a second start
constexpr int scanCue = 2;              // sync: a receiver search starts at COM0
constexpr int connectCue = 3;           // sync: the known receiver port is being connected
constexpr int receiverFoundCue = 4;     // sync: the receiver answered with a "$GP" sentence
constexpr int awaitingPositionCue = 5;  // async: after cue 4, then at :00 and :30 until a fix
constexpr int positionFoundCue = 6;     // async: the position is found (timer 5)
constexpr int sendingCue = 7;           // sync: an alert is about to be sent (timers 55, 7)
constexpr int sentCue = 8;              // sync: an alert has been sent (timer 6)
constexpr int alarmCue = 9;             // sync: the alert was confirmed; again every 30 s
constexpr int procedureBeginsCue = 11;  // sync: the emergency procedure begins
constexpr int closingCue = 111;         // sync: the program ends (window destroyed)

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
