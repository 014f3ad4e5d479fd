// The settings record and its registry store: first run, partial keys, what a save
// writes (and never writes), stored values that do not fit their fields, and the
// helpers for the alert count and usable numbers.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/device.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace fs = std::filesystem;

namespace {

// Every field, one line each, so that a failure shows exactly which differ.
std::string describe(const AppSettings& s) {
    std::ostringstream out;
    out << "hardwareTest " << s.hardwareTest << "\nfirstName '" << orven::toUtf8(s.firstName)
        << "'\nfamilyName '" << orven::toUtf8(s.familyName) << "'\nownerBlood " << s.ownerBlood
        << "\nownerSex " << s.ownerSex << "\nownerAge " << s.ownerAge << "\nalertNumber1 '"
        << orven::toUtf8(s.alertNumber1) << "'\nalertNumber2 '" << orven::toUtf8(s.alertNumber2)
        << "'\nalertsNumber " << s.alertsNumber << "\nautoAnswering " << s.autoAnswering
        << "\nautoSpeakerphone " << s.autoSpeakerphone << "\nhardwareKey '"
        << orven::toUtf8(s.hardwareKey) << "'\ngpsPortNumber " << s.gpsPortNumber << "\n";
    return out.str();
}

// The defaults, with `change` applied: what the record should hold.
std::string expected(const std::function<void(AppSettings&)>& change = {}) {
    AppSettings record;  // a second record, only to describe; never the program's
    if (change) change(record);
    return describe(record);
}

void copy(WCHAR* field, std::u16string_view text) {
    text.copy(field, text.size());
    field[text.size()] = 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

const std::string header =
    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\n";

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ov-set-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("ORVEN_DEVICE", dir_.c_str(), 1);
        orven::resetDeviceForTests();
        resetSettingsForTests();
    }
    void TearDown() override {
        orven::resetDeviceForTests();
        resetSettingsForTests();
        fs::remove_all(dir_);
    }
    // A fresh start of the program with this hive.
    void startWith(const std::string& hive) {
        std::ofstream(dir_ + "/system.reg", std::ios::binary) << hive;
        orven::resetRegistryForTests();
        resetSettingsForTests();
    }
    std::string hive() const { return readFile(dir_ + "/system.reg"); }

    std::string dir_;
};

}  // namespace

TEST_F(Settings, FirstRunKeepsTheDefaultsAndCreatesNothing) {
    EXPECT_EQ(loadSettings(), 1);
    EXPECT_EQ(describe(appSettings),
              "hardwareTest 0\nfirstName ''\nfamilyName ''\nownerBlood 0\nownerSex 0\n"
              "ownerAge 0\nalertNumber1 ''\nalertNumber2 ''\nalertsNumber 5\n"
              "autoAnswering 1\nautoSpeakerphone 1\nhardwareKey ''\ngpsPortNumber -1\n");
    HKEY key = nullptr;  // the start-up takes a missing key as the first run
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir_ + "/system.reg"));
}

