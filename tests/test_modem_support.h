// Helpers shared by the modem, SMS and alert tests: the public PDU vectors, and
// libGammu's decoder (Debian's python3-gammu) as an independent check of every PDU the
// program writes.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/modem.h"
#include "platform/ril.h"
#include "platform/testing.h"
#include "sim/modem.h"

namespace modemtest {

// One row of tests/data/modem/pdu-vectors.tsv.
struct Vector {
    std::string direction, hex, smsc, number, dcs, udh, text, source;
};

inline std::string unescapeText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

inline std::vector<Vector> loadVectors() {
    std::ifstream in(std::string(ORVEN_SOURCE_DIR) + "/tests/data/modem/pdu-vectors.tsv");
    std::vector<Vector> rows;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) f.push_back(field);
        f.resize(8);
        rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], unescapeText(f[6]), f[7]});
    }
    return rows;
}

// The row whose source column contains `key` (the constructed rows name themselves).
inline Vector vectorNamed(const std::string& key) {
    for (const Vector& v : loadVectors())
        if (v.source.find(key) != std::string::npos) return v;
    ADD_FAILURE() << "no vector named " << key;
    return {};
}

// What libGammu reads in one PDU.
struct GammuView {
    bool ok = false;
    std::string error;
    std::string number, text, coding;  // UTF-8
    int messageClass = -1;
    int reference8 = -1, reference16 = -1, part = -1, parts = 0;
};

constexpr const char* python = "/usr/bin/python3";

inline bool gammuModuleAvailable() {
    if (access(python, X_OK) != 0) return false;
    std::string command = std::string(python) + " -c 'import gammu' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

inline std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    return f;
}

inline std::string unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Decodes every PDU (hex, service-centre field first) with gammu.DecodePDU.
inline std::vector<GammuView> gammuDecode(const std::vector<std::string>& pdus) {
    char inputPath[] = "/tmp/ov-pdu-XXXXXX";
    int fd = mkstemp(inputPath);
    if (fd < 0) return {};
    close(fd);
    {
        std::ofstream input(inputPath);
        for (const std::string& pdu : pdus) input << pdu << "\n";
    }
    static const char* script =
        "import sys, binascii, gammu\n"
        "def h(s): return s.encode('utf-8').hex()\n"
        "for line in open(sys.argv[1]):\n"
        "    try:\n"
        "        d = gammu.DecodePDU(binascii.unhexlify(line.strip()), SMSC=True)\n"
        "        u = d['UDH']\n"
        "        print('OK', h(d['Number']), h(d['Text'] or ''), d['Coding'], d['Class'],\n"
        "              u['ID8bit'], u['ID16bit'], u['PartNumber'], u['AllParts'], sep='\\t')\n"
        "    except Exception as e:\n"
        "        print('ERROR', h(str(e)), sep='\\t')\n";
    std::string scriptPath = std::string(inputPath) + ".py";
    std::ofstream(scriptPath) << script;
    std::string command = std::string(python) + " " + scriptPath + " " + inputPath;
    std::vector<GammuView> views;
    if (FILE* out = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, out) != nullptr) {
            std::string line(buffer);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            std::vector<std::string> f = splitTabs(line);
            GammuView v;
            if (f.size() == 9 && f[0] == "OK") {
                v.ok = true;
                v.number = unhex(f[1]);
                v.text = unhex(f[2]);
                v.coding = f[3];
                v.messageClass = std::stoi(f[4]);
                v.reference8 = std::stoi(f[5]);
                v.reference16 = std::stoi(f[6]);
                v.part = std::stoi(f[7]);
                v.parts = std::stoi(f[8]);
            } else if (f.size() >= 2) {
                v.error = unhex(f[1]);
            }
            views.push_back(v);
        }
        pclose(out);
    }
    unlink(inputPath);
    unlink(scriptPath.c_str());
    return views;
}

// ---- An emulated phone with a simulated modem

inline std::string modemHive(const std::string& port, const std::string& loudspeaker) {
    std::string hive =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n"
        "\"Port\"=\"" +
        port + "\"\r\n";
    if (!loudspeaker.empty()) hive += "\"Loudspeaker command\"=\"" + loudspeaker + "\"\r\n";
    return hive;
}

// Time-outs short enough for tests, long enough for a loaded machine.
inline orven::modem::Timeouts shortTimeouts() {
    orven::modem::Timeouts t;
    t.command = 2000;
    t.probe = 300;
    t.boot = 3000;
    t.smsMode = 3000;
    t.prompt = 1000;
    t.submit = 1500;
    t.read = 2000;
    t.answer = 2000;
    t.resync = 300;
    t.waitForModem = 3000;
    t.reopenFirst = 50;
    t.reopenLongest = 400;
    t.busyPause = 50;
    t.callSilence = 3000;
    return t;
}

inline bool traced(const std::string& fragment) {
    for (const std::string& line : orven::test::traceLines())
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

inline int tracedCount(const std::string& fragment) {
    int count = 0;
    for (const std::string& line : orven::test::traceLines())
        if (line.find(fragment) != std::string::npos) ++count;
    return count;
}

// Polls (real time, bounded) until pred holds.
inline bool eventually(const std::function<bool()>& pred, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A fresh emulated phone whose device registry names a simulated modem, with the modem
// layer started and initialised. The layer is stopped again at the end, so the next
// scenario in the same process reads its own registry.
class ModemPhone {
  public:
    explicit ModemPhone(const std::string& profile = "",
                        const orven::sim::Modem::Options& options = {},
                        const std::string& loudspeaker = "AT+CHFA=1")
        : phone(profile), sim(options) {
        phone.writeHive("system.reg", modemHive(sim.path(), loudspeaker));
        orven::modem::setTimeoutsForTests(shortTimeouts());
        orven::test::clearTrace();
        orven::modem::start();
        ready = eventually([] { return traced("modem: ready"); });
    }
    ~ModemPhone() { orven::modem::stopForTests(); }

    orven::test::Phone phone;
    orven::sim::Modem sim;
    bool ready = false;
};

}  // namespace modemtest
