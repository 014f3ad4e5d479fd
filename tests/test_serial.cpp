// COM ports over pseudo-terminals: which names open, the line settings really applied to
// the terminal, reads served in batches, a wait released by CloseHandle from another
// thread, and a device that hangs up.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/testing.h"
#include "platform/windows.h"
#include "sim/nmea_receiver.h"

namespace {

using orven::test::Phone;
using Clock = std::chrono::steady_clock;

// The two ends of a pseudo-terminal; the test writes to the master, the program opens
// the slave as a COM port.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    void hangUp() {
        close(master);
        close(slave);
        master = slave = -1;
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
};

HANDLE openCom(LPCWSTR name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

void setImmediateReads(HANDLE port) {
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 10, 1000};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
}

// Polls (real time, bounded) until done holds.
bool eventually(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(SerialPort, WhichNamesOpen) {
    Phone phone;
    Pty terminal;
    Pty other;
    ASSERT_TRUE(orven::sim::mapComPort(1, terminal.path));
    ASSERT_TRUE(orven::sim::mapComPort(2, "/nonexistent/ttyUSB9"));
    ASSERT_TRUE(orven::sim::mapComPort(3, "/dev/null"));
    ASSERT_TRUE(orven::sim::mapComPort(4, ORVEN_SOURCE_DIR "/CMakeLists.txt"));
    ASSERT_TRUE(orven::sim::mapComPort(7, other.path));
    struct Row {
        const char* legend;
        const char16_t* name;
        bool opens;
        DWORD error;
    } rows[] = {
        {"listed pseudo-terminal", u"COM1:", true, 0},
        {"no colon, lower case", u"com7", true, 0},
        {"listed path that does not exist", u"COM2:", false, ERROR_FILE_NOT_FOUND},
        {"character device that is not a terminal", u"COM3:", false, ERROR_FILE_NOT_FOUND},
        {"regular file", u"COM4:", false, ERROR_FILE_NOT_FOUND},
        {"not listed at all", u"COM5:", false, ERROR_FILE_NOT_FOUND},
        {"not a COM port", u"LPT1:", false, ERROR_FILE_NOT_FOUND},
        {"COM with no number", u"COM:", false, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        SetLastError(0);
        HANDLE port = openCom(row.name);
        EXPECT_EQ(port != INVALID_HANDLE_VALUE, row.opens);
        if (port != INVALID_HANDLE_VALUE)
            EXPECT_TRUE(CloseHandle(port));
        else
            EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST(SerialPort, OneOpenerAtATimeUntilClosed) {
    Phone phone;
    Pty terminal;
    ASSERT_TRUE(orven::sim::mapComPort(0, terminal.path));
    HANDLE first = openCom(u"COM0:");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openCom(u"COM0:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    // A reader may still be inside a call on the closed handle; a new open still works.
    std::atomic<bool> waiting{true};
    std::thread reader([&] {
        SetCommMask(first, EV_RXCHAR);
        DWORD events = 0;
        WaitCommEvent(first, &events, nullptr);
        waiting = false;
    });
    ASSERT_TRUE(CloseHandle(first));
    HANDLE second = openCom(u"COM0:");
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(eventually([&] { return !waiting.load(); }));
    reader.join();
    EXPECT_FALSE(CloseHandle(first)) << "a handle closes once";
    EXPECT_TRUE(CloseHandle(second));
}

TEST(SerialPort, LineSettingsReachTheTerminal) {
    Phone phone;
    Pty terminal;
    ASSERT_TRUE(orven::sim::mapComPort(1, terminal.path));
    // Each row starts from the line the row before left.
    struct Row {
        const char* legend;
        DWORD baud;
        BYTE byteSize;
        BYTE parity;
        BYTE stopBits;
        bool applied;
        speed_t speed;    // the terminal's speed afterwards
        tcflag_t cflags;  // its CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS afterwards
    } rows[] = {
        {"the receiver's 4800 8N1", CBR_4800, 8, NOPARITY, ONESTOPBIT, true, B4800, CS8},
        {"115200 8N2", CBR_115200, 8, NOPARITY, TWOSTOPBITS, true, B115200, CS8 | CSTOPB},
        {"7E1, which a pseudo-terminal does not take: refused, the line stays", CBR_9600, 7,
         EVENPARITY, ONESTOPBIT, false, B115200, CS8 | CSTOPB},
        {"a speed the driver lacks", 12345, 8, NOPARITY, ONESTOPBIT, false, B115200, CS8 | CSTOPB},
        {"9 data bits", CBR_4800, 9, NOPARITY, ONESTOPBIT, false, B115200, CS8 | CSTOPB},
        {"1.5 stop bits with 8 data bits", CBR_4800, 8, NOPARITY, ONE5STOPBITS, false, B115200,
         CS8 | CSTOPB},
        {"back to 4800 8N1", CBR_4800, 8, NOPARITY, ONESTOPBIT, true, B4800, CS8},
    };
    HANDLE port = openCom(u"COM1:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        DCB before{};
        ASSERT_TRUE(GetCommState(port, &before));
        EXPECT_EQ(before.DCBlength, 28u);
        DCB dcb = before;
        dcb.BaudRate = row.baud;
        dcb.ByteSize = row.byteSize;
        dcb.Parity = row.parity;
        dcb.StopBits = row.stopBits;
        EXPECT_EQ(SetCommState(port, &dcb) != 0, row.applied);
        termios settings{};
        ASSERT_EQ(tcgetattr(terminal.slave, &settings), 0);
        EXPECT_EQ(cfgetispeed(&settings), row.speed);
        EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), row.cflags);
        EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw";
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL), 0u)
            << "no flow control, bytes as sent";
        DCB after{};
        ASSERT_TRUE(GetCommState(port, &after));
        const DCB& expected = row.applied ? dcb : before;
        EXPECT_EQ(after.BaudRate, expected.BaudRate);
        EXPECT_EQ(after.ByteSize, expected.ByteSize);
        EXPECT_EQ(after.Parity, expected.Parity);
        EXPECT_EQ(after.StopBits, expected.StopBits);
    }
    DCB handshake{};
    GetCommState(port, &handshake);
    handshake.fOutxCtsFlow = 1;
    ASSERT_TRUE(SetCommState(port, &handshake));
    termios settings{};
    tcgetattr(terminal.slave, &settings);
    EXPECT_NE(settings.c_cflag & CRTSCTS, 0u) << "CTS flow control";
    // A pseudo-terminal has no modem lines: nothing to raise, and nothing reported.
    EXPECT_FALSE(EscapeCommFunction(port, SETDTR));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    DWORD modem = 0xFFFF;
    EXPECT_TRUE(GetCommModemStatus(port, &modem));
    EXPECT_EQ(modem, 0u);
    CloseHandle(port);
}

// COM1 mapped to a fresh pseudo-terminal and opened; each test closes it its own way.
class OpenedPort : public ::testing::Test {
  protected:
    Phone phone;
    Pty terminal;
    HANDLE port = INVALID_HANDLE_VALUE;
    void SetUp() override {
        ASSERT_TRUE(orven::sim::mapComPort(1, terminal.path));
        port = openCom(u"COM1:");
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
    }
};

TEST_F(OpenedPort, ImmediateReadsAreServedFromOneBatch) {
    setImmediateReads(port);
    BYTE byte = 0;
    DWORD got = 7;
    EXPECT_TRUE(ReadFile(port, &byte, 1, &got, nullptr));
    EXPECT_EQ(got, 0u) << "nothing buffered: the read returns at once, empty";

    const std::string sent(300, 'x');
    terminal.send("$GPGSV,1,1,00*79\r\n" + sent);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, DWORD(EV_RXCHAR));
    const uint64_t callsBefore = orven::serial::ioCounts().systemCalls;
    std::string received;
    while (ReadFile(port, &byte, 1, &got, nullptr) && got == 1) received += char(byte);
    const uint64_t calls = orven::serial::ioCounts().systemCalls - callsBefore;
    EXPECT_EQ(received, "$GPGSV,1,1,00*79\r\n" + sent);
    EXPECT_LE(calls, 1u) << "one-byte reads come from the port's buffer, not the driver";
    CloseHandle(port);
}

