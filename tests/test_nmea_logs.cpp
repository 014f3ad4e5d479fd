// Real receiver logs (tests/data/nmea, see PROVENANCE.md there) through the framer and the
// handlers: nothing overruns, the record stays consistent, and every fix we publish agrees
// with gpsd's own decoder wherever gpsd reports the same epoch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/status_text.h"
#include "gps/nmea_parser.h"
#include "platform/testing.h"
#include "test_gps_support.h"

namespace {

namespace fs = std::filesystem;

const char* const gpsdecodePath = "/usr/bin/gpsdecode";

std::string utf8(const std::u16string& text) {
    return orven::toUtf8(text);
}

std::vector<fs::path> logFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEN_SOURCE_DIR) / "tests/data/nmea"))
        if (entry.path().extension() == ".log") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

using gpstest::resetGps;

int terminatedLength(const WCHAR* text, int size) {
    for (int i = 0; i < size; ++i)
        if (text[i] == 0) return i;
    return size;  // not terminated within its size
}

struct PublishedFix {
    std::string sentence;
    bool checksumValid;
    std::string timeText;
    SYSTEMTIME fixTime;
    double latitude, longitude;
};

struct Replay {
    int sentences = 0;
    std::vector<PublishedFix> fixes;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The two characters after the '*' at bytes[star] against the XOR of the sentence.
bool checksumValid(const std::string& bytes, size_t star, const WCHAR* sentence) {
    if (star + 2 >= bytes.size()) return false;
    int high = hexDigit(bytes[star + 1]), low = hexDigit(bytes[star + 2]);
    if (high < 0 || low < 0) return false;
    unsigned sum = 0;
    for (const WCHAR* p = sentence + 1; *p != 0; ++p) sum ^= *p;
    return sum == static_cast<unsigned>(high * 16 + low);
}

// Feeds a log byte by byte as the reader would, checks the record after every completed
// sentence, and collects each fix that changed the published time or position.
Replay replay(const std::string& bytes) {
    Replay result;
    GpsFix before = copyGpsFix();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!sentenceFramer(static_cast<BYTE>(bytes[i]))) continue;
        ++result.sentences;
        std::u16string sentence = gpsState.sentenceBuffer;
        bool valid = checksumValid(bytes, i, gpsState.sentenceBuffer);
        dispatchSentence();

        GpsFix fix = copyGpsFix();
        EXPECT_LT(terminatedLength(fix.fixTimeText, fixTimeTextSize), fixTimeTextSize);
        EXPECT_LT(terminatedLength(fix.latitudeText, positionTextSize), positionTextSize);
        EXPECT_LT(terminatedLength(fix.longitudeText, positionTextSize), positionTextSize);
        if (fix.fixTimeText[0] != 0) {  // the texts always show the published angles
            WCHAR text[positionTextSize];
            formatLatitude(fix.latitude, text);
            EXPECT_EQ(utf8(text), utf8(fix.latitudeText)) << utf8(sentence);
            formatLongitude(fix.longitude, text);
            EXPECT_EQ(utf8(text), utf8(fix.longitudeText)) << utf8(sentence);
        }
        if (std::u16string(fix.fixTimeText) != before.fixTimeText ||
            fix.latitude != before.latitude || fix.longitude != before.longitude)
            result.fixes.push_back(PublishedFix{utf8(sentence), valid, utf8(fix.fixTimeText),
                                                fix.lastFixTime, fix.latitude, fix.longitude});
        before = fix;
    }
    return result;
}

TEST(NmeaLogs, EveryLogReplaysWithoutFault) {
    orven::test::useVirtualClock();
    std::vector<fs::path> files = logFiles();
    ASSERT_EQ(25u, files.size()) << "tests/data/nmea holds the 25 receiver logs";
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        resetGps();
        Replay result = replay(readFile(file));
        // hp58534a sends no '*' at all, so none of its sentences is ever complete.
        if (file.filename() == "hp58534a.log")
            EXPECT_EQ(0, result.sentences);
        else
            EXPECT_GT(result.sentences, 10);
    }
}

// ---- Side by side with gpsd

