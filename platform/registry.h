// The registry: keys and typed values over two file-backed hives in the device
// directory (system.reg for HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER),
// stored as "Windows Registry Editor Version 5.00" text. Safe to call from any thread.
#pragma once

#include "platform/win_types.h"

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002)

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

struct SECURITY_ATTRIBUTES;
typedef HKEY* PHKEY;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD access, PHKEY result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className, DWORD options,
                     DWORD access, SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition);
// Copies the value into data when it fits in *dataSize bytes; *dataSize becomes the
// stored size. Returns ERROR_MORE_DATA (nothing copied) when it does not fit.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPWSTR className, LPDWORD classLength, FILETIME* lastWriteTime);
// Writes the hive to disk if the key's changes are not saved yet.
LONG RegFlushKey(HKEY key);
LONG RegCloseKey(HKEY key);

namespace orven {
// Test-only: forgets both hives (unsaved changes are dropped, as a crash would drop them)
// and every open key, so that the next call reads the hives again from the device
// directory. orven::resetDeviceForTests() calls it.
void resetRegistryForTests();
}  // namespace orven
