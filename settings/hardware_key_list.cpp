// The button list and the assignment. Relies on the registry and the settings record.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shell\Keys\40C1]
//   "Name"="Button 1"
//   @="\"\\Windows\\camera.exe\" -shutter"
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\HOLBE\KeyPref]      (key-preference devices instead)
//   "SBS"="\\Program Files\\ORVEN\\ORVEN.lnk"
#include "settings/hardware_key_list.h"

#include "common/program.h"
#include "settings/app_settings.h"

namespace {

constexpr WCHAR keyPreferenceKeyName[] = u"SOFTWARE\\HOLBE\\KeyPref";
constexpr WCHAR shellKeysKeyName[] = u"SOFTWARE\\Microsoft\\Shell\\Keys";
constexpr int subkeyNameRoom = 256;  // the registry's longest key name and its terminator
constexpr int pathSize = 1024;       // wsprintfW's whole output

// A REG_SZ value (nullptr: the default value); false when missing or of another type.
bool readText(HKEY key, LPCWSTR name, std::u16string& text) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::u16string room(size / sizeof(WCHAR) + 1, u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(room.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    text.assign(room.c_str());  // up to the first zero
    return true;
}

// One subkey of the shell's keys: listed by its "Name" or, without one, by the short
// name of its command; left out with neither.
void addShellKey(HardwareKeyList& list, const WCHAR* subkeyName) {
    WCHAR path[pathSize];
    wsprintfW(path, u"SOFTWARE\\Microsoft\\Shell\\Keys\\%s", subkeyName);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key) != ERROR_SUCCESS) return;
    std::u16string name, command;
    if (readText(key, u"Name", name)) {
        readText(key, nullptr, command);
        list.entries.push_back({name, subkeyName, command});
    } else if (readText(key, nullptr, command)) {
        list.entries.push_back({commandDisplayName(command), subkeyName, command});
    }
    RegCloseKey(key);
}

// Every subkey in the registry's order. A name too long for the room is skipped (the
// enumeration goes on); any other failure ends it.
void addShellKeys(HardwareKeyList& list, HKEY keys) {
    for (DWORD index = 0;; ++index) {
        WCHAR name[subkeyNameRoom];
        DWORD length = subkeyNameRoom;
        LONG result = RegEnumKeyExW(keys, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        // hardwareKey holds 15 characters: a longer name could be neither stored nor
        // written back, so that button is not offered at all.
        if (lstrlenW(name) > hardwareKeySize - 1) continue;
        addShellKey(list, name);
    }
}

int positionOf(const HardwareKeyList& list, const WCHAR* hardwareKey) {
    if (hardwareKey[0] == 0) return 0;
    for (size_t i = 1; i < list.entries.size(); ++i)
        if (lstrcmpiW(list.entries[i].keyName.c_str(), hardwareKey) == 0) return int(i);
    return 0;
}

}  // namespace

HardwareKeyList listHardwareKeys(const WCHAR* hardwareKey) {
    HardwareKeyList list;
    list.entries.push_back({u" none", u" ", u" "});
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPreferenceKeyName, 0, 0, &key) == ERROR_SUCCESS) {
        list.keyPreferenceMode = true;
        list.entries.push_back({u"Short", u"SBS", u" "});
        list.entries.push_back({u"Long", u"SBL", u" "});
    } else if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, shellKeysKeyName, 0, 0, &key) == ERROR_SUCCESS) {
        addShellKeys(list, key);
    } else {
        key = nullptr;
    }
    list.startPosition = positionOf(list, hardwareKey);
    if (key != nullptr) RegCloseKey(key);
    return list;
}

// A backslash starts the name again; a second double quote or ".lnk" ends it.
std::u16string commandDisplayName(const std::u16string& command) {
    std::u16string name;
    bool quoteSeen = false;
    for (size_t i = 0; i < command.size(); ++i) {
        const char16_t c = command[i];
        if (c == u'"') {
            if (quoteSeen) break;
            quoteSeen = true;
        } else if (command.compare(i, 4, u".lnk") == 0) {
            break;
        } else if (c == u'\\') {
            name.clear();
        } else {
            name.push_back(c);
        }
    }
    return name;
}

void assignHardwareKey(const HardwareKeyList& list, int position) {
    AppSettings& s = appSettings;
    if (position <= 0 || size_t(position) >= list.entries.size()) {
        s.hardwareTest = 0;
        s.hardwareKey[0] = 0;
        return;
    }
    s.hardwareTest = 1;
    lstrcpynW(s.hardwareKey, list.entries[position].keyName.c_str(), hardwareKeySize);
    WCHAR path[pathSize], value[pathSize];
    LPCWSTR valueName = nullptr;
    if (list.keyPreferenceMode) {
        lstrcpyW(path, keyPreferenceKeyName);
        valueName = position == 1 ? u"SBS" : u"SBL";
        wsprintfW(value, u"%sORVEN.lnk", appFolder);
    } else {
        wsprintfW(path, u"SOFTWARE\\Microsoft\\Shell\\Keys\\%s", s.hardwareKey);
        wsprintfW(value, u"\"%sORVEN.exe\" -a", appFolder);
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   DWORD((lstrlenW(value) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}
