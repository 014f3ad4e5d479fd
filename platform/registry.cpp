// The registry: RegOpenKeyExW, RegCreateKeyExW, RegQueryValueExW, RegSetValueExW,
// RegDeleteValueW, RegEnumKeyExW, RegFlushKey and RegCloseKey over two hive files in
// the device directory: system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER.
// Relies on hive.cpp for the file format and on device.cpp for the directory.
//
// - One lock guards both hives and the table of open keys, so any thread may call in
//   (the GPS reader thread stores the port number while the GUI thread saves settings).
// - A hive is read on first use. Changes stay in memory until a key of that hive is
//   closed or flushed; then the whole hive is written: a temporary file (mode 0600) in
//   the same directory, fsync, rename over the hive, fsync of the directory. A crash at
//   any moment leaves the old or the new file. Saving on every RegSetValueExW would
//   cost a dozen fsyncs per settings save for no gain: every writer in the program
//   closes its key right after its writes.
// - A hive that cannot be parsed is renamed to "<name>.corrupt-<UTC time>" (never
//   deleted) with one line on standard error, and the hive starts empty. A hive that
//   exists but cannot be read (or moved aside) is never overwritten: its changes live
//   in memory only.
// - The access mask is not checked, as on Windows CE, where it is reserved.
// - Handles of opened keys are numbers from a table; each names a hive and a key path.
#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/device.h"
#include "platform/hive.h"
#include "platform/internal.h"

namespace {

using orven::hive::Hive;

constexpr size_t maxKeyNameLength = 255;      // characters of one key name, as on the phone
constexpr size_t maxValueNameLength = 16383;  // characters of a value name, as on the phone
constexpr DWORD maxValueSize = 1 << 20;       // the program's largest value is 812 bytes
constexpr off_t maxHiveFileSize = 16 << 20;   // the program's hives are a few kilobytes

struct HiveFile {
    HiveFile(const char* file, const char* root, std::u16string_view root16)
        : fileName(file), rootLabel(root), rootName(root16) {}

    const char* fileName;          // "system.reg"
    const char* rootLabel;         // "HKEY_LOCAL_MACHINE", for messages
    std::u16string_view rootName;  // the same, as key paths spell it
    std::mutex saveMutex;          // one save of this file at a time; taken before registryMutex
    bool loaded = false;           // read from disk since the start (or the last reset)
    bool dirty = false;            // changes not written yet
    bool writable = true;          // false: a file we could not read must not be overwritten
    std::string path;              // Linux path of the file, set when loaded
    Hive hive;
};

struct OpenKey {
    HiveFile* file;
    std::u16string path;  // full path, root included
};

std::mutex registryMutex;  // guards all below, and every HiveFile field but saveMutex
HiveFile hiveFiles[] = {{"system.reg", "HKEY_LOCAL_MACHINE", u"HKEY_LOCAL_MACHINE"},
                        {"user.reg", "HKEY_CURRENT_USER", u"HKEY_CURRENT_USER"}};
std::unordered_map<uintptr_t, OpenKey> openKeys;
// Multiples of 4 from 0x1000: never null, never one of the odd predefined roots, never
// reused within a run (a stale handle stays invalid).
uintptr_t nextHandle = 0x1000;

// ---- Files

// 0, or the errno of the failure. A file too large for a hive gives EFBIG.
int readWholeFile(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a FIFO must not block
    if (fd < 0) return errno;
    struct stat info {};
    int error = fstat(fd, &info) != 0 ? errno : !S_ISREG(info.st_mode) ? EISDIR : 0;
    if (error == 0 && info.st_size > maxHiveFileSize) error = EFBIG;
    char buffer[16384];
    while (error == 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0 && errno != EINTR) error = errno;
        if (n > 0) text.append(buffer, size_t(n));
        if (text.size() > size_t(maxHiveFileSize)) error = EFBIG;
    }
    close(fd);
    return error;
}

std::string directoryOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

bool writeAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) return false;
        if (n > 0) done += size_t(n);
    }
    return true;
}

// Temporary file, fsync, rename over the hive, fsync of the directory. 0 or an errno.
int writeAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // created with mode 0600
    if (fd < 0) return errno;
    int error = writeAll(fd, text) && fsync(fd) == 0 ? 0 : errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    const int directory = open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);  // some file systems refuse; the rename itself is done
        close(directory);
    }
    return 0;
}

