// The simulated modem: a pseudo-terminal pair whose far end is served by a thread that
// speaks AT commands like a GSM module, holds a small SIM message store, and plays the
// network (incoming SMS, calls) and a partner phone. Relies on the PDU codec for both
// directions and on openpty() for the line.
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

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/text.h"

namespace orven::sim {

namespace {

constexpr const char* serviceCentre = "+447700900000";
constexpr size_t longestCommandLine = 1024;        // V.250 modems take far less; junk is dropped
constexpr size_t longestPdu = 2 * (1 + 12 + 175);  // hex of the largest SUBMIT with SMSC
constexpr uint8_t ctrlZ = 0x1A;
constexpr uint8_t escapeByte = 0x1B;

uint64_t nowUs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The integers of a parameter list ("2,1,0,0,0"); a missing one reads as -1.
std::vector<int> integers(const std::string& list) {
    std::vector<int> values;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string item =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        long value = std::strtol(item.c_str(), &end, 10);
        values.push_back(item.empty() || *end != 0 ? -1 : static_cast<int>(value));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return values;
}

struct Stored {
    std::string pdu;
    int tpduLength = 0;
    int stat = 0;  // 0 received unread, 1 received read
};

struct Settings {
    bool echo = true;
    int errorMode = 0;                     // AT+CMEE
    int messageFormat = 0;                 // AT+CMGF: 0 PDU
    int indications[5] = {0, 0, 0, 0, 0};  // AT+CNMI
    bool callerId = false;
    bool smsReady = true;
};

}  // namespace

struct Modem::State {
    Options options;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::thread thread;
    int wakeFd = -1;
    bool stopping = false;

    // The line.
    std::string directory, linkPath;
    int master = -1, slaveHold = -1;
    std::deque<std::pair<uint64_t, char>> input, output;  // bytes and when they are through
    uint64_t receiveFreeUs = 0, sendFreeUs = 0;
    std::multimap<uint64_t, std::function<void()>> timers;  // due time (us) to action

    // The command interpreter.
    Settings settings;
    std::string line;
    bool inPdu = false;
    int announcedLength = 0;
    std::string pduText;
    bool holdUrcs = false;
    std::vector<std::string> heldUrcs;

    // Records and the network.
    std::vector<std::string> commands;
    std::vector<SentMessage> messages;
    std::map<std::pair<std::u16string, unsigned>, SentMessage> partial;
    std::vector<std::optional<Stored>> slots;
    uint8_t nextReference = 0;
    std::vector<Call> calls;
    bool ringing = false;
    int ringsLeft = 0, callerType = 145;
    unsigned callGeneration = 0;
    std::string audio;
    Partner partner;
    bool partnerActed = false;
    uint8_t deliverReference = 0x30;

    // Faults.
    int refuseCount = 0, refuseAfter = 0, ignoreCount = 0, dropPromptCount = 0, busyCount = 0;
    bool awaitingNetwork = false;  // between Ctrl-Z and the final result
    std::string refuseResult, busyResult;
    bool silent = false;

    // ---- The line

