// The NMEA field conversions: wcstod-style numbers (checked against the C library's own
// wcstod), counts, angles and the fix time.
#include <gtest/gtest.h>

#include <cmath>
#include <cwchar>
#include <random>
#include <string>

#include "gps/nmea_conversions.h"
#include "platform/testing.h"

namespace {

std::wstring toWide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string toNarrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// The C library's reading of the same text, limited to maxLength characters.
double libraryReading(const std::u16string& text, size_t maxLength = std::u16string::npos) {
    std::wstring wide = toWide(text.substr(0, maxLength));
    return std::wcstod(wide.c_str(), nullptr);
}

void expectSameNumber(double expected, double actual) {
    if (std::isinf(expected))
        EXPECT_EQ(expected, actual);
    else
        EXPECT_DOUBLE_EQ(expected, actual);
    EXPECT_EQ(std::signbit(expected), std::signbit(actual));
}

TEST(NmeaNumbers, ReadLikeWcstod) {
    const char16_t* rows[] = {
        u"4807.038",
        u"01131.000",
        u"  12.5",
        u"\t-3",
        u"+7",
        u"-0",
        u"1e3",
        u"1e",
        u"1e+",
        u"1.5E-2x",
        u".5",
        u"5.",
        u".",
        u"",
        u"abc",
        u"12,34",
        u"0012",
        u"1e999",
        u"-1e999",
        u"1e-999",
        u"9999999999999999999999",
        u"3.14159265358979323846264338327950288",
        u"00.000",
        u"- 5",
        u"--5",
        u"+-5",
        u"1.2.3",
        u"4807.038,N",
        u"12e5",
        u"0.1e-3z",
        u"123456789012345678901234567890e-20",
        u"A",
        u"08",
        u"545.4M",
    };
    for (const char16_t* row : rows) {
        std::u16string text = row;
        SCOPED_TRACE("text \"" + toNarrow(text) + "\"");
        expectSameNumber(libraryReading(text), readNumber(text.c_str()));
    }
}

// Random texts over the characters a number can be made of, plus separators.
TEST(NmeaNumbers, RandomTextsReadLikeWcstod) {
    const char16_t alphabet[] = u"0123456789..eE+- ,A";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet / sizeof alphabet[0] - 2);
    std::uniform_int_distribution<int> length(0, 14);
    for (int i = 0; i < 5000; ++i) {
        std::u16string text;
        for (int n = length(random); n > 0; --n) text += alphabet[pick(random)];
        SCOPED_TRACE("text \"" + toNarrow(text) + "\"");
        expectSameNumber(libraryReading(text), readNumber(text.c_str()));
    }
}

// The usual fields (digits with a point, up to twenty of them) are read to the last bit
// the C library gives, not just to a few units in the last place.
TEST(NmeaNumbers, PlainDecimalsReadExactly) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> digit(0, 9), count(1, 20);
    for (int i = 0; i < 20000; ++i) {
        std::u16string text;
        const int digits = count(random);
        const int point = std::uniform_int_distribution<int>(0, digits)(random);
        for (int n = 0; n < digits; ++n) {
            if (n == point) text += u'.';
            text += static_cast<char16_t>(u'0' + digit(random));
        }
        SCOPED_TRACE("text \"" + toNarrow(text) + "\"");
        const double expected = libraryReading(text);
        ASSERT_EQ(expected, readNumber(text.c_str()));
        ASSERT_EQ(expected, readUnsignedNumber(text.c_str()));
        ASSERT_EQ(-expected, readNumber((u"-" + text).c_str()));
    }
}

