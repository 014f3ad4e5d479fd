// wsprintfW and the lstr* helpers of the phone's C library, on UTF-16 text, plus the
// UTF-8 conversions the layer uses where text meets Linux (paths, files, SDL).
#include "platform/text.h"

#include <cstring>

namespace {

constexpr int maxFormatted = 1024;  // wsprintfW writes at most this, terminator included

struct Output {
    LPWSTR buffer;
    int length = 0;
    void put(WCHAR c) {
        if (length < maxFormatted - 1) buffer[length++] = c;
    }
};

// Writes `digits` (already converted, most significant first) with sign, width and padding.
void putNumber(Output& out, const char* digits, bool negative, int width, bool zeroPad,
               bool leftAlign) {
    int digitCount = static_cast<int>(std::strlen(digits));
    int total = digitCount + (negative ? 1 : 0);
    int padding = width > total ? width - total : 0;
    if (!leftAlign && !zeroPad)
        for (int i = 0; i < padding; ++i) out.put(u' ');
    if (negative) out.put(u'-');
    if (!leftAlign && zeroPad)
        for (int i = 0; i < padding; ++i) out.put(u'0');
    for (int i = 0; i < digitCount; ++i) out.put(static_cast<WCHAR>(digits[i]));
    if (leftAlign)
        for (int i = 0; i < padding; ++i) out.put(u' ');
}

void toDigits(unsigned long long value, unsigned base, bool upper, char* digits) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[32];
    int n = 0;
    do {
        reversed[n++] = set[value % base];
        value /= base;
    } while (value != 0);
    for (int i = 0; i < n; ++i) digits[i] = reversed[n - 1 - i];
    digits[n] = '\0';
}

}  // namespace

// ---- wvsprintfW / wsprintfW
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    Output out{buffer};
    for (const WCHAR* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        ++p;
        bool zeroPad = false, leftAlign = false;
        for (;; ++p) {
            if (*p == u'0')
                zeroPad = true;
            else if (*p == u'-')
                leftAlign = true;
            else
                break;
        }
        int width = 0;
        while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
        int precision = -1;
        if (*p == u'.') {
            ++p;
            precision = 0;
            while (*p >= u'0' && *p <= u'9') precision = precision * 10 + (*p++ - u'0');
        }
        bool isLong = false;
        while (*p == u'l' || *p == u'h') isLong |= (*p++ == u'l');
        (void)isLong;  // int and long are both 32 bits on the phone
        char digits[32];
        switch (*p) {
            case u'd':
            case u'i': {
                long long value = va_arg(args, int);
                toDigits(value < 0 ? -static_cast<unsigned long long>(value) : value, 10, false,
                         digits);
                putNumber(out, digits, value < 0, width, zeroPad, leftAlign);
                break;
            }
            case u'u':
                toDigits(va_arg(args, unsigned), 10, false, digits);
                putNumber(out, digits, false, width, zeroPad, leftAlign);
                break;
            case u'x':
            case u'X':
                toDigits(va_arg(args, unsigned), 16, *p == u'X', digits);
                putNumber(out, digits, false, width, zeroPad, leftAlign);
                break;
            case u'c': out.put(static_cast<WCHAR>(va_arg(args, int))); break;
            case u's': {
                LPCWSTR text = va_arg(args, LPCWSTR);
                if (text == nullptr) text = u"(null)";
                int length = lstrlenW(text);
                if (precision >= 0 && precision < length) length = precision;
                int padding = width > length ? width - length : 0;
                if (!leftAlign)
                    for (int i = 0; i < padding; ++i) out.put(u' ');
                for (int i = 0; i < length; ++i) out.put(text[i]);
                if (leftAlign)
                    for (int i = 0; i < padding; ++i) out.put(u' ');
                break;
            }
            case u'%': out.put(u'%'); break;
            case 0:
                --p;  // a lone '%' at the end: stop at the terminator
                break;
            default:
                out.put(u'%');
                out.put(*p);
                break;
        }
    }
    buffer[out.length] = 0;
    return out.length;
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int length = wvsprintfW(buffer, format, args);
    va_end(args);
    return length;
}

// ---- lstr* functions
int lstrlenW(LPCWSTR text) {
    if (text == nullptr) return 0;
    int n = 0;
    while (text[n] != 0) ++n;
    return n;
}

LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR source) {
    int i = 0;
    for (; source[i] != 0; ++i) dest[i] = source[i];
    dest[i] = 0;
    return dest;
}

LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int maxLength) {
    if (maxLength <= 0) return dest;
    int i = 0;
    for (; i < maxLength - 1 && source[i] != 0; ++i) dest[i] = source[i];
    dest[i] = 0;
    return dest;
}

LPWSTR lstrcatW(LPWSTR dest, LPCWSTR source) {
    lstrcpyW(dest + lstrlenW(dest), source);
    return dest;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return (*a > *b) - (*a < *b);
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    auto lower = [](WCHAR c) -> WCHAR { return (c >= u'A' && c <= u'Z') ? c + 32 : c; };
    while (*a != 0 && lower(*a) == lower(*b)) ++a, ++b;
    WCHAR x = lower(*a), y = lower(*b);
    return (x > y) - (x < y);
}

LPWSTR StrStrW(LPCWSTR haystack, LPCWSTR needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    for (const WCHAR* start = haystack;; ++start) {
        const WCHAR *h = start, *n = needle;
        while (*n != 0 && *h == *n) ++h, ++n;
        if (*n == 0) return const_cast<LPWSTR>(start);
        if (*start == 0) return nullptr;
    }
}

// ---- UTF-8 conversions
namespace orven {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

size_t decodeUtf8(std::string_view text, size_t i, char32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
    return length;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        int extra;
        if (b < 0x80)
            c = b, extra = 0;
        else if ((b & 0xE0) == 0xC0)
            c = b & 0x1F, extra = 1;
        else if ((b & 0xF0) == 0xE0)
            c = b & 0x0F, extra = 2;
        else if ((b & 0xF8) == 0xF0)
            c = b & 0x07, extra = 3;
        else
            c = 0xFFFD, extra = -1;
        ++i;
        if (extra > 0) {
            if (i + extra > text.size()) {
                c = 0xFFFD;
                i = text.size();
            } else {
                for (int k = 0; k < extra; ++k) {
                    unsigned char cont = static_cast<unsigned char>(text[i]);
                    if ((cont & 0xC0) != 0x80) {
                        c = 0xFFFD;
                        break;
                    }
                    c = (c << 6) | (cont & 0x3F);
                    ++i;
                }
                // Overlong forms, surrogates and values past U+10FFFF are not characters.
                static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
                if (c != 0xFFFD &&
                    (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
                    c = 0xFFFD;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace orven
