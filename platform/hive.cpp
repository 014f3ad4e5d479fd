// Hive files: parser and writer of the registry's export text format. Writing uses the
// layer's UTF-8 conversion; reading has its own, so that what counts as well-formed text
// in a hive is decided here and nowhere else.
#include "platform/hive.h"

#include <cstdio>
#include <optional>

#include "platform/text.h"

namespace orven::hive {

namespace {

constexpr DWORD regSz = 1;      // REG_SZ
constexpr DWORD regBinary = 3;  // REG_BINARY
constexpr DWORD regDword = 4;   // REG_DWORD
constexpr char16_t replacement = 0xFFFD;
// regedit keeps hex lines within 80 columns, the continuation '\' included.
constexpr size_t hexWrapColumn = 77;

char16_t foldCase(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

bool startsWithPath(std::u16string_view path, std::u16string_view ancestor) {
    return path.size() > ancestor.size() && path[ancestor.size()] == u'\\' &&
           sameName(path.substr(0, ancestor.size()), ancestor);
}

// ---- UTF-8 and UTF-16

bool isHighSurrogate(uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A lone surrogate becomes U+FFFD: only names can hold one, and the registry refuses
// such names before they reach a hive.
void appendUtf8(std::string& out, std::u16string_view text) {
    out += orven::toUtf8(text);
}

// Each byte that does not start a well-formed sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const size_t length = orven::decodeUtf8(text, i, c);
        if (length == 0) {
            out += replacement;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += length;
    }
    return out;
}

// A file saved by regedit: UTF-16LE after its byte order mark.
std::optional<std::string> utf16FileToUtf8(std::string_view bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::u16string units;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        units += char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
    }
    std::string out;
    appendUtf8(out, units);
    return out;
}

char16_t unitAt(const std::vector<uint8_t>& data, size_t index) {
    return char16_t(data[2 * index] | (data[2 * index + 1] << 8));
}

// See Value: only such strings are written as quoted text.
bool isPlainString(const std::vector<uint8_t>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    const size_t units = data.size() / 2;
    if (unitAt(data, units - 1) != 0) return false;
    for (size_t i = 0; i + 1 < units; ++i) {
        const char16_t c = unitAt(data, i);
        if (c == 0 || c == u'\r' || c == u'\n' || isLowSurrogate(c)) return false;
        if (isHighSurrogate(c)) {
            if (i + 2 >= units || !isLowSurrogate(unitAt(data, i + 1))) return false;
            ++i;
        }
    }
    return true;
}

// ---- Writer

void appendQuoted(std::string& out, std::u16string_view text) {
    std::string utf8;
    appendUtf8(utf8, text);
    out += '"';
    for (char c : utf8) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void appendHex(std::string& out, DWORD type, const std::vector<uint8_t>& data) {
    char prefix[24];
    if (type == regBinary) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", unsigned(type));
    }
    out += prefix;
    size_t column = out.size() - (out.rfind('\n') + 1);
    for (size_t i = 0; i < data.size(); ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", unsigned(data[i]));
        out += digits;
        column += 2;
        if (i + 1 == data.size()) break;
        out += ',';
        ++column;
        if (column >= hexWrapColumn) {
            out += "\\\n  ";
            column = 2;
        }
    }
}

void appendValue(std::string& out, const Value& value) {
    if (value.name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, value.name);
    }
    out += '=';
    if (value.type == regSz && isPlainString(value.data)) {
        std::u16string text;
        for (size_t i = 0; i + 1 < value.data.size() / 2; ++i) text += unitAt(value.data, i);
        appendQuoted(out, text);
    } else if (value.type == regDword && value.data.size() == 4) {
        char digits[16];
        const uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (uint32_t(value.data[3]) << 24);
        std::snprintf(digits, sizeof digits, "dword:%08x", unsigned(number));
        out += digits;
    } else {
        appendHex(out, value.type, value.data);
    }
    out += '\n';
}

// ---- Parser helpers

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool consumePrefixIgnoringCase(std::string_view& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] + 32) : text[i];
        if (c != prefix[i]) return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to maxDigits hex digits, all of text.
std::optional<uint32_t> parseHexNumber(std::string_view text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    uint32_t number = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        number = (number << 4) | uint32_t(digit);
    }
    return number;
}

