// Serial ports: the phone's COM port calls on Linux terminal devices.
//
// Relies on tty.cpp (opening a device raw and exclusive), gpsd.cpp (a running gpsd as
// the device), registry.cpp (the COM port list under "Drivers\Ports", before this
// process's own volatile listings), threads.cpp (the handle table behind CloseHandle) and
// trace.cpp.
//
// A port is a kernel object holding the device's descriptor, an eventfd that CloseHandle
// makes readable, and a 512-byte receive buffer. Every call looks the handle up and keeps
// the object alive while it runs, so the descriptor is closed only once no call is using
// it: a reader that is still inside WaitCommEvent when the port is closed never reads a
// descriptor number that was meanwhile given to another file.
//
// Reads in batches. A receiver at 4800 baud delivers about 480 bytes a second, in
// bursts of sentences; asking the driver for each byte would cost one system call per
// byte. Once bytes are there, WaitCommEvent waits (on the eventfd only, so a close still
// ends the wait at once) for the time the line needs to fill the buffer, capped at a
// second, then takes everything with one read(). While bytes keep coming it goes on in
// that rhythm without asking poll() first: about two system calls per second of input.
//
// A port listed as "gpsd://host:port" holds a TCP connection to gpsd instead of a
// terminal. poll() and read() work on it alike; what differs is kept to a few places:
// each read goes through the filter that keeps the receiver's sentences, the line
// settings are kept without a line to apply them to, there are no modem lines, and the
// port is taken for one opener within this process (gpsd serves any number of clients).
// gpsd closing the connection is a hang-up, like a receiver pulled from its socket.
#include "platform/serial.h"
#include "platform/loudspeaker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/gpsd.h"
#include "platform/internal.h"
#include "platform/modemmanager.h"
#include "platform/registry.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/transcript.h"
#include "platform/tty.h"

namespace {

constexpr size_t receiveBufferSize = 512;  // bytes taken from the device per read()
constexpr int openingBaud = 9600;          // the speed a port has until SetCommState
constexpr int64_t maxGatherMs = 1000;      // longest wait for a batch to fill
constexpr int bitsPerByte = 10;            // start bit, 8 data bits, stop bit
constexpr DWORD pathChars = 512;           // UTF-16 units of a device path in the registry
constexpr WORD defaultXonLimit = 2048;     // the phone driver's flow-control thresholds
constexpr WORD defaultXoffLimit = 512;
constexpr char xonCharacter = 0x11;
constexpr char xoffCharacter = 0x13;

// The process's own listings (mapVolatilePort): COM number to device path.
std::mutex volatileMutex;
std::map<int, std::string>& volatilePorts() {
    static auto* ports = new std::map<int, std::string>;  // readers may outlive static destructors
    return *ports;
}

// COM numbers whose gpsd connection is open: the port has one opener at a time, as a
// terminal's flock gives the others. Guarded by volatileMutex.
std::set<int>& gpsdPortsOpen() {
    static auto* ports = new std::set<int>;  // readers may outlive static destructors
    return *ports;
}

std::atomic<uint64_t> systemCalls{0};
std::atomic<uint64_t> bytesReceived{0};

void counted() {
    systemCalls.fetch_add(1, std::memory_order_relaxed);
}

struct SerialPort : orven::internal::KernelObject {
    SerialPort(int device, int wake, std::string comName, DWORD accessRights, int gpsdNumber)
        : fd(device),
          wakeFd(wake),
          name(std::move(comName)),
          access(accessRights),
          gpsdPort(gpsdNumber) {
        noModemLines = gpsdPort >= 0;
    }
    ~SerialPort() override {
        ::close(fd);
        ::close(wakeFd);
    }
    // CloseHandle: wakes every wait on this port and lets another open take the device.
    // The descriptor itself closes when the last call still running on it returns.
    bool close() override {
        closed.store(true);
        if (gpsdPort >= 0) {
            std::lock_guard hold(volatileMutex);
            gpsdPortsOpen().erase(gpsdPort);
        } else {
            flock(fd, LOCK_UN);
        }
        const uint64_t one = 1;
        (void)!write(wakeFd, &one, sizeof one);
        orven::internal::trace("CloseHandle port=%s", name.c_str());
        orven::transcript::line("%s closed", name.c_str());
        return true;
    }

