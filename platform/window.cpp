// Windows: classes, creation and destruction, geometry, visibility, foreground, titles,
// enumeration and invalidation. Windows belong to the GUI thread; InvalidateRect,
// SetForegroundWindow, EnumWindows, GetWindowTextW, IsWindowVisible and DestroyWindow
// of a window without a program procedure may be called from any thread.
#include <map>
#include <unordered_map>

#include "platform/device.h"
#include "platform/gdi.h"
#include "platform/instance.h"
#include "platform/internal.h"
#include "platform/text.h"
#include "platform/window_manager.h"

void orvenNoteGuiThread();

namespace {

using namespace orven;

std::map<uintptr_t, std::shared_ptr<wm::Window>> windows;  // ordered by creation
std::map<std::u16string, WNDCLASSW> classes;               // guarded by loopLock too
uintptr_t nextWindowId = 0x10010;                          // multiples of 4: "| 1" is free
uint64_t creationCounter = 0;
HWND foreground = nullptr;
HWND focus = nullptr;  // the keyboard focus (GUI thread writes; read under loopLock)
HWND firstTopLevel = nullptr;

std::u16string classNameOf(LPCWSTR name) {
    if (name == nullptr) return {};
    if (IS_INTRESOURCE(name)) return u"#" + fromUtf8(std::to_string(LOWORD(name)));
    return name;
}

// Moves every descendant of hwnd by (dx, dy). Caller holds loopLock.
void shiftDescendantsLocked(HWND hwnd, int dx, int dy) {
    if (dx == 0 && dy == 0) return;
    for (auto& [id, w] : windows) {
        if (w->parent != hwnd || w->keepsScreenPosition) continue;
        w->rect =
            RECT{w->rect.left + dx, w->rect.top + dy, w->rect.right + dx, w->rect.bottom + dy};
        shiftDescendantsLocked(reinterpret_cast<HWND>(id), dx, dy);
    }
}

HWND stripOwnedFlag(HWND hwnd) {
    return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) & ~uintptr_t{1});
}

}  // namespace

