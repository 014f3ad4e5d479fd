// Helpers shared by the modem, SMS and alert tests: the public PDU vectors, and
// libGammu's decoder (Debian's python3-gammu) as an independent check of every PDU the
// program writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

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

}  // namespace modemtest
