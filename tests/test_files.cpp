// Files in the phone's form: the path mapping both ways (non-ASCII and non-UTF-8 names
// included), GetModuleFileNameW with the program folder built from it, and
// FindFirstFileW / FindClose.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/startup.h"
#include "platform/windows.h"

namespace {

std::string utf8(const std::u16string& text) {
    return orven::linuxPath(text);
}

struct PathRow {
    const char* legend;
    std::u16string phone;
    std::string linux;
};

TEST(Files, PathsMapBothWays) {
    const PathRow rows[] = {
        {"absolute path", u"\\work\\build\\sounds\\1.wav", "/work/build/sounds/1.wav"},
        {"relative path", u"sounds\\1.wav", "sounds/1.wav"},
        {"root", u"\\", "/"},
        {"two-byte UTF-8", u"\\home\\J\u00e4rvinen\\\u00fc.wav",
         "/home/J\xc3\xa4rvinen/\xc3\xbc.wav"},
        {"three-byte UTF-8", u"\\tmp\\\u8b66\u5831", "/tmp/\xe8\xad\xa6\xe5\xa0\xb1"},
        {"four-byte UTF-8 (a surrogate pair)", u"\\tmp\\\U0001F6A8.wav",
         "/tmp/\xf0\x9f\x9a\xa8.wav"},
        {"a Latin-1 byte that is not UTF-8", u"\\tmp\\\xdce4.wav", "/tmp/\xe4.wav"},
        {"a truncated UTF-8 sequence", u"\\tmp\\\xdce2\xdc82", "/tmp/\xe2\x82"},
        {"an overlong encoding of '/'", u"\\x\xdcc0\xdcaf", "/x\xc0\xaf"},
    };
    for (const PathRow& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(orven::linuxPath(row.phone), row.linux);
        EXPECT_EQ(orven::phonePath(row.linux), row.phone);
    }
}

TEST(Files, OneWayPathMappings) {
    // A path already in Linux form passes unchanged, and a lone surrogate, which names no
    // file, becomes U+FFFD instead of bytes that are not UTF-8.
    EXPECT_EQ(orven::linuxPath(u"/already/linux"), "/already/linux");
    EXPECT_EQ(orven::linuxPath(u"\\a\xd83d"), "/a\xef\xbf\xbd");
    EXPECT_EQ(orven::linuxPath(u"\\a\xde00\\b"), "/a\xef\xbf\xbd/b");
}

std::string realExecutable() {
    char path[PATH_MAX];
    EXPECT_NE(realpath("/proc/self/exe", path), nullptr);
    return path;
}

TEST(Files, ModuleFileNameIsTheExecutableInPhoneForm) {
    WCHAR name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, name, MAX_PATH);
    const std::u16string expected = orven::phonePath(realExecutable());
    ASSERT_EQ(length, expected.size());
    EXPECT_EQ(std::u16string(name), expected);
    EXPECT_EQ(name[0], u'\\');

    // Too small a buffer: the path is cut, terminated, and the result is the size.
    WCHAR small[6];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 6), 6u);
    EXPECT_EQ(std::u16string(small), expected.substr(0, 5));
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 0), 0u);
}

TEST(Files, ProgramFolderIsTheExecutablesFolderWithABackslash) {
    fillAppFolder();
    std::string executable = realExecutable();
    const std::string folder = executable.substr(0, executable.rfind('/') + 1);
    EXPECT_EQ(std::u16string(appFolder), orven::phonePath(folder));
    EXPECT_EQ(orven::linuxPath(appFolder), folder);
}

// A fresh folder with a few files, removed at the end.
class FindFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ov-find-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        for (const char* name :
             {"b.wav", "a.wav", "c.txt", "noext", "x[1].wav", "\xc3\xa4\xc3\xa4ni.wav"})
            std::ofstream(dir_ + "/" + name) << "12345";
        mkdir((dir_ + "/sounds").c_str(), 0700);
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::u16string phone(const std::string& name) const {
        return orven::phonePath(dir_ + "/" + name);
    }

    std::string dir_;
};

struct FindRow {
    const char* legend;
    std::string pattern;   // relative to the test folder
    const char* expected;  // the name found (UTF-8), or null when nothing matches
};

TEST_F(FindFiles, FindsTheFirstMatchingName) {
    const FindRow rows[] = {
        {"plain name", "b.wav", "b.wav"},
        {"non-ASCII name", "\xc3\xa4\xc3\xa4ni.wav", "\xc3\xa4\xc3\xa4ni.wav"},
        {"brackets are plain characters", "x[1].wav", "x[1].wav"},
        {"a folder", "sounds", "sounds"},
        {"'*' matches any run, first name in order", "*.wav", "a.wav"},
        {"'?' matches one character", "?.txt", "c.txt"},
        {"'*.*' alone matches every name", "*.*", "a.wav"},
        {"brackets in a wildcard pattern are plain", "x[1]*", "x[1].wav"},
        {"missing file", "d.wav", nullptr},
        {"missing folder", "nowhere/a.wav", nullptr},
        {"no match for the wildcard", "*.mp3", nullptr},
        {"case matters, as in the Linux file system", "A.WAV", nullptr},
        {"a trailing separator names no file", "sounds/", nullptr},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(std::string(row.legend) + ": " + row.pattern);
        WIN32_FIND_DATAW data{};
        SetLastError(0);
        HANDLE found = FindFirstFileW(phone(row.pattern).c_str(), &data);
        if (!row.expected) {
            EXPECT_EQ(found, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            continue;
        }
        ASSERT_NE(found, INVALID_HANDLE_VALUE);
        EXPECT_EQ(utf8(data.cFileName), row.expected);
        const bool folder = std::string(row.expected) == "sounds";
        EXPECT_EQ(data.dwFileAttributes,
                  static_cast<DWORD>(folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL));
        if (!folder) {
            EXPECT_EQ(data.nFileSizeLow, 5u);
        }
        EXPECT_TRUE(FindClose(found));
    }
}

TEST_F(FindFiles, ReportsTheWriteTimeAsAFileTime) {
    // 2020-01-01 00:00:00.5 UTC is 132223104005000000 ticks of 100 ns after 1601.
    const timespec times[2] = {{1577836800, 500000000}, {1577836800, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir_ + "/a.wav").c_str(), times, 0), 0);
    WIN32_FIND_DATAW data{};
    HANDLE found = FindFirstFileW(phone("a.wav").c_str(), &data);
    ASSERT_NE(found, INVALID_HANDLE_VALUE);
    const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(ticks, 132223104005000000ULL);
    FindClose(found);
}

TEST_F(FindFiles, SearchHandlesCloseOnlyWithFindClose) {
    WIN32_FIND_DATAW data{};
    HANDLE first = FindFirstFileW(phone("a.wav").c_str(), &data);
    HANDLE second = FindFirstFileW(phone("a.wav").c_str(), &data);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_NE(first, second);
    EXPECT_FALSE(CloseHandle(first));  // not a kernel object
    EXPECT_TRUE(FindClose(first));
    EXPECT_FALSE(FindClose(first));  // already closed
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(FindClose(second));
}

}  // namespace
