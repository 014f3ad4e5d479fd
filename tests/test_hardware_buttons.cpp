// The emulated phone's default registry (owner information, hardware buttons) and its
// hardware buttons: a press starts the command registered for the button, and the
// program's own command reaches the running instance through the single-instance path.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/testing.h"
#include "platform/windows.h"
#include "tests/test_owner_window.h"

namespace {

using orven::test::Phone;

std::u16string readText(HKEY root, LPCWSTR path, LPCWSTR name, DWORD* typeOut = nullptr) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
    BYTE data[1024] = {};
    DWORD size = sizeof(data) - 2, type = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (typeOut != nullptr) *typeOut = type;
    if (result != ERROR_SUCCESS) return u"<no value>";
    return std::u16string(reinterpret_cast<const char16_t*>(data));
}

TEST(DefaultRegistry, AFreshPhoneKnowsItsOwnerAndItsButtons) {
    Phone phone;
    DWORD type = 0;
    EXPECT_EQ(readText(HKEY_CURRENT_USER, u"\\ControlPanel\\Owner", u"Name", &type),
              u"Zo\u00eb \u0141uczak");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(readText(HKEY_CURRENT_USER, u"\\ControlPanel\\Owner", u"Owner", &type),
              u"Zo\u00eb \u0141uczak")
        << "the owner record begins with the name";
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    HKEY keys;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys", 0, KEY_READ, &keys),
        ERROR_SUCCESS);
    std::vector<std::u16string> names;
    WCHAR name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = 64;
        if (RegEnumKeyExW(keys, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    RegCloseKey(keys);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"40C1", u"40C2", u"40C3", u"40C4"}));
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C1", u"Name"),
              u"Button 1");
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C3", u"Name"),
              u"<no value>")
        << "a button known only by its command";
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\HOLBE\\KeyPref", u"SBS"), u"<no key>");
    // The defaults become the device's files with the first save.
    HKEY settings;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ZURV\\ORVEN", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &settings, nullptr);
    DWORD one = 1;
    RegSetValueExW(settings, u"Hardware test", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
    RegCloseKey(settings);
    EXPECT_NE(phone.readHive("system.reg").find("40C4"), std::string::npos);
}

TEST(DefaultRegistry, AKeyPreferencePhoneHasItsOneButton) {
    Phone phone("key-preference = yes\n");
    EXPECT_NE(readText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\HOLBE\\KeyPref", u"SBS"), u"<no key>");
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C1", u"Name"),
              u"<no key>");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A stand-in for the program: writes its arguments into a file.
std::string writeRecorder(const std::string& dir) {
    std::string path = dir + "/recorder.sh";
    std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << dir << "/started'\n";
    chmod(path.c_str(), 0700);
    return path;
}

TEST(HardwareButtons, EachButtonStartsItsRegisteredCommand) {
    Phone phone;
    std::string dir = phone.deviceDir();
    std::string recorder = writeRecorder(dir);
    orven::test::setProgramExecutable(recorder);
    std::u16string folder = orven::phonePath(dir) + u"\\";
    std::string shortcutFolder = orven::toUtf8(folder);
    // A shortcut of the phone's form, to the stand-in as an ordinary program.
    std::ofstream(dir + "/other.lnk") << "30#\"" << recorder << "\" --from-shortcut\n";
    auto quote = [](std::string text) {
        std::string out;
        for (char c : text)
            out += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
        return out;
    };
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    auto button = [&](int n, const std::string& command) {
        hive += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C" + std::to_string(n) +
                "]\n@=\"" + quote(command) + "\"\n\n";
    };
    button(1, "\"\\Program Files\\ORVEN\\ORVEN.exe\" -a");
    button(2, shortcutFolder + "ORVEN.lnk");
    button(3, "\"" + shortcutFolder + "other.lnk\"");
    button(4, "\"\\Windows\\calendar.exe\"");
    phone.writeHive("system.reg", hive);

    struct Row {
        const char* legend;
        int button;
        std::string executable;
        std::u16string arguments;
    } rows[] = {
        {"the program itself, by its phone name", 1, recorder, u"-a"},
        {"the installation's shortcut to the program", 2, recorder, u"-a"},
        {"a shortcut file to another program", 3, recorder, u"--from-shortcut"},
        {"a program the phone does not have", 4, "", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        phone.hardwareButton(row.button);
        auto launches = orven::test::buttonLaunches();
        ASSERT_FALSE(launches.empty());
        EXPECT_EQ(launches.back().executable, row.executable);
        if (!row.executable.empty()) {
            EXPECT_EQ(launches.back().arguments, row.arguments);
        }
    }
    // The stand-ins run on their own: wait (bounded) until the three have written.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string started;
    while ((started = readFile(dir + "/started"),
            std::count(started.begin(), started.end(), '\n') < 3) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> lines;
    std::istringstream in(started);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());  // the three run side by side
    EXPECT_EQ(lines, (std::vector<std::string>{"--from-shortcut", "-a", "-a"}));
}

// The program's own command, started by a button, reaches the running instance: a
// second `orven -a` finds it and arms its timer 1111.
HWND runningMain = nullptr;
bool heard1111 = false;

LRESULT CALLBACK mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == 1111) {
        heard1111 = true;
        KillTimer(hwnd, 1111);
        return 0;
    }
    return ownertest::ownerDefault(hwnd, message, wParam, lParam);
}

int runningProgram(HINSTANCE, HINSTANCE, LPWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = mainProc;
    wc.lpszClassName = u"ZURVCLASS_ORVEN";
    RegisterClassW(&wc);
    runningMain = CreateWindowExW(0, u"ZURVCLASS_ORVEN", u"ZURV: ORVEN\u2122", WS_VISIBLE, 0, 0,
                                  240, 320, nullptr, nullptr, nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    return 0;
}

TEST(HardwareButtons, TheProgramsButtonReachesTheRunningInstance) {
    Phone phone;
    setenv("ORVEN_DISPLAY", "headless", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("ORVEN_TRANSCRIPT", "off", 1);
    orven::test::setProgramExecutable(ORVEN_BINARY);
    phone.writeHive("system.reg",
                    "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C2]\n"
                    "@=\"\\\"\\\\Program Files\\\\ORVEN\\\\ORVEN.exe\\\" -a\"\n");
    phone.start(runningProgram, u"");
    phone.hardwareButton(2);
    EXPECT_TRUE(phone.waitFor([] { return heard1111; }, 100, 20000))
        << "the second start asked the running instance to begin the procedure";
    auto launches = orven::test::buttonLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].executable, ORVEN_BINARY);
    EXPECT_EQ(launches[0].arguments, u"-a");
    PostMessageW(runningMain, WM_CLOSE, 0, 0);
    phone.advance(0);
}

}  // namespace
