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
#include <type_traits>
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

template <auto member>
void* fieldOf(AppSettings& s) {
    return &(s.*member);
}

// A table row whose kind and size follow from the field's type.
template <auto member>
constexpr SettingsValue value(LPCWSTR name, bool saved = true) {
    using Field = std::remove_reference_t<decltype(std::declval<AppSettings&>().*member)>;
    if constexpr (std::is_same_v<Field, int32_t>) {
        return {name, fieldOf<member>, SettingsValue::number, 1, saved};
    } else if constexpr (std::is_same_v<Field, std::atomic<int32_t>>) {
        return {name, fieldOf<member>, SettingsValue::sharedNumber, 1, saved};
    } else {
        static_assert(std::is_same_v<std::remove_extent_t<Field>, WCHAR>, "a text field");
        return {name, fieldOf<member>, SettingsValue::text, int(std::extent_v<Field>), saved};
    }
}

void load(HKEY key, const SettingsValue& row, AppSettings& s) {
    void* field = row.field(s);
    switch (row.kind) {
        case SettingsValue::number: readNumber(key, row.name, *static_cast<int32_t*>(field)); break;
        case SettingsValue::sharedNumber: {
            auto& shared = *static_cast<std::atomic<int32_t>*>(field);
            int32_t number = shared.load();
            readNumber(key, row.name, number);
            shared.store(number);
            break;
        }
        case SettingsValue::text:
            readText(key, row.name, static_cast<WCHAR*>(field), row.size);
            break;
    }
}

void save(HKEY key, const SettingsValue& row, AppSettings& s) {
    void* field = row.field(s);
    switch (row.kind) {
        case SettingsValue::number:
            writeNumber(key, row.name, *static_cast<int32_t*>(field));
            break;
        case SettingsValue::sharedNumber:
            writeNumber(key, row.name, static_cast<std::atomic<int32_t>*>(field)->load());
            break;
        case SettingsValue::text:
            writeText(key, row.name, static_cast<const WCHAR*>(field), row.size);
            break;
    }
}

}  // namespace

// In the order the values are loaded and saved.
const SettingsValue settingsValues[] = {
    value<&AppSettings::gpsPortNumber>(gpsPortNumberValue, false),
    value<&AppSettings::hardwareTest>(u"Hardware test"),
    value<&AppSettings::firstName>(u"First name"),
    value<&AppSettings::familyName>(u"Family name"),
    value<&AppSettings::ownerBlood>(u"Owner blood"),
    value<&AppSettings::ownerSex>(u"Owner sex"),
    value<&AppSettings::ownerAge>(u"Owner age"),
    value<&AppSettings::alertNumber1>(u"Alert number 1"),
    value<&AppSettings::alertNumber2>(u"Alert number 2"),
    value<&AppSettings::alertsNumber>(u"Alerts number"),
    value<&AppSettings::autoAnswering>(u"Auto-answering"),
    value<&AppSettings::autoSpeakerphone>(u"Auto-speakerphone"),
    value<&AppSettings::hardwareKey>(u"Hardware key"),
};
const int settingsValueCount = int(std::size(settingsValues));

int loadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, 0, &key) != ERROR_SUCCESS) return 1;
    {
        // The radio thread may be reading the alert numbers: they change under their lock.
        std::lock_guard lock(alertNumbersLock);
        for (const SettingsValue& row : settingsValues) load(key, row, appSettings);
    }
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
    for (const SettingsValue& row : settingsValues)
        if (row.saved) save(key, row, appSettings);
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
