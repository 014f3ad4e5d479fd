// The input panel (SIP): an on-screen keypad over the bottom of the screen, just above
// the menu bar, raised and lowered with SHSipPreference and SHSipInfo. A tap on one of
// its keys types the key's character into the window with the focus (else the
// foreground window) as a posted WM_CHAR; the erase key posts Backspace, the shift key
// makes the next letter a capital. The panel's flags other than SIPF_ON are kept as the
// program sets them and read back unchanged. The panel is a platform window made anew
// each time it is raised, so it lies above every window of the program. A Smartphone has
// no touch screen and so no panel: there it never rises (its keypad, the desktop
// keyboard here, types). Relies on the window manager and the GDI.
#include <mutex>

#include "platform/controls_internal.h"
#include "platform/device.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

using namespace orven;

constexpr LPCWSTR sipClass = u"SipWndClass";
constexpr WCHAR eraseKey = VK_BACK;
constexpr WCHAR shiftKey = VK_SHIFT;
constexpr int keyColumns = 11;  // every row is eleven key widths wide
constexpr int rowCount = 4;
constexpr int rowHeight = 18;  // pixels at scale 1

// Each row's keys; a blank is the space bar (three keys wide).
const char16_t* const rows[rowCount] = {u"1234567890\b", u"qwertyuiop-", u"asdfghjkl,.",
                                        u"\x10zxcvbnm "};

std::mutex sipLock;
HWND sipWindow = nullptr;  // while the panel shows; guarded by sipLock
DWORD keptFlags = 0;       // flags set by the program, SIPF_ON and SIPF_DOCKED aside
bool shifted = false;      // GUI thread (taps)
int pressedKey = -1;       // GUI thread: index into keysOf() under a tap

RECT panelRect() {
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    int bottom = height - GetSystemMetrics(SM_CYMENU);
    return RECT{0, bottom - rowCount * rowHeight * controls::scale(), width, bottom};
}

struct Key {
    WCHAR character;
    RECT rect;  // in the panel's client coordinates
};

std::vector<Key> keysOf() {
    RECT panel = panelRect();
    int width = panel.right - panel.left;
    int height = rowHeight * controls::scale();
    std::vector<Key> keys;
    for (int row = 0; row < rowCount; ++row) {
        int column = 0;
        for (const char16_t* p = rows[row]; *p; ++p) {
            int span = *p == u' ' ? 3 : 1;
            keys.push_back(Key{*p, RECT{width * column / keyColumns, row * height,
                                        width * (column + span) / keyColumns, (row + 1) * height}});
            column += span;
        }
    }
    return keys;
}

std::u16string labelOf(WCHAR c) {
    if (c == eraseKey) return u"\u2190";
    if (c == shiftKey) return u"\u21E7";
    if (c == u' ') return u"space";
    if (shifted && c >= u'a' && c <= u'z') return std::u16string(1, static_cast<WCHAR>(c - 32));
    return std::u16string(1, c);
}

