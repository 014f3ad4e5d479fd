// NMEA sentences into the shared GPS record. The framer is a byte-at-a-time state
// machine over the fixed sentence buffer; the handlers split a private copy in place;
// nothing here allocates. Runs on the GPS reader thread; only the position texts are
// also used by the GUI thread (the self-tests).
#include "gps/nmea_parser.h"

#include "common/program.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/nmea_conversions.h"

namespace {

constexpr double unknownAngle = 200.0;        // no angle reaches it: a garbled field
constexpr double textRangeLimit = 1000000.0;  // seven degree digits would overflow the text

// The framer's state, the reader thread's alone.
struct Framer {
    int index = 0;         // where the next captured character goes
    bool capture = false;  // inside a sentence, below the length limit
    bool pending = false;  // a sentence was started and not yet completed or abandoned
};
Framer framer;

void capture(BYTE byte) {
    gpsState.sentenceBuffer[framer.index] = static_cast<WCHAR>(byte);
    gpsState.sentenceBuffer[framer.index + 1] = 0;
    ++framer.index;
}

using SentenceHandler = void (*)(LPWSTR);

SentenceHandler handlerFor(const WCHAR* sentence) {
    // Positions 1 and 2 hold the talker, which is not tested; they are only checked to be
    // inside the sentence, so the letters below are never left over from a longer one.
    if (sentence[1] == 0 || sentence[2] == 0) return nullptr;
    const WCHAR a = sentence[3], b = sentence[4], c = sentence[5];
    if (a == u'G' && b == u'G' && c == u'A') return parseGga;
    if (a == u'G' && b == u'S' && c == u'V') return parseGsv;
    if (a == u'R' && b == u'M' && c == u'C') return parseRmc;
    return nullptr;
}

GpsPosition lastPublishedPosition() {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    return GpsPosition{gpsState.latitude, gpsState.latitudeHemisphere, gpsState.longitude,
                       gpsState.longitudeHemisphere};
}

// One position text: letter, degrees padded to degreeWidth digits, '.', six digits of
// millionths, the degree sign.
int formatAngle(double value, WCHAR positive, WCHAR negative, int degreeWidth,
                const char16_t* unknown, WCHAR* text) {
    if (!(value < unknownAngle && value > -textRangeLimit)) {  // also NaN
        int n = 0;
        for (; unknown[n] != 0; ++n) text[n] = unknown[n];
        text[n] = 0;
        return n;
    }
    const int degrees = static_cast<int>(value);  // cut toward zero
    int millionths = static_cast<int>((value - degrees) * 1000000.0);
    WCHAR letter = positive;
    int shownDegrees = degrees;
    if (value < 0.0) letter = negative, shownDegrees = -degrees, millionths = -millionths;
    if (millionths > 999999) millionths = 999999;  // rounding in the product cannot widen the text

    WCHAR digits[8];
    int count = 0;
    do digits[count++] = static_cast<WCHAR>(u'0' + shownDegrees % 10);
    while ((shownDegrees /= 10) != 0);
    while (count < degreeWidth) digits[count++] = u'0';

    int n = 0;
    text[n++] = letter;
    while (count > 0) text[n++] = digits[--count];
    text[n++] = u'.';
    for (int divisor = 100000; divisor > 0; divisor /= 10)
        text[n++] = static_cast<WCHAR>(u'0' + millionths / divisor % 10);
    text[n++] = u'\u00B0';
    text[n] = 0;
    return n;
}

}  // namespace

// ---- Framing

void sentenceFramerReset() {
    framer = Framer{};
    gpsState.sentenceBuffer[0] = 0;
}

bool sentenceFramer(BYTE byte) {
    switch (byte) {
        case '$':
            framer.index = 0;
            framer.capture = true;
            framer.pending = true;
            capture(byte);
            return false;
        case '*': {
            const bool completed = framer.pending;
            framer = Framer{};
            return completed;
        }
        case '\r':
        case '\n': framer = Framer{}; return false;
        default:
            if (!framer.capture) return false;
            if (framer.index == sentenceLimit) {
                framer.capture = false;  // over-long: keep the first sentenceLimit characters
                return false;
            }
            capture(byte);
            return false;
    }
}

void dispatchSentence() {
    const WCHAR* sentence = gpsState.sentenceBuffer;
    SentenceHandler handler = handlerFor(sentence);
    if (handler == nullptr) return;
    WCHAR copy[sentenceBufferSize];
    int n = 0;
    for (; n < sentenceBufferSize - 1 && sentence[n] != 0; ++n) copy[n] = sentence[n];
    copy[n] = 0;
    handler(copy);
}

