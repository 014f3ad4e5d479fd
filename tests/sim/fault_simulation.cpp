// The fault simulation's engine: drawing a scenario from a seed, running it against the
// program on the emulated phone, and the invariants checked after every step.
#include "tests/sim/fault_simulation.h"

#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "alert/alert_message.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/program.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "platform/modem.h"
#include "platform/ril.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"

namespace faultsim {

namespace {

using orven::sim::Modem;
using orven::sim::NmeaReceiver;
using orven::sim::Phase;

constexpr int sendLimits[] = {1, 2, 3, 4, 5, 10, 15};
constexpr UINT_PTR procedureStartTimer = 1111;
constexpr int sendingCue = 7;
constexpr int alarmCue = 9;
constexpr uint64_t quietMs = 200000;
constexpr uint64_t failureShownWithinMs = 30000;

std::string utf8(const std::u16string& text) {
    return orven::toUtf8(text);
}

bool endsWith(const std::u16string& text, const std::u16string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool startsWith(const std::u16string& text, const std::u16string& head) {
    return text.rfind(head, 0) == 0;
}

// ---- The scenario

enum class ReceiverKind {
    none,
    silent,
    lost,
    fixAfterAWhile,
    garbageThenFix,
    unplugged,
    second,
    unpluggedAndBack
};
const char* const receiverKindNames[] = {
    "none",
    "silent",
    "lost after N sentences",
    "no fix, then a fix",
    "garbage, then a fix",
    "unplugged",
    "a silent receiver on the saved port, the real one elsewhere",
    "unplugged, then plugged back in"};

enum class EventKind {
    smsFrom,
    callFrom,
    tap,
    secondStart,
    secondStartWithA,
    touch,
    modemSilent,
    modemSpeaks,
    modemRestart,
    modemVanish,
    unplug,
    replug
};

struct Event {
    uint64_t atMs;  // virtual time after the program started
    EventKind kind;
    std::u16string number;  // smsFrom, callFrom
    int value = 0;          // modemRestart: SMS Ready after; modemVanish: back after
};

struct Scenario {
    std::u16string numbers[2];
    int32_t alertsNumber = 0;
    int32_t autoAnswering = 0;
    int32_t knownPort = -1;
    bool launchWithA = false;
    bool firstStartYes = false;
    bool settingsSaved = true;
    ReceiverKind receiver = ReceiverKind::none;
    int receiverPort = 4;
    int otherPort = 7;
    std::vector<Phase> phases;
    int latitudeDegrees = 48;
    // Modem faults on submissions, set before the start.
    int refuse = 0, refuseAfter = 0, ignore = 0;
    std::string refuseResult;
    std::vector<Event> events;
};

// The numbers the program holds that alerts go to: none when its settings were never saved.
std::vector<std::u16string> usableNumbers(const Scenario& s) {
    std::vector<std::u16string> usable;
    if (!s.settingsSaved) return usable;
    for (const auto& n : s.numbers)
        if (n.size() >= 3) usable.push_back(n);
    return usable;
}

bool confirms(const Scenario& s, const std::u16string& from) {
    for (const auto& n : usableNumbers(s))
        if (endsWith(from, n)) return true;
    return false;
}

Scenario draw(uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    auto chance = [&](int percent) { return pick(100) < percent; };
    Scenario s;
    const std::u16string usable[] = {u"600100200", u"+48600300400", u"700800900", u"0048601"};
    const std::u16string unusable[] = {u"", u"1", u"12", u"00"};
    for (auto& n : s.numbers) n = chance(65) ? usable[pick(4)] : unusable[pick(4)];
    if (s.numbers[0] == s.numbers[1] && s.numbers[0].size() >= 3) s.numbers[1] = u"12";
    s.alertsNumber = pick(7);
    s.autoAnswering = chance(25) ? 1 : 0;
    s.launchWithA = chance(30);
    s.settingsSaved = chance(85);
    s.firstStartYes = chance(50);
    s.receiverPort = 1 + pick(8);
    s.otherPort = (s.receiverPort + 1 + pick(8)) % 10;
    s.latitudeDegrees = 10 + pick(70);
    s.receiver = static_cast<ReceiverKind>(pick(8));
    const int noFix = 1 + pick(6), fix = 1 + pick(4);
    switch (s.receiver) {
        case ReceiverKind::none: break;
        case ReceiverKind::silent: s.phases = {{Phase::silent, 0}}; break;
        case ReceiverKind::lost: s.phases = {{Phase::noFix, 1 + noFix}}; break;
        case ReceiverKind::fixAfterAWhile:
        case ReceiverKind::unplugged:
        case ReceiverKind::unpluggedAndBack:
        case ReceiverKind::second: s.phases = {{Phase::noFix, noFix}, {Phase::fix, fix}}; break;
        case ReceiverKind::garbageThenFix:
            s.phases = {{Phase::replay, 0,
                         "$GPGGA,garbage,,,,*ZZ\n$$$$$$\n$GPGSV,1,1,xx,,,\n$\x7f\x01\x02GPRMC\n"
                         "$GPRMC,,V,,,,,,,,,,N*53\n$GPGGA,123519.00,4807.x,N,,,,,,,,,,*00\n"},
                        {Phase::fix, fix}};
            break;
    }
    const int knownChoice = pick(3);
    s.knownPort = knownChoice == 0 ? -1 : knownChoice == 1 ? s.receiverPort : s.otherPort;
    if (s.receiver == ReceiverKind::second) s.knownPort = s.otherPort;
    if (chance(30)) {
        s.refuse = 1 + pick(20);
        s.refuseAfter = pick(8);
        s.refuseResult = chance(70) ? "+CMS ERROR: " + std::to_string(300 + pick(300)) : "ERROR";
    }
    if (chance(15)) s.ignore = 1 + pick(3);

    // What happens, and when: the procedure starts within the first minute unless the
    // button started it; the rest is spread over the sends.
    const uint64_t horizon = 120000 + 61000ull * 2 * sendLimits[s.alertsNumber];
    if (!s.launchWithA || chance(20))
        s.events.push_back({1500 + rng() % 60000, EventKind::tap, u""});
    const std::u16string one = s.numbers[0].empty() ? u"600100200" : s.numbers[0];
    const std::u16string senders[] = {one,
                                      u"+48" + one,
                                      u"9" + one + u"9",
                                      u"",
                                      u"555123456",
                                      u"+4812345",
                                      s.numbers[1].empty() ? u"700800900" : s.numbers[1]};
    const int confirmations = pick(4);
    for (int i = 0; i < confirmations; ++i)
        s.events.push_back({rng() % horizon, chance(50) ? EventKind::smsFrom : EventKind::callFrom,
                            senders[pick(7)]});
    if (chance(20))
        s.events.push_back({rng() % horizon,
                            chance(50) ? EventKind::secondStart : EventKind::secondStartWithA,
                            u""});
    if (chance(20)) s.events.push_back({rng() % horizon, EventKind::touch, u""});
    if (chance(15)) {
        const uint64_t at = rng() % horizon;
        s.events.push_back({at, EventKind::modemSilent, u""});
        s.events.push_back({at + 1000 + rng() % 90000, EventKind::modemSpeaks, u""});
    }
    if (chance(15)) s.events.push_back({rng() % horizon, EventKind::modemRestart, u"", pick(800)});
    if (chance(10))
        s.events.push_back(
            {rng() % horizon, EventKind::modemVanish, u"", chance(80) ? 50 + pick(1500) : -1});
    if (s.receiver == ReceiverKind::unplugged || s.receiver == ReceiverKind::unpluggedAndBack) {
        const uint64_t at = rng() % 90000;
        s.events.push_back({at, EventKind::unplug, u""});
        if (s.receiver == ReceiverKind::unpluggedAndBack) {
            // Back on the same device name after a while; the owner may try again then.
            const uint64_t back = at + 2000 + rng() % 60000;
            s.events.push_back({back, EventKind::replug, u""});
            if (chance(70)) s.events.push_back({back + 1000 + rng() % 30000, EventKind::tap, u""});
        }
    }
    std::stable_sort(s.events.begin(), s.events.end(),
                     [](const Event& a, const Event& b) { return a.atMs < b.atMs; });
    return s;
}

const char* eventName(EventKind kind) {
    switch (kind) {
        case EventKind::smsFrom: return "SMS from";
        case EventKind::callFrom: return "call from";
        case EventKind::tap: return "tap on Alert now!";
        case EventKind::secondStart: return "second start";
        case EventKind::secondStartWithA: return "second start with -a";
        case EventKind::touch: return "touch on the screen";
        case EventKind::modemSilent: return "modem goes silent";
        case EventKind::modemSpeaks: return "modem answers again";
        case EventKind::modemRestart: return "modem restarts";
        case EventKind::modemVanish: return "modem vanishes";
        case EventKind::unplug: return "receiver unplugged";
        case EventKind::replug: return "receiver plugged back in";
    }
    return "?";
}

std::string describe(const Scenario& s) {
    std::ostringstream out;
    out << "numbers \"" << utf8(s.numbers[0]) << "\" \"" << utf8(s.numbers[1]) << "\", sends "
        << sendLimits[s.alertsNumber] << ", auto-answering " << s.autoAnswering << ", saved port "
        << s.knownPort << ", " << (s.launchWithA ? "started with -a" : "started plainly")
        << (s.settingsSaved ? "" : ", settings never saved")
        << "\nreceiver: " << receiverKindNames[static_cast<int>(s.receiver)] << " on COM"
        << s.receiverPort << ", fix at " << s.latitudeDegrees << " N\nmodem: refuse " << s.refuse
        << " after " << s.refuseAfter << " (" << s.refuseResult << "), no answer to " << s.ignore
        << "\n";
    for (const Event& e : s.events)
        out << "  at " << e.atMs << " ms: " << eventName(e.kind) << " " << utf8(e.number)
            << (e.value ? " " + std::to_string(e.value) : "") << "\n";
    return out.str();
}

// ---- The run

std::string hiveFor(const Scenario& s, const std::map<int, std::string>& ports,
                    const std::string& modemPath) {
    std::ostringstream hive;
    hive << "Windows Registry Editor Version 5.00\r\n\r\n";
    if (s.settingsSaved) {
        hive << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n";
        if (!s.numbers[0].empty())
            hive << "\"Alert number 1\"=\"" << utf8(s.numbers[0]) << "\"\r\n";
        if (!s.numbers[1].empty())
            hive << "\"Alert number 2\"=\"" << utf8(s.numbers[1]) << "\"\r\n";
        char dword[64];
        std::snprintf(dword, sizeof dword, "\"Alerts number\"=dword:%08x\r\n", s.alertsNumber);
        hive << dword;
        std::snprintf(dword, sizeof dword, "\"Auto-answering\"=dword:%08x\r\n", s.autoAnswering);
        hive << dword;
        if (s.knownPort >= 0) {
            std::snprintf(dword, sizeof dword, "\"GPS port number\"=dword:%08x\r\n", s.knownPort);
            hive << dword;
        }
        hive << "\r\n";
    }
    hive << "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n";
    for (const auto& [number, path] : ports)
        hive << "\"COM" << number << ":\"=\"" << path << "\"\r\n";
    hive << "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" << modemPath << "\"\r\n";
    return hive.str();
}

// Every wait of the modem layer short, so that a silent modem costs little real time.
void shortenModemWaits() {
    orven::modem::Timeouts t = orven::modem::timeouts();
    t.command = 600;
    t.probe = 100;
    t.boot = 1500;
    t.smsMode = 1500;
    t.prompt = 600;
    t.submit = 800;
    t.read = 600;
    t.answer = 800;
    t.resync = 300;
    t.waitForModem = 800;
    t.reopenFirst = 20;
    t.reopenLongest = 300;
    t.busyPause = 50;
    t.busyRetries = 2;
    t.callSilence = 1500;
    orven::modem::setTimeoutsForTests(t);
}

class Run {
  public:
    explicit Run(uint64_t seed) : seed_(seed), s_(draw(seed)) {}

    Report go();

  private:
    void note(const std::string& line) {
        std::ostringstream at;
        at << "[" << nowMs() << "] ";
        if (std::getenv("ORVEN_SIM_DEBUG"))
            at << std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                          .count() %
                      100000
               << " ";
        trace_ += at.str() + line + "\n";
    }
    void fail(const std::string& why) {
        if (failure_.empty()) failure_ = why;
        note("BROKEN: " + why);
    }
    uint64_t nowMs() const { return orven::test::virtualNowMs() - startMs_; }
    static std::u16string status() {
        WCHAR text[statusTextSize];
        copyStatusText(text);
        return text;
    }
    static std::vector<int> cues() {
        std::vector<int> numbers;
        for (const auto& sound : orven::test::playedSounds()) {
            size_t slash = sound.file.rfind('/');
            numbers.push_back(std::atoi(sound.file.c_str() + slash + 1));
        }
        return numbers;
    }
    bool searching() const {
        const int32_t state = gpsState.searchState.load();
        return state == 1 || state == 3 || startPending_;
    }
    // Whether a receiver may be talking on the port being tried: its reader then works in
    // real time, and virtual time must not run ahead of it.
    bool receiverListening() const {
        const int32_t port = appSettings.gpsPortNumber.load();
        return gpsState.receiverFound.load() == 1 || (receiver_ && port == s_.receiverPort) ||
               (decoy_ && port == s_.otherPort);
    }
    void start(const std::u16string& commandLine);
    void replug();
    void apply(const Event& e);
    void confirmFrom(const Event& e);
    void step(uint32_t ms);
    void check();
    void checkTheEnd();
    bool statusIsTerminal(const std::u16string& text) const;

    uint64_t seed_;
    Scenario s_;
    std::string trace_, failure_;
    uint64_t startMs_ = 0;
    orven::test::Phone* phone_ = nullptr;
    std::unique_ptr<Modem> modem_;
    std::unique_ptr<NmeaReceiver> receiver_, decoy_;
    std::string receiverDirectory_, receiverLink_;  // the receiver's stable device name

    // What has been seen so far.
    bool started_ = false;        // the owner asked for an alert
    bool startPending_ = false;   // timer 1111 is on its way
    bool switchedOn_ = false;     // the receiver talks since its port was first opened
    size_t startTraceIndex_ = 0;  // the trace's length when the first start was asked for
    int startsSinceReset_ = 0;
    uint32_t alertsSent_ = 0;
    size_t cuesSeen_ = 0, messagesSeen_ = 0;
    bool confirmed_ = false;          // the watcher confirmed; nothing more may go out
    bool validConfirmation_ = false;  // a usable alert number answered while an alert was out
    std::u16string lastStatus_;
    uint64_t lastActivityMs_ = 0;  // the last search step, status, attempt or message
    int unresolvedAttempts_ = 0;   // attempts neither counted as sent nor shown as failed
    uint64_t unresolvedSinceMs_ = 0;
};

void Run::start(const std::u16string& commandLine) {
    phone_->start(WinMain, commandLine);
    startMs_ = orven::test::virtualNowMs();
}

// The receiver comes back as a new terminal behind the same name. It talks whenever the
// program has it open, starting over with its time without a fix.
void Run::replug() {
    if (receiverLink_.empty()) return;
    orven::sim::Scenario scenario;
    scenario.phases = s_.phases;
    scenario.paced = false;
    scenario.idleWhileClosed = true;
    scenario.latitude = s_.latitudeDegrees + 0.5;
    scenario.longitude = 19.25;
    scenario.startUtc = 1767571200 + 13 * 3600;
    receiver_ = NmeaReceiver::start(scenario);
    if (!receiver_) {
        fail("no pseudo-terminal for the receiver plugged back in");
        return;
    }
    switchedOn_ = true;
    if (symlink(receiver_->devicePath().c_str(), receiverLink_.c_str()) != 0)
        fail("the receiver's name could not be made again");
}

void Run::confirmFrom(const Event& e) {
    // A message held up by a modem fault may still arrive while an alert is out.
    const bool pending = alertsSent_ > 0;
    if (confirms(s_, e.number)) validConfirmation_ = true;
    if (e.kind == EventKind::smsFrom)
        modem_->deliverSms(e.number, u"OK, coming");
    else
        modem_->ring(e.number);
    // The modem's line and the radio's threads run in real time: let them hand the
    // notification to the watcher, and the watcher finish with it.
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    orven::radio::drainForTests(3000);
    if (e.kind == EventKind::callFrom) modem_->hangUp();
    note(std::string("  ") + (pending ? "an alert is out" : "no alert out") +
         (confirms(s_, e.number) ? ", a confirming number" : ", not a confirming number"));
}

void Run::apply(const Event& e) {
    note(std::string(eventName(e.kind)) + " " + utf8(e.number));
    switch (e.kind) {
        case EventKind::smsFrom:
        case EventKind::callFrom: confirmFrom(e); break;
        case EventKind::tap:
        case EventKind::secondStartWithA:
            if (e.kind == EventKind::tap) {
                phone_->tap(50, 300);
            } else {
                // What a second start with "a" does in the running program.
                phone_->onGui([] {
                    SetForegroundWindow(mainWindow);
                    playCue(1, false);
                    SetTimer(mainWindow, procedureStartTimer, 1000, nullptr);
                });
            }
            if (!usableNumbers(s_).empty() || e.kind == EventKind::secondStartWithA) {
                if (!started_) startTraceIndex_ = orven::test::traceLines().size();
                started_ = true;
                startPending_ = true;
                ++startsSinceReset_;
                confirmed_ = false;
            }
            break;
        case EventKind::secondStart:
            phone_->onGui([] {
                SetForegroundWindow(mainWindow);
                playCue(1, false);
            });
            break;
        case EventKind::touch: phone_->tap(120, 100); break;
        case EventKind::modemSilent: modem_->setSilent(true); break;
        case EventKind::modemSpeaks: modem_->setSilent(false); break;
        case EventKind::modemRestart: modem_->restart(e.value); break;
        case EventKind::modemVanish: modem_->vanish(e.value); break;
        case EventKind::unplug:
            if (receiver_) receiver_->unplug();
            // A device that is pulled out leaves its name (as under /dev/serial/by-id).
            if (!receiverLink_.empty()) unlink(receiverLink_.c_str());
            break;
        case EventKind::replug: replug(); break;
    }
    check();
}

void Run::step(uint32_t ms) {
    phone_->advance(ms);
    // A handler may still be inside a send (the modem answers in real time): what the
    // program shows is read once the GUI thread is back in its loop.
    phone_->onGui([] {});
    if (receiver_ && !switchedOn_ && gpsState.portHandle.load() != INVALID_HANDLE_VALUE &&
        appSettings.gpsPortNumber.load() == s_.receiverPort) {
        receiver_->switchOn();
        switchedOn_ = true;
        note("receiver switched on");
    }
    check();
}

// The invariants, on what changed since the last check.
void Run::check() {
    const std::u16string now = status();
    if (now != lastStatus_) {
        note("status \"" + utf8(now) + "\"");
        lastStatus_ = now;
        lastActivityMs_ = nowMs();
    }
    if (searching()) lastActivityMs_ = nowMs();
    if (startsWith(now, u"Connecting GPS Rx") || startsWith(now, u"Searching GPS Rx"))
        startPending_ = false;

    // Messages the modem accepted whole.
    const std::vector<orven::sim::SentMessage> messages = modem_->messages();
    std::map<std::u16string, int> fresh;
    for (size_t i = messagesSeen_; i < messages.size(); ++i) {
        const auto& m = messages[i];
        note("message to " + utf8(m.number) + " in " + std::to_string(m.parts) + " parts");
        ++fresh[m.number];
        if (!started_) fail("a message went out before the owner asked for an alert");
        if (confirmed_) fail("a message went out after the alert was confirmed");
        bool allowed = false;
        for (const auto& n : usableNumbers(s_)) allowed = allowed || m.number == n;
        if (!allowed) fail("a message went to " + utf8(m.number) + ", not a usable alert number");
        char latitude[16];
        std::snprintf(latitude, sizeof latitude, "N%02d.", s_.latitudeDegrees);
        if (m.text.find(u"from Lat: " + std::u16string(latitude, latitude + 4)) ==
            std::u16string::npos)
            fail("a message without the receiver's position: " + utf8(m.text));
    }
    if (messagesSeen_ < messages.size()) {
        // A fix published by a search the owner started comes before any message.
        const std::vector<std::string> lines = orven::test::traceLines();
        bool fixAfterStart = false;
        for (size_t i = startTraceIndex_; i < lines.size() && !fixAfterStart; ++i)
            fixAfterStart = lines[i].find(" id=5 ms=1500") != std::string::npos;
        if (!fixAfterStart) fail("a message went out without a fix found after the start");
    }
    if (messagesSeen_ < messages.size()) lastActivityMs_ = nowMs();
    messagesSeen_ = messages.size();

    // Cues: attempts to send, and the alarm.
    const std::vector<int> played = cues();
    int attempts = 0;
    for (size_t i = cuesSeen_; i < played.size(); ++i) {
        if (played[i] == sendingCue) {
            ++attempts;
            lastActivityMs_ = nowMs();
        }
        if (played[i] == alarmCue) {
            if (!validConfirmation_)
                fail("the alarm sounded without a confirmation from an alert number");
            confirmed_ = true;
        }
    }
    cuesSeen_ = played.size();

    // Sends the program counts.
    const uint32_t sent = alertsSent.load();
    int successes = 0;
    if (sent < alertsSent_) {
        note("alertsSent back to " + std::to_string(sent));
        startsSinceReset_ = startPending_ ? 1 : 0;
    } else {
        successes = static_cast<int>(sent - alertsSent_);
    }
    if (successes > 0) {
        note("alertsSent " + std::to_string(sent));
        for (const auto& n : usableNumbers(s_))
            if (fresh[n] < successes)
                fail("a send counted as made, but the modem did not take the whole message for " +
                     utf8(n));
    }
    const uint32_t limit = sendLimits[s_.alertsNumber];
    if (sent > limit + static_cast<uint32_t>(std::max(0, startsSinceReset_ - 1)))
        fail("more sends than the owner's count: " + std::to_string(sent));
    alertsSent_ = sent;

    // A failed attempt is on the screen soon after it ended (a send takes a while, and
    // the step may end in its middle): its own words, a confirmation that came since, the
    // failure of a search the owner started again meanwhile, or the next attempt under
    // way with a new position (whose outcome is checked in turn). A search the owner
    // started again holds the clock: its steps are on the screen.
    static const std::u16string failureShown[] = {
        u"Alert NOT sent yet\nTrying again in 1 minute...",
        u"Alert could NOT be sent!\nCheck the phone and try again.",
        u"GPS Rx wasn't found\nin any serial port.", u"GPS position missed\n ", u"GPS Rx lost"};
    bool shown = now.find(u"message confirm") != std::u16string::npos ||
                 now.find(u"confirned") != std::u16string::npos ||
                 now.find(u"\nAlert is sending away...") != std::u16string::npos;
    for (const auto& text : failureShown) shown = shown || startsWith(now, text);
    // A send that went out since supersedes the failures before it: the screen then
    // rightly says an alert is out. When the owner asked again, a pending retry may fail
    // just before the new search's first send succeeds, within one step.
    unresolvedAttempts_ = successes > 0 ? 0 : unresolvedAttempts_ + attempts;
    if (shown || confirmed_ || unresolvedAttempts_ == 0 || searching()) {
        if (shown || confirmed_) unresolvedAttempts_ = 0;
        unresolvedSinceMs_ = nowMs();
    } else if (nowMs() - unresolvedSinceMs_ > failureShownWithinMs) {
        fail("a send failed but the screen says \"" + utf8(now) + "\"");
    }
}

bool Run::statusIsTerminal(const std::u16string& text) const {
    static const std::u16string unfinished[] = {u"Alert NOT sent yet", u"Begin emergency procedure",
                                                u"Connecting GPS Rx", u"Searching GPS Rx",
                                                u"GPS Rx found\nAwaiting"};
    for (const auto& head : unfinished)
        if (startsWith(text, head)) return false;
    return text.find(u"Alert is sending away") == std::u16string::npos;
}

void Run::checkTheEnd() {
    const std::u16string now = status();
    if (started_ && !statusIsTerminal(now))
        fail("the procedure never ended: \"" + utf8(now) + "\"");
    // Nothing is still scheduled: another ten minutes bring no attempt.
    const size_t cuesBefore = cues().size();
    const size_t messagesBefore = modem_->messages().size();
    for (int i = 0; i < 10; ++i) step(60000);
    std::vector<int> played = cues();
    for (size_t i = cuesBefore; i < played.size(); ++i)
        if (played[i] == sendingCue) fail("a send was still scheduled after the procedure ended");
    if (modem_->messages().size() != messagesBefore)
        fail("messages went out after the procedure ended");
}

Report Run::go() {
    note("seed " + std::to_string(seed_) + "\n" + describe(s_));
    orven::test::Phone phone;
    phone_ = &phone;
    orven::sim::Modem::Options options;
    options.ringIntervalMs = 200;
    options.ringsBeforeGivingUp = 3;
    modem_ = std::make_unique<Modem>(options);
    if (s_.refuse > 0) modem_->refuseSubmissions(s_.refuse, s_.refuseResult, s_.refuseAfter);
    if (s_.ignore > 0) modem_->ignoreSubmissions(s_.ignore);
    shortenModemWaits();
    orven::test::setSerialBatchWaitForTests(2);

    std::map<int, std::string> ports;
    if (s_.receiver != ReceiverKind::none) {
        orven::sim::Scenario scenario;
        // Off until its port is first opened, so that nothing it says is flushed away
        // with the bytes from before the open.
        scenario.phases = {{Phase::off}};
        scenario.phases.insert(scenario.phases.end(), s_.phases.begin(), s_.phases.end());
        scenario.paced = false;
        scenario.latitude = s_.latitudeDegrees + 0.5;
        scenario.longitude = 19.25;
        scenario.startUtc = 1767571200 + 12 * 3600;
        receiver_ = NmeaReceiver::start(scenario);
        if (!receiver_) return {seed_, false, "no pseudo-terminal for the receiver", trace_};
        ports[s_.receiverPort] = receiver_->devicePath();
        // A receiver that is pulled out leaves no name behind: a terminal's number may
        // go to another seed's device the moment it is closed.
        if (s_.receiver == ReceiverKind::unplugged ||
            s_.receiver == ReceiverKind::unpluggedAndBack) {
            char directory[] = "/tmp/ov-sim-gps-XXXXXX";
            if (mkdtemp(directory) == nullptr) return {seed_, false, "no temporary folder", trace_};
            receiverDirectory_ = directory;
            receiverLink_ = receiverDirectory_ + "/gps";
            if (symlink(receiver_->devicePath().c_str(), receiverLink_.c_str()) != 0)
                return {seed_, false, "no link for the receiver", trace_};
            ports[s_.receiverPort] = receiverLink_;
        }
    }
    if (s_.receiver == ReceiverKind::second) {
        orven::sim::Scenario quiet;
        quiet.phases = {{Phase::silent, 0}};
        quiet.idleWhileClosed = true;
        decoy_ = NmeaReceiver::start(quiet);
        if (decoy_) ports[s_.otherPort] = decoy_->devicePath();
    }
    phone.writeHive("system.reg", hiveFor(s_, ports, modem_->path()));
    // The first-start question, when it is asked.
    orven::test::answerNextMessageBoxes({s_.firstStartYes ? IDYES : IDNO, IDOK, IDOK, IDOK});

    start(s_.launchWithA ? u"-a" : u"");
    if (s_.launchWithA && !usableNumbers(s_).empty()) {
        started_ = true;
        startPending_ = true;
        startsSinceReset_ = 1;
    }
    note("started");

    uint64_t horizon = 0;
    for (const Event& e : s_.events) horizon = std::max(horizon, e.atMs);
    // Each send may be tried as many times as the owner's count before the series ends.
    const uint64_t limit = sendLimits[s_.alertsNumber];
    horizon += 300000 + 61000ull * limit * limit;
    size_t next = 0;
    while (nowMs() < horizon && failure_.empty()) {
        // Every event applied and nothing happening for longer than the longest wait of
        // the procedure (the search's three minutes for a position): the run has come to
        // rest, and checkTheEnd makes sure nothing is still scheduled.
        if (next == s_.events.size() && nowMs() - lastActivityMs_ > quietMs) break;
        while (next < s_.events.size() && s_.events[next].atMs <= nowMs()) apply(s_.events[next++]);
        // While the search runs the reader works in real time: small steps, and time for it.
        if (searching() && gpsState.portHandle.load() != INVALID_HANDLE_VALUE &&
            receiverListening()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            step(100);
        } else if (searching()) {
            step(100);
        } else {
            uint64_t until = nowMs() + 5000;
            if (next < s_.events.size())
                until = std::min<uint64_t>(until, std::max(nowMs() + 1, s_.events[next].atMs));
            step(static_cast<uint32_t>(until - nowMs()));
        }
    }
    if (failure_.empty()) checkTheEnd();
    if (std::getenv("ORVEN_SIM_DEBUG") && receiver_)
        note("receiver sent " + std::to_string(receiver_->bytesSent()) + " bytes");
    if (std::getenv("ORVEN_SIM_DEBUG"))
        for (const auto& line : orven::test::traceLines()) note(line);
    note("end: alertsSent " + std::to_string(alertsSent.load()) + ", " +
         std::to_string(modem_->messages().size()) + " messages");
    // The program closes the orderly way (the phone's destructor), then the devices go.
    phone_->keyPress('Q', true);
    phone_ = nullptr;
    if (!receiverDirectory_.empty()) {
        unlink(receiverLink_.c_str());
        rmdir(receiverDirectory_.c_str());
    }
    Report report{seed_, failure_.empty(), failure_, trace_};
    return report;
}

}  // namespace

namespace {

// A seed's process that crashes prints its stack to its stderr (which the parent shows
// with the failure), since a crash that only happens under load cannot be replayed.
// The sanitizers print their own reports and keep their handlers.
void printStackOnCrash() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    struct sigaction action {};
    action.sa_flags = SA_RESETHAND;
    action.sa_handler = [](int signal) {
        void* frames[64];
        const int count = backtrace(frames, 64);
        const char header[] = "---- stack at the crash\n";
        [[maybe_unused]] ssize_t written = write(STDERR_FILENO, header, sizeof header - 1);
        backtrace_symbols_fd(frames, count, STDERR_FILENO);
        raise(signal);
    };
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL})
        sigaction(signal, &action, nullptr);
#endif
}

}  // namespace