    const int fd;            // the terminal device
    const int wakeFd;        // eventfd, readable once the handle is closed
    const std::string name;  // "COMn:", for the trace
    const DWORD access;      // GENERIC_READ | GENERIC_WRITE as opened
    const int gpsdPort;      // the COM number when fd is a gpsd connection, else -1
    std::atomic<bool> closed{false};

    std::mutex lock;  // guards every field below
    BYTE buffer[receiveBufferSize];
    size_t head = 0;            // next byte to hand out
    size_t tail = 0;            // end of the bytes received
    bool drained = false;       // the last read() emptied the device's queue
    bool streaming = false;     // the last batch found bytes: more are probably coming
    bool gone = false;          // the device hung up (unplugged, pty peer closed)
    bool noModemLines = false;  // the device has no DTR/RTS/CTS... (pseudo-terminals)
    DWORD eventMask = 0;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    orven::gpsd::SentenceFilter filter;  // a gpsd connection's stream, sentences kept
};

std::shared_ptr<SerialPort> portOf(HANDLE handle) {
    auto port = std::dynamic_pointer_cast<SerialPort>(orven::internal::lookupHandle(handle));
    if (!port) SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// "COMn:" or "COMn" (any case) -> n; -1 for any other name.
int comNumber(std::u16string_view name) {
    if (name.size() < 4 || (name[0] | 0x20) != u'c' || (name[1] | 0x20) != u'o' ||
        (name[2] | 0x20) != u'm')
        return -1;
    if (name.back() == u':') name.remove_suffix(1);
    if (name.size() == 3 || name.size() > 6) return -1;
    int number = 0;
    for (char16_t c : name.substr(3)) {
        if (c < u'0' || c > u'9') return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}

std::string volatilePathOf(int number) {
    std::lock_guard lock(volatileMutex);
    const auto found = volatilePorts().find(number);
    return found == volatilePorts().end() ? "" : found->second;
}

// The device path the registry lists for COMn, else the process's own listing, else "".
std::string devicePathOf(int number) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Ports", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return volatilePathOf(number);
    const std::u16string valueName = u"COM" + orven::fromUtf8(std::to_string(number)) + u":";
    WCHAR path[pathChars] = {};
    DWORD size = sizeof path - sizeof(WCHAR);
    DWORD type = REG_NONE;
    const LONG result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<LPBYTE>(path), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return volatilePathOf(number);
    return orven::toUtf8(std::u16string(path, size / sizeof(WCHAR)).c_str());
}

DWORD errorOfOpen(int code) {
    switch (code) {
        case EWOULDBLOCK:
        case EACCES:
        case EPERM:
        case EBUSY: return ERROR_ACCESS_DENIED;
        default: return ERROR_FILE_NOT_FOUND;
    }
}

// Connects COMn's gpsd, the port taken for this open alone. Returns the socket, or -1
// with the reason in *why and errno as tty::openRaw sets it (EWOULDBLOCK: in use).
int openGpsd(int number, const orven::gpsd::Address& address, std::string* why) {
    {
        std::lock_guard hold(volatileMutex);
        if (!gpsdPortsOpen().insert(number).second) {
            *why = "gpsd connection in use";
            errno = EWOULDBLOCK;
            return -1;
        }
    }
    const int fd = orven::gpsd::connectAndWatch(address, why);
    if (fd < 0) {
        const int code = errno;
        std::lock_guard hold(volatileMutex);
        gpsdPortsOpen().erase(number);
        errno = code;
    }
    return fd;
}

// The settings a port has right after it is opened.
DCB openingDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = openingBaud;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = defaultXonLimit;
    dcb.XoffLim = defaultXoffLimit;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = xonCharacter;
    dcb.XoffChar = xoffCharacter;
    return dcb;
}

// The longest wait for a batch; tests whose devices run faster than a real line shorten it.
std::atomic<int64_t> gatherCapMs{maxGatherMs};

// How long the line takes to fill the receive buffer at the port's speed.
int gatherMs(const SerialPort& port) {
    const int64_t baud = std::max<int64_t>(port.dcb.BaudRate, 1);
    const int64_t ms = int64_t(receiveBufferSize) * bitsPerByte * 1000 / baud;
    return static_cast<int>(std::clamp<int64_t>(ms, 1, std::max<int64_t>(gatherCapMs.load(), 1)));
}

enum class Refill { data, empty, gone };

// One read() into the empty buffer: straight from a terminal; from a gpsd connection,
// half a buffer through the filter (which may double it with CRs), read again while
// what came was only gpsd's own reports. Caller holds port.lock.
Refill refillLocked(SerialPort& port) {
    const bool gpsd = port.gpsdPort >= 0;
    const size_t asked = gpsd ? receiveBufferSize / 2 : receiveBufferSize;
    BYTE received[receiveBufferSize / 2];
    for (;;) {
        counted();
        const ssize_t got = read(port.fd, gpsd ? received : port.buffer, asked);
        if (got > 0) {
            const size_t kept =
                gpsd ? port.filter.filter(received, size_t(got), port.buffer) : size_t(got);
            if (gpsd && !port.filter.error.empty()) {
                orven::internal::trace("%s gpsd: %s", port.name.c_str(), port.filter.error.c_str());
                port.filter.error.clear();
            }
            if (kept == 0) continue;
            port.head = 0;
            port.tail = kept;
            port.drained = size_t(got) < asked;
            bytesReceived.fetch_add(port.tail, std::memory_order_relaxed);
            return Refill::data;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            port.drained = true;
            return Refill::empty;
        }
        // 0 (end of file) or EIO: the device hung up.
        port.gone = true;
        return Refill::gone;
    }
}

enum class Wait { ready, hangup, closed, timeout };

// Waits for the device (for input when `input`, else only for a hang-up) or the close.
// gpsd closing its end of the connection is no POLLHUP but POLLRDHUP (or POLLIN with
// nothing to read behind it).
Wait waitForDevice(SerialPort& port, bool input, int timeoutMs) {
    const short hangUp = port.gpsdPort >= 0 ? POLLRDHUP : 0;
    pollfd fds[2] = {{port.fd, static_cast<short>(input ? POLLIN : hangUp), 0},
                     {port.wakeFd, POLLIN, 0}};
    for (;;) {
        if (port.closed.load()) return Wait::closed;
        counted();
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Wait::timeout;
        if (ready < 0 || fds[1].revents != 0 || port.closed.load()) return Wait::closed;
        if (fds[0].revents & POLLIN) return Wait::ready;
        return Wait::hangup;
    }
}

// Sleeps for ms unless the port is closed meanwhile; false when it was.
bool pauseUnlessClosed(SerialPort& port, int ms) {
    pollfd wake = {port.wakeFd, POLLIN, 0};
    counted();
    while (poll(&wake, 1, ms) < 0 && errno == EINTR) counted();
    return !port.closed.load();
}

speed_t speedOf(const termios& settings) {
    return cfgetispeed(&settings);
}

// Refreshes the DCB's line fields from the device. Caller holds port.lock.
void readBackLocked(SerialPort& port) {
    termios settings{};
    if (tcgetattr(port.fd, &settings) != 0) return;
    if (const int baud = orven::tty::baudOfSpeedCode(static_cast<int>(speedOf(settings))); baud > 0)
        port.dcb.BaudRate = static_cast<DWORD>(baud);
    switch (settings.c_cflag & CSIZE) {
        case CS5: port.dcb.ByteSize = 5; break;
        case CS6: port.dcb.ByteSize = 6; break;
        case CS7: port.dcb.ByteSize = 7; break;
        default: port.dcb.ByteSize = 8; break;
    }
    if (!(settings.c_cflag & PARENB))
        port.dcb.Parity = NOPARITY;
    else if (settings.c_cflag & CMSPAR)
        port.dcb.Parity = (settings.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        port.dcb.Parity = (settings.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (!(settings.c_cflag & CSTOPB))
        port.dcb.StopBits = ONESTOPBIT;
    else
        port.dcb.StopBits = port.dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

// Raises or lowers modem lines. A device without modem lines is not an error.
bool setModemLines(SerialPort& port, int lines, bool on) {
    if (port.noModemLines) return true;
    if (ioctl(port.fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0) return true;
    if (errno == ENOTTY || errno == EINVAL) {
        port.noModemLines = true;
        return true;
    }
    return false;
}

// The functions of EscapeCommFunction (7, the phone's RESETDEV, is not one here).
bool knownEscape(DWORD function) {
    switch (function) {
        case SETXOFF:
        case SETXON:
        case SETRTS:
        case CLRRTS:
        case SETDTR:
        case CLRDTR:
        case SETBREAK:
        case CLRBREAK: return true;
        default: return false;
    }
}

bool validDcb(const DCB& dcb) {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY) return false;
    if (dcb.StopBits > TWOSTOPBITS || (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5))
        return false;
    return orven::tty::speedCode(static_cast<int>(dcb.BaudRate)) >= 0;
}

// The DCB as termios flags.
void applyDcb(const DCB& dcb, termios& settings) {
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= sizes[dcb.ByteSize - 5] | CLOCAL | CREAD;
    if (dcb.Parity != NOPARITY) settings.c_cflag |= PARENB;
    if (dcb.Parity == ODDPARITY || dcb.Parity == MARKPARITY) settings.c_cflag |= PARODD;
    if (dcb.Parity == MARKPARITY || dcb.Parity == SPACEPARITY) settings.c_cflag |= CMSPAR;
    if (dcb.StopBits != ONESTOPBIT) settings.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (dcb.fOutX) settings.c_iflag |= IXON;
    if (dcb.fInX) settings.c_iflag |= IXOFF;
    if (dcb.fParity && dcb.Parity != NOPARITY) settings.c_iflag |= INPCK;
    if (dcb.XonChar != 0) settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    if (dcb.XoffChar != 0) settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    const auto code = static_cast<speed_t>(orven::tty::speedCode(static_cast<int>(dcb.BaudRate)));
    cfsetispeed(&settings, code);
    cfsetospeed(&settings, code);
}

// Whether the device holds the speed, character format and flow control asked for.
bool sameLine(const termios& applied, const termios& asked) {
    constexpr tcflag_t format = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t softwareFlow = IXON | IXOFF | INPCK;
    return speedOf(applied) == speedOf(asked) &&
           (applied.c_cflag & format) == (asked.c_cflag & format) &&
           (applied.c_iflag & softwareFlow) == (asked.c_iflag & softwareFlow);
}

bool immediateReads(const COMMTIMEOUTS& timeouts) {
    return timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == 0 &&
           timeouts.ReadTotalTimeoutConstant == 0;
}

// Waits, for the time-outs other than the immediate mode, until bytes are buffered, the
// total time-out ran out, the device hung up or the port was closed.
DWORD waitForBytes(SerialPort& port, DWORD bytesToRead) {
    using Clock = std::chrono::steady_clock;
    COMMTIMEOUTS timeouts;
    {
        std::lock_guard hold(port.lock);
        timeouts = port.timeouts;
    }
    const uint64_t totalMs = uint64_t(timeouts.ReadTotalTimeoutMultiplier) * bytesToRead +
                             timeouts.ReadTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        {
            std::lock_guard hold(port.lock);
            if (port.head < port.tail) return ERROR_SUCCESS;
            if (port.gone) return ERROR_DEVICE_NOT_CONNECTED;
            const Refill refill = refillLocked(port);
            if (refill == Refill::data) return ERROR_SUCCESS;
            if (refill == Refill::gone) return ERROR_DEVICE_NOT_CONNECTED;
        }
        int timeoutMs = -1;
        if (totalMs > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return ERROR_SUCCESS;
            timeoutMs = static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
        }
        switch (waitForDevice(port, true, timeoutMs)) {
            case Wait::closed: return ERROR_OPERATION_ABORTED;
            case Wait::timeout: return ERROR_SUCCESS;
            case Wait::ready:
            case Wait::hangup: break;  // the next read tells which
        }
    }
}

}  // namespace

namespace orven::serial {

IoCounts ioCounts() {
    return {systemCalls.load(), bytesReceived.load()};
}

void mapVolatilePort(int number, const std::string& path) {
    {
        std::lock_guard lock(volatileMutex);
        if (path.empty())
            volatilePorts().erase(number);
        else
            volatilePorts()[number] = path;
    }
    internal::trace("COM%d: %s for this run", number,
                    path.empty() ? "unlisted" : ("listed as " + path).c_str());
}

}  // namespace orven::serial

// ---- CreateFileW
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD creation,
                   DWORD, HANDLE) {
    const std::u16string name = fileName != nullptr ? fileName : u"";
    const int number = comNumber(name);
    const std::string comName = "COM" + std::to_string(number) + ":";
    // Other names may be the devices that are not serial ports (the wave driver).
    HANDLE special = number < 0 && creation == OPEN_EXISTING
                         ? orven::openSpecialDevice(name.c_str(), access)
                         : INVALID_HANDLE_VALUE;
    if (special != INVALID_HANDLE_VALUE) return special;
    if (number < 0 || creation != OPEN_EXISTING) {
        orven::internal::trace("CreateFile name=%s failed", orven::toUtf8(name).c_str());
        SetLastError(number < 0 ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = devicePathOf(number);
    std::string why = "not in Drivers\\Ports";
    if (orven::modemmanager::isPortName(path)) path = orven::modemmanager::gpsDevicePath(&why);
    orven::gpsd::Address gpsdAddress;
    bool validAddress = false;
    const bool gpsd = orven::gpsd::parseAddress(path, &gpsdAddress, &validAddress);
    if (gpsd && !validAddress) why = path + ": not a gpsd address (gpsd://host:port)";
    int fd = -1;
    if (gpsd && validAddress)
        fd = openGpsd(number, gpsdAddress, &why);
    else if (!path.empty() && !gpsd)
        fd = orven::tty::openRaw(path, openingBaud, &why);
    const int openError = path.empty() || (gpsd && !validAddress) ? ENOENT : errno;
    const int wake = fd < 0 ? -1 : eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0 || wake < 0) {
        if (fd >= 0) {
            ::close(fd);
            if (gpsd) {
                std::lock_guard hold(volatileMutex);
                gpsdPortsOpen().erase(number);
            }
        }
        orven::internal::trace("CreateFile name=%s failed: %s", comName.c_str(), why.c_str());
        orven::transcript::line("%s cannot be opened (%s)", comName.c_str(), why.c_str());
        SetLastError(fd < 0 ? errorOfOpen(openError) : ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    auto port = std::make_shared<SerialPort>(fd, wake, comName, access, gpsd ? number : -1);
    port->dcb = openingDcb();
    HANDLE handle = orven::internal::registerHandle(port);
    orven::internal::trace("CreateFile name=%s path=%s", comName.c_str(), path.c_str());
    orven::transcript::line("%s opened (%s)", comName.c_str(), path.c_str());
    return handle;
}

// ---- GetCommState
BOOL GetCommState(HANDLE handle, LPDCB dcb) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (dcb == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard hold(port->lock);
    readBackLocked(*port);
    *dcb = port->dcb;
    dcb->DCBlength = sizeof(DCB);
    return TRUE;
}

// ---- SetCommState
BOOL SetCommState(HANDLE handle, LPDCB dcb) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (dcb == nullptr || !validDcb(*dcb)) return fail(ERROR_INVALID_PARAMETER);
    // The terminal driver has no DTR/DSR handshake and no RTS toggling.
    if (dcb->fDtrControl == DTR_CONTROL_HANDSHAKE || dcb->fOutxDsrFlow ||
        dcb->fRtsControl == RTS_CONTROL_TOGGLE)
        return fail(ERROR_NOT_SUPPORTED);
    std::lock_guard hold(port->lock);
    if (port->gpsdPort >= 0) {
        // gpsd owns the receiver's line: the settings are kept and read back, nothing more.
        port->dcb = *dcb;
        port->dcb.DCBlength = sizeof(DCB);
        return TRUE;
    }
    termios previous{};
    if (tcgetattr(port->fd, &previous) != 0) return fail(ERROR_GEN_FAILURE);
    termios settings = previous;
    applyDcb(*dcb, settings);
    if (tcsetattr(port->fd, TCSANOW, &settings) != 0) return fail(ERROR_GEN_FAILURE);
    // tcsetattr succeeds when any one change took, and drivers adjust what they cannot
    // do (a pseudo-terminal keeps 8 data bits and no parity whatever it is asked): read
    // the line back, and put the old settings back when it is not what was asked.
    termios applied{};
    if (tcgetattr(port->fd, &applied) != 0 || !sameLine(applied, settings)) {
        tcsetattr(port->fd, TCSANOW, &previous);
        return fail(ERROR_INVALID_PARAMETER);
    }
    const bool linesSet = setModemLines(*port, TIOCM_DTR, dcb->fDtrControl == DTR_CONTROL_ENABLE) &&
                          (dcb->fRtsControl == RTS_CONTROL_HANDSHAKE ||
                           setModemLines(*port, TIOCM_RTS, dcb->fRtsControl == RTS_CONTROL_ENABLE));
    port->dcb = *dcb;
    port->dcb.DCBlength = sizeof(DCB);
    return linesSet ? TRUE : fail(ERROR_GEN_FAILURE);
}

// ---- GetCommTimeouts
BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard hold(port->lock);
    *timeouts = port->timeouts;
    return TRUE;
}

// ---- SetCommTimeouts
BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard hold(port->lock);
    port->timeouts = *timeouts;
    return TRUE;
}

// ---- EscapeCommFunction
BOOL EscapeCommFunction(HANDLE handle, DWORD function) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    std::lock_guard hold(port->lock);
    // A gpsd connection has no line: no modem lines, no break, no flow control.
    if (port->gpsdPort >= 0)
        return fail(knownEscape(function) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    int result = 0;
    switch (function) {
        case SETDTR:
        case CLRDTR:
        case SETRTS:
        case CLRRTS: {
            int line = (function == SETDTR || function == CLRDTR) ? TIOCM_DTR : TIOCM_RTS;
            const bool on = function == SETDTR || function == SETRTS;
            if (port->noModemLines) return fail(ERROR_NOT_SUPPORTED);
            result = ioctl(port->fd, on ? TIOCMBIS : TIOCMBIC, &line);
            if (result != 0 && (errno == ENOTTY || errno == EINVAL)) {
                port->noModemLines = true;
                return fail(ERROR_NOT_SUPPORTED);
            }
            break;
        }
        case SETBREAK: result = ioctl(port->fd, TIOCSBRK); break;
        case CLRBREAK: result = ioctl(port->fd, TIOCCBRK); break;
        case SETXOFF: result = tcflow(port->fd, TCOOFF); break;
        case SETXON: result = tcflow(port->fd, TCOON); break;
        default: return fail(ERROR_INVALID_PARAMETER);
    }
    return result == 0 ? TRUE : fail(ERROR_GEN_FAILURE);
}

// ---- SetCommMask
BOOL SetCommMask(HANDLE handle, DWORD mask) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    std::lock_guard hold(port->lock);
    port->eventMask = mask;
    return TRUE;
}