namespace orven::wm {

std::shared_ptr<Window> findLocked(HWND hwnd) {
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> find(HWND hwnd) {
    std::lock_guard<std::mutex> hold(loopLock());
    return findLocked(hwnd);
}

HWND handleOf(const Window& window) {
    return reinterpret_cast<HWND>(window.id);
}

void forEachWindowLocked(const std::function<void(const std::shared_ptr<Window>&)>& visit) {
    for (auto& [id, window] : windows) visit(window);
}

void markInvalidLocked(Window& window, bool erase) {
    window.invalid = true;
    window.eraseBackground = window.eraseBackground || erase;
}

HWND findLocalTopLevel(LPCWSTR className, LPCWSTR windowName) {
    std::lock_guard<std::mutex> hold(loopLock());
    for (auto& [id, w] : windows) {
        if (w->parent != nullptr || w->destroying) continue;
        if (className != nullptr && w->className != classNameOf(className)) continue;
        if (windowName != nullptr && w->title != windowName) continue;
        return handleOf(*w);
    }
    return nullptr;
}

HWND applicationWindow() {
    std::lock_guard<std::mutex> hold(loopLock());
    return findLocked(firstTopLevel) ? firstTopLevel : nullptr;
}

}  // namespace orven::wm

// ---- RegisterClassW
ATOM RegisterClassW(const WNDCLASSW* wc) {
    static ATOM nextAtom = 0xC000;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    std::u16string name = classNameOf(wc->lpszClassName);
    if (name.empty() || classes.count(name) != 0) return 0;
    classes[name] = *wc;
    return nextAtom++;
}

namespace {

// A new window of a registered class, entered in the table (under the loop lock); null
// when the class is unknown. A visible one is marked for painting.
std::shared_ptr<orven::wm::Window> addWindowLocked(LPCWSTR className, LPCWSTR title, DWORD style,
                                                   HWND parent, const RECT& rect) {
    auto it = classes.find(classNameOf(className));
    if (it == classes.end()) return nullptr;
    auto window = std::make_shared<orven::wm::Window>();
    window->id = nextWindowId;
    nextWindowId += 4;
    window->className = it->first;
    window->title = title != nullptr ? title : u"";
    window->proc = it->second.lpfnWndProc;
    window->background = it->second.hbrBackground;
    window->style = style;
    window->parent = parent;
    window->rect = rect;
    window->visible = (style & WS_VISIBLE) != 0;
    window->creationOrder = ++creationCounter;
    if (window->visible) orven::wm::markInvalidLocked(*window, true);
    windows[window->id] = window;
    return window;
}

}  // namespace

// ---- CreateWindowExW
// WM_CREATE runs inside the call; a procedure that answers -1 refuses the window.
// A child window (WS_CHILD) is placed in its parent's client coordinates and `menu` is
// its id; another window with a parent is owned by it (dies with it) but is top-level.
HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID param) {
    orvenNoteGuiThread();
    std::shared_ptr<wm::Window> window;
    bool child = parent != nullptr && (style & WS_CHILD) != 0;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        auto parentWindow = wm::findLocked(parent);
        if (parent != nullptr && !parentWindow) return nullptr;
        if (child) {
            x += parentWindow->rect.left;
            y += parentWindow->rect.top;
        }
        window = addWindowLocked(className, windowName, style, child ? parent : nullptr,
                                 RECT{x, y, x + width, y + height});
        if (!window) return nullptr;
        window->disabled = (style & WS_DISABLED) != 0;
        if (child)
            window->controlId = static_cast<int>(reinterpret_cast<intptr_t>(menu));
        else
            window->owner = parent;
        if (!child && parent == nullptr && firstTopLevel == nullptr)
            firstTopLevel = wm::handleOf(*window);
    }
    if (!child) instance::becomeInstanceIfFree();
    HWND hwnd = wm::handleOf(*window);
    internal::trace("CreateWindow hwnd=%#lx", static_cast<unsigned long>(window->id));
    if (window->proc != nullptr &&
        window->proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    internal::wakeGui();
    return IsWindow(hwnd) ? hwnd : nullptr;
}

namespace orven::wm {

HWND createPlatformWindow(LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect) {
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> hold(loopLock());
        window = addWindowLocked(className, title, style, nullptr, rect);
        if (!window) return nullptr;
    }
    internal::trace("CreateWindow hwnd=%#lx", static_cast<unsigned long>(window->id));
    internal::wakeGui();
    return handleOf(*window);
}

}  // namespace orven::wm

// ---- DefWindowProcW
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_ERASEBKGND: {
            auto window = wm::find(hwnd);
            RECT client;
            if (!window || window->background == nullptr || !GetClientRect(hwnd, &client)) return 0;
            return FillRect(reinterpret_cast<HDC>(wParam), &client, window->background);
        }
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_PAINT: ValidateRect(hwnd, nullptr); return 0;
        default: return 0;
    }
}

// ---- DestroyWindow
// Sends WM_DESTROY and WM_NCDESTROY, ends the window's timers and removes it. Owned
// windows go first.
BOOL DestroyWindow(HWND hwnd) {
    std::shared_ptr<wm::Window> window;
    std::vector<HWND> owned;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        window = wm::findLocked(hwnd);
        if (!window || window->destroying) return FALSE;
        window->destroying = true;
        for (auto& [id, w] : windows)
            if (w->parent == hwnd || w->owner == hwnd) owned.push_back(wm::handleOf(*w));
    }
    for (HWND child : owned) DestroyWindow(child);
    if (window->proc != nullptr) {
        window->proc(hwnd, WM_DESTROY, 0, 0);
        window->proc(hwnd, WM_NCDESTROY, 0, 0);
    }
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        wm::removeTimersOfLocked(hwnd);
        windows.erase(window->id);
        if (foreground == hwnd) foreground = nullptr;
        if (focus == hwnd) focus = nullptr;
        // What lay below needs painting again.
        for (auto& [id, w] : windows)
            if (w->visible) wm::markInvalidLocked(*w, true);
    }
    internal::trace("DestroyWindow hwnd=%#lx", static_cast<unsigned long>(window->id));
    // The shell's desktop shows itself when the last shown window goes.
    if (window->visible && !window->minimized) wm::showStateChanged(hwnd);
    internal::wakeGui();
    return TRUE;
}

