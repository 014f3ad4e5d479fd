// The hive text format on its own: what the parser accepts and refuses, that every value
// the registry can hold is written so that it reads back byte for byte, and the key
// look-ups the registry builds on.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/hive.h"
#include "platform/registry.h"

using orven::hive::Hive;
using orven::hive::Key;
using orven::hive::Value;

namespace {

Value text(std::u16string name, std::u16string_view value) {
    return Value{std::move(name), REG_SZ, orven::hive::stringData(value)};
}

Value number(std::u16string name, uint32_t value) {
    return Value{std::move(name),
                 REG_DWORD,
                 {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}};
}

Value raw(std::u16string name, DWORD type, std::vector<uint8_t> data) {
    return Value{std::move(name), type, std::move(data)};
}

// A file as regedit saves it: UTF-16LE after a byte order mark.
std::string utf16File(std::u16string_view content) {
    std::string file = "\xFF\xFE";
    for (char16_t c : content) {
        file += char(c & 0xFF);
        file += char(c >> 8);
    }
    return file;
}

const std::u16string orven16 = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN";

// Readable dump for failure messages.
std::string describe(const Hive& hive) {
    std::ostringstream out;
    for (const Key& key : hive.keys) {
        out << "[" << std::string(key.path.begin(), key.path.end()) << "]";
        for (const Value& value : key.values) {
            out << " " << std::string(value.name.begin(), value.name.end()) << ":" << value.type
                << "/";
            for (uint8_t byte : value.data) out << int(byte) << ",";
        }
        out << "\n";
    }
    return out.str();
}

}  // namespace

