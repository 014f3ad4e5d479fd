// UTF-16 text helpers: the phone's wsprintfW and lstr* functions, plus a few
// conversions the layer itself needs at its edges (UTF-8 file names and files).
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/win_types.h"

// Formats into a buffer the caller guarantees to be large enough, as on the phone
// (1024 characters at most are written, terminator included). Supported
// conversions: %d %i %u %x %X %c %s %%, flags '0' and '-', a width, a precision
// (".100s" cuts a text), and the 'l' and 'h' size prefixes (ignored). %s takes a
// UTF-16 text. Returns the number of characters written, terminator excluded.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);

int lstrlenW(LPCWSTR text);
LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR source);
// Copies at most maxLength - 1 characters and always terminates (maxLength > 0).
LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int maxLength);
LPWSTR lstrcatW(LPWSTR dest, LPCWSTR source);
int lstrcmpW(LPCWSTR a, LPCWSTR b);
// Compares ignoring the case of ASCII letters.
int lstrcmpiW(LPCWSTR a, LPCWSTR b);
// First occurrence of needle in haystack, or null. An empty needle is found at the start.
LPWSTR StrStrW(LPCWSTR haystack, LPCWSTR needle);

namespace orven {
// Appends one code point (below U+110000, not a surrogate) in UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);
std::string toUtf8(std::u16string_view text);
// Length of the well-formed UTF-8 sequence at text[i] (i < text.size()) and its code
// point; 0 when there is none (overlong forms, encoded surrogates and values above
// U+10FFFF are not well-formed).
size_t decodeUtf8(std::string_view text, size_t i, char32_t& codePoint);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string fromUtf8(std::string_view text);
}  // namespace orven