// Temporary files of saves that never reached their rename (the process was killed).
void removeStaleTemporaries(const std::string& path) {
    const std::string directory = directoryOf(path);
    const std::string prefix = path.substr(directory.size() + 1) + ".tmp-";
    DIR* dir = opendir(directory.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}

// Renames without replacing anything: "system.reg.corrupt-20260105T090000Z", then "-2", ...
bool moveAside(const std::string& path, std::string& target) {
    char stamp[32];
    const time_t now = time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    for (int attempt = 1; attempt < 100; ++attempt) {
        // Built in steps: GCC 12 warns falsely (-Wrestrict) on the one-line sum at -O3.
        target = path;
        target += ".corrupt-";
        target += stamp;
        if (attempt > 1) {
            target += '-';
            target += std::to_string(attempt);
        }
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno == EINVAL || errno == ENOSYS) {  // no RENAME_NOREPLACE on this file system
            struct stat info {};
            if (lstat(target.c_str(), &info) == 0) continue;
            return rename(path.c_str(), target.c_str()) == 0;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// ---- Loading and saving

void reportForeignKeys(const HiveFile& file) {
    size_t foreign = 0;
    for (const auto& key : file.hive.keys) {
        const std::u16string_view path = key.path;
        const bool inside =
            orven::hive::sameName(path.substr(0, file.rootName.size()), file.rootName) &&
            (path.size() == file.rootName.size() || path[file.rootName.size()] == u'\\');
        if (!inside) ++foreign;
    }
    if (foreign > 0) {
        std::fprintf(stderr, "orven: %s: %zu key(s) outside %s are kept but not used\n",
                     file.path.c_str(), foreign, file.rootLabel);
    }
}

void startEmptyAfterParseError(HiveFile& file, size_t line, const std::string& why) {
    std::string target;
    const char* root = file.rootLabel;
    if (moveAside(file.path, target)) {
        std::fprintf(stderr,
                     "orven: %s could not be parsed (line %zu: %s); moved aside to %s, "
                     "starting with an empty %s\n",
                     file.path.c_str(), line, why.c_str(), target.c_str(), root);
        return;
    }
    file.writable = false;
    std::fprintf(stderr,
                 "orven: %s could not be parsed (line %zu: %s) nor moved aside (%s); "
                 "starting with an empty %s that is not saved\n",
                 file.path.c_str(), line, why.c_str(), std::strerror(errno), root);
}

// Under registryMutex.
HiveFile& loaded(HiveFile& file) {
    if (file.loaded) return file;
    file.loaded = true;
    file.path = orven::deviceDirectory() + "/" + file.fileName;
    removeStaleTemporaries(file.path);
    std::string text;
    const int error = readWholeFile(file.path, text);
    if (error == ENOENT) {
        // A fresh device: what the phone's system put there. Written with the first save.
        auto defaults = orven::hive::parse(orven::internal::defaultHiveText(file.fileName));
        if (defaults.ok) file.hive = std::move(defaults.hive);
        return file;
    }
    if (error == EFBIG) {
        startEmptyAfterParseError(file, 0, "larger than 16 MiB");
        return file;
    }
    if (error != 0) {
        file.writable = false;
        std::fprintf(stderr, "orven: %s cannot be read (%s); its changes are kept in memory only\n",
                     file.path.c_str(), std::strerror(error));
        return file;
    }
    auto result = orven::hive::parse(text);
    if (!result.ok) {
        startEmptyAfterParseError(file, result.line, result.error);
        return file;
    }
    file.hive = std::move(result.hive);
    reportForeignKeys(file);
    return file;
}

LONG save(HiveFile& file) {
    std::lock_guard saveLock(file.saveMutex);
    std::string text, path;
    {
        std::lock_guard lock(registryMutex);
        if (!file.loaded || !file.dirty) return ERROR_SUCCESS;
        if (!file.writable) return ERROR_ACCESS_DENIED;
        text = orven::hive::write(file.hive);
        path = file.path;
        file.dirty = false;
    }
    const int error = writeAtomically(path, text);
    if (error == 0) return ERROR_SUCCESS;
    {
        std::lock_guard lock(registryMutex);
        if (file.loaded && file.path == path) file.dirty = true;  // try again at the next close
    }
    std::fprintf(stderr, "orven: could not save %s: %s\n", path.c_str(), std::strerror(error));
    return ERROR_ACCESS_DENIED;
}

// ---- Keys and names

// The key a handle names, or nothing. Under registryMutex.
std::optional<OpenKey> resolve(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE)
        return OpenKey{&hiveFiles[0], std::u16string(hiveFiles[0].rootName)};
    if (key == HKEY_CURRENT_USER)
        return OpenKey{&hiveFiles[1], std::u16string(hiveFiles[1].rootName)};
    const auto found = openKeys.find(reinterpret_cast<uintptr_t>(key));
    if (found == openKeys.end()) return std::nullopt;
    return found->second;
}

// A name the text format can hold as given: no line break, no lone surrogate.
bool writableName(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c == u'\r' || c == u'\n' || (c >= 0xDC00 && c <= 0xDFFF)) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        }
    }
    return true;
}