// ---- GetCommMask
BOOL GetCommMask(HANDLE handle, LPDWORD mask) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (mask == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard hold(port->lock);
    *mask = port->eventMask;
    return TRUE;
}

// ---- WaitCommEvent
BOOL WaitCommEvent(HANDLE handle, LPDWORD mask, LPOVERLAPPED overlapped) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (overlapped != nullptr) return fail(ERROR_INVALID_PARAMETER);
    for (;;) {
        bool streaming;
        bool wantsInput;
        int gather;
        {
            std::lock_guard hold(port->lock);
            if (port->eventMask == 0) return fail(ERROR_INVALID_PARAMETER);
            wantsInput = (port->eventMask & EV_RXCHAR) != 0;
            if (wantsInput && port->head < port->tail) {
                if (mask != nullptr) *mask = EV_RXCHAR;
                return TRUE;
            }
            if (port->gone) return fail(ERROR_DEVICE_NOT_CONNECTED);
            streaming = port->streaming;
            gather = gatherMs(*port);
        }
        if (port->closed.load()) return fail(ERROR_OPERATION_ABORTED);
        if (!streaming || !wantsInput) {
            const Wait wait = waitForDevice(*port, wantsInput, -1);
            if (wait == Wait::closed) return fail(ERROR_OPERATION_ABORTED);
            if (wait == Wait::hangup) {
                std::lock_guard hold(port->lock);
                port->gone = true;
                return fail(ERROR_DEVICE_NOT_CONNECTED);
            }
        }
        // Bytes are coming: let the line fill the buffer, then take them in one read.
        if (!pauseUnlessClosed(*port, gather)) return fail(ERROR_OPERATION_ABORTED);
        std::lock_guard hold(port->lock);
        const Refill refill = refillLocked(*port);
        port->streaming = refill == Refill::data;
        if (refill == Refill::gone) return fail(ERROR_DEVICE_NOT_CONNECTED);
        if (refill == Refill::data) {
            if (mask != nullptr) *mask = EV_RXCHAR;
            return TRUE;
        }
    }
}