TEST(NmeaNumbers, ReadStopsAtTheGivenLength) {
    struct Row {
        const char* legend;
        const char16_t* text;
        int maxLength;
    } rows[] = {
        {"two of five digits", u"12345", 2},
        {"point at the limit", u"12.5", 3},
        {"exponent cut before its digits", u"1e5", 2},
        {"sign only", u"-5", 1},
        {"nothing", u"12", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        std::u16string text = row.text;
        expectSameNumber(libraryReading(text, row.maxLength), readNumber(row.text, row.maxLength));
    }
}

TEST(NmeaNumbers, UnsignedReadingRefusesSignsAndBlanks) {
    struct Row {
        const char* legend;
        const char16_t* text;
        double expected;
    } rows[] = {
        {"plain", u"4807.038", 4807.038},  {"minus sign", u"-48", 0.0},
        {"plus sign", u"+48", 0.0},        {"leading blank", u" 48", 0.0},
        {"trailing letter", u"48N", 48.0}, {"exponent", u"1e2", 100.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(row.expected, readUnsignedNumber(row.text));
    }
}

TEST(NmeaNumbers, CountsAreCutTowardZeroAndBounded) {
    struct Row {
        const char* legend;
        double value;
        uint32_t expected;
    } rows[] = {
        {"one", 1.0, 1},
        {"eight and a bit", 8.9, 8},
        {"below one", 0.5, 0},
        {"zero", 0.0, 0},
        {"negative", -1.0, 0},
        {"not a number", std::nan(""), 0},
        {"largest count", 4294967295.0, 4294967295u},
        {"too large", 1e20, 4294967295u},
        {"infinity", INFINITY, 4294967295u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(row.expected, truncateToCount(row.value));
    }
}

TEST(NmeaAngles, FieldToDegrees) {
    struct Row {
        const char* legend;
        const char16_t* field;
        int degreeDigits;
        double expected;
    } rows[] = {
        {"latitude ddmm.mmm", u"4807.038", 2, 48.0 + 7.038 / 60.0},
        {"longitude dddmm.mmm", u"01131.000", 3, 11.0 + 31.0 / 60.0},
        {"zero", u"00000.000", 3, 0.0},
        {"minutes of 60 or more are kept", u"4875.000", 2, 49.25},
        {"cold-start placeholder", u"8960.0000", 2, 90.0},
        {"out-of-range longitude", u"72000.0000", 3, 720.0},
        {"no fraction", u"4807", 2, 48.0 + 7.0 / 60.0},
        {"stops at a letter", u"4807.5N", 2, 48.0 + 7.5 / 60.0},
        {"minutes start with a point", u"48.5", 2, 48.0 + 0.5 / 60.0},
        {"minutes start with a sign", u"48-07", 2, 48.0},
        {"sign among the degree digits", u"-4807", 2, 807.0 / 60.0},
        {"shorter than its degree digits", u"4", 2, 4.0},
        {"exactly its degree digits", u"123", 3, 123.0},
        {"no digits", u"N", 2, 0.0},
        {"letters in the degrees", u"x807.0", 2, 7.0 / 60.0},
        {"huge minutes", u"001e999", 2, INFINITY},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        double actual = nmeaToDegrees(row.field, row.degreeDigits);
        if (std::isinf(row.expected))
            EXPECT_EQ(row.expected, actual);
        else
            EXPECT_NEAR(row.expected, actual, 1e-12);
        EXPECT_GE(actual, 0.0);
    }
}

TEST(NmeaFixTime, TimeTextOverTheClockDate) {
    orven::test::useVirtualClock(SYSTEMTIME{2026, 3, 0, 14, 9, 41, 27, 345});
    SYSTEMTIME clock;
    GetSystemTime(&clock);
    struct Row {
        const char* legend;
        const char16_t* text;
        WORD hour, minute, second;
    } rows[] = {
        {"hhmmss", u"123519", 12, 35, 19},
        {"fraction dropped", u"235959.99", 23, 59, 59},
        {"midnight", u"000000.000", 0, 0, 0},
        {"no seconds", u"1235", 12, 35, 0},
        {"half a pair", u"12351", 12, 35, 1},
        {"hour only", u"07", 7, 0, 0},
        {"empty", u"", 0, 0, 0},
        {"point inside a pair", u"1.3519", 1, 35, 19},
        {"sign inside a pair", u"-93519", 0, 35, 19},
        {"garbled time from a merged sentence", u"030130$GPGL", 3, 1, 30},
        {"out-of-range digits are kept", u"996199", 99, 61, 99},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        SYSTEMTIME time = buildFixTime(row.text);
        EXPECT_EQ(row.hour, time.wHour);
        EXPECT_EQ(row.minute, time.wMinute);
        EXPECT_EQ(row.second, time.wSecond);
        // The date and the milliseconds come from the clock.
        EXPECT_EQ(clock.wYear, time.wYear);
        EXPECT_EQ(clock.wMonth, time.wMonth);
        EXPECT_EQ(clock.wDay, time.wDay);
        EXPECT_EQ(clock.wDayOfWeek, time.wDayOfWeek);
        EXPECT_EQ(clock.wMilliseconds, time.wMilliseconds);
    }
}

}  // namespace