TEST_F(Settings, SaveWritesEveryFieldButThePortNumberInOrder) {
    startWith(header + "\"GPS port number\"=dword:00000003\n");
    ASSERT_EQ(loadSettings(), 1);
    appSettings.gpsPortNumber = 7;  // found during this run; stored by the receiver search only
    appSettings.hardwareTest = 1;
    copy(appSettings.familyName, u"Dupr\u00e9");
    appSettings.ownerBlood = 7;
    appSettings.ownerSex = 2;
    appSettings.ownerAge = 81;
    copy(appSettings.alertNumber1, u"0612345678");
    copy(appSettings.alertNumber2, u"12");
    appSettings.alertsNumber = 2;
    appSettings.autoSpeakerphone = 0;
    copy(appSettings.hardwareKey, u"40C1");
    EXPECT_EQ(saveSettings(), 1);
    const std::string saved = describe(appSettings);

    EXPECT_EQ(hive(), header +
                          "\"GPS port number\"=dword:00000003\n"
                          "\"Hardware test\"=dword:00000001\n"
                          "\"First name\"=\"\"\n"
                          "\"Family name\"=\"Dupr\xC3\xA9\"\n"
                          "\"Owner blood\"=dword:00000007\n"
                          "\"Owner sex\"=dword:00000002\n"
                          "\"Owner age\"=dword:00000051\n"
                          "\"Alert number 1\"=\"0612345678\"\n"
                          "\"Alert number 2\"=\"12\"\n"
                          "\"Alerts number\"=dword:00000002\n"
                          "\"Auto-answering\"=dword:00000001\n"
                          "\"Auto-speakerphone\"=dword:00000000\n"
                          "\"Hardware key\"=\"40C1\"\n\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, 0, &key), ERROR_SUCCESS);
    DWORD size = 0, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"First name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 2u);  // the empty name is its terminator alone
    RegCloseKey(key);

    orven::resetRegistryForTests();
    resetSettingsForTests();
    loadSettings();
    EXPECT_EQ(describe(appSettings), expected([&](AppSettings& s) {
                  s.hardwareTest = 1;
                  copy(s.familyName, u"Dupr\u00e9");
                  s.ownerBlood = 7;
                  s.ownerSex = 2;
                  s.ownerAge = 81;
                  copy(s.alertNumber1, u"0612345678");
                  copy(s.alertNumber2, u"12");
                  s.alertsNumber = 2;
                  s.autoSpeakerphone = 0;
                  copy(s.hardwareKey, u"40C1");
                  s.gpsPortNumber = 3;  // what the registry held, not the 7 of the last run
              }));
    EXPECT_NE(describe(appSettings), saved);
}

TEST_F(Settings, SaveWithoutAStoredPortNumberDoesNotCreateOne) {
    appSettings.gpsPortNumber = 4;
    saveSettings();
    EXPECT_EQ(hive().find("GPS port number"), std::string::npos) << hive();
}

// Each row: one stored value, and the record after loading it at the first start.
TEST_F(Settings, StoredValuesAreLoadedOnlyWhenTheyFit) {
    struct Row {
        const char* legend;
        std::string values;
        std::function<void(AppSettings&)> change;
    };
    const std::vector<Row> rows = {
        {"a key holding only the age", "\"Owner age\"=dword:00000030\n",
         [](AppSettings& s) { s.ownerAge = 48; }},
        {"the port number", "\"GPS port number\"=dword:00000009\n",
         [](AppSettings& s) { s.gpsPortNumber = 9; }},
        {"value names compare without case", "\"OWNER SEX\"=dword:00000001\n",
         [](AppSettings& s) { s.ownerSex = 1; }},
        {"a first name of 20 characters is cut to 15", "\"First name\"=\"ABCDEFGHIJKLMNOPQRST\"\n",
         [](AppSettings& s) { copy(s.firstName, u"ABCDEFGHIJKLMNO"); }},
        {"a family name of 70 characters is cut to 63",
         "\"Family name\"=\"" + std::string(70, 'x') + "\"\n",
         [](AppSettings& s) { copy(s.familyName, std::u16string(63, u'x')); }},
        {"an alert number of 16 digits is cut to 15", "\"Alert number 2\"=\"1234567890123456\"\n",
         [](AppSettings& s) { copy(s.alertNumber2, u"123456789012345"); }},
        {"a text without terminator", "\"Hardware key\"=hex(1):34,00,30,00\n",
         [](AppSettings& s) { copy(s.hardwareKey, u"40"); }},
        {"a text of odd size loses its half unit", "\"Hardware key\"=hex(1):53,00,42,00,53\n",
         [](AppSettings& s) { copy(s.hardwareKey, u"SB"); }},
        {"a text ends at its first zero",
         "\"Alert number 1\"=hex(1):31,00,32,00,33,00,00,00,39,00,00,00\n",
         [](AppSettings& s) { copy(s.alertNumber1, u"123"); }},
        {"a number out of range is loaded unchanged", "\"Alerts number\"=dword:00000009\n",
         [](AppSettings& s) { s.alertsNumber = 9; }},
        {"a number stored as text is ignored", "\"Alerts number\"=\"7\"\n", {}},
        {"a number stored as binary is ignored", "\"Auto-answering\"=hex:00,00,00,00\n", {}},
        {"a dword of 2 bytes is ignored", "\"Owner age\"=hex(4):01,02\n", {}},
        {"a dword of 8 bytes is ignored",
         "\"GPS port number\"=hex(4):01,00,00,00,00,00,00,00\n",
         {}},
        {"a text stored as a number is ignored", "\"First name\"=dword:00000041\n", {}},
        {"a text stored as binary is ignored",
         "\"Alert number 1\"=hex:31,00,32,00,33,00,00,00\n",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        startWith(header + row.values);
        EXPECT_EQ(loadSettings(), 1);
        EXPECT_EQ(describe(appSettings), expected(row.change));
    }
}

TEST_F(Settings, LongestTextsSurviveASaveAndALoad) {
    copy(appSettings.firstName, u"\u00c9lisabeth-Zo\u00eb!");  // 15 characters
    copy(appSettings.familyName, std::u16string(63, u'\u00df'));
    copy(appSettings.alertNumber1, u"+33612345678901");
    saveSettings();
    const std::string saved = describe(appSettings);
    orven::resetRegistryForTests();
    resetSettingsForTests();
    loadSettings();
    EXPECT_EQ(describe(appSettings), saved);
}

// Every row of the table set to a value no default has (texts to their longest), saved,
// the record reset and loaded again: the record comes back whole, except the port number,
// which a save never writes.
TEST_F(Settings, EveryTableFieldSurvivesASaveAndALoad) {
    for (int i = 0; i < settingsValueCount; ++i) {
        const SettingsValue& row = settingsValues[i];
        SCOPED_TRACE(orven::toUtf8(row.name));
        void* field = row.field(appSettings);
        switch (row.kind) {
            case SettingsValue::number: *static_cast<int32_t*>(field) = 100 + i; break;
            case SettingsValue::sharedNumber:
                static_cast<std::atomic<int32_t>*>(field)->store(100 + i);
                break;
            case SettingsValue::text:
                copy(static_cast<WCHAR*>(field),
                     std::u16string(size_t(row.size - 1), char16_t(u'A' + i)));
                break;
        }
        EXPECT_EQ(row.saved, field != &appSettings.gpsPortNumber);
    }
    // A field without a row would still show its default.
    std::istringstream set(describe(appSettings)), defaults(expected());
    for (std::string line, defaultLine;
         std::getline(set, line) && std::getline(defaults, defaultLine);)
        EXPECT_NE(line, defaultLine) << "a field the table does not cover";

    const int32_t port = appSettings.gpsPortNumber;
    ASSERT_EQ(saveSettings(), 1);
    EXPECT_EQ(hive().find("GPS port number"), std::string::npos) << hive();
    const std::string saved = describe(appSettings);
    orven::resetRegistryForTests();
    resetSettingsForTests();
    ASSERT_EQ(loadSettings(), 1);
    std::string want = saved;
    const std::string portLine = "gpsPortNumber " + std::to_string(port) + "\n";
    want.replace(want.find(portLine), portLine.size(), "gpsPortNumber -1\n");
    EXPECT_EQ(describe(appSettings), want);
}

TEST(SettingsHelpers, AlertCountListAndOutOfRangeIndexes) {
    const struct {
        int32_t index;
        int32_t valid;
        int sends;
    } rows[] = {{0, 0, 1},  {1, 1, 2},  {2, 2, 3},   {3, 3, 4},        {4, 4, 5},       {5, 5, 10},
                {6, 6, 15}, {7, 5, 10}, {-1, 5, 10}, {INT_MAX, 5, 10}, {INT_MIN, 5, 10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(validAlertsNumber(row.index), row.valid);
        EXPECT_EQ(alertSendLimit(row.index), row.sends);
    }
}

TEST(SettingsHelpers, ANumberIsUsableFromThreeCharacters) {
    const struct {
        const WCHAR* number;
        bool usable;
    } rows[] = {{nullptr, false}, {u"", false},   {u"1", false},
                {u"12", false},   {u"123", true}, {u"+33612", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number ? orven::toUtf8(row.number) : "null");
        EXPECT_EQ(usableNumber(row.number), row.usable);
    }
}