std::u16string_view textOf(LPCWSTR text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

// base + "\" + subKey. Leading and trailing backslashes of subKey are ignored (the phone
// accepts "\ControlPanel\Owner"); an empty key name inside it is refused.
std::optional<std::u16string> joinPath(const std::u16string& base, LPCWSTR subKey) {
    std::u16string_view rest = textOf(subKey);
    while (!rest.empty() && rest.front() == u'\\') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    std::u16string path = base;
    while (!rest.empty()) {
        const size_t end = rest.find(u'\\');
        const std::u16string_view name = rest.substr(0, end);
        if (name.empty() || name.size() > maxKeyNameLength || !writableName(name))
            return std::nullopt;
        path += u'\\';
        path += name;
        rest.remove_prefix(end == rest.npos ? rest.size() : end + 1);
    }
    return path;
}

HKEY newHandle(const OpenKey& key) {
    const uintptr_t handle = nextHandle;
    nextHandle += 4;
    openKeys.emplace(handle, key);
    return reinterpret_cast<HKEY>(handle);
}

bool isRoot(const OpenKey& key) {
    return key.path.size() == key.file->rootName.size();
}

LONG openOrCreate(HKEY key, LPCWSTR subKey, bool create, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::lock_guard lock(registryMutex);
    auto base = resolve(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = joinPath(base->path, subKey);
    if (!path) return ERROR_INVALID_PARAMETER;
    OpenKey opened{base->file, std::move(*path)};
    HiveFile& file = loaded(*opened.file);
    const bool existed = isRoot(opened) || file.hive.keyExists(opened.path);
    if (!existed && !create) return ERROR_FILE_NOT_FOUND;
    if (!existed) {
        file.hive.ensureKey(opened.path);
        file.dirty = true;
    }
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = newHandle(opened);
    return ERROR_SUCCESS;
}

}  // namespace

// ---- RegOpenKeyExW
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, DWORD, PHKEY result) {
    return openOrCreate(key, subKey, false, result, nullptr);
}

// ---- RegCreateKeyExW
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, DWORD, SECURITY_ATTRIBUTES*,
                     PHKEY result, LPDWORD disposition) {
    return openOrCreate(key, subKey, true, result, disposition);
}

// ---- RegQueryValueExW
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex);
    const auto opened = resolve(key);
    if (!opened) return ERROR_INVALID_HANDLE;
    const auto* stored = loaded(*opened->file).hive.findKey(opened->path);
    const auto* value = stored ? stored->findValue(textOf(valueName)) : nullptr;
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    const DWORD size = DWORD(value->data.size());
    if (data && *dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (data && size > 0) std::memcpy(data, value->data.data(), size);
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

// ---- RegSetValueExW
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    const std::u16string_view name = textOf(valueName);
    if ((!data && dataSize > 0) || dataSize > maxValueSize || name.size() > maxValueNameLength ||
        !writableName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lock(registryMutex);
    const auto opened = resolve(key);
    if (!opened) return ERROR_INVALID_HANDLE;
    HiveFile& file = loaded(*opened->file);
    file.hive.ensureKey(opened->path)
        .setValue(name, type, std::vector<uint8_t>(data, data + dataSize));
    file.dirty = true;
    return ERROR_SUCCESS;
}

// ---- RegDeleteValueW
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    std::lock_guard lock(registryMutex);
    const auto opened = resolve(key);
    if (!opened) return ERROR_INVALID_HANDLE;
    HiveFile& file = loaded(*opened->file);
    auto* stored = file.hive.findKey(opened->path);
    if (!stored || !stored->deleteValue(textOf(valueName))) return ERROR_FILE_NOT_FOUND;
    file.dirty = true;
    return ERROR_SUCCESS;
}

// ---- RegEnumKeyExW
// Subkeys in the order they first appear in the hive (file order, then creation order).
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD,
                   LPWSTR className, LPDWORD classLength, FILETIME* lastWriteTime) {
    if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(registryMutex);
    const auto opened = resolve(key);
    if (!opened) return ERROR_INVALID_HANDLE;
    const auto names = loaded(*opened->file).hive.subkeyNames(opened->path);
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    const std::u16string& found = names[index];
    if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    found.copy(name, found.size());
    name[found.size()] = 0;
    *nameLength = DWORD(found.size());
    if (className && classLength && *classLength > 0) className[0] = 0;
    if (classLength) *classLength = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

// ---- RegFlushKey
LONG RegFlushKey(HKEY key) {
    HiveFile* file = nullptr;
    {
        std::lock_guard lock(registryMutex);
        const auto opened = resolve(key);
        if (!opened) return ERROR_INVALID_HANDLE;
        file = opened->file;
    }
    return save(*file);
}

// ---- RegCloseKey
// Closing a key writes its hive when it has unsaved changes. A failed save is retried at
// the next close or flush; closing itself always succeeds.
LONG RegCloseKey(HKEY key) {
    HiveFile* file = nullptr;
    {
        std::lock_guard lock(registryMutex);
        const auto opened = resolve(key);
        if (!opened) return ERROR_INVALID_HANDLE;
        file = opened->file;
        openKeys.erase(reinterpret_cast<uintptr_t>(key));
    }
    save(*file);
    return ERROR_SUCCESS;
}

namespace orven {

void resetRegistryForTests() {
    std::scoped_lock saves(hiveFiles[0].saveMutex, hiveFiles[1].saveMutex);
    std::lock_guard lock(registryMutex);
    for (HiveFile& file : hiveFiles) {
        file.loaded = false;
        file.dirty = false;
        file.writable = true;
        file.path.clear();
        file.hive = Hive{};
    }
    openKeys.clear();
}

}  // namespace orven
