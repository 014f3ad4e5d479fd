// libFuzzer target for everything that reads receiver bytes: the framer, the dispatch and
// the GGA/RMC/GSV handlers fed byte by byte, the handlers and conversions fed the raw
// input as one field text, and the position texts fed arbitrary doubles. Every text must
// stay terminated within its size; the sanitizers catch any access out of bounds.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORVEN_FUZZ=ON && cmake --build build-fuzz
//   --target fuzz_nmea && build-fuzz/fuzz_nmea -max_len=512 -max_total_time=30 tests/data/nmea
//
// -max_len=512 (two sentences of the longest kind) keeps it fast; tools/fuzz-nmea-logs
// runs it longer on whole logs.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/status_text.h"
#include "gps/nmea_conversions.h"
#include "gps/nmea_parser.h"
#include "platform/testing.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

int terminatedLength(const WCHAR* text, int size) {
    for (int i = 0; i < size; ++i)
        if (text[i] == 0) return i;
    return size;
}

bool sameText(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

void checkRecord() {
    require(terminatedLength(gpsState.sentenceBuffer, sentenceBufferSize) <= sentenceLimit);
    GpsFix fix = copyGpsFix();
    require(terminatedLength(fix.fixTimeText, fixTimeTextSize) < fixTimeTextSize);
    require(terminatedLength(fix.latitudeText, positionTextSize) < positionTextSize);
    require(terminatedLength(fix.longitudeText, positionTextSize) < positionTextSize);
    WCHAR text[positionTextSize];
    formatLatitude(fix.latitude, text);
    require(sameText(text, fix.latitudeText) || fix.fixTimeText[0] == 0);
    formatLongitude(fix.longitude, text);
    require(sameText(text, fix.longitudeText) || fix.fixTimeText[0] == 0);
    WCHAR status[statusTextSize];
    copyStatusText(status);
    require(terminatedLength(status, statusTextSize) < statusTextSize);
}

void checkPositionTexts(double value) {
    WCHAR text[positionTextSize + 1];
    text[positionTextSize] = 0x5A5A;  // a guard just past the text's size
    int length = formatLatitude(value, text);
    require(length < positionTextSize && text[length] == 0 && text[positionTextSize] == 0x5A5A);
    length = formatLongitude(value, text);
    require(length < positionTextSize && text[length] == 0 && text[positionTextSize] == 0x5A5A);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        orven::test::useVirtualClock();
        started = true;
    }
    gpsState.positionFound = 0;

    // The reader's way in: one byte at a time.
    sentenceFramerReset();
    for (size_t i = 0; i < size; ++i) {
        if (!sentenceFramer(data[i])) continue;
        require(gpsState.sentenceBuffer[0] == u'$');
        dispatchSentence();
        checkRecord();
    }

    // The whole input as one text, also where no '$' or '*' would let it through.
    WCHAR field[sentenceBufferSize];
    size_t length = size < sentenceBufferSize - 1 ? size : sentenceBufferSize - 1;
    for (size_t i = 0; i < length; ++i) field[i] = data[i];
    field[length] = 0;
    require(nmeaToDegrees(field, 2) >= 0.0 && nmeaToDegrees(field, 3) >= 0.0);
    (void)readNumber(field);
    SYSTEMTIME time = buildFixTime(field);
    require(time.wHour <= 99 && time.wMinute <= 99 && time.wSecond <= 99);
    WCHAR copy[sentenceBufferSize];
    std::memcpy(copy, field, sizeof field);
    parseGga(copy);
    std::memcpy(copy, field, sizeof field);
    parseRmc(copy);
    std::memcpy(copy, field, sizeof field);
    parseGsv(copy);
    checkRecord();

    // Arbitrary doubles, infinities and NaNs included.
    for (size_t i = 0; i + sizeof(double) <= size; i += sizeof(double)) {
        double value;
        std::memcpy(&value, data + i, sizeof value);
        checkPositionTexts(value);
    }
    // The platform keeps each traced timer call for the tests. Dropped here, the lines of
    // this input leave its allocations and frees even, so libFuzzer does not scan for a
    // leak after every input (which made it about ten times slower).
    orven::test::clearTrace();
    return 0;
}
