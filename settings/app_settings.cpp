// The settings record and its registry store: loadSettings and saveSettings over the
// values of HKEY_LOCAL_MACHINE "SOFTWARE\ZURV\ORVEN". Relies on the registry only.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\ZURV\ORVEN]
//   "Hardware test"=dword:00000000
//   "First name"="Anna"
//   ...
//   "GPS port number"=dword:00000003     (written by the receiver search, not here)
#include "settings/app_settings.h"

#include <bit>
#include <memory>
#include <mutex>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "REG_SZ data is the fields' UTF-16 units as they lie in memory");

AppSettings appSettings;

const WCHAR settingsKeyName[] = u"SOFTWARE\\ZURV\\ORVEN";
const WCHAR gpsPortNumberValue[] = u"GPS port number";

namespace {

// Guards alertNumber1 and alertNumber2 (see app_settings.h).
std::mutex alertNumbersLock;

constexpr int alertSendCounts[alertsNumberChoices] = {1, 2, 3, 4, 5, 10, 15};
constexpr int32_t defaultAlertsNumber = 5;

// A REG_DWORD of exactly 4 bytes replaces the field; anything else leaves it.
void readNumber(HKEY key, LPCWSTR name, int32_t& field) {
    DWORD type = REG_NONE;
    BYTE data[4];
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) return;
    if (type != REG_DWORD || size != sizeof data) return;
    field = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                    uint32_t(data[3]) << 24);
}

void readNumber(HKEY key, LPCWSTR name, std::atomic<int32_t>& field) {
    int32_t value = field;
    readNumber(key, name, value);
    field = value;
}

// A REG_SZ replaces the field, up to its first zero and cut to the field's capacity;
// a value of another type leaves it.
void readText(HKEY key, LPCWSTR name, WCHAR* field, int width) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
    if (type != REG_SZ) return;
    std::vector<BYTE> data(size + 1);  // never empty, so data() is a real buffer
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return;
    if (type != REG_SZ) return;
    int length = 0;
    for (; length < width - 1 && size_t(length) * 2 + 1 < size; ++length) {
        const WCHAR unit = WCHAR(data[2 * length] | data[2 * length + 1] << 8);
        if (unit == 0) break;
        field[length] = unit;
    }
    field[length] = 0;
}

void writeNumber(HKEY key, LPCWSTR name, int32_t value) {
    const uint32_t bits = uint32_t(value);
    const BYTE data[4] = {BYTE(bits), BYTE(bits >> 8), BYTE(bits >> 16), BYTE(bits >> 24)};
    RegSetValueExW(key, name, 0, REG_DWORD, data, sizeof data);
}

// With its terminator: an empty text is a 2-byte value.
void writeText(HKEY key, LPCWSTR name, const WCHAR* field, int width) {
    int length = 0;
    while (length < width - 1 && field[length] != 0) ++length;
    std::vector<WCHAR> text(field, field + length);
    text.push_back(0);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                   DWORD(text.size() * sizeof(WCHAR)));
}

}  // namespace

int loadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, 0, &key) != ERROR_SUCCESS) return 1;
    AppSettings& s = appSettings;
    readNumber(key, gpsPortNumberValue, s.gpsPortNumber);
    readNumber(key, u"Hardware test", s.hardwareTest);
    readText(key, u"First name", s.firstName, firstNameSize);
    readText(key, u"Family name", s.familyName, familyNameSize);
    readNumber(key, u"Owner blood", s.ownerBlood);
    readNumber(key, u"Owner sex", s.ownerSex);
    readNumber(key, u"Owner age", s.ownerAge);
    WCHAR number1[alertNumberSize], number2[alertNumberSize];
    lstrcpynW(number1, s.alertNumber1, alertNumberSize);
    lstrcpynW(number2, s.alertNumber2, alertNumberSize);
    readText(key, u"Alert number 1", number1, alertNumberSize);
    readText(key, u"Alert number 2", number2, alertNumberSize);
    storeAlertNumbers(number1, number2);
    readNumber(key, u"Alerts number", s.alertsNumber);
    readNumber(key, u"Auto-answering", s.autoAnswering);
    readNumber(key, u"Auto-speakerphone", s.autoSpeakerphone);
    readText(key, u"Hardware key", s.hardwareKey, hardwareKeySize);
    RegCloseKey(key);
    return 1;
}

// The port number is left to the receiver search, which stores it when it finds one.
int saveSettings() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        return 1;
    }
    const AppSettings& s = appSettings;
    writeNumber(key, u"Hardware test", s.hardwareTest);
    writeText(key, u"First name", s.firstName, firstNameSize);
    writeText(key, u"Family name", s.familyName, familyNameSize);
    writeNumber(key, u"Owner blood", s.ownerBlood);
    writeNumber(key, u"Owner sex", s.ownerSex);
    writeNumber(key, u"Owner age", s.ownerAge);
    writeText(key, u"Alert number 1", s.alertNumber1, alertNumberSize);
    writeText(key, u"Alert number 2", s.alertNumber2, alertNumberSize);
    writeNumber(key, u"Alerts number", s.alertsNumber);
    writeNumber(key, u"Auto-answering", s.autoAnswering);
    writeNumber(key, u"Auto-speakerphone", s.autoSpeakerphone);
    writeText(key, u"Hardware key", s.hardwareKey, hardwareKeySize);
    RegCloseKey(key);  // the hive is written here, once for the whole record
    return 1;
}

void copyAlertNumbers(WCHAR number1[alertNumberSize], WCHAR number2[alertNumberSize]) {
    std::lock_guard lock(alertNumbersLock);
    lstrcpynW(number1, appSettings.alertNumber1, alertNumberSize);
    lstrcpynW(number2, appSettings.alertNumber2, alertNumberSize);
}

void storeAlertNumbers(const WCHAR* number1, const WCHAR* number2) {
    std::lock_guard lock(alertNumbersLock);
    lstrcpynW(appSettings.alertNumber1, number1, alertNumberSize);
    lstrcpynW(appSettings.alertNumber2, number2, alertNumberSize);
}

bool usableNumber(const WCHAR* number) {
    return number != nullptr && number[0] != 0 && number[1] != 0 && number[2] != 0;
}

int32_t validAlertsNumber(int32_t alertsNumber) {
    return alertsNumber >= 0 && alertsNumber < alertsNumberChoices ? alertsNumber
                                                                   : defaultAlertsNumber;
}

int alertSendLimit(int32_t alertsNumber) {
    return alertSendCounts[validAlertsNumber(alertsNumber)];
}

void resetSettingsForTests() {
    std::lock_guard lock(alertNumbersLock);
    std::destroy_at(&appSettings);
    std::construct_at(&appSettings);
}

void storePortNumber() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
        return;
    const int32_t number = appSettings.gpsPortNumber.load();
    RegSetValueExW(key, gpsPortNumberValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
}