TEST_F(OpenedPort, TotalTimeoutReadWaitsForBytes) {
    COMMTIMEOUTS timeouts{0, 0, 20, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    char text[8] = {};
    DWORD got = 9;
    EXPECT_TRUE(ReadFile(port, text, sizeof text, &got, nullptr));
    EXPECT_EQ(got, 0u) << "the total time-out ran out";
    timeouts.ReadTotalTimeoutConstant = 0;  // wait as long as it takes
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    std::thread late([&] { terminal.send("ok"); });
    EXPECT_TRUE(ReadFile(port, text, sizeof text, &got, nullptr));
    late.join();
    ASSERT_GE(got, 1u) << "at least one byte, then what is buffered";
    EXPECT_EQ(std::string(text, got), std::string("ok").substr(0, got));
    CloseHandle(port);
}

TEST_F(OpenedPort, CloseHandleReleasesABlockedWait) {
    SetCommMask(port, EV_RXCHAR);
    std::atomic<int> result{-1};
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        DWORD events = 0;
        const BOOL waited = WaitCommEvent(port, &events, nullptr);
        error = GetLastError();
        result = waited;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it block
    EXPECT_EQ(result.load(), -1) << "no data, no close: still waiting";
    CloseHandle(port);
    EXPECT_TRUE(eventually([&] { return result.load() != -1; }));
    reader.join();
    EXPECT_EQ(result.load(), FALSE);
    EXPECT_EQ(error.load(), DWORD(ERROR_OPERATION_ABORTED));
    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(OpenedPort, AHungUpDeviceEndsWaitsAndReads) {
    setImmediateReads(port);
    SetCommMask(port, EV_RXCHAR);
    std::atomic<int> result{-1};
    std::thread reader([&] {
        DWORD events = 0;
        result = WaitCommEvent(port, &events, nullptr);
    });
    terminal.hangUp();
    EXPECT_TRUE(eventually([&] { return result.load() != -1; }));
    reader.join();
    EXPECT_EQ(result.load(), FALSE);
    // From now on every call fails at once, without asking the driver again.
    const uint64_t callsBefore = orven::serial::ioCounts().systemCalls;
    for (int i = 0; i < 100; ++i) {
        DWORD events = 0;
        EXPECT_FALSE(WaitCommEvent(port, &events, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
        BYTE byte;
        DWORD got = 0;
        EXPECT_FALSE(ReadFile(port, &byte, 1, &got, nullptr));
        EXPECT_EQ(got, 0u);
    }
    EXPECT_EQ(orven::serial::ioCounts().systemCalls, callsBefore);
    EXPECT_TRUE(CloseHandle(port));
}

}  // namespace
