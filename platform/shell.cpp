// The shell library of the emulated phone: SHFullScreen, SHCreateMenuBar, SHFindMenuBar,
// SHHandleWMActivate, SHHandleWMSettingChange and SHSipPreference, and the soft keys.
//
// The emulated screen has no task bar, input panel or start icon: SHFullScreen and
// SHSipPreference record what was asked (in the trace). A menu bar is a child window
// of its parent along the bottom of the screen, showing its keys' labels (from the
// string table); the device's soft keys (F1 and F2 on the desktop) press the keys of
// the bar of the newest window shown, and a tap on a half of the bar presses that key.
// A pressed key posts its command to the bar's parent as WM_COMMAND. While a message
// box or popup menu is open the soft keys go to it instead.
#include <mutex>
#include <unordered_map>

#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/resource.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

constexpr LPCWSTR barClass = u"menu_worker";  // the phone's class for menu bars

struct Bar {
    HWND parent = nullptr;
    std::vector<resources::MenuBarButton> buttons;
    std::vector<std::u16string> labels;
    std::unordered_map<int, DWORD> overrides;  // SHMBOF_* flags by virtual key
};

std::mutex barLock;
std::unordered_map<HWND, Bar> bars;  // by the bar's window; guarded by barLock

unsigned long handleValue(HWND hwnd) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd));
}

bool findBar(HWND hwnd, Bar& bar) {
    std::lock_guard<std::mutex> hold(barLock);
    auto it = bars.find(hwnd);
    if (it == bars.end()) return false;
    bar = it->second;
    return true;
}

