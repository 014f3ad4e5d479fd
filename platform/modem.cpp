// The modem: one thread that owns the AT port. Relies on tty.cpp to open the device,
// the registry for its name (or the default-modem hook when it names none), the PDU codec
// for nothing but hex, and ril.cpp to take its events.
//
// Lines are split on CR or LF and empty ones dropped, so CRLF, CR CR LF and a bare CR
// all read the same. Each complete line is either the continuation of an unsolicited
// result (the PDU after +CMT), an echo of the command, an unsolicited result, an
// information line of the command in flight, or its final result:
//
//   AT+CMGR=3                  (echo, before ATE0 took effect)
//   +CMTI: "SM",4              (unsolicited: arrives at any time)
//   +CMGR: 0,,28               (information)
//   0791447700090000040C91...  (information: the PDU)
//   OK                         (final)
#include "platform/modem.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/internal.h"
#include "platform/modem_lines.h"
#include "platform/modemmanager.h"
#include "platform/registry.h"
#include "platform/ril.h"
#include "platform/text.h"
#include "platform/tty.h"

namespace orven::radio {
// ril.cpp: takes every event of the modem (on the port thread; it only queues them).
void onModemEvent(const modem::Event& event);
}  // namespace orven::radio

namespace orven::modem {

namespace {

constexpr int defaultBaud = 115200;
constexpr char ctrlZ = 0x1A;
constexpr const char* escapeReturn = "\x1B\r";  // abandons a half-typed line or PDU
constexpr int timeoutsBeforeReopen = 3;         // in a row: the port is closed and reopened
constexpr uint32_t settleAfterEscapeMs = 200;   // what a module says to ESC is discarded
constexpr uint32_t smsModePauseMs = 1000;       // between two tries of AT+CMGF=0
constexpr uint32_t outerSlackMs = 5000;  // a waiting caller's margin over the port's own limits

using Clock = std::chrono::steady_clock;

// The machine's monotonic clock, never the layer's virtual one: the port's deadlines and
// the caller's waits are real time even while a test runs the GUI on virtual time.
uint64_t realMonotonicMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

using namespace lines;

// ---- Commands and the state shared with callers

struct Command {
    std::string text;
    std::string pdu;  // a submission: sent after the prompt, with Ctrl-Z
    uint32_t timeoutMs;
    uint64_t queuedAt;
    std::atomic<bool> cancelled{false};
    std::function<void(const Result&)> done;
};

struct Config {
    std::string path;
    int baud = defaultBaud;
    std::string loudspeaker;
};

struct Shared {
    std::mutex lock;  // guards everything below but `stopping`
    std::deque<std::shared_ptr<Command>> queue;
    Timeouts timeouts;
    Config config;
    bool started = false;
    std::thread thread;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
};

std::atomic<DefaultModem (*)()> defaultModemHook{nullptr};  // set by the program's start-up

Shared& shared() {
    static Shared* state = new Shared;  // lives as long as the process, like its thread
    return *state;
}

Timeouts currentTimeouts() {
    std::lock_guard<std::mutex> hold(shared().lock);
    return shared().timeouts;
}

void wakePort() {
    uint64_t one = 1;
    ssize_t written = write(shared().wakeFd, &one, sizeof one);
    (void)written;
}

void finish(const std::shared_ptr<Command>& command, Outcome outcome) {
    Result r;
    r.outcome = outcome;
    if (command->done) command->done(r);
}

// ---- The port thread

enum class Wait { line, prompt, timeout, lost, stop, woken };

class PortThread {
  public:
    explicit PortThread(const Config& config)
        : config_(config), router_([](const Event& e) { radio::onModemEvent(e); }) {}

