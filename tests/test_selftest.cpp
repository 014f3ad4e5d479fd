// The two self-test dialogs end to end: the program's own WinMain on the emulated phone,
// the dialogs opened from the main menu's commands, simulated receivers on
// pseudo-terminals mapped as COM ports and a simulated modem with a partner. Virtual
// time runs the timers; while a receiver or the modem talks, waits are bounded polls
// that advance virtual time about as fast as real time passes.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "alert/alert_message.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/status_text.h"
#include "platform/testing.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"
#include "tests/test_status_support.h"

namespace {

using orven::sim::Modem;
using orven::sim::NmeaReceiver;
using orven::sim::Phase;

constexpr uint32_t realTimeStep = 1;  // virtual ms per real ms while real devices talk
const std::u16string testPosition = u"N12.345677\u00b0 E123.456789\u00b0";
const std::u16string testEnding = u" \nTest message!\nPlease reply or call.";

// The numbers of the cues played so far, "5a" for an asynchronous one.
std::vector<std::string> cues() {
    std::vector<std::string> played;
    for (const auto& sound : orven::test::playedSounds()) {
        const size_t slash = sound.file.rfind('/');
        played.push_back(sound.file.substr(slash + 1, sound.file.find('.', slash) - slash - 1) +
                         (sound.async ? "a" : ""));
    }
    return played;
}

// The COM numbers CreateFileW was asked for, in order.
std::vector<int> portsTried() {
    std::vector<int> tried;
    const std::string prefix = "CreateFile name=COM";
    for (const std::string& line : orven::test::traceLines())
        if (line.rfind(prefix, 0) == 0) tried.push_back(std::stoi(line.substr(prefix.size())));
    return tried;
}

enum class Port { missing, silent, noFix, fix };

// One emulated phone running the program, with its modem and receivers.
struct Rig {
    orven::test::Phone phone;
    std::unique_ptr<Modem> modem = std::make_unique<Modem>();
    std::map<int, std::unique_ptr<NmeaReceiver>> receivers;

    // Maps COMn to a receiver that talks only while its port is open.
    void plug(int port, Port kind) {
        if (kind == Port::missing) {
            orven::sim::mapComPort(port, "/nonexistent/ttyGPS");
            return;
        }
        if (kind == Port::silent) plug(port, {{Phase::silent, 0}});
        if (kind == Port::noFix) plug(port, {{Phase::noFix, 0}});
        if (kind == Port::fix) plug(port, {{Phase::fix, 0}});
    }
    void plug(int port, const std::vector<Phase>& phases) {
        orven::sim::Scenario scenario;
        scenario.idleWhileClosed = true;
        scenario.phases = phases;
        receivers[port] = NmeaReceiver::start(scenario);
        orven::sim::mapComPort(port, receivers[port]->devicePath());
    }

    // The settings lines, the modem, and the receivers; then the program starts.
    void start(const std::string& settings, const std::map<int, Port>& ports = {}) {
        phone.writeHive("system.reg",
                        "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n" +
                            settings +
                            "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" +
                            modem->path() + "\"\r\n");
        // The first-start question about an unknown receiver, when asked, is answered No.
        if (settings.find("GPS port number") == std::string::npos)
            orven::test::answerNextMessageBoxes({IDNO});
        phone.start(WinMain, u"");
        phone.advance(1100);  // timers 1 and 11: the radio starts, cue 1
        for (const auto& [port, kind] : ports) plug(port, kind);
        orven::test::clearTrace();
        orven::test::clearPlayedSounds();
    }

