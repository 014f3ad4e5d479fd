// Paint contexts and the stock objects: BeginPaint, EndPaint, FillRect and
// GetStockObject over the software framebuffer. A window's context draws in screen
// coordinates offset by the window's position and clipped to it.
#include <algorithm>

#include "platform/gdi.h"
#include "platform/internal.h"
#include "platform/screen.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

constexpr uintptr_t stockTag = 0x7E000000;  // stock object handles: tag | index
constexpr uintptr_t dcTag = 0x7D000000;     // window contexts: tag | window handle

}  // namespace

namespace orven::gdi {

bool brushColour(HBRUSH brush, uint32_t& xrgb) {
    uintptr_t value = reinterpret_cast<uintptr_t>(brush);
    if (value == (stockTag | WHITE_BRUSH)) xrgb = 0xFFFFFF;
    else if (value == (stockTag | BLACK_BRUSH)) xrgb = 0x000000;
    else return false;
    return true;
}

HWND windowOfDc(HDC dc) {
    uintptr_t value = reinterpret_cast<uintptr_t>(dc);
    if ((value & 0xFF000000) != dcTag) return nullptr;
    return reinterpret_cast<HWND>(value & 0x00FFFFFF);
}

}  // namespace orven::gdi

// ---- GetStockObject
HGDIOBJ GetStockObject(int object) {
    if (object != WHITE_BRUSH && object != BLACK_BRUSH) return nullptr;
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
    HDC dc = reinterpret_cast<HDC>(dcTag | reinterpret_cast<uintptr_t>(hwnd));
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    GetClientRect(hwnd, &paint->rcPaint);
    paint->fErase = erase ? FALSE : TRUE;  // TRUE: the application must erase itself
    if (erase && window->proc != nullptr &&
        window->proc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0)
        paint->fErase = TRUE;
    return dc;
}

// ---- EndPaint
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT*) {
    internal::trace("EndPaint hwnd=%#lx",
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)));
    screen::present();
    return TRUE;
}

// ---- FillRect
int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    HWND hwnd = gdi::windowOfDc(dc);
    RECT window;
    uint32_t colour;
    if (hwnd == nullptr || !GetWindowRect(hwnd, &window) || !gdi::brushColour(brush, colour))
        return 0;
    int left = std::max(window.left + rect->left, window.left);
    int top = std::max(window.top + rect->top, window.top);
    int right = std::min(window.left + rect->right, window.right);
    int bottom = std::min(window.top + rect->bottom, window.bottom);
    screen::fillRect(left, top, right, bottom, colour);
    return 1;
}
