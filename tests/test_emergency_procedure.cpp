// The emergency procedure end to end: the program's own WinMain on the emulated phone,
// a simulated receiver on a pseudo-terminal mapped as a COM port and a simulated modem
// with a partner who replies or calls. Virtual time runs the timers; the receiver and
// the modem run in real time, so waits for them are bounded polls that advance virtual
// time about as fast as real time passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_message.h"
#include "app/startup.h"
#include "common/alert_permission.h"
#include "common/gps_state.h"
#include "common/status_text.h"
#include "platform/modem.h"
#include "platform/testing.h"
#include "settings/app_settings.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"
#include "tests/test_status_support.h"

namespace {

using orven::sim::Modem;
using orven::sim::NmeaReceiver;
using orven::sim::Phase;
using orven::sim::Scenario;

constexpr uint32_t realTimeStep = 1;  // virtual ms per real ms while real devices talk

// The numbers of the cues played so far, in order.
std::vector<int> cues() {
    std::vector<int> numbers;
    for (const auto& sound : orven::test::playedSounds()) {
        size_t slash = sound.file.rfind('/');
        numbers.push_back(std::stoi(sound.file.substr(slash + 1)));
    }
    return numbers;
}

// Whether `wanted` appears in `all` in order (other cues may stand between).
bool inOrder(const std::vector<int>& all, const std::vector<int>& wanted) {
    size_t next = 0;
    for (int cue : all)
        if (next < wanted.size() && cue == wanted[next]) ++next;
    return next == wanted.size();
}

std::string printed(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers) text += std::to_string(n) + " ";
    return text;
}

class Procedure : public ::testing::Test {
  protected:
    orven::test::Phone phone;
    std::unique_ptr<NmeaReceiver> receiver;
    std::unique_ptr<Modem> modem = std::make_unique<Modem>();

    // Writes the hive: the settings lines given, the receiver on COM<port> (when
    // there is one) and the modem.
    void prepare(const std::string& settings, int receiverPort = -1,
                 std::vector<Phase> phases = {{Phase::fix, 0}}, bool paced = true,
                 bool idleWhileClosed = false) {
        std::string hive = "Windows Registry Editor Version 5.00\r\n\r\n";
        if (!settings.empty())
            hive += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n" + settings + "\r\n";
        hive += "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n";
        if (receiverPort >= 0) {
            Scenario scenario;
            scenario.phases = std::move(phases);
            scenario.paced = paced;
            scenario.idleWhileClosed = idleWhileClosed;
            receiver = NmeaReceiver::start(scenario);
            hive += "\"COM" + std::to_string(receiverPort) + ":\"=\"" + receiver->devicePath() +
                    "\"\r\n";
        }
        hive +=
            "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" + modem->path() + "\"\r\n";
        phone.writeHive("system.reg", hive);
    }

    void startAndSettle(const std::u16string& commandLine = u"") {
        phone.start(WinMain, commandLine);
        phone.advance(1100);  // timers 1 and 11: the radio starts, cue 1
    }

    bool statusBecomes(const std::u16string& text, uint32_t realMs = 15000) {
        return phone.waitFor([&] { return statusNow() == text; }, realTimeStep, realMs);
    }
    bool statusStartsWith(const std::u16string& text, uint32_t realMs = 15000) {
        return phone.waitFor([&] { return statusNow().rfind(text, 0) == 0; }, realTimeStep, realMs);
    }
};