// "01,02, 0a" (a trailing comma is allowed: it is what a continuation leaves behind).
std::optional<std::vector<uint8_t>> parseHexList(std::string_view text) {
    std::vector<uint8_t> bytes;
    text = trim(text);
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        const auto byte = parseHexNumber(item, 2);
        if (!byte) return std::nullopt;
        bytes.push_back(uint8_t(*byte));
        if (comma == std::string_view::npos) break;
        text = trim(text.substr(comma + 1));
    }
    return bytes;
}

// A quoted text at the start of `text` with the escapes \\ and \"; a backslash before
// anything else is kept as written. On success `text` is left after the closing quote.
std::optional<std::string> parseQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
        } else if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// What follows '=' in a value line.
struct ParsedData {
    bool remove = false;  // "name"=-
    DWORD type = 0;
    std::vector<uint8_t> data;
};

std::optional<ParsedData> parseData(std::string_view text, const char*& why) {
    ParsedData parsed;
    if (!text.empty() && text.front() == '"') {
        const auto quoted = parseQuoted(text);
        why = "unterminated string";
        if (!quoted) return std::nullopt;
        why = "text after the string";
        if (!trim(text).empty()) return std::nullopt;
        parsed.type = regSz;
        parsed.data = stringData(fromUtf8(*quoted));
        return parsed;
    }
    text = trim(text);
    if (text == "-") {
        parsed.remove = true;
        return parsed;
    }
    if (consumePrefixIgnoringCase(text, "dword:")) {
        const auto number = parseHexNumber(text, 8);
        why = "bad dword (1 to 8 hex digits)";
        if (!number) return std::nullopt;
        parsed.type = regDword;
        parsed.data = {uint8_t(*number), uint8_t(*number >> 8), uint8_t(*number >> 16),
                       uint8_t(*number >> 24)};
        return parsed;
    }
    why = "unknown value type";
    if (!consumePrefixIgnoringCase(text, "hex")) return std::nullopt;
    parsed.type = regBinary;
    if (!text.empty() && text.front() == '(') {
        const size_t close = text.find(')');
        const auto type = parseHexNumber(text.substr(1, close == text.npos ? 0 : close - 1), 8);
        why = "bad hex(type)";
        if (!type) return std::nullopt;
        parsed.type = *type;
        text.remove_prefix(close + 1);
    }
    why = "missing ':' after hex";
    if (text.empty() || text.front() != ':') return std::nullopt;
    auto bytes = parseHexList(text.substr(1));
    why = "bad hex byte list";
    if (!bytes) return std::nullopt;
    parsed.data = std::move(*bytes);
    return parsed;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : lines_(splitLines(text)) {}

    ParseResult run() {
        if (!skipToHeader()) return std::move(result_);
        while (next_ < lines_.size()) {
            const size_t lineNumber = next_ + 1;
            const std::string_view line = trim(lines_[next_++]);
            if (line.empty() || line.front() == ';') continue;
            const bool fine = line.front() == '[' ? section(line)
                              : line.front() == '"' || line.front() == '@'
                                  ? value(joinContinuation(line))
                                  : fail("unexpected text");
            if (!fine) {
                result_.line = lineNumber;
                result_.hive = Hive{};
                return std::move(result_);
            }
        }
        result_.ok = true;
        return std::move(result_);
    }

  private:
    bool fail(const char* why) {
        result_.error = why;
        return false;
    }

    bool skipToHeader() {
        while (next_ < lines_.size() && trim(lines_[next_]).empty()) ++next_;
        if (next_ == lines_.size()) {
            result_.ok = true;
            return false;
        }
        if (trim(lines_[next_++]) == header) return true;
        result_.line = next_;
        result_.error = "not a \"Windows Registry Editor Version 5.00\" file";
        return false;
    }

    // "[HKEY_LOCAL_MACHINE\SOFTWARE\ZURV\ORVEN]" or "[-...]" to delete that key.
    bool section(std::string_view line) {
        if (line.back() != ']') return fail("section without ']'");
        std::string_view inside = line.substr(1, line.size() - 2);
        const bool remove = !inside.empty() && inside.front() == '-';
        if (remove) inside.remove_prefix(1);
        const std::u16string path = fromUtf8(inside);
        if (path.empty() || path.front() == u'\\' || path.back() == u'\\' ||
            path.find(u"\\\\") != std::u16string::npos) {
            return fail("empty key name in path");
        }
        inDeletedSection_ = remove;
        if (remove) {
            result_.hive.deleteTree(path);
            current_ = noKey;
            return true;
        }
        current_ = size_t(&result_.hive.ensureKey(path) - result_.hive.keys.data());
        return true;
    }

    // A value line ending in '\' goes on in the next line (hex lists).
    std::string_view joinContinuation(std::string_view line) {
        if (line.back() != '\\') return line;
        joined_.assign(line.substr(0, line.size() - 1));
        while (next_ < lines_.size()) {
            const std::string_view more = trim(lines_[next_++]);
            if (more.empty() || more.back() != '\\') {
                joined_ += more;
                break;
            }
            joined_ += more.substr(0, more.size() - 1);
        }
        return joined_;
    }

    bool value(std::string_view line) {
        std::u16string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            const auto quoted = parseQuoted(line);
            if (!quoted) return fail("unterminated value name");
            name = fromUtf8(*quoted);
        }
        line = trim(line);
        if (line.empty() || line.front() != '=') return fail("missing '=' after the value name");
        const char* why = "";
        auto parsed = parseData(trim(line.substr(1)), why);
        if (!parsed) return fail(why);
        if (inDeletedSection_) return true;  // the values of a "[-key]" section go with it
        if (current_ == noKey) return fail("value before any [key]");
        Key& key = result_.hive.keys[current_];
        if (parsed->remove) {
            key.deleteValue(name);
        } else {
            key.setValue(name, parsed->type, std::move(parsed->data));
        }
        return true;
    }

    static constexpr size_t noKey = size_t(-1);
    std::vector<std::string_view> lines_;
    size_t next_ = 0;         // index of the next line to read
    size_t current_ = noKey;  // index of the key of the current section
    bool inDeletedSection_ = false;
    std::string joined_;  // a value line put together from its continuations
    ParseResult result_;
};

}  // namespace

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

