// The settings dialogs while the rest of the program lives: an alert going on (receiver
// and modem simulated, the procedure's timers delivered by the dialog's own loop) while
// the owner edits the alert numbers; and a hardware button assigned, the program closed,
// the button pressed: the first press only confirms, the next starts the procedure.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/startup.h"
#include "common/program.h"
#include "common/status_text.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"
#include "tests/test_status_support.h"

namespace {

using orven::test::Phone;

constexpr uint32_t realTimeStep = 1;  // virtual ms per real ms while real devices talk

HWND openFromMenu(const Phone& phone, WORD command) {
    orven::test::softKey(1);
    EXPECT_TRUE(orven::test::choosePopupMenuItem(command));
    return phone.read([] { return GetParent(GetFocus()); });
}

void tapControl(const Phone& phone, HWND dialog, int id) {
    RECT r = phone.read([&] {
        RECT rect{};
        GetWindowRect(GetDlgItem(dialog, id), &rect);
        return rect;
    });
    phone.tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

TEST(DialogDuringAnAlert, TheProcedureGoesOnAndANumberSavedMeanwhileConfirms) {
    Phone phone;
    auto modem = std::make_unique<orven::sim::Modem>();
    modem->setPartner(
        {orven::sim::Partner::Action::replyBySms, u"+48600999888", u"On my way", 3000, true});
    orven::sim::Scenario scenario;
    scenario.phases = {{orven::sim::Phase::fix, 0}};
    auto receiver = orven::sim::NmeaReceiver::start(scenario);
    phone.writeHive("system.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
                    "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000000\r\n"
                    "\"GPS port number\"=dword:00000004\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n\"COM4:\"=\"" +
                        receiver->devicePath() +
                        "\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" +
                        modem->path() + "\"\r\n");
    phone.start(WinMain, u"");
    phone.advance(1100);

    phone.tap(50, 300);  // "Alert now!"
    HWND dialog = openFromMenu(phone, 40011);
    ASSERT_NE(dialog, phone.read([] { return mainWindow; }));
    ASSERT_TRUE(phone.waitFor(
        [] { return statusNow() == u"Alert has sent correctly\nAwaiting for response..."; },
        realTimeStep, 15000))
        << orven::toUtf8(phone.read(statusNow));
    EXPECT_TRUE(phone.read([&] { return IsWindow(dialog) != FALSE; }));

    tapControl(phone, dialog, 1004);
    phone.type(u"600999888");
    orven::test::softKey(1);  // SAVE
    phone.advance(0);
    EXPECT_FALSE(phone.read([&] { return IsWindow(dialog) != FALSE; }));
    ASSERT_TRUE(phone.waitFor(
        [] { return statusNow() == u"Emergency message confirmed\nfrom: +48600999888"; },
        realTimeStep, 15000))
        << orven::toUtf8(phone.read(statusNow));
    ASSERT_EQ(modem->messages().size(), 1u);
    EXPECT_EQ(modem->messages()[0].number, u"600100200");
}

// Ctrl+Q's way out, so that the next scenario starts the program anew in this process.
void closeProgram(const Phone& phone) {
    phone.onGui([] { PostMessageW(mainWindow, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(phone.waitFor([&] { return phone.finished(); }));
}

// Presses hardware button 1 and returns the arguments the shell started the program
// with. The program itself is started by the test, in this process, on its virtual clock.
std::u16string pressButtonOne(const Phone& phone) {
    orven::test::setProgramExecutable("/bin/true");
    phone.hardwareButton(1);
    const auto launches = orven::test::buttonLaunches();
    EXPECT_FALSE(launches.empty());
    if (launches.empty()) return u"";
    EXPECT_NE(launches.back().command.find(u"ORVEN.exe\" -a"), std::u16string::npos);
    return launches.back().arguments;
}

// The first press after the assignment starts the program, which only confirms that the
// button works; every later press starts the procedure.
TEST(HardwareButton, AssignedThenConfirmedOnceThenAlerting) {
    std::string system;
    {
        Phone phone;
        phone.writeHive("system.reg",
                        "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
                        "\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000004"
                        "\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C1]\r\n"
                        "\"Name\"=\"Button 1\"\r\n@=\"\\\\Windows\\\\camera.exe\"\r\n");
        phone.start(WinMain, u"");
        phone.advance(1100);
        HWND dialog = openFromMenu(phone, 40018);
        RECT spinner = phone.read([&] {
            RECT rect{};
            GetWindowRect(GetDlgItem(dialog, 1001), &rect);
            return rect;
        });
        phone.tap(spinner.right - 2, (spinner.top + spinner.bottom) / 2);
        orven::test::softKey(1);  // SAVE: the program closes
        ASSERT_TRUE(phone.waitFor([&] { return phone.finished(); }));
        system = phone.readHive("system.reg");
        EXPECT_NE(system.find("ORVEN.exe\\\" -a\""), std::string::npos) << system;
        EXPECT_NE(system.find("\"Hardware test\"=dword:00000001"), std::string::npos);
    }

    // The first press starts the program with what the button holds ("-a"); it only
    // confirms that the button works, once, and stores that the test is done.
    std::string confirmed;
    {
        Phone phone;
        phone.writeHive("system.reg", system);
        const std::u16string arguments = pressButtonOne(phone);
        EXPECT_EQ(arguments, u"-a");
        orven::test::answerNextMessageBoxes({IDOK});
        phone.start(WinMain, arguments);
        ASSERT_TRUE(phone.waitFor([] { return !orven::test::messageBoxes().empty(); }));
        phone.advance(100);
        const auto boxes = orven::test::messageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.rfind(u"This message confirms, that your hardware button works", 0),
                  0u);
        EXPECT_EQ(phone.read(statusNow), u"");
        confirmed = phone.readHive("system.reg");
        EXPECT_NE(confirmed.find("\"Hardware test\"=dword:00000000"), std::string::npos)
            << confirmed;
        closeProgram(phone);
    }

    // Every later press begins the emergency procedure.
    Phone phone;
    phone.writeHive("system.reg", confirmed);
    orven::test::clearMessageBoxes();
    orven::test::clearTrace();
    phone.start(WinMain, pressButtonOne(phone));
    phone.advance(1100);
    // Timer 11 began the procedure: "Begin emergency procedure\nimmediately", and timer
    // 1111 armed for its first step.
    bool began = false;
    for (const std::string& line : orven::test::traceLines())
        began |= line.find("SetTimer") != std::string::npos &&
                 line.find("id=1111 ms=1000") != std::string::npos;
    EXPECT_TRUE(began) << orven::toUtf8(phone.read(statusNow));
    closeProgram(phone);
}

}  // namespace
