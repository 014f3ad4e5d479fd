// Basic types, constants and records of the phone's system API, as the program's
// code uses them. Text is UTF-16: WCHAR is char16_t, and literals are written u"...".
// Nothing here includes a Linux header.
#pragma once

#include <cstddef>
#include <cstdint>

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uint16_t ATOM;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define CALLBACK
#define WINAPI

// Handles are opaque pointers, one distinct type per kind, as on the phone.
#define ORVEN_DECLARE_HANDLE(name) \
    struct name##__;               \
    typedef struct name##__* name
ORVEN_DECLARE_HANDLE(HWND);
ORVEN_DECLARE_HANDLE(HINSTANCE);
ORVEN_DECLARE_HANDLE(HKEY);
ORVEN_DECLARE_HANDLE(HICON);
ORVEN_DECLARE_HANDLE(HCURSOR);
ORVEN_DECLARE_HANDLE(HBRUSH);
ORVEN_DECLARE_HANDLE(HMENU);
ORVEN_DECLARE_HANDLE(HACCEL);
ORVEN_DECLARE_HANDLE(HDC);
ORVEN_DECLARE_HANDLE(HGDIOBJ);
ORVEN_DECLARE_HANDLE(HBITMAP);
ORVEN_DECLARE_HANDLE(HFONT);
ORVEN_DECLARE_HANDLE(HMODULE);
typedef void* HANDLE;
typedef HINSTANCE HRSRC_MODULE;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Resource identifiers are numbers smuggled through a text pointer.
#define MAKEINTRESOURCEW(i) ((LPWSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | (((DWORD)((WORD)(b))) << 16)))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

#define MAX_PATH 260

// Error codes returned by the registry and set by other calls.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

struct SIZE {
    LONG cx;
    LONG cy;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// The platform's broken-down time.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);
