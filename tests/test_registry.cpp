// The registry over its hive files, and the device directory and profile: key and value
// semantics as the program relies on them, what reaches the files and when, damaged and
// unreadable hives, a save killed half-way, and use from two threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "platform/device.h"
#include "platform/hive.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> filesStartingWith(const std::string& directory,
                                           const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

HKEY createKey(HKEY root, LPCWSTR path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

LONG setNumber(HKEY key, LPCWSTR name, uint32_t value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

std::optional<uint32_t> getNumber(HKEY key, LPCWSTR name) {
    uint32_t value = 0;
    DWORD size = sizeof value, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != 4) {
        return std::nullopt;
    }
    return value;
}

LONG setText(HKEY key, LPCWSTR name, std::u16string_view text) {
    const auto data = orven::hive::stringData(text);
    return RegSetValueExW(key, name, 0, REG_SZ, data.data(), DWORD(data.size()));
}

// The text of a REG_SZ value, or "<missing>".
std::u16string getText(HKEY key, LPCWSTR name) {
    WCHAR buffer[256] = {};
    DWORD size = sizeof buffer - 2, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return u"<missing>";
    }
    return buffer;
}

// Every test gets a device directory of its own.
class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ov-reg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("ORVEN_DEVICE", dir_.c_str(), 1);
        orven::resetDeviceForTests();
    }
    void TearDown() override {
        orven::resetDeviceForTests();
        fs::remove_all(dir_);
    }
    std::string file(const char* name) const { return dir_ + "/" + name; }
    // What a later start of the program would find.
    static void restart() { orven::resetRegistryForTests(); }

    std::string dir_;
    const LPCWSTR orvenKey = u"SOFTWARE\\ZURV\\ORVEN";
};

}  // namespace

