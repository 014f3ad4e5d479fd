// The main window's input and commands on the emulated phone: where a tap on the bottom
// bar lands on each screen size, what key releases and the soft keys do, the window
// keeping itself in front until the owner hides it, the tray icon bringing it back, and
// the commands that end the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "common/status_text.h"
#include "platform/testing.h"
#include "settings/app_settings.h"
#include "tests/test_status_support.h"

namespace {

using orven::test::Phone;

constexpr UINT_PTR alarmTimer = 8;
constexpr const char16_t* procedureBegins = u"Begin emergency procedure\nimmediately";

bool traced(const std::string& fragment) {
    auto lines = orven::test::traceLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

// Whether the trace shows `verb` ("SetTimer" or "KillTimer") for timer `id`.
bool tracedTimer(const char* verb, UINT_PTR id) {
    std::string idField = " id=" + std::to_string(id);
    for (const std::string& line : orven::test::traceLines()) {
        if (line.rfind(verb, 0) != 0) continue;
        size_t at = line.find(idField);
        if (at == std::string::npos) continue;
        size_t after = at + idField.size();
        if (after == line.size() || line[after] == ' ') return true;
    }
    return false;
}

// An alert number, no receiver mapped: the procedure can begin but finds nothing.
const std::string hiveWithAlertNumber =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
    "\"Alert number 1\"=\"600100200\"\r\n"
    "\"GPS port number\"=dword:00000003\r\n";

// The program past its start-up (no first-start questions: the settings exist), with a
// status text on the screen and the confirmation alarm ringing, ready for one input.
void startWithAlarmRinging(Phone& phone) {
    phone.writeHive("system.reg", hiveWithAlertNumber);
    phone.start(WinMain, u"");
    phone.advance(1100);
    phone.onGui([] {
        setStatusText(u"Alert confirmed\nfrom: 600100200");
        SetTimer(mainWindow, alarmTimer, 30000, nullptr);
    });
    orven::test::clearTrace();
}

struct TapRow {
    const char* legend;
    const char* profile;
    int x, y;
    bool opensMenu;
    int menuX, menuY;  // the popup's lower right corner when it opens
    bool beginsProcedure;
    bool clearsStatus;  // taps do nothing but silence the alarm on a Smartphone
};

void PrintTo(const TapRow& row, std::ostream* out) {
    *out << row.legend;
}

class Taps : public ::testing::TestWithParam<TapRow> {};

TEST_P(Taps, OnTheBottomBarOpenTheMenuOrBeginTheProcedure) {
    const TapRow& row = GetParam();
    Phone phone(row.profile);
    startWithAlarmRinging(phone);
    phone.tap(row.x, row.y);

    std::string menuAt = "TrackPopupMenu x=" + std::to_string(row.menuX) +
                         " y=" + std::to_string(row.menuY) + " flags=0x28";
    if (row.opensMenu) {
        EXPECT_TRUE(traced(menuAt)) << "expected " << menuAt;
        EXPECT_FALSE(orven::test::menuItems().empty());
        EXPECT_TRUE(orven::test::dismissPopupMenu());
    } else {
        EXPECT_FALSE(traced("TrackPopupMenu"));
    }
    std::u16string status = phone.read(statusNow);
    if (row.beginsProcedure)
        EXPECT_EQ(status, procedureBegins);
    else if (row.clearsStatus)
        EXPECT_EQ(status, u"");
    else
        EXPECT_EQ(status, u"Alert confirmed\nfrom: 600100200");
    EXPECT_EQ(tracedTimer("SetTimer", 1111), row.beginsProcedure);
    EXPECT_TRUE(tracedTimer("KillTimer", alarmTimer)) << "the alarm goes on ringing";
}

constexpr const char* pocketPc = "";
constexpr const char* narrowPocketPc = "screen-width = 176\nscreen-height = 220\n";
constexpr const char* smartphone =
    "screen-width = 176\nscreen-height = 220\nplatform = Smartphone\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, Taps,
    ::testing::Values(
        TapRow{"RightHalfOfTheBar", pocketPc, 200, 300, true, 229, 294, false, true},
        TapRow{"LeftHalfOfTheBar", pocketPc, 50, 300, false, 0, 0, true, true},
        TapRow{"ExactlyTheMiddle", pocketPc, 120, 300, false, 0, 0, false, true},
        TapRow{"AboveTheBar", pocketPc, 50, 290, false, 0, 0, false, true},
        TapRow{"TopRowOfTheBarIsNotInIt", pocketPc, 200, 294, false, 0, 0, false, true},
        TapRow{"NarrowRightHalf", narrowPocketPc, 150, 210, true, 165, 198, false, true},
        TapRow{"NarrowLeftHalf", narrowPocketPc, 40, 210, false, 0, 0, true, true},
        TapRow{"NarrowMiddle", narrowPocketPc, 88, 210, false, 0, 0, false, true},
        TapRow{"NarrowBarIsTwentyTwoHigh", narrowPocketPc, 40, 198, false, 0, 0, false, true},
        TapRow{"SmartphoneRightHalf", smartphone, 150, 210, false, 0, 0, false, false},
        TapRow{"SmartphoneLeftHalf", smartphone, 40, 210, false, 0, 0, false, false}),
    [](const ::testing::TestParamInfo<TapRow>& info) { return info.param.legend; });

TEST(SoftKeys, LeftBeginsTheProcedureRightOpensTheMenu) {
    Phone phone(smartphone);
    startWithAlarmRinging(phone);
    orven::test::softKey(1);
    EXPECT_TRUE(traced("TrackPopupMenu x=165 y=198 flags=0x28"));
    ASSERT_FALSE(orven::test::menuItems().empty());
    EXPECT_TRUE(orven::test::dismissPopupMenu());
    orven::test::softKey(0);
    EXPECT_EQ(phone.read(statusNow), procedureBegins);
}

TEST(MainMenu, EndsWithHideAndTheOwnerDrawnExit) {
    Phone phone;
    startWithAlarmRinging(phone);
    phone.tap(200, 300);
    auto items = orven::test::menuItems();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[items.size() - 2].id, 1136u);
    EXPECT_EQ(items[items.size() - 2].text, u"Hide (minimize)");
    EXPECT_EQ(items.back().id, 1135u);
    EXPECT_TRUE(items.back().ownerDrawn);
    EXPECT_TRUE(orven::test::dismissPopupMenu());
    // Opened again, the two items are appended once more to a fresh copy, not twice.
    phone.tap(200, 300);
    auto again = orven::test::menuItems();
    EXPECT_EQ(again.size(), items.size());
    EXPECT_TRUE(orven::test::choosePopupMenuItem(1135));  // "Exit"
    // Polled from here: once the program has ended, no call can run on its GUI thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!phone.finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(phone.finished());
}