    void run() {
        uint32_t pause = currentTimeouts().reopenFirst;
        while (!stopping()) {
            if (fd_ < 0 && !connect()) {
                idleFor(pause);
                pause = std::min(pause * 2, currentTimeouts().reopenLongest);
                failExpired();
                continue;
            }
            if (router_.restartSeen && !initialising_) {
                // Said while a command was in flight: the settings are gone all the same.
                router_.restartSeen = false;
                needInit_ = true;
                internal::trace("modem: the module restarted");
            }
            if (needInit_ && !initialise()) {
                closePort("the module does not answer");
                idleFor(pause);
                pause = std::min(pause * 2, currentTimeouts().reopenLongest);
                failExpired();  // a module that opens but never answers fails what waits
                continue;
            }
            pause = currentTimeouts().reopenFirst;
            if (!router_.toRead.empty())
                readStored();
            else if (auto command = takeCommand())
                runCommand(command);
            else
                idle();
        }
        closePort("stopped");
    }

  private:
    bool stopping() const { return shared().stopping.load(); }

    // ---- The device

    bool connect() {
        std::string why;
        fd_ = tty::openRaw(config_.path, config_.baud, &why);
        if (fd_ < 0) {
            if (!openFailed_) internal::trace("modem: %s", why.c_str());
            openFailed_ = true;
            return false;
        }
        openFailed_ = false;
        lines_.clear();
        needInit_ = true;
        internal::trace("modem: opened %s at %d baud", config_.path.c_str(), config_.baud);
        return true;
    }

    void closePort(const char* why) {
        if (fd_ < 0) return;
        close(fd_);
        fd_ = -1;
        ready_ = false;
        timeoutsInRow_ = 0;
        router_.reset();
        internal::trace("modem: port closed (%s)", why);
        radio::onModemEvent({Event::Kind::lost, {}, {}});
    }

    bool writeAll(const std::string& bytes) {
        size_t done = 0;
        while (fd_ >= 0 && done < bytes.size()) {
            ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, static_cast<int>(currentTimeouts().command));
                if (!(p.revents & POLLOUT)) break;
            } else {
                break;
            }
        }
        if (done == bytes.size()) return true;
        closePort("write failed");
        return false;
    }

