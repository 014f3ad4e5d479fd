// What the modem's lines are: final results, unsolicited results and their parts.
// Relies on nothing but the standard library and the text conversions.
#include "platform/modem_lines.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace orven::modem::lines {

// "+CMGR" of "AT+CMGR=3", "+CPIN" of "AT+CPIN?": a line with this prefix answers it.
std::string commandName(const std::string& command) {
    std::string name = command.size() > 2 ? command.substr(2) : "";
    size_t end = name.find_first_of("=?");
    return end == std::string::npos ? name : name.substr(0, end);
}

bool answersCall(const std::string& command) {
    return command == "ATA" || startsWith(command, "ATD");
}

bool isFinal(const std::string& line, const std::string& command) {
    static const char* finals[] = {
        "OK", "ERROR", "+CME ERROR:", "+CMS ERROR:", "COMMAND NOT SUPPORT", "MODEM ERROR:"};
    for (const char* f : finals)
        if (line == f || (f[std::strlen(f) - 1] == ':' && startsWith(line, f))) return true;
    static const char* callFinals[] = {"NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE", "CONNECT"};
    if (answersCall(command))
        for (const char* f : callFinals)
            if (startsWith(line, f)) return true;
    return false;
}

bool isRestartMarker(const std::string& line) {
    static const char* markers[] = {
        "RDY",      "+CPIN: READY", "+CFUN: 1",        "Call Ready",     "SMS Ready",
        "SMS DONE", "PB DONE",      "+QIND: SMS DONE", "+QIND: PB DONE", "+QUSIM: 1"};
    return std::any_of(std::begin(markers), std::end(markers),
                       [&](const char* m) { return line == m; });
}

bool isCallEnd(const std::string& line) {
    return line == "NO CARRIER" || startsWith(line, "VOICE CALL: END") ||
           startsWith(line, "MISSED_CALL:") || startsWith(line, "^CEND");
}

// An unsolicited result, unless the command in flight claims the line as its answer.
bool isUnsolicited(const std::string& line, const std::string& command) {
    static const char* prefixes[] = {
        "RING",   "+CRING:", "+CLIP:",      "+CCWA:",       "+CMT:",  "+CMTI:", "+CDS:",
        "+CDSI:", "+CBM:",   "VOICE CALL:", "MISSED_CALL:", "^ORIG",  "^CONF",  "^CONN",
        "^CEND",  "+WIND:",  "+QIND:",      "+QUSIM:",      "+CPIN:", "+CFUN:"};
    std::string name = commandName(command);
    if (!name.empty() && name[0] == '+' && startsWith(line, (name + ":").c_str())) return false;
    if (line == "NO CARRIER") return !answersCall(command);
    if (isRestartMarker(line)) return true;
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](const char* p) { return startsWith(line, p); });
}

bool isBusy(const std::string& finalLine) {
    return finalLine == "+CME ERROR: 14" || finalLine == "+CME ERROR: 515" ||
           finalLine == "+CMS ERROR: 314" || finalLine == "+CME ERROR: SIM busy";
}

// The hex digits of a PDU line (some modems end it with a quote).
std::string hexOnly(const std::string& line) {
    std::string hex;
    for (char c : line)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    return hex;
}

bool looksLikePdu(const std::string& line) {
    std::string hex = hexOnly(line);
    return hex.size() >= 2 && hex.size() + 2 >= line.size();
}

// +CLIP: "+447700900123",145,"",0,"",0  /  +CLIP: 012345,129  /  +CLIP: "",128,,,,1
std::u16string callerOfClip(const std::string& line) {
    std::string rest = line.substr(line.find(':') + 1);
    rest.erase(0, rest.find_first_not_of(' '));
    std::string number;
    size_t after;
    if (!rest.empty() && rest[0] == '"') {
        size_t close = rest.find('"', 1);
        if (close == std::string::npos) return u"";
        number = rest.substr(1, close - 1);
        after = close + 1;
    } else {
        after = rest.find(',');
        number = rest.substr(0, after);
    }
    int type = 0;
    if (after != std::string::npos && after < rest.size() && rest[after] == ',')
        type = std::atoi(rest.c_str() + after + 1);
    if (type == 145 && !number.empty() && number[0] != '+') number = "+" + number;
    return fromUtf8(number);
}

// +CMTI: "SM",3 -> storage "SM", index 3 (0 when there is none).
std::pair<std::string, int> storedOfCmti(const std::string& line) {
    std::string rest = line.substr(line.find(':') + 1);
    size_t comma = rest.rfind(',');
    if (comma == std::string::npos) return {"", 0};
    std::string storage = rest.substr(0, comma);
    storage.erase(
        std::remove_if(storage.begin(), storage.end(), [](char c) { return c == '"' || c == ' '; }),
        storage.end());
    return {storage, std::atoi(rest.c_str() + comma + 1)};
}

int messageReferenceOf(const std::vector<std::string>& lines) {
    for (const std::string& l : lines)
        if (startsWith(l, "+CMGS:")) return std::atoi(l.c_str() + 6);
    return -1;
}

}  // namespace orven::modem::lines
