// Drawing: paint contexts and GDI objects over the software framebuffer.
#pragma once

#include "platform/win_types.h"

typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | (((WORD)((BYTE)(g))) << 8) | (((DWORD)(BYTE)(b)) << 16)))

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

namespace orven::gdi {
// The colour of a brush as XRGB; false for a handle that is not a brush.
bool brushColour(HBRUSH brush, uint32_t& xrgb);
// The window a paint context draws into.
HWND windowOfDc(HDC dc);
}  // namespace orven::gdi
