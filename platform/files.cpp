// Files: GetModuleFileNameW, FindFirstFileW and FindClose, over the Linux file system.
//
// The phone writes paths with backslashes ("\Program Files\orven\sounds\1.wav"); here a
// backslash is a slash and the text is UTF-16 on one side and UTF-8 on the other. The
// mapping is lossless for every Linux path: bytes that are not valid UTF-8 become the
// code points U+DC80..U+DCFF on the way in and the same bytes again on the way out.
// One limit: a Linux file name that itself holds a backslash cannot be named.
//
// Relies on: threads.cpp (SetLastError).

#include "platform/files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/text.h"
#include "platform/threads.h"

namespace {

constexpr DWORD errorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr char16_t escapeBase = 0xDC00;         // U+DC80..U+DCFF carry undecodable bytes

// ---- UTF-8 <-> UTF-16 with undecodable bytes escaped

// ---- Search handles: their own table, so CloseHandle does not accept them.

// A search yields its one match at once (the program never asks for a next file), so
// the handle only has to exist until FindClose.
struct SearchHandle {};

std::mutex searchMutex;
std::unordered_set<SearchHandle*> searchHandles;  // guarded by searchMutex

// FILETIME counts 100 ns steps since 1601-01-01 UTC.
FILETIME toFileTime(const timespec& t) {
    constexpr uint64_t secondsFrom1601To1970 = 11644473600ULL;
    const uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + secondsFrom1601To1970) * 10000000ULL +
                           static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void fillFindData(const std::string& name, const struct stat& info, WIN32_FIND_DATAW* data) {
    *data = WIN32_FIND_DATAW{};
    data->dwFileAttributes =
        S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->ftCreationTime = toFileTime(info.st_ctim);
    data->ftLastAccessTime = toFileTime(info.st_atim);
    data->ftLastWriteTime = toFileTime(info.st_mtim);
    const auto size = static_cast<uint64_t>(info.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    const std::u16string wide = orven::phonePath(name);
    const size_t count = std::min(wide.size(), static_cast<size_t>(MAX_PATH - 1));
    std::copy_n(wide.begin(), count, data->cFileName);
    data->cFileName[count] = 0;
}

bool hasWildcards(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

// The phone's '*' and '?' in fnmatch's terms: '[' and ']' are plain characters there,
// and "*.*" matches every name, also names without a dot.
std::string toFnmatchPattern(const std::string& pattern) {
    if (pattern == "*.*") return "*";
    std::string out;
    for (char c : pattern) {
        if (c == '[' || c == ']') out += '\\';
        out += c;
    }
    return out;
}

// The first name in `directory` (in byte order, so the answer does not depend on the
// order the file system lists them) that matches `pattern`; empty when none does.
std::string firstMatch(const std::string& directory, const std::string& pattern) {
    DIR* dir = opendir(directory.c_str());
    if (!dir) return {};
    const std::string glob = toFnmatchPattern(pattern);
    std::vector<std::string> matches;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) matches.push_back(name);
    }
    closedir(dir);
    if (matches.empty()) return {};
    return *std::min_element(matches.begin(), matches.end());
}

}  // namespace

namespace orven {

std::string linuxPath(std::u16string_view phone) {
    std::string out;
    out.reserve(phone.size());
    for (size_t i = 0; i < phone.size(); ++i) {
        char32_t c = phone[i];
        if (c == u'\\') {
            out += '/';
            continue;
        }
        if (c >= 0xDC80 && c <= 0xDCFF) {  // an escaped byte of a non-UTF-8 name
            out += static_cast<char>(c - escapeBase);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < phone.size() && phone[i + 1] >= 0xDC00 &&
            phone[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (phone[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate names no file
        }
        orven::appendUtf8(out, c);
    }
    return out;
}

std::u16string phonePath(std::string_view linux) {
    std::u16string out;
    out.reserve(linux.size());
    for (size_t i = 0; i < linux.size();) {
        char32_t c = 0;
        const size_t length = orven::decodeUtf8(linux, i, c);
        if (length == 0) {
            out += static_cast<char16_t>(escapeBase + static_cast<unsigned char>(linux[i]));
            ++i;
            continue;
        }
        i += length;
        if (c == U'/') {
            out += u'\\';
        } else if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace orven

// ---- GetModuleFileNameW: the executable's path in the phone's form. Only the program's
// own module exists, so `module` is not looked at. When the buffer is too small the
// path is cut and terminated, and the result is `size`.
DWORD GetModuleFileNameW(HMODULE, LPWSTR fileName, DWORD size) {
    if (!fileName || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path(4096, '\0');  // PATH_MAX
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) {
        fileName[0] = 0;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    path.resize(static_cast<size_t>(length));
    // An executable replaced while it runs (rebuilt) is listed as "<path> (deleted)";
    // its folder is still the right one.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());

    const std::u16string wide = orven::phonePath(path);
    if (wide.size() >= size) {
        std::copy_n(wide.begin(), size - 1, fileName);
        fileName[size - 1] = 0;
        SetLastError(errorInsufficientBuffer);
        return size;
    }
    std::copy(wide.begin(), wide.end(), fileName);
    fileName[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

// ---- FindFirstFileW: the first file whose name matches the last component of
// `fileName` ('*' and '?' are wildcards there, nowhere else). The handle is closed by
// FindClose.
HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* data) {
    if (!fileName || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = orven::linuxPath(fileName);
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".")
                                  : slash == 0               ? std::string("/")
                                                             : path.substr(0, slash);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);

    std::string name;
    if (!pattern.empty()) name = hasWildcards(pattern) ? firstMatch(directory, pattern) : pattern;
    struct stat info {};
    // Built in steps: GCC 12 warns falsely (-Wrestrict) on a + "/" + b at -O2.
    std::string full = directory;
    full += '/';
    full += name;
    if (name.empty() || stat(full.c_str(), &info) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    fillFindData(name, info, data);

    auto* search = new SearchHandle{};
    std::lock_guard lock(searchMutex);
    searchHandles.insert(search);
    return search;
}

// ---- FindClose
BOOL FindClose(HANDLE find) {
    auto* search = static_cast<SearchHandle*>(find);
    {
        std::lock_guard lock(searchMutex);
        if (searchHandles.erase(search) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete search;
    return TRUE;
}
