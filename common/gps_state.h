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

// The fields of the last fix, guarded by `gpsState.lock`; written by the reader (publish)
// and the GUI (the self-tests), read by both. GpsState holds them as its base, so that
// the fix is copied out or in whole (copyGpsFix, storeGpsFix) and never field by field.
struct GpsFix {
    // Time field of the last accepted sentence, cut to 11 characters.
    WCHAR fixTimeText[fixTimeTextSize]{};
    double latitude = 0.0;          // decimal degrees, north positive
    WCHAR latitudeHemisphere = 0;   // 'N' or 'S' as last read
    double longitude = 0.0;         // decimal degrees, east positive
    WCHAR longitudeHemisphere = 0;  // 'E' or 'W' as last read
    // Time of the last accepted sentence; only hour and minute are read.
    SYSTEMTIME lastFixTime{};
    WCHAR latitudeText[positionTextSize]{};   // display text of `latitude`
    WCHAR longitudeText[positionTextSize]{};  // display text of `longitude`
};

// Values of `searchState`.
constexpr int32_t searchIdle = 0;          // idle, receiver lost or given up
constexpr int32_t searching = 1;           // a receiver search is under way
constexpr int32_t noReceiverFound = 2;     // no receiver on any port
constexpr int32_t receiverFoundState = 3;  // the receiver answered

struct GpsState : GpsFix {
    // The open GPS port, or INVALID_HANDLE_VALUE. Written by the GUI thread (port open and
    // close); the reader thread polls it to learn that its port was closed.
    std::atomic<HANDLE> portHandle{INVALID_HANDLE_VALUE};
    // 1 once a sentence holding "$GP" came in on the open port. Reader (found), GUI (link reset).
    std::atomic<int32_t> receiverFound{0};
    // First 100 characters of the last completed sentence. Guarded by `lock`. Reader only.
    WCHAR lastSentence[lastSentenceSize]{};
    // The sentence being assembled, one character per byte. Reader thread only, no lock.
    WCHAR sentenceBuffer[sentenceBufferSize]{};
    // searchIdle, searching, noReceiverFound or receiverFoundState (see above).
    // GUI (search steps, watchdogs, GPS test) and reader (receiver found).
    std::atomic<int32_t> searchState{searchIdle};
    std::atomic<uint32_t> satellitesUsed{0};    // from GGA. Reader only.
    std::atomic<uint32_t> satellitesInView{0};  // from GSV. Reader only.
    std::atomic<uint32_t> fixQuality{
        0};                             // GGA quality; see isFixQuality. Reader, GUI (link reset).
    std::atomic<int32_t> rmcStatus{0};  // 1 "A", 2 "V", 0 other. Reader, GUI (link reset).
    // 1 from the first accepted sentence after a link reset. Reader (publish), GUI (link reset).
    std::atomic<int32_t> positionFound{0};
    // The device clock as last read. `lock`; reader (before each wait), GUI (timers, alert test).
    SYSTEMTIME clockSnapshot{};
    // Guards every field above that is neither atomic nor reader-only.
    std::mutex lock;
};

extern GpsState gpsState;

// Whether a GGA quality puts the owner where the position says. 0 is no fix; 7 is a
// position typed in by hand and 8 a receiver in simulation mode: neither is where the
// receiver is, so both count as no fix (they are still kept in `fixQuality`).
constexpr bool isFixQuality(uint32_t quality) {
    return quality != 0 && quality != 7 && quality != 8;
}

// The last fix, copied out or in whole under `gpsState.lock`. A stored text that fills
// its field is cut by its last character, so the record's texts are always terminated.
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
