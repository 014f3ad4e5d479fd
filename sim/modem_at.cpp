// The simulated modem's AT interpreter: it assembles command lines (and the PDU after the
// SMS prompt) from the client's bytes, answers them as a SIMCom or Quectel module does
// in verbose mode ("\r\n<text>\r\n"), and sends the unsolicited results of the network
// side, never inside a response: those due while one is open wait for its final result.
// Relies on the PDU codec to check submissions, on the line to send, and on the network
// part for the SIM's store and the calls. Runs under the modem's lock.
//
// Exchanges below read client line / modem line / ...; "> " is the prompt.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/text.h"
#include "sim/modem_parts.h"

namespace orven::sim {

namespace {

constexpr const char* serviceCentre = "+447700900000";
constexpr size_t longestCommandLine = 1024;        // V.250 modems take far less; junk is dropped
constexpr int longestTpdu = 175;                   // octets of the largest SMS-SUBMIT
constexpr size_t longestPdu = 2 * (1 + 12 + 175);  // hex of the largest SUBMIT with SMSC
constexpr uint8_t ctrlZ = 0x1A;
constexpr uint8_t escapeByte = 0x1B;

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

}  // namespace

Interpreter::Interpreter(Modem::State& modem)
    : modem_(modem), nextReference_(static_cast<uint8_t>(std::rand())) {}

// ---- Input

// Command lines end with CR; LF is ignored, backspace takes a character back and ESC
// drops the line (what a terminal user or a resynchronising client sends).
void Interpreter::feed(char c) {
    if (inPdu_) return feedPdu(c);
    if (static_cast<uint8_t>(c) == escapeByte) {
        line_.clear();
    } else if (c == '\r') {
        std::string command = line_;
        line_.clear();
        commandLine(command);
    } else if (c == '\b') {
        if (!line_.empty()) line_.pop_back();
    } else if (c != '\n' && line_.size() < longestCommandLine) {
        line_ += c;
    }
}

// After the prompt: the PDU's hex, echoed when echo is on, until Ctrl-Z sends it or ESC
// abandons it ("> " / 0001000C91...<ESC> / OK).
void Interpreter::feedPdu(char c) {
    if (static_cast<uint8_t>(c) == ctrlZ) {
        inPdu_ = false;
        submission(pduText_);
    } else if (static_cast<uint8_t>(c) == escapeByte) {
        inPdu_ = false;
        final("OK");
    } else if (c != '\r' && c != '\n' && pduText_.size() < longestPdu) {
        pduText_ += c;
        if (settings.echo) modem_.line.send(std::string(1, c));
    }
}

// Every line is recorded; a silent modem answers nothing, a busy one its busy error; a
// line not starting with AT is noise and gets no answer.
void Interpreter::commandLine(const std::string& text) {
    commands.push_back(text);
    modem_.noteChange();
    if (faults.silent) return;
    if (settings.echo) modem_.line.send(text + "\r");
    std::string command = upper(text);
    command.erase(0, command.find_first_not_of(' '));
    if (!startsWith(command, "AT")) return;
    if (faults.busyCount > 0) {
        --faults.busyCount;
        return final(faults.busyResult);
    }
    execute(command.substr(2), text.substr(text.size() - (command.size() - 2)));
}

// ---- Responses and unsolicited results

void Interpreter::info(const std::string& text) {
    modem_.line.send("\r\n" + text + "\r\n");
}

void Interpreter::respond(const std::string& text) {
    info(text);
    final("OK");
}

// The final result closes the response: the URCs held meanwhile go out after it.
void Interpreter::final(const std::string& result) {
    modem_.line.send("\r\n" + result + "\r\n");
    holdUrcs_ = false;
    awaitingNetwork_ = false;
    for (const std::string& urc : heldUrcs_) sendUrc(urc);
    heldUrcs_.clear();
}

// As AT+CMEE asks: "ERROR" (0), "+CMS ERROR: 321" (1), "+CMS ERROR: invalid memory
// index" (2).
std::string Interpreter::errorText(const char* kind, int code) const {
    if (settings.errorMode == 0) return "ERROR";
    if (settings.errorMode == 1) return std::string(kind) + " ERROR: " + std::to_string(code);
    return std::string(kind) + " ERROR: " +
           (code == 321   ? "invalid memory index"
            : code == 304 ? "invalid PDU mode parameter"
                          : "operation not allowed");
}

void Interpreter::cmsError(int code) {
    final(errorText("+CMS", code));
}

void Interpreter::sendUrc(const std::string& framed) {
    const Modem::Options& options = modem_.options;
    uint64_t gap = options.splitUrcGapMs > 0 ? options.splitUrcGapMs * 1000ull : 0;
    modem_.line.send(framed, gap);
}

void Interpreter::urc(const std::vector<std::string>& lines) {
    if (!modem_.line.isOpen()) return;
    std::string framed = "\r\n";
    for (const std::string& l : lines) framed += l + modem_.options.urcLineEnd;
    if (holdUrcs_ && !(modem_.options.urcsWhileSubmitting && awaitingNetwork_))
        heldUrcs_.push_back(framed);
    else
        sendUrc(framed);
}

// A network message goes to the client as +CMT when AT+CNMI's <mt> asks for it (2 but
// for class 2, 3 for class 3): "+CMT: ,24 / 0791447700090000040C91...". Otherwise it is
// stored on the SIM and announced unless <mt> is 0: "+CMTI: "SM",3". A full SIM drops it.
void Interpreter::incoming(const pdu::Part& part, int messageClass) {
    int mt = settings.indications[1];
    bool direct =
        modem_.line.isOpen() && ((mt == 2 && messageClass != 2) || (mt == 3 && messageClass == 3));
    if (direct) return urc({"+CMT: ," + std::to_string(part.tpduLength), part.hex});
    int index = modem_.network.store(Stored{part.hex, part.tpduLength, 0});
    if (index == 0) return;  // the SIM is full: the network keeps trying, we drop it
    if (mt != 0) urc({"+CMTI: \"SM\"," + std::to_string(index)});
}

// "RING", then with AT+CLIP=1: "+CLIP: "+447700900123",145,"",0,"",0", or for a
// withheld number "+CLIP: "",128,,,,1".
void Interpreter::ring(const std::u16string& number, int type) {
    urc({"RING"});
    if (!settings.callerId) return;
    if (number.empty())
        urc({"+CLIP: \"\",128,,,,1"});
    else
        urc({"+CLIP: \"" + toUtf8(number) + "\"," + std::to_string(type) + ",\"\",0,\"\",0"});
}

// "RDY / +CPIN: READY / Call Ready", then "SMS Ready" once the SIM's messages are
// loaded; SMS commands answer ERROR until then.
void Interpreter::restart(int smsReadyAfterMs) {
    forgetSettings();
    settings.smsReady = false;
    urc({"RDY"});
    urc({"+CPIN: READY"});
    urc({"Call Ready"});
    modem_.schedule(smsReadyAfterMs, [this] {
        settings.smsReady = true;
        urc({"SMS Ready"});
    });
}

void Interpreter::forgetSettings() {
    settings = Settings{};
    inPdu_ = false;
    holdUrcs_ = false;
    heldUrcs_.clear();
    line_.clear();
    modem_.noteChange();
}

// ---- Commands

// `c` is the command after "AT", upper case; `original` the same as the client wrote it.
void Interpreter::execute(const std::string& c, const std::string& original) {
    // "AT / OK"; "ATZ / OK" and "AT&F / OK" put the defaults back.
    if (c.empty() || c == "Z" || c == "&F") {
        if (!c.empty()) settings = Settings{};
        return final("OK");
    }
    // "ATE0 / OK": no echo from now on.
    if (c == "E0" || c == "E1" || c == "E") {
        settings.echo = c == "E1";
        return final("OK");
    }
    // "ATI / ORVEN simulated GSM modem / OK"
    if (c == "I") return respond("ORVEN simulated GSM modem");
    if (startsWith(c, "+CMEE")) return setting(c, "+CMEE", settings.errorMode, 2, "(0-2)");
    // "AT+CPIN? / +CPIN: READY / OK": the SIM needs no PIN.
    if (c == "+CPIN?") return respond("+CPIN: READY");
    if (startsWith(c, "+CMGF")) return messageFormat(c);
    if (startsWith(c, "+CSCS")) return characterSet(c);
    // "AT+CSCA? / +CSCA: "+447700900000",145 / OK"; setting it is accepted and ignored.
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
    if (c == "H" || c == "H0" || c == "+CHUP") return hangUp();
    // "AT+CHFA=1 / OK" (SIMCom) or "AT+QAUDMOD=1 / OK" (Quectel): the audio channel,
    // recorded as written.
    if (startsWith(c, "+CHFA=") || startsWith(c, "+QAUDMOD=")) {
        audio = "AT" + original;
        modem_.noteChange();
        return final("OK");
    }
    identification(c);
}

// "AT+CGMI / ORVEN / OK", "AT+CSQ / +CSQ: 24,0 / OK", "AT+CREG? / +CREG: 0,1 / OK";
// settings a client may send and this modem ignores: "AT+CVHU=0 / OK"; anything else:
// "AT+XYZ / ERROR".
void Interpreter::identification(const std::string& c) {
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

// A numeric setting: "AT+CMEE=1 / OK", "AT+CMEE? / +CMEE: 1 / OK",
// "AT+CMEE=? / +CMEE: (0-2) / OK", "AT+CMEE=7 / ERROR".
void Interpreter::setting(const std::string& c, const char* name, int& value, int largest,
                          const char* range) {
    std::string rest = c.substr(std::string(name).size());
    if (rest == "?") return respond(std::string(name) + ": " + std::to_string(value));
    if (rest == "=?") return respond(std::string(name) + ": " + range);
    std::vector<int> v = integers(rest.empty() ? "" : rest.substr(1));
    if (rest.empty() || rest[0] != '=' || v[0] < 0 || v[0] > largest) return final("ERROR");
    value = v[0];
    final("OK");
}

// "AT+CMGF=0 / OK": PDU mode; "ERROR" until SMS Ready after a restart.
void Interpreter::messageFormat(const std::string& c) {
    if (!settings.smsReady) return final("ERROR");
    setting(c, "+CMGF", settings.messageFormat, 1, "(0,1)");
}

// "AT+CSCS="GSM" / OK", "AT+CSCS? / +CSCS: "GSM" / OK": PDU mode does not use it.
void Interpreter::characterSet(const std::string& c) {
    if (c == "+CSCS?") return respond("+CSCS: \"GSM\"");
    if (c == "+CSCS=?") return respond("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")");
    final(startsWith(c, "+CSCS=") ? "OK" : "ERROR");
}

// One storage, the SIM, whatever is asked for: "AT+CPMS="SM" / +CPMS: 1,30,1,30,1,30 /
// OK", "AT+CPMS? / +CPMS: "SM",1,30,"SM",1,30,"SM",1,30 / OK".
void Interpreter::storage(const std::string& c) {
    const Network& sim = modem_.network;
    const std::string counts = std::to_string(sim.used()) + "," + std::to_string(sim.capacity());
    if (c == "+CPMS=?") return respond("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
    if (c == "+CPMS?") {
        std::string one = "\"SM\"," + counts;
        return respond("+CPMS: " + one + "," + one + "," + one);
    }
    if (!startsWith(c, "+CPMS=\"")) return final("ERROR");
    info("+CPMS: " + counts + "," + counts + "," + counts);
    final("OK");
}

// New-message indications: "AT+CNMI=2,1,0,0,0 / OK" (<mt> 1: store and +CMTI; 2: +CMT);
// "AT+CNMI? / +CNMI: 2,1,0,0,0 / OK"; a value out of range, or <bm> 1 as on a SIM800:
// "AT+CNMI=2,1,1 / +CMS ERROR: 303".
void Interpreter::indications(const std::string& c) {
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
    static const int largest[5] = {3, 3, 2, 1, 1};  // <mode>, <mt>, <bm> (not 1), <ds>, <bfr>
    for (int i = 0; i < 5; ++i) {
        if (v[i] == -1) v[i] = 0;
        if (v[i] < 0 || v[i] > largest[i] || (i == 2 && v[i] == 1)) return cmsError(303);
    }
    if (modem_.options.refuseStoredIndications && v[1] == 1) return cmsError(303);
    std::copy(v.begin(), v.end(), s.indications);
    modem_.noteChange();
    final("OK");
}

// "AT+CLIP=1 / OK": the caller's number after each RING; "AT+CLIP? / +CLIP: 1,1 / OK".
void Interpreter::callerIdSetting(const std::string& c) {
    if (c == "+CLIP?")
        return respond(std::string("+CLIP: ") + (settings.callerId ? "1" : "0") + ",1");
    if (c == "+CLIP=?") return respond("+CLIP: (0,1)");
    std::vector<int> v = integers(c.size() > 6 ? c.substr(6) : "");
    if (c.size() <= 6 || c[5] != '=' || v[0] < 0 || v[0] > 1) return final("ERROR");
    settings.callerId = v[0] == 1;
    modem_.noteChange();
    final("OK");
}

// ---- SMS submission

// "AT+CMGS=27 / > ": the prompt, without a line end; the response stays open (URCs are
// held) until the PDU's final result. Before SMS Ready or in text mode:
// "AT+CMGS=27 / +CMS ERROR: 302".
void Interpreter::startSubmission(const std::string& c) {
    if (!settings.smsReady || settings.messageFormat != 0) return cmsError(302);
    std::vector<int> v = integers(c.substr(6));
    if (v[0] < 1 || v[0] > longestTpdu) return cmsError(304);
    announcedLength_ = v[0];
    pduText_.clear();
    inPdu_ = true;
    holdUrcs_ = true;
    if (faults.dropPromptCount > 0) {
        --faults.dropPromptCount;
        return;
    }
    modem_.line.send("\r\n> ");
}

// "<pdu><Ctrl-Z> / +CMGS: 12 / OK". A PDU that is not a whole SMS-SUBMIT of the
// announced length: "+CMS ERROR: 304".
void Interpreter::submission(const std::string& hex) {
    awaitingNetwork_ = true;
    if (modem_.options.urcsWhileSubmitting) {
        for (const std::string& urc : heldUrcs_) sendUrc(urc);
        heldUrcs_.clear();
    }
    if (faults.ignoreCount > 0) {
        --faults.ignoreCount;
        return;
    }
    pdu::Message m;
    if (!pdu::decode(hex, m) || m.kind != pdu::Kind::submit ||
        static_cast<int>(m.tpduLength) != announcedLength_)
        return cmsError(304);
    if (faults.refuseCount > 0 && faults.refuseAfter == 0) {
        --faults.refuseCount;
        return final(faults.refuseResult);
    }
    if (faults.refuseAfter > 0) --faults.refuseAfter;
    modem_.network.submitted(hex, m, announcedLength_);
    info("+CMGS: " + std::to_string(nextReference_++));
    final("OK");
}

// ---- The message store

// "AT+CMGR=3 / +CMGR: 0,,28 / 0791447700090000040C91... / OK"; the message is read from
// then on. An empty slot: "AT+CMGR=9 / +CMS ERROR: 321".
void Interpreter::readMessage(const std::string& c) {
    Stored* s = modem_.network.stored(integers(c.substr(6))[0]);
    if (s == nullptr) return cmsError(321);
    info("+CMGR: " + std::to_string(s->stat) + ",," + std::to_string(s->tpduLength));
    modem_.line.send(s->pdu + "\r\n");
    s->stat = 1;
    final("OK");
}

// "AT+CMGD=3 / OK"; with a delete flag, "AT+CMGD=1,1 / OK" deletes every read message
// and "AT+CMGD=1,4 / OK" every message. A bad index: "AT+CMGD=99 / +CMS ERROR: 321".
void Interpreter::deleteMessage(const std::string& c) {
    std::vector<int> v = integers(c.substr(6));
    if (v.size() > 1 && v[1] > 0) {
        modem_.network.eraseRead(v[1] >= 4);
        return final("OK");
    }
    if (!modem_.network.validIndex(v[0])) return cmsError(321);
    modem_.network.erase(v[0]);
    final("OK");
}

// "AT+CMGL=0 / +CMGL: 1,0,,28 / 0791...(PDU) / +CMGL: 4,0,,21 / 0791... / OK": the
// messages of one status (0 unread, 1 read; 4 all), which are read from then on.
void Interpreter::listMessages(const std::string& c) {
    int wanted = c.size() > 6 ? integers(c.substr(6))[0] : 0;
    if (wanted < 0 || wanted > 4) return cmsError(302);
    for (int index = 1; index <= modem_.network.capacity(); ++index) {
        Stored* s = modem_.network.stored(index);
        if (s == nullptr || (wanted != 4 && s->stat != wanted)) continue;
        info("+CMGL: " + std::to_string(index) + "," + std::to_string(s->stat) + ",," +
             std::to_string(s->tpduLength));
        modem_.line.send(s->pdu + "\r\n");
        s->stat = 1;
    }
    final("OK");
}

// ---- Calls

// "RING / ATA / OK"; with nothing ringing: "ATA / NO CARRIER".
void Interpreter::answer() {
    final(modem_.network.answer() ? "OK" : "NO CARRIER");
}

// "ATH / OK" (also ATH0 and AT+CHUP): a ringing or answered call ends.
void Interpreter::hangUp() {
    modem_.network.hangUpHere();
    final("OK");
}

}  // namespace orven::sim