TEST(Hive, ParsesTheFormsAPersonOrRegeditWrites) {
    struct Row {
        const char* legend;
        std::string file;
        Hive expected;
    };
    const std::string head = "Windows Registry Editor Version 5.00\n\n";
    const std::vector<Row> rows = {
        {"an empty file is an empty hive", "", {}},
        {"a header alone is an empty hive", head, {}},
        {"one key with each kind of value",
         head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\n\"First name\"=\"Anna\"\n"
                "\"Owner age\"=dword:0000002a\n\"Owner\"=hex:41,00,00,00\n@=\"cmd\"\n",
         {{{orven16,
            {text(u"First name", u"Anna"), number(u"Owner age", 42),
             raw(u"Owner", REG_BINARY, {0x41, 0, 0, 0}), text(u"", u"cmd")}}}}},
        {"CRLF line ends and a UTF-8 byte order mark",
         "\xEF\xBB\xBFWindows Registry Editor Version "
         "5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"1\"\r\n",
         {{{u"HKEY_CURRENT_USER\\A", {text(u"x", u"1")}}}}},
        {"comments, blank lines, indentation and blanks around '='",
         head + "; owner data\n\n  [HKEY_CURRENT_USER\\A]  \n\n ; more\n  \"x\" = dword:1 \n",
         {{{u"HKEY_CURRENT_USER\\A", {number(u"x", 1)}}}}},
        {"hex list continued over lines with a backslash",
         head +
             "[HKEY_CURRENT_USER\\A]\n\"b\"=hex:01,02,\\\n  03,04,\\\n  05\n\"c\"=dword:00000002\n",
         {{{u"HKEY_CURRENT_USER\\A", {raw(u"b", REG_BINARY, {1, 2, 3, 4, 5}), number(u"c", 2)}}}}},
        {"upper-case prefixes and digits, short dword, typed and empty hex",
         head + "[HKEY_CURRENT_USER\\A]\n\"d\"=DWORD:FF\n\"m\"=hex(7):61,00,00,00\n\"e\"=HEX:\n"
                "\"o\"=hex(1):41\n\"big\"=hex(FFFFFFFF):00\n",
         {{{u"HKEY_CURRENT_USER\\A",
            {number(u"d", 255), raw(u"m", 7, {0x61, 0, 0, 0}), raw(u"e", REG_BINARY, {}),
             raw(u"o", REG_SZ, {0x41}), raw(u"big", 0xFFFFFFFF, {0})}}}}},
        {"escapes in names and texts; a backslash that escapes nothing is kept",
         head + "[HKEY_CURRENT_USER\\A]\n\"a\\\"b\\\\c\"=\"\\\"x\\\\\\\"\"\n\"path\"=\"C:"
                "\\Windows\"\n",
         {{{u"HKEY_CURRENT_USER\\A",
            {text(u"a\"b\\c", u"\"x\\\""), text(u"path", u"C:\\Windows")}}}}},
        {"a repeated key merges into its first spelling; a repeated value is replaced in place",
         head + "[HKEY_CURRENT_USER\\Keys]\n\"a\"=\"1\"\n\"b\"=\"2\"\n[hkey_current_user\\KEYS]"
                "\n\"A\"=\"3\"\n",
         {{{u"HKEY_CURRENT_USER\\Keys", {text(u"a", u"3"), text(u"b", u"2")}}}}},
        {"the deletion forms of an import file",
         head + "[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n[HKEY_CURRENT_USER\\A\\B]\n["
                "HKEY_CURRENT_USER\\AB]\n"
                "[HKEY_CURRENT_USER\\A]\n\"x\"=-\n[-HKEY_CURRENT_USER\\A\\B]\n\"ignored\"=\"z\"\n",
         {{{u"HKEY_CURRENT_USER\\A", {text(u"y", u"2")}}, {u"HKEY_CURRENT_USER\\AB", {}}}}},
        {"non-ASCII text, and invalid UTF-8 read as U+FFFD",
         head + "[HKEY_CURRENT_USER\\A]\n\"n\"=\"M\xC3\xBCller "
                "\xF0\x9F\x9A\x91\"\n\"bad\"=\"a\xFF\xC3\"\n",
         {{{u"HKEY_CURRENT_USER\\A",
            {text(u"n", u"M\u00fcller \U0001F691"), text(u"bad", u"a\uFFFD\uFFFD")}}}}},
        {"a UTF-16LE file with its byte order mark, as regedit saves",
         utf16File(u"Windows Registry Editor Version "
                   u"5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n@=\"\u00fc\"\r\n"),
         {{{u"HKEY_CURRENT_USER\\A", {text(u"", u"\u00fc")}}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        const auto result = orven::hive::parse(row.file);
        ASSERT_TRUE(result.ok) << "line " << result.line << ": " << result.error;
        EXPECT_EQ(result.hive, row.expected) << "got:\n"
                                             << describe(result.hive) << "expected:\n"
                                             << describe(row.expected);
    }
}

TEST(Hive, RefusesMalformedFilesNamingTheLine) {
    struct Row {
        const char* legend;
        std::string file;
        size_t line;
    };
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
    const std::vector<Row> rows = {
        {"another header", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", 1},
        {"header after blank lines still checked", "\n\nWindows Registry Editor\n", 3},
        {"a value before any key", "Windows Registry Editor Version 5.00\n\"x\"=\"1\"\n", 2},
        {"a section without ']'", head + "[HKEY_CURRENT_USER\\B\n", 4},
        {"an empty key name", head + "[HKEY_CURRENT_USER\\\\B]\n", 4},
        {"a trailing backslash in a key", head + "[HKEY_CURRENT_USER\\B\\]\n", 4},
        {"an empty section", head + "[]\n", 4},
        {"an unterminated string", head + "\"x\"=\"abc\n", 4},
        {"an unterminated name", head + "\"x=\"abc\"\n", 4},
        {"text after a string", head + "\"x\"=\"abc\" junk\n", 4},
        {"no '=' after the name", head + "\"x\" \"abc\"\n", 4},
        {"nine dword digits", head + "\"x\"=dword:123456789\n", 4},
        {"a dword that is not hex", head + "\"x\"=dword:12g\n", 4},
        {"an empty dword", head + "\"x\"=dword:\n", 4},
        {"an unknown type", head + "\"x\"=qword:1\n", 4},
        {"a bad hex byte", head + "\"x\"=hex:01,1g\n", 4},
        {"a hex byte of three digits", head + "\"x\"=hex:001\n", 4},
        {"an empty hex item", head + "\"x\"=hex:01,,02\n", 4},
        {"a bad hex type", head + "\"x\"=hex(zz):00\n", 4},
        {"hex type without ':'", head + "\"x\"=hex(1)00\n", 4},
        {"a bad byte on a continuation line reports the value's first line",
         head + "\"x\"=hex:01,\\\n  zz\n", 4},
        {"a stray line", head + "hello\n", 4},
        {"an odd-length UTF-16 file", std::string("\xFF\xFEW\0x", 5), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        const auto result = orven::hive::parse(row.file);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, row.line) << result.error;
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(result.hive.keys.empty());
    }
}

// Every value the registry can hold reads back byte for byte; well-formed texts and
// dwords are written in their readable forms.
TEST(Hive, EveryValueReadsBackAsWritten) {
    struct Row {
        const char* legend;
        Value value;
        std::string line;  // expected line in the file; empty: only the round trip
    };
    std::vector<uint8_t> longBinary(300);
    for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = uint8_t(i * 7);
    const std::vector<Row> rows = {
        {"plain text", text(u"First name", u"Anna"), "\"First name\"=\"Anna\""},
        {"empty text: 2 bytes", text(u"First name", u""), "\"First name\"=\"\""},
        {"quotes and backslashes", text(u"a\"\\b", u"\"C:\\\\x\\\""),
         "\"a\\\"\\\\b\"=\"\\\"C:\\\\\\\\x\\\\\\\"\""},
        {"non-ASCII and a surrogate pair", text(u"n", u"\u00e9\U0001F691"),
         "\"n\"=\"\xC3\xA9\xF0\x9F\x9A\x91\""},
        {"default value", text(u"", u"\"\\ORVEN.exe\" -a"), "@=\"\\\"\\\\ORVEN.exe\\\" -a\""},
        {"dword", number(u"Alerts number", 10), "\"Alerts number\"=dword:0000000a"},
        {"negative dword", number(u"GPS port number", uint32_t(-1)),
         "\"GPS port number\"=dword:ffffffff"},
        {"binary", raw(u"Owner", REG_BINARY, {0x41, 0, 0xff}), "\"Owner\"=hex:41,00,ff"},
        {"empty binary", raw(u"b", REG_BINARY, {}), "\"b\"=hex:"},
        {"text of odd size", raw(u"s", REG_SZ, {0x41, 0, 0x42}), "\"s\"=hex(1):41,00,42"},
        {"text without terminator", raw(u"s", REG_SZ, {0x41, 0}), "\"s\"=hex(1):41,00"},
        {"text of no bytes", raw(u"s", REG_SZ, {}), "\"s\"=hex(1):"},
        {"text with a zero inside", raw(u"s", REG_SZ, {0x41, 0, 0, 0, 0x42, 0, 0, 0}), ""},
        {"text with a lone high surrogate", raw(u"s", REG_SZ, {0x00, 0xD8, 0x41, 0, 0, 0}), ""},
        {"text with a lone low surrogate", raw(u"s", REG_SZ, {0x00, 0xDC, 0, 0}), ""},
        {"text ending in a high surrogate", raw(u"s", REG_SZ, {0x00, 0xD8, 0, 0}), ""},
        {"text with a line break", text(u"s", u"a\nb"), "\"s\"=hex(1):61,00,0a,00,62,00,00,00"},
        {"text with a carriage return", text(u"s", u"a\r"), "\"s\"=hex(1):61,00,0d,00,00,00"},
        {"dword of 3 bytes", raw(u"d", REG_DWORD, {1, 2, 3}), "\"d\"=hex(4):01,02,03"},
        {"multi-string", raw(u"m", 7, {0x61, 0, 0, 0, 0, 0}), "\"m\"=hex(7):61,00,00,00,00,00"},
        {"largest type number", raw(u"t", 0xFFFFFFFF, {1}), "\"t\"=hex(ffffffff):01"},
        {"binary over several lines", raw(u"long", REG_BINARY, longBinary), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        Hive hive;
        hive.ensureKey(u"HKEY_CURRENT_USER\\A").values.push_back(row.value);
        const std::string file = orven::hive::write(hive);
        if (!row.line.empty()) {
            EXPECT_NE(file.find("\n" + row.line + "\n"), std::string::npos) << file;
        }
        std::istringstream lines(file);
        for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
        const auto back = orven::hive::parse(file);
        ASSERT_TRUE(back.ok) << "line " << back.line << ": " << back.error << "\n" << file;
        EXPECT_EQ(back.hive, hive) << file;
    }
}

TEST(Hive, WritesHeaderThenEachKeyInOrderWithItsValuesInOrder) {
    Hive hive;
    hive.ensureKey(orven16).values = {number(u"Hardware test", 0), text(u"First name", u"")};
    hive.ensureKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref");
    hive.ensureKey(orven16).setValue(u"hardware TEST", REG_DWORD, {1, 0, 0, 0});
    EXPECT_EQ(orven::hive::write(hive),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\n"
              "\"Hardware test\"=dword:00000001\n"
              "\"First name\"=\"\"\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref]\n"
              "\n");
}

TEST(Hive, KeysExistThroughTheirDescendantsAndCompareWithoutCase) {
    Hive hive;
    hive.ensureKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C1");
    hive.ensureKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\KeysX");
    hive.ensureKey(u"HKEY_LOCAL_MACHINE\\software\\microsoft\\shell\\keys\\40C2\\Deeper");
    hive.ensureKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40c1");  // same key

    EXPECT_EQ(hive.keys.size(), 3u);
    EXPECT_TRUE(hive.keyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys"));
    EXPECT_TRUE(hive.keyExists(u"hkey_local_machine\\SOFTWARE\\MICROSOFT"));
    EXPECT_FALSE(hive.keyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Key"));
    EXPECT_EQ(hive.findKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys"), nullptr);
    EXPECT_EQ(hive.subkeyNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys"),
              (std::vector<std::u16string>{u"40C1", u"40C2"}));
    EXPECT_EQ(hive.subkeyNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell"),
              (std::vector<std::u16string>{u"Keys", u"KeysX"}));

    hive.deleteTree(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\KEYS");
    ASSERT_EQ(hive.keys.size(), 1u);
    EXPECT_EQ(hive.keys[0].path, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\KeysX");
}
