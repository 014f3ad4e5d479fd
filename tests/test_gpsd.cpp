// A COM port listed as a running gpsd: the filter that keeps the receiver's sentences,
// the listings that are and are not gpsd addresses, and, against Debian's gpsd fed a
// recorded log by gpsfake, a port that reads like a receiver's serial line, accepts
// line settings, and vanishes with gpsd, which the program reports as a receiver lost.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/receiver_search.h"
#include "platform/gpsd.h"
#include "test_gps_support.h"
#include "test_gpsd_support.h"

namespace {

using gpsdtest::GpsFake;

const std::string logPath = ORVEN_SOURCE_DIR "/tests/data/nmea/bu353s4.log";

TEST(GpsdFilter, KeepsSentencesDropsReportsWhereverTheStreamIsCut) {
    const std::string stream =
        "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n"
        "{\"class\":\"DEVICES\",\"devices\":[]}\r\n"
        "$GPGGA,030719.000,3747.0873,S*7D\n"
        "{\"class\":\"ERROR\",\"message\":\"No such device\"}\r\n"
        "$GPRMC,030719.000,A*7D\r\n"
        "!AIVDM,1,1,,A,13u?etPv2;0n:dDPwUM1U1Cb069D,0*24\n";
    const std::string expected =
        "$GPGGA,030719.000,3747.0873,S*7D\r\n"
        "$GPRMC,030719.000,A*7D\r\n"
        "!AIVDM,1,1,,A,13u?etPv2;0n:dDPwUM1U1Cb069D,0*24\r\n";
    for (size_t piece : {size_t(1), size_t(2), size_t(7), size_t(64), stream.size()}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece) + " bytes");
        orven::gpsd::SentenceFilter filter;
        std::string kept;
        for (size_t at = 0; at < stream.size(); at += piece) {
            const std::string part = stream.substr(at, piece);
            uint8_t out[2 * 64 + 512];
            const size_t count =
                filter.filter(reinterpret_cast<const uint8_t*>(part.data()), part.size(), out);
            ASSERT_LE(count, 2 * part.size());
            kept.append(reinterpret_cast<const char*>(out), count);
        }
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(filter.error, "{\"class\":\"ERROR\",\"message\":\"No such device\"}");
    }
}

