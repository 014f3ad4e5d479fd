// Drawing: device contexts and GDI objects (brushes, fonts, bitmaps) over the software
// framebuffer, text with FreeType, and the images of the program's resources.
#pragma once

#include "platform/win_types.h"

typedef DWORD COLORREF;
#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r)) | (((WORD)((BYTE)(g))) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFF

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

// Stock objects beyond WHITE_BRUSH and BLACK_BRUSH (window.h).
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define SYSTEM_FONT 13

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// DrawTextW formats.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800

// ExtTextOutW options.
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

// Fonts.
#define LF_FACESIZE 32
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5

struct LOGFONTW {
    LONG lfHeight;  // > 0: character cell height; < 0: character (em) height; 0: default
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

// Images.
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define LR_DEFAULTCOLOR 0x0000
#define DI_NORMAL 0x0003
#define SRCCOPY 0x00CC0020

// ---- Device contexts
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
HDC GetDC(HWND hwnd);  // null: the whole screen
int ReleaseDC(HWND hwnd, HDC dc);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);

// ---- Objects
HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);  // bitmaps (BITMAP) and fonts (LOGFONTW)

// The phone's handles of every kind convert to HGDIOBJ by themselves; here each kind is
// a type of its own, so these overloads accept them where an object is expected.
inline HGDIOBJ SelectObject(HDC dc, HFONT font) {
    return SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
}
inline HGDIOBJ SelectObject(HDC dc, HBRUSH brush) {
    return SelectObject(dc, reinterpret_cast<HGDIOBJ>(brush));
}
inline HGDIOBJ SelectObject(HDC dc, HBITMAP bitmap) {
    return SelectObject(dc, reinterpret_cast<HGDIOBJ>(bitmap));
}
inline BOOL DeleteObject(HFONT font) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(font));
}
inline BOOL DeleteObject(HBRUSH brush) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(brush));
}
inline BOOL DeleteObject(HBITMAP bitmap) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

// ---- Drawing state and fills
int SetBkMode(HDC dc, int mode);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
COLORREF GetPixel(HDC dc, int x, int y);

// ---- Text
HFONT CreateFontIndirectW(const LOGFONTW* font);
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const int* dx);
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size);
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);

// ---- Bitmaps, images and strings of the program's resources
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
// Copies string `id` (cut to bufferMax - 1 characters); returns its length, 0 when none.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
// The source is a device context or a bitmap; source pixels of the transparent colour
// are left out, and the source rectangle is stretched to the destination's size.
BOOL TransparentImage(HDC dest, LONG destX, LONG destY, LONG destWidth, LONG destHeight,
                      HANDLE source, LONG sourceX, LONG sourceY, LONG sourceWidth,
                      LONG sourceHeight, COLORREF transparent);
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step,
                HBRUSH flickerFree, UINT flags);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

namespace orven::gdi {
// The colour of a brush as XRGB; false for a handle that is not a solid brush.
bool brushColour(HBRUSH brush, uint32_t& xrgb);
// The window a device context draws into (null for memory contexts and the screen's).
HWND windowOfDc(HDC dc);
}  // namespace orven::gdi