// ---- IsWindow
BOOL IsWindow(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window && !window->destroying;
}

// ---- MoveWindow
// A child's position is in its parent's client coordinates; its own children move with
// it. Moving a window uncovers what lay below, so the other shown windows repaint.
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        auto window = wm::findLocked(hwnd);
        if (!window) return FALSE;
        if (auto parent = wm::findLocked(window->parent)) {
            x += parent->rect.left;
            y += parent->rect.top;
        }
        shiftDescendantsLocked(hwnd, x - window->rect.left, y - window->rect.top);
        window->rect = RECT{x, y, x + width, y + height};
        if (repaint) wm::markInvalidLocked(*window, true);
    }
    internal::wakeGui();
    return TRUE;
}

// ---- ShowWindow
// Returns whether the window was visible before.
BOOL ShowWindow(HWND hwnd, int command) {
    bool wasVisible, topLevel;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        auto window = wm::findLocked(hwnd);
        if (!window) return FALSE;
        wasVisible = window->visible && !window->minimized;
        topLevel = window->parent == nullptr;
        switch (command) {
            case SW_HIDE:
                window->visible = false;
                if (foreground == hwnd) foreground = nullptr;
                break;
            case SW_MINIMIZE:
                window->minimized = true;
                if (foreground == hwnd) foreground = nullptr;
                break;
            default:
                window->visible = true;
                window->minimized = false;
                wm::markInvalidLocked(*window, true);
                break;
        }
    }
    internal::trace("ShowWindow hwnd=%#lx cmd=%d",
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)), command);
    wm::showStateChanged(hwnd);
    // Showing a top-level window activates it, as on the phone, unless asked not to.
    bool activates = command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_RESTORE;
    if (activates && topLevel && GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
    internal::wakeGui();
    return wasVisible ? TRUE : FALSE;
}

// ---- UpdateWindow
// Paints at once when the window has an invalid region.
BOOL UpdateWindow(HWND hwnd) {
    auto window = wm::find(hwnd);
    if (!window) return FALSE;
    bool invalid;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        invalid = window->invalid && window->visible;
    }
    if (invalid && window->proc != nullptr) window->proc(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

// ---- IsWindowVisible
BOOL IsWindowVisible(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window && window->visible && !window->minimized;
}

// ---- SetForegroundWindow
// The handle may carry the low bit ("and its owned windows"). A minimised window is
// restored. Another process's window is reached over the instance endpoint. Activation
// changes are posted, never sent, so any thread may call this without waiting for the
// GUI thread.
BOOL SetForegroundWindow(HWND hwnd) {
    hwnd = stripOwnedFlag(hwnd);
    if (wm::isRemote(hwnd)) return instance::requestForeground(hwnd) ? TRUE : FALSE;
    HWND previous;
    bool restored = false;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        auto window = wm::findLocked(hwnd);
        if (!window) return FALSE;
        previous = foreground;
        foreground = hwnd;
        if (window->minimized || !window->visible) {
            window->minimized = false;
            window->visible = true;
            wm::markInvalidLocked(*window, true);
            restored = true;
        }
    }
    if (restored) wm::showStateChanged(hwnd);
    internal::trace("SetForegroundWindow hwnd=%#lx",
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)));
    if (previous != hwnd) {
        if (previous != nullptr) PostMessageW(previous, WM_ACTIVATE, WA_INACTIVE, 0);
        PostMessageW(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    }
    display::backend().raise();
    internal::wakeGui();
    return TRUE;
}

