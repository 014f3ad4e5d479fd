// The emulated phone's registry as a fresh device directory starts it: what the phone's
// shell and control panel would have put there. HKEY_CURRENT_USER holds the device
// owner's information ("\ControlPanel\Owner": the name as text, and the binary record
// whose first 36 characters are the name); HKEY_LOCAL_MACHINE the hardware button
// registry: four buttons under "SOFTWARE\Microsoft\Shell\Keys" (two named, two known
// only by their command), or on a key-preference device (profile `key-preference = yes`)
// the short and long press of its one button under "SOFTWARE\HOLBE\KeyPref".
// Used by registry.cpp for a hive file that does not exist yet.
#include <cstdio>
#include <string>

#include "platform/device.h"
#include "platform/internal.h"
#include "platform/text.h"

namespace {

using namespace orven;

constexpr const char16_t* ownerName = u"Zo\u00eb \u0141uczak";
constexpr size_t ownerRecordSize = 812;  // bytes of the phone's owner record
constexpr size_t ownerNameChars = 36;    // the record's first field: the name

// A .reg text's quoting of a UTF-8 string.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string ownerRecordHex() {
    std::u16string name = ownerName;
    std::string out = "hex:";
    char byte[4];
    for (size_t i = 0; i < ownerRecordSize; ++i) {
        size_t unit = i / 2;
        char16_t c = unit < name.size() && unit < ownerNameChars ? name[unit] : 0;
        unsigned value = i % 2 == 0 ? (c & 0xFF) : (c >> 8);
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value);
        out += byte;
    }
    return out;
}

std::string userHive() {
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CURRENT_USER\\ControlPanel\\Owner]\n"
           "\"Name\"=" +
           quoted(toUtf8(ownerName)) + "\n\"Owner\"=" + ownerRecordHex() + "\n";
}

std::string buttonKey(int n, const char* name, const std::string& command) {
    char header[96];
    std::snprintf(header, sizeof header,
                  "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C%d]\n", n);
    std::string key = header;
    key += "@=" + quoted(command) + "\n";
    if (name != nullptr) key += std::string("\"Name\"=") + quoted(name) + "\n";
    return key;
}

std::string systemHive() {
    std::string text = "Windows Registry Editor Version 5.00\n";
    if (deviceProfile().keyPreference) {
        return text +
               "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref]\n"
               "\"SBS\"=" +
               quoted("\\Windows\\Start Menu\\Programs\\Calendar.lnk") +
               "\n\"SBL\"=" + quoted("\\Windows\\Start Menu\\Programs\\Camera.lnk") + "\n";
    }
    return text + buttonKey(1, "Button 1", "\"\\Windows\\calendar.exe\"") +
           buttonKey(2, "Button 2", "\"\\Windows\\tmail.exe\"") +
           buttonKey(3, nullptr, "\"\\Windows\\Start Menu\\Programs\\Contacts.lnk\"") +
           buttonKey(4, nullptr, "\\Windows\\camera.exe -still");
}

}  // namespace

namespace orven::internal {

std::string defaultHiveText(const std::string& fileName) {
    if (fileName == "user.reg") return userHive();
    if (fileName == "system.reg") return systemHive();
    return {};
}

}  // namespace orven::internal