    void openLine() {
        termios raw{};
        cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&raw, B115200);
        if (openpty(&master, &slaveHold, nullptr, &raw, nullptr) != 0) return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slaveHold, F_SETFD, FD_CLOEXEC);
        std::string temporary = linkPath + ".new";
        unlink(temporary.c_str());
        if (symlink(ttyname(slaveHold), temporary.c_str()) == 0)
            rename(temporary.c_str(), linkPath.c_str());
    }

    void closeLine() {
        if (master >= 0) close(master);
        if (slaveHold >= 0) close(slaveHold);
        master = slaveHold = -1;
        unlink(linkPath.c_str());
        input.clear();
        output.clear();
    }

    uint64_t byteTimeUs() const {
        return options.baud > 0 ? 10'000'000ull / static_cast<uint64_t>(options.baud) : 0;
    }

    // Queues bytes for the line; `gapUs` spaces them out (URCs split across writes).
    void send(const std::string& bytes, uint64_t gapUs = 0) {
        uint64_t at = std::max(nowUs(), sendFreeUs);
        for (char c : bytes) {
            at += std::max(byteTimeUs(), gapUs);
            output.emplace_back(at, c);
        }
        sendFreeUs = at;
    }

    void received(const char* bytes, size_t count) {
        uint64_t at = std::max(nowUs(), receiveFreeUs);
        for (size_t i = 0; i < count; ++i) {
            at += byteTimeUs();
            input.emplace_back(at, bytes[i]);
        }
        receiveFreeUs = at;
    }

    // Writes what is due. A client that does not read loses what does not fit.
    void flushOutput(uint64_t now) {
        std::string due;
        while (!output.empty() && output.front().first <= now) {
            due += output.front().second;
            output.pop_front();
        }
        if (!due.empty() && master >= 0) {
            ssize_t written = write(master, due.data(), due.size());
            (void)written;
        }
    }

    // ---- Responses and unsolicited results

    void info(const std::string& text) { send("\r\n" + text + "\r\n"); }
    void respond(const std::string& text) {
        info(text);
        final("OK");
    }

    void final(const std::string& result) {
        send("\r\n" + result + "\r\n");
        holdUrcs = false;
        awaitingNetwork = false;
        for (const std::string& urc : heldUrcs) sendUrc(urc);
        heldUrcs.clear();
    }

    std::string errorText(const char* kind, int code) const {
        if (settings.errorMode == 0) return "ERROR";
        if (settings.errorMode == 1) return std::string(kind) + " ERROR: " + std::to_string(code);
        return std::string(kind) + " ERROR: " +
               (code == 321   ? "invalid memory index"
                : code == 304 ? "invalid PDU mode parameter"
                              : "operation not allowed");
    }
    void cmsError(int code) { final(errorText("+CMS", code)); }

    void sendUrc(const std::string& framed) {
        uint64_t gap = options.splitUrcGapMs > 0 ? options.splitUrcGapMs * 1000ull : 0;
        send(framed, gap);
    }

    // One unsolicited result of one or more lines; held while a response is open.
    void urc(const std::vector<std::string>& lines) {
        if (master < 0) return;
        std::string framed = "\r\n";
        for (const std::string& l : lines) framed += l + options.urcLineEnd;
        if (holdUrcs && !(options.urcsWhileSubmitting && awaitingNetwork))
            heldUrcs.push_back(framed);
        else
            sendUrc(framed);
    }

    void schedule(int delayMs, std::function<void()> action) {
        timers.emplace(nowUs() + static_cast<uint64_t>(std::max(delayMs, 0)) * 1000,
                       std::move(action));
    }

    void noteChange() { changed.notify_all(); }

    // ---- Input

    void feed(char c) {
        if (inPdu) return feedPdu(c);
        if (static_cast<uint8_t>(c) == escapeByte) {
            line.clear();
        } else if (c == '\r') {
            std::string command = line;
            line.clear();
            commandLine(command);
        } else if (c == '\b') {
            if (!line.empty()) line.pop_back();
        } else if (c != '\n' && line.size() < longestCommandLine) {
            line += c;
        }
    }

    void feedPdu(char c) {
        if (static_cast<uint8_t>(c) == ctrlZ) {
            inPdu = false;
            submission(pduText);
        } else if (static_cast<uint8_t>(c) == escapeByte) {
            inPdu = false;
            final("OK");
        } else if (c != '\r' && c != '\n' && pduText.size() < longestPdu) {
            pduText += c;
            if (settings.echo) send(std::string(1, c));
        }
    }

    void commandLine(const std::string& text) {
        commands.push_back(text);
        noteChange();
        if (silent) return;
        if (settings.echo) send(text + "\r");
        std::string command = upper(text);
        command.erase(0, command.find_first_not_of(' '));
        if (!startsWith(command, "AT")) return;  // noise on the line is not a command
        if (busyCount > 0) {
            --busyCount;
            return final(busyResult);
        }
        execute(command.substr(2), text.substr(text.size() - (command.size() - 2)));
    }

    // ---- Commands

    void execute(const std::string& c, const std::string& original) {
        if (c.empty() || c == "Z" || c == "&F") {
            if (!c.empty()) settings = Settings{};
            return final("OK");
        }
        if (c == "E0" || c == "E1" || c == "E") {
            settings.echo = c == "E1";
            return final("OK");
        }
        if (c == "I") return respond("ORVEN simulated GSM modem");
        if (startsWith(c, "+CMEE")) return setting(c, "+CMEE", settings.errorMode, 2, "(0-2)");
        if (c == "+CPIN?") return respond("+CPIN: READY");
        if (startsWith(c, "+CMGF")) return messageFormat(c);
        if (startsWith(c, "+CSCS")) return characterSet(c);
        if (startsWith(c, "+CSCA")) {
            if (c == "+CSCA?") info(std::string("+CSCA: \"") + serviceCentre + "\",145");
            return final("OK");
        }
        if (startsWith(c, "+CPMS")) return storage(c);
        if (startsWith(c, "+CNMI")) return indications(c);
        if (startsWith(c, "+CLIP")) return callerIdSetting(c);
        if (startsWith(c, "+CMGS=")) return startSubmission(c);
        if (startsWith(c, "+CMGR=")) return readMessage(c);
        if (startsWith(c, "+CMGD=")) return deleteMessage(c);
        if (startsWith(c, "+CMGL")) return listMessages(c);
        if (c == "A") return answer();
        if (c == "H" || c == "H0" || c == "+CHUP") return hangUpHere();
        if (startsWith(c, "+CHFA=") || startsWith(c, "+QAUDMOD=")) {
            audio = "AT" + original;
            noteChange();
            return final("OK");
        }
        identification(c);
    }

    void identification(const std::string& c) {
        // Plain tables: the default modem's thread outlives static destructors.
        static const char* const answers[][2] = {
            {"+CGMI", "ORVEN"},
            {"+CGMM", "SIM-1"},
            {"+CGMR", "Revision 1.0"},
            {"+CGSN", "353456789012348"},
            {"+CIMI", "001010000000001"},
            {"+CSQ", "+CSQ: 24,0"},
            {"+CREG?", "+CREG: 0,1"},
            {"+CFUN?", "+CFUN: 1"},
            {"+COPS?", "+COPS: 0,0,\"ORVEN SIM\""},
        };
        static const char* const accepted[] = {
            "+CVHU=", "+CRC=", "+CCWA=", "+CFUN=", "+CREG=", "+CSMP="};
        for (const auto& answer : answers)
            if (c == answer[0]) return respond(answer[1]);
        for (const char* prefix : accepted)
            if (startsWith(c, prefix)) return final("OK");
        final("ERROR");
    }

    void setting(const std::string& c, const char* name, int& value, int largest,
                 const char* range) {
        std::string rest = c.substr(std::string(name).size());
        if (rest == "?") return respond(std::string(name) + ": " + std::to_string(value));
        if (rest == "=?") return respond(std::string(name) + ": " + range);
        std::vector<int> v = integers(rest.empty() ? "" : rest.substr(1));
        if (rest.empty() || rest[0] != '=' || v[0] < 0 || v[0] > largest) return final("ERROR");
        value = v[0];
        final("OK");
    }

    void messageFormat(const std::string& c) {
        if (!settings.smsReady) return final("ERROR");
        setting(c, "+CMGF", settings.messageFormat, 1, "(0,1)");
    }

    void characterSet(const std::string& c) {
        if (c == "+CSCS?") return respond("+CSCS: \"GSM\"");
        if (c == "+CSCS=?") return respond("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")");
        final(startsWith(c, "+CSCS=") ? "OK" : "ERROR");
    }

    std::string storageCounts() const {
        long used =
            std::count_if(slots.begin(), slots.end(), [](auto& s) { return s.has_value(); });
        std::string one = std::to_string(used) + "," + std::to_string(slots.size());
        return one + "," + one + "," + one;
    }

    void storage(const std::string& c) {
        if (c == "+CPMS=?")
            return respond("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
        if (c == "+CPMS?") {
            long used =
                std::count_if(slots.begin(), slots.end(), [](auto& s) { return s.has_value(); });
            std::string one = "\"SM\"," + std::to_string(used) + "," + std::to_string(slots.size());
            return respond("+CPMS: " + one + "," + one + "," + one);
        }
        if (!startsWith(c, "+CPMS=\"")) return final("ERROR");
        info("+CPMS: " + storageCounts());
        final("OK");
    }

    void indications(const std::string& c) {
        Settings& s = settings;
        if (c == "+CNMI=?") return respond("+CNMI: (0-3),(0-3),(0,2),(0,1),(0,1)");
        if (c == "+CNMI?") {
            std::string v = "+CNMI: " + std::to_string(s.indications[0]);
            for (int i = 1; i < 5; ++i) {
                v += ',';
                v += std::to_string(s.indications[i]);
            }
            return respond(v);
        }
        if (!startsWith(c, "+CNMI=")) return final("ERROR");
        std::vector<int> v = integers(c.substr(6));
        v.resize(5, 0);
        static const int largest[5] = {3, 3, 2, 1, 1};  // <ds> 2 is refused, as on a SIM800
        for (int i = 0; i < 5; ++i) {
            if (v[i] == -1) v[i] = 0;
            if (v[i] < 0 || v[i] > largest[i] || (i == 2 && v[i] == 1)) return cmsError(303);
        }
        if (options.refuseStoredIndications && v[1] == 1) return cmsError(303);
        std::copy(v.begin(), v.end(), s.indications);
        noteChange();
        final("OK");
    }

    void callerIdSetting(const std::string& c) {
        if (c == "+CLIP?")
            return respond(std::string("+CLIP: ") + (settings.callerId ? "1" : "0") + ",1");
        if (c == "+CLIP=?") return respond("+CLIP: (0,1)");
        std::vector<int> v = integers(c.size() > 6 ? c.substr(6) : "");
        if (c.size() <= 6 || c[5] != '=' || v[0] < 0 || v[0] > 1) return final("ERROR");
        settings.callerId = v[0] == 1;
        noteChange();
        final("OK");
    }

    // ---- SMS submission

    void startSubmission(const std::string& c) {
        if (!settings.smsReady || settings.messageFormat != 0) return cmsError(302);
        std::vector<int> v = integers(c.substr(6));
        if (v[0] < 1 || v[0] > 175) return cmsError(304);
        announcedLength = v[0];
        pduText.clear();
        inPdu = true;
        holdUrcs = true;
        if (dropPromptCount > 0) {
            --dropPromptCount;
            return;
        }
        send("\r\n> ");
    }

    void submission(const std::string& hex) {
        awaitingNetwork = true;
        if (options.urcsWhileSubmitting) {
            for (const std::string& urc : heldUrcs) sendUrc(urc);
            heldUrcs.clear();
        }
        if (ignoreCount > 0) {
            --ignoreCount;
            return;
        }
        pdu::Message m;
        if (!pdu::decode(hex, m) || m.kind != pdu::Kind::submit ||
            static_cast<int>(m.tpduLength) != announcedLength)
            return cmsError(304);
        if (refuseCount > 0 && refuseAfter == 0) {
            --refuseCount;
            return final(refuseResult);
        }
        if (refuseAfter > 0) --refuseAfter;
        record(hex, m);
        info("+CMGS: " + std::to_string(nextReference++));
        final("OK");
    }

    void record(const std::string& hex, const pdu::Message& m) {
        SentMessage part;
        part.number = m.number;
        part.text = m.text;
        part.alphabet = m.alphabet;
        part.dcs = m.dcs;
        part.messageClass = m.messageClass;
        part.statusReport = m.statusReportRequested;
        part.validityPresent = m.validityPresent;
        part.pdus = {hex};
        part.announcedLengths = {announcedLength};
        if (!m.concat.present) return complete(part);
        part.parts = m.concat.total;
        part.reference = m.concat.reference;
        auto key = std::make_pair(m.number, m.concat.reference);
        SentMessage& gathering = partial[key];
        if (gathering.pdus.empty()) {
            gathering = part;
            gathering.text.clear();
            gathering.pdus.assign(m.concat.total, "");
            gathering.announcedLengths.assign(m.concat.total, 0);
            gathering.number = m.number;
        }
        if (m.concat.total != gathering.pdus.size()) return;  // inconsistent parts: dropped
        gathering.pdus[m.concat.sequence - 1] = hex;
        gathering.announcedLengths[m.concat.sequence - 1] = announcedLength;
        if (std::count(gathering.pdus.begin(), gathering.pdus.end(), "") > 0) return;
        SentMessage whole = gathering;
        partial.erase(key);
        for (const std::string& p : whole.pdus) {
            pdu::Message piece;
            pdu::decode(p, piece);
            whole.text += piece.text;
        }
        complete(whole);
    }

    void complete(const SentMessage& message) {
        messages.push_back(message);
        noteChange();
        if (partner.action == Partner::Action::none || (partnerActed && !partner.everyMessage))
            return;
        partnerActed = true;
        std::u16string from = partner.from.empty() ? message.number : partner.from;
        Partner p = partner;
        schedule(p.delayMs, [this, p, from] {
            if (p.action == Partner::Action::replyBySms)
                deliver(from, p.text,
                        pdu::gsmEncodable(p.text) ? pdu::Alphabet::gsm7 : pdu::Alphabet::ucs2,
                        pdu::noClass);
            else
                startCall(from, !from.empty() && from[0] == u'+' ? 145 : 129);
        });
    }

    // ---- The message store

    bool validIndex(int index) const {
        return index >= 1 && index <= static_cast<int>(slots.size());
    }

    void readMessage(const std::string& c) {
        int index = integers(c.substr(6))[0];
        if (!validIndex(index) || !slots[index - 1]) return cmsError(321);
        Stored& s = *slots[index - 1];
        info("+CMGR: " + std::to_string(s.stat) + ",," + std::to_string(s.tpduLength));
        send(s.pdu + "\r\n");
        s.stat = 1;
        final("OK");
    }

    void deleteMessage(const std::string& c) {
        std::vector<int> v = integers(c.substr(6));
        if (v.size() > 1 && v[1] > 0) {  // delete flags: 1 read, 4 all
            for (auto& s : slots)
                if (s && (v[1] >= 4 || s->stat == 1)) s.reset();
            return final("OK");
        }
        if (!validIndex(v[0])) return cmsError(321);
        slots[v[0] - 1].reset();
        noteChange();
        final("OK");
    }

    void listMessages(const std::string& c) {
        int wanted = c.size() > 6 ? integers(c.substr(6))[0] : 0;
        if (wanted < 0 || wanted > 4) return cmsError(302);
        for (size_t i = 0; i < slots.size(); ++i) {
            if (!slots[i] || (wanted != 4 && slots[i]->stat != wanted)) continue;
            info("+CMGL: " + std::to_string(i + 1) + "," + std::to_string(slots[i]->stat) + ",," +
                 std::to_string(slots[i]->tpduLength));
            send(slots[i]->pdu + "\r\n");
            slots[i]->stat = 1;
        }
        final("OK");
    }

    void deliver(const std::u16string& from, const std::u16string& text, pdu::Alphabet alphabet,
                 int messageClass) {
        pdu::DeliverOptions o;
        o.alphabet = alphabet;
        o.messageClass = messageClass;
        o.reference = deliverReference++;
        std::vector<pdu::Part> parts;
        if (!pdu::encodeDeliver(from, text, o, parts)) return;
        for (const pdu::Part& part : parts) deliverPart(part, messageClass);
    }

    void deliverPart(const pdu::Part& part, int messageClass) {
        int mt = settings.indications[1];
        bool direct =
            master >= 0 && ((mt == 2 && messageClass != 2) || (mt == 3 && messageClass == 3));
        if (direct) return urc({"+CMT: ," + std::to_string(part.tpduLength), part.hex});
        auto free =
            std::find_if(slots.begin(), slots.end(), [](auto& s) { return !s.has_value(); });
        if (free == slots.end()) return;  // the SIM is full: the network keeps trying, we drop it
        *free = Stored{part.hex, part.tpduLength, 0};
        if (mt != 0) urc({"+CMTI: \"SM\"," + std::to_string(free - slots.begin() + 1)});
    }

    // ---- Calls

    void startCall(const std::u16string& number, int type) {
        if (ringing) return;
        calls.push_back(Call{number, false, false});
        ringing = true;
        callerType = number.empty() ? 128 : type;
        ringsLeft = options.ringsBeforeGivingUp;
        ringOnce(++callGeneration);
        noteChange();
    }

    void ringOnce(unsigned generation) {
        if (!ringing || generation != callGeneration) return;
        urc({"RING"});
        if (settings.callerId) {
            if (calls.back().number.empty())
                urc({"+CLIP: \"\",128,,,,1"});
            else
                urc({"+CLIP: \"" + toUtf8(calls.back().number) + "\"," +
                     std::to_string(callerType) + ",\"\",0,\"\",0"});
        }
        if (--ringsLeft > 0) {
            schedule(options.ringIntervalMs, [this, generation] { ringOnce(generation); });
        } else {
            schedule(options.ringIntervalMs, [this, generation] {
                if (ringing && generation == callGeneration) endCall(true);
            });
        }
    }

    void endCall(bool tellClient) {
        ringing = false;
        if (!calls.empty()) calls.back().ended = true;
        ++callGeneration;
        if (tellClient) urc({"NO CARRIER"});
        noteChange();
    }

    bool callActive() const {
        return !calls.empty() && calls.back().answered && !calls.back().ended;
    }

    void answer() {
        if (!ringing) return final("NO CARRIER");
        ringing = false;
        ++callGeneration;
        calls.back().answered = true;
        noteChange();
        final("OK");
    }

    void hangUpHere() {
        if (ringing || callActive()) endCall(false);
        final("OK");
    }

    // ---- Restarts

    void forgetSettings() {
        settings = Settings{};
        inPdu = false;
        holdUrcs = false;
        heldUrcs.clear();
        line.clear();
        noteChange();
    }

    // ---- The thread

    int timeoutMs(uint64_t now) const {
        uint64_t next = UINT64_MAX;
        if (!input.empty()) next = std::min(next, input.front().first);
        if (!output.empty()) next = std::min(next, output.front().first);
        if (!timers.empty()) next = std::min(next, timers.begin()->first);
        if (next == UINT64_MAX) return -1;
        return next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
    }

    void runDue(uint64_t now) {
        while (!input.empty() && input.front().first <= now) {
            char c = input.front().second;
            input.pop_front();
            feed(c);
        }
        while (!timers.empty() && timers.begin()->first <= now) {
            auto action = std::move(timers.begin()->second);
            timers.erase(timers.begin());
            action();
        }
        flushOutput(nowUs());
    }

    void run() {
        std::unique_lock<std::mutex> hold(lock);
        while (!stopping) {
            runDue(nowUs());
            pollfd fds[2] = {{master, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            int timeout = timeoutMs(nowUs());
            hold.unlock();
            poll(fds, 2, timeout);
            hold.lock();
            if (fds[1].revents & POLLIN) {
                uint64_t count;
                ssize_t got = read(wakeFd, &count, sizeof count);
                (void)got;
            }
            if (master >= 0 && (fds[0].revents & POLLIN)) {
                char buffer[512];
                ssize_t got = read(master, buffer, sizeof buffer);
                if (got > 0) received(buffer, static_cast<size_t>(got));
            }
        }
    }

    void wake() {
        uint64_t one = 1;
        ssize_t written = write(wakeFd, &one, sizeof one);
        (void)written;
    }
};

// ---- Modem

Modem::Modem() : Modem(Options{}) {}

Modem::Modem(const Options& options) : state_(std::make_shared<State>()) {
    State& s = *state_;
    s.options = options;
    s.slots.resize(static_cast<size_t>(std::max(options.storageSlots, 1)));
    s.nextReference = static_cast<uint8_t>(std::rand());
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ovm-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) s.directory = pattern;
    s.linkPath = s.directory + "/modem";
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s.openLine();
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
    s.closeLine();
    close(s.wakeFd);
    rmdir(s.directory.c_str());
}

const std::string& Modem::path() const {
    return state_->linkPath;
}

std::vector<SentMessage> Modem::messages() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->messages;
}

