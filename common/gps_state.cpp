// The shared GPS record and the few locked copies in and out of it. Every critical
// section here copies at most a few hundred bytes, so neither thread waits long for the
// other: the GUI copies what it needs and paints from its copy.
#include "common/gps_state.h"

GpsState gpsState;

namespace {

// Copies at most size - 1 characters and terminates: the record's texts never overflow.
void copyText(WCHAR* dest, const WCHAR* source, int size) {
    int i = 0;
    for (; i < size - 1 && source[i] != 0; ++i) dest[i] = source[i];
    dest[i] = 0;
}

template <size_t size>
void terminate(WCHAR (&text)[size]) {
    text[size - 1] = 0;
}

}  // namespace

GpsFix copyGpsFix() {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    return gpsState;  // the GpsFix part, whole
}

void storeGpsFix(const GpsFix& fix) {
    GpsFix& stored = gpsState;
    std::lock_guard<std::mutex> hold(gpsState.lock);
    stored = fix;
    terminate(stored.fixTimeText);
    terminate(stored.latitudeText);
    terminate(stored.longitudeText);
}

void storePosition(double latitude, double longitude, LPCWSTR latitudeText, LPCWSTR longitudeText,
                   const SYSTEMTIME& fixTime) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    gpsState.latitude = latitude;
    gpsState.longitude = longitude;
    copyText(gpsState.latitudeText, latitudeText, positionTextSize);
    copyText(gpsState.longitudeText, longitudeText, positionTextSize);
    gpsState.lastFixTime = fixTime;
}

void setLastSentence(LPCWSTR text) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    copyText(gpsState.lastSentence, text, lastSentenceSize);
}

void copyLastSentence(WCHAR text[lastSentenceSize]) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    copyText(text, gpsState.lastSentence, lastSentenceSize);
}

bool lastSentenceContains(LPCWSTR needle) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    return StrStrW(gpsState.lastSentence, needle) != nullptr;
}

SYSTEMTIME readClockSnapshot() {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    return gpsState.clockSnapshot;
}

void setClockSnapshot(const SYSTEMTIME& time) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    gpsState.clockSnapshot = time;
}
