// The GPS port and its reader thread against a simulated receiver on a pseudo-terminal:
// the first "$GP" sentence finds the receiver (once), the cue-5 rhythm while no fix is
// there, another talker's receiver is never found, the link reset, the reader's end
// after a close, a pulled receiver, and a new open while the old reader still waits.
//
// The test thread is the GUI thread: it owns the main window and runs its timers; the
// reader is a real thread, waited for with bounded polls that do not move virtual time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/receiver_search.h"
#include "test_gps_support.h"

namespace {

using namespace gpstest;
using orven::sim::Phase;

// The main window's timers that concern the link: 4 and 44 run their handlers; the
// search's (2, 3) and the procedure's (5) are only stopped, so the port stays as it is.
LRESULT CALLBACK linkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    if (wParam == receiverLostTimer)
        onReceiverLostTimer(window);
    else if (wParam == positionMissedTimer)
        onPositionMissedTimer(window);
    else
        KillTimer(window, wParam);
    return 0;
}

// Port COM3 is being searched when the scenario starts; the clock reads second 17.
struct LinkDevice : Device {
    explicit LinkDevice(WORD second = 17) : Device(linkWindowProc, second) {
        appSettings.gpsPortNumber = 3;
        gpsState.searchState = 1;
    }
};

TEST(GpsPort, FirstGpSentenceFindsTheReceiverOnce) {
    LinkDevice device;
    auto gps = receiver({{Phase::noFix, 2}, {Phase::fix, 1}});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    SetTimer(mainWindow, scanTimer, portCheckMs, nullptr);
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    // Two seconds without a fix (4 sentences each), then one with (5 sentences).
    ASSERT_TRUE(device.waitFor([] { return gpsState.positionFound.load() == 1; }));
    ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 4) == 13; }))
        << "every sentence restarts the 30-second watchdog: " << timerCalls("SetTimer", 4);

    EXPECT_EQ(gpsState.receiverFound.load(), 1);
    EXPECT_EQ(gpsState.searchState.load(), 3);
    EXPECT_EQ(savedPortNumber(), 3);
    EXPECT_EQ(cues(), (std::vector<std::string>{"4", "5a"})) << "second 17: no rhythm cue";
    EXPECT_EQ(traced("id=44 ms=180000"), 1) << "the position watchdog starts once";
    const int watchdog = firstTimerCall("SetTimer", 44);
    EXPECT_LT(firstTimerCall("KillTimer", 2), watchdog) << "the search's timers stop first";
    EXPECT_LT(firstTimerCall("KillTimer", 3), watchdog);
    EXPECT_LT(watchdog, firstTimerCall("SetTimer", 4));
    EXPECT_EQ(traced("id=5 ms=1500"), 1) << "the fix";
    EXPECT_EQ(status().rfind("Position found at 12:35\n", 0), 0u) << status();

    // The link reset keeps the position for the next link.
    const GpsFix fix = copyGpsFix();
    EXPECT_EQ(orven::toUtf8(fix.latitudeText), "N48.117300\u00b0");
    orven::test::clearTrace();
    gpsPortClose();
    EXPECT_EQ(gpsState.receiverFound.load(), 0);
    EXPECT_EQ(gpsState.positionFound.load(), 0);
    EXPECT_EQ(gpsState.fixQuality.load(), 0u);
    EXPECT_EQ(gpsState.rmcStatus.load(), 0);
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(orven::toUtf8(copyGpsFix().latitudeText), "N48.117300\u00b0");
    EXPECT_EQ(traced("KillTimer"), 2) << "timers 4 and 44";
    EXPECT_EQ(traced("CloseHandle port=COM3:"), 1);
    EXPECT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
}

TEST(GpsPort, WatchdogAndTimerTwoAreStoppedWhenTheReceiverIsFound) {
    LinkDevice device;
    auto gps = receiver({{Phase::noFix, 1}});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    SetTimer(mainWindow, scanTimer, portCheckMs, nullptr);
    SetTimer(mainWindow, knownPortTimer, portCheckMs, nullptr);
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 4) == 4; }));
    // Had they survived, the search would move on to the next port 7.5 s after the open.
    EXPECT_FALSE(KillTimer(mainWindow, scanTimer));
    EXPECT_FALSE(KillTimer(mainWindow, knownPortTimer));
    EXPECT_TRUE(KillTimer(mainWindow, positionMissedTimer));
    EXPECT_TRUE(KillTimer(mainWindow, receiverLostTimer));
    EXPECT_EQ(status(), "GPS Rx found\nAwaiting for position...");
}

