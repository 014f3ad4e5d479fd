// Internals of the GDI shared by gdi.cpp, font.cpp, drawtext.cpp, bitmap.cpp and the
// platform's own windows (menus, message boxes, the shell). Never included by the program.
//
// Every GDI object lives in one handle table guarded by a mutex: a handle is the
// object's kind in bits 32 to 39 and a serial number below, so a stale or foreign
// handle is simply not found. Only the GUI thread draws, but any thread may create,
// look up or delete objects safely. Objects are held by shared pointers, so a context
// that still uses a bitmap or font never sees it freed under it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/gdi.h"

namespace orven::gdi {

// Pixels a context draws into: the framebuffer or a bitmap. Row length = width.
struct Surface {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

struct BitmapData {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // XRGB, row by row
};

struct FontFace;  // font.cpp: one face file at one pixel size

struct FontData {
    LOGFONTW logFont{};
    FontFace* face = nullptr;  // cached for the life of the process
};

struct DcState {
    HWND window = nullptr;  // window contexts; null for memory and screen
    bool memory = false;
    std::shared_ptr<BitmapData> bitmap;  // memory contexts: the selected bitmap
    HGDIOBJ bitmapHandle = nullptr;
    HGDIOBJ fontHandle = nullptr;
    HGDIOBJ brushHandle = nullptr;
    std::shared_ptr<FontData> font;  // the selected font
    POINT origin{};                  // where logical (0, 0) lies on the surface
    std::vector<RECT> clip;          // visible parts, surface coordinates
    uint32_t textColour = 0x000000;  // XRGB
    uint32_t bkColour = 0xFFFFFF;    // XRGB
    int bkMode = OPAQUE;
};

inline uint32_t toXrgb(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF toColorref(uint32_t xrgb) {
    return ((xrgb >> 16) & 0xFF) | (xrgb & 0xFF00) | ((xrgb & 0xFF) << 16);
}

// ---- The handle table (gdi.cpp)
std::shared_ptr<DcState> dcOf(HDC dc);
std::shared_ptr<FontData> fontOf(HGDIOBJ font);
std::shared_ptr<BitmapData> bitmapOf(HGDIOBJ bitmap);
HBITMAP addBitmap(std::shared_ptr<BitmapData> bitmap);
HFONT addFont(std::shared_ptr<FontData> font);
// Objects alive now, stock objects excluded (the test controls look for leaks).
size_t liveObjectCount();

// The pixels the context draws into.
Surface surfaceOf(const DcState& dc);
// Calls fn(part) for each part of `area` (surface coordinates) inside the context's
// visible region.
template <typename Fn>
void forEachClip(const DcState& dc, const RECT& area, Fn fn) {
    for (const RECT& c : dc.clip) {
        RECT part{area.left > c.left ? area.left : c.left, area.top > c.top ? area.top : c.top,
                  area.right < c.right ? area.right : c.right,
                  area.bottom < c.bottom ? area.bottom : c.bottom};
        if (part.left < part.right && part.top < part.bottom) fn(part);
    }
}
// Fills a rectangle given in logical coordinates.
void fillLogical(const DcState& dc, const RECT& rect, uint32_t xrgb);
// Blends `colour` over the pixel with coverage 0..255.
inline void blend(uint32_t& pixel, uint32_t colour, unsigned coverage) {
    if (coverage >= 255) {
        pixel = colour;
        return;
    }
    unsigned inverse = 255 - coverage;
    uint32_t rb = ((pixel & 0xFF00FF) * inverse + (colour & 0xFF00FF) * coverage + 0x800080);
    uint32_t g = ((pixel & 0x00FF00) * inverse + (colour & 0x00FF00) * coverage + 0x008000);
    // Division by 255 for both packed channels at once (exact for these ranges).
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    g = ((g + ((g >> 8) & 0x00FF00)) >> 8) & 0x00FF00;
    pixel = rb | g;
}

// ---- Fonts (font.cpp)
struct LineMetrics {
    int ascent = 0;
    int descent = 0;
    int height = 0;  // ascent + descent: the character cell
};
struct Glyph {
    int advance = 0;
    int left = 0;  // bitmap offset from the pen position
    int top = 0;   // rows from the bitmap's top to the baseline
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width * height, 0..255 (mono glyphs give 0 or 255)
};
// The cached face for a logical font (never null: unknown faces fall back).
FontFace* faceFor(const LOGFONTW& font);
LineMetrics metricsOf(const FontFace* face);
// The glyph of a code point, rendered once and kept. Any thread; stable reference.
const Glyph& glyphOf(FontFace* face, char32_t codePoint);
// Width of a run of text in pixels (control characters have no width).
int measureRun(FontFace* face, std::u16string_view text);
// Draws a run with its pen starting at (x, baseline), in surface coordinates, clipped to
// the context and to `limit` (surface coordinates).
void drawRun(const DcState& dc, FontFace* face, int x, int baseline, std::u16string_view text,
             uint32_t xrgb, const RECT& limit);
// The font a context draws with: its selected font, else the system font.
FontFace* currentFace(const DcState& dc);
const LOGFONTW& systemLogFont();

// ---- Shapes for the platform's own windows (bitmap.cpp), logical coordinates,
// antialiased edges.
void fillEllipse(const DcState& dc, const RECT& box, uint32_t xrgb);
void fillTriangle(const DcState& dc, POINT a, POINT b, POINT c, uint32_t xrgb);
void frameRect(const DcState& dc, const RECT& rect, int thickness, uint32_t xrgb);

}  // namespace orven::gdi
