// NMEA sentences into the shared GPS record. The framer is a byte-at-a-time state
// machine over the sentence buffer (its step for ordinary text bytes is inline in the
// header); the handlers split a private copy in place; nothing here allocates. Runs on
// the GPS reader thread; only the position texts are also used by the GUI thread (the
// self-tests).
//
// The reader hands over every byte of a 4800-baud line, so the step for a byte is a
// compare and a store, and the shared record is touched once per sentence: each count
// stored once, the lock taken once per published fix.
#include "gps/nmea_parser.h"

#include <cstring>

#include "common/program.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/nmea_conversions.h"

namespace {

constexpr double unknownAngle = 200.0;        // no angle reaches it: a garbled field
constexpr double textRangeLimit = 1000000.0;  // seven degree digits would overflow the text

SentenceFramerState& framer = sentenceFramerState;

void abandonSentence() {
    framer.index = sentenceLimit;
    framer.pending = false;
}

void capture(BYTE byte) {
    const int index = framer.index;
    if (index < sentenceLimit) {
        gpsState.sentenceBuffer[index] = byte;
        framer.index = index + 1;
    }
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

// The fields of an RMC position that its sentence lacked take the last published ones.
// `present` holds bit k - 3 for each field k (3 to 6) the sentence had.
void completeFromLastPosition(GpsPosition& position, unsigned present) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    if ((present & 1u) == 0) position.latitude = gpsState.latitude;
    if ((present & 2u) == 0) position.latitudeHemisphere = gpsState.latitudeHemisphere;
    if ((present & 4u) == 0) position.longitude = gpsState.longitude;
    if ((present & 8u) == 0) position.longitudeHemisphere = gpsState.longitudeHemisphere;
}

// Appends text (terminated) at out; returns the end.
WCHAR* append(WCHAR* out, const WCHAR* text) {
    while (*text != 0) *out++ = *text++;
    return out;
}

// Appends 0 to 99 as two digits, as "%02d" prints it.
WCHAR* appendTwoDigits(WCHAR* out, unsigned value) {
    *out++ = static_cast<WCHAR>(u'0' + value / 10 % 10);
    *out++ = static_cast<WCHAR>(u'0' + value % 10);
    return out;
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

SentenceFramerState sentenceFramerState{sentenceLimit, false, 0};

// ---- Framing

void sentenceFramerReset() {
    abandonSentence();
    framer.length = 0;
    gpsState.sentenceBuffer[0] = 0;
}

bool sentenceFramerStep(BYTE byte) {
    switch (byte) {
        case '$':  // also inside a sentence: a receiver that restarted mid-sentence
            framer.index = 0;
            framer.pending = true;
            capture(byte);
            return false;
        case '*': {
            const bool completed = framer.pending;
            if (completed) {
                framer.length = framer.index;
                gpsState.sentenceBuffer[framer.index] = 0;
            }
            abandonSentence();
            return completed;
        }
        case '\r':
        case '\n': abandonSentence(); return false;
        default:  // blanks, '#', control characters: text like any other
            capture(byte);
            return false;
    }
}

void dispatchSentence() {
    const WCHAR* sentence = gpsState.sentenceBuffer;
    SentenceHandler handler = handlerFor(sentence);
    if (handler == nullptr) return;
    // The buffer holds framer.length characters and its terminator; a NUL byte received
    // inside the sentence ends the text earlier, which the handlers see as its end too.
    WCHAR copy[sentenceBufferSize];
    std::memcpy(copy, sentence, sizeof(WCHAR) * (framer.length + 1));
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
// cut short never republishes an older fix. Qualities 7 (typed in by hand) and 8
// (simulation) are kept in fixQuality but publish nothing: see isFixQuality.
//
// When an empty field comes before piece 6, piece 6 is not the quality: a receiver
// without a fix that leaves its quality empty ("...,W,,3,2.506,...") would have its
// satellite count read as quality 3. Such a sentence reports no fix (fixQuality 0),
// keeps satellitesUsed and publishes nothing.
void parseGga(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    LPCWSTR timeText = nullptr;
    GpsPosition position{};
    int pieces = 0;
    int inPlace = 0;  // pieces 1 to inPlace stood in their own fields
    uint32_t quality = 0, satellites = 0;
    LPWSTR field = nextField(&cursor);  // the tag
    for (int k = 1; k <= 7; ++k) {
        LPWSTR fieldStart = cursor;
        if ((field = nextField(&cursor)) == nullptr) break;
        pieces = k;
        if (inPlace == k - 1 && field == fieldStart) inPlace = k;
        switch (k) {
            case 1: timeText = field; break;
            case 2: position.latitude = nmeaToDegrees(field, 2); break;
            case 3: position.latitudeHemisphere = field[0]; break;
            case 4: position.longitude = nmeaToDegrees(field, 3); break;
            case 5: position.longitudeHemisphere = field[0]; break;
            case 6: quality = truncateToCount(readNumber(field)); break;
            case 7: satellites = truncateToCount(readNumber(field)); break;
        }
    }
    if (pieces < 6) return;
    if (inPlace < 6) {
        gpsState.fixQuality.store(0, std::memory_order_release);
        return;
    }
    gpsState.fixQuality.store(quality, std::memory_order_release);
    if (inPlace == 7) gpsState.satellitesUsed.store(satellites, std::memory_order_release);
    if (isFixQuality(quality)) publishFix(timeText, position);
}

// $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
//        time   status latitude longitude  (rest not used)
//
// Only status "A" takes the position. Fields missing after the status keep their last
// published values. A sentence without its status field changes nothing. As for GGA, a
// sentence with an empty field among its first six publishes nothing: the pieces after
// it are not the fields they would be read as.
void parseRmc(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    nextField(&cursor);  // the tag
    LPWSTR fieldStart = cursor;
    LPCWSTR timeText = nextField(&cursor);
    bool inPlace = timeText == fieldStart;  // every piece so far stood in its own field
    fieldStart = cursor;
    LPCWSTR status = timeText != nullptr ? nextField(&cursor) : nullptr;
    if (status == nullptr) return;
    inPlace = inPlace && status == fieldStart;
    const int32_t rmcStatus = status[0] == u'A' ? 1 : status[0] == u'V' ? 2 : 0;
    gpsState.rmcStatus.store(rmcStatus, std::memory_order_release);
    if (rmcStatus != 1) return;

    GpsPosition position{};
    unsigned present = 0;
    for (int k = 3; k <= 6; ++k) {
        fieldStart = cursor;
        LPWSTR field = nextField(&cursor);
        if (field == nullptr) break;
        inPlace = inPlace && field == fieldStart;
        present |= 1u << (k - 3);
        switch (k) {
            case 3: position.latitude = nmeaToDegrees(field, 2); break;
            case 4: position.latitudeHemisphere = field[0]; break;
            case 5: position.longitude = nmeaToDegrees(field, 3); break;
            case 6: position.longitudeHemisphere = field[0]; break;
        }
    }
    if (!inPlace) return;
    if (present != 0xFu) completeFromLastPosition(position, present);
    publishFix(timeText, position);
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74
//        sentences, this one, satellites in view, (satellite details not used)
void parseGsv(LPWSTR sentence) {
    LPWSTR cursor = sentence;
    LPWSTR field = nextField(&cursor);  // the tag
    for (int k = 1; k <= 3 && (field = nextField(&cursor)) != nullptr; ++k)
        if (k == 3)
            gpsState.satellitesInView.store(truncateToCount(readNumber(field)),
                                            std::memory_order_release);
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

    // "Position found at %02d:%02d\n%s %s", put together directly: this runs for every
    // fix the receiver sends. The hour and minute come from two digits each.
    WCHAR status[statusTextSize];
    WCHAR* out = append(status, u"Position found at ");
    out = appendTwoDigits(out, fix.lastFixTime.wHour);
    *out++ = u':';
    out = appendTwoDigits(out, fix.lastFixTime.wMinute);
    *out++ = u'\n';
    out = append(out, fix.latitudeText);
    *out++ = u' ';
    out = append(out, fix.longitudeText);
    *out = 0;
    setStatusText(status);
    if (gpsState.positionFound.load() == 0 && gpsState.positionFound.exchange(1) == 0)
        SetTimer(mainWindow, positionFoundTimer, positionFoundDelayMs, nullptr);
}

// ---- Position texts

int formatLatitude(double latitude, WCHAR text[positionTextSize]) {
    return formatAngle(latitude, u'N', u'S', 2, u"??.????", text);
}

int formatLongitude(double longitude, WCHAR text[positionTextSize]) {
    return formatAngle(longitude, u'E', u'W', 3, u"???.????", text);
}