struct KeyRow {
    const char* legend;
    const char* profile;
    int virtualKey;
    bool closes;
};

void PrintTo(const KeyRow& row, std::ostream* out) {
    *out << row.legend;
}

class KeyRelease : public ::testing::TestWithParam<KeyRow> {};

TEST_P(KeyRelease, ClearsTheStatusSilencesTheAlarmAndOnASmartphoneMayClose) {
    const KeyRow& row = GetParam();
    Phone phone(row.profile);
    startWithAlarmRinging(phone);
    orven::test::clearPlayedSounds();
    phone.keyUp(row.virtualKey);
    phone.advance(10);
    EXPECT_TRUE(tracedTimer("KillTimer", alarmTimer));
    EXPECT_EQ(phone.finished(), row.closes);
    if (row.closes) {
        auto sounds = orven::test::playedSounds();
        ASSERT_FALSE(sounds.empty());
        EXPECT_NE(sounds.back().file.find("/111.wav"), std::string::npos);
    } else {
        EXPECT_EQ(phone.read(statusNow), u"");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, KeyRelease,
                         ::testing::Values(KeyRow{"PocketPcHome", pocketPc, 0x24, false},
                                           KeyRow{"PocketPcSix", pocketPc, '6', false},
                                           KeyRow{"SmartphoneHome", smartphone, 0x24, true},
                                           KeyRow{"SmartphoneSix", smartphone, '6', true},
                                           KeyRow{"SmartphoneB", smartphone, 'B', true},
                                           KeyRow{"SmartphoneNumpadSix", smartphone, 0x66, true},
                                           KeyRow{"SmartphoneFive", smartphone, '5', false},
                                           KeyRow{"SmartphoneLowerCaseB", smartphone, 0x62, false}),
                         [](const ::testing::TestParamInfo<KeyRow>& info) {
                             return info.param.legend;
                         });

// Another program's window, to take the foreground from the main window.
HWND otherProgram() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"OtherProgram";
        RegisterClassW(&wc);
        registered = true;
    }
    return CreateWindowExW(0, u"OtherProgram", u"other", WS_VISIBLE, 0, 0, 240, 320, nullptr,
                           nullptr, nullptr, nullptr);
}

