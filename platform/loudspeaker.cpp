// The loudspeaker switches: the one library the layer knows ("\windows\ossvcs.dll" with
// its entries 217 and 218) and the wave driver "WAV1:" with its DeviceIoControl. Both end
// in the modem's loudspeaker command, queued without waiting (a radio callback calls
// them and must not stall); with ModemManager's modem, in callaudiod's loudspeaker.
// Relies on modem.cpp, modemmanager.cpp and the handle table.
#include "platform/loudspeaker.h"

#include <atomic>
#include <memory>

#include "platform/internal.h"
#include "platform/modem.h"
#include "platform/modemmanager.h"
#include "platform/text.h"
#include "platform/threads.h"

namespace {

using namespace orven;

constexpr uintptr_t ossvcsModule = 0x05C50000;  // the handle that names the library
constexpr uintptr_t loudspeakerQueryOrdinal = 217;
constexpr uintptr_t loudspeakerSetOrdinal = 218;
constexpr DWORD waveMessageWords = 5;  // device, message, user, two parameters

std::atomic<DWORD> loudspeakerState{0};  // 1 once switched on
std::atomic<int> ossvcsSwitches{0};
std::atomic<int> waveSwitches{0};

void switchOn(const char* how) {
    loudspeakerState = 1;
    if (modem::viaModemManager()) {
        internal::trace("loudspeaker on (%s): callaudiod", how);
        modemmanager::loudspeakerOn();
        return;
    }
    std::string command = modem::loudspeakerCommand();
    if (command.empty()) {
        internal::trace("loudspeaker on (%s): no command for this modem", how);
        return;
    }
    internal::trace("loudspeaker on (%s): %s", how, command.c_str());
    modem::post(command, modem::timeouts().command, false, [command](const modem::Result& r) {
        if (r.outcome != modem::Outcome::ok)
            internal::trace("loudspeaker: %s refused (%s)", command.c_str(), r.finalLine.c_str());
    });
}

// Entry 217: the loudspeaker's state.
DWORD WINAPI ossvcsLoudspeakerQuery(DWORD* state) {
    if (state != nullptr) *state = loudspeakerState.load();
    return 0;
}

// Entry 218: 1 switches the loudspeaker on, 0 back to the earpiece.
DWORD WINAPI ossvcsLoudspeakerSet(DWORD on) {
    if (on == 0) {
        loudspeakerState = 0;
        return 0;
    }
    ossvcsSwitches.fetch_add(1);
    switchOn("ossvcs 218");
    return 0;
}

bool isOssvcs(LPCWSTR name) {
    return lstrcmpiW(name, u"\\windows\\ossvcs.dll") == 0 || lstrcmpiW(name, u"ossvcs.dll") == 0;
}

struct WaveDevice : internal::KernelObject {
    bool close() override { return true; }
};

}  // namespace

// ---- LoadLibraryW
HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (fileName != nullptr && isOssvcs(fileName)) return reinterpret_cast<HMODULE>(ossvcsModule);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// ---- GetProcAddressW
FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName) {
    if (reinterpret_cast<uintptr_t>(module) == ossvcsModule && IS_INTRESOURCE(procName)) {
        uintptr_t ordinal = reinterpret_cast<uintptr_t>(procName);
        if (ordinal == loudspeakerQueryOrdinal)
            return reinterpret_cast<FARPROC>(ossvcsLoudspeakerQuery);
        if (ordinal == loudspeakerSetOrdinal)
            return reinterpret_cast<FARPROC>(ossvcsLoudspeakerSet);
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// ---- FreeLibrary
BOOL FreeLibrary(HMODULE module) {
    return reinterpret_cast<uintptr_t>(module) == ossvcsModule ? TRUE : FALSE;
}

// ---- DeviceIoControl
BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                     LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, void*) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    auto wave = std::dynamic_pointer_cast<WaveDevice>(internal::lookupHandle(device));
    const auto* words = static_cast<const DWORD*>(inBuffer);
    if (!wave || controlCode != IOCTL_WAV_MESSAGE || words == nullptr ||
        inSize < waveMessageWords * sizeof(DWORD) || words[1] != WAV_MESSAGE_LOUDSPEAKER_ON) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    waveSwitches.fetch_add(1);
    switchOn("WAV1: message 102");
    if (outBuffer != nullptr && outSize >= sizeof(DWORD)) {
        *static_cast<DWORD*>(outBuffer) = 0;
        if (bytesReturned != nullptr) *bytesReturned = sizeof(DWORD);
    }
    return TRUE;
}

namespace orven {

HANDLE openSpecialDevice(LPCWSTR name, DWORD) {
    if (name != nullptr && (lstrcmpiW(name, u"WAV1:") == 0 || lstrcmpiW(name, u"WAV1") == 0))
        return internal::registerHandle(std::make_shared<WaveDevice>());
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

LoudspeakerCounts loudspeakerCounts() {
    return {ossvcsSwitches.load(), waveSwitches.load()};
}

}  // namespace orven
