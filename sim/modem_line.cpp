// The simulated modem's line: a pseudo-terminal pair from openpty() whose client end is
// reached through a symbolic link, and the pacing of the bytes on it. Each byte takes
// ten bit times at the line's speed (start, eight data bits, stop), in both directions,
// so a client sees a module's output come in as on a real serial link of that speed.
// Relies on nothing but the system; runs under the modem's lock.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "sim/modem_parts.h"

namespace orven::sim {

namespace {

constexpr uint64_t bitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr size_t readChunk = 512;     // bytes taken from the client per read()

}  // namespace

void Line::open() {
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&raw, B115200);
    if (openpty(&master_, &slaveHold_, nullptr, &raw, nullptr) != 0) return;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slaveHold_, F_SETFD, FD_CLOEXEC);
    // The link changes in one rename: a client never finds the name missing.
    std::string temporary = linkPath_ + ".new";
    unlink(temporary.c_str());
    if (symlink(ttyname(slaveHold_), temporary.c_str()) == 0)
        rename(temporary.c_str(), linkPath_.c_str());
}

void Line::close() {
    if (master_ >= 0) ::close(master_);
    if (slaveHold_ >= 0) ::close(slaveHold_);
    master_ = slaveHold_ = -1;
    unlink(linkPath_.c_str());
    input_.clear();
    output_.clear();
}

uint64_t Line::byteTimeUs() const {
    return baud_ > 0 ? bitsPerByte * 1'000'000ull / static_cast<uint64_t>(baud_) : 0;
}

void Line::send(const std::string& bytes, uint64_t gapUs) {
    uint64_t at = std::max(monotonicUs(), sendFreeUs_);
    for (char c : bytes) {
        at += std::max(byteTimeUs(), gapUs);
        output_.emplace_back(at, c);
    }
    sendFreeUs_ = at;
}

void Line::receive() {
    char buffer[readChunk];
    ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return;
    uint64_t at = std::max(monotonicUs(), receiveFreeUs_);
    for (ssize_t i = 0; i < got; ++i) {
        at += byteTimeUs();
        input_.emplace_back(at, buffer[i]);
    }
    receiveFreeUs_ = at;
}

std::string Line::takeArrived(uint64_t nowUs) {
    std::string arrived;
    while (!input_.empty() && input_.front().first <= nowUs) {
        arrived += input_.front().second;
        input_.pop_front();
    }
    return arrived;
}

void Line::flush(uint64_t nowUs) {
    std::string due;
    while (!output_.empty() && output_.front().first <= nowUs) {
        due += output_.front().second;
        output_.pop_front();
    }
    if (!due.empty() && master_ >= 0) {
        ssize_t written = write(master_, due.data(), due.size());
        (void)written;  // what the terminal does not take is lost, as on a real line
    }
}

uint64_t Line::nextDueUs() const {
    uint64_t next = UINT64_MAX;
    if (!input_.empty()) next = std::min(next, input_.front().first);
    if (!output_.empty()) next = std::min(next, output_.front().first);
    return next;
}

}  // namespace orven::sim