TEST_F(Registry, OpensOnlyExistingKeysAndCreatesThemWithTheirParents) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    DWORD disposition = 0;
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\zurv\\orven", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_NE(again, created);

    struct Row {
        const char* legend;
        HKEY root;
        LPCWSTR path;
        LONG expected;
    };
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &software),
              ERROR_SUCCESS);
    const Row rows[] = {
        {"a parent created with its child", HKEY_LOCAL_MACHINE, u"SOFTWARE\\ZURV", ERROR_SUCCESS},
        {"a leading and a trailing backslash", HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\ZURV\\ORVEN\\",
         ERROR_SUCCESS},
        {"a path relative to an opened key", software, u"zurv\\ORVEN", ERROR_SUCCESS},
        {"no path: the key itself", software, nullptr, ERROR_SUCCESS},
        {"the other hive does not share keys", HKEY_CURRENT_USER, orvenKey, ERROR_FILE_NOT_FOUND},
        {"a longer name is another key", HKEY_LOCAL_MACHINE, u"SOFTWARE\\ZURV\\ORVENX",
         ERROR_FILE_NOT_FOUND},
        {"an empty name inside the path", HKEY_LOCAL_MACHINE, u"SOFTWARE\\\\ZURV",
         ERROR_INVALID_PARAMETER},
        {"a name with a line break", HKEY_LOCAL_MACHINE, u"SOFT\nWARE", ERROR_INVALID_PARAMETER},
        {"an unknown handle", reinterpret_cast<HKEY>(0x1234), u"X", ERROR_INVALID_HANDLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        HKEY opened = nullptr;
        EXPECT_EQ(RegOpenKeyExW(row.root, row.path, 0, 0, &opened), row.expected);
        EXPECT_EQ(opened != nullptr, row.expected == ERROR_SUCCESS);
        if (opened) {
            EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
        }
    }
    for (HKEY open : {created, again, software}) EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(created), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setNumber(created, u"x", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, QueryFollowsTheRoomProtocol) {
    HKEY key = createKey(HKEY_CURRENT_USER, u"\\ControlPanel\\Owner");
    ASSERT_EQ(setText(key, u"Name", u"abc"), ERROR_SUCCESS);  // 8 bytes
    ASSERT_EQ(setText(key, nullptr, u"default"), ERROR_SUCCESS);

    struct Row {
        const char* legend;
        LPCWSTR name;
        bool withBuffer;
        DWORD room;
        LONG expected;
        DWORD sizeAfter;
        bool copied;
    };
    const Row rows[] = {
        {"size only", u"Name", false, 0, ERROR_SUCCESS, 8, false},
        {"exact room", u"Name", true, 8, ERROR_SUCCESS, 8, true},
        {"more room than needed", u"Name", true, 40, ERROR_SUCCESS, 8, true},
        {"too little room copies nothing", u"Name", true, 7, ERROR_MORE_DATA, 8, false},
        {"names compare without case", u"NAME", true, 40, ERROR_SUCCESS, 8, true},
        {"a missing value", u"Other", true, 40, ERROR_FILE_NOT_FOUND, 40, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        BYTE buffer[40];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        DWORD size = row.room, type = REG_NONE;
        EXPECT_EQ(RegQueryValueExW(key, row.name, nullptr, &type, row.withBuffer ? buffer : nullptr,
                                   &size),
                  row.expected);
        EXPECT_EQ(size, row.sizeAfter);
        EXPECT_EQ(type, row.expected == ERROR_SUCCESS || row.expected == ERROR_MORE_DATA
                            ? DWORD(REG_SZ)
                            : DWORD(REG_NONE));
        EXPECT_EQ(buffer[0], row.copied ? 'a' : 0xEE);
    }
    EXPECT_EQ(getText(key, u""), u"default");  // "" and no name both name the default value
    BYTE buffer[4];
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, RefusesWhatTheHiveCouldNotHold) {
    HKEY key = createKey(HKEY_LOCAL_MACHINE, orvenKey);
    const BYTE data[4] = {1, 2, 3, 4};
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"a\nb", 0, REG_BINARY, data, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"a\xD800", 0, REG_BINARY, data, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);  // empty binary
    EXPECT_EQ(RegSetValueExW(key, u"\U0001F691", 0, REG_BINARY, data, 4), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"X"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"x"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, EnumeratesSubkeysInTheHiveFilesOrder) {
    writeFile(
        file("system.reg"),
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C5]\n\"Name\"=\"Button 1\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C1\\Sub]\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C1]\n@=\"\\\\Windows\\\\calc."
        "exe\"\n");
    HKEY keys = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys", 0, 0, &keys),
              ERROR_SUCCESS);
    RegCloseKey(createKey(keys, u"40C2"));

    const std::vector<std::u16string> expected = {u"40C5", u"40C1", u"40C2"};
    for (DWORD index = 0; index <= expected.size(); ++index) {
        SCOPED_TRACE(index);
        WCHAR name[5];
        DWORD length = 5;
        const LONG result =
            RegEnumKeyExW(keys, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (index == expected.size()) {
            EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
            break;
        }
        ASSERT_EQ(result, ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(name), expected[index]);
        EXPECT_EQ(length, 4u);
        length = 4;  // no room for the terminator
        EXPECT_EQ(RegEnumKeyExW(keys, index, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_MORE_DATA);
    }
    HKEY button = nullptr;
    ASSERT_EQ(RegOpenKeyExW(keys, u"40c1", 0, 0, &button), ERROR_SUCCESS);
    EXPECT_EQ(getText(button, nullptr), u"\\Windows\\calc.exe");
    RegCloseKey(button);
    RegCloseKey(keys);
}

TEST_F(Registry, ChangesReachTheFileWhenTheKeyIsClosedOrFlushed) {
    HKEY key = createKey(HKEY_LOCAL_MACHINE, orvenKey);
    ASSERT_EQ(setNumber(key, u"Owner age", 42), ERROR_SUCCESS);
    ASSERT_EQ(setText(key, u"First name", u""), ERROR_SUCCESS);
    const BYTE owner[] = {0x41, 0, 0, 0};
    ASSERT_EQ(RegSetValueExW(key, u"Owner", 0, REG_BINARY, owner, sizeof owner), ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(file("system.reg")));  // nothing written before the close

    ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    const std::string flushed = readFile(file("system.reg"));
    // A fresh device's hive holds the phone's own keys first; ours follows.
    const std::string section =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\n"
        "\"Owner age\"=dword:0000002a\n\"First name\"=\"\"\n\"Owner\"=hex:41,00,00,00\n\n";
    EXPECT_EQ(flushed.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
    ASSERT_GE(flushed.size(), section.size());
    EXPECT_EQ(flushed.substr(flushed.size() - section.size()), section);
    struct stat info {};
    ASSERT_EQ(stat(file("system.reg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(fs::exists(file("user.reg")));

    ASSERT_EQ(setNumber(key, u"Owner age", 43), ERROR_SUCCESS);
    EXPECT_EQ(readFile(file("system.reg")), flushed);
    RegCloseKey(key);
    EXPECT_NE(readFile(file("system.reg")).find("\"Owner age\"=dword:0000002b\n"),
              std::string::npos);
    EXPECT_EQ(filesStartingWith(dir_, "system.reg"), std::vector<std::string>{"system.reg"});

    restart();
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(getNumber(key, u"Owner age"), 43u);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"First name", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);  // an empty text is its terminator
    RegCloseKey(key);
}

TEST_F(Registry, PicksUpHivesAPersonWroteBeforeTheStart) {
    writeFile(
        file("user.reg"),
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; the phone's owner\r\n"
        "[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n\"Name\"=\"Zo\xC3\xAB Dupr\xC3\xA9\"\r\n");
    writeFile(file("user.reg.tmp-Ab12Cd"), "left by a save that was killed");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\ControlPanel\\Owner", 0, 0, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(getText(key, u"Name"), u"Zo\u00eb Dupr\u00e9");
    RegCloseKey(key);
    EXPECT_EQ(filesStartingWith(dir_, "user.reg"), std::vector<std::string>{"user.reg"});
}

TEST_F(Registry, ADamagedHiveIsMovedAsideAndTheRegistryStartsEmpty) {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:zz\n";
    for (int round = 1; round <= 2; ++round) {  // twice within a second: both copies are kept
        SCOPED_TRACE(round);
        writeFile(file("system.reg"), damaged + std::to_string(round));
        restart();
        testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"X", 0, 0, &key), ERROR_FILE_NOT_FOUND);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find("system.reg"), std::string::npos) << said;
        EXPECT_NE(said.find("line 4"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(file("system.reg")));
    }
    const auto asides = filesStartingWith(dir_, "system.reg.corrupt-");
    ASSERT_EQ(asides.size(), 2u);
    std::set<std::string> contents;
    for (const auto& name : asides) contents.insert(readFile(dir_ + "/" + name));
    EXPECT_EQ(contents, (std::set<std::string>{damaged + "1", damaged + "2"}));

    HKEY key = createKey(HKEY_LOCAL_MACHINE, u"X");
    setNumber(key, u"a", 1);
    RegCloseKey(key);
    EXPECT_TRUE(orven::hive::parse(readFile(file("system.reg"))).ok);
    EXPECT_EQ(filesStartingWith(dir_, "system.reg.corrupt-").size(), 2u);
}

TEST_F(Registry, AHiveThatCannotBeReadIsNeverOverwritten) {
    struct Row {
        const char* legend;
        std::function<void(const std::string&)> make;  // what stands at the hive's path
    };
    const Row rows[] = {
        {"a directory (unreadable as a file, even for root)",
         [](const std::string& path) {
             fs::create_directory(path);
             writeFile(path + "/keep", "x");
         }},
        {"a FIFO, which must not block the reader",
         [](const std::string& path) { mkfifo(path.c_str(), 0600); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        fs::remove_all(file("system.reg"));
        row.make(file("system.reg"));
        const auto before = fs::status(file("system.reg")).type();
        restart();
        testing::internal::CaptureStderr();
        HKEY key = createKey(HKEY_LOCAL_MACHINE, orvenKey);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("system.reg"), std::string::npos);
        ASSERT_EQ(setNumber(key, u"a", 7), ERROR_SUCCESS);
        EXPECT_EQ(getNumber(key, u"a"), 7u);  // kept in memory for the rest of the run
        EXPECT_NE(RegFlushKey(key), ERROR_SUCCESS);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        EXPECT_EQ(fs::status(file("system.reg")).type(), before);
    }
    EXPECT_EQ(filesStartingWith(dir_, "system.reg"), std::vector<std::string>{"system.reg"});
}

TEST_F(Registry, KeysOfTheOtherRootAreKeptButNotUsed) {
    writeFile(file("system.reg"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Stray]\n\"s\"=\"1\"\n");
    testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Stray", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("outside HKEY_LOCAL_MACHINE"),
              std::string::npos);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Stray", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    key = createKey(HKEY_LOCAL_MACHINE, orvenKey);
    setNumber(key, u"a", 1);
    RegCloseKey(key);
    EXPECT_NE(readFile(file("system.reg")).find("[HKEY_CURRENT_USER\\Stray]\n\"s\"=\"1\"\n"),
              std::string::npos);
}

// A child process saves in a loop and is killed at a different moment each round. The
// hive left behind must parse and hold one whole save: the counter, its copy and the
// padding all from the same round.
TEST_F(Registry, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewHive) {
    constexpr int rounds = 12;
    constexpr size_t paddingSize = 96 * 1024;  // makes each save long enough to be hit
    uint32_t lastSeen = 0;
    const auto counterOnDisk = [&]() -> uint32_t {
        const auto now = orven::hive::parse(readFile(file("system.reg")));
        const auto* key = now.hive.findKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN");
        const auto* counter = key ? key->findValue(u"Counter") : nullptr;
        return counter && counter->data.size() == 4 ? counter->data[0] | counter->data[1] << 8 : 0;
    };
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        restart();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (uint32_t i = lastSeen + 1; i < lastSeen + 100000; ++i) {
                HKEY key = nullptr;
                RegCreateKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr);
                setNumber(key, u"Counter", i);
                const std::vector<BYTE> padding(paddingSize, BYTE(i));
                RegSetValueExW(key, u"Padding", 0, REG_BINARY, padding.data(),
                               DWORD(padding.size()));
                setNumber(key, u"Copy", i);
                RegCloseKey(key);
            }
            _exit(0);
        }
        // Let the child complete 1 to 3 more saves (bounded poll), then kill it mid-loop.
        const uint32_t target = lastSeen + 1 + uint32_t(round % 3);
        for (int poll = 0; poll < 20000 && counterOnDisk() < target; ++poll) {
            usleep(500);  // a real process on a real disk: nothing virtual to advance
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        const auto left = orven::hive::parse(readFile(file("system.reg")));
        ASSERT_TRUE(left.ok) << left.error;
        restart();
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, 0, &key), ERROR_SUCCESS);
        const auto counter = getNumber(key, u"Counter");
        ASSERT_TRUE(counter.has_value());
        EXPECT_EQ(getNumber(key, u"Copy"), counter);
        std::vector<BYTE> padding(paddingSize + 1);
        DWORD size = DWORD(padding.size());
        ASSERT_EQ(RegQueryValueExW(key, u"Padding", nullptr, nullptr, padding.data(), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, paddingSize);
        EXPECT_EQ(std::count(padding.begin(), padding.begin() + size, BYTE(*counter)),
                  ptrdiff_t(paddingSize));
        EXPECT_GE(*counter, lastSeen);
        lastSeen = *counter;
        RegCloseKey(key);
        // Temporary files of the killed save were removed when the hive was read again.
        EXPECT_EQ(filesStartingWith(dir_, "system.reg"), std::vector<std::string>{"system.reg"});
    }
}