std::vector<std::string> Modem::commandLines() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->commands;
}

std::vector<Call> Modem::calls() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->calls;
}

std::string Modem::audioCommand() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->audio;
}

bool Modem::smsIndicationsOn() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->settings.indications[1] != 0;
}

bool Modem::callerIdOn() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->settings.callerId;
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
    state_->deliver(from, text, alphabet, messageClass);
    state_->wake();
}

void Modem::ring(const std::u16string& number, int type) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->startCall(number, type);
    state_->wake();
}

void Modem::hangUp() {
    std::lock_guard<std::mutex> hold(state_->lock);
    if (state_->ringing || state_->callActive()) state_->endCall(true);
    state_->wake();
}

void Modem::setPartner(const Partner& partner) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->partner = partner;
    state_->partnerActed = false;
}

void Modem::refuseSubmissions(int count, const std::string& result, int afterAccepting) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->refuseCount = count;
    state_->refuseAfter = afterAccepting;
    state_->refuseResult = result;
}

void Modem::ignoreSubmissions(int count) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->ignoreCount = count;
}

void Modem::dropPrompts(int count) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->dropPromptCount = count;
}

void Modem::setSilent(bool silent) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->silent = silent;
}

void Modem::answerBusy(int count, const std::string& result) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->busyCount = count;
    state_->busyResult = result;
}

void Modem::restart(int smsReadyAfterMs) {
    std::lock_guard<std::mutex> hold(state_->lock);
    State& s = *state_;
    s.forgetSettings();
    s.settings.smsReady = false;
    s.urc({"RDY"});
    s.urc({"+CPIN: READY"});
    s.urc({"Call Ready"});
    s.schedule(smsReadyAfterMs, [&s] {
        s.settings.smsReady = true;
        s.urc({"SMS Ready"});
    });
    s.wake();
}

void Modem::vanish(int backAfterMs) {
    std::lock_guard<std::mutex> hold(state_->lock);
    State& s = *state_;
    s.closeLine();
    s.forgetSettings();  // a module that drops off the bus has restarted when it returns
    if (s.ringing) s.endCall(false);
    if (backAfterMs >= 0) s.schedule(backAfterMs, [&s] { s.openLine(); });
    s.wake();
}

}  // namespace orven::sim
