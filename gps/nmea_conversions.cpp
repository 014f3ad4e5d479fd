// Number, angle and time conversions for the NMEA fields. The numbers are scanned on the
// UTF-16 text, narrowed into a small stack buffer and converted with std::from_chars,
// which rounds correctly, allocates nothing and ignores the locale.
#include "gps/nmea_conversions.h"

#include <charconv>
#include <cstdlib>

namespace {

bool isDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

bool isBlank(WCHAR c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Scans the longest unsigned decimal number at the start of text (at most maxLength
// characters, never past the terminator): digits, an optional point and digits, and an
// exponent only when digits follow it. Copies it into out (at least numberTextLimit + 1
// chars), terminated; returns its length, 0 when there is no number.
int scanDecimal(LPCWSTR text, int maxLength, char* out) {
    if (maxLength > numberTextLimit) maxLength = numberTextLimit;
    int n = 0;
    int mantissaDigits = 0;
    while (n < maxLength && isDigit(text[n])) ++n, ++mantissaDigits;
    if (n < maxLength && text[n] == u'.') {
        ++n;
        while (n < maxLength && isDigit(text[n])) ++n, ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0;
    if (n < maxLength && (text[n] == u'e' || text[n] == u'E')) {
        int e = n + 1;
        if (e < maxLength && (text[e] == u'+' || text[e] == u'-')) ++e;
        if (e < maxLength && isDigit(text[e])) {
            while (e < maxLength && isDigit(text[e])) ++e;
            n = e;
        }
    }
    for (int i = 0; i < n; ++i) out[i] = static_cast<char>(text[i]);
    out[n] = 0;
    return n;
}

double convertDecimal(const char* digits, int length) {
    double value = 0.0;
    auto [end, error] = std::from_chars(digits, digits + length, value);
    (void)end;
    // Out of range: strtod gives infinity or the underflowed value as wcstod would.
    if (error == std::errc::result_out_of_range) value = std::strtod(digits, nullptr);
    return value;
}

}  // namespace

double readUnsignedNumber(LPCWSTR text, int maxLength) {
    char digits[numberTextLimit + 1];
    int length = scanDecimal(text, maxLength, digits);
    return length == 0 ? 0.0 : convertDecimal(digits, length);
}

double readNumber(LPCWSTR text, int maxLength) {
    int i = 0;
    while (i < maxLength && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < maxLength && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    char digits[numberTextLimit + 1];
    int length = scanDecimal(text + i, maxLength - i, digits);
    if (length == 0) return 0.0;  // a sign alone is no number: +0, as wcstod gives
    double value = convertDecimal(digits, length);
    return negative ? -value : value;
}

uint32_t truncateToCount(double value) {
    if (!(value >= 1.0)) return 0;  // also NaN
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

double nmeaToDegrees(LPCWSTR field, int degreeDigits) {
    double degrees = readUnsignedNumber(field, degreeDigits);
    int present = 0;
    while (present < degreeDigits && field[present] != 0) ++present;
    if (present < degreeDigits) return degrees;
    // The field with its degree characters replaced by '0' reads the same as the rest of
    // the field when that starts with a digit or a point; otherwise the zeros alone are
    // the number.
    LPCWSTR rest = field + degreeDigits;
    double minutes = isDigit(rest[0]) || rest[0] == u'.' ? readUnsignedNumber(rest) : 0.0;
    return degrees + minutes / 60.0;
}

SYSTEMTIME buildFixTime(LPCWSTR timeText) {
    SYSTEMTIME time;
    GetSystemTime(&time);
    int length = 0;
    while (length < 6 && timeText[length] != 0) ++length;
    WORD* members[3] = {&time.wHour, &time.wMinute, &time.wSecond};
    for (int pair = 0; pair < 3; ++pair) {
        int start = 2 * pair;
        int available = length - start < 2 ? length - start : 2;
        double value = available > 0 ? readUnsignedNumber(timeText + start, available) : 0.0;
        *members[pair] = static_cast<WORD>(value);  // two digits at most: 0 to 99
    }
    return time;
}