TEST(GpsPort, CueFiveSoundsOnEverySentenceInSecondsZeroAndThirty) {
    struct Row {
        const char* legend;
        WORD second;
        size_t rhythmCues;  // cues 5 after the first one that follows cue 4
    } rows[] = {
        {"second 0: every later sentence without a fix", 0, 7},
        {"second 30: the same", 30, 7},
        {"second 29: none", 29, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        // Run in a process of its own under CTest, this row's phone is the process's first.
        LinkDevice device(row.second);
        auto gps = receiver({{Phase::noFix, 2}});
        ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
        ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
        gps->switchOn();
        ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 4) == 8; }));
        std::vector<std::string> expected = {"4", "5a"};
        expected.insert(expected.end(), row.rhythmCues, "5a");
        EXPECT_EQ(cues(), expected);
        gpsShutdown();
        orven::test::clearPlayedSounds();
        orven::test::clearTrace();
    }
}

TEST(GpsPort, AnotherTalkersReceiverIsParsedButNeverFound) {
    LinkDevice device;
    auto gps = receiver({{Phase::fix, 2}}, false, "GN");
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    ASSERT_TRUE(device.waitFor([] { return traced("id=5 ms=1500") == 1; }));
    ASSERT_TRUE(device.waitFor([] { return gpsState.satellitesInView.load() == 8; }));
    EXPECT_EQ(gpsState.positionFound.load(), 1);
    EXPECT_EQ(gpsState.fixQuality.load(), 1u);
    EXPECT_EQ(gpsState.receiverFound.load(), 0);
    EXPECT_EQ(gpsState.searchState.load(), 1);
    EXPECT_EQ(timerCalls("SetTimer", 44), 0);
    EXPECT_EQ(timerCalls("SetTimer", 4), 0);
    EXPECT_TRUE(cues().empty());
    EXPECT_EQ(savedPortNumber(), -99) << "nothing saved";
}

TEST(GpsPort, ReaderEndsOnceItsPortIsClosed) {
    LinkDevice device;
    auto gps = receiver({});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    struct Row {
        const char* legend;
        void (*close)();
        int timersStopped;
    } rows[] = {
        {"gpsPortClose", gpsPortClose, 2},
        {"gpsShutdown, which waits for the reader", gpsShutdown, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
        ASSERT_NE(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
        orven::test::clearTrace();
        row.close();
        EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(traced("KillTimer"), row.timersStopped);
        ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
        const int reset = firstTraced("SystemIdleTimerReset");
        EXPECT_GE(reset, 0);
        EXPECT_EQ(firstTraced("keybd_event vk=0x10 flags=0x4"), reset + 1);
        EXPECT_EQ(firstTraced(readerEndLine), reset + 2);
    }
}

TEST(GpsPort, ShutdownReturnsAfterTheReaderEnded) {
    LinkDevice device;
    auto gps = receiver({});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    SetTimer(mainWindow, scanTimer, portCheckMs, nullptr);
    gpsShutdown();
    EXPECT_EQ(traced(readerEndLine), 1) << "no wait needed after gpsShutdown";
    EXPECT_FALSE(KillTimer(mainWindow, scanTimer));
}

TEST(GpsPort, PulledReceiverEndsTheReaderAndWatchdogFourReportsIt) {
    LinkDevice device;
    auto gps = receiver({{Phase::noFix, 0}}, true);
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    ASSERT_TRUE(device.waitFor([] { return gpsState.receiverFound.load() == 1; }));
    gps->unplug();
    ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
    EXPECT_NE(gpsState.portHandle.load(), INVALID_HANDLE_VALUE) << "the GUI has not closed it";
    // Ended, not spinning: the port asks the driver for nothing more.
    const uint64_t calls = orven::serial::ioCounts().systemCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(orven::serial::ioCounts().systemCalls, calls);

    orven::test::advance(receiverLostMs);
    EXPECT_EQ(status(), "GPS Rx lost\nin port COM3");
    EXPECT_EQ(gpsState.searchState.load(), 0);
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
}

TEST(GpsPort, PositionMissedAfterThreeMinutesClosesTheLink) {
    LinkDevice device;
    auto gps = receiver({{Phase::noFix, 1}});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 4) == 4; }));
    KillTimer(mainWindow, receiverLostTimer);  // the receiver keeps talking, without a fix
    orven::test::advance(positionMissedMs - 1);
    EXPECT_EQ(status(), "GPS Rx found\nAwaiting for position...");
    orven::test::advance(1);
    EXPECT_EQ(status(), "GPS position missed\n ");
    EXPECT_EQ(gpsState.searchState.load(), 0);
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
}

