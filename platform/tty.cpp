// Terminal devices opened raw at a given speed: termios for the line settings, flock for
// exclusive use, TIOCMBIS for DTR and RTS.
#include "platform/tty.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orven::tty {

namespace {

struct Speed {
    int baud;
    speed_t code;
};

constexpr Speed speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

void setError(std::string* error, const std::string& path, const char* what, int code) {
    if (error == nullptr) return;
    *error = path + ": " + what;
    if (code != 0) *error += std::string(": ") + std::strerror(code);
}

// Raw 8N1 at `code`, receiver on, modem lines ignored, no flow control, reads return as
// soon as one byte is there.
bool setRaw(int fd, speed_t code) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, code) != 0 || cfsetospeed(&settings, code) != 0) return false;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

int openRaw(const std::string& path, int baud, std::string* error) {
    const int code = speedCode(baud);
    if (code < 0) {
        setError(error, path, "unsupported speed", 0);
        errno = EINVAL;
        return -1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int openError = errno;
        setError(error, path, "cannot open", openError);
        errno = openError;
        return -1;
    }
    const char* failure = nullptr;
    int failureCode = 0;
    if (!isTerminal(fd)) {
        failure = "not a terminal";
        failureCode = ENOTTY;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure = "in use";
        failureCode = errno;
    } else if (!setRaw(fd, static_cast<speed_t>(code))) {
        failure = "cannot set the line";
        failureCode = errno;
    }
    if (failure != nullptr) {
        close(fd);
        setError(error, path, failure, failureCode);
        errno = failureCode != 0 ? failureCode : EIO;
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    // Pseudo-terminals have no modem lines; the request fails there and that is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &lines);
    return fd;
}

bool isTerminal(int fd) {
    termios settings{};
    return tcgetattr(fd, &settings) == 0;
}

int speedCode(int baud) {
    for (const Speed& speed : speeds)
        if (speed.baud == baud) return static_cast<int>(speed.code);
    return -1;
}

int baudOfSpeedCode(int code) {
    for (const Speed& speed : speeds)
        if (static_cast<int>(speed.code) == code) return speed.baud;
    return 0;
}

}  // namespace orven::tty