TEST(Foreground, TheWindowComesBackUntilHiddenAndTheTrayIconClearsTheHiding) {
    Phone phone;
    startWithAlarmRinging(phone);
    HWND other = phone.read(otherProgram);
    ASSERT_NE(other, nullptr);

    phone.onGui([&] { SetForegroundWindow(other); });
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return GetForegroundWindow(); }),
              phone.read([] { return mainWindow; }));

    // "Hide (minimize)": the window goes and lets the other program stay in front.
    phone.onGui([] { SendMessageW(mainWindow, WM_COMMAND, 1136, 0); });
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return hiddenByUser; }), 1u);
    EXPECT_FALSE(phone.read([] { return IsWindowVisible(mainWindow) != 0; }));
    phone.onGui([&] { SetForegroundWindow(other); });
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return GetForegroundWindow(); }), other);

    // A second start brings the window forward but it stays hidden by the owner: taken
    // to the background again, it does not pull itself back.
    phone.onGui([] { SetForegroundWindow(mainWindow); });
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return hiddenByUser; }), 1u);
    phone.onGui([&] { SetForegroundWindow(other); });
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return GetForegroundWindow(); }), other);

    // Minimised again, the shell's desktop shows the tray icon; a tap on it clears the flag.
    phone.onGui([] { SendMessageW(mainWindow, WM_COMMAND, 1136, 0); });
    phone.onGui([&] { DestroyWindow(other); });
    phone.advance(10);
    auto icons = orven::test::trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, u"ZURV: ORVEN\u2122");
    phone.tap((icons[0].rect.left + icons[0].rect.right) / 2,
              (icons[0].rect.top + icons[0].rect.bottom) / 2);
    phone.advance(10);
    EXPECT_EQ(phone.read([] { return hiddenByUser; }), 0u);
    EXPECT_TRUE(phone.read([] { return IsWindowVisible(mainWindow) != 0; }));
    EXPECT_EQ(phone.read([] { return GetForegroundWindow(); }),
              phone.read([] { return mainWindow; }));
}

TEST(HardwareButtonCommand, WithNoButtonAssignedNothingHappens) {
    Phone phone;
    startWithAlarmRinging(phone);
    std::string before = phone.readHive("system.reg");
    phone.onGui([] { SendMessageW(mainWindow, WM_COMMAND, 40030, 0); });
    phone.advance(100);
    EXPECT_FALSE(phone.finished());
    EXPECT_EQ(phone.read([] { return appSettings.hardwareTest; }), 0);
    EXPECT_EQ(phone.readHive("system.reg"), before);
}

TEST(HardwareButtonCommand, WithAButtonItSavesTheTestAndCloses) {
    Phone phone;
    phone.writeHive("system.reg", hiveWithAlertNumber + "\"Hardware key\"=\"40C1\"\r\n");
    phone.start(WinMain, u"");
    phone.advance(1100);
    phone.onGui([] { SendMessageW(mainWindow, WM_COMMAND, 40030, 0); });
    phone.advance(100);
    EXPECT_TRUE(phone.finished());
    EXPECT_NE(phone.readHive("system.reg").find("\"Hardware test\"=dword:00000001"),
              std::string::npos);
}

TEST(Commands, UnknownCommandsDoNothing) {
    Phone phone;
    startWithAlarmRinging(phone);
    phone.onGui([] { SendMessageW(mainWindow, WM_COMMAND, 12345, 0); });
    phone.advance(100);
    EXPECT_FALSE(phone.finished());
    EXPECT_EQ(phone.read(statusNow), u"Alert confirmed\nfrom: 600100200");
    EXPECT_TRUE(orven::test::messageBoxes().empty());
}

}  // namespace