    // Reads until a line (or the prompt, when asked for) is there, the deadline passes,
    // the port goes away, or (when `wakeable`) a caller queued a command.
    Wait next(std::string& line, uint64_t deadline, bool prompt, bool wakeable) {
        for (;;) {
            if (lines_.takeLine(line)) return Wait::line;
            if (prompt && lines_.takePrompt()) return Wait::prompt;
            if (stopping()) return Wait::stop;
            if (fd_ < 0) return Wait::lost;
            uint64_t now = realMonotonicMs();
            if (now >= deadline) return Wait::timeout;
            pollfd fds[2] = {{fd_, POLLIN, 0}, {shared().wakeFd, POLLIN, 0}};
            int timeout = deadline == never
                              ? -1
                              : static_cast<int>(std::min<uint64_t>(deadline - now, INT32_MAX));
            if (poll(fds, 2, timeout) < 0 && errno != EINTR) return Wait::lost;
            if (fds[1].revents & POLLIN) {
                uint64_t count;
                ssize_t got = read(shared().wakeFd, &count, sizeof count);
                (void)got;
                if (stopping()) return Wait::stop;
                if (wakeable) return Wait::woken;
            }
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
                char buffer[512];
                ssize_t got = read(fd_, buffer, sizeof buffer);
                if (got > 0)
                    lines_.append(buffer, static_cast<size_t>(got));
                else if (got == 0 || (errno != EAGAIN && errno != EINTR))
                    return Wait::lost;
            }
        }
    }

    // A line while no command is open: unsolicited, or noise.
    void idleLine(const std::string& line) {
        if (router_.continuation(line)) return;
        if (isUnsolicited(line, "")) router_.unsolicited(line, realMonotonicMs());
        if (router_.restartSeen && !initialising_) {
            router_.restartSeen = false;
            needInit_ = true;
            internal::trace("modem: the module restarted (%s)", line.c_str());
        }
    }

    // Waits `ms`, taking unsolicited results meanwhile.
    void idleFor(uint32_t ms) {
        uint64_t deadline = realMonotonicMs() + ms;
        std::string line;
        for (;;) {
            if (fd_ < 0) {
                pollfd p{shared().wakeFd, POLLIN, 0};
                uint64_t now = realMonotonicMs();
                if (stopping() || now >= deadline) return;
                poll(&p, 1, static_cast<int>(deadline - now));
                if (p.revents & POLLIN) {
                    uint64_t count;
                    ssize_t got = read(shared().wakeFd, &count, sizeof count);
                    (void)got;
                }
                continue;
            }
            Wait w = next(line, deadline, false, false);
            if (w == Wait::line)
                idleLine(line);
            else if (w == Wait::lost)
                closePort("the device went away");
            else
                return;
        }
    }

    void idle() {
        uint64_t silenceCheck =
            router_.checkSilence(realMonotonicMs(), currentTimeouts().callSilence);
        std::string line;
        Wait w = next(line, silenceCheck, false, true);
        if (w == Wait::line)
            idleLine(line);
        else if (w == Wait::lost)
            closePort("the device went away");
    }

    // ---- One command

    struct Exchange {
        std::string text;
        std::string pdu;
        uint32_t timeoutMs;
        bool resync = true;  // after a time-out: ESC, then AT
    };

    Result exec(const Exchange& x) {
        Result r;
        if (fd_ < 0 || !writeAll(x.text + "\r")) return outcome(r, Outcome::portLost);
        bool atPrompt = !x.pdu.empty();
        uint64_t deadline = realMonotonicMs() + (atPrompt ? currentTimeouts().prompt : x.timeoutMs);
        std::string line;
        for (;;) {
            Wait w = next(line, deadline, atPrompt, false);
            if (w == Wait::prompt) {
                atPrompt = false;
                if (!writeAll(x.pdu + ctrlZ)) return outcome(r, Outcome::portLost);
                deadline = realMonotonicMs() + x.timeoutMs;
                continue;
            }
            if (w == Wait::timeout) return timedOut(r, x);
            if (w == Wait::lost || w == Wait::stop) {
                if (w == Wait::lost) closePort("the device went away");
                return outcome(r, Outcome::portLost);
            }
            if (w != Wait::line || router_.continuation(line)) continue;
            if (line == x.text || (!x.pdu.empty() && hexOnly(line) == x.pdu)) continue;  // echo
            if (isUnsolicited(line, x.text)) {
                router_.unsolicited(line, realMonotonicMs());
                continue;
            }
            if (!isFinal(line, x.text)) {
                r.lines.push_back(line);
                continue;
            }
            r.finalLine = line;
            r.messageReference = messageReferenceOf(r.lines);
            timeoutsInRow_ = 0;
            return outcome(
                r, line == "OK" || startsWith(line, "CONNECT") ? Outcome::ok : Outcome::refused);
        }
    }

    static Result outcome(Result r, Outcome o) {
        r.outcome = o;
        return r;
    }

    // No final result in time: ESC abandons a PDU still being typed, AT finds the module
    // again; a module that stays silent is closed and reopened.
    Result timedOut(Result r, const Exchange& x) {
        internal::trace("modem: no answer to %s", x.text.c_str());
        if (x.resync && fd_ >= 0) {
            writeAll(escapeReturn);
            Result probe = exec({"AT", "", currentTimeouts().resync, false});
            if (probe.outcome != Outcome::ok && ++timeoutsInRow_ >= timeoutsBeforeReopen)
                closePort("no answers");
        }
        return outcome(r, Outcome::timedOut);
    }

    // The same command again after a pause while the SIM or module says it is busy.
    Result execPatient(const Exchange& x) {
        Timeouts t = currentTimeouts();
        Result r = exec(x);
        for (int i = 0; i < t.busyRetries && r.outcome == Outcome::refused && isBusy(r.finalLine);
             ++i) {
            idleFor(t.busyPause);
            r = exec(x);
        }
        return r;
    }

    std::shared_ptr<Command> takeCommand() {
        std::lock_guard<std::mutex> hold(shared().lock);
        auto& queue = shared().queue;
        while (!queue.empty()) {
            auto command = queue.front();
            queue.pop_front();
            if (!command->cancelled.load()) return command;
        }
        return nullptr;
    }

    void runCommand(const std::shared_ptr<Command>& command) {
        Result r = execPatient({command->text, command->pdu, command->timeoutMs});
        if (command->text == "ATA" && r.outcome == Outcome::ok) router_.answered();
        if (r.outcome != Outcome::ok)
            internal::trace("modem: %s -> %s", command->text.c_str(), r.finalLine.c_str());
        if (command->done) command->done(r);
    }

    // Commands that waited longer than allowed for a modem fail.
    void failExpired() {
        std::vector<std::shared_ptr<Command>> expired;
        {
            std::lock_guard<std::mutex> hold(shared().lock);
            uint64_t limit = shared().timeouts.waitForModem;
            auto& queue = shared().queue;
            uint64_t now = realMonotonicMs();
            for (auto it = queue.begin(); it != queue.end();) {
                if (now - (*it)->queuedAt < limit) {
                    ++it;
                    continue;
                }
                expired.push_back(*it);
                it = queue.erase(it);
            }
        }
        for (auto& command : expired) finish(command, Outcome::noModem);
    }

    // ---- Initialisation

    bool probe() {
        Timeouts t = currentTimeouts();
        uint64_t deadline = realMonotonicMs() + t.boot;
        while (fd_ >= 0 && !stopping() && realMonotonicMs() < deadline) {
            Result r = exec({"AT", "", t.probe, false});
            if (r.outcome == Outcome::ok) return true;
            if (r.outcome == Outcome::refused) idleFor(t.probe);
        }
        return false;
    }

    bool retryUntilAccepted(const std::string& command, uint32_t forMs) {
        uint64_t deadline = realMonotonicMs() + forMs;
        for (;;) {
            Result r = exec({command, "", currentTimeouts().command});
            if (r.outcome == Outcome::ok) return true;
            if (fd_ < 0 || stopping() || realMonotonicMs() + smsModePauseMs > deadline)
                return false;
            idleFor(smsModePauseMs);
        }
    }

    // ESC, AT until the module answers, then the settings a restart forgets.
    bool initialise() {
        initialising_ = true;
        needInit_ = false;
        ready_ = false;
        Timeouts t = currentTimeouts();
        writeAll(escapeReturn);
        idleFor(settleAfterEscapeMs);
        bool answered = probe();
        if (answered) configure(t);
        initialising_ = false;
        if (!answered || fd_ < 0) return false;
        if (router_.restartSeen) {
            router_.restartSeen = false;
            needInit_ = true;  // it restarted while it was being set up: once more
        }
        ready_ = true;
        internal::trace("modem: ready");
        radio::onModemEvent({Event::Kind::ready, {}, {}});
        catchUp();
        return true;
    }

    void configure(const Timeouts& t) {
        exec({"ATE0", "", t.command});
        exec({"AT+CMEE=1", "", t.command});
        Result pin = exec({"AT+CPIN?", "", t.command});
        if (pin.lines.empty() || pin.lines[0] != "+CPIN: READY")
            internal::trace("modem: SIM not ready (%s)",
                            pin.lines.empty() ? pin.finalLine.c_str() : pin.lines[0].c_str());
        if (!retryUntilAccepted("AT+CMGF=0", t.smsMode))
            internal::trace("modem: no PDU mode: no SMS");
        exec({"AT+CSCS=\"GSM\"", "", t.command});
        static const char* indications[] = {"AT+CNMI=2,1,0,0,0", "AT+CNMI=2,2,0,0,0", "AT+CNMI=2,1",
                                            "AT+CNMI=1,1"};
        for (const char* cnmi : indications)
            if (exec({cnmi, "", t.command}).outcome == Outcome::ok || fd_ < 0) break;
        if (exec({"AT+CLIP=1", "", t.command}).outcome != Outcome::ok)
            internal::trace("modem: no caller id");
        exec({"AT+CVHU=0", "", t.command});
        storage_.clear();
    }

    // Messages that came while the port was away: AT+CMGL=0 lists the unread ones.
    void catchUp() {
        Result r = exec({"AT+CMGL=0", "", currentTimeouts().read});
        if (r.outcome != Outcome::ok) return;
        std::vector<int> indexes;
        for (size_t i = 0; i + 1 < r.lines.size(); ++i) {
            if (!startsWith(r.lines[i], "+CMGL:")) continue;
            indexes.push_back(std::atoi(r.lines[i].c_str() + 6));
            radio::onModemEvent({Event::Kind::message, hexOnly(r.lines[i + 1]), {}});
        }
        for (int index : indexes)
            exec({"AT+CMGD=" + std::to_string(index), "", currentTimeouts().command});
    }

    // +CMTI announced a stored message: read it, report it, delete it.
    void readStored() {
        auto [storage, index] = router_.toRead.front();
        router_.toRead.pop_front();
        Timeouts t = currentTimeouts();
        if (!storage.empty() && storage != storage_ &&
            exec({"AT+CPMS=\"" + storage + "\"", "", t.command}).outcome == Outcome::ok)
            storage_ = storage;
        Result r = execPatient({"AT+CMGR=" + std::to_string(index), "", t.read});
        if (r.outcome != Outcome::ok) return;
        for (size_t i = 0; i + 1 < r.lines.size(); ++i) {
            if (!startsWith(r.lines[i], "+CMGR:")) continue;
            radio::onModemEvent({Event::Kind::message, hexOnly(r.lines[i + 1]), {}});
            break;
        }
        exec({"AT+CMGD=" + std::to_string(index), "", t.command});
    }

    Config config_;
    int fd_ = -1;
    LineBuffer lines_;
    Router router_;
    bool needInit_ = true;
    bool initialising_ = false;
    bool ready_ = false;
    bool openFailed_ = false;
    int timeoutsInRow_ = 0;
    std::string storage_;  // the storage AT+CMGR reads, once chosen
};

