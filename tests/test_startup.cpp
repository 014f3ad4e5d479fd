// The program's start-up in-process: the main window fills the screen of the device
// profile, the command line's alert request, the program's folder, the settings loaded
// at creation, and Ctrl+Q ending the program through its destroy handler.
#include <gtest/gtest.h>

#include <unistd.h>

#include "app/startup.h"
#include "platform/testing.h"
#include "settings/app_settings.h"

namespace {

using orven::test::Phone;

TEST(Startup, MainWindowFillsTheScreenAndIsShown) {
    Phone phone;
    phone.start(WinMain, u"");
    RECT rect = phone.read([] {
        RECT r{};
        GetWindowRect(mainWindow, &r);
        return r;
    });
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 240);
    EXPECT_EQ(rect.bottom, 320);
    EXPECT_TRUE(phone.read([] { return IsWindowVisible(mainWindow) != 0; }));
}

TEST(Startup, MainWindowFollowsTheProfilesScreenSize) {
    Phone phone("screen-width = 176\nscreen-height = 220\nplatform = Smartphone\n");
    phone.start(WinMain, u"");
    RECT rect = phone.read([] {
        RECT r{};
        GetClientRect(mainWindow, &r);
        return r;
    });
    EXPECT_EQ(rect.right, 176);
    EXPECT_EQ(rect.bottom, 220);
}

struct CommandLineRow {
    const char* legend;
    const char16_t* commandLine;
    DWORD launchedWithAlert;
};

void PrintTo(const CommandLineRow& row, std::ostream* out) {
    *out << row.legend;
}

class CommandLine : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(CommandLine, AnyLowerCaseAAsksForAnAlert) {
    Phone phone;
    phone.start(WinMain, GetParam().commandLine);
    EXPECT_EQ(phone.read([] { return launchedWithAlert; }), GetParam().launchedWithAlert);
}

// One program per row: each runs in a process of its own.
INSTANTIATE_TEST_SUITE_P(Rows, CommandLine,
                         ::testing::Values(CommandLineRow{"HardwareButton", u"-a", 1},
                                           CommandLineRow{"Empty", u"", 0},
                                           CommandLineRow{"UpperCaseOnly", u"A", 0},
                                           CommandLineRow{"LetterInsideAWord", u"/start alarm", 1},
                                           CommandLineRow{"UpperCaseOptions", u"-A -B", 0}),
                         [](const ::testing::TestParamInfo<CommandLineRow>& info) {
                             return info.param.legend;
                         });

TEST(Startup, AppFolderIsTheExecutablesFolderEndingInABackslash) {
    Phone phone;
    phone.start(WinMain, u"");
    std::u16string folder = phone.read([] { return std::u16string(appFolder); });
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), u'\\');
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    std::string exe(self, static_cast<size_t>(n));
    EXPECT_EQ(orven::linuxPath(folder), exe.substr(0, exe.rfind('/') + 1));
}

TEST(Startup, SettingsAreLoadedWhenTheWindowIsCreated) {
    Phone phone;
    phone.writeHive("system.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
                    "\"Alert number 1\"=\"600100200\"\r\n"
                    "\"GPS port number\"=dword:00000004\r\n");
    phone.start(WinMain, u"");
    EXPECT_EQ(phone.read([] { return std::u16string(appSettings.alertNumber1); }), u"600100200");
    EXPECT_EQ(phone.read([] { return appSettings.gpsPortNumber.load(); }), 4);
}

TEST(Startup, CtrlQEndsTheProgramWithTheClosingCue) {
    Phone phone;
    phone.start(WinMain, u"");
    orven::test::clearPlayedSounds();
    phone.keyPress('Q', /*control=*/true);
    ASSERT_TRUE(phone.waitFor([&] { return phone.finished(); })) << "Ctrl+Q did not end it";
    EXPECT_EQ(phone.exitCode(), 0);
    auto played = orven::test::playedSounds();
    ASSERT_EQ(played.size(), 1u);
    EXPECT_NE(played[0].file.find("sounds/111.wav"), std::string::npos);
    EXPECT_FALSE(played[0].async);
}

TEST(Startup, QWithoutCtrlDoesNothing) {
    Phone phone;
    phone.start(WinMain, u"");
    phone.keyPress('Q');
    phone.advance(1000);
    EXPECT_FALSE(phone.finished());
}

}  // namespace
