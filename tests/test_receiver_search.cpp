// The receiver search of the emergency procedure over COM0 to COM9: ports that are not
// listed, listed but missing, not terminals, silent, and one with a receiver; the saved
// port first; the time each port gets; the end of the search; and the watchdogs.
//
// The main window is the test's, on the test thread, with the main window's dispatch of
// timers 1111, 2, 3, 4 and 44. The search runs on the virtual clock; when it opens the
// receiver's port, the test waits in real time for the reader thread.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "app/receiver_search.h"
#include "common/alert_permission.h"
#include "test_gps_support.h"

namespace {

using namespace gpstest;
using orven::sim::Phase;

constexpr uint64_t searchLimitMs = 200000;  // far beyond ten ports at 8 s each
constexpr uint32_t stepMs = 10;

LRESULT CALLBACK searchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    switch (wParam) {
        case procedureStartTimer: onProcedureStartTimer(window); break;
        case scanTimer: onScanTimer(window); break;
        case knownPortTimer: onKnownPortTimer(window); break;
        case receiverLostTimer: onReceiverLostTimer(window); break;
        case positionMissedTimer: onPositionMissedTimer(window); break;
        default: KillTimer(window, wParam); break;
    }
    return 0;
}

enum class Port { unlisted, missing, notTerminal, silent, receiver };

// The ports of one scenario, listed in the device registry before the search starts.
struct Ports {
    std::vector<std::unique_ptr<orven::sim::NmeaReceiver>> receivers;
    int receiverPort = -1;
    orven::sim::NmeaReceiver* gps = nullptr;

    explicit Ports(const std::array<Port, 10>& ports) {
        for (int n = 0; n < 10; ++n) {
            switch (ports[n]) {
                case Port::unlisted: break;
                case Port::missing: orven::sim::mapComPort(n, "/nonexistent/ttyGPS"); break;
                case Port::notTerminal: orven::sim::mapComPort(n, "/dev/null"); break;
                case Port::silent:
                case Port::receiver: {
                    const bool talks = ports[n] == Port::receiver;
                    auto simulated = receiver(
                        talks ? std::vector<Phase>{{Phase::noFix, 0}} : std::vector<Phase>{}, true);
                    orven::sim::mapComPort(n, simulated->devicePath());
                    if (talks) {
                        simulated->switchOn();
                        receiverPort = n;
                        gps = simulated.get();
                    }
                    receivers.push_back(std::move(simulated));
                    break;
                }
            }
        }
    }
};

struct Attempt {
    int port;
    bool opened;
    uint64_t atMs;  // virtual time
};

// The ports CreateFileW was asked for so far, from the trace.
std::vector<std::pair<int, bool>> portsTried() {
    std::vector<std::pair<int, bool>> tried;
    const std::string prefix = "CreateFile name=COM";
    for (const std::string& line : orven::test::traceLines()) {
        if (line.rfind(prefix, 0) != 0) continue;
        const int port = std::stoi(line.substr(prefix.size()));
        tried.emplace_back(port, line.find(" path=") != std::string::npos);
    }
    return tried;
}

// Starts the procedure (timer 1111) and runs the search until it ends: a receiver found
// (waiting in real time for the reader once its port is open) or every port tried.
std::vector<Attempt> runSearch(const Device& device, const Ports& ports) {
    std::vector<Attempt> attempts;
    orven::test::clearTrace();
    SetTimer(mainWindow, procedureStartTimer, procedureStartMs, nullptr);
    const uint64_t start = orven::test::virtualNowMs();
    orven::test::advance(procedureStartMs - stepMs);
    while (orven::test::virtualNowMs() - start < searchLimitMs) {
        orven::test::advance(stepMs);
        const auto tried = portsTried();
        for (size_t i = attempts.size(); i < tried.size(); ++i)
            attempts.push_back({tried[i].first, tried[i].second, orven::test::virtualNowMs()});
        if (gpsState.searchState.load() != 1) break;
        if (!attempts.empty() && attempts.back().port == ports.receiverPort &&
            attempts.back().opened) {
            // Found: cues 4 and 5, then the position watchdog.
            EXPECT_TRUE(device.waitFor([] {
                return timerCalls("SetTimer", positionMissedTimer) > 0;
            })) << "the reader finds the receiver on COM"
                << ports.receiverPort;
            break;
        }
    }
    return attempts;
}

