// Input routing: taps from the touch screen and key presses from the keypad become
// posted messages for the right window, whoever produced them (the SDL window or a
// test's injected input).
#include "platform/internal.h"
#include "platform/window_manager.h"

namespace orven::wm {

void deliverTap(int x, int y, bool down) {
    HWND target = nullptr;
    RECT rect{};
    {
        std::lock_guard<std::mutex> hold(loopLock());
        // The newest visible top-level window under the point is the topmost one.
        forEachWindowLocked([&](const std::shared_ptr<Window>& w) {
            if (w->parent != nullptr || !w->visible || w->minimized || w->destroying) return;
            if (x >= w->rect.left && x < w->rect.right && y >= w->rect.top && y < w->rect.bottom) {
                target = handleOf(*w);
                rect = w->rect;
            }
        });
    }
    if (target == nullptr) return;
    internal::trace("tap x=%d y=%d %s", x, y, down ? "down" : "up");
    PostMessageW(target, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 1 : 0,
                 MAKELPARAM(x - rect.left, y - rect.top));
}

static HWND keyTarget() {
    HWND target = GetForegroundWindow();
    return target != nullptr ? target : applicationWindow();
}

void deliverKey(int virtualKey, bool down) {
    HWND target = keyTarget();
    if (target == nullptr) return;
    internal::trace("key vk=%#x %s", virtualKey, down ? "down" : "up");
    PostMessageW(target, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(virtualKey),
                 down ? 1 : static_cast<LPARAM>(0xC0000001));
    // The keyboard's Backspace also types its character, as a translated key would.
    if (down && virtualKey == VK_BACK) PostMessageW(target, WM_CHAR, VK_BACK, 1);
}

void deliverChar(WCHAR c) {
    if (HWND target = keyTarget()) PostMessageW(target, WM_CHAR, c, 1);
}

}  // namespace orven::wm