void paintPanel(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    controls::fillColour(dc, client, 0xD0D0D0);
    HFONT font = gui::uiFont(12 * controls::scale(), false);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    auto keys = keysOf();
    for (size_t i = 0; i < keys.size(); ++i) {
        RECT r = keys[i].rect;
        RECT face{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        bool down = static_cast<int>(i) == pressedKey || (keys[i].character == shiftKey && shifted);
        controls::fillColour(dc, face, down ? 0x1E4B9B : 0xFFFFFF);
        SetTextColor(dc, down ? RGB(255, 255, 255) : RGB(0, 0, 0));
        std::u16string label = labelOf(keys[i].character);
        DrawTextW(dc, label.c_str(), -1, &face,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(hwnd, &ps);
}

int keyAt(LPARAM lParam) {
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    auto keys = keysOf();
    for (size_t i = 0; i < keys.size(); ++i) {
        const RECT& r = keys[i].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return static_cast<int>(i);
    }
    return -1;
}

// Types the key into the window with the focus, else the foreground window.
void typeKey(WCHAR c) {
    if (c == shiftKey) {
        shifted = !shifted;
        return;
    }
    HWND target = GetFocus();
    if (target == nullptr) target = GetForegroundWindow();
    if (target == nullptr) return;
    if (c == eraseKey) {
        PostMessageW(target, WM_KEYDOWN, VK_BACK, 1);
        PostMessageW(target, WM_CHAR, VK_BACK, 1);
        PostMessageW(target, WM_KEYUP, VK_BACK, static_cast<LPARAM>(0xC0000001));
        return;
    }
    if (shifted && c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - 32);
    shifted = false;
    PostMessageW(target, WM_CHAR, c, 1);
}

LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paintPanel(hwnd); return 0;
        case WM_LBUTTONDOWN:
            pressedKey = keyAt(lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            int key = keyAt(lParam);
            if (key >= 0 && key == pressedKey) typeKey(keysOf()[key].character);
            pressedKey = -1;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Whether a top-level window newer than the panel shows (it would cover the panel).
bool coveredLocked() {
    bool covered = false;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto panel = wm::findLocked(sipWindow);
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (panel && w->parent == nullptr && w->visible && !w->destroying &&
            w->creationOrder > panel->creationOrder)
            covered = true;
    });
    return covered;
}

void lower();

void raise() {
    {
        std::lock_guard<std::mutex> hold(sipLock);
        if (sipWindow != nullptr && IsWindow(sipWindow) && !coveredLocked()) return;
    }
    lower();  // a panel beneath a newer window comes back on top
    std::lock_guard<std::mutex> hold(sipLock);
    gui::registerClass(sipClass, panelProc);
    sipWindow = wm::createPlatformWindow(sipClass, u"", WS_POPUP | WS_VISIBLE, panelRect());
    shifted = false;
    pressedKey = -1;
}

void lower() {
    HWND window;
    {
        std::lock_guard<std::mutex> hold(sipLock);
        window = sipWindow;
        sipWindow = nullptr;
    }
    if (window != nullptr) DestroyWindow(window);
}

bool shown() {
    std::lock_guard<std::mutex> hold(sipLock);
    return sipWindow != nullptr && IsWindow(sipWindow);
}

}  // namespace

namespace orven::gui {

bool sipShown() {
    return shown();
}

std::vector<SipKeyShown> sipKeys() {
    std::vector<SipKeyShown> result;
    if (!shown()) return result;
    RECT panel = panelRect();
    for (const Key& key : keysOf())
        result.push_back(SipKeyShown{
            key.character, RECT{key.rect.left + panel.left, key.rect.top + panel.top,
                                key.rect.right + panel.left, key.rect.bottom + panel.top}});
    return result;
}

}  // namespace orven::gui

// ---- SHSipPreference
BOOL SHSipPreference(HWND hwnd, SIPSTATE state) {
    internal::trace("SHSipPreference hwnd=%#lx state=%d",
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)),
                    static_cast<int>(state));
    if (hwnd == nullptr) return FALSE;
    if (orven::deviceProfile().platformType == u"Smartphone") return FALSE;
    switch (state) {
        case SIP_UP:
        case SIP_INPUTDIALOG: raise(); break;
        case SIP_DOWN:
        case SIP_FORCEDOWN: lower(); break;
        default: break;
    }
    return TRUE;
}

// ---- SHSipInfo
BOOL SHSipInfo(UINT action, UINT, void* data, UINT) {
    auto* info = static_cast<SIPINFO*>(data);
    if (info == nullptr || info->cbSize < sizeof(SIPINFO)) return FALSE;
    if (action == SPI_GETSIPINFO) {
        bool up = shown();
        RECT panel = panelRect();
        {
            std::lock_guard<std::mutex> hold(sipLock);
            info->fdwFlags = keptFlags | SIPF_DOCKED | (up ? SIPF_ON : 0);
        }
        info->rcSipRect = panel;
        info->rcVisibleDesktop =
            RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), up ? panel.top : panel.bottom};
        info->dwImDataSize = 0;
        return TRUE;
    }
    if (action == SPI_SETSIPINFO) {
        {
            std::lock_guard<std::mutex> hold(sipLock);
            keptFlags = info->fdwFlags & ~(SIPF_ON | SIPF_DOCKED);
        }
        internal::trace("SHSipInfo set flags=%#x", static_cast<unsigned>(info->fdwFlags));
        if (info->fdwFlags & SIPF_ON)
            raise();
        else
            lower();
        return TRUE;
    }
    return FALSE;
}
