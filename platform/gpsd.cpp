// gpsd as the device of a COM port: the listing's address, the connection with its
// watch request, and the filter that keeps the receiver's sentences. See gpsd.h.
//
// Relies on the C library's resolver and sockets only.
#include "platform/gpsd.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace orven::gpsd {

namespace {

// A gpsd on this machine or the local network answers at once; a host that drops the
// connection attempt would otherwise hold CreateFileW (on the GUI thread) for minutes.
constexpr int connectTimeoutMs = 2000;

bool startsWithScheme(const std::string& text) {
    static constexpr char scheme[] = "gpsd://";
    if (text.size() < sizeof scheme - 1) return false;
    for (size_t i = 0; i + 1 < sizeof scheme; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
    return true;
}

bool validPort(const std::string& port) {
    if (port.empty() || port.size() > 5) return false;
    int value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

// The device path as a JSON string's contents.
std::string jsonEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '"' || c == '\\') escaped += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) escaped += c;
    }
    return escaped;
}

void setError(std::string* error, const Address& address, const char* what, int code) {
    if (error == nullptr) return;
    *error = "gpsd at " + address.host + ":" + address.port + ": " + what;
    if (code != 0) *error += std::string(": ") + std::strerror(code);
}

// A non-blocking connection to one of the host's addresses, or -1 with errno set.
int connectTo(const addrinfo& candidate) {
    const int fd = socket(candidate.ai_family, candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          candidate.ai_protocol);
    if (fd < 0) return -1;
    if (connect(fd, candidate.ai_addr, candidate.ai_addrlen) == 0) return fd;
    int code = errno;
    if (code == EINPROGRESS) {
        pollfd writable = {fd, POLLOUT, 0};
        int ready;
        while ((ready = poll(&writable, 1, connectTimeoutMs)) < 0 && errno == EINTR) {
        }
        socklen_t size = sizeof code;
        if (ready == 0)
            code = ETIMEDOUT;
        else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0)
            code = errno;
        if (code == 0) return fd;
    }
    close(fd);
    errno = code;
    return -1;
}

}  // namespace

bool parseAddress(const std::string& listing, Address* address, bool* valid) {
    *valid = false;
    if (!startsWithScheme(listing)) return false;
    std::string rest = listing.substr(7);
    Address parsed;
    size_t hostEnd;
    if (!rest.empty() && rest[0] == '[') {  // [::1]:2947
        hostEnd = rest.find(']');
        if (hostEnd == std::string::npos) return true;
        parsed.host = rest.substr(1, hostEnd - 1);
        ++hostEnd;
    } else {
        hostEnd = std::min(rest.find(':'), rest.find('/'));
        if (hostEnd == std::string::npos) hostEnd = rest.size();
        parsed.host = rest.substr(0, hostEnd);
    }
    rest.erase(0, hostEnd);
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        parsed.device = rest.substr(slash);
        if (parsed.device == "/") parsed.device.clear();
        rest.erase(slash);
    }
    parsed.port = std::to_string(defaultPort);
    if (!rest.empty()) {
        if (rest[0] != ':') return true;
        parsed.port = rest.substr(1);
    }
    if (parsed.host.empty() || !validPort(parsed.port)) return true;
    *address = parsed;
    *valid = true;
    return true;
}

int connectAndWatch(const Address& address, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0) {
        setError(error, address, "no such host", 0);
        errno = ENOENT;
        return -1;
    }
    int fd = -1;
    int code = ECONNREFUSED;
    for (const addrinfo* candidate = found; candidate != nullptr && fd < 0;
         candidate = candidate->ai_next) {
        fd = connectTo(*candidate);
        if (fd < 0) code = errno;
    }
    freeaddrinfo(found);
    if (fd < 0) {
        setError(error, address, "cannot connect", code);
        errno = code;
        return -1;
    }
    // ?WATCH={"enable":true,"nmea":true,"device":"/dev/ttyACM0"}
    std::string watch = "?WATCH={\"enable\":true,\"nmea\":true";
    if (!address.device.empty()) watch += ",\"device\":\"" + jsonEscaped(address.device) + "\"";
    watch += "}\n";
    // A fresh connection's send buffer takes these few bytes whole.
    if (send(fd, watch.data(), watch.size(), MSG_NOSIGNAL) != ssize_t(watch.size())) {
        code = errno != 0 ? errno : EIO;
        close(fd);
        setError(error, address, "cannot send the watch request", code);
        errno = code;
        return -1;
    }
    return fd;
}

// {"class":"VERSION",...}\r\n  -> dropped
// $GPGGA,...*5E\n              -> $GPGGA,...*5E\r\n
size_t SentenceFilter::filter(const uint8_t* in, size_t count, uint8_t* out) {
    size_t written = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = in[i];
        if (atLineStart && byte == '{') inReport = true, report.clear();
        atLineStart = byte == '\n';
        if (inReport) {
            if (byte >= ' ' && report.size() < reportKept) report += char(byte);
            if (byte == '\n') {
                inReport = false;
                if (report.rfind("{\"class\":\"ERROR\"", 0) == 0) error = report;
            }
            continue;
        }
        if (byte == '\n' && !afterCr) out[written++] = '\r';
        out[written++] = byte;
        afterCr = byte == '\r';
    }
    return written;
}

}  // namespace orven::gpsd
