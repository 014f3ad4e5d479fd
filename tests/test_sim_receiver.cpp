// The simulated receiver: its sentences are well-formed NMEA that the program's parser
// reads back as the scripted fix, recorded logs are grouped by their fix times, the
// script comes out of a pseudo-terminal in order, unplugging hangs the terminal up, and
// the emulated phone's default receiver is COM4, for the process only, when the registry
// lists no port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/status_text.h"
#include "gps/nmea_parser.h"
#include "platform/testing.h"
#include "platform/windows.h"
#include "sim/nmea_receiver.h"

namespace {

using orven::sim::generatedGroup;
using orven::sim::NmeaReceiver;
using orven::sim::Phase;
using orven::sim::Scenario;
using orven::test::Phone;

constexpr time_t fixUtc = 1767571200 + 12 * 3600 + 35 * 60 + 19;  // 2026-01-05 12:35:19 UTC

std::string readLog(const char* name) {
    std::ifstream in(std::filesystem::path(ORVEN_SOURCE_DIR) / "tests/data/nmea" / name,
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The checksum test the program does not make: XOR of everything between '$' and '*'.
::testing::AssertionResult wellFormed(const std::string& sentence) {
    if (sentence.size() < 6 || sentence[0] != '$' || sentence.substr(sentence.size() - 2) != "\r\n")
        return ::testing::AssertionFailure() << "framing: " << sentence;
    const size_t star = sentence.find('*');
    if (star == std::string::npos || star + 5 != sentence.size())
        return ::testing::AssertionFailure() << "no checksum: " << sentence;
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    if (std::stoul(sentence.substr(star + 1, 2), nullptr, 16) != sum)
        return ::testing::AssertionFailure() << "checksum: " << sentence;
    return ::testing::AssertionSuccess();
}

std::string utf8(const WCHAR* text) {
    return orven::toUtf8(text);
}

TEST(SimulatedReceiver, SentencesParseAsTheScriptedFix) {
    struct Row {
        const char* legend;
        Phase::Kind kind;
        const char* talker;
        double latitude;
        double longitude;
        uint32_t fixQuality;
        int32_t rmcStatus;
        const char* status;  // the status line the parser leaves
    } rows[] = {
        {"fix in the north-east", Phase::fix, "GP", 48.1173, 11.0 + 31.0 / 60.0, 1, 1,
         "Position found at 12:35\nN48.117300\u00b0 E011.516666\u00b0"},
        {"fix in the south-west", Phase::fix, "GP", -48.1173, -(11.0 + 31.0 / 60.0), 1, 1,
         "Position found at 12:35\nS48.117300\u00b0 W011.516666\u00b0"},
        {"another talker's fix", Phase::fix, "GN", 10.5, 100.25, 1, 1,
         "Position found at 12:35\nN10.500000\u00b0 E100.250000\u00b0"},
        {"no fix yet", Phase::noFix, "GP", 0, 0, 0, 2, ""},
    };
    orven::test::useVirtualClock();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        Scenario scenario;
        scenario.talker = row.talker;
        scenario.latitude = row.latitude;
        scenario.longitude = row.longitude;
        // The link reset a newly opened port gets.
        setStatusText(u"");
        gpsState.positionFound = 0;
        gpsState.fixQuality = 0;
        gpsState.rmcStatus = 0;
        sentenceFramerReset();
        for (const std::string& sentence : generatedGroup(scenario, row.kind, fixUtc)) {
            EXPECT_TRUE(wellFormed(sentence));
            EXPECT_EQ(sentence.substr(1, 2), row.talker);
            int completed = 0;
            for (char c : sentence)
                if (sentenceFramer(static_cast<BYTE>(c))) {
                    dispatchSentence();
                    ++completed;
                }
            EXPECT_EQ(completed, 1) << sentence;
        }
        EXPECT_EQ(gpsState.fixQuality.load(), row.fixQuality);
        EXPECT_EQ(gpsState.rmcStatus.load(), row.rmcStatus);
        WCHAR status[statusTextSize];
        copyStatusText(status);
        EXPECT_EQ(utf8(status), row.status);
    }
}

TEST(SimulatedReceiver, LogsAreGroupedByTheirFixTimes) {
    for (const char* name : {"neo-m8n.log", "bu353s4.log", "garmin-geko201.log"}) {
        SCOPED_TRACE(name);
        const std::string log = readLog(name);
        const auto groups = orven::sim::groupedLog(log);
        size_t sentences = 0;
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && (line[0] == '$' || line[0] == '!')) ++sentences;
        size_t grouped = 0;
        std::string previousTime;
        for (const auto& group : groups) {
            std::string groupTime;
            for (const std::string& sentence : group) {
                ++grouped;
                ASSERT_EQ(sentence.substr(sentence.size() - 2), "\r\n");
                const std::string type = sentence.substr(3, 3);
                if (type != "GGA" && type != "RMC") continue;
                const std::string time = sentence.substr(7, sentence.find(',', 7) - 7);
                if (groupTime.empty()) groupTime = time;
                EXPECT_EQ(time, groupTime) << "one fix time per group";
            }
            if (!groupTime.empty()) {
                EXPECT_NE(groupTime, previousTime) << "a new second";
            }
            previousTime = groupTime;
        }
        EXPECT_EQ(grouped, sentences) << "every sentence sent, once";
        EXPECT_GT(groups.size(), 5u);
    }
}

// Reads the terminal until `bytes` came or nothing more comes for a second.
std::string readTerminal(int fd, size_t bytes) {
    std::string received;
    char chunk[512];
    pollfd in = {fd, POLLIN, 0};
    while (received.size() < bytes && poll(&in, 1, 1000) > 0) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        received.append(chunk, static_cast<size_t>(got));
    }
    return received;
}