    // Opens a dialog with the main menu's command; returns it.
    HWND open(WORD command) {
        PostMessageW(mainWindow, WM_COMMAND, command, 0);
        phone.advance(0);
        return dialog();
    }
    // The open dialog (a top-level window with a hint text), or null.
    HWND dialog() const {
        return phone.read([] {
            HWND found = nullptr;
            EnumWindows(
                [](HWND window, LPARAM result) -> BOOL {
                    if (GetDlgItem(window, hintControl) == nullptr) return TRUE;
                    *reinterpret_cast<HWND*>(result) = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            return found;
        });
    }
    void tap(HWND window, int control) const {
        const RECT r = phone.read([&] {
            RECT rect{};
            GetWindowRect(GetDlgItem(window, control), &rect);
            return rect;
        });
        phone.tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    std::u16string text(HWND window, int control) const {
        return phone.read([&] {
            WCHAR buffer[300];
            GetDlgItemTextW(window, control, buffer, 300);
            return std::u16string(buffer);
        });
    }
    void pressTest() const {
        orven::test::softKey(1);
        phone.advance(0);
    }
    void pressClose() const {
        orven::test::softKey(0);
        phone.advance(0);
    }

    // Runs until pred holds: virtual time in 100 ms steps while no receiver's port is
    // open, about as fast as real time once one is.
    bool runUntil(const std::function<bool()>& pred, uint32_t virtualLimitMs = 120000) {
        for (uint32_t spent = 0; spent < virtualLimitMs;) {
            if (phone.read(pred)) return true;
            const HANDLE port = gpsState.portHandle.load();
            if (port != INVALID_HANDLE_VALUE && gpsState.searchState.load() != 2) {
                if (phone.waitFor(pred, realTimeStep, 200)) return true;
                spent += 200;
            } else {
                phone.advance(100);
                spent += 100;
            }
        }
        return phone.read(pred);
    }

    // Whether any pixel of the control shows pure red.
    bool showsRed(HWND window, int control) const {
        RECT box = phone.read([&] {
            RECT r{};
            GetWindowRect(GetDlgItem(window, control), &r);
            return r;
        });
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                if (orven::test::pixel(x, y) == 0xFF0000u) return true;
        return false;
    }
};

// ---- The GPS receiver test

struct GpsRow {
    const char* legend;
    int32_t savedPort;  // -1: no receiver known
    std::map<int, Port> ports;
    std::u16string firstStatus;
    std::vector<int> tried;
    std::vector<std::string> firstCues;
    std::u16string finalStatus;  // a prefix
    int32_t finalPort;
};

void PrintTo(const GpsRow& row, std::ostream* out) {
    *out << row.legend;
}

class GpsTest : public ::testing::TestWithParam<GpsRow> {};

TEST_P(GpsTest, SearchesShowsThePositionAndSendsNothing) {
    const GpsRow& row = GetParam();
    SCOPED_TRACE(row.legend);
    Rig t;
    std::string settings = "\"Alert number 1\"=\"600100200\"\r\n";
    if (row.savedPort >= 0)
        settings += "\"GPS port number\"=dword:0000000" + std::to_string(row.savedPort) + "\r\n";
    t.start(settings, row.ports);
    HWND box = t.open(gpsTestCommand);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(t.text(box, gpsTestStatusControl), u"GPS Rx: ?");
    EXPECT_TRUE(portsTried().empty()) << "nothing starts before TEST";

    t.pressTest();
    EXPECT_EQ(t.text(box, gpsTestStatusControl), row.firstStatus);
    ASSERT_TRUE(t.runUntil([&] {
        WCHAR line[100];
        GetDlgItemTextW(box, gpsTestStatusControl, line, 100);
        return std::u16string(line).rfind(row.finalStatus, 0) == 0;
    })) << orven::toUtf8(t.text(box, gpsTestStatusControl));
    EXPECT_EQ(portsTried(), row.tried);
    const std::vector<std::string> played = cues();
    ASSERT_GE(played.size(), row.firstCues.size());
    EXPECT_EQ(std::vector<std::string>(played.begin(), played.begin() + row.firstCues.size()),
              row.firstCues);
    EXPECT_EQ(t.phone.read([] { return appSettings.gpsPortNumber.load(); }), row.finalPort);

    const bool found = row.finalPort >= 0;
    if (found) {
        EXPECT_EQ(t.text(box, hintControl).rfind(u"This test will try to connect \n", 0), 0u)
            << "the explanation is back";
        EXPECT_EQ(gpsState.searchState.load(), 0);
        EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(t.showsRed(box, gpsTestStatusControl));
    } else {
        EXPECT_EQ(gpsState.searchState.load(), 2);
        EXPECT_TRUE(t.showsRed(box, gpsTestStatusControl));
        // A new start is refused until the dialog is closed.
        orven::test::clearTrace();
        t.pressTest();
        t.phone.advance(10000);
        EXPECT_TRUE(portsTried().empty());
        EXPECT_EQ(t.text(box, gpsTestStatusControl), row.finalStatus);
    }
    // Timer 5 of the main window follows the fix; the dialog stays, nothing is sent.
    t.phone.advance(5000);
    EXPECT_EQ(t.dialog(), box);
    t.pressClose();
    EXPECT_EQ(t.dialog(), nullptr);
    EXPECT_EQ(gpsState.searchState.load(), 0);
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
    t.phone.advance(70000);
    EXPECT_TRUE(t.modem->messages().empty());
    if (found) {
        EXPECT_EQ(t.phone.read(statusNow).rfind(u"Position found at ", 0), 0u);
        EXPECT_EQ(t.phone.read(statusNow).find(u"Alert is sending away"), std::u16string::npos);
        // "TEST" after a found position starts a new test.
        box = t.open(gpsTestCommand);
        orven::test::clearTrace();
        t.pressTest();
        EXPECT_FALSE(portsTried().empty());
        t.pressClose();
    } else {
        // Closed and opened again, the test starts over from COM0.
        box = t.open(gpsTestCommand);
        EXPECT_FALSE(t.showsRed(box, gpsTestStatusControl));
        t.pressTest();
        EXPECT_EQ(t.text(box, gpsTestStatusControl), u"Searching GPS Rx\nin port COM0...");
        t.pressClose();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GpsTest,
    ::testing::Values(
        GpsRow{"the remembered COM3 is silent: after 7.5 s the search starts over at COM0",
               3,
               {{3, Port::silent}, {4, Port::fix}},
               u"Connecting GPS Rx\nin port COM3...",
               {3, 0, 1, 2, 3, 4},
               {"3", "2", "4"},
               u"Localization found:\nN48.117",
               4},
        GpsRow{"the remembered COM3 is missing: the search goes on at COM4",
               3,
               {{3, Port::missing}, {4, Port::fix}},
               u"Connecting GPS Rx\nin port COM3...",
               {3, 4},
               {"3", "4"},
               u"Localization found:\nN48.117",
               4},
        GpsRow{"no receiver known, a fix on COM1",
               -1,
               {{1, Port::fix}},
               u"Searching GPS Rx\nin port COM0...",
               {0, 1},
               {"2", "4"},
               u"Localization found:\nN48.117",
               1},
        GpsRow{"no receiver anywhere: all ten ports, then red, and TEST is refused",
               -1,
               {{2, Port::silent}, {5, Port::missing}},
               u"Searching GPS Rx\nin port COM0...",
               {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
               {"2"},
               u"GPS Rx wasn't found\nin any serial port.",
               -1}));

// While the receiver answers without a fix, the dialog shows the satellite counts under
// the last sentence it caught.
TEST(GpsTestDialog, AwaitingAPositionShowsTheLastSentence) {
    Rig t;
    t.start("\"GPS port number\"=dword:00000002\r\n", {{2, Port::noFix}});
    HWND box = t.open(gpsTestCommand);
    t.pressTest();
    ASSERT_TRUE(t.runUntil([&] {
        WCHAR line[100];
        GetDlgItemTextW(box, gpsTestStatusControl, line, 100);
        return std::u16string(line) == u"GPS Rx in port COM2\nAwaiting for position...";
    }));
    for (int second = 0; second < 3; ++second) {
        t.phone.waitFor([] { return false; }, realTimeStep, 1000);
        const std::u16string shown = t.text(box, hintControl);
        EXPECT_NE(shown.find(u"\nSatellites: "), std::u16string::npos);
    }
    t.pressClose();
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
}

// A GPS test right after an alert search that ended without a position: its fix is only
// shown, whatever ended the alert's search.
struct EndedSearchRow {
    const char* legend;
    std::map<int, Port> alertPorts;
    int32_t savedPort;
    std::u16string alertEnd;
    int testPort;  // where the GPS test then finds a fix
    // Virtual time the GPS test's receiver stays quiet after each group without a fix,
    // before its next group; the last group has the fix. Empty: a fix from the start.
    std::vector<uint32_t> testQuietMs{};
};

// The number of times timer 4 was armed so far: once for every sentence the reader
// took from a receiver it found.
size_t receiverWatchdogArmings() {
    size_t count = 0;
    for (const std::string& line : orven::test::traceLines())
        if (line.find(" id=4 ms=30000") != std::string::npos) ++count;
    return count;
}

// Whether a reader thread has ended: its last act is a silent Shift release.
bool readerEnded() {
    for (const std::string& line : orven::test::traceLines())
        if (line == "keybd_event vk=0x10 flags=0x6") return true;
    return false;
}

void PrintTo(const EndedSearchRow& row, std::ostream* out) {
    *out << row.legend;
}

const std::u16string positionMissed = u"GPS position missed\n ";

class AfterAlertSearch : public ::testing::TestWithParam<EndedSearchRow> {};

TEST_P(AfterAlertSearch, TheGpsTestsFixSendsNothing) {
    const EndedSearchRow& row = GetParam();
    {
        SCOPED_TRACE(row.legend);
        Rig scenario;
        std::string settings = "\"Alert number 1\"=\"600100200\"\r\n";
        if (row.savedPort >= 0) settings += "\"GPS port number\"=dword:00000003\r\n";
        scenario.start(settings, row.alertPorts);
        scenario.phone.tap(50, 300);  // "Alert now!"
        if (row.alertEnd == positionMissed) {
            // A receiver that never has a fix: a sentence every 20 s of virtual time keeps
            // timer 4 away until timer 44 ends the search, 3 minutes after it was found.
            for (int step = 0; step < 12 && scenario.phone.read(statusNow) != row.alertEnd;
                 ++step) {
                const size_t armed = receiverWatchdogArmings();
                ASSERT_TRUE(scenario.runUntil([&] { return receiverWatchdogArmings() > armed; }));
                scenario.phone.advance(20000);
            }
        } else if (row.savedPort >= 0) {
            // Unplugged once the reader has taken a sentence from the receiver it found (timer
            // 4 armed); timer 4 ends the search 30 s after the reader's last sentence.
            ASSERT_TRUE(scenario.runUntil([] { return receiverWatchdogArmings() > 0; }));
            scenario.receivers[3]->unplug();
            ASSERT_TRUE(scenario.phone.waitFor([] { return readerEnded(); }, realTimeStep));
            scenario.phone.advance(31000);
        }
        ASSERT_TRUE(scenario.runUntil([&] { return statusNow() == row.alertEnd; }))
            << orven::toUtf8(scenario.phone.read(statusNow));
        scenario.receivers.erase(row.testPort);
        // The test's receiver sends a group without a fix each time it is switched on, while
        // the main window's watchdogs (30 s of silence, 3 minutes without a fix) come due
        // in between; the last time it has a fix. Its port is open and set up before the
        // first group: nothing of a group is lost, and each of its sentences arms timer 4.
        std::vector<Phase> phases;
        for (size_t quiet = 0; quiet < row.testQuietMs.size(); ++quiet)
            phases.insert(phases.end(), {{Phase::off, 0}, {Phase::noFix, 1}});
        phases.insert(phases.end(), {{Phase::off, 0}, {Phase::fix, 0}});
        scenario.plug(row.testPort, phases);
        HWND box = scenario.open(gpsTestCommand);
        scenario.pressTest();
        const size_t groupSize = orven::sim::generatedGroup({}, Phase::noFix, 0).size();
        NmeaReceiver& receiver = *scenario.receivers[row.testPort];
        for (size_t group = 0; group < row.testQuietMs.size(); ++group) {
            const size_t armed = receiverWatchdogArmings();
            receiver.switchOn();
            ASSERT_TRUE(scenario.runUntil([&] {
                return receiverWatchdogArmings() >= armed + groupSize;
            })) << "group "
                << group << ": " << orven::toUtf8(scenario.text(box, gpsTestStatusControl));
            scenario.phone.advance(row.testQuietMs[group]);
        }
        receiver.switchOn();
        ASSERT_TRUE(scenario.runUntil([&] {
            WCHAR line[100];
            GetDlgItemTextW(box, gpsTestStatusControl, line, 100);
            return std::u16string(line).rfind(u"Localization found:\n", 0) == 0;
        })) << orven::toUtf8(scenario.text(box, gpsTestStatusControl));
        scenario.phone.advance(5000);  // the main window's timer 5, and 55 if it were armed
        scenario.pressClose();
        scenario.phone.advance(70000);
        EXPECT_TRUE(scenario.modem->messages().empty());
        EXPECT_EQ(scenario.phone.read(statusNow).find(u"Alert is sending away"),
                  std::u16string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AfterAlertSearch,
    ::testing::Values(
        EndedSearchRow{
            "receiver lost (timer 4)", {{3, Port::noFix}}, 3, u"GPS Rx lost\nin port COM3", 3},
        EndedSearchRow{"position missed (timer 44)", {{3, Port::noFix}}, 3, positionMissed, 3},
        EndedSearchRow{"no receiver on COM0 to COM9, then one on COM2",
                       {},
                       -1,
                       u"GPS Rx wasn't found\nin any serial port.",
                       2},
        EndedSearchRow{"receiver lost (timer 4); the test's receiver quiet for 31 s",
                       {{3, Port::noFix}},
                       3,
                       u"GPS Rx lost\nin port COM3",
                       3,
                       {31000}},
        EndedSearchRow{"receiver lost (timer 4); the test's receiver without a fix for 3 min",
                       {{3, Port::noFix}},
                       3,
                       u"GPS Rx lost\nin port COM3",
                       3,
                       std::vector<uint32_t>(10, 20000)}));

// ---- The alert-sending test

// Types the number and presses TEST.
void runAlertTest(Rig& t, const std::u16string& number) {
    t.tap(t.dialog(), testNumberEdit);
    t.phone.type(number);
    t.phone.advance(0);
    t.pressTest();
}

struct ConfirmRow {
    const char* legend;
    orven::sim::Partner partner;
    bool autoAnswering;
    std::u16string confirmed;
};

void PrintTo(const ConfirmRow& row, std::ostream* out) {
    *out << row.legend;
}

class AlertTest : public ::testing::TestWithParam<ConfirmRow> {};

TEST_P(AlertTest, SendsOneTestMessageThatAnyOfItsNumbersConfirms) {
    const ConfirmRow& row = GetParam();
    {
        SCOPED_TRACE(row.legend);
        Rig t;
        t.start(std::string(
                    "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000006\r\n") +
                (row.autoAnswering ? "\"Auto-answering\"=dword:00000001\r\n" : ""));
        t.modem->setPartner(row.partner);
        // The last real fix's time text, which the test leaves alone.
        t.phone.onGui([] {
            GpsFix fix = copyGpsFix();
            lstrcpyW(fix.fixTimeText, u"081500.000");
            storeGpsFix(fix);
        });
        HWND box = t.open(alertTestCommand);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(t.text(box, testNumberEdit), u"");
        runAlertTest(t, u"600999888");
        EXPECT_EQ(t.dialog(), nullptr) << "the dialog closes at once";
        const SYSTEMTIME now = t.phone.read([] {
            SYSTEMTIME time;
            GetLocalTime(&time);
            return time;
        });
        WCHAR expected[100];
        wsprintfW(expected, u"Position found at %02d:%02d\n%s", now.wHour, now.wMinute,
                  testPosition.c_str());
        EXPECT_EQ(t.phone.read(statusNow), expected);
        EXPECT_EQ(testMode.load(), 2);
        const GpsFix fix = t.phone.read(copyGpsFix);
        EXPECT_EQ(std::u16string(fix.fixTimeText), u"081500.000");
        EXPECT_EQ(fix.lastFixTime.wMinute, now.wMinute);

        t.phone.advance(2400);
        EXPECT_TRUE(t.modem->messages().empty()) << "timer 5 comes 2.5 s after TEST";
        ASSERT_TRUE(
            t.phone.waitFor([&row] { return statusNow() == row.confirmed; }, realTimeStep, 15000))
            << orven::toUtf8(t.phone.read(statusNow));
        EXPECT_EQ(testMode.load(), 0);
        t.phone.advance(5 * 60000);
        const auto sent = t.modem->messages();
        ASSERT_EQ(sent.size(), 1u) << "one test message, no repeat";
        EXPECT_EQ(sent[0].number, u"600999888");
        EXPECT_NE(sent[0].text.find(u"N12.345677\u00b0"), std::u16string::npos);
        EXPECT_NE(sent[0].text.find(u"E123.456789\u00b0"), std::u16string::npos);
        EXPECT_EQ(sent[0].text.substr(sent[0].text.size() - testEnding.size()), testEnding);
        if (row.autoAnswering) {
            // The answer reaches the modem on its own thread, after the status shows it.
            EXPECT_TRUE(t.phone.waitFor(
                [&] {
                    const auto calls = t.modem->calls();
                    return calls.size() == 1 && calls[0].answered;
                },
                realTimeStep, 15000));
            EXPECT_EQ(t.modem->calls().size(), 1u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AlertTest,
    ::testing::Values(
        ConfirmRow{"a reply from the test number",
                   {orven::sim::Partner::Action::replyBySms, u"+48600999888", u"got it", 300, true},
                   false,
                   u"Test message confirmed\nfrom: +48600999888"},
        ConfirmRow{"a reply from alert number 1",
                   {orven::sim::Partner::Action::replyBySms, u"+48600100200", u"got it", 300, true},
                   false,
                   u"Test message confirmed\nfrom: +48600100200"},
        ConfirmRow{"a call from the test number, answered automatically",
                   {orven::sim::Partner::Action::callBack, u"+48600999888", u"", 300, true},
                   true,
                   u"Test message confirmed\nPlease speak..."}));

TEST(AlertTestDialog, TwoCharactersDoNothingAndAreKeptAfterClose) {
    Rig t;
    t.start("\"Alert number 1\"=\"600100200\"\r\n");
    HWND box = t.open(alertTestCommand);
    runAlertTest(t, u"12");
    EXPECT_EQ(t.dialog(), box) << "the dialog stays open";
    EXPECT_EQ(t.text(box, testNumberEdit), u"12");
    EXPECT_EQ(t.phone.read(statusNow), u"");
    t.pressClose();
    EXPECT_EQ(t.dialog(), nullptr);
    WCHAR kept[testNumberSize];
    copyTestNumber(kept);
    EXPECT_EQ(std::u16string(kept), u"12");
    EXPECT_EQ(testMode.load(), 0);
    t.phone.advance(10000);
    EXPECT_TRUE(t.modem->messages().empty());
    // Opening the dialog again empties the number.
    box = t.open(alertTestCommand);
    EXPECT_EQ(t.text(box, testNumberEdit), u"");
    t.pressClose();
    copyTestNumber(kept);
    EXPECT_EQ(std::u16string(kept), u"");
}

// "TEST" while the emergency procedure is still searching: the alert becomes the test,
// and only the test number gets a message.
TEST(AlertTestDialog, TestWhileTheProcedureSearches) {
    Rig t;
    t.start("\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000002\r\n",
            {{2, Port::silent}});
    t.phone.tap(50, 300);
    t.phone.advance(1500);
    ASSERT_EQ(t.phone.read(statusNow), u"Connecting GPS Rx\nin port COM2...");
    ASSERT_NE(t.open(alertTestCommand), nullptr);
    runAlertTest(t, u"600999888");
    ASSERT_EQ(t.dialog(), nullptr);
    ASSERT_TRUE(t.phone.waitFor([&t] { return !t.modem->messages().empty(); }, realTimeStep, 8000));
    orven::test::clearTrace();
    t.phone.advance(3 * 60000);
    EXPECT_TRUE(portsTried().empty()) << "the search ended with the position";
    const auto sent = t.modem->messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"600999888");
    EXPECT_EQ(sent[0].text.substr(sent[0].text.size() - testEnding.size()), testEnding);
}

}  // namespace