Report runScenario(uint64_t seed) {
    Run run(seed);
    return run.go();
}

std::string replayCommand(uint64_t seed) {
    return "ORVEN_SIM_SEED=" + std::to_string(seed) +
           " ./orven_tests --gtest_filter='*FaultSimulation*/0'";
}

Running launch(uint64_t seed) {
    Running running;
    running.seed = seed;
    int fds[2];
    if (pipe(fds) != 0) return running;
    char errorPath[] = "/tmp/ov-sim-err-XXXXXX";
    int errorFd = mkstemp(errorPath);
    running.errorPath = errorPath;
    // What the caller printed but not yet wrote would otherwise be written again by the
    // child when it exits.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (errorFd >= 0) dup2(errorFd, STDERR_FILENO);
        printStackOnCrash();
        Report report;
        try {
            report = runScenario(seed);
        } catch (const std::exception& e) {
            report = {seed, false, std::string("an exception: ") + e.what(), ""};
        } catch (...) {
            report = {seed, false, "an exception", ""};
        }
        // The modem's and the radio's threads end or fall idle before the process's
        // records are destroyed at exit.
        orven::modem::stopForTests();
        orven::radio::drainForTests(2000);
        std::string out = (report.passed ? "P" : "F") + report.failure + '\0' + report.trace;
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
        // exit, not _exit: the leak checker and the other sanitizers report at exit.
        std::exit(report.passed ? 0 : 3);
    }
    close(fds[1]);
    if (errorFd >= 0) close(errorFd);
    running.pid = pid;
    running.reportFd = fds[0];
    return running;
}