// ---- Registry

std::string readText(HKEY key, LPCWSTR name) {
    WCHAR value[MAX_PATH] = {};
    DWORD size = sizeof value - sizeof(WCHAR);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return "";
    return toUtf8(value);
}

Config readConfig() {
    Config config;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Modem", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        config.path = readText(key, u"Port");
        config.loudspeaker = readText(key, u"Loudspeaker command");
        DWORD baud = 0, size = sizeof baud, type = 0;
        if (RegQueryValueExW(key, u"Baud rate", nullptr, &type, reinterpret_cast<BYTE*>(&baud),
                             &size) == ERROR_SUCCESS &&
            type == REG_DWORD && tty::speedCode(static_cast<int>(baud)) >= 0)
            config.baud = static_cast<int>(baud);
        RegCloseKey(key);
    }
    if (config.path.empty()) {
        DefaultModem (*hook)() = defaultModemHook.load();
        if (hook == nullptr) {
            internal::trace("modem: none in the registry and no default modem");
            return config;
        }
        DefaultModem fallback = hook();
        config.path = fallback.path;
        if (config.loudspeaker.empty()) config.loudspeaker = fallback.loudspeakerCommand;
        internal::trace("modem: none in the registry; %s at %s", fallback.description.c_str(),
                        config.path.c_str());
    }
    return config;
}

