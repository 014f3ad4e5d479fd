// The emulated device: its directory (hives, profile, saved volume) and its profile
// (screen size, platform type, OS major version), as the system reports them.
#pragma once

#include <string>

#include "platform/win_types.h"

#define SPI_GETPLATFORMTYPE 257

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};

BOOL SystemParametersInfoW(UINT action, UINT param, LPVOID data, UINT winIni);
BOOL GetVersionExW(OSVERSIONINFOW* info);

namespace orven {

struct DeviceProfile {
    int screenWidth = 240;
    int screenHeight = 320;
    std::u16string platformType = u"PocketPC";  // "PocketPC" or "Smartphone"
    int osMajorVersion = 5;
    // A key-preference device: its hardware button registry is "SOFTWARE\HOLBE\KeyPref".
    bool keyPreference = false;
};

// The device directory: $ORVEN_DEVICE, else $XDG_DATA_HOME/orven/device, else
// ~/.local/share/orven/device. Created (mode 0700) on first use.
const std::string& deviceDirectory();
// Forget the cached directory and profile, so that a changed ORVEN_DEVICE takes effect.
void resetDeviceForTests();
// The profile, read once from <device>/profile: "key = value" lines with the keys
// screen-width, screen-height, platform, os-major-version, key-preference (yes | no);
// missing keys keep the defaults.
const DeviceProfile& deviceProfile();

}  // namespace orven
