// Sound: PlaySoundW of wave files through SDL2 audio, and the device's output volume
// (the desktop sound server's default sink where there is one, else a volume kept in
// the device directory). No audio device is not an error: sounds are then silent.
#pragma once

#include "platform/win_types.h"

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_FILENAME 0x00020000

typedef UINT MMRESULT;
typedef HANDLE HWAVEOUT;
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1

// A synchronous call returns when the sound has ended on the device.
BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);
// Volume as on the phone: low word left channel, high word right; 0xFFFFFFFF is full.
MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);

namespace orven {
// Puts back the owner's volume when a previous run raised it and died before restoring
// it. Called once at start-up, before anything plays.
void restoreVolumeAfterCrash();
}  // namespace orven
