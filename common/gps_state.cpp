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

}  // namespace

GpsFix copyGpsFix() {
    GpsFix fix;
    std::lock_guard<std::mutex> hold(gpsState.lock);
    copyText(fix.fixTimeText, gpsState.fixTimeText, fixTimeTextSize);
    fix.latitude = gpsState.latitude;
    fix.latitudeHemisphere = gpsState.latitudeHemisphere;
    fix.longitude = gpsState.longitude;
    fix.longitudeHemisphere = gpsState.longitudeHemisphere;
    fix.lastFixTime = gpsState.lastFixTime;
    copyText(fix.latitudeText, gpsState.latitudeText, positionTextSize);
    copyText(fix.longitudeText, gpsState.longitudeText, positionTextSize);
    return fix;
}

void storeGpsFix(const GpsFix& fix) {
    std::lock_guard<std::mutex> hold(gpsState.lock);
    copyText(gpsState.fixTimeText, fix.fixTimeText, fixTimeTextSize);
    gpsState.latitude = fix.latitude;
    gpsState.latitudeHemisphere = fix.latitudeHemisphere;
    gpsState.longitude = fix.longitude;
    gpsState.longitudeHemisphere = fix.longitudeHemisphere;
    gpsState.lastFixTime = fix.lastFixTime;
    copyText(gpsState.latitudeText, fix.latitudeText, positionTextSize);
    copyText(gpsState.longitudeText, fix.longitudeText, positionTextSize);
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
