// Number, angle and time conversions for the NMEA fields. The usual field is read
// exactly in one pass over the UTF-16 text; any other number is narrowed into a small
// stack buffer and converted with std::from_chars, which rounds correctly, allocates
// nothing and ignores the locale.
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

// Powers of ten that a double holds exactly.
constexpr double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t exactIntegerLimit = uint64_t{1} << 53;  // every integer below is a double
constexpr int fastDigitsLimit = 19;                        // 10^19 - 1 still fits 64 bits

// The usual NMEA field ("4807.038", "123519.00", "08"): at most 19 digits with an
// optional fraction, no exponent, and a value below 2^53 without its point. Then digits
// and 10^fraction are both exact doubles and one division rounds correctly, giving what
// from_chars gives without narrowing a copy. Returns the digits read (0: no number, and
// *value is 0), or -1 for anything else, which the general path reads.
int readPlainDecimal(LPCWSTR text, int maxLength, double* value) {
    if (maxLength > numberTextLimit) maxLength = numberTextLimit;
    uint64_t digits = 0;  // wraps only past 19 digits, which are refused below
    int count = 0;
    int fraction = 0;
    int n = 0;
    for (; n < maxLength && isDigit(text[n]); ++n, ++count)
        digits = digits * 10 + static_cast<uint64_t>(text[n] - u'0');
    if (n < maxLength && text[n] == u'.')
        for (++n; n < maxLength && isDigit(text[n]); ++n, ++count, ++fraction)
            digits = digits * 10 + static_cast<uint64_t>(text[n] - u'0');
    if (count > fastDigitsLimit || digits >= exactIntegerLimit) return -1;
    if (n < maxLength && (text[n] == u'e' || text[n] == u'E')) return -1;
    *value = static_cast<double>(digits) / exactPowersOfTen[fraction];
    return count;
}

}  // namespace

double readUnsignedNumber(LPCWSTR text, int maxLength) {
    double value;
    if (readPlainDecimal(text, maxLength, &value) >= 0) return value;
    char digits[numberTextLimit + 1];
    int length = scanDecimal(text, maxLength, digits);
    return length == 0 ? 0.0 : convertDecimal(digits, length);
}

double readNumber(LPCWSTR text, int maxLength) {
    int i = 0;
    while (i < maxLength && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < maxLength && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    double value;
    int length = readPlainDecimal(text + i, maxLength - i, &value);
    if (length < 0) {
        char digits[numberTextLimit + 1];
        length = scanDecimal(text + i, maxLength - i, digits);
        if (length > 0) value = convertDecimal(digits, length);
    }
    if (length == 0) return 0.0;  // a sign alone is no number: +0, as wcstod gives
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