Report finish(Running& running, int realTimeoutMs) {
    Report report;
    report.seed = running.seed;
    if (running.pid < 0) {
        report.failure = "the seed's process could not be started";
        return report;
    }
    std::string out;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{running.reportFd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(running.reportFd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    close(running.reportFd);
    if (timedOut) kill(running.pid, SIGKILL);
    int status = 0;
    waitpid(running.pid, &status, 0);
    const size_t split = out.find('\0');
    if (!out.empty() && split != std::string::npos) {
        report.passed = out[0] == 'P';
        report.failure = out.substr(1, split - 1);
        report.trace = out.substr(split + 1);
    }
    std::ifstream errors(running.errorPath);
    std::stringstream errorText;
    errorText << errors.rdbuf();
    unlink(running.errorPath.c_str());
    if (timedOut) {
        report.passed = false;
        report.failure =
            "the seed hung (killed after " + std::to_string(realTimeoutMs / 1000) + " s)";
    } else if (WIFSIGNALED(status)) {
        report.passed = false;
        report.failure = "the seed's process died of signal " + std::to_string(WTERMSIG(status));
    } else if (report.passed && WEXITSTATUS(status) != 0) {
        report.passed = false;
        report.failure = "the seed's process exited with " + std::to_string(WEXITSTATUS(status)) +
                         " (a sanitizer report or a leak)";
    } else if (out.empty()) {
        report.passed = false;
        report.failure = "the seed's process gave no report";
    }
    if (!report.passed) {
        std::string text = errorText.str();
        if (text.size() > 6000) text = "..." + text.substr(text.size() - 6000);
        report.trace += "---- stderr of the seed's process\n" + text;
    }
    return report;
}

void runSeeds(uint64_t first, uint64_t count, unsigned parallel,
              const std::function<bool(const Report&)>& take) {
    std::vector<Running> running;
    uint64_t next = first;
    bool more = true;
    while (!running.empty() || (more && next < first + count)) {
        while (more && running.size() < std::max(1u, parallel) && next < first + count)
            running.push_back(launch(next++));
        std::vector<pollfd> ends;
        for (const Running& r : running) ends.push_back({r.reportFd, POLLIN, 0});
        if (poll(ends.data(), ends.size(), 1000) <= 0) continue;
        size_t ready = 0;
        while (ready < ends.size() && ends[ready].revents == 0) ++ready;
        const Report report = finish(running[ready]);
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(ready));
        more = take(report) && more;
    }
}

Report runSeed(uint64_t seed, int realTimeoutMs) {
    Running running = launch(seed);
    return finish(running, realTimeoutMs);
}

}  // namespace faultsim
