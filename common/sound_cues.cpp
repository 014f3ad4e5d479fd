// Sound cues: playCue, savedVolume and the volume restore of timer 111.
//
// Cues come from the GUI thread and from the GPS reader thread, so the cue path is a
// local buffer of each call and the volume bookkeeping sits under one lock. The lock is
// never held while a synchronous sound plays.
//
// The owner's volume is read only while no cue of ours holds the volume raised. A cue
// that starts within 5 s of an asynchronous one would otherwise read the raised full
// volume as the owner's, and the owner's volume would be lost for good (timer 55's cue 7
// follows timer 5's asynchronous cue 6 by half a second in every alert). While raised,
// a later cue keeps the saved volume and plays at full volume as usual; the volume goes
// back when the last raise ends: the end of a synchronous cue that cut every earlier
// asynchronous cue short (one sound plays at a time), or timer 111.

#include "common/sound_cues.h"

#include <mutex>

#include "common/program.h"
#include "common/timers.h"

std::atomic<DWORD> savedVolume{0};

namespace {

constexpr DWORD fullVolume = 0xFFFFFFFF;
constexpr int cuePathSize = 520;  // characters: appFolder (260) and "sounds\<n>.wav"

std::mutex cueLock;              // guards the fields below and every read or change of the volume
int syncCuesPlaying = 0;         // synchronous cues between their raise and their end
bool asyncRaisePending = false;  // an asynchronous cue raised the volume; not yet put back
uint64_t cueSequence = 0;        // numbers the cues in the order they start
uint64_t lastAsyncCue = 0;       // number of the latest asynchronous cue

bool volumeRaised() {
    return syncCuesPlaying > 0 || asyncRaisePending;
}

// Before a cue plays, under cueLock: remember the owner's volume unless a cue of ours
// raised it, then go to full volume.
void raiseVolume() {
    DWORD current = savedVolume.load();
    const bool known = waveOutGetVolume(0, &current) == MMSYSERR_NOERROR;
    if (known && !volumeRaised()) savedVolume.store(current);
    if (current != fullVolume) waveOutSetVolume(0, fullVolume);
}

// Plays a cue whose volume bookkeeping was started under cueLock; returns its number.
uint64_t startCue(LPCWSTR path, bool asynchronous) {
    std::lock_guard hold(cueLock);
    raiseVolume();
    const uint64_t sequence = ++cueSequence;
    if (!asynchronous) {
        ++syncCuesPlaying;
        return sequence;
    }
    // An asynchronous play returns at once; making it under the lock keeps the order of
    // the plays the order of their numbers.
    lastAsyncCue = sequence;
    asyncRaisePending = true;
    PlaySoundW(path, nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC);
    SetTimer(mainWindow, volumeRestoreTimer, volumeRestoreDelayMs, nullptr);
    return sequence;
}

void endSyncCue(uint64_t sequence) {
    std::lock_guard hold(cueLock);
    --syncCuesPlaying;
    // This sound stopped every asynchronous one started before it.
    if (lastAsyncCue < sequence) asyncRaisePending = false;
    if (!volumeRaised()) waveOutSetVolume(0, savedVolume.load());
}

}  // namespace

bool playCue(int n, bool asynchronous) {
    WCHAR path[cuePathSize];
    wsprintfW(path, u"%ssounds\\%d.wav", appFolder, n);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    const uint64_t sequence = startCue(path, asynchronous);
    if (!asynchronous) {
        PlaySoundW(path, nullptr, SND_FILENAME | SND_NODEFAULT);
        endSyncCue(sequence);
    }
    FindClose(search);
    return true;
}

void readSavedVolume() {
    std::lock_guard hold(cueLock);
    DWORD volume = 0;
    if (!volumeRaised() && waveOutGetVolume(0, &volume) == MMSYSERR_NOERROR)
        savedVolume.store(volume);
}

void restoreSavedVolume() {
    std::lock_guard hold(cueLock);
    asyncRaisePending = false;
    if (syncCuesPlaying == 0) waveOutSetVolume(0, savedVolume.load());
}