TEST_F(Procedure, FromATapToTheAlarmWithOneSendAndAReply) {
    modem->setPartner(
        {orven::sim::Partner::Action::replyBySms, u"+48600100200", u"On my way", 200, true});
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000000\r\n"
        "\"GPS port number\"=dword:00000004\r\n\"Owner blood\"=dword:00000002\r\n",
        4);
    startAndSettle();

    phone.tap(50, 300);
    EXPECT_EQ(phone.read(statusNow), u"Begin emergency procedure\nimmediately");
    phone.advance(1000);
    EXPECT_EQ(phone.read(statusNow), u"Connecting GPS Rx\nin port COM4...");
    ASSERT_TRUE(statusStartsWith(u"Position found at ")) << orven::toUtf8(phone.read(statusNow));
    ASSERT_TRUE(statusBecomes(u"Alert has sent correctly\nAwaiting for response..."))
        << orven::toUtf8(phone.read(statusNow));
    ASSERT_TRUE(statusBecomes(u"Emergency message confirmed\nfrom: +48600100200"))
        << orven::toUtf8(phone.read(statusNow));

    std::vector<orven::sim::SentMessage> sent = modem->messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"600100200");
    EXPECT_EQ(sent[0].messageClass, 3);
    EXPECT_EQ(sent[0].text.rfind(u"Medicine Emergency ALERT \nfrom Lat: N48.11", 0), 0u)
        << orven::toUtf8(sent[0].text);
    EXPECT_NE(sent[0].text.find(u"\nBlood: A+"), std::u16string::npos);

    phone.advance(600);  // timer 8: the alarm
    EXPECT_EQ(phone.read([] { return alertsSent.load(); }), 0u);
    EXPECT_TRUE(inOrder(cues(), {1, 11, 3, 4, 5, 6, 7, 8, 9})) << printed(cues());
    // The alarm repeats every 30 s until a tap; after it, silence.
    orven::test::clearPlayedSounds();
    phone.advance(30000);
    EXPECT_EQ(cues(), std::vector<int>{9});
    phone.tap(120, 100);
    orven::test::clearPlayedSounds();
    phone.advance(65000);
    EXPECT_TRUE(cues().empty()) << printed(cues());
    EXPECT_EQ(modem->messages().size(), 1u);
    EXPECT_EQ(phone.read(statusNow), u"");
}

TEST_F(Procedure, RepeatsEveryMinuteUntilTheOwnersCount) {
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alert number 2\"=\"12\"\r\n"
        "\"Alerts number\"=dword:00000001\r\n\"GPS port number\"=dword:00000004\r\n",
        4);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(statusBecomes(u"Alert has sent correctly\nAwaiting for response..."));
    phone.advance(59000);
    EXPECT_EQ(modem->messages().size(), 1u);
    ASSERT_TRUE(statusBecomes(u"Alerts've sent 2x correctly\nAwaiting for response...", 5000));
    orven::test::clearTrace();
    phone.advance(180000);
    EXPECT_EQ(modem->messages().size(),
              2u);  // two sends for index 1; the 2-digit number is passed over
    for (const auto& message : modem->messages()) EXPECT_EQ(message.number, u"600100200");
    for (const auto& line : orven::test::traceLines())
        EXPECT_EQ(line.find("id=7 ms=60000"), std::string::npos) << line;
}

TEST_F(Procedure, AConfirmationDuringTheMinutesWaitStopsTheRepeats) {
    modem->setPartner({orven::sim::Partner::Action::callBack, u"", u"", 300, false});
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000005\r\n"
        "\"GPS port number\"=dword:00000004\r\n\"Auto-answering\"=dword:00000000\r\n",
        4);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(statusBecomes(u"Emergency message confirmed\nby 600100200", 20000))
        << orven::toUtf8(phone.read(statusNow));
    phone.advance(10 * 60000);
    EXPECT_EQ(modem->messages().size(), 1u);
    EXPECT_TRUE(modem->calls().empty() || !modem->calls()[0].answered);
}