// The GPS reader thread stores the port number while the GUI thread saves settings.
// Bursts of writes between the saves give ThreadSanitizer overlapping calls to judge.
TEST_F(Registry, TwoThreadsWritingTheSameKeyLoseNothing) {
    constexpr uint32_t saves = 30;
    constexpr uint32_t burst = 40;  // writes between two saves
    const auto writer = [&](LPCWSTR own) {
        for (uint32_t i = 1; i <= saves * burst; ++i) {
            HKEY key = createKey(HKEY_LOCAL_MACHINE, orvenKey);
            for (const uint32_t end = i + burst - 1; i < end; ++i) {
                setNumber(key, own, i);
                setText(key, u"Shared", own);
                EXPECT_EQ(getNumber(key, own), i);
            }
            setNumber(key, own, i);
            RegCloseKey(key);
        }
    };
    std::thread gui(writer, u"Alerts number"), reader(writer, u"GPS port number");
    gui.join();
    reader.join();

    restart();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, orvenKey, 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(getNumber(key, u"Alerts number"), saves * burst);
    EXPECT_EQ(getNumber(key, u"GPS port number"), saves * burst);
    const std::u16string shared = getText(key, u"Shared");
    EXPECT_TRUE(shared == u"Alerts number" || shared == u"GPS port number");
    RegCloseKey(key);
}