struct SearchRow {
    const char* legend;
    int32_t savedPort;  // -1: no receiver known yet
    std::array<Port, 10> ports;
    std::vector<int> tried;  // ports opened (or tried), in order
    int32_t searchState;
    int32_t gpsPortNumber;
    int32_t registryPort;  // -99: none saved
    std::vector<std::string> cues;
};

void PrintTo(const SearchRow& row, std::ostream* out) {
    *out << row.legend;
}

class ReceiverSearch : public ::testing::TestWithParam<SearchRow> {};

using P = Port;

TEST_P(ReceiverSearch, TriesThePortsInOrderAndEndsAsItShould) {
    const SearchRow& row = GetParam();
    SCOPED_TRACE(row.legend);
    Device device(searchWindowProc, 17);
    Ports ports(row.ports);
    if (row.savedPort >= 0) {
        appSettings.gpsPortNumber = row.savedPort;
        storePortNumber();
    }
    launchedWithAlert = 1;

    const std::vector<Attempt> attempts = runSearch(device, ports);
    EXPECT_EQ(searchSendsAlert(), row.searchState == 3) << "only the procedure's own search sends";
    std::vector<int> tried;
    for (const Attempt& attempt : attempts) tried.push_back(attempt.port);
    EXPECT_EQ(tried, row.tried);
    EXPECT_EQ(launchedWithAlert, 0u);
    EXPECT_EQ(gpsState.searchState.load(), row.searchState);
    EXPECT_EQ(appSettings.gpsPortNumber.load(), row.gpsPortNumber);
    EXPECT_EQ(savedPortNumber(), row.registryPort);
    const std::vector<std::string> played = cues();
    ASSERT_GE(played.size(), row.cues.size());
    EXPECT_EQ(std::vector<std::string>(played.begin(), played.begin() + row.cues.size()), row.cues);

    if (row.searchState == 2) {
        EXPECT_EQ(status(), "GPS Rx wasn't found\nin any serial port.");
        EXPECT_FALSE(searchSendsAlert()) << "a later fix from the port left open sends nothing";
        const bool lastOpened = !attempts.empty() && attempts.back().opened;
        EXPECT_EQ(gpsState.portHandle.load() != INVALID_HANDLE_VALUE, lastOpened)
            << "the last port tried stays as it is";
        return;
    }
    // Found: the reader stopped the search, which tries no further port.
    EXPECT_EQ(status(), "GPS Rx found\nAwaiting for position...");
    orven::test::advance(portCheckMs * 2);
    EXPECT_EQ(portsTried().size(), attempts.size());
    EXPECT_EQ(gpsState.searchState.load(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReceiverSearch,
    ::testing::Values(SearchRow{"no receiver on any port: all ten are tried, the search gives up",
                                -1,
                                {P::unlisted, P::missing, P::silent, P::notTerminal, P::unlisted,
                                 P::silent, P::unlisted, P::unlisted, P::silent, P::silent},
                                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                2,
                                -1,
                                -99,
                                {"2"}},
                      SearchRow{"receiver on COM5 behind unlisted, missing and silent ports",
                                -1,
                                {P::unlisted, P::missing, P::silent, P::notTerminal, P::unlisted,
                                 P::receiver, P::silent, P::unlisted, P::unlisted, P::unlisted},
                                {0, 1, 2, 3, 4, 5},
                                3,
                                5,
                                5,
                                {"2", "4", "5a"}},
                      SearchRow{
                          "saved COM2 is silent, receiver on COM4: COM2, then the scan from COM0",
                          2,
                          {P::unlisted, P::unlisted, P::silent, P::unlisted, P::receiver,
                           P::unlisted, P::unlisted, P::unlisted, P::unlisted, P::unlisted},
                          {2, 0, 1, 2, 3, 4},
                          3,
                          4,
                          4,
                          {"3", "2", "4", "5a"}},
                      SearchRow{"saved COM4 does not open: the scan goes on at COM5, never below",
                                4,
                                {P::silent, P::silent, P::silent, P::silent, P::missing,
                                 P::receiver, P::unlisted, P::unlisted, P::unlisted, P::unlisted},
                                {4, 5},
                                3,
                                5,
                                5,
                                {"3", "4", "5a"}},
                      SearchRow{"saved COM7 does not open, no receiver above: the registry keeps 7",
                                7,
                                {P::unlisted, P::receiver, P::unlisted, P::unlisted, P::unlisted,
                                 P::unlisted, P::unlisted, P::unlisted, P::missing, P::unlisted},
                                {7, 8, 9},
                                2,
                                -1,
                                7,
                                {"3"}},
                      SearchRow{"saved COM3 answers at once",
                                3,
                                {P::unlisted, P::unlisted, P::unlisted, P::receiver, P::unlisted,
                                 P::unlisted, P::unlisted, P::unlisted, P::unlisted, P::unlisted},
                                {3},
                                3,
                                3,
                                3,
                                {"3", "4", "5a"}}));

TEST(ReceiverSearchTiming, OpenPortsGetSevenAndAHalfSecondsOthersHalfASecond) {
    Device device(searchWindowProc, 17);
    const std::array<Port, 10> layout = {P::unlisted, P::missing, P::silent,   P::notTerminal,
                                         P::unlisted, P::silent,  P::unlisted, P::unlisted,
                                         P::silent,   P::silent};
    Ports ports(layout);
    const std::vector<Attempt> attempts = runSearch(device, ports);
    ASSERT_EQ(attempts.size(), 10u);
    for (size_t i = 0; i + 1 < attempts.size(); ++i) {
        SCOPED_TRACE("after COM" + std::to_string(attempts[i].port));
        EXPECT_EQ(attempts[i].opened, layout[i] == P::silent);
        // The check of this port, then the pause between two ports.
        const uint64_t expected = (attempts[i].opened ? portCheckMs : failedPortMs) + 500;
        const uint64_t gap = attempts[i + 1].atMs - attempts[i].atMs;
        EXPECT_GE(gap + stepMs, expected);
        EXPECT_LE(gap, expected + stepMs);
    }
    EXPECT_EQ(status(), "GPS Rx wasn't found\nin any serial port.");
}

TEST(ReceiverSearchTexts, TheProcedureStartsWithTheSearchOrConnectText) {
    struct Row {
        const char* legend;
        int32_t savedPort;
        const char* text;
        std::vector<std::string> cues;
    } rows[] = {
        {"no receiver known: the scan from COM0", -1, "Searching GPS Rx\nin port COM0...", {"2"}},
        {"COM6 known", 6, "Connecting GPS Rx\nin port COM6...", {"3"}},
    };
    Device device(searchWindowProc, 17);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::test::clearTrace();
        orven::test::clearPlayedSounds();
        appSettings.gpsPortNumber = row.savedPort;
        SetTimer(mainWindow, procedureStartTimer, procedureStartMs, nullptr);
        orven::test::advance(procedureStartMs);
        EXPECT_EQ(status(), row.text);
        EXPECT_EQ(cues(), row.cues);
        EXPECT_EQ(gpsState.searchState.load(), 1);
        EXPECT_EQ(timerCalls("KillTimer", procedureStartTimer), 1);
        gpsShutdown();  // the next row starts a new procedure
    }
}

TEST(ReceiverSearchWatchdogs, LostAndMissedEndTheProcedure) {
    struct Row {
        const char* legend;
        UINT_PTR watchdog;
        UINT_PTR other;
        UINT fireAfterMs;
        const char* text;
    } rows[] = {
        {"no sentence for 30 s", receiverLostTimer, positionMissedTimer, receiverLostMs,
         "GPS Rx lost\nin port COM5"},
        {"no position for 3 minutes", positionMissedTimer, receiverLostTimer, positionMissedMs,
         "GPS position missed\n "},
    };
    Device device(searchWindowProc, 17);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        Ports ports({P::unlisted, P::unlisted, P::unlisted, P::unlisted, P::unlisted, P::receiver,
                     P::unlisted, P::unlisted, P::unlisted, P::unlisted});
        appSettings.gpsPortNumber = 5;
        runSearch(device, ports);
        ASSERT_EQ(gpsState.searchState.load(), 3);
        ASSERT_TRUE(device.waitFor([] { return timerCalls("SetTimer", 44) == 1; }));
        // The receiver is pulled out; the reader ends by itself, the port stays open.
        ports.gps->unplug();
        ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
        EXPECT_NE(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
        KillTimer(mainWindow, row.other);
        orven::test::clearTrace();
        orven::test::advance(row.fireAfterMs);
        EXPECT_EQ(status(), row.text);
        EXPECT_EQ(gpsState.searchState.load(), 0);
        EXPECT_FALSE(searchSendsAlert()) << "the next search's position sends only if it asks to";
        EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(traced("CloseHandle port=COM5:"), 1);
        EXPECT_TRUE(portsTried().empty()) << "nothing is retried";
    }
}

}  // namespace