// The reply to the first number's message comes while the second number's is still on
// the line: the send that then completes must not write over who confirmed.
TEST_F(Procedure, AConfirmationDuringASendKeepsItsTextOnTheScreen) {
    Modem::Options slowLine;
    slowLine.baud = 2400;
    slowLine.urcsWhileSubmitting = true;
    modem = std::make_unique<Modem>(slowLine);
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alert number 2\"=\"600300400\"\r\n"
        "\"Alerts number\"=dword:00000001\r\n\"GPS port number\"=dword:00000004\r\n",
        4);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(statusBecomes(u"Alert has sent correctly\nAwaiting for response...", 30000));
    // The second send runs inside the GUI thread's timer: the reply goes out from here as
    // soon as the first number has its message.
    std::thread partner([&] {
        if (modem->waitUntil([&] { return modem->messages().size() >= 3; }, 60000))
            modem->deliverSms(u"600100200", u"OK");
    });
    phone.advance(65000);
    partner.join();
    ASSERT_TRUE(phone.waitFor([&] { return modem->messages().size() == 4; }, realTimeStep, 20000));
    phone.advance(1000);
    EXPECT_EQ(phone.read(statusNow), u"Emergency message confirmed\nfrom: 600100200");
    EXPECT_TRUE(inOrder(cues(), {7, 8, 7, 9})) << printed(cues());
}

TEST_F(Procedure, WithoutAUsableAlertNumberNothingStarts) {
    prepare("\"Alert number 1\"=\"12\"\r\n\"GPS port number\"=dword:00000004\r\n", 4);
    startAndSettle();
    orven::test::answerNextMessageBoxes({IDOK, IDOK});
    orven::test::clearPlayedSounds();
    phone.tap(50, 300);
    orven::test::softKey(0);
    phone.advance(20000);
    auto boxes = orven::test::messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.text,
                  u"No alert message will send!\n\nYou have to set at least one alert number.");
        EXPECT_EQ(box.caption, u"ZURV: ORVEN\u2122");
        EXPECT_EQ(box.style, 0x10u);
    }
    EXPECT_TRUE(cues().empty()) << printed(cues());
    EXPECT_EQ(gpsState.searchState.load(), 0);
}

TEST_F(Procedure, FirstStartQuestionFindsTheReceiverButSendsNothing) {
    prepare("", 0);  // no settings key: the program runs for the first time
    orven::test::answerNextMessageBoxes({IDYES});
    phone.start(WinMain, u"");
    phone.advance(600);
    auto boxes = orven::test::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x34u);
    EXPECT_EQ(boxes[0].text.rfind(u"This program is starting the first time.", 0), 0u);
    ASSERT_TRUE(statusStartsWith(u"Position found at "));
    // The plain position text stays: "Position found at hh:mm\n<lat> <lon>".
    phone.advance(3000);
    std::u16string status = phone.read(statusNow);
    EXPECT_NE(status.find(u"\nN48.11"), std::u16string::npos) << orven::toUtf8(status);
    EXPECT_TRUE(modem->messages().empty());
    EXPECT_EQ(phone.read([] { return appSettings.gpsPortNumber.load(); }), 0);
}

TEST_F(Procedure, AnAlertNumberDoesNotTurnTheFirstStartSearchIntoAnAlert) {
    // Settings saved but no receiver known yet: the second question, then a search that
    // must only show the position although an alert number is set.
    prepare("\"Alert number 1\"=\"600100200\"\r\n", 0);
    orven::test::answerNextMessageBoxes({IDYES});
    phone.start(WinMain, u"");
    phone.advance(600);
    ASSERT_EQ(orven::test::messageBoxes().size(), 1u);
    EXPECT_EQ(orven::test::messageBoxes()[0].text.rfind(
                  u"This program is starting without GPS Receiver checked.", 0),
              0u);
    ASSERT_TRUE(statusStartsWith(u"Position found at "));
    phone.advance(5000);
    EXPECT_EQ(phone.read(statusNow).find(u"Alert is sending away"), std::u16string::npos);
    EXPECT_TRUE(modem->messages().empty());
}