void enqueue(const std::shared_ptr<Command>& command, bool first) {
    start();
    {
        std::lock_guard<std::mutex> hold(shared().lock);
        if (first)
            shared().queue.push_front(command);
        else
            shared().queue.push_back(command);
    }
    wakePort();
}

}  // namespace

Timeouts timeouts() {
    return currentTimeouts();
}

void setDefaultModem(DefaultModem (*hook)()) {
    defaultModemHook = hook;
}

void setTimeoutsForTests(const Timeouts& t) {
    std::lock_guard<std::mutex> hold(shared().lock);
    shared().timeouts = t;
}

void start() {
    Shared& s = shared();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.started) return;
    s.config = readConfig();
    s.started = true;
    if (modemmanager::isPortName(s.config.path)) {
        internal::trace("modem: ModemManager's");
        modemmanager::start();
        return;
    }
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.stopping = false;
    s.thread = std::thread([config = s.config] { PortThread(config).run(); });
}

bool viaModemManager() {
    start();
    std::lock_guard<std::mutex> hold(shared().lock);
    return modemmanager::isPortName(shared().config.path);
}

std::string loudspeakerCommand() {
    start();
    std::lock_guard<std::mutex> hold(shared().lock);
    return shared().config.loudspeaker;
}

Result submit(const std::string& pduHex, int tpduLength) {
    struct Waiter {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        Result result;
    };
    auto waiter = std::make_shared<Waiter>();
    Timeouts t = currentTimeouts();
    auto command = std::make_shared<Command>();
    command->text = "AT+CMGS=" + std::to_string(tpduLength);
    command->pdu = pduHex;
    command->timeoutMs = t.submit;
    command->queuedAt = realMonotonicMs();
    command->done = [waiter](const Result& r) {
        std::lock_guard<std::mutex> hold(waiter->lock);
        waiter->result = r;
        waiter->finished = true;
        waiter->done.notify_all();
    };
    enqueue(command, false);
    // The port thread ends every command by itself; this bound only guards against a
    // thread that stopped.
    uint64_t bound = t.waitForModem +
                     (uint64_t{t.prompt} + t.submit + t.busyPause + t.resync) *
                         static_cast<uint64_t>(t.busyRetries + 1) +
                     outerSlackMs;
    std::unique_lock<std::mutex> hold(waiter->lock);
    if (!waiter->done.wait_for(hold, std::chrono::milliseconds(bound),
                               [&] { return waiter->finished; })) {
        command->cancelled = true;
        return Result{Outcome::timedOut, "", {}, -1};
    }
    return waiter->result;
}

