// The emulated device: its directory (hives, profile, saved volume), its profile, and
// the two system calls that report the profile to the program, SystemParametersInfoW
// (platform type) and GetVersionExW. GetSystemMetrics lives with the window manager and
// reads deviceProfile() as well. Relies on registry.cpp only to forget the hives when
// the directory changes under test.
//
// The profile file, "<device>/profile":
//
//   # A Smartphone with a QVGA screen
//   screen-width = 240
//   screen-height = 320
//   platform = Smartphone
//   os-major-version = 5
//   key-preference = no
#include "platform/device.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>

#include "platform/registry.h"

namespace {

constexpr DWORD platformIdCe = 3;        // VER_PLATFORM_WIN32_CE
constexpr int largestScreenSide = 4096;  // pixels; a phone screen is far smaller
constexpr int largestOsVersion = 99;

std::mutex deviceMutex;  // guards the two below
std::string directory;   // empty until first asked for
std::optional<orven::DeviceProfile> profile;

const char* nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

std::string chooseDirectory() {
    if (const char* device = nonEmptyEnv("ORVEN_DEVICE")) return device;
    // Relative XDG paths are invalid and must be ignored.
    const char* data = nonEmptyEnv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/orven/device";
    const char* home = nonEmptyEnv("HOME");
    if (!home) {
        const passwd* user = getpwuid(getuid());
        home = user && user->pw_dir ? user->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/share/orven/device";
}

// mkdir -p with mode 0700 for every directory it creates: the device directory holds
// the owner's medical details. Failures show later, when a file cannot be written.
void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
    mkdir(path.c_str(), 0700);
}

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<int> parseNumber(const std::string& text, int largest) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    const int number = std::stoi(text);
    if (number < 1 || number > largest) return std::nullopt;
    return number;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && !b[i];
}

// One "key = value" line; false when the key or the value is not understood.
bool applyProfileLine(orven::DeviceProfile& device, const std::string& key,
                      const std::string& value) {
    if (key == "screen-width" || key == "screen-height") {
        const auto number = parseNumber(value, largestScreenSide);
        if (number) (key == "screen-width" ? device.screenWidth : device.screenHeight) = *number;
        return number.has_value();
    }
    if (key == "os-major-version") {
        const auto number = parseNumber(value, largestOsVersion);
        if (number) device.osMajorVersion = *number;
        return number.has_value();
    }
    if (key == "key-preference") {
        if (equalsIgnoringCase(value, "yes"))
            device.keyPreference = true;
        else if (equalsIgnoringCase(value, "no"))
            device.keyPreference = false;
        else
            return false;
        return true;
    }
    if (key == "platform") {
        if (equalsIgnoringCase(value, "PocketPC"))
            device.platformType = u"PocketPC";
        else if (equalsIgnoringCase(value, "Smartphone"))
            device.platformType = u"Smartphone";
        else
            return false;
        return true;
    }
    return false;
}

// A line that is not understood keeps the default and is reported on standard error,
// so that a typo in a hand-edited profile does not go unnoticed.
orven::DeviceProfile readProfile(const std::string& path) {
    orven::DeviceProfile device;
    std::ifstream in(path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        const size_t equals = line.find('=');
        const bool understood =
            equals != std::string::npos &&
            applyProfileLine(device, trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
        if (!understood) {
            std::fprintf(stderr, "orven: %s line %d not understood, ignored: %s\n", path.c_str(),
                         number, line.c_str());
        }
    }
    return device;
}

}  // namespace

namespace orven {

const std::string& deviceDirectory() {
    std::lock_guard lock(deviceMutex);
    if (directory.empty()) {
        directory = chooseDirectory();
        makeDirectories(directory);
    }
    return directory;
}

void resetDeviceForTests() {
    {
        std::lock_guard lock(deviceMutex);
        directory.clear();
        profile.reset();
    }
    resetRegistryForTests();  // the hives belong to the directory
}

const DeviceProfile& deviceProfile() {
    const std::string path = deviceDirectory() + "/profile";
    std::lock_guard lock(deviceMutex);
    if (!profile) profile = readProfile(path);
    return *profile;
}

}  // namespace orven

// ---- SystemParametersInfoW
// Only SPI_GETPLATFORMTYPE: the platform type with its terminator into `data`, whose
// size in bytes is `param`. FALSE when it does not fit or for any other request.
BOOL SystemParametersInfoW(UINT action, UINT param, LPVOID data, UINT) {
    if (action != SPI_GETPLATFORMTYPE || data == nullptr) return FALSE;
    const std::u16string& type = orven::deviceProfile().platformType;
    if (param < (type.size() + 1) * sizeof(WCHAR)) return FALSE;
    WCHAR* text = static_cast<WCHAR*>(data);
    type.copy(text, type.size());
    text[type.size()] = 0;
    return TRUE;
}

// ---- GetVersionExW
// The profile's major version; minor and build 0; the record's size field must be set.
BOOL GetVersionExW(OSVERSIONINFOW* info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) return FALSE;
    info->dwMajorVersion = DWORD(orven::deviceProfile().osMajorVersion);
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = platformIdCe;
    info->szCSDVersion[0] = 0;
    return TRUE;
}