// ---- GetForegroundWindow
HWND GetForegroundWindow() {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    return foreground;
}

// ---- GetClientRect
BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    auto window = wm::find(hwnd);
    if (!window) return FALSE;
    *rect =
        RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return TRUE;
}

// ---- GetWindowRect
BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    auto window = wm::find(hwnd);
    if (!window) return FALSE;
    *rect = window->rect;
    return TRUE;
}

// ---- ClientToScreen
BOOL ClientToScreen(HWND hwnd, POINT* point) {
    auto window = wm::find(hwnd);
    if (!window) return FALSE;
    point->x += window->rect.left;
    point->y += window->rect.top;
    return TRUE;
}

// ---- GetWindowTextW, GetClassNameW
namespace {

// One of the window's strings into the caller's buffer; empty for an unknown window.
int copyWindowString(HWND hwnd, std::u16string wm::Window::*field, LPWSTR out, int maxCount) {
    if (maxCount <= 0) return 0;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) {
        out[0] = 0;
        return 0;
    }
    lstrcpynW(out, ((*window).*field).c_str(), maxCount);
    return lstrlenW(out);
}

}  // namespace

int GetWindowTextW(HWND hwnd, LPWSTR text, int maxCount) {
    return copyWindowString(hwnd, &wm::Window::title, text, maxCount);
}

int GetClassNameW(HWND hwnd, LPWSTR name, int maxCount) {
    return copyWindowString(hwnd, &wm::Window::className, name, maxCount);
}

// ---- SetWindowTextW
// May come from another thread (the shell's bubbles are updated by the radio's): the
// GUI thread is woken to repaint.
// An edit control hears of it (WM_SETTEXT) when called on the GUI thread.
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    auto window = wm::find(hwnd);
    if (window && window->textByMessage && internal::onGuiThread())
        return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
    return wm::storeTitle(hwnd, text) ? TRUE : FALSE;
}

namespace orven::wm {

bool storeTitle(HWND hwnd, LPCWSTR text) {
    {
        std::lock_guard<std::mutex> hold(loopLock());
        auto window = findLocked(hwnd);
        if (!window) return false;
        window->title = text != nullptr ? text : u"";
        markInvalidLocked(*window, true);
    }
    internal::wakeGui();
    return true;
}

void receiveTextMessages(HWND hwnd) {
    std::lock_guard<std::mutex> hold(loopLock());
    if (auto window = findLocked(hwnd)) window->textByMessage = true;
}

}  // namespace orven::wm

// ---- FindWindowW
// Both the class and the title must match (a null argument matches any). Windows of
// this process are searched first, then the running instance of the program.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    if (HWND local = wm::findLocalTopLevel(className, windowName)) return local;
    return instance::findRemote(className, windowName);
}

// ---- EnumWindows
// Visits the top-level windows, newest first (the order of the phone's z-order for
// windows that were never reordered), until the procedure answers FALSE.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
    std::vector<HWND> topLevel;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (it->second->parent == nullptr && !it->second->destroying)
                topLevel.push_back(wm::handleOf(*it->second));
    }
    for (HWND hwnd : topLevel)
        if (!proc(hwnd, param)) break;
    return TRUE;
}

// ---- InvalidateRect
// The whole window is invalidated whatever the rectangle; paints are coalesced into one
// WM_PAINT. A null window invalidates every window.
BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        if (hwnd == nullptr) {
            for (auto& [id, w] : windows) wm::markInvalidLocked(*w, erase != 0);
        } else {
            auto window = wm::findLocked(hwnd);
            if (!window) return FALSE;
            wm::markInvalidLocked(*window, erase != 0);
        }
    }
    internal::wakeGui();
    return TRUE;
}