TEST_F(Procedure, HardwareButtonRightAfterItsAssignmentOnlyConfirmsIt) {
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Hardware test\"=dword:00000001\r\n"
        "\"Hardware key\"=\"40C1\"\r\n\"GPS port number\"=dword:00000004\r\n",
        4);
    orven::test::answerNextMessageBoxes({IDOK});
    phone.start(WinMain, u"-a");
    phone.advance(3000);
    auto boxes = orven::test::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);  // no first-start question either
    EXPECT_EQ(boxes[0].style, 0x30u);
    EXPECT_EQ(boxes[0].text.rfind(u"This message confirms, that your hardware button works", 0),
              0u);
    EXPECT_EQ(phone.read([] { return appSettings.hardwareTest; }), 0);
    EXPECT_NE(phone.readHive("system.reg").find("\"Hardware test\"=dword:00000000"),
              std::string::npos);
    EXPECT_EQ(gpsState.searchState.load(), 0);
}

TEST_F(Procedure, HardwareButtonStartBeginsTheProcedure) {
    prepare("\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000004\r\n", 4);
    phone.start(WinMain, u"-a");
    phone.advance(1100);
    EXPECT_EQ(phone.read(statusNow), u"Begin emergency procedure\nimmediately");
    EXPECT_TRUE(orven::test::messageBoxes().empty());
    phone.advance(1000);
    EXPECT_EQ(phone.read(statusNow), u"Connecting GPS Rx\nin port COM4...");
}

TEST_F(Procedure, TestModeSendsOnceToTheTestNumberOnly) {
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alert number 2\"=\"600300400\"\r\n"
        "\"Alerts number\"=dword:00000006\r\n",
        -1);
    startAndSettle();
    // What the alert-sending test does: a test number, test mode and a position.
    phone.onGui([] {
        setTestNumber(u"123456789");
        testMode.store(2);
        GpsFix fix = copyGpsFix();
        lstrcpyW(fix.latitudeText, u"N50.061389\u00b0");
        lstrcpyW(fix.longitudeText, u"E019.937222\u00b0");
        storeGpsFix(fix);
        setSearchSendsAlert(true);
        SetTimer(mainWindow, 5, 2500, nullptr);
    });
    phone.advance(3000);
    ASSERT_TRUE(statusBecomes(u"Alert has sent correctly\nAwaiting for response..."));
    phone.advance(5 * 60000);
    auto sent = modem->messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, u"123456789");
    EXPECT_NE(sent[0].text.find(u" \nTest message!\nPlease reply or call."), std::u16string::npos);
    EXPECT_TRUE(inOrder(cues(), {6, 7, 8})) << printed(cues());
}

TEST_F(Procedure, NoReceiverOnAnyPort) {
    prepare("\"Alert number 1\"=\"600100200\"\r\n", -1);
    orven::test::answerNextMessageBoxes({IDNO});  // the question about the unknown receiver
    startAndSettle();
    ASSERT_EQ(orven::test::messageBoxes().size(), 1u);
    phone.tap(50, 300);
    phone.advance(1000);
    EXPECT_EQ(phone.read(statusNow), u"Searching GPS Rx\nin port COM0...");
    phone.advance(10 * 1100);
    EXPECT_EQ(phone.read(statusNow), u"GPS Rx wasn't found\nin any serial port.");
    EXPECT_EQ(gpsState.searchState.load(), 2);
    EXPECT_EQ(phone.read([] { return appSettings.gpsPortNumber.load(); }), -1);
    EXPECT_TRUE(modem->messages().empty());
}