void post(const std::string& text, uint32_t timeoutMs, bool first,
          std::function<void(const Result&)> done) {
    auto command = std::make_shared<Command>();
    command->text = text;
    command->timeoutMs = timeoutMs;
    command->queuedAt = realMonotonicMs();
    command->done = std::move(done);
    enqueue(command, first);
}

void stopForTests() {
    Shared& s = shared();
    bool viaModemManager = false;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.started) return;
        viaModemManager = modemmanager::isPortName(s.config.path);
        if (viaModemManager)
            s.started = false;
        else
            s.stopping = true;
    }
    if (viaModemManager) {
        modemmanager::stopForTests();
        return;
    }
    wakePort();
    s.thread.join();
    std::deque<std::shared_ptr<Command>> left;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        left.swap(s.queue);
        close(s.wakeFd);
        s.wakeFd = -1;
        s.started = false;
        s.stopping = false;
    }
    for (auto& command : left) finish(command, Outcome::noModem);
    radio::drainForTests();  // what the port handed on is delivered before the next scenario
}

void parseForFuzzing(const uint8_t* bytes, size_t size) {
    static const char* commands[] = {"", "AT+CMGR=1", "ATA", "AT+CMGS=20", "AT+CPIN?"};
    Router router([](const Event& e) { (void)e.pdu.size(); });
    LineBuffer lines;
    lines.append(reinterpret_cast<const char*>(bytes), size);
    std::string line;
    size_t n = 0;
    while (lines.takeLine(line) || lines.takePrompt()) {
        const std::string command = commands[n++ % 5];
        if (line.empty() || router.continuation(line)) continue;
        if (isUnsolicited(line, command))
            router.unsolicited(line, n);
        else if (isFinal(line, command))
            (void)messageReferenceOf({line});
        router.checkSilence(n, 3);
        line.clear();
    }
    while (!router.toRead.empty()) router.toRead.pop_front();
}

}  // namespace orven::modem
