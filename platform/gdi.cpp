// Device contexts and GDI objects over the software framebuffer: BeginPaint, EndPaint,
// GetDC, ReleaseDC, CreateCompatibleDC, DeleteDC, GetStockObject, CreateSolidBrush,
// SelectObject, DeleteObject, GetObjectW, SetBkMode, SetTextColor, SetBkColor, FillRect,
// SetPixel and GetPixel.
//
// A window's context draws in the window's coordinates, clipped to what of the window
// can be seen: its rectangle, inside its parents, less every newer visible top-level
// window above it (a message box or popup menu stays whole while the main window
// repaints beneath it). A memory context draws into the bitmap selected into it. Relies
// on the window table (window_manager.h) and the framebuffer (screen.h).
#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/gdi_internal.h"
#include "platform/internal.h"
#include "platform/screen.h"
#include "platform/transcript.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;
using gdi::BitmapData;
using gdi::DcState;
using gdi::FontData;

constexpr uintptr_t stockTag = 0x7E000000;  // stock objects: tag | index

enum class Kind : uintptr_t { brush = 1, font = 2, bitmap = 3, dc = 4 };

struct Object {
    Kind kind;
    uint32_t colour = 0;  // brushes (XRGB)
    std::shared_ptr<FontData> font;
    std::shared_ptr<BitmapData> bitmap;
    std::shared_ptr<DcState> dc;
};

std::mutex tableLock;
std::unordered_map<uintptr_t, Object> table;  // guarded by tableLock
uint32_t nextSerial = 1;                      // guarded by tableLock

uintptr_t addObject(Object object) {
    std::lock_guard<std::mutex> hold(tableLock);
    uintptr_t handle;
    do {  // after 2^32 objects the serials wrap: skip any still in use
        uint32_t serial = nextSerial++;
        if (serial == 0) serial = nextSerial++;
        handle = (static_cast<uintptr_t>(object.kind) << 32) | serial;
    } while (table.count(handle) != 0);
    table.emplace(handle, std::move(object));
    return handle;
}

bool isStock(HGDIOBJ object) {
    uintptr_t value = reinterpret_cast<uintptr_t>(object);
    return (value & ~uintptr_t{0xFF}) == stockTag;
}

int stockIndex(HGDIOBJ object) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(object) & 0xFF);
}

bool stockBrushColour(int index, uint32_t& xrgb) {
    static const uint32_t colours[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    if (index < 0 || index > BLACK_BRUSH) return false;
    xrgb = colours[index];
    return true;
}

const std::shared_ptr<FontData>& systemFont() {
    static const std::shared_ptr<FontData> font = [] {
        auto data = std::make_shared<FontData>();
        data->logFont = gdi::systemLogFont();
        data->face = gdi::faceFor(data->logFont);
        return data;
    }();
    return font;
}

// A memory context starts with this one-pixel bitmap selected, as on the phone.
const std::shared_ptr<BitmapData>& stockBitmap() {
    static const auto bitmap = std::make_shared<BitmapData>(BitmapData{1, 1, {0xFFFFFF}});
    return bitmap;
}
HGDIOBJ stockBitmapHandle() {
    return reinterpret_cast<HGDIOBJ>(stockTag | 0x80);
}

// `from` less `cut`: up to four rectangles.
void subtract(const RECT& from, const RECT& cut, std::vector<RECT>& out) {
    if (cut.right <= from.left || cut.left >= from.right || cut.bottom <= from.top ||
        cut.top >= from.bottom) {
        out.push_back(from);
        return;
    }
    if (cut.top > from.top) out.push_back({from.left, from.top, from.right, cut.top});
    if (cut.bottom < from.bottom) out.push_back({from.left, cut.bottom, from.right, from.bottom});
    LONG top = std::max(from.top, cut.top), bottom = std::min(from.bottom, cut.bottom);
    if (cut.left > from.left) out.push_back({from.left, top, cut.left, bottom});
    if (cut.right < from.right) out.push_back({cut.right, top, from.right, bottom});
}

RECT intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

void cut(std::vector<RECT>& region, const RECT& rect) {
    std::vector<RECT> next;
    for (const RECT& part : region) subtract(part, rect, next);
    region.swap(next);
}

bool shown(const wm::Window& w) {
    return w.visible && !w.minimized && !w.destroying;
}

// What of the window can be seen, in screen coordinates; empty when it is hidden. As on
// the phone every window clips its children and its siblings: the region is the
// window's rectangle inside its parents, less its visible children and every newer
// visible sibling of it or of its parents (for top-level windows: every newer one).
std::vector<RECT> visibleRegion(HWND hwnd, RECT& windowRect) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) return {};
    windowRect = window->rect;
    RECT visible = intersect(window->rect, RECT{0, 0, screen::width(), screen::height()});
    std::vector<std::shared_ptr<wm::Window>> chain;  // the window and its parents
    for (auto w = window; w; w = w->parent != nullptr ? wm::findLocked(w->parent) : nullptr) {
        if (!shown(*w)) return {};
        visible = intersect(visible, w->rect);
        chain.push_back(w);
    }
    if (visible.left >= visible.right || visible.top >= visible.bottom) return {};
    std::vector<RECT> region{visible};
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (!shown(*w) || w == window) return;
        if (w->parent == hwnd) {
            cut(region, w->rect);
            return;
        }
        for (const auto& link : chain)
            if (w->parent == link->parent && w->creationOrder > link->creationOrder) {
                cut(region, w->rect);
                return;
            }
    });
    return region;
}

