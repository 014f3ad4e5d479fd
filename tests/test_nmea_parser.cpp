// The NMEA framer, the sentence handlers, the publication of a fix and the position
// texts, fed the way the reader thread feeds them: one byte at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/status_text.h"
#include "gps/nmea_parser.h"
#include "platform/testing.h"
#include "test_gps_support.h"

namespace {

std::string utf8(const std::u16string& text) {
    return orven::toUtf8(text);
}

using gpstest::resetGps;

// Feeds bytes through the framer; dispatches each completed sentence when asked.
// Returns the completed sentences as they stood in the buffer.
std::vector<std::u16string> feed(std::string_view bytes, bool dispatch = true) {
    std::vector<std::u16string> completed;
    for (char c : bytes) {
        if (!sentenceFramer(static_cast<BYTE>(c))) continue;
        completed.emplace_back(gpsState.sentenceBuffer);
        if (dispatch) dispatchSentence();
    }
    return completed;
}

// Sentences as a receiver sends them: the checksum is not tested, so any will do.
void feedSentences(const std::vector<std::string>& sentences) {
    for (const std::string& s : sentences) feed(s + "*00\r\n");
}

std::string describe(const std::vector<std::string>& sentences) {
    std::string text = "input:";
    for (const std::string& s : sentences) text += "\n  " + s;
    return text;
}

// ---- Framing

TEST(NmeaFramer, CompletesSentencesByTheRules) {
    const std::string long260 = "$GPTXT," + std::string(253, 'x');  // 260 characters
    const std::string long252 = "$GPTXT," + std::string(245, 'y');  // exactly the limit
    struct Row {
        const char* legend;
        std::string bytes;
        std::vector<std::u16string> expected;
    } rows[] = {
        {"one sentence with checksum and line end", "$GPGGA,1,2*47\r\n", {u"$GPGGA,1,2"}},
        {"two sentences", "$GPGSV,1*00\r\n$GPRMC,2*00\r\n", {u"$GPGSV,1", u"$GPRMC,2"}},
        {"two sentences on one line", "$GPGSA,1*1E$GPRMC,2*00\n", {u"$GPGSA,1", u"$GPRMC,2"}},
        {"text before the first '$' is ignored", "garbage,12*34\r\n$GPGSV,1*00", {u"$GPGSV,1"}},
        {"a '*' with no sentence pending completes nothing", "*$GPGSV,1*00*11*", {u"$GPGSV,1"}},
        {"'$' inside a sentence restarts it",
         "$GPGGA,030130$GPGLL,2638.1,N*4E\r\n",
         {u"$GPGLL,2638.1,N"}},
        {"a sentence cut by a line end is dropped", "$GPGGA,1235\r\n# note *x\r\n", {}},
        {"a sentence without '*' never completes", "$GPGGA,1\r\n$GPGSV,2\r\n", {}},
        {"over-long sentence keeps its first 252 characters",
         long260 + "*00\r\n",
         {std::u16string(long260.begin(), long260.begin() + sentenceLimit)}},
        {"a sentence of exactly 252 characters is whole",
         long252 + "*00",
         {std::u16string(long252.begin(), long252.end())}},
        {"a NUL byte ends the visible text", std::string("$GPGSV,1\0,2*00", 14), {u"$GPGSV,1"}},
        {"bytes above 127 keep their value", "$GPTXT,\xb0\xff*00", {u"$GPTXT,\u00b0\u00ff"}},
        {"checksum digits and line end are not captured", "$GPVTG,1*5A\r\n*", {u"$GPVTG,1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        resetGps();
        std::vector<std::u16string> actual = feed(row.bytes, false);
        ASSERT_EQ(row.expected.size(), actual.size());
        for (size_t i = 0; i < actual.size(); ++i)
            EXPECT_EQ(utf8(row.expected[i]), utf8(actual[i]));
    }
}

TEST(NmeaFramer, SentenceSplitAcrossReadsIsWhole) {
    resetGps();
    EXPECT_TRUE(feed("$GPGGA,123519,48").empty());
    std::vector<std::u16string> completed = feed("07.038,N*47\r\n");
    ASSERT_EQ(1u, completed.size());
    EXPECT_EQ(u"$GPGGA,123519,4807.038,N", completed[0]);
}

TEST(NmeaFramer, ResetForgetsTheHalfSentenceAndTheLastOne) {
    resetGps();
    ASSERT_EQ(1u, feed("$GPGSV,1,1,07*00").size());
    sentenceFramerReset();
    EXPECT_EQ(0, gpsState.sentenceBuffer[0]);
    EXPECT_TRUE(feed("*").empty()) << "a new port must not complete the old port's text";
    feed("$GPGGA,123519,48");
    sentenceFramerReset();
    EXPECT_TRUE(feed("07.038,N*47").empty());
}

TEST(NmeaFramer, ManyBytesNeverOverrunTheBuffer) {
    resetGps();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 200000; ++i) {
        // Mostly printable text, with '$', '*' and line ends now and then.
        int b = byte(random);
        BYTE c = b < 8 ? '$' : b < 12 ? '*' : b < 14 ? '\n' : static_cast<BYTE>(32 + b % 90);
        if (sentenceFramer(c)) {
            int length = 0;
            while (length < sentenceBufferSize && gpsState.sentenceBuffer[length] != 0) ++length;
            ASSERT_LE(length, sentenceLimit);
            ASSERT_EQ(u'$', gpsState.sentenceBuffer[0]);
            dispatchSentence();
        }
    }
}

// ---- Handlers

struct GpsSnapshot {
    uint32_t fixQuality, satellitesUsed, satellitesInView;
    int32_t rmcStatus, positionFound;
    std::string fixTimeText, latitudeText, longitudeText;
};

GpsSnapshot snapshot() {
    GpsFix fix = copyGpsFix();
    return GpsSnapshot{gpsState.fixQuality,    gpsState.satellitesUsed, gpsState.satellitesInView,
                       gpsState.rmcStatus,     gpsState.positionFound,  utf8(fix.fixTimeText),
                       utf8(fix.latitudeText), utf8(fix.longitudeText)};
}

void expectState(const GpsSnapshot& expected, const GpsSnapshot& actual) {
    EXPECT_EQ(expected.fixQuality, actual.fixQuality) << "fixQuality";
    EXPECT_EQ(expected.satellitesUsed, actual.satellitesUsed) << "satellitesUsed";
    EXPECT_EQ(expected.satellitesInView, actual.satellitesInView) << "satellitesInView";
    EXPECT_EQ(expected.rmcStatus, actual.rmcStatus) << "rmcStatus";
    EXPECT_EQ(expected.positionFound, actual.positionFound) << "positionFound";
    EXPECT_EQ(expected.fixTimeText, actual.fixTimeText) << "fixTimeText";
    EXPECT_EQ(expected.latitudeText, actual.latitudeText) << "latitudeText";
    EXPECT_EQ(expected.longitudeText, actual.longitudeText) << "longitudeText";
}

const std::string munichGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string munichRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

TEST(NmeaHandlers, SentencesUpdateTheRecord) {
    const GpsSnapshot none{0, 0, 0, 0, 0, "", "", ""};
    const GpsSnapshot munichByGga{1, 8, 0, 0, 1, "123519", "N48.117300°", "E011.516666°"};
    const GpsSnapshot munichByRmc{0, 0, 0, 1, 1, "123519", "N48.117300°", "E011.516666°"};
    struct Row {
        const char* legend;
        std::vector<std::string> sentences;
        GpsSnapshot expected;
    } rows[] = {
        {"GGA with a fix", {munichGga}, munichByGga},
        {"GGA south and west",
         {"$GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"},
         {1, 8, 0, 0, 1, "123519", "S48.117300°", "W011.516666°"}},
        {"GGA quality 0 leaves the position alone",
         {"$GPGGA,123519,4807.038,N,01131.000,E,0,03,,,M,,M,,"},
         {0, 3, 0, 0, 0, "", "", ""}},
        {"empty fields collapse: too few pieces keep the quality, nothing published",
         {munichGga, "$GPGGA,123520,,,,,0,00,,,M,,M,,"},
         munichByGga},
        {"GGA cut before its quality does not republish the old fix",
         {munichGga, "$GPGGA,123521,4807.038,N,01131.000"},
         munichByGga},
        {"GGA quality 6 (dead reckoning) is a fix",
         {"$GPGGA,123519,4807.038,N,01131.000,E,6,00,0.9,545.4,M,46.9,M,,"},
         {6, 0, 0, 0, 1, "123519", "N48.117300°", "E011.516666°"}},
        {"GGA quality 7 (typed in by hand) is kept but is no fix",
         {"$GPGGA,123519,4807.038,N,01131.000,E,7,00,0.9,545.4,M,46.9,M,,"},
         {7, 0, 0, 0, 0, "", "", ""}},
        {"GGA quality 8 (simulation) is kept but is no fix",
         {"$GPGGA,214350,4023.8600,N,00339.1630,W,8,09,2.0,695.7,M,51.6,M,,"},
         {8, 9, 0, 0, 0, "", "", ""}},
        {"GGA quality 8 after a fix leaves the fix as it was",
         {munichGga, "$GPGGA,123520,4023.8600,N,00339.1630,W,8,09,2.0,695.7,M,51.6,M,,"},
         {8, 9, 0, 0, 1, "123519", "N48.117300°", "E011.516666°"}},
        {"GGA with its quality empty: the satellite count is not read as one",
         {munichGga, "$GPGGA,105027.80,5612.9956,N,00306.6983,W,,3,2.506,160.002,M,,M,,"},
         {0, 8, 0, 0, 1, "123519", "N48.117300°", "E011.516666°"}},
        {"GGA with an empty field before its quality publishes nothing",
         {"$GPGGA,123519,,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"},
         {0, 0, 0, 0, 0, "", "", ""}},
        {"RMC with an empty field among its first six publishes nothing",
         {"$GPRMC,123519,A,,N,01131.000,E,022.4,084.4,230394,003.1,W"},
         {0, 0, 0, 1, 0, "", "", ""}},
        {"a negative quality is no fix",
         {"$GPGGA,123519,4807.038,N,01131.000,E,-1,05,0.9,545.4,M,46.9,M,,"},
         {0, 5, 0, 0, 0, "", "", ""}},
        {"GGA ending with its quality keeps satellitesUsed",
         {"$GPGGA,123519,4807.038,N,01131.000,E,2"},
         {2, 0, 0, 0, 1, "123519", "N48.117300°", "E011.516666°"}},
        {"GGA of another talker", {"$INGGA" + munichGga.substr(6)}, munichByGga},
        {"RMC valid", {munichRmc}, munichByRmc},
        {"GNRMC is handled like GPRMC", {"$GNRMC" + munichRmc.substr(6)}, munichByRmc},
        {"RMC warning publishes nothing",
         {"$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"},
         {0, 0, 0, 2, 0, "", "", ""}},
        {"RMC with another status",
         {"$GPRMC,123519,X,4807.038,N,01131.000,E"},
         {0, 0, 0, 0, 0, "", "", ""}},
        {"RMC status is its first character",
         {"$GPRMC,123519,Av,4807.038,N,01131.000,E"},
         munichByRmc},
        {"RMC without its status field keeps status and fix",
         {munichRmc, "$GPRMC,123520"},
         munichByRmc},
        {"RMC with every field empty", {"$GPRMC,,V,,,,,,,,,,N"}, {0, 0, 0, 0, 0, "", "", ""}},
        {"RMC missing hemisphere letters keeps the last ones",
         {"$GPRMC,123519,A,3747.0875,S,17518.8938,W", "$GPRMC,123520,A,3747.0875"},
         {0, 0, 0, 1, 1, "123520", "S37.784791°", "W175.314896°"}},
        {"RMC repeating only its time republishes the signed position",
         {"$GPRMC,123519,A,3747.0875,S,17518.8938,W", "$GPRMC,123521,A"},
         {0, 0, 0, 1, 1, "123521", "S37.784791°", "W175.314896°"}},
        {"a time field longer than eleven characters is cut",
         {"$GPRMC,123519.123456789,A,4807.038,N,01131.000,E"},
         {0, 0, 0, 1, 1, "123519.1234", "N48.117300°", "E011.516666°"}},
        {"garbled angles of 200 degrees or more",
         {"$GPRMC,081836,A,36000.0000,N,72000.0000,E"},
         {0, 0, 0, 1, 1, "081836", "N36.000000°", "???.????"}},
        {"garbled angle beyond a million degrees, south",
         {"$GPRMC,081836,A,9999999999,S,99999999999,W"},
         {0, 0, 0, 1, 1, "081836", "??.????", "???.????"}},
        {"GSV satellites in view",
         {"$GPGSV,3,1,11,03,03,111,00,04,15,270,00"},
         {0, 0, 11, 0, 0, "", "", ""}},
        {"':' separates fields too", {"$GLGSV:3:1:09"}, {0, 0, 9, 0, 0, "", "", ""}},
        {"GSV without its count", {"$GPGSV,1,1"}, none},
        {"GSA changes nothing", {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"}, none},
        {"lower-case type letters are another type", {"$GPgga" + munichGga.substr(6)}, none},
        {"a bare tag", {"$GP"}, none},
        {"a GGA cut by the next sentence's '$' is not parsed",
         {"$GPGGA,030130$GPGLL,2638.1727,N,08011.3892,W,030130.000,A,A"},
         none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.legend) + "\n" + describe(row.sentences));
        resetGps();
        feedSentences(row.sentences);
        expectState(row.expected, snapshot());
    }
}

TEST(NmeaHandlers, AnglesAreSignedByHemisphere) {
    struct Row {
        const char* legend;
        std::string sentence;
        double latitude, longitude;
        WCHAR latitudeHemisphere, longitudeHemisphere;
    } rows[] = {
        {"north east", munichGga, 48.1173, 11.0 + 31.0 / 60.0, u'N', u'E'},
        {"south west", "$GPGGA,123519,4807.038,S,01131.000,W,1,08,,,M,,M,,", -48.1173,
         -(11.0 + 31.0 / 60.0), u'S', u'W'},
        {"unknown letters leave the sign", "$GPRMC,123519,A,4807.038,s,01131.000,w", 48.1173,
         11.0 + 31.0 / 60.0, u's', u'w'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        resetGps();
        feedSentences({row.sentence});
        GpsFix fix = copyGpsFix();
        EXPECT_NEAR(row.latitude, fix.latitude, 1e-12);
        EXPECT_NEAR(row.longitude, fix.longitude, 1e-12);
        EXPECT_EQ(row.latitudeHemisphere, fix.latitudeHemisphere);
        EXPECT_EQ(row.longitudeHemisphere, fix.longitudeHemisphere);
    }
}

// ---- Publication

// "KillTimer 44" / "SetTimer 5 1500" from the platform's trace lines.
std::vector<std::string> timerCalls() {
    std::vector<std::string> calls;
    for (const std::string& line : orven::test::traceLines()) {
        unsigned long id = 0;
        unsigned ms = 0;
        if (std::sscanf(line.c_str(), "SetTimer hwnd=%*s id=%lu ms=%u", &id, &ms) == 2)
            calls.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(ms));
        else if (std::sscanf(line.c_str(), "KillTimer hwnd=%*s id=%lu", &id) == 1)
            calls.push_back("KillTimer " + std::to_string(id));
    }
    return calls;
}

std::string statusText() {
    WCHAR text[statusTextSize];
    copyStatusText(text);
    return utf8(text);
}

TEST(NmeaPublish, StatusLineAndTimerFiveOncePerLink) {
    orven::test::useVirtualClock();
    resetGps();
    struct Step {
        const char* legend;
        std::string sentence;
        bool linkResetBefore;
        std::vector<std::string> timers;
        const char* status;
    } steps[] = {
        {"first fix kills the watchdog and starts timer 5",
         munichGga,
         false,
         {"KillTimer 44", "SetTimer 5 1500"},
         "Position found at 12:35\nN48.117300° E011.516666°"},
        {"a later fix updates the texts but leaves timer 5",
         "$GPRMC,235959.99,A,3747.0875,S,17518.8938,W",
         false,
         {"KillTimer 44"},
         "Position found at 23:59\nS37.784791° W175.314896°"},
        {"no fix: nothing",
         "$GPGGA,000001,4807.038,N,01131.000,E,0,00,,,M,,M,,",
         false,
         {},
         "Position found at 23:59\nS37.784791° W175.314896°"},
        {"after a link reset the next fix starts timer 5 again",
         munichRmc,
         true,
         {"KillTimer 44", "SetTimer 5 1500"},
         "Position found at 12:35\nN48.117300° E011.516666°"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.legend);
        if (step.linkResetBefore) {  // what closing the port does to the record
            gpsState.receiverFound = 0;
            gpsState.positionFound = 0;
            gpsState.rmcStatus = 0;
            gpsState.fixQuality = 0;
        }
        orven::test::clearTrace();
        feedSentences({step.sentence});
        EXPECT_EQ(step.timers, timerCalls());
        EXPECT_EQ(step.status, statusText());
        EXPECT_EQ(1, gpsState.positionFound);
    }
}

TEST(NmeaPublish, EveryFixRefreshesTheFixTime) {
    orven::test::useVirtualClock(SYSTEMTIME{2026, 2, 0, 1, 8, 0, 0, 0});
    resetGps();
    feedSentences({munichGga});
    EXPECT_EQ(12, copyGpsFix().lastFixTime.wHour);
    feedSentences({"$GPRMC,070809,A,4807.038,N,01131.000,E"});
    SYSTEMTIME time = copyGpsFix().lastFixTime;
    EXPECT_EQ(7, time.wHour);
    EXPECT_EQ(8, time.wMinute);
    EXPECT_EQ(9, time.wSecond);
    EXPECT_EQ(2026, time.wYear);
}

// ---- Position texts

std::string latitudeText(double value) {
    WCHAR text[positionTextSize];
    int length = formatLatitude(value, text);
    EXPECT_EQ(static_cast<size_t>(length), std::u16string(text).size());
    return utf8(text);
}

std::string longitudeText(double value) {
    WCHAR text[positionTextSize];
    int length = formatLongitude(value, text);
    EXPECT_EQ(static_cast<size_t>(length), std::u16string(text).size());
    return utf8(text);
}

TEST(NmeaPositionText, DigitsAreCutNeverRounded) {
    struct Row {
        const char* legend;
        double value;
        const char* latitude;
        const char* longitude;
    } rows[] = {
        {"fraction cut after the multiplication", 12.345678, "N12.345677°", "E012.345677°"},
        {"three degree digits", 123.456789, "N123.456789°", "E123.456789°"},
        {"zero is north and east", 0.0, "N00.000000°", "E000.000000°"},
        {"just below zero is south and west", -0.0000001, "S00.000000°", "W000.000000°"},
        {"southern", -37.784791666, "S37.784791°", "W037.784791°"},
        {"just below 200", 199.9999999, "N199.999999°", "E199.999999°"},
        {"200 degrees", 200.0, "??.????", "???.????"},
        {"far south still fits", -999999.9999999, "S999999.999999°", "W999999.999999°"},
        {"a million degrees south", -1000000.0, "??.????", "???.????"},
        {"huge", 1e300, "??.????", "???.????"},
        {"minus infinity", -INFINITY, "??.????", "???.????"},
        {"not a number", std::nan(""), "??.????", "???.????"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(row.latitude, latitudeText(row.value));
        EXPECT_EQ(row.longitude, longitudeText(row.value));
    }
}

// The texts against printf given the same degrees and millionths, over the whole range.
TEST(NmeaPositionText, MatchPrintfOverTheRange) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> near(-200.0, 200.0);
    std::uniform_real_distribution<double> far(-999999.0, 199.0);
    for (int i = 0; i < 20000; ++i) {
        double value = i % 2 ? near(random) : far(random);
        if (value >= 200.0) continue;
        double degrees = std::trunc(value);
        int d = static_cast<int>(degrees);
        int m = static_cast<int>((value - degrees) * 1000000.0);
        char expectedLatitude[40], expectedLongitude[40];
        if (value >= 0.0) {
            std::snprintf(expectedLatitude, sizeof expectedLatitude, "N%02d.%06d°", d, m);
            std::snprintf(expectedLongitude, sizeof expectedLongitude, "E%03d.%06d°", d, m);
        } else {
            std::snprintf(expectedLatitude, sizeof expectedLatitude, "S%02d.%06d°", -d, -m);
            std::snprintf(expectedLongitude, sizeof expectedLongitude, "W%03d.%06d°", -d, -m);
        }
        SCOPED_TRACE("value " + std::to_string(value));
        ASSERT_EQ(expectedLatitude, latitudeText(value));
        ASSERT_EQ(expectedLongitude, longitudeText(value));
    }
}

}  // namespace