void press(HWND barWindow, size_t index) {
    Bar bar;
    if (!findBar(barWindow, bar) || index >= bar.buttons.size()) return;
    UINT command = bar.buttons[index].command;
    internal::trace("soft key %zu command=%u", index, command);
    PostMessageW(bar.parent, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void paintBar(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    Bar bar;
    RECT client;
    GetClientRect(hwnd, &client);
    if (findBar(hwnd, bar) && client.right > 0 && client.bottom > 0) {
        auto state = gdi::dcOf(dc);
        gdi::fillLogical(*state, client, 0x1E4B9B);
        HFONT font = gui::uiFont(13 * gui::uiScale(), true);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        int count = static_cast<int>(bar.labels.size());
        for (int i = 0; i < count; ++i) {
            RECT key{client.right * i / count, 0, client.right * (i + 1) / count, client.bottom};
            DrawTextW(dc, bar.labels[i].c_str(), -1, &key,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK barProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paintBar(hwnd); return 0;
        case WM_LBUTTONUP: {
            RECT client;
            Bar bar;
            GetClientRect(hwnd, &client);
            if (client.right > 0 && findBar(hwnd, bar) && !bar.buttons.empty())
                press(hwnd, static_cast<size_t>(static_cast<short>(LOWORD(lParam))) *
                                bar.buttons.size() / static_cast<size_t>(client.right));
            return 0;
        }
        case WM_KEYUP:
            if (wParam == VK_TSOFT1 || wParam == VK_TSOFT2) press(hwnd, wParam - VK_TSOFT1);
            return 0;
        case SHCMBM_OVERRIDEKEY: {
            // lParam: the flags to change in the low word, their new values in the high.
            std::lock_guard<std::mutex> hold(barLock);
            auto it = bars.find(hwnd);
            if (it == bars.end()) return FALSE;
            DWORD& flags = it->second.overrides[static_cast<int>(wParam)];
            flags = (flags & ~LOWORD(lParam)) | (HIWORD(lParam) & LOWORD(lParam));
            return TRUE;
        }
        case WM_DESTROY: {
            std::lock_guard<std::mutex> hold(barLock);
            bars.erase(hwnd);
            return 0;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// The bar whose parent is the newest window shown, or null.
HWND activeBar() {
    std::vector<std::pair<HWND, HWND>> candidates;  // bar, parent
    {
        std::lock_guard<std::mutex> hold(barLock);
        for (auto& [window, bar] : bars) candidates.emplace_back(window, bar.parent);
    }
    HWND best = nullptr;
    uint64_t newest = 0;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    for (auto& [window, parent] : candidates) {
        auto owner = wm::findLocked(parent);
        if (!owner || !owner->visible || owner->minimized || owner->destroying) continue;
        if (owner->creationOrder > newest) {
            newest = owner->creationOrder;
            best = window;
        }
    }
    return best;
}

}  // namespace

namespace orven::gui {

DWORD menuBarKeyOverride(HWND parent, int virtualKey) {
    std::lock_guard<std::mutex> hold(barLock);
    for (auto& [window, bar] : bars) {
        if (bar.parent != parent) continue;
        auto it = bar.overrides.find(virtualKey);
        return it != bar.overrides.end() ? it->second : 0;
    }
    return 0;
}

// A soft key's release goes where its press went. Message boxes and menus act on the
// press, so its release is dropped: released after the box has gone, it must neither
// press the bar's key nor reach the program as a key.
void softKey(int index, bool down) {
    static HWND pressedBar[2];  // GUI thread only
    static bool pressedModal[2];
    int key = index == 0 ? VK_TSOFT1 : VK_TSOFT2;
    index = index == 0 ? 0 : 1;
    if (down) {
        pressedModal[index] = modalActive();
        pressedBar[index] = pressedModal[index] ? nullptr : activeBar();
    }
    if (pressedModal[index]) {
        if (down) wm::deliverKey(key, true);
    } else if (pressedBar[index] != nullptr) {
        PostMessageW(pressedBar[index], down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(key),
                     down ? 1 : 0);
    } else {
        wm::deliverKey(key, down);
    }
}

}  // namespace orven::gui

// ---- SHFullScreen
BOOL SHFullScreen(HWND hwnd, DWORD state) {
    internal::trace("SHFullScreen hwnd=%#lx state=%#x", handleValue(hwnd),
                    static_cast<unsigned>(state));
    return hwnd != nullptr ? TRUE : FALSE;
}

// ---- SHCreateMenuBar
// The bar takes the bottom of the screen, one menu row high.
BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
    if (info == nullptr || info->cbSize < 36 || !IsWindow(info->hwndParent)) return FALSE;
    const resources::MenuBar* resource = resources::findMenuBar(static_cast<int>(info->nToolBarId));
    if (resource == nullptr) return FALSE;
    gui::registerClass(barClass, barProc);
    Bar bar;
    bar.parent = info->hwndParent;
    for (int i = 0; i < resource->count; ++i) {
        bar.buttons.push_back(resource->buttons[i]);
        const char16_t* label = resources::findString(resource->buttons[i].labelString);
        bar.labels.emplace_back(label != nullptr ? label : u"");
    }
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    int barHeight = GetSystemMetrics(SM_CYMENU);
    RECT parent{};
    GetWindowRect(info->hwndParent, &parent);
    HWND window = CreateWindowExW(0, barClass, u"", WS_CHILD | WS_VISIBLE, -parent.left,
                                  height - barHeight - parent.top, width, barHeight,
                                  info->hwndParent, nullptr, nullptr, nullptr);
    if (window == nullptr) return FALSE;
    // The bar belongs to the bottom of the screen: it stays there when its parent moves.
    if (auto bar = wm::find(window)) bar->keepsScreenPosition = true;
    {
        std::lock_guard<std::mutex> hold(barLock);
        bars[window] = std::move(bar);
    }
    info->hwndMB = window;
    internal::trace("SHCreateMenuBar id=%u hwnd=%#lx", info->nToolBarId, handleValue(window));
    return TRUE;
}

// ---- SHFindMenuBar
HWND SHFindMenuBar(HWND parent) {
    std::lock_guard<std::mutex> hold(barLock);
    for (auto& [window, bar] : bars)
        if (bar.parent == parent) return window;
    return nullptr;
}

// ---- SHHandleWMActivate
// Keeps the activation state in the record; there is no input panel to restore.
BOOL SHHandleWMActivate(HWND, WPARAM wParam, LPARAM, SHACTIVATEINFO* info, DWORD) {
    if (info == nullptr) return FALSE;
    info->fActive = LOWORD(wParam) != WA_INACTIVE ? 1 : 0;
    return TRUE;
}

// ---- SHHandleWMSettingChange
BOOL SHHandleWMSettingChange(HWND, WPARAM, LPARAM, SHACTIVATEINFO* info) {
    return info != nullptr ? TRUE : FALSE;
}

// ---- SHInitDialog
BOOL SHInitDialog(SHINITDLGINFO* info) {
    if (info == nullptr || !IsWindow(info->hDlg)) return FALSE;
    internal::trace("SHInitDialog hwnd=%#lx flags=%#x", handleValue(info->hDlg),
                    static_cast<unsigned>(info->dwFlags));
    if ((info->dwMask & SHIDIM_FLAGS) == 0) return TRUE;
    DWORD flags = info->dwFlags;
    if (flags & SHIDIF_SIPDOWN) SHSipPreference(info->hDlg, SIP_DOWN);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (flags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        MoveWindow(info->hDlg, 0, 0, width, height, TRUE);
    } else if (flags & SHIDIF_SIZEDLG) {
        SIPINFO sip{};
        sip.cbSize = sizeof(sip);
        SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
        MoveWindow(info->hDlg, 0, 0, width, sip.rcVisibleDesktop.bottom, TRUE);
    }
    return TRUE;
}

// ---- SHSendBackToFocusWindow
// The press of Back erases before the caret of the focused edit (a Backspace); its
// release does nothing.
void SHSendBackToFocusWindow(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_HOTKEY || HIWORD(lParam) != VK_TBACK) return;
    HWND focus = GetFocus();
    if (focus == nullptr || (LOWORD(lParam) & MOD_KEYUP) != 0) return;
    SendMessageW(focus, WM_KEYDOWN, VK_BACK, 1);
    SendMessageW(focus, WM_CHAR, VK_BACK, 1);
}
