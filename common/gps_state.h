// GpsState: the one record of the GPS link and the last position fix.
//
// Two threads share it. The GPS reader thread assembles and parses the sentences and
// writes almost every field; the GUI thread resets the link, runs the receiver search
// and the self-tests, and reads the fields when it paints, on its timers and when it
// composes the alert message.
//
// How it is shared:
// - Every 32-bit word (flags, counts, states) is a std::atomic and is read and written
//   whole, without a lock.
// - The texts, the two angles with their hemisphere letters and the two SYSTEMTIMEs are
//   guarded by `gpsState.lock`. Hold it only to copy a few hundred bytes in or out: never
//   while painting, formatting a status text, playing a sound or calling the window
//   manager. The helpers below do exactly that and are the usual way in.
// - `sentenceBuffer` belongs to the reader thread alone (the framer and the per-sentence
//   steps); nobody else may touch it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/windows.h"

constexpr int lastSentenceSize = 260;    // characters of `lastSentence`, terminator included
constexpr int sentenceBufferSize = 256;  // characters of `sentenceBuffer`, terminator included
constexpr int fixTimeTextSize = 12;      // "hhmmss.sss" and a spare, terminator included
constexpr int positionTextSize = 16;     // "S999999.999999°" (15 characters) and the terminator

struct GpsState {
    // The open GPS port, or INVALID_HANDLE_VALUE. Written by the GUI thread (port open and
    // close); the reader thread polls it to learn that its port was closed.
    std::atomic<HANDLE> portHandle{INVALID_HANDLE_VALUE};
    // 1 once a sentence holding "$GP" came in on the open port. Reader (found), GUI (link reset).
    std::atomic<int32_t> receiverFound{0};
    // First 100 characters of the last completed sentence. Guarded by `lock`. Reader only.
    WCHAR lastSentence[lastSentenceSize]{};
    // The sentence being assembled, one character per byte. Reader thread only, no lock.
    WCHAR sentenceBuffer[sentenceBufferSize]{};
    // 0 idle, lost or given up; 1 searching; 2 no receiver on any port; 3 receiver found.
    // GUI (search steps, watchdogs, GPS test) and reader (receiver found).
    std::atomic<int32_t> searchState{0};
    std::atomic<uint32_t> satellitesUsed{0};    // from GGA. Reader only.
    std::atomic<uint32_t> satellitesInView{0};  // from GSV. Reader only.
    std::atomic<uint32_t> fixQuality{0};  // GGA quality, 0 = no fix. Reader, GUI (link reset).
    std::atomic<int32_t> rmcStatus{0};    // 1 "A", 2 "V", 0 other. Reader, GUI (link reset).
    // Time field of the last accepted sentence, cut to 11 characters. Guarded by `lock`.
    // Reader (publish) and GUI (alert-sending test).
    WCHAR fixTimeText[fixTimeTextSize]{};
    double latitude = 0.0;          // decimal degrees, north positive. `lock`; reader, GUI (tests).
    WCHAR latitudeHemisphere = 0;   // 'N' or 'S' as last read. `lock`; reader, GUI (tests).
    double longitude = 0.0;         // decimal degrees, east positive. `lock`; reader, GUI (tests).
    WCHAR longitudeHemisphere = 0;  // 'E' or 'W' as last read. `lock`; reader, GUI (tests).
    // Time of the last accepted sentence; only hour and minute are read. `lock`; reader, GUI (tests).
    SYSTEMTIME lastFixTime{};
    WCHAR latitudeText
        [positionTextSize]{};  // display text of `latitude`. `lock`; reader, GUI (tests).
    WCHAR longitudeText
        [positionTextSize]{};  // display text of `longitude`. `lock`; reader, GUI (tests).
    // 1 from the first accepted sentence after a link reset. Reader (publish), GUI (link reset).
    std::atomic<int32_t> positionFound{0};
    // The device clock as last read. `lock`; reader (before each wait), GUI (timers, alert test).
    SYSTEMTIME clockSnapshot{};
    // Guards every field above that is neither atomic nor reader-only.
    std::mutex lock;
};

extern GpsState gpsState;

// The fields of the last fix, copied out or in whole under `gpsState.lock`.
struct GpsFix {
    WCHAR fixTimeText[fixTimeTextSize];
    double latitude;
    WCHAR latitudeHemisphere;
    double longitude;
    WCHAR longitudeHemisphere;
    SYSTEMTIME lastFixTime;
    WCHAR latitudeText[positionTextSize];
    WCHAR longitudeText[positionTextSize];
};

GpsFix copyGpsFix();
void storeGpsFix(const GpsFix& fix);
// Writes only the position, its two texts and lastFixTime, as one step: the fix time
// text, the hemisphere letters and the rest of the last fix stay as they were (the
// alert-sending test plants its position this way).
void storePosition(double latitude, double longitude, LPCWSTR latitudeText, LPCWSTR longitudeText,
                   const SYSTEMTIME& fixTime);

// `lastSentence`: set (cut to 259 characters), copy out, and the "$GP" test of the search.
void setLastSentence(LPCWSTR text);
void copyLastSentence(WCHAR text[lastSentenceSize]);
bool lastSentenceContains(LPCWSTR needle);

SYSTEMTIME readClockSnapshot();
void setClockSnapshot(const SYSTEMTIME& time);