// ---- ValidateRect
BOOL ValidateRect(HWND hwnd, const RECT*) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) return FALSE;
    window->invalid = false;
    window->eraseBackground = false;
    return TRUE;
}

// ---- GetSystemMetrics
int GetSystemMetrics(int index) {
    const DeviceProfile& profile = deviceProfile();
    switch (index) {
        case SM_CXSCREEN: return profile.screenWidth;
        case SM_CYSCREEN: return profile.screenHeight;
        case SM_CYMENU: return 26;  // the height of a menu item row on the phone's shell
        default: return 0;
    }
}

// ---- GetWindowTextLengthW
int GetWindowTextLengthW(HWND hwnd) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    return window ? static_cast<int>(window->title.size()) : 0;
}

// ---- GetParent
HWND GetParent(HWND hwnd) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) return nullptr;
    return window->parent != nullptr ? window->parent : window->owner;
}

// ---- IsChild
BOOL IsChild(HWND parent, HWND hwnd) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    for (auto window = wm::findLocked(hwnd); window && window->parent != nullptr;
         window = wm::findLocked(window->parent))
        if (window->parent == parent) return TRUE;
    return FALSE;
}

// ---- GetWindowLongW
LONG GetWindowLongW(HWND hwnd, int index) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) return 0;
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG>((window->style & ~(WS_VISIBLE | WS_DISABLED)) |
                                     (window->visible ? WS_VISIBLE : 0) |
                                     (window->disabled ? WS_DISABLED : 0));
        case GWL_ID: return window->controlId;
        case GWL_USERDATA: return static_cast<LONG>(window->userData);
        case 0:
        case 4:
        case 8: return static_cast<LONG>(window->dialogWords[index / 4]);  // DWL_*
        default: return 0;
    }
}

// ---- SetWindowLongW
// Returns the previous value. GWL_STYLE changes the style word only (no repositioning).
LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
    LONG previous = GetWindowLongW(hwnd, index);
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto window = wm::findLocked(hwnd);
    if (!window) return 0;
    switch (index) {
        case GWL_STYLE:
            window->style = static_cast<DWORD>(value);
            window->disabled = (window->style & WS_DISABLED) != 0;
            wm::markInvalidLocked(*window, true);
            break;
        case GWL_ID: window->controlId = value; break;
        case GWL_USERDATA: window->userData = value; break;
        case 0:
        case 4:
        case 8: window->dialogWords[index / 4] = value; break;  // DWL_*
        default: return 0;
    }
    return previous;
}

// ---- EnableWindow
// Returns whether the window was disabled before. A disabled window takes no input and
// loses the focus.
BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        auto window = wm::findLocked(hwnd);
        if (!window) return FALSE;
        wasDisabled = window->disabled;
        window->disabled = !enable;
        wm::markInvalidLocked(*window, true);
    }
    if (wasDisabled == !enable) return wasDisabled;
    if (auto window = wm::find(hwnd); window && window->proc != nullptr)
        window->proc(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (!enable && GetFocus() == hwnd) SetFocus(nullptr);
    internal::wakeGui();
    return wasDisabled ? TRUE : FALSE;
}

// ---- IsWindowEnabled
BOOL IsWindowEnabled(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window && !window->disabled;
}

// ---- SetFocus
// GUI thread. A null window takes the focus away from every window.
HWND SetFocus(HWND hwnd) {
    HWND previous;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        if (hwnd != nullptr) {
            auto window = wm::findLocked(hwnd);
            if (!window || window->destroying || window->disabled) return nullptr;
        }
        previous = focus;
        if (previous == hwnd) return previous;
        focus = hwnd;
    }
    if (previous != nullptr)
        SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    // The window that lost the focus may have moved it on meanwhile.
    if (hwnd != nullptr && GetFocus() == hwnd)
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

// ---- GetFocus
HWND GetFocus() {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    return focus;
}
