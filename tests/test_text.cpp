// wsprintfW for the formats the program uses, and the UTF-8 conversions at the layer's
// edges.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

std::string narrow(const WCHAR* text) {
    return orven::toUtf8(text);
}

template <typename... Args>
std::string format(const char16_t* fmt, Args... args) {
    WCHAR out[1024];
    int written = wsprintfW(out, fmt, args...);
    EXPECT_EQ(written, lstrlenW(out));
    return narrow(out);
}

TEST(Wsprintf, FormatsTheProgramsConversions) {
    struct Row {
        const char* legend;
        std::string actual;
        std::string expected;
    } rows[] = {
        {"%d negative", format(u"%d", -42), "-42"},
        {"%d minimum", format(u"%d", INT32_MIN), "-2147483648"},
        {"%u", format(u"%u", 4000000000u), "4000000000"},
        {"%x", format(u"%x", 0x1D000Cu), "1d000c"},
        {"%02d pads", format(u"%02d:%02d", 9, 5), "09:05"},
        {"%02d wider than its width", format(u"%02d", 123), "123"},
        {"%03d and %06d", format(u"E%03d.%06d", 11, 516666), "E011.516666"},
        {"%06d small", format(u"%06d", 42), "000042"},
        {"%s", format(u"COM%d: %s", 4, u"open"), "COM4: open"},
        {"%.3s cuts", format(u"[%.3s]", u"abcdef"), "[abc]"},
        {"%.100s shorter", format(u"[%.100s]", u"ab"), "[ab]"},
        {"%% and %c", format(u"100%% %c", u'x'), "100% x"},
        {"degree sign kept", format(u"N%02d.%06d\u00b0", 48, 117300), "N48.117300\u00b0"},
        {"%-5d left", format(u"[%-5d]", 42), "[42   ]"},
        {"status line",
         format(u"Position found at %02d:%02d\n%s %s", 12, 35, u"N48.117300\u00b0",
                u"E011.516666\u00b0"),
         "Position found at 12:35\nN48.117300\u00b0 E011.516666\u00b0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(row.actual, row.expected);
    }
}

TEST(Wsprintf, NeverWritesPastItsLimit) {
    std::u16string longText(5000, u'x');
    std::vector<WCHAR> out(1100, u'#');
    int written = wsprintfW(out.data(), u"%s", longText.c_str());
    EXPECT_EQ(written, 1023);
    EXPECT_EQ(out[1023], 0);
    EXPECT_EQ(out[1024], u'#');
}

TEST(Lstr, CopiesCompareAndSearch) {
    WCHAR buffer[4];
    lstrcpynW(buffer, u"123456", 4);
    EXPECT_EQ(narrow(buffer), "123");
    EXPECT_EQ(lstrcmpiW(u"smartPHONE", u"Smartphone"), 0);
    EXPECT_NE(lstrcmpW(u"Smartphone", u"smartphone"), 0);
    EXPECT_LT(lstrcmpW(u"abc", u"abd"), 0);
    struct {
        const char16_t* haystack;
        const char16_t* needle;
        int at;  // -1: not found
    } rows[] = {{u"-a", u"a", 1},
                {u"A", u"a", -1},
                {u"", u"a", -1},
                {u"xyz", u"", 0},
                {u"+48123456789", u"123456789", 3},
                {u"12", u"123", -1}};
    for (auto& row : rows) {
        SCOPED_TRACE(orven::toUtf8(row.haystack) + " / " + orven::toUtf8(row.needle));
        LPWSTR found = StrStrW(row.haystack, row.needle);
        EXPECT_EQ(found == nullptr ? -1 : static_cast<int>(found - row.haystack), row.at);
    }
}

TEST(Utf8, RoundTripsAndReplacesInvalidInput) {
    std::u16string text = u"ZURV: ORVEN\u2122 \u00b0 \U0001F600";
    EXPECT_EQ(orven::fromUtf8(orven::toUtf8(text)), text);
    struct {
        std::string bytes;
        std::u16string expected;
    } rows[] = {{"\xC3", u"\uFFFD"},          // truncated sequence
                {"\xC0\xAF", u"\uFFFD"},      // overlong '/'
                {"\xED\xA0\x80", u"\uFFFD"},  // encoded surrogate
                {"a\xFFz", u"a\uFFFDz"},      // never a lead byte
                {"\xE2\x84\xA2", u"\u2122"}};
    for (auto& row : rows) EXPECT_EQ(orven::fromUtf8(row.bytes), row.expected);
    EXPECT_EQ(orven::toUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