HDC windowDc(HWND hwnd) {
    auto dc = std::make_shared<DcState>();
    RECT rect{};
    if (hwnd != nullptr) {
        if (!wm::find(hwnd)) return nullptr;
        dc->window = hwnd;
        dc->clip = visibleRegion(hwnd, rect);
        dc->origin = POINT{rect.left, rect.top};
    } else {
        dc->clip = {RECT{0, 0, screen::width(), screen::height()}};
    }
    dc->font = systemFont();
    dc->fontHandle = GetStockObject(SYSTEM_FONT);
    dc->brushHandle = GetStockObject(WHITE_BRUSH);
    return reinterpret_cast<HDC>(addObject(Object{Kind::dc, 0, nullptr, nullptr, std::move(dc)}));
}

bool freeDc(HDC dc) {
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(dc));
    if (it == table.end() || it->second.kind != Kind::dc) return false;
    table.erase(it);
    return true;
}

// Whether any context has the object selected (caller holds tableLock).
bool selectedSomewhereLocked(HGDIOBJ object) {
    for (auto& [handle, entry] : table)
        if (entry.kind == Kind::dc &&
            (entry.dc->bitmapHandle == object || entry.dc->fontHandle == object ||
             entry.dc->brushHandle == object))
            return true;
    return false;
}

}  // namespace

namespace orven::gdi {

std::shared_ptr<DcState> dcOf(HDC dc) {
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(dc));
    return it != table.end() && it->second.kind == Kind::dc ? it->second.dc : nullptr;
}

std::shared_ptr<FontData> fontOf(HGDIOBJ font) {
    if (isStock(font)) return stockIndex(font) == SYSTEM_FONT ? systemFont() : nullptr;
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(font));
    return it != table.end() && it->second.kind == Kind::font ? it->second.font : nullptr;
}

std::shared_ptr<BitmapData> bitmapOf(HGDIOBJ bitmap) {
    if (bitmap == stockBitmapHandle()) return stockBitmap();
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(bitmap));
    return it != table.end() && it->second.kind == Kind::bitmap ? it->second.bitmap : nullptr;
}

HBITMAP addBitmap(std::shared_ptr<BitmapData> bitmap) {
    return reinterpret_cast<HBITMAP>(
        addObject(Object{Kind::bitmap, 0, nullptr, std::move(bitmap), nullptr}));
}

HFONT addFont(std::shared_ptr<FontData> font) {
    return reinterpret_cast<HFONT>(
        addObject(Object{Kind::font, 0, std::move(font), nullptr, nullptr}));
}

size_t liveObjectCount() {
    std::lock_guard<std::mutex> hold(tableLock);
    return table.size();
}

