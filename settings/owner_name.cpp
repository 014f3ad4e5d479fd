// proposeOwnerName and splitOwnerName. Relies on the registry only.
//
//   [HKEY_CURRENT_USER\ControlPanel\Owner]
//   "Name"="Anna Kowalska"
//   "Owner"=hex:41,00,6e,00,6e,00,61,00,...    (UTF-16 name first, then other fields)
#include "settings/owner_name.h"

#include <vector>

#include "settings/app_settings.h"

namespace {

constexpr WCHAR ownerKeyName[] = u"\\ControlPanel\\Owner";
constexpr DWORD ownerRecordBytes = 812;  // the binary record's size on the phone
constexpr int ownerShortName = 16;       // taken when "Name" does not exist
constexpr int ownerLongName = 64;        // taken when no "Name" gave a text
constexpr int splitLimit = 100;          // characters of the name looked at

// "Name" into `name`; false when it cannot be read. A value too long for the room, or
// of another type, counts as unreadable; one without its terminator is ended here.
bool readNameValue(HKEY key, WCHAR name[ownerNameSize]) {
    WCHAR room[ownerNameSize] = {};
    DWORD type = REG_NONE;
    DWORD size = (ownerNameSize - 1) * sizeof(WCHAR);
    if (RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(room), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    room[size / sizeof(WCHAR) < ownerNameSize ? size / sizeof(WCHAR) : ownerNameSize - 1] = 0;
    lstrcpynW(name, room, ownerNameSize);
    return true;
}

// The first `count` characters of "Owner", stopping at a zero; false when it does not
// exist. Only the record's first 812 bytes are looked at.
bool readOwnerRecord(HKEY key, int count, WCHAR name[ownerNameSize]) {
    DWORD size = 0;
    if (RegQueryValueExW(key, u"Owner", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<BYTE> record(size + 1);
    if (RegQueryValueExW(key, u"Owner", nullptr, nullptr, record.data(), &size) != ERROR_SUCCESS)
        return false;
    const DWORD units = (size < ownerRecordBytes ? size : ownerRecordBytes) / sizeof(WCHAR);
    int length = 0;
    for (; length < count && DWORD(length) < units; ++length) {
        const WCHAR unit = WCHAR(record[2 * length] | record[2 * length + 1] << 8);
        if (unit == 0) break;
        name[length] = unit;
    }
    name[length] = 0;
    return true;
}

}  // namespace

void proposeOwnerName(WCHAR name[ownerNameSize]) {
    name[0] = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ownerKeyName, 0, 0, &key) != ERROR_SUCCESS) return;
    if (!readNameValue(key, name)) readOwnerRecord(key, ownerShortName, name);
    if (name[0] == 0) readOwnerRecord(key, ownerLongName, name);
    RegCloseKey(key);
}

// A space after the first one starts the family name again, so the family name is
// what follows the last space.
void splitOwnerName(const WCHAR* name, WCHAR firstName[firstNameSize],
                    WCHAR familyName[familyNameSize]) {
    int first = 0, family = 0;
    bool spaceSeen = false;
    for (int i = 0; i < splitLimit && name[i] != 0; ++i) {
        const WCHAR c = name[i];
        if (!spaceSeen) {
            if (first < firstNameSize - 1) firstName[first++] = c;
            spaceSeen = c == u' ';
        } else if (c == u' ') {
            family = 0;
        } else if (family < familyNameSize - 1) {
            familyName[family++] = c;
        }
    }
    firstName[first] = 0;
    familyName[family] = 0;
}