TEST(GpsdAddress, ListingsThatAreGpsdAddresses) {
    struct Row {
        const char* legend;
        const char* listing;
        bool gpsd, valid;
        orven::gpsd::Address expected;
    } rows[] = {
        {"host and port", "gpsd://localhost:2947", true, true, {"localhost", "2947", ""}},
        {"port left out, any case", "GPSD://127.0.0.1", true, true, {"127.0.0.1", "2947", ""}},
        {"one of gpsd's devices",
         "gpsd://h:3000/dev/ttyACM0",
         true,
         true,
         {"h", "3000", "/dev/ttyACM0"}},
        {"IPv6", "gpsd://[::1]:2948/", true, true, {"::1", "2948", ""}},
        {"no host", "gpsd://:2947", true, false, {}},
        {"port out of range", "gpsd://localhost:65536", true, false, {}},
        {"a terminal", "/dev/ttyUSB0", false, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::gpsd::Address address;
        bool valid = true;
        EXPECT_EQ(orven::gpsd::parseAddress(row.listing, &address, &valid), row.gpsd);
        EXPECT_EQ(valid, row.valid);
        if (!row.valid) continue;
        EXPECT_EQ(address.host + " " + address.port + " " + address.device,
                  row.expected.host + " " + row.expected.port + " " + row.expected.device);
    }
}

HANDLE openCom(LPCWSTR name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Complete lines read from the port until `count` of them came or the port failed
// (*failure: the error, else 0).
std::vector<std::string> readLines(HANDLE port, size_t count, DWORD* failure) {
    std::vector<std::string> lines(1);
    DWORD events = 0;
    *failure = 0;
    while (lines.size() <= count && WaitCommEvent(port, &events, nullptr)) {
        char byte = 0;
        DWORD got = 0;
        while (ReadFile(port, &byte, 1, &got, nullptr) && got == 1) {
            lines.back() += byte;
            if (byte == '\n') lines.emplace_back();
        }
    }
    if (lines.size() <= count) *failure = GetLastError();
    lines.pop_back();
    return lines;
}

TEST(GpsdPort, ReadsTheReceiversSentencesAndVanishesWithGpsd) {
    if (!gpsdtest::gpsfakeInstalled()) GTEST_SKIP() << "gpsd and gpsfake are not installed";
    orven::test::Phone phone;
    orven::test::setSerialBatchWaitForTests(20);
    GpsFake gpsd(logPath);
    ASSERT_TRUE(gpsd.listening());
    ASSERT_TRUE(orven::sim::mapComPort(3, gpsd.address()));
    HANDLE port = openCom(u"COM3:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openCom(u"COM3:"), INVALID_HANDLE_VALUE) << "one opener at a time";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

    // Line settings are taken and read back; the line itself is gpsd's.
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = CBR_115200;
    EXPECT_TRUE(SetCommState(port, &dcb));
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, DWORD(CBR_115200));
    EXPECT_FALSE(EscapeCommFunction(port, SETDTR));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED)) << "no modem lines, as on a pty";
    COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 10, 1000};
    ASSERT_TRUE(SetCommTimeouts(port, &immediate));
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING));

    // Every line is one of the log's sentences, ended as a receiver ends it.
    std::set<std::string> logged;
    std::ifstream log(logPath);
    for (std::string line; std::getline(log, line);)
        if (!line.empty() && line[0] == '$') logged.insert(line);
    DWORD failure = 0;
    const std::vector<std::string> lines = readLines(port, 30, &failure);
    ASSERT_EQ(lines.size(), 30u) << "failed with " << failure;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        ASSERT_GE(line.size(), 2u);
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        EXPECT_EQ(logged.count(line.substr(0, line.size() - 2)), 1u);
    }

    gpsd.stop();  // what was sent before is read, then the port has vanished
    readLines(port, SIZE_MAX - 1, &failure);
    EXPECT_EQ(failure, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_EQ(openCom(u"COM3:"), INVALID_HANDLE_VALUE) << "nothing listens there now";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

LRESULT CALLBACK watchdogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    if (wParam == receiverLostTimer)
        onReceiverLostTimer(window);
    else
        KillTimer(window, wParam);
    return 0;
}

TEST(GpsdPort, GpsdStoppingIsAReceiverLost) {
    if (!gpsdtest::gpsfakeInstalled()) GTEST_SKIP() << "gpsd and gpsfake are not installed";
    using namespace gpstest;
    Device device(watchdogWindowProc, 17);
    orven::test::setSerialBatchWaitForTests(20);
    appSettings.gpsPortNumber = 3;
    gpsState.searchState = 1;
    GpsFake gpsd(logPath);
    ASSERT_TRUE(gpsd.listening());
    ASSERT_TRUE(orven::sim::mapComPort(3, gpsd.address()));
    ASSERT_EQ(gpsPortOpen(u"COM3:"), 1);
    ASSERT_TRUE(device.waitFor([] { return gpsState.positionFound.load() == 1; }));
    EXPECT_EQ(status().rfind("Position found at ", 0), 0u) << status();
    EXPECT_EQ(orven::toUtf8(copyGpsFix().latitudeText).substr(0, 4), "S37.");

    gpsd.stop();
    ASSERT_TRUE(device.waitFor([] { return traced(readerEndLine) == 1; }));
    orven::test::advance(receiverLostMs);
    EXPECT_EQ(status(), "GPS Rx lost\nin port COM3");
    EXPECT_EQ(gpsState.portHandle.load(), INVALID_HANDLE_VALUE);
}

}  // namespace