bool brushColour(HBRUSH brush, uint32_t& xrgb) {
    HGDIOBJ object = reinterpret_cast<HGDIOBJ>(brush);
    if (isStock(object)) return stockBrushColour(stockIndex(object), xrgb);
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(brush));
    if (it == table.end() || it->second.kind != Kind::brush) return false;
    xrgb = it->second.colour;
    return true;
}

HWND windowOfDc(HDC dc) {
    auto state = dcOf(dc);
    return state ? state->window : nullptr;
}

Surface surfaceOf(const DcState& dc) {
    if (dc.memory) {
        BitmapData& bitmap = *dc.bitmap;
        return Surface{bitmap.pixels.data(), bitmap.width, bitmap.height};
    }
    return Surface{screen::pixels(), screen::width(), screen::height()};
}

void fillLogical(const DcState& dc, const RECT& rect, uint32_t xrgb) {
    Surface surface = surfaceOf(dc);
    RECT area{rect.left + dc.origin.x, rect.top + dc.origin.y, rect.right + dc.origin.x,
              rect.bottom + dc.origin.y};
    forEachClip(dc, area, [&](const RECT& part) {
        for (LONG y = part.top; y < part.bottom; ++y) {
            uint32_t* row = surface.pixels + static_cast<size_t>(y) * surface.width;
            std::fill(row + part.left, row + part.right, xrgb);
        }
    });
}

}  // namespace orven::gdi

// ---- GetStockObject
HGDIOBJ GetStockObject(int object) {
    if ((object < WHITE_BRUSH || object > NULL_BRUSH) && object != SYSTEM_FONT) return nullptr;
    return reinterpret_cast<HGDIOBJ>(stockTag | static_cast<uintptr_t>(object));
}

// ---- BeginPaint
// Validates the window; when an erase was asked for, WM_ERASEBKGND goes first (the
// default handling fills the window with its class brush).
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
    auto window = wm::find(hwnd);
    if (!window) return nullptr;
    bool erase;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        erase = window->eraseBackground;
        window->invalid = false;
        window->eraseBackground = false;
    }
    HDC dc = windowDc(hwnd);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    GetClientRect(hwnd, &paint->rcPaint);
    paint->fErase = FALSE;  // TRUE only when an erase was due and nobody did it
    if (erase && window->proc != nullptr &&
        window->proc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0)
        paint->fErase = TRUE;
    return dc;
}

// ---- EndPaint
// Ends the paint context and shows the framebuffer.
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (paint != nullptr) freeDc(paint->hdc);
    internal::trace("EndPaint hwnd=%#lx",
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)));
    screen::present();
    transcript::paintEnded(hwnd);
    return TRUE;
}

// ---- GetDC
HDC GetDC(HWND hwnd) {
    return windowDc(hwnd);
}

// ---- ReleaseDC
int ReleaseDC(HWND, HDC dc) {
    auto state = gdi::dcOf(dc);
    if (!state || state->memory) return 0;
    return freeDc(dc) ? 1 : 0;
}

// ---- CreateCompatibleDC
// A memory context with the stock one-pixel bitmap selected.
HDC CreateCompatibleDC(HDC) {
    auto dc = std::make_shared<DcState>();
    dc->memory = true;
    dc->bitmap = stockBitmap();
    dc->bitmapHandle = stockBitmapHandle();
    dc->clip = {RECT{0, 0, 1, 1}};
    dc->font = systemFont();
    dc->fontHandle = GetStockObject(SYSTEM_FONT);
    dc->brushHandle = GetStockObject(WHITE_BRUSH);
    return reinterpret_cast<HDC>(addObject(Object{Kind::dc, 0, nullptr, nullptr, std::move(dc)}));
}

// ---- DeleteDC
BOOL DeleteDC(HDC dc) {
    auto state = gdi::dcOf(dc);
    if (!state || !state->memory) return FALSE;
    return freeDc(dc) ? TRUE : FALSE;
}

// ---- CreateSolidBrush
HBRUSH CreateSolidBrush(COLORREF colour) {
    return reinterpret_cast<HBRUSH>(
        addObject(Object{Kind::brush, gdi::toXrgb(colour), nullptr, nullptr, nullptr}));
}