// The receiver answers but has no fix, then is pulled out: 30 s later the procedure ends
// as lost, and nothing is sent. (Timer 44, three minutes without a fix, is covered with
// the receiver search, where virtual time may run ahead of a receiver.)
TEST_F(Procedure, AReceiverPulledOutWhileAwaitingAPositionEndsAsLost) {
    prepare("\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000003\r\n", 3,
            {{Phase::noFix, 0}});
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(statusBecomes(u"GPS Rx found\nAwaiting for position..."));
    // The reader arms the watchdog after its two cues, a moment after the status.
    EXPECT_TRUE(phone.waitFor(
        [] {
            for (const auto& line : orven::test::traceLines())
                if (line.find("id=44 ms=180000") != std::string::npos) return true;
            return false;
        },
        realTimeStep));
    receiver->unplug();
    phone.advance(30000);
    EXPECT_EQ(phone.read(statusNow), u"GPS Rx lost\nin port COM3");
    EXPECT_EQ(gpsState.searchState.load(), 0);
    phone.advance(180000);
    EXPECT_EQ(phone.read(statusNow), u"GPS Rx lost\nin port COM3");
    EXPECT_TRUE(modem->messages().empty());
}

bool traced(const std::string& text) {
    for (const auto& line : orven::test::traceLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// Whether the trace leaves the position-missed watchdog (timer 44) running: armed and
// not killed since.
bool positionWatchdogRunning() {
    bool running = false;
    for (const auto& line : orven::test::traceLines()) {
        unsigned long id = 0;
        if (line.find("id=44 ms=180000") != std::string::npos)
            running = true;
        else if (std::sscanf(line.c_str(), "KillTimer hwnd=%*s id=%lu", &id) == 1 && id == 44)
            running = false;
    }
    return running;
}

// A receiver in simulation mode (a recorded Garmin in demo mode: every GGA has quality 8,
// every RMC status V) reports a position that is not where the owner is. The program
// takes none, goes on awaiting a position and sends nothing.
TEST_F(Procedure, AReceiverInSimulationModeGivesNoPosition) {
    std::ifstream in(std::filesystem::path(ORVEN_SOURCE_DIR) / "tests/data/nmea/garmin-geko201.log",
                     std::ios::binary);
    std::ostringstream log;
    log << in.rdbuf();
    ASSERT_NE(log.str().find(",8,09,"), std::string::npos);
    // A last sentence that shows when the reader has read the whole log.
    log << "$GPGSV,1,1,42*00\r\n";
    prepare("\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000004\r\n", 4,
            {{Phase::replay, 0, log.str()}}, /*paced=*/false, /*idleWhileClosed=*/true);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(
        phone.waitFor([] { return gpsState.satellitesInView.load() == 42; }, realTimeStep, 15000))
        << "the log was not read";

    EXPECT_EQ(gpsState.fixQuality.load(), 8u) << "kept for the diagnostics";
    EXPECT_EQ(gpsState.rmcStatus.load(), 2);
    EXPECT_EQ(gpsState.positionFound.load(), 0);
    EXPECT_EQ(phone.read(statusNow), u"GPS Rx found\nAwaiting for position...");
    EXPECT_FALSE(traced("id=5 ms=1500")) << "timer 5: a position was found";
    EXPECT_TRUE(positionWatchdogRunning()) << "the search for a position goes on";
    phone.advance(60000);  // the receiver fell silent: the search ends as lost
    EXPECT_EQ(phone.read(statusNow), u"GPS Rx lost\nin port COM4");
    EXPECT_TRUE(modem->messages().empty());
    EXPECT_EQ(copyGpsFix().fixTimeText[0], 0) << "no position was ever published";
}

TEST_F(Procedure, ClosingDuringASeriesStopsIt) {
    prepare(
        "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000005\r\n"
        "\"GPS port number\"=dword:00000004\r\n",
        4);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    ASSERT_TRUE(statusBecomes(u"Alert has sent correctly\nAwaiting for response..."));
    orven::test::clearPlayedSounds();
    phone.keyPress('Q', /*control=*/true);
    ASSERT_TRUE(phone.finished());
    EXPECT_EQ(cues(), std::vector<int>{111});
    EXPECT_EQ(modem->messages().size(), 1u);
}

}  // namespace

namespace {

// A send that fails is tried again a minute later, says so on the screen at once, and
// after as many failures in a row as the owner's count of sends ends with a plain word
// that the alert could not be sent. Successful sends count as before.
struct FailedSendRow {
    const char* legend;
    std::string settings;
    std::function<void(Modem&)> fault;
    std::vector<std::u16string> statuses;  // after each attempt, a minute apart
    std::vector<size_t> received;          // messages per alert number 1, 2 at the end
};

const std::u16string retrying = u"Alert NOT sent yet\nTrying again in 1 minute...";
const std::u16string givenUp = u"Alert could NOT be sent!\nCheck the phone and try again.";
const std::u16string sentOnce = u"Alert has sent correctly\nAwaiting for response...";
const std::string twoNumbers =
    "\"Alert number 1\"=\"600100200\"\r\n\"Alert number 2\"=\"600300400\"\r\n";

const FailedSendRow failedSendRows[] = {
    {"refused once, then sent twice",
     twoNumbers + "\"Alerts number\"=dword:00000001\r\n",
     [](Modem& m) { m.refuseSubmissions(1, "+CMS ERROR: 500"); },
     {retrying, sentOnce, u"Alerts've sent 2x correctly\nAwaiting for response..."},
     {2, 2}},
    {"the second number refused: the attempt does not count",
     twoNumbers + "\"Alerts number\"=dword:00000000\r\n",
     // The alert goes as three parts: the first number's are accepted.
     [](Modem& m) { m.refuseSubmissions(1, "ERROR", 3); },
     {givenUp},
     {1, 0}},
    {"every attempt refused: three tries for three sends",
     twoNumbers + "\"Alerts number\"=dword:00000002\r\n",
     [](Modem& m) { m.refuseSubmissions(100, "+CMS ERROR: 38"); },
     {retrying, retrying, givenUp},
     {0, 0}},
    {"no answer from the network, then sent",
     "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000001\r\n",
     [](Modem& m) { m.ignoreSubmissions(1); },
     {retrying, sentOnce, u"Alerts've sent 2x correctly\nAwaiting for response..."},
     {2, 0}},
};

void PrintTo(const FailedSendRow& row, std::ostream* out) {
    *out << row.legend;
}

class FailedSend : public Procedure, public ::testing::WithParamInterface<FailedSendRow> {};

TEST_P(FailedSend, IsRetriedAndShown) {
    const FailedSendRow& row = GetParam();
    SCOPED_TRACE(row.legend);
    orven::modem::Timeouts shortWaits = orven::modem::timeouts();
    shortWaits.submit = 1000;
    orven::modem::setTimeoutsForTests(shortWaits);
    row.fault(*modem);
    prepare(row.settings + "\"GPS port number\"=dword:00000004\r\n", 4);
    startAndSettle();
    phone.tap(50, 300);
    phone.advance(1000);
    for (size_t i = 0; i < row.statuses.size(); ++i) {
        if (i > 0) phone.advance(59000);
        ASSERT_TRUE(statusBecomes(row.statuses[i], i == 0 ? 20000 : 5000))
            << i << ": " << orven::toUtf8(phone.read(statusNow));
    }
    auto sendingCues = [] {
        std::vector<int> all = cues();
        return static_cast<size_t>(std::count(all.begin(), all.end(), 7));
    };
    const size_t attempts = sendingCues();
    EXPECT_EQ(attempts, row.statuses.size());
    phone.advance(5 * 60000);
    EXPECT_EQ(sendingCues(), attempts) << "nothing more after the series ended";
    EXPECT_EQ(phone.read(statusNow), row.statuses.back());
    size_t toFirst = 0, toSecond = 0;
    for (const auto& message : modem->messages())
        (message.number == u"600100200" ? toFirst : toSecond)++;
    EXPECT_EQ(toFirst, row.received[0]);
    EXPECT_EQ(toSecond, row.received[1]);
}

INSTANTIATE_TEST_SUITE_P(Rows, FailedSend, ::testing::ValuesIn(failedSendRows),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

}  // namespace