// ---- The device directory and profile

TEST_F(Registry, DeviceDirectoryComesFromTheEnvironment) {
    struct Row {
        const char* legend;
        const char* device;
        const char* dataHome;
        const char* home;
        std::string expected;
    };
    const Row rows[] = {
        {"ORVEN_DEVICE first", "/A/dev", "/A/data", "/A/home", "/A/dev"},
        {"then XDG_DATA_HOME", "", "/A/data", "/A/home", "/A/data/orven/device"},
        {"a relative XDG_DATA_HOME is ignored", nullptr, "rel", "/A/home",
         "/A/home/.local/share/orven/device"},
        {"then HOME", nullptr, nullptr, "/A/home", "/A/home/.local/share/orven/device"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        const auto set = [&](const char* name, const char* value) {
            if (value)
                setenv(name, (value[0] == '/' ? dir_ + value : std::string(value)).c_str(), 1);
            else
                unsetenv(name);
        };
        set("ORVEN_DEVICE", row.device);
        set("XDG_DATA_HOME", row.dataHome);
        set("HOME", row.home);
        orven::resetDeviceForTests();
        EXPECT_EQ(orven::deviceDirectory(), dir_ + row.expected);
        struct stat info {};
        ASSERT_EQ(stat((dir_ + row.expected).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    setenv("ORVEN_DEVICE", dir_.c_str(), 1);
}

TEST_F(Registry, ProfileSetsWhatTheSystemReports) {
    struct Row {
        const char* legend;
        const char* profile;  // nullptr: no file
        int width, height;
        std::u16string platform;
        int major;
        bool complaint;  // a line on standard error
    };
    const Row rows[] = {
        {"no file: defaults", nullptr, 240, 320, u"PocketPC", 5, false},
        {"every key",
         "# QVGA Smartphone\nscreen-width = 320\nscreen-height=240\nplatform = smartphone\n"
         "os-major-version = 4\n",
         320, 240, u"Smartphone", 4, false},
        {"bad values keep the defaults",
         "screen-width = -1\nplatform = Palm\nos-major-version = 5x\n", 240, 320, u"PocketPC", 5,
         true},
        {"unknown keys are reported", "colour = red\nscreen-height = 400\n", 240, 400, u"PocketPC",
         5, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        fs::remove(file("profile"));
        if (row.profile) writeFile(file("profile"), row.profile);
        orven::resetDeviceForTests();
        testing::internal::CaptureStderr();
        const orven::DeviceProfile& profile = orven::deviceProfile();
        EXPECT_EQ(!testing::internal::GetCapturedStderr().empty(), row.complaint);
        EXPECT_EQ(profile.screenWidth, row.width);
        EXPECT_EQ(profile.screenHeight, row.height);

        WCHAR platform[260];
        ASSERT_TRUE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platform, platform, 0));
        EXPECT_EQ(std::u16string(platform), row.platform);
        EXPECT_FALSE(SystemParametersInfoW(SPI_GETPLATFORMTYPE, DWORD(row.platform.size() * 2),
                                           platform, 0));
        OSVERSIONINFOW version{};
        EXPECT_FALSE(GetVersionExW(&version));  // the size field must be filled in
        version.dwOSVersionInfoSize = 276;
        ASSERT_TRUE(GetVersionExW(&version));
        EXPECT_EQ(version.dwMajorVersion, DWORD(row.major));
    }
}