// ---- SelectObject
// Returns the object of the same kind selected before, or null when the object cannot
// be selected into this context (a bitmap into a window's context).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    auto state = gdi::dcOf(dc);
    if (!state || object == nullptr) return nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t colour;
    if (auto font = gdi::fontOf(object)) {
        previous = state->fontHandle;
        state->font = font;
        state->fontHandle = object;
    } else if (auto bitmap = gdi::bitmapOf(object)) {
        if (!state->memory) return nullptr;
        previous = state->bitmapHandle;
        state->bitmap = bitmap;
        state->bitmapHandle = object;
        state->clip = {RECT{0, 0, bitmap->width, bitmap->height}};
    } else if (gdi::brushColour(reinterpret_cast<HBRUSH>(object), colour) ||
               object == GetStockObject(NULL_BRUSH)) {
        previous = state->brushHandle;
        state->brushHandle = object;
    }
    return previous;
}

// ---- DeleteObject
// Stock objects are never deleted; an object still selected into a context is not
// deleted either (FALSE), as on the phone.
BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr) return FALSE;
    if (isStock(object)) return TRUE;
    std::lock_guard<std::mutex> hold(tableLock);
    auto it = table.find(reinterpret_cast<uintptr_t>(object));
    if (it == table.end() || it->second.kind == Kind::dc) return FALSE;
    if (selectedSomewhereLocked(object)) return FALSE;
    table.erase(it);
    return TRUE;
}

// ---- GetObjectW
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    if (auto bitmap = gdi::bitmapOf(object)) {
        if (buffer == nullptr) return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP))) return 0;
        *static_cast<BITMAP*>(buffer) =
            BITMAP{0, bitmap->width, bitmap->height, bitmap->width * 4, 1, 32, nullptr};
        return sizeof(BITMAP);
    }
    if (auto font = gdi::fontOf(object)) {
        if (buffer == nullptr) return sizeof(LOGFONTW);
        if (size < static_cast<int>(sizeof(LOGFONTW))) return 0;
        *static_cast<LOGFONTW*>(buffer) = font->logFont;
        return sizeof(LOGFONTW);
    }
    return 0;
}

// ---- SetBkMode
int SetBkMode(HDC dc, int mode) {
    auto state = gdi::dcOf(dc);
    if (!state || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = state->bkMode;
    state->bkMode = mode;
    return previous;
}

// ---- SetTextColor
COLORREF SetTextColor(HDC dc, COLORREF colour) {
    auto state = gdi::dcOf(dc);
    if (!state) return CLR_INVALID;
    COLORREF previous = gdi::toColorref(state->textColour);
    state->textColour = gdi::toXrgb(colour);
    return previous;
}

// ---- SetBkColor
COLORREF SetBkColor(HDC dc, COLORREF colour) {
    auto state = gdi::dcOf(dc);
    if (!state) return CLR_INVALID;
    COLORREF previous = gdi::toColorref(state->bkColour);
    state->bkColour = gdi::toXrgb(colour);
    return previous;
}

// ---- FillRect
int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    auto state = gdi::dcOf(dc);
    uint32_t colour;
    if (!state || rect == nullptr || !gdi::brushColour(brush, colour)) return 0;
    gdi::fillLogical(*state, *rect, colour);
    return 1;
}

// ---- SetPixel
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
    auto state = gdi::dcOf(dc);
    if (!state) return CLR_INVALID;
    gdi::fillLogical(*state, RECT{x, y, x + 1, y + 1}, gdi::toXrgb(colour));
    return colour;
}

// ---- GetPixel
// CLR_INVALID outside the context's visible region.
COLORREF GetPixel(HDC dc, int x, int y) {
    auto state = gdi::dcOf(dc);
    if (!state) return CLR_INVALID;
    gdi::Surface surface = gdi::surfaceOf(*state);
    COLORREF result = CLR_INVALID;
    RECT point{x + state->origin.x, y + state->origin.y, x + state->origin.x + 1,
               y + state->origin.y + 1};
    gdi::forEachClip(*state, point, [&](const RECT& part) {
        result = gdi::toColorref(
            surface.pixels[static_cast<size_t>(part.top) * surface.width + part.left]);
    });
    return result;
}
