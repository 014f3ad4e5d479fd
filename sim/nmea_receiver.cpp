// The simulated GPS receiver: a script of sentences written to a pseudo-terminal's
// master side by a thread of its own; the program reads the slave side as a COM port.
#include "sim/nmea_receiver.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/text.h"

namespace orven::sim {

namespace {

constexpr uint64_t lineBytesPerSecond = 480;  // 4800 baud at 10 bits a byte
constexpr uint64_t groupPeriodMs = 1000;      // one fix, one group of sentences, a second
constexpr uint64_t forever = UINT64_MAX;
constexpr int defaultReceiverPort = 4;
constexpr int defaultNoFixSeconds = 10;  // a receiver takes a while to get its fix
constexpr int comPortsSearched = 10;     // COM0 to COM9, the ports the program tries
constexpr DWORD pathChars = 512;         // UTF-16 units of a device path in the registry
constexpr long minuteUnits = 100000;     // NMEA minutes carry five decimals

const WCHAR portsKey[] = u"Drivers\\Ports";
const WCHAR markerValue[] = u"Simulated receiver";  // an earlier version's listing of its own

NmeaReceiver* defaultReceiver = nullptr;  // the emulated phone's own, never destroyed

uint64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "$" body "*" checksum CR LF; the checksum is the XOR of the bytes between '$' and '*'.
std::string sentence(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// An angle as NMEA writes it, "ddmm.mmmmm,N" or "dddmm.mmmmm,E".
std::string angle(double degrees, int degreeDigits, char positive, char negative) {
    const long units = std::lround(std::fabs(degrees) * 60.0 * minuteUnits);
    const long whole = units / (60 * minuteUnits);
    const long minutes = units % (60 * minuteUnits);
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld%02ld.%05ld,%c", degreeDigits, whole,
                  minutes / minuteUnits, minutes % minuteUnits, degrees < 0 ? negative : positive);
    return text;
}

// The field a GGA or RMC sentence carries its time in; "" for other sentences.
std::string timeOf(const std::string& line) {
    if (line.size() < 7 || (line.compare(3, 3, "GGA") != 0 && line.compare(3, 3, "RMC") != 0))
        return "";
    const size_t start = line.find(',');
    const size_t end = line.find(',', start + 1);
    return end == std::string::npos ? "" : line.substr(start + 1, end - start - 1);
}

std::u16string readText(HKEY key, const std::u16string& name) {
    WCHAR text[pathChars] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(text),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return u"";
    return std::u16string(text, size / sizeof(WCHAR)).c_str();
}

bool writeText(HKEY key, const std::u16string& name, const std::u16string& text) {
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

std::u16string comValueName(int number) {
    return u"COM" + fromUtf8(std::to_string(number)) + u":";
}

// Earlier versions listed their default receiver in the hive itself, marked by the value
// "Simulated receiver" holding the same path. Such a listing names a terminal that is
// gone, or that another program owns by now: it is removed.
void removeEarlierListing(HKEY key) {
    const std::u16string marker = readText(key, markerValue);
    if (marker.empty()) return;
    for (int number = 0; number < comPortsSearched; ++number)
        if (readText(key, comValueName(number)) == marker)
            RegDeleteValueW(key, comValueName(number).c_str());
    RegDeleteValueW(key, markerValue);
}

Scenario defaultScenario() {
    Scenario scenario;
    if (const char* log = std::getenv("ORVEN_GPS_LOG"); log != nullptr && *log != 0) {
        std::ifstream in(log, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (in && !groupedLog(text.str()).empty()) {
            scenario.phases = {{Phase::replay, 0, text.str()}};
            scenario.repeat = true;
            scenario.idleWhileClosed = true;
            return scenario;
        }
        std::fprintf(stderr, "orven: ORVEN_GPS_LOG %s has no NMEA sentences\n", log);
    }
    scenario.phases = {{Phase::noFix, defaultNoFixSeconds, ""}, {Phase::fix, 0, ""}};
    scenario.idleWhileClosed = true;
    return scenario;
}

}  // namespace

std::vector<std::string> generatedGroup(const Scenario& scenario, Phase::Kind kind, time_t utc) {
    tm parts{};
    gmtime_r(&utc, &parts);
    char clock[40];  // "hhmmss.00"; sized so that no int can overflow it
    char date[40];
    std::snprintf(clock, sizeof clock, "%02d%02d%02d.00", parts.tm_hour, parts.tm_min,
                  parts.tm_sec);
    std::snprintf(date, sizeof date, "%02d%02d%02d", parts.tm_mday, parts.tm_mon + 1,
                  parts.tm_year % 100);
    const std::string& t = scenario.talker;
    if (kind != Phase::fix) {
        // $GPGGA,123519.00,,,,,0,00,99.99,,,,,,*48
        return {sentence(t + "GGA," + clock + ",,,,,0,00,99.99,,,,,,"),
                sentence(t + "GSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99"), sentence(t + "GSV,1,1,00"),
                sentence(t + "RMC," + clock + ",V,,,,,,," + date + ",,,N")};
    }
    const std::string position =
        angle(scenario.latitude, 2, 'N', 'S') + "," + angle(scenario.longitude, 3, 'E', 'W');
    // $GPGGA,123519.00,4807.03800,N,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,*..
    return {sentence(t + "GGA," + clock + "," + position + ",1,08,0.9,545.4,M,46.9,M,,"),
            sentence(t + "GSA,A,3,04,05,09,12,24,25,29,31,,,,,1.8,0.9,1.5"),
            sentence(t + "GSV,2,1,08,04,45,120,42,05,30,060,40,09,20,300,38,12,60,200,45"),
            sentence(t + "GSV,2,2,08,24,15,030,35,25,50,250,44,29,10,330,33,31,70,100,46"),
            sentence(t + "RMC," + clock + ",A," + position + ",0.0,0.0," + date + ",,,A")};
}

std::vector<std::vector<std::string>> groupedLog(const std::string& log) {
    std::vector<std::vector<std::string>> groups(1);
    std::string groupTime;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty() || (line[0] != '$' && line[0] != '!')) continue;
        const std::string time = timeOf(line);
        if (!time.empty() && time != groupTime) {
            if (!groupTime.empty()) groups.emplace_back();
            groupTime = time;
        }
        groups.back().push_back(line + "\r\n");
    }
    if (groups.back().empty()) groups.pop_back();
    return groups;
}

std::unique_ptr<NmeaReceiver> NmeaReceiver::start(const Scenario& scenario, std::string* error) {
    std::unique_ptr<NmeaReceiver> receiver(new NmeaReceiver);
    int master = -1;
    int slave = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B4800);
    cfsetospeed(&raw, B4800);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        if (error != nullptr) *error = std::string("openpty: ") + std::strerror(errno);
        return nullptr;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    receiver->master_ = master;
    receiver->slave_ = slave;
    receiver->devicePath_ = name;
    receiver->stopFd_ = eventfd(0, EFD_CLOEXEC);
    receiver->switchOnFd_ = eventfd(0, EFD_CLOEXEC);
    receiver->scenario_ = scenario;
    receiver->followsClock_ = scenario.startUtc == 0;
    if (receiver->followsClock_) receiver->scenario_.startUtc = time(nullptr);
    if (scenario.idleWhileClosed) {
        // Opens made from now on are the listeners'; this object's own came before.
        receiver->openWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (receiver->openWatch_ < 0 ||
            inotify_add_watch(receiver->openWatch_, name, IN_OPEN | IN_CLOSE) < 0) {
            if (error != nullptr) *error = std::string("inotify: ") + std::strerror(errno);
            close(master);
            close(slave);
            if (receiver->openWatch_ >= 0) close(receiver->openWatch_);
            return nullptr;
        }
    }
    receiver->thread_ = std::thread(&NmeaReceiver::run, receiver.get());
    return receiver;
}