// ---- ReadFile (serial ports)
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && bytesToRead > 0))
        return fail(ERROR_INVALID_PARAMETER);
    if (!(port->access & GENERIC_READ)) return fail(ERROR_ACCESS_DENIED);
    if (port->closed.load()) return fail(ERROR_OPERATION_ABORTED);
    if (bytesToRead == 0) return TRUE;
    bool immediate;
    {
        std::lock_guard hold(port->lock);
        immediate = immediateReads(port->timeouts);
    }
    if (!immediate) {
        const DWORD error = waitForBytes(*port, bytesToRead);
        if (error != ERROR_SUCCESS) return fail(error);
    }
    std::lock_guard hold(port->lock);
    if (port->head == port->tail && !port->gone && immediate) {
        // Right after a read that emptied the device's queue there is nothing to ask for.
        if (port->drained) {
            port->drained = false;
            return TRUE;
        }
        refillLocked(*port);
    }
    const size_t count = std::min<size_t>(bytesToRead, port->tail - port->head);
    if (count == 0 && port->gone) return fail(ERROR_DEVICE_NOT_CONNECTED);
    std::memcpy(buffer, port->buffer + port->head, count);
    port->head += count;
    if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(count);
    return TRUE;
}

// ---- GetCommModemStatus
BOOL GetCommModemStatus(HANDLE handle, LPDWORD status) {
    auto port = portOf(handle);
    if (!port) return FALSE;
    if (status == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard hold(port->lock);
    *status = 0;
    if (port->noModemLines) return TRUE;
    int lines = 0;
    counted();
    if (ioctl(port->fd, TIOCMGET, &lines) != 0) {
        if (errno != ENOTTY && errno != EINVAL) return fail(ERROR_DEVICE_NOT_CONNECTED);
        port->noModemLines = true;
        return TRUE;
    }
    if (lines & TIOCM_CTS) *status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) *status |= MS_DSR_ON;
    if (lines & TIOCM_RNG) *status |= MS_RING_ON;
    if (lines & TIOCM_CAR) *status |= MS_RLSD_ON;
    return TRUE;
}

namespace orven::test {

void setSerialBatchWaitForTests(int ms) {
    gatherCapMs.store(ms);
}

}  // namespace orven::test
