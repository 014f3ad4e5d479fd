// Real receiver logs (tests/data/nmea, see PROVENANCE.md there) through the framer and the
// handlers: nothing overruns, the record stays consistent, and the fixes agree with gpsd's
// own decoder both ways: every fix we publish is one gpsd reports, and every fix gpsd
// reports is one we publish, except for the known differences listed with their reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    long time;  // milliseconds of the UTC day; -1: reported without a time
    double latitude, longitude;
};

// gpsdecode's TPV reports with a fix (mode 2 or 3) and a position. Dates are not compared:
// gpsd 3.22 moves old dates by 1024 weeks, which keeps the time of day. Until a sentence
// has given it the date, gpsd reports a fix without any time.
std::vector<GpsdFix> gpsdFixes(const fs::path& log) {
    std::vector<GpsdFix> fixes;
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
        if (!(mode >= 2)) continue;
        EXPECT_FALSE(std::isnan(lat) || std::isnan(lon)) << "a fix without position: " << line;
        long ms = -1;
        if (time.size() >= 23)
            ms = dayMilliseconds(time.substr(11, 2) + time.substr(14, 2) + time.substr(17, 6));
        fixes.push_back(GpsdFix{ms, lat, lon});
    }
    pclose(pipe);
    return fixes;
}

// One of ours and one of gpsd's are the same fix: the same position within 1e-6 degrees,
// at the same time of day unless gpsd had none.
bool sameFix(const PublishedFix& ours, const GpsdFix& gpsd) {
    return (gpsd.time < 0 || gpsd.time == dayMilliseconds(ours.timeText)) &&
           std::fabs(gpsd.latitude - ours.latitude) <= 1e-6 &&
           std::fabs(gpsd.longitude - ours.longitude) <= 1e-6;
}

enum class Side { ours, gpsd };  // whose fix the other side lacks

// Every fix one side reports and the other lacks, with the reason.
struct KnownDifference {
    const char* log;
    Side side;
    const char* time;  // hhmmss.sss; "" where gpsd reports no time
    double latitude;
    const char* reason;
};

const char firstCycle[] =
    "the log's first epoch: gpsd reports from the second cycle on, once it has seen where "
    "a cycle ends";
const char lastCycle[] =
    "the log's last epoch: gpsd reports an epoch once the next one begins, and the log ends "
    "first";
const char mergedCycle[] =
    "gpsd ends this receiver's cycle at its RMC and merges this GGA-only second into the next "
    "report";
const char badChecksum[] =
    "we do not test checksums: the sentence is garbled (its checksum is wrong) and gpsd "
    "drops it";
const char gllOnly[] = "the epoch came in GLL only, which we do not read";
const char deadReckoning[] =
    "GGA quality 6 (estimated) is a fix of ours; gpsd goes by the RMC's status V";
const char noStar[] = "no sentence of the log has a '*', and only a '*' completes ours";
const char qualityZero[] =
    "GGA quality 0 is no fix of ours; gpsd infers one from the satellites and altitude";
const char qualityEmpty[] =
    "a GGA with its quality empty (RMC V, GSA no fix) is no fix of ours; gpsd infers one "
    "from the satellites and altitude";