NmeaReceiver::~NmeaReceiver() {
    stopAndJoin(true);
    if (stopFd_ >= 0) close(stopFd_);
    if (switchOnFd_ >= 0) close(switchOnFd_);
    if (openWatch_ >= 0) close(openWatch_);
}

void NmeaReceiver::switchOn() {
    const uint64_t one = 1;
    (void)!write(switchOnFd_, &one, sizeof one);
}

void NmeaReceiver::unplug() {
    stopAndJoin(true);
}

void NmeaReceiver::stopAndJoin(bool hangUp) {
    if (hangUp) hangUp_.store(true);
    const uint64_t one = 1;
    (void)!write(stopFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    // The script thread is gone: its descriptors are this thread's now.
    if (master_ >= 0) {
        close(master_);
        close(slave_);
        master_ = slave_ = -1;
    }
}

void NmeaReceiver::run() {
    nextGroupMs_ = monotonicMs();
    bool going = true;
    do {
        const uint64_t passStart = bytesSent_.load() + groupIndex_;
        for (const Phase& phase : scenario_.phases) {
            going = runPhase(phase);
            if (!going) break;
        }
        // A script that neither sent nor waited would repeat without end.
        if (bytesSent_.load() + groupIndex_ == passStart) break;
    } while (going && scenario_.repeat);
    if (hangUp_.load()) {
        close(master_);
        close(slave_);
        master_ = slave_ = -1;
    }
    finished_.store(true);
    if (going) pauseUntil(forever);  // connected and quiet until stopped
}

bool NmeaReceiver::runPhase(const Phase& phase) {
    const auto utc = [this] { return scenario_.startUtc + static_cast<time_t>(groupIndex_); };
    switch (phase.kind) {
        case Phase::off: {
            pollfd fds[2] = {{stopFd_, POLLIN, 0}, {switchOnFd_, POLLIN, 0}};
            while (poll(fds, 2, -1) < 0)
                if (errno != EINTR) return false;
            if (fds[0].revents != 0) return false;
            uint64_t count = 0;
            (void)!read(switchOnFd_, &count, sizeof count);
            nextGroupMs_ = monotonicMs();
            return true;
        }
        case Phase::silent:
            if (phase.seconds == 0) return pauseUntil(forever);
            nextGroupMs_ = std::max(nextGroupMs_, monotonicMs()) + phase.seconds * groupPeriodMs;
            groupIndex_ += phase.seconds;
            return pauseUntil(nextGroupMs_);
        case Phase::noFix:
        case Phase::fix:
            for (int second = 0; phase.seconds == 0 || second < phase.seconds; ++second)
                if (!sendGroup(generatedGroup(scenario_, phase.kind, utc()))) return false;
            return true;
        case Phase::replay:
            for (const std::vector<std::string>& group : groupedLog(phase.log))
                if (!sendGroup(group)) return false;
            return true;
        case Phase::stream: {
            // One group as long as the log: paced, its bytes leave at the line rate.
            std::vector<std::string> sentences;
            for (const std::vector<std::string>& group : groupedLog(phase.log))
                sentences.insert(sentences.end(), group.begin(), group.end());
            return sendGroup(sentences);
        }
        case Phase::unplug: hangUp_.store(true); return false;
    }
    return false;
}

// Paced: the group starts on its second and its bytes leave at the line rate; a group
// longer than a second delays the next one, as on a real line.
bool NmeaReceiver::sendGroup(const std::vector<std::string>& sentences) {
    const bool paced = scenario_.paced;
    if (!waitForListener()) return false;
    if (paced && !pauseUntil(nextGroupMs_)) return false;
    const uint64_t start = monotonicMs();
    uint64_t sent = 0;
    for (const std::string& text : sentences) {
        if (!writeAll(text)) return false;
        sent += text.size();
        if (paced && !pauseUntil(start + sent * 1000 / lineBytesPerSecond)) return false;
    }
    groupsSent_.fetch_add(1);
    ++groupIndex_;
    nextGroupMs_ = std::max(nextGroupMs_ + groupPeriodMs, monotonicMs());
    return true;
}

// Paced, a full terminal drops the rest (nobody is reading); unpaced, it waits for room.
// False when stopped.
bool NmeaReceiver::writeAll(const std::string& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t wrote = write(master_, bytes.data() + offset, bytes.size() - offset);
        if (wrote > 0) {
            offset += static_cast<size_t>(wrote);
            bytesSent_.fetch_add(static_cast<uint64_t>(wrote));
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && errno != EAGAIN) return true;  // the line is dead; say nothing
        if (scenario_.paced) return true;
        pollfd fds[2] = {{master_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents != 0) return false;
    }
    return true;
}

bool NmeaReceiver::pauseUntil(uint64_t deadlineMs) {
    pollfd stop = {stopFd_, POLLIN, 0};
    for (;;) {
        int timeout = -1;
        if (deadlineMs != forever) {
            const uint64_t now = monotonicMs();
            if (now >= deadlineMs) return true;
            timeout = static_cast<int>(std::min<uint64_t>(deadlineMs - now, INT32_MAX));
        }
        const int ready = poll(&stop, 1, timeout);
        if (ready > 0) return false;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// With idleWhileClosed: counts the opens and closes the watch saw, and while nobody
// else has the terminal open, sleeps until somebody opens it. False when stopped.
bool NmeaReceiver::waitForListener() {
    if (openWatch_ < 0) return true;
    bool waited = false;
    for (;;) {
        alignas(inotify_event) char events[4096];
        ssize_t got;
        while ((got = read(openWatch_, events, sizeof events)) > 0) {
            for (char* at = events; at < events + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if ((event->mask & IN_OPEN) != 0) ++listeners_;
                if ((event->mask & IN_CLOSE) != 0) listeners_ = std::max(0, listeners_ - 1);
                at += sizeof(inotify_event) + event->len;
            }
        }
        if (listeners_ > 0) break;
        waited = true;
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {openWatch_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[0].revents != 0) return false;
    }
    if (waited) {
        // Powered up just now: the next group is due at once and carries the clock's time.
        nextGroupMs_ = monotonicMs();
        if (followsClock_) scenario_.startUtc = time(nullptr) - static_cast<time_t>(groupIndex_);
    }
    return true;
}

bool mapComPort(int number, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, portsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const bool written = writeText(key, comValueName(number), fromUtf8(path));
    RegCloseKey(key);
    return written;
}

bool startDefaultReceiver() {
    if (defaultReceiver != nullptr) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, portsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        removeEarlierListing(key);
        bool ownersPort = false;
        for (int number = 0; number < comPortsSearched && !ownersPort; ++number)
            ownersPort = !readText(key, comValueName(number)).empty();
        RegCloseKey(key);  // writes the hive only when an earlier listing was removed
        if (ownersPort) return false;
    }
    std::string error;
    std::unique_ptr<NmeaReceiver> receiver = NmeaReceiver::start(defaultScenario(), &error);
    if (!receiver) {
        std::fprintf(stderr, "orven: no simulated GPS receiver: %s\n", error.c_str());
        return false;
    }
    serial::mapVolatilePort(defaultReceiverPort, receiver->devicePath());
    std::fprintf(stderr, "orven: simulated GPS receiver on COM%d: (%s)\n", defaultReceiverPort,
                 receiver->devicePath().c_str());
    defaultReceiver = receiver.release();  // runs until the process ends
    return true;
}

}  // namespace orven::sim
