// The settings dialogs' parts that have no user interface: the owner name proposed from
// the device's owner information and its split into first and family name, the list of
// hardware buttons, the short name of a button's command, and what an assignment
// writes. Each runs against a fresh emulated phone's registry.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/program.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/hardware_key_list.h"
#include "settings/owner_name.h"

namespace {

const std::string hiveHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// A REG_BINARY of the UTF-16 text, its zero, and padding up to the phone's 812 bytes.
std::string ownerRecord(const std::u16string& text) {
    std::string line = "\"Owner\"=hex:";
    for (size_t i = 0; i < 406; ++i) {
        char16_t unit = i < text.size() ? text[i] : 0;
        char byte[8];
        snprintf(byte, sizeof byte, "%s%02x,%02x", i ? "," : "", unit & 0xFF, unit >> 8);
        line += byte;
    }
    return line + "\r\n";
}

TEST(OwnerName, SplitIntoFirstAndFamilyName) {
    const std::u16string twenty = u"ABCDEFGHIJKLMNOPQRST";
    const std::u16string seventy(70, u'k');
    struct Row {
        const char* legend;
        std::u16string name, first, family;
    } rows[] = {
        {"two words", u"Anna Kowalska", u"Anna ", u"Kowalska"},
        {"three words keep the first and the last", u"Anna Maria Kowalska", u"Anna ", u"Kowalska"},
        {"one word", u"Anna", u"Anna", u""},
        {"a trailing space empties the family name", u"Anna Maria ", u"Anna ", u""},
        {"a leading space", u" Kowalska", u" ", u"Kowalska"},
        {"empty", u"", u"", u""},
        {"a long word keeps 15 characters", twenty, twenty.substr(0, 15), u""},
        {"a 16-letter word loses its space too", u"ABCDEFGHIJKLMNOP Nowak", u"ABCDEFGHIJKLMNO",
         u"Nowak"},
        {"the family name keeps 63 characters", u"Jan " + seventy, u"Jan ", seventy.substr(0, 63)},
        {"only the first 100 characters count",
         u"A " + std::u16string(50, u'b') + u" " + std::u16string(60, u'c'), u"A ",
         std::u16string(47, u'c')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        WCHAR first[firstNameSize], family[familyNameSize];
        first[0] = family[0] = u'?';
        splitOwnerName(row.name.c_str(), first, family);
        EXPECT_EQ(std::u16string(first), row.first);
        EXPECT_EQ(std::u16string(family), row.family);
    }
}

TEST(OwnerName, ProposedFromTheDevicesOwnerInformation) {
    const std::u16string twenty = u"ABCDEFGHIJKLMNOPQRST";
    const std::u16string seventy(70, u'x');
    const std::string key = "[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n";
    struct Row {
        const char* legend;
        std::string hive;
        std::u16string proposed;
    } rows[] = {
        {"no owner key", "", u""},
        {"the name value", key + "\"Name\"=\"Anna Kowalska\"\r\n" + ownerRecord(u"Other"),
         u"Anna Kowalska"},
        {"no name value: 16 characters of the owner record", key + ownerRecord(twenty),
         twenty.substr(0, 16)},
        {"an empty name value: 64 characters of the owner record",
         key + "\"Name\"=\"\"\r\n" + ownerRecord(seventy), seventy.substr(0, 64)},
        {"a name value of another type counts as missing",
         key + "\"Name\"=dword:00000001\r\n" + ownerRecord(u"Jan Nowak"), u"Jan Nowak"},
        {"neither value", key + "\"Company\"=\"ZURV\"\r\n", u""},
        {"a short owner record", key + "\"Owner\"=hex:4a,00,61,00,6e\r\n", u"Ja"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::test::Phone phone;
        phone.writeHive("user.reg", hiveHeader + row.hive);
        WCHAR name[ownerNameSize];
        name[0] = u'?';
        proposeOwnerName(name);
        EXPECT_EQ(std::u16string(name), row.proposed);
    }
}

TEST(HardwareKeys, CommandDisplayName) {
    struct Row {
        const char* legend;
        std::u16string command, name;
    } rows[] = {
        {"quoted program with arguments", u"\"\\Windows\\camera.exe\" -shutter", u"camera.exe"},
        {"shortcut path", u"\\Windows\\Start Menu\\Phone.lnk", u"Phone"},
        {"quoted shortcut", u"\"\\Storage Card\\Voice Notes.lnk\"", u"Voice Notes"},
        {"unquoted path keeps its arguments", u"\\Windows\\tmail.exe -service SMS",
         u"tmail.exe -service SMS"},
        {"no folder", u"calc.exe", u"calc.exe"},
        {"upper-case LNK is not a shortcut suffix", u"\\A\\B.LNK", u"B.LNK"},
        {"empty", u"", u""},
        {"a single space", u" ", u" "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(commandDisplayName(row.command), row.name);
    }
}

std::string shellKey(const std::string& name, const std::string& values) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\" + name + "]\r\n" + values +
           "\r\n";
}

TEST(HardwareKeys, ListAndStartPosition) {
    const std::string keys =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys]\r\n\r\n" +
        shellKey("40C1", "\"Name\"=\"Button 1\"\r\n@=\"\\\"\\\\Windows\\\\camera.exe\\\" -s\"") +
        shellKey("40C2", "\"Other\"=\"nothing to show\"") +
        shellKey("ThisNameIsTooLong16", "\"Name\"=\"Too long\"") +
        shellKey("40C3", "@=\"\\\"\\\\Windows\\\\Start Menu\\\\Voice.lnk\\\"\"");
    const std::string keyPreference = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref]\r\n\r\n";
    struct Row {
        const char* legend;
        std::string hive;
        std::u16string hardwareKey;
        std::u16string shown;  // display names joined by '|'
        int start;
        bool keyPreference;
    } rows[] = {
        {"no button registry", "", u"", u" none", 0, false},
        {"named, unlisted, too long and unnamed buttons", keys, u"", u" none|Button 1|Voice", 0,
         false},
        {"assigned button in other letter case", keys, u"40c3", u" none|Button 1|Voice", 2, false},
        {"assigned button no longer listed", keys, u"40C2", u" none|Button 1|Voice", 0, false},
        {"key preference: Long", keyPreference + keys, u"sbl", u" none|Short|Long", 2, true},
        {"key preference: Short", keyPreference, u"SBS", u" none|Short|Long", 1, true},
        {"key preference: unknown", keyPreference, u"40C1", u" none|Short|Long", 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::test::Phone phone;
        phone.writeHive("system.reg", hiveHeader + row.hive);
        HardwareKeyList list = listHardwareKeys(row.hardwareKey.c_str());
        std::u16string shown;
        for (const HardwareKeyEntry& entry : list.entries)
            shown += (shown.empty() ? u"" : u"|") + entry.displayName;
        EXPECT_EQ(orven::toUtf8(shown), orven::toUtf8(row.shown));
        EXPECT_EQ(list.startPosition, row.start);
        EXPECT_EQ(list.keyPreferenceMode, row.keyPreference);
    }
}

TEST(HardwareKeys, AssignmentWritesTheButtonsCommand) {
    const std::string keys =
        shellKey("40C1", "\"Name\"=\"Button 1\"\r\n@=\"\\\"\\\\Windows\\\\camera.exe\\\"\"");
    const std::string keyPreference = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref]\r\n\r\n";
    struct Row {
        const char* legend;
        std::string hive;
        int position;
        std::u16string hardwareKey;
        int hardwareTest;
        std::string written;  // a line the hive holds afterwards ("" none)
        std::string absent;   // a line it must not hold
    } rows[] = {
        {"a shell button", keys, 1, u"40C1", 1, "@=\"\\\"\\\\Apps\\\\ORVEN\\\\ORVEN.exe\\\" -a\"",
         "camera.exe"},
        {"no button writes nothing", keys, 0, u"", 0, "camera.exe", "ORVEN.exe"},
        {"key preference Long", keyPreference, 2, u"SBL", 1,
         "\"SBL\"=\"\\\\Apps\\\\ORVEN\\\\ORVEN.lnk\"", "SBS"},
        {"key preference Short", keyPreference, 1, u"SBS", 1,
         "\"SBS\"=\"\\\\Apps\\\\ORVEN\\\\ORVEN.lnk\"", "SBL"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::test::Phone phone;
        phone.writeHive("system.reg", hiveHeader + row.hive);
        resetSettingsForTests();
        lstrcpyW(appFolder, u"\\Apps\\ORVEN\\");
        lstrcpyW(appSettings.hardwareKey, u"OLD");
        HardwareKeyList list = listHardwareKeys(appSettings.hardwareKey);
        assignHardwareKey(list, row.position);
        EXPECT_EQ(std::u16string(appSettings.hardwareKey), row.hardwareKey);
        EXPECT_EQ(appSettings.hardwareTest, row.hardwareTest);
        const std::string hive = phone.readHive("system.reg");
        EXPECT_NE(hive.find(row.written), std::string::npos) << hive;
        EXPECT_EQ(hive.find(row.absent), std::string::npos) << hive;
    }
}

}  // namespace

namespace {

// The radio thread copies the numbers while the GUI thread replaces them: each copy is
// one whole pair (ThreadSanitizer also sees the lock).
TEST(AlertNumbers, ACopyNeverMixesTwoStores) {
    resetSettingsForTests();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            WCHAR number1[alertNumberSize], number2[alertNumberSize];
            copyAlertNumbers(number1, number2);
            ASSERT_EQ(std::u16string(number1).size() * 2, std::u16string(number2).size());
        }
    });
    for (int i = 0; i < 2000; ++i) {
        std::u16string one(i % 7 + 1, u'1'), two(2 * (i % 7 + 1), u'2');
        storeAlertNumbers(one.c_str(), two.c_str());
    }
    done = true;
    reader.join();
    WCHAR number1[alertNumberSize], number2[alertNumberSize];
    storeAlertNumbers(u"1234567890123456789", u"");
    copyAlertNumbers(number1, number2);
    EXPECT_EQ(std::u16string(number1), u"123456789012345");
    EXPECT_EQ(std::u16string(number2), u"");
}

}  // namespace
