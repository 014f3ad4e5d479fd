// The shell's notification windows: a bubble for a new message and one for a ringing
// call. They are made on the radio's notification thread with the window manager's
// own way for platform windows (no GUI-thread round trip), painted and tapped on the
// GUI thread, and destroyed from whichever thread closes them: the program (by title),
// a tap, or the end of the call. Relies on the window manager, the GDI and the device
// profile.
#include "platform/shell_notify.h"

#include <map>
#include <mutex>

#include "platform/device.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/palette.h"
#include "platform/text.h"
#include "platform/window_manager.h"

namespace orven::shell {

namespace {

constexpr WCHAR notificationClass[] = u"ShellNotification";
constexpr DWORD newerShellVersion = 5;
constexpr int bubbleTop = 26;  // below the phone's title bar, in unscaled pixels
constexpr int bubbleHeight = 64;
constexpr int bubbleMargin = 6;

std::mutex bodiesLock;                  // guards bodies and the two windows below
std::map<HWND, std::u16string> bodies;  // the text under each window's title
HWND messageWindow = nullptr;           // the open message bubble, if any
HWND callWindow = nullptr;              // the open incoming-call window, if any

std::u16string bodyOf(HWND window) {
    std::lock_guard<std::mutex> hold(bodiesLock);
    auto it = bodies.find(window);
    return it == bodies.end() ? u"" : it->second;
}

void paint(HWND window) {
    gui::WindowPaint paint(window);
    const RECT& client = paint.client;
    const int s = paint.scale;
    gdi::fillLogical(*paint.state, client, palette::bubbleBackground);
    WCHAR title[MAX_PATH];
    GetWindowTextW(window, title, MAX_PATH);
    paint.font(13 * s, true);
    RECT line{4 * s, 2 * s, client.right - 4 * s, 18 * s};
    SetTextColor(paint.dc, gdi::toColorref(palette::bubbleTitle));
    DrawTextW(paint.dc, title, -1, &line, DT_SINGLELINE | DT_NOPREFIX);
    paint.font(12 * s, false);
    RECT text{4 * s, 20 * s, client.right - 4 * s, client.bottom - 2 * s};
    SetTextColor(paint.dc, gdi::toColorref(palette::bubbleText));
    std::u16string body = bodyOf(window);
    DrawTextW(paint.dc, body.c_str(), -1, &text, DT_WORDBREAK | DT_NOPREFIX);
}

// Runs on the GUI thread, except WM_DESTROY, which comes on the thread that closes it.
LRESULT CALLBACK notificationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paint(window); return 0;
        case WM_LBUTTONUP:  // a tap dismisses the bubble
            DestroyWindow(window);
            return 0;
        case WM_DESTROY: {
            std::lock_guard<std::mutex> hold(bodiesLock);
            bodies.erase(window);
            if (messageWindow == window) messageWindow = nullptr;
            if (callWindow == window) callWindow = nullptr;
            return 0;
        }
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

RECT bubbleRect() {
    int s = gui::uiScale();
    int width = GetSystemMetrics(SM_CXSCREEN);
    return RECT{bubbleMargin * s, bubbleTop * s, width - bubbleMargin * s,
                (bubbleTop + bubbleHeight) * s};
}

// An open bubble shows the new text; otherwise a new one opens. Caller holds bodiesLock.
HWND showLocked(HWND& slot, LPCWSTR title, const std::u16string& body) {
    static std::once_flag registered;
    std::call_once(registered, [] { gui::registerClass(notificationClass, notificationProc); });
    if (slot != nullptr && IsWindow(slot)) {
        SetWindowTextW(slot, title);
        bodies[slot] = body;
        return slot;
    }
    slot = wm::createPlatformWindow(notificationClass, title, WS_POPUP | WS_VISIBLE, bubbleRect());
    if (slot != nullptr) bodies[slot] = body;
    return slot;
}

}  // namespace

void showNewMessage(const std::u16string& sender, const std::u16string& text) {
    LPCWSTR title = static_cast<DWORD>(deviceProfile().osMajorVersion) >= newerShellVersion
                        ? u"New SMS message"
                        : u"New text message";
    std::lock_guard<std::mutex> hold(bodiesLock);
    showLocked(messageWindow, title, sender + u"\n" + text);
    internal::trace("shell: new message from %s", toUtf8(sender).c_str());
}

void showIncomingCall(const std::u16string& number) {
    if (deviceProfile().platformType == u"Smartphone") return;
    std::lock_guard<std::mutex> hold(bodiesLock);
    showLocked(callWindow, u"Phone - Incoming...", number.empty() ? u"Unknown caller" : number);
    internal::trace("shell: incoming call from %s",
                    number.empty() ? "(withheld)" : toUtf8(number).c_str());
}

void endIncomingCall() {
    HWND window;
    {
        std::lock_guard<std::mutex> hold(bodiesLock);
        window = callWindow;
        callWindow = nullptr;
    }
    if (window != nullptr) DestroyWindow(window);
}

}  // namespace orven::shell
