// Hive files: the registry's own export format ("Windows Registry Editor Version 5.00"),
// parsed into an in-memory hive and written back from it. Pure: no files, no locks, no
// global state, so the parser can be tested and fuzzed on its own. registry.cpp adds the
// files, the handles and the locking.
//
// The text, as a person sees it (UTF-8 on disk, LF line ends when written):
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\ZURV\ORVEN]
//   "First name"="Anna"
//   "Owner age"=dword:0000002a
//   "Owner"=hex:41,00,6e,00,6e,00,61,00
//   @="\"\\Windows\\ORVEN.exe\" -a"
//
// Read leniently where a person's edit is harmless: CRLF or LF, a UTF-8 byte order mark
// (or a UTF-16LE file with its mark, as regedit itself saves), blank lines, ';' comment
// lines, spaces around '=', hex lists continued with '\' at the line end, fewer than 8
// digits after "dword:", a backslash in a string that escapes nothing (kept as written),
// invalid UTF-8 (read as U+FFFD). The deletion forms of an import file ("[-key]" and
// "name"=-) remove what was read before them. Anything else is an error with its line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace orven::hive {

// One value. REG_SZ data is kept as the phone keeps it: UTF-16LE code units including
// the terminating zero, so an empty string is 2 bytes. Data of any type is kept byte for
// byte; the writer picks a text form that reads back to the same bytes:
//   REG_SZ that is well formed (even size, one terminating zero at the end and none
//     before it, paired surrogates, no CR or LF)  -> "name"="text"
//   REG_DWORD of exactly 4 bytes                   -> "name"=dword:0000000a
//   REG_BINARY                                     -> "name"=hex:01,02
//   anything else (a REG_SZ with an odd size, no terminator, a lone surrogate or a line
//   break; a DWORD of another size; other types)   -> "name"=hex(1):..., hex(4):..., hex(7):...
// so nothing stored through the registry functions is lost or changed by a save.
struct Value {
    std::u16string name;        // empty for the key's default value, written as @
    DWORD type = 0;             // REG_SZ, REG_DWORD, REG_BINARY or any other number
    std::vector<uint8_t> data;  // the stored bytes

    bool operator==(const Value&) const = default;
};

struct Key {
    // Full path with its root, as first spelt: u"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN".
    std::u16string path;
    std::vector<Value> values;  // in order of first setting; written back in that order

    // Value names compare without regard to case, as on the phone.
    Value* findValue(std::u16string_view name);
    const Value* findValue(std::u16string_view name) const;
    // Replaces the data and type of an existing value in place (its place in the order
    // and the spelling of its name stay), or appends a new value.
    void setValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data);
    bool deleteValue(std::u16string_view name);

    bool operator==(const Key&) const = default;
};

// The keys of one hive file, in order of first appearance. A key exists when it is
// listed or when a listed key lies below it: ancestors need no section of their own
// (an import file does not need them either). O(n) look-ups, but n is a few dozen keys.
struct Hive {
    std::vector<Key> keys;

    Key* findKey(std::u16string_view path);
    const Key* findKey(std::u16string_view path) const;
    // The listed key, appended (with no values) when missing.
    Key& ensureKey(std::u16string_view path);
    bool keyExists(std::u16string_view path) const;
    // Names of the direct subkeys of path (listed or implied), without duplicates, in
    // order of first appearance.
    std::vector<std::u16string> subkeyNames(std::u16string_view path) const;
    // Removes path and every key below it.
    void deleteTree(std::u16string_view path);

    bool operator==(const Hive&) const = default;
};

constexpr std::string_view header = "Windows Registry Editor Version 5.00";

// Case-insensitive comparison of key paths and value names. Only ASCII letters are
// folded: every name the program and the shell use is ASCII.
bool sameName(std::u16string_view a, std::u16string_view b);

struct ParseResult {
    bool ok = false;
    Hive hive;          // what was read (empty when !ok)
    size_t line = 0;    // 1-based line of the error
    std::string error;  // what was wrong there, in a few words
};

// An empty file (or one with only blank lines) is an empty hive.
ParseResult parse(std::string_view fileText);
std::string write(const Hive& hive);

// REG_SZ data for a text: its UTF-16LE code units and the terminating zero.
std::vector<uint8_t> stringData(std::u16string_view text);

}  // namespace orven::hive