// ---- Key

Value* Key::findValue(std::u16string_view name) {
    for (Value& value : values) {
        if (sameName(value.name, name)) return &value;
    }
    return nullptr;
}

const Value* Key::findValue(std::u16string_view name) const {
    return const_cast<Key*>(this)->findValue(name);
}

void Key::setValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
    if (Value* existing = findValue(name)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    values.push_back(Value{std::u16string(name), type, std::move(data)});
}

bool Key::deleteValue(std::u16string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (sameName(it->name, name)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

// ---- Hive

Key* Hive::findKey(std::u16string_view path) {
    for (Key& key : keys) {
        if (sameName(key.path, path)) return &key;
    }
    return nullptr;
}

const Key* Hive::findKey(std::u16string_view path) const {
    return const_cast<Hive*>(this)->findKey(path);
}

Key& Hive::ensureKey(std::u16string_view path) {
    if (Key* existing = findKey(path)) return *existing;
    keys.push_back(Key{std::u16string(path), {}});
    return keys.back();
}

bool Hive::keyExists(std::u16string_view path) const {
    for (const Key& key : keys) {
        if (sameName(key.path, path) || startsWithPath(key.path, path)) return true;
    }
    return false;
}

std::vector<std::u16string> Hive::subkeyNames(std::u16string_view path) const {
    std::vector<std::u16string> names;
    for (const Key& key : keys) {
        if (!startsWithPath(key.path, path)) continue;
        std::u16string_view rest = std::u16string_view(key.path).substr(path.size() + 1);
        rest = rest.substr(0, rest.find(u'\\'));
        bool known = false;
        for (const auto& name : names) known = known || sameName(name, rest);
        if (!known) names.emplace_back(rest);
    }
    return names;
}

void Hive::deleteTree(std::u16string_view path) {
    std::erase_if(keys, [&](const Key& key) {
        return sameName(key.path, path) || startsWithPath(key.path, path);
    });
}

// ---- Files

ParseResult parse(std::string_view fileText) {
    if (fileText.starts_with("\xFF\xFE")) {
        const auto utf8 = utf16FileToUtf8(fileText.substr(2));
        if (!utf8) {
            ParseResult result;
            result.line = 1;
            result.error = "UTF-16 file of odd length";
            return result;
        }
        return Parser(*utf8).run();
    }
    if (fileText.starts_with("\xEF\xBB\xBF")) fileText.remove_prefix(3);
    return Parser(fileText).run();
}

std::string write(const Hive& hive) {
    std::string out(header);
    out += "\n\n";
    for (const Key& key : hive.keys) {
        out += '[';
        appendUtf8(out, key.path);
        out += "]\n";
        for (const Value& value : key.values) appendValue(out, value);
        out += '\n';
    }
    return out;
}

std::vector<uint8_t> stringData(std::u16string_view text) {
    std::vector<uint8_t> data;
    data.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        data.push_back(uint8_t(c));
        data.push_back(uint8_t(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

}  // namespace orven::hive
