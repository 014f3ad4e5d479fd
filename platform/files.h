// Files in the phone's form: paths with backslashes ("\dir\file") mapped onto the
// Linux file system ("/dir/file") and back, so code written for the phone's paths
// works unchanged.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};

// The executable's own path in the phone's form ("\usr\lib\orven\orven").
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
// Looks up one file (no wildcards are needed by the program; '*' and '?' in the last
// component are matched as on the phone). INVALID_HANDLE_VALUE when nothing matches.
HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

namespace orven {
// "\a\b" -> "/a/b" (UTF-8); a path that already uses '/' passes unchanged.
std::string linuxPath(std::u16string_view phonePath);
// "/a/b" -> "\a\b".
std::u16string phonePath(std::string_view linuxPath);
}  // namespace orven