TEST(SimulatedReceiver, ServesItsScriptInOrderThenHangsUp) {
    Scenario scenario;
    scenario.paced = false;
    scenario.startUtc = fixUtc;
    scenario.phases = {{Phase::noFix, 2}, {Phase::fix, 3}};
    std::string expected;
    for (int second = 0; second < 5; ++second)
        for (const std::string& s :
             generatedGroup(scenario, second < 2 ? Phase::noFix : Phase::fix, fixUtc + second))
            expected += s;
    std::unique_ptr<NmeaReceiver> receiver = NmeaReceiver::start(scenario);
    ASSERT_TRUE(receiver);
    // The receiver keeps its own end of the slave open, so what it wrote waits there.
    const int fd = open(receiver->devicePath().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readTerminal(fd, expected.size()), expected);
    // The script ran out; the receiver stays connected.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!receiver->finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(receiver->finished());
    // Pulled out: bytes still in flight are lost, as on a real line, and the terminal hangs up.
    receiver->unplug();
    pollfd hangup = {fd, 0, 0};
    EXPECT_EQ(poll(&hangup, 1, 5000), 1);
    EXPECT_NE(hangup.revents & POLLHUP, 0) << "unplugged";
    EXPECT_EQ(receiver->groupsSent(), 5u);
    close(fd);
}

// A receiver powered by its port: nothing while the terminal is closed, its script from
// the first group once it is opened, and nothing again once it is closed (paced, it
// would otherwise go on with a group a second).
TEST(SimulatedReceiver, PoweredByItsPortItSendsOnlyWhileOpen) {
    Scenario scenario;
    scenario.idleWhileClosed = true;
    scenario.phases = {{Phase::noFix, 1}, {Phase::fix, 0}};
    std::unique_ptr<NmeaReceiver> receiver = NmeaReceiver::start(scenario);
    ASSERT_TRUE(receiver);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(receiver->bytesSent(), 0u) << "sent with nobody listening";

    const int fd = open(receiver->devicePath().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string group = readTerminal(fd, 100);
    EXPECT_EQ(group.rfind("$GPGGA,", 0), 0u) << group;
    EXPECT_NE(group.find(",0,00,"), std::string::npos) << "the first group has no fix: " << group;
    close(fd);

    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the group under way ends
    const uint64_t afterClose = receiver->bytesSent();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(receiver->bytesSent(), afterClose) << "still sending after the port was closed";
    EXPECT_EQ(receiver->groupsSent(), 1u);
}

std::string listedPath(int number) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Ports", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    WCHAR text[512] = {};
    DWORD size = sizeof text - 2;
    const std::u16string name = u"COM" + orven::fromUtf8(std::to_string(number)) + u":";
    const LONG result = RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                                         reinterpret_cast<LPBYTE>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? utf8(text) : "";
}

TEST(SimulatedReceiver, DefaultReceiverIsListedForThisRunAndDropsAnEarlierVersionsListing) {
    Phone phone;
    // What an earlier version's default receiver wrote: its terminal is long gone.
    phone.writeHive("system.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n"
                    "\"COM4:\"=\"/dev/pts/987\"\r\n"
                    "\"Simulated receiver\"=\"/dev/pts/987\"\r\n");
    ASSERT_TRUE(orven::sim::startDefaultReceiver());
    EXPECT_EQ(listedPath(4), "") << "the receiver of this run is not in the registry";
    std::ifstream hive(phone.deviceDir() + "/system.reg");
    std::stringstream saved;
    saved << hive.rdbuf();
    EXPECT_EQ(saved.str().find("/dev/pts/"), std::string::npos) << saved.str();
    EXPECT_EQ(saved.str().find("Simulated receiver"), std::string::npos) << saved.str();
    // COM4 is a receiver: the first sentences come without a fix.
    HANDLE port = CreateFileW(u"COM4:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(port, &timeouts);
    SetCommMask(port, EV_RXCHAR);
    // The first group may be cut: the port drops what came before it was opened.
    std::string text;
    while (text.find("RMC,") == std::string::npos ||
           text.find('\n', text.find("RMC,")) == std::string::npos) {
        DWORD events = 0;
        ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
        BYTE byte;
        DWORD got;
        while (ReadFile(port, &byte, 1, &got, nullptr) && got == 1) text += char(byte);
    }
    const std::string rmc = text.substr(text.find("RMC,") - 3);
    EXPECT_EQ(rmc.substr(0, 7), "$GPRMC,") << text;
    EXPECT_EQ(rmc.substr(rmc.find(',', 7), 3), ",V,") << "no fix yet: " << text;
    CloseHandle(port);
    EXPECT_FALSE(orven::sim::startDefaultReceiver()) << "one default receiver per process";
}

TEST(SimulatedReceiver, DefaultReceiverLeavesListedPortsAlone) {
    Phone phone;
    ASSERT_TRUE(orven::sim::mapComPort(2, "/dev/ttyUSB0"));
    EXPECT_FALSE(orven::sim::startDefaultReceiver());
    EXPECT_EQ(listedPath(4), "");
    EXPECT_EQ(listedPath(2), "/dev/ttyUSB0");
}

}  // namespace
