// The phone's two loudspeaker switches: the operating-system services library
// "\windows\ossvcs.dll" (LoadLibraryW, GetProcAddressW by ordinal, FreeLibrary; entry 217
// reads the loudspeaker state into a 32-bit word, entry 218 sets it) and the wave
// driver "WAV1:" (CreateFileW, then DeviceIoControl 0x001D000C with the wave message
// 102 turns the loudspeaker on).
//
// On Linux both send the modem the command the device registry names (HKEY_LOCAL_MACHINE
// "Drivers\Modem", "Loudspeaker command"; the default modem's own when the registry
// names no modem), without waiting for its answer, and trace what they did.
#pragma once

#include "platform/win_types.h"

// An entry of a library, cast to its own type before the call. (The phone declares it
// returning int; "void()" is the one function type every other may be cast from and to.)
typedef void(WINAPI* FARPROC)();

// ---- Libraries: only "\windows\ossvcs.dll" is known; other names give null with
// ERROR_MOD_NOT_FOUND. Entries are looked up by ordinal (MAKEINTRESOURCEW(n)); names and
// unknown ordinals give null with ERROR_PROC_NOT_FOUND.
HMODULE LoadLibraryW(LPCWSTR fileName);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName);
BOOL FreeLibrary(HMODULE module);

#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif
#ifndef ERROR_PROC_NOT_FOUND
#define ERROR_PROC_NOT_FOUND 127L
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif

// The entries' shapes.
typedef DWORD(WINAPI* LoudspeakerQueryProc)(DWORD* state);  // ordinal 217
typedef DWORD(WINAPI* LoudspeakerSetProc)(DWORD on);        // ordinal 218

// Device I/O control codes: CTL_CODE(device type, function, method, access).
#define CTL_CODE(type, function, method, access) \
    (((type) << 16) | ((access) << 14) | ((function) << 2) | (method))
#define FILE_DEVICE_SOUND 0x0000001D
#define METHOD_BUFFERED 0
#define FILE_ANY_ACCESS 0
#define IOCTL_WAV_MESSAGE CTL_CODE(FILE_DEVICE_SOUND, 3, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define WAV_MESSAGE_LOUDSPEAKER_ON 102  // the wave driver's message that routes sound out loud

// ---- DeviceIoControl of "WAV1:": IOCTL_WAV_MESSAGE with an input block of five 32-bit
// words {device, message, user, parameter 1, parameter 2}; message 102 turns the
// loudspeaker on. Other handles and codes fail with ERROR_NOT_SUPPORTED.
BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                     LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, void* overlapped);

namespace orven {
// CreateFileW's way to the devices that are not serial ports: "WAV1:" (also "WAV1").
// Returns INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND for other names.
HANDLE openSpecialDevice(LPCWSTR name, DWORD access);

// What the loudspeaker switches did, for tests: how often each turned it on.
struct LoudspeakerCounts {
    int ossvcsOn = 0;
    int waveOn = 0;
};
LoudspeakerCounts loudspeakerCounts();
}  // namespace orven