const KnownDifference knownDifferences[] = {
    {"bu353-glonass.log", Side::ours, "081411.000", 55.686591667, firstCycle},
    {"bu353s4.log", Side::ours, "030719.000", -37.784788333, firstCycle},
    {"ch-4711.log", Side::ours, "135651.997", 55.717213333, firstCycle},
    {"garmin-10x.log", Side::ours, "165007.000", 41.726763333, firstCycle},
    {"garmin-10x.log", Side::ours, "165010.000", 41.726761667, deadReckoning},
    {"gp-320fw-2019-04-07-coldboot.log", Side::ours, "000343.030", 48.149988333, firstCycle},
    {"gp-320fw-2019-04-07-coldboot.log", Side::ours, "000344.030", 48.149986667, badChecksum},
    {"gp-320fw-2019-04-07-coldboot.log", Side::ours, "000428.000", 0.0, badChecksum},
    {"haicom-305N.log", Side::ours, "095304.802", -27.210866667, firstCycle},
    {"hp58534a.log", Side::gpsd, "222450.000", -33.817228333, noStar},
    {"humminbird-M37.log", Side::ours, "194101.000", 44.435216667, firstCycle},
    {"humminbird-M37.log", Side::ours, "194104.000", 44.435230000, mergedCycle},
    {"humminbird-M37.log", Side::gpsd, "194106.000", 44.435243333, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194110.000", 44.435261667, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194114.000", 44.435288333, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194118.000", 44.435306667, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194122.000", 44.435326667, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194112.000", 44.435338333, gllOnly},
    {"humminbird-M37.log", Side::gpsd, "194116.000", 44.435351667, gllOnly},
    {"jl-micro-jlt.log", Side::ours, "012238.000", -34.908203333, firstCycle},
    {"magellan-ec10.log", Side::ours, "205206.000", 44.092600000, firstCycle},
    {"mtk-3301.log", Side::gpsd, "", 52.216316550, qualityZero},
    {"myguide-3100.log", Side::gpsd, "", 56.216593333, qualityEmpty},
    {"myguide-3100.log", Side::gpsd, "", 56.216580000, qualityEmpty},
    {"neo-m8n.log", Side::ours, "171948.000", 44.068983667, lastCycle},
    {"quectel-eg25-g-2.log", Side::ours, "051347.000", 60.022279983, firstCycle},
    {"quectel.log", Side::ours, "022021.000", -36.745989467, firstCycle},
    {"telit-pls83-w.log", Side::ours, "043539.000", 43.553170100, firstCycle},
    {"tr737A+.log", Side::gpsd, "", 44.068630000, qualityZero},
    {"triton400.log", Side::ours, "030129.000", 26.636210000, firstCycle},
};

TEST(NmeaLogs, FixesAgreeWithGpsdBothWays) {
    if (!fs::exists(gpsdecodePath)) {
        GTEST_SKIP() << "gpsdecode (gpsd-clients) is not installed";
    }
    orven::test::useVirtualClock();
    std::vector<bool> differenceSeen(std::size(knownDifferences), false);
    // The known difference for a fix one side lacks, or null.
    auto known = [&](const std::string& log, Side side, long time, double latitude) {
        for (size_t i = 0; i < std::size(knownDifferences); ++i) {
            const KnownDifference& d = knownDifferences[i];
            if (d.log == log && d.side == side && dayMilliseconds(d.time) == time &&
                std::fabs(d.latitude - latitude) <= 1e-6) {
                differenceSeen[i] = true;
                return &d;
            }
        }
        return static_cast<const KnownDifference*>(nullptr);
    };
    int comparedTotal = 0;
    for (const fs::path& file : logFiles()) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        const std::vector<GpsdFix> reference = gpsdFixes(file);
        resetGps();
        const Replay ours = replay(readFile(file));

        int compared = 0, comparedGpsd = 0, excused = 0;
        const char* why = nullptr;  // a reason of this log's known differences
        for (const PublishedFix& fix : ours.fixes) {
            const long time = dayMilliseconds(fix.timeText);
            if (std::any_of(reference.begin(), reference.end(),
                            [&](const GpsdFix& g) { return sameFix(fix, g); })) {
                ++compared;
                // The fix time is the sentence's time of day.
                EXPECT_EQ(time / 3600000, fix.fixTime.wHour) << fix.sentence;
                EXPECT_EQ(time / 60000 % 60, fix.fixTime.wMinute) << fix.sentence;
                EXPECT_EQ(time / 1000 % 60, fix.fixTime.wSecond) << fix.sentence;
            } else if (const KnownDifference* d = known(name, Side::ours, time, fix.latitude)) {
                ++excused;
                why = d->reason;
                if (d->reason == badChecksum) {
                    EXPECT_FALSE(fix.checksumValid) << fix.sentence;
                }
                if (d->reason == firstCycle) {
                    EXPECT_EQ(dayMilliseconds(ours.fixes.front().timeText), time) << fix.sentence;
                }
                if (d->reason == lastCycle) {
                    EXPECT_EQ(dayMilliseconds(ours.fixes.back().timeText), time) << fix.sentence;
                }
            } else {
                ADD_FAILURE() << "we publish a fix gpsd does not report: " << fix.sentence << "\n  "
                              << fix.latitude << ", " << fix.longitude;
            }
        }
        for (const GpsdFix& g : reference) {
            if (std::any_of(ours.fixes.begin(), ours.fixes.end(),
                            [&](const PublishedFix& fix) { return sameFix(fix, g); })) {
                ++comparedGpsd;
                continue;
            }
            if (const KnownDifference* d = known(name, Side::gpsd, g.time, g.latitude)) {
                ++excused;
                why = d->reason;
            } else {
                ADD_FAILURE() << "gpsd reports a fix we do not publish, at "
                              << (g.time < 0 ? std::string("no time") : std::to_string(g.time))
                              << " ms of the day: " << g.latitude << ", " << g.longitude;
            }
        }

        std::string none;  // why a log compares no fix
        if (compared + comparedGpsd == 0)
            none = ours.fixes.empty() && reference.empty() ? "neither side reports a fix"
                   : why != nullptr                        ? why
                                                           : "?";
        std::printf(
            "%-34s compared %3d of our %3zu fixes, %3d of gpsd's %3zu; %2d known "
            "differences%s%s\n",
            name.c_str(), compared, ours.fixes.size(), comparedGpsd, reference.size(), excused,
            none.empty() ? "" : "; none compared: ", none.c_str());
        comparedTotal += compared;
    }
    for (size_t i = 0; i < std::size(knownDifferences); ++i)
        EXPECT_TRUE(differenceSeen[i])
            << "a known difference that no longer occurs: " << knownDifferences[i].log << " "
            << knownDifferences[i].time;
    EXPECT_GT(comparedTotal, 300);
}

}  // namespace
