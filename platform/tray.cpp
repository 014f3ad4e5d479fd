// Tray icons: Shell_NotifyIconW, and the emulated shell's desktop that shows them.
//
// While no window of the program is shown (it was minimised), the shell's desktop
// covers the screen: a plain background with a top bar that holds the tray icons,
// right-aligned. A tap on an icon sends its callback message to its window, as the
// phone's shell does for any mouse event on it. The desktop is a window of the
// platform's own, created with the first icon and destroyed with the last; the window
// manager tells it when a window is minimised, hidden, shown or restored
// (wm::showStateChanged), and it decides on the GUI thread whether to show itself.
#include <mutex>

#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/palette.h"
#include "platform/resource.h"
#include "platform/shell.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

constexpr LPCWSTR desktopClass = u"orven.desktop";
constexpr UINT recheckMessage = WM_USER + 1;  // to the desktop: look at the windows again

struct TrayIcon {
    HWND window = nullptr;
    UINT id = 0;
    UINT callback = 0;
    HICON icon = nullptr;
    std::u16string tip;
};

std::mutex trayLock;
std::vector<TrayIcon> icons;         // in the order added; guarded by trayLock
std::atomic<HWND> desktop{nullptr};  // the desktop window; created on the GUI thread

int barHeight() {
    return 26 * gui::uiScale();
}

// Where icon `index` (of `count`) sits on the screen: right-aligned in the top bar.
RECT iconRect(size_t index, size_t count) {
    int s = gui::uiScale(), size = 16 * s, step = size + 8 * s;
    int right = GetSystemMetrics(SM_CXSCREEN) - 6 * s - static_cast<int>(count - 1 - index) * step;
    int top = (barHeight() - size) / 2;
    return RECT{right - size, top, right, top + size};
}

std::vector<TrayIcon> iconsNow() {
    std::lock_guard<std::mutex> hold(trayLock);
    return icons;
}

void paintDesktop(HWND hwnd) {
    gui::WindowPaint paint(hwnd);
    const RECT& client = paint.client;
    const int s = paint.scale;
    gdi::fillLogical(*paint.state, client, palette::desktopBackground);
    gdi::fillLogical(*paint.state, RECT{0, 0, client.right, barHeight()}, palette::accent);
    std::vector<TrayIcon> shown = iconsNow();
    for (size_t i = 0; i < shown.size(); ++i) {
        RECT r = iconRect(i, shown.size());
        DrawIconEx(paint.dc, r.left, r.top, shown[i].icon, r.right - r.left, r.bottom - r.top, 0,
                   nullptr, DI_NORMAL);
    }
    paint.font(13 * s, false);
    SetTextColor(paint.dc, gdi::toColorref(palette::desktopHint));
    RECT hint{8 * s, barHeight(), client.right - 8 * s, client.bottom};
    DrawTextW(paint.dc, u"Tap an icon in the bar to bring its program back.", -1, &hint,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// Shown exactly while no other top-level window is.
void recheck(HWND self) {
    bool programShown = false;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            if (hwnd != desktop.load() && IsWindowVisible(hwnd))
                *reinterpret_cast<bool*>(param) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&programShown));
    if (programShown == (IsWindowVisible(self) != 0))
        ShowWindow(self, programShown ? SW_HIDE : SW_SHOW);
}

void tapAt(int x, int y) {
    std::vector<TrayIcon> shown = iconsNow();
    int slack = 4 * gui::uiScale();  // a finger is larger than the icon
    for (size_t i = 0; i < shown.size(); ++i) {
        RECT r = iconRect(i, shown.size());
        if (x < r.left - slack || x >= r.right + slack || y < r.top - slack ||
            y >= r.bottom + slack)
            continue;
        internal::trace("tray icon tapped id=%u", shown[i].id);
        PostMessageW(shown[i].window, shown[i].callback, shown[i].id, WM_LBUTTONDOWN);
        PostMessageW(shown[i].window, shown[i].callback, shown[i].id, WM_LBUTTONUP);
        return;
    }
}

LRESULT CALLBACK desktopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paintDesktop(hwnd); return 0;
        case recheckMessage: recheck(hwnd); return 0;
        case WM_LBUTTONDOWN:
            tapAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void createDesktop() {
    if (desktop.load() != nullptr) return;
    gui::registerClass(desktopClass, desktopProc);
    desktop.store(CreateWindowExW(0, desktopClass, u"Desktop", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, nullptr, nullptr));
}

void destroyDesktop() {
    if (HWND window = desktop.exchange(nullptr)) DestroyWindow(window);
}

}  // namespace

namespace orven::wm {

void showStateChanged(HWND hwnd) {
    HWND self = desktop.load();
    if (self != nullptr && hwnd != self) PostMessageW(self, recheckMessage, 0, 0);
}

}  // namespace orven::wm

namespace orven::gui {

std::vector<TrayIconShown> trayIcons() {
    std::vector<TrayIcon> shown = iconsNow();
    std::vector<TrayIconShown> out;
    for (size_t i = 0; i < shown.size(); ++i)
        out.push_back(
            TrayIconShown{shown[i].window, shown[i].id, shown[i].tip, iconRect(i, shown.size())});
    return out;
}

bool desktopShown() {
    HWND self = desktop.load();
    return self != nullptr && IsWindowVisible(self);
}

}  // namespace orven::gui

// ---- Shell_NotifyIconW
// NIM_ADD, NIM_MODIFY and NIM_DELETE of the icon (window, id).
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    if (data == nullptr || data->cbSize < sizeofNOTIFYICONDATAW) return FALSE;
    bool created = false, emptied = false;
    {
        std::lock_guard<std::mutex> hold(trayLock);
        auto it = icons.begin();
        while (it != icons.end() && !(it->window == data->hWnd && it->id == data->uID)) ++it;
        if (message == NIM_ADD) {
            if (it != icons.end() || !IsWindow(data->hWnd)) return FALSE;
            icons.push_back(TrayIcon{data->hWnd, data->uID, 0, nullptr, u""});
            it = icons.end() - 1;
            created = icons.size() == 1;
        } else if (it == icons.end() || (message != NIM_MODIFY && message != NIM_DELETE)) {
            return FALSE;
        }
        if (message == NIM_DELETE) {
            icons.erase(it);
            emptied = icons.empty();
        } else {
            if (data->uFlags & NIF_MESSAGE) it->callback = data->uCallbackMessage;
            if (data->uFlags & NIF_ICON) it->icon = data->hIcon;
            if (data->uFlags & NIF_TIP) {
                size_t length = 0;
                while (length < 64 && data->szTip[length] != 0) ++length;
                it->tip.assign(data->szTip, length);
            }
        }
    }
    internal::trace("Shell_NotifyIcon message=%u id=%u", static_cast<unsigned>(message), data->uID);
    if (created) createDesktop();
    if (emptied) destroyDesktop();
    if (HWND self = desktop.load()) InvalidateRect(self, nullptr, FALSE);
    return TRUE;
}