// Milliseconds of the UTC day from "hhmmss" or "hhmmss.sss"; -1 when it is not a time.
long dayMilliseconds(const std::string& text) {
    if (text.size() < 6) return -1;
    for (int i = 0; i < 6; ++i)
        if (text[i] < '0' || text[i] > '9') return -1;
    double seconds = std::stod(text.substr(4, 2));
    if (text.size() > 7 && text[6] == '.') {
        std::string fraction = "0";  // in steps: GCC 12 warns falsely on "0" + ... at -O3
        fraction += text.substr(6);
        char* end = nullptr;
        double f = std::strtod(fraction.c_str(), &end);
        if (*end != 0) return -1;
        seconds += f;
    } else if (text.size() != 6) {
        return -1;
    }
    return std::stol(text.substr(0, 2)) * 3600000 + std::stol(text.substr(2, 2)) * 60000 +
           std::lround(seconds * 1000.0);
}

// A number after "key": in one JSON line; NaN when absent.
double jsonNumber(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return std::nan("");
    return std::strtod(line.c_str() + at + key.size() + 3, nullptr);
}

std::string jsonString(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\":\"");
    if (at == std::string::npos) return "";
    size_t start = at + key.size() + 4;
    return line.substr(start, line.find('"', start) - start);
}

struct GpsdFix {
    double latitude, longitude;
};

// gpsdecode's TPV reports with a fix (mode 2 or 3), a time and a position, keyed on the
// time of day. Dates are not compared: gpsd 3.22 moves old dates by 1024 weeks.
std::multimap<long, GpsdFix> gpsdFixes(const fs::path& log) {
    std::multimap<long, GpsdFix> fixes;
    std::string command = std::string(gpsdecodePath) + " < '" + log.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return fixes;
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line = buffer;
        if (line.find("\"class\":\"TPV\"") == std::string::npos) continue;
        std::string time = jsonString(line, "time");  // 2034-08-16T03:07:20.000Z
        double mode = jsonNumber(line, "mode");
        double lat = jsonNumber(line, "lat"), lon = jsonNumber(line, "lon");
        if (time.size() < 23 || !(mode >= 2) || std::isnan(lat) || std::isnan(lon)) continue;
        std::string hhmmss = time.substr(11, 2) + time.substr(14, 2) + time.substr(17, 6);
        fixes.emplace(dayMilliseconds(hhmmss), GpsdFix{lat, lon});
    }
    pclose(pipe);
    return fixes;
}

TEST(NmeaLogs, FixesAgreeWithGpsd) {
    if (!fs::exists(gpsdecodePath)) {
        GTEST_SKIP() << "gpsdecode (gpsd-clients) is not installed";
    }
    orven::test::useVirtualClock();
    int comparedTotal = 0;
    for (const fs::path& file : logFiles()) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        std::multimap<long, GpsdFix> reference = gpsdFixes(file);
        resetGps();
        Replay ours = replay(readFile(file));
        int compared = 0;
        for (const PublishedFix& fix : ours.fixes) {
            long key = dayMilliseconds(fix.timeText);
            auto [first, last] = reference.equal_range(key);
            if (!fix.checksumValid || first == last) continue;
            ++compared;
            bool agrees = std::any_of(first, last, [&](const auto& entry) {
                return std::fabs(entry.second.latitude - fix.latitude) <= 1e-6 &&
                       std::fabs(entry.second.longitude - fix.longitude) <= 1e-6;
            });
            EXPECT_TRUE(agrees) << fix.sentence << "\n  ours " << fix.latitude << ", "
                                << fix.longitude << "; gpsd " << first->second.latitude << ", "
                                << first->second.longitude;
            // The fix time is the sentence's time of day.
            EXPECT_EQ(key / 3600000, fix.fixTime.wHour) << fix.sentence;
            EXPECT_EQ(key / 60000 % 60, fix.fixTime.wMinute) << fix.sentence;
            EXPECT_EQ(key / 1000 % 60, fix.fixTime.wSecond) << fix.sentence;
        }
        std::printf("%-36s ours %3zu fixes, gpsd %3zu, compared %3d\n", name.c_str(),
                    ours.fixes.size(), reference.size(), compared);
        // Where both sides have fixes, some epochs must line up, or the join is broken.
        if (!ours.fixes.empty() && !reference.empty()) {
            EXPECT_GT(compared, 0);
        }
        comparedTotal += compared;
    }
    EXPECT_GT(comparedTotal, 300);
}

}  // namespace