LPWSTR nextField(LPWSTR* cursor) {
    WCHAR* p = *cursor;
    while (*p == u',' || *p == u':') ++p;
    if (*p == 0) {
        *cursor = p;
        return nullptr;
    }
    WCHAR* piece = p;
    while (*p != 0 && *p != u',' && *p != u':') ++p;
    if (*p != 0) *p++ = 0;
    *cursor = p;
    return piece;
}

// ---- Handlers
// Field numbers are piece numbers after the split, piece 0 being the tag. Empty fields
// yield no piece, so a missing field moves every later one down.

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
//        time   latitude   longitude   quality, satellites used, (rest not used)
//
// The position counts only when the sentence itself carries a quality (piece 6): a GGA
// cut short, or with empty fields collapsed before its quality, never republishes an
// older fix nor takes a position from the wrong fields.
void parseGga(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    LPCWSTR timeText = nullptr;
    GpsPosition position{};
    bool qualityRead = false;
    uint32_t quality = 0;
    LPWSTR field = nextField(&cursor);  // the tag
    for (int k = 1; k <= 7 && (field = nextField(&cursor)) != nullptr; ++k) {
        switch (k) {
            case 1: timeText = field; break;
            case 2: position.latitude = nmeaToDegrees(field, 2); break;
            case 3: position.latitudeHemisphere = field[0]; break;
            case 4: position.longitude = nmeaToDegrees(field, 3); break;
            case 5: position.longitudeHemisphere = field[0]; break;
            case 6:
                quality = truncateToCount(readNumber(field));
                gpsState.fixQuality.store(quality);
                qualityRead = true;
                break;
            case 7: gpsState.satellitesUsed.store(truncateToCount(readNumber(field))); break;
        }
    }
    if (qualityRead && quality != 0) publishFix(timeText, position);
}

// $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
//        time   status latitude longitude  (rest not used)
//
// Only status "A" takes the position. Fields missing after the status keep their last
// published values. A sentence without its status field changes nothing.
void parseRmc(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    nextField(&cursor);  // the tag
    LPCWSTR timeText = nextField(&cursor);
    LPCWSTR status = timeText != nullptr ? nextField(&cursor) : nullptr;
    if (status == nullptr) return;
    const int32_t rmcStatus = status[0] == u'A' ? 1 : status[0] == u'V' ? 2 : 0;
    gpsState.rmcStatus.store(rmcStatus);
    if (rmcStatus != 1) return;

    GpsPosition position = lastPublishedPosition();
    LPWSTR field;
    for (int k = 3; k <= 6 && (field = nextField(&cursor)) != nullptr; ++k) {
        switch (k) {
            case 3: position.latitude = nmeaToDegrees(field, 2); break;
            case 4: position.latitudeHemisphere = field[0]; break;
            case 5: position.longitude = nmeaToDegrees(field, 3); break;
            case 6: position.longitudeHemisphere = field[0]; break;
        }
    }
    publishFix(timeText, position);
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74
//        sentences, this one, satellites in view, (satellite details not used)
void parseGsv(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    LPWSTR field = nextField(&cursor);  // the tag
    for (int k = 1; k <= 3 && (field = nextField(&cursor)) != nullptr; ++k)
        if (k == 3) gpsState.satellitesInView.store(truncateToCount(readNumber(field)));
}

// ---- Publication

void publishFix(LPCWSTR timeText, GpsPosition position) {
    KillTimer(mainWindow, positionMissedTimer);
    if (position.longitudeHemisphere == u'W' && position.longitude > 0)
        position.longitude = -position.longitude;
    if (position.latitudeHemisphere == u'S' && position.latitude > 0)
        position.latitude = -position.latitude;

    GpsFix fix;
    lstrcpynW(fix.fixTimeText, timeText, fixTimeTextSize);
    fix.lastFixTime = buildFixTime(timeText);
    fix.latitude = position.latitude;
    fix.latitudeHemisphere = position.latitudeHemisphere;
    fix.longitude = position.longitude;
    fix.longitudeHemisphere = position.longitudeHemisphere;
    formatLatitude(fix.latitude, fix.latitudeText);
    formatLongitude(fix.longitude, fix.longitudeText);
    storeGpsFix(fix);

    formatStatusText(u"Position found at %02d:%02d\n%s %s", fix.lastFixTime.wHour,
                     fix.lastFixTime.wMinute, fix.latitudeText, fix.longitudeText);
    if (gpsState.positionFound.exchange(1) == 0)
        SetTimer(mainWindow, positionFoundTimer, positionFoundDelayMs, nullptr);
}

// ---- Position texts

int formatLatitude(double latitude, WCHAR text[positionTextSize]) {
    return formatAngle(latitude, u'N', u'S', 2, u"??.????", text);
}

int formatLongitude(double longitude, WCHAR text[positionTextSize]) {
    return formatAngle(longitude, u'E', u'W', 3, u"???.????", text);
}
