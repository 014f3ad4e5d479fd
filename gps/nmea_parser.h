// NMEA 0183 sentences into GpsState: the byte framer, the dispatch on the sentence type,
// the GGA, RMC and GSV handlers, the publication of an accepted position, and the
// position texts. Everything except the position texts runs on the GPS reader thread, one
// reader at a time: the framer's state and `gpsState.sentenceBuffer` are that thread's.
//
// How the reader drives it:
//
//   sentenceFramerReset();                 // once per newly opened port, before its first byte
//   for each byte read from the port:
//       if (sentenceFramer(byte)) {        // a '*' completed the sentence in sentenceBuffer
//           ...the reader's per-sentence steps (lastSentence, status, watchdogs)...
//           dispatchSentence();            // parse it into gpsState
//       }
//
// Nothing is needed when the port reports a new batch of bytes: a sentence split across
// two reads is assembled whole.
//
// Framing rules (one byte at a time, no checksum test):
// - '$' starts a sentence, also inside a running one (a sentence cut short by a restarted
//   receiver is dropped, not glued to the next one).
// - '*' completes the sentence captured since the last '$'. The '*', the checksum digits
//   and the line end are not captured. A '*' with no sentence pending completes nothing.
// - A CR or LF before the '*' abandons the sentence: it was cut off.
// - At most sentenceLimit characters ('$' included) are kept; the rest of a longer
//   sentence is dropped and its '*' completes the part that was kept.
// - Each byte becomes one wide character of the same value, written straight into
//   sentenceBuffer; the '*' terminates it. While a sentence is being captured the buffer
//   holds its first part and whatever followed there before; it stays terminated within
//   its size, since no sentence reaches its last characters.
#pragma once

#include "common/gps_state.h"

constexpr int sentenceLimit = 252;  // characters kept of one sentence, '$' included
static_assert(sentenceLimit < sentenceBufferSize, "the terminator follows the longest sentence");

// Forgets any half-assembled sentence and empties sentenceBuffer, so that a new port never
// completes text from the previous one.
void sentenceFramerReset();

// The framer's state: the reader thread's alone. It is declared here only so that the
// step for an ordinary byte, taken for nearly every byte of a 4800-baud line, can be
// inlined into the reader's loop; nothing outside the framer may touch it.
struct SentenceFramerState {
    int index;     // where the next captured character goes; sentenceLimit outside a sentence
    bool pending;  // a sentence was started and not yet completed or abandoned
    int length;    // characters of the sentence last completed
};
extern SentenceFramerState sentenceFramerState;

// The framer's step for the bytes up to '*': '$', '*', CR, LF, blanks and control bytes.
bool sentenceFramerStep(BYTE byte);

// Feeds one received byte. Returns true when it completed a sentence, which is then in
// gpsState.sentenceBuffer until the next byte. Every byte that frames a sentence ('$',
// '*', CR, LF) is at most '*'; a sentence's text is nearly all above it (',', '.',
// digits, letters), and is captured here.
inline bool sentenceFramer(BYTE byte) {
    if (byte <= '*') return sentenceFramerStep(byte);
    const int index = sentenceFramerState.index;
    if (index < sentenceLimit) {
        gpsState.sentenceBuffer[index] = byte;
        sentenceFramerState.index = index + 1;
    }
    return false;
}

// Hands a private copy of gpsState.sentenceBuffer to parseGga, parseGsv or parseRmc,
// chosen by the letters in positions 3 to 5 (any talker); other types change nothing.
void dispatchSentence();

// The handlers take a copy of a sentence (without '*'), cut it into fields in place and
// update gpsState. GGA and RMC call publishFix for an accepted position.
void parseGga(LPWSTR sentence);
void parseRmc(LPWSTR sentence);
void parseGsv(LPWSTR sentence);

// The angles of an accepted sentence with their hemisphere letters, before the signs are
// applied.
struct GpsPosition {
    double latitude;
    WCHAR latitudeHemisphere;
    double longitude;
    WCHAR longitudeHemisphere;
};

// Makes `position` the last fix: stops watchdog 44, applies the hemisphere signs, stores
// the position, the time text (cut to 11 characters), the fix time and both texts under
// the lock, shows "Position found at %02d:%02d\n%s %s" and starts timer 5 the first time
// after a link reset.
void publishFix(LPCWSTR timeText, GpsPosition position);

// Position texts. Latitude: "N%02d.%06d°" or "S%02d.%06d°"; longitude "E%03d.%06d°" or
// "W%03d.%06d°"; degrees and millionths cut, never rounded. 200 degrees or more, a
// magnitude of a million degrees or more, or not a number: "??.????" / "???.????".
// Writes at most positionTextSize characters with the terminator; returns the length.
int formatLatitude(double latitude, WCHAR text[positionTextSize]);
int formatLongitude(double longitude, WCHAR text[positionTextSize]);

// Splits in place the way wcstok does with the separators ',' and ':': skips a run of
// separators, terminates the piece that follows and moves *cursor past it. Returns null
// when no piece is left, so empty fields yield no piece.
LPWSTR nextField(LPWSTR* cursor);