TEST(GpsPort, NewOpenEndsTheOldReaderWhichNeverTakesUpTheNewPort) {
    LinkDevice device;
    auto silent = receiver({});
    auto talking = receiver({{Phase::noFix, 0}}, true);
    auto other = receiver({{Phase::noFix, 0}}, true);
    ASSERT_TRUE(orven::sim::mapComPort(1, silent->devicePath()));
    ASSERT_TRUE(orven::sim::mapComPort(2, talking->devicePath()));
    ASSERT_TRUE(orven::sim::mapComPort(5, other->devicePath()));
    talking->switchOn();
    other->switchOn();
    // The old reader waits in WaitCommEvent on a silent port when the next one opens.
    appSettings.gpsPortNumber = 1;
    ASSERT_EQ(gpsPortOpen(u"COM1:"), 1);
    appSettings.gpsPortNumber = 2;
    ASSERT_EQ(gpsPortOpen(u"COM2:"), 1);
    ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
    ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 44) == 1; }));
    EXPECT_EQ(savedPortNumber(), 2);
    // Now the reader is in the middle of a stream when the next port opens.
    appSettings.gpsPortNumber = 5;
    ASSERT_EQ(gpsPortOpen(u"COM5:"), 1);
    EXPECT_EQ(gpsState.receiverFound.load(), 0) << "the link was reset";
    ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 2; }));
    ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 44) == 2; }))
        << "one per found receiver";
    EXPECT_EQ(savedPortNumber(), 5);
    // One reader per opened port, each ended by its own close.
    gpsPortClose();
    EXPECT_TRUE(device.waitFor([] { return traced(readerEndLine) == 3; }));
}

TEST(GpsPort, FailedOpenClosesThePreviousPortAndLeavesNone) {
    LinkDevice device;
    auto gps = receiver({});
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    EXPECT_EQ(gpsPortOpen(u"COM6:"), 0) << "COM6 is not listed";
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(traced("CloseHandle port=COM3:"), 1);
    EXPECT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
}

}  // namespace

namespace {

// What the last paint of the main window saw of the receiver's diagnostics.
std::atomic<uint32_t> paintedInView{0};
std::atomic<int> paints{0};

LRESULT CALLBACK paintingLinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return linkWindowProc(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    paintedInView = gpsState.satellitesInView.load();
    ++paints;
    EndPaint(window, &paint);
    return 0;
}

}  // namespace

// A receiver that answers without a fix while its satellites come into view: the screen
// follows every change of its diagnostics, although the status text stays the same.
TEST(GpsPort, TheDiagnosticsAreRepaintedAsTheyChange) {
    Device device(paintingLinkProc, 17);
    appSettings.gpsPortNumber = 3;
    gpsState.searchState = 1;
    const std::string log =
        "$GPGGA,123519.00,,,,,0,00,99.99,,,,,,*48\n$GPGSV,1,1,00*79\n"
        "$GPGGA,123520.00,,,,,0,00,99.99,,,,,,*42\n$GPGSV,1,1,05*7C\n"
        "$GPGGA,123521.00,,,,,0,00,99.99,,,,,,*43\n$GPGSV,1,1,08*71\n";
    auto gps = receiver({{Phase::replay, 0, log}}, /*paced=*/true);
    ASSERT_TRUE(orven::sim::mapComPort(3, gps->devicePath()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    gps->switchOn();
    ASSERT_TRUE(device.waitFor([] { return paints.load() > 0 && gpsState.receiverFound == 1; }));
    ASSERT_TRUE(device.waitFor([] { return gpsState.satellitesInView.load() == 8; }));
    device.waitFor([] { return false; }, 200);  // the reader finishes that sentence
    EXPECT_EQ(paintedInView.load(), 8u) << "the screen still shows an older count";
    EXPECT_EQ(status(), "GPS Rx found\nAwaiting for position...");
    // Nothing changes any more: no further repaint.
    const int before = paints.load();
    device.waitFor([] { return false; }, 300);
    EXPECT_EQ(paints.load(), before);
}
