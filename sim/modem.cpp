// The simulated modem: a pseudo-terminal pair whose far end is served by a thread that
// speaks AT commands like a GSM module, holds a small SIM message store, and plays the
// network (incoming SMS, calls) and a partner phone. This file holds the parts together
// (modem_parts.h): the thread, its timers and the methods a test calls. Relies on the
// PDU codec for both directions and on openpty() for the line.
//
// A sample exchange, client lines marked >, modem lines <:
//
//   > AT+CMGS=153
//   < > (a prompt without line end)
//   > 0041000C91447700091032001B8C0500032A0301004D...<Ctrl-Z>
//   < +CMGS: 17
//   < OK
//   < +CMTI: "SM",3        (an unsolicited result, never inside a response)
#include "sim/modem.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "sim/modem_parts.h"

namespace orven::sim {

namespace {

// A temporary directory for the line's link: $TMPDIR/ovm-XXXXXX.
std::string makeDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ovm-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

}  // namespace

uint64_t monotonicUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// ---- The thread

Modem::State::State(const Options& options)
    : options(options),
      directory(makeDirectory()),
      line(options.baud, directory + "/modem"),
      at(*this),
      network(*this, options.storageSlots) {}

void Modem::State::schedule(int delayMs, std::function<void()> action) {
    timers.emplace(monotonicUs() + static_cast<uint64_t>(std::max(delayMs, 0)) * 1000,
                   std::move(action));
}

void Modem::State::wake() {
    uint64_t one = 1;
    ssize_t written = write(wakeFd, &one, sizeof one);
    (void)written;
}

// Until the next byte or timer is due; -1: nothing is.
int Modem::State::timeoutMs(uint64_t now) const {
    uint64_t next = line.nextDueUs();
    if (!timers.empty()) next = std::min(next, timers.begin()->first);
    if (next == UINT64_MAX) return -1;
    return next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
}

// The client's bytes that arrived, then the timers due, then the bytes due out.
void Modem::State::runDue(uint64_t now) {
    for (char c : line.takeArrived(now)) at.feed(c);
    while (!timers.empty() && timers.begin()->first <= now) {
        auto action = std::move(timers.begin()->second);
        timers.erase(timers.begin());
        action();
    }
    line.flush(monotonicUs());
}

void Modem::State::run() {
    std::unique_lock<std::mutex> hold(lock);
    while (!stopping) {
        runDue(monotonicUs());
        pollfd fds[2] = {{line.fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int timeout = timeoutMs(monotonicUs());
        hold.unlock();
        poll(fds, 2, timeout);
        hold.lock();
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            ssize_t got = read(wakeFd, &count, sizeof count);
            (void)got;
        }
        if (line.isOpen() && (fds[0].revents & POLLIN)) line.receive();
    }
}

// ---- Modem

Modem::Modem() : Modem(Options{}) {}

Modem::Modem(const Options& options) : state_(std::make_shared<State>(options)) {
    State& s = *state_;
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.line.open();
    s.thread = std::thread([state = state_.get()] { state->run(); });
}

Modem::~Modem() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.stopping = true;
    }
    s.wake();
    s.thread.join();
    s.line.close();
    close(s.wakeFd);
    rmdir(s.directory.c_str());
}

const std::string& Modem::path() const {
    return state_->line.path();
}

std::vector<SentMessage> Modem::messages() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->network.messages;
}

std::vector<std::string> Modem::commandLines() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->at.commands;
}

std::vector<Call> Modem::calls() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->network.calls;
}

std::string Modem::audioCommand() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->at.audio;
}

bool Modem::smsIndicationsOn() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->at.settings.indications[1] != 0;
}

bool Modem::callerIdOn() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->at.settings.callerId;
}

bool Modem::waitUntil(const std::function<bool()>& pred, int timeoutMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred()) return true;
        std::unique_lock<std::mutex> hold(state_->lock);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        state_->changed.wait_for(hold, std::chrono::milliseconds(10));
    }
}

void Modem::deliverSms(const std::u16string& from, const std::u16string& text,
                       pdu::Alphabet alphabet, int messageClass) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->network.deliver(from, text, alphabet, messageClass);
    state_->wake();
}

void Modem::ring(const std::u16string& number, int type) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->network.startCall(number, type);
    state_->wake();
}

void Modem::hangUp() {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->network.callerHangsUp();
    state_->wake();
}

void Modem::setPartner(const Partner& partner) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->network.setPartner(partner);
}

void Modem::refuseSubmissions(int count, const std::string& result, int afterAccepting) {
    std::lock_guard<std::mutex> hold(state_->lock);
    Faults& faults = state_->at.faults;
    faults.refuseCount = count;
    faults.refuseAfter = afterAccepting;
    faults.refuseResult = result;
}

void Modem::ignoreSubmissions(int count) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->at.faults.ignoreCount = count;
}

void Modem::dropPrompts(int count) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->at.faults.dropPromptCount = count;
}

void Modem::setSilent(bool silent) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->at.faults.silent = silent;
}

void Modem::answerBusy(int count, const std::string& result) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->at.faults.busyCount = count;
    state_->at.faults.busyResult = result;
}

void Modem::restart(int smsReadyAfterMs) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->at.restart(smsReadyAfterMs);
    state_->wake();
}

void Modem::vanish(int backAfterMs) {
    std::lock_guard<std::mutex> hold(state_->lock);
    State& s = *state_;
    s.line.close();
    s.at.forgetSettings();  // a module that drops off the bus has restarted when it returns
    s.network.lineLost();
    if (backAfterMs >= 0) s.schedule(backAfterMs, [&s] { s.line.open(); });
    s.wake();
}

}  // namespace orven::sim
