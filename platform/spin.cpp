// The spin list: a list box shown one line high (the selected item) and the up-down
// control ("msctls_updown32") beside it. The up-down's position is its buddy list's
// selection: an arrow (a tap on it, or Left and Right on the focused list) selects the
// next or previous item and the list tells its parent with LBN_SELCHANGE. With an edit
// buddy and UDS_SETBUDDYINT the position is the edit's decimal text. Relies on the
// window manager and the GDI (controls.cpp's helpers).
#include <vector>

#include "platform/controls_internal.h"
#include "platform/text.h"

namespace orven::controls {

namespace {

struct ListState {
    HFONT font = nullptr;
    std::vector<std::u16string> items;
    int selection = LB_ERR;
};

struct UpDownState {
    // The system's defaults: a range from 100 down to 0.
    int lower = 100;
    int upper = 0;
    int position = 0;
    HWND buddy = nullptr;
    int pressed = 0;  // -1 the decreasing arrow, +1 the increasing one, 0 none
};

DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

bool equalsIgnoringCase(const std::u16string& a, LPCWSTR b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

// ---- List box
void paintList(HWND hwnd, ListState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = askColours(hwnd, dc, WM_CTLCOLORLISTBOX, state.font);
    FillRect(dc, &client, brush);
    if (state.selection >= 0 && state.selection < static_cast<int>(state.items.size())) {
        SetBkMode(dc, TRANSPARENT);
        if (!IsWindowEnabled(hwnd)) SetTextColor(dc, RGB(128, 128, 128));
        RECT line{2 * scale(), 0, client.right - 2 * scale(), client.bottom};
        DrawTextW(dc, state.items[state.selection].c_str(), -1, &line,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (styleOf(hwnd) & WS_BORDER) drawFrame(dc, client, 0x808080);
    if (GetFocus() == hwnd) drawFocusFrame(dc, client);
    EndPaint(hwnd, &ps);
}

void listChanged(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
    if (styleOf(hwnd) & LBS_NOTIFY) notifyParent(hwnd, LBN_SELCHANGE);
}

// Left and Right on the focused list: its spinner steps, or the selection moves itself.
void listKey(HWND hwnd, ListState& state, WPARAM key) {
    if (key != VK_LEFT && key != VK_RIGHT) return;
    int delta = key == VK_RIGHT ? 1 : -1;
    if (HWND spinner = upDownOfBuddy(hwnd)) {
        stepUpDown(spinner, delta);
        return;
    }
    int next = state.selection + delta;
    if (next < 0 || next >= static_cast<int>(state.items.size())) return;
    state.selection = next;
    listChanged(hwnd);
}

LRESULT listText(const ListState& state, WPARAM index, LPARAM buffer) {
    if (index >= state.items.size()) return LB_ERR;
    const std::u16string& item = state.items[index];
    if (buffer != 0) lstrcpyW(reinterpret_cast<LPWSTR>(buffer), item.c_str());
    return static_cast<LRESULT>(item.size());
}

// ---- Up-down
bool isList(HWND hwnd) {
    return isClass(hwnd, listBoxClass);
}

int clamp(const UpDownState& s, int value) {
    int low = s.lower < s.upper ? s.lower : s.upper;
    int high = s.lower < s.upper ? s.upper : s.lower;
    return value < low ? low : value > high ? high : value;
}

// The position as the buddy holds it: a list's selection, an edit's number.
int currentPosition(HWND hwnd, UpDownState& s, bool* error) {
    if (error) *error = false;
    if (s.buddy != nullptr && isList(s.buddy)) {
        LRESULT selection = SendMessageW(s.buddy, LB_GETCURSEL, 0, 0);
        if (selection >= 0) s.position = static_cast<int>(selection);
    } else if (s.buddy != nullptr && (styleOf(hwnd) & UDS_SETBUDDYINT)) {
        WCHAR text[32];
        GetWindowTextW(s.buddy, text, 32);
        bool digits = text[0] != 0;
        int value = 0;
        for (LPCWSTR p = text; *p; ++p) {
            if (*p == u',' || (*p == u'-' && p == text)) continue;
            if (*p < u'0' || *p > u'9') {
                digits = false;
                break;
            }
            value = value * 10 + (*p - u'0');
        }
        if (text[0] == u'-') value = -value;
        if (digits && clamp(s, value) == value)
            s.position = value;
        else if (error)
            *error = true;
    }
    return s.position;
}

// Shows the position in the buddy, without notifying (a program's own change).
void showInBuddy(HWND hwnd, const UpDownState& s) {
    if (s.buddy == nullptr) return;
    if (isList(s.buddy)) {
        SendMessageW(s.buddy, LB_SETCURSEL, static_cast<WPARAM>(s.position), 0);
    } else if (styleOf(hwnd) & UDS_SETBUDDYINT) {
        WCHAR text[16];
        wsprintfW(text, u"%d", s.position);
        SetWindowTextW(s.buddy, text);
    }
}

// Puts the up-down against the buddy's right (or left) edge, inside the buddy's old
// width, as tall as the buddy.
void alignToBuddy(HWND hwnd, const UpDownState& s) {
    DWORD style = styleOf(hwnd);
    if (s.buddy == nullptr || (style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) == 0) return;
    HWND parent = GetParent(hwnd);
    RECT buddy, own, parentRect{};
    GetWindowRect(s.buddy, &buddy);
    GetWindowRect(hwnd, &own);
    if (parent != nullptr) GetWindowRect(parent, &parentRect);
    buddy = RECT{buddy.left - parentRect.left, buddy.top - parentRect.top,
                 buddy.right - parentRect.left, buddy.bottom - parentRect.top};
    int width = own.right - own.left;
    if (width > buddy.right - buddy.left) width = buddy.right - buddy.left;
    int height = buddy.bottom - buddy.top;
    if (style & UDS_ALIGNLEFT) {
        MoveWindow(hwnd, buddy.left, buddy.top, width, height, TRUE);
        MoveWindow(s.buddy, buddy.left + width, buddy.top, buddy.right - buddy.left - width, height,
                   TRUE);
    } else {
        MoveWindow(hwnd, buddy.right - width, buddy.top, width, height, TRUE);
        MoveWindow(s.buddy, buddy.left, buddy.top, buddy.right - buddy.left - width, height, TRUE);
    }
}

// The sibling created just before hwnd.
HWND previousSibling(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    HWND previous = nullptr;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    auto self = wm::findLocked(hwnd);
    uint64_t best = 0;
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (w->parent == parent && w->creationOrder < self->creationOrder &&
            w->creationOrder > best) {
            best = w->creationOrder;
            previous = wm::handleOf(*w);
        }
    });
    return previous;
}

void paintArrow(HDC dc, const RECT& r, int direction, bool horizontal, bool enabled, bool down) {
    fillColour(dc, r, down ? 0x1E4B9B : 0xE8E8E8);
    drawFrame(dc, r, 0x808080);
    uint32_t ink = down ? 0xFFFFFF : enabled ? 0x000000 : 0xA0A0A0;
    int w = r.right - r.left, h = r.bottom - r.top;
    int size = (w < h ? w : h) / 3;
    int cx = r.left + w / 2, cy = r.top + h / 2;
    // A filled triangle pointing left/right (horizontal) or up/down, row by row.
    for (int i = 0; i <= size; ++i) {
        int half = i;
        if (horizontal) {
            int x = direction > 0 ? cx - size / 2 + (size - i) : cx - size / 2 + i;
            fillColour(dc, RECT{x, cy - half, x + 1, cy + half + 1}, ink);
        } else {
            int y = direction > 0 ? cy - size / 2 + i : cy - size / 2 + (size - i);
            fillColour(dc, RECT{cx - half, y, cx + half + 1, y + 1}, ink);
        }
    }
}

void paintUpDown(HWND hwnd, UpDownState& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    bool horizontal = (styleOf(hwnd) & UDS_HORZ) != 0;
    bool wrap = (styleOf(hwnd) & UDS_WRAP) != 0;
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    int pos = currentPosition(hwnd, s, nullptr);
    bool canUp = wrap || pos != s.upper;
    bool canDown = wrap || pos != s.lower;
    RECT first = client, second = client;
    if (horizontal) {
        first.right = second.left = client.right / 2;
        // Left decreases, right increases.
        paintArrow(dc, first, -1, true, enabled && canDown, s.pressed < 0);
        paintArrow(dc, second, +1, true, enabled && canUp, s.pressed > 0);
    } else {
        first.bottom = second.top = client.bottom / 2;
        // Up increases, down decreases.
        paintArrow(dc, first, -1, false, enabled && canUp, s.pressed > 0);
        paintArrow(dc, second, +1, false, enabled && canDown, s.pressed < 0);
    }
    EndPaint(hwnd, &ps);
}

void upDownTap(HWND hwnd, UpDownState& s, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    bool horizontal = (styleOf(hwnd) & UDS_HORZ) != 0;
    int delta = horizontal ? (x >= client.right / 2 ? 1 : -1) : (y < client.bottom / 2 ? 1 : -1);
    if (s.buddy != nullptr && (GetWindowLongW(s.buddy, GWL_STYLE) & WS_TABSTOP)) SetFocus(s.buddy);
    s.pressed = delta;
    InvalidateRect(hwnd, nullptr, TRUE);
    stepUpDown(hwnd, delta);
}

LRESULT setBuddy(HWND hwnd, UpDownState& s, HWND buddy) {
    HWND previous = s.buddy;
    s.buddy = buddy;
    alignToBuddy(hwnd, s);
    return reinterpret_cast<LRESULT>(previous);
}

}  // namespace

HWND upDownOfBuddy(HWND buddy) {
    HWND parent = GetParent(buddy);
    std::vector<HWND> siblings;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
            if (w->parent == parent && w->className == upDownClass && !w->destroying)
                siblings.push_back(wm::handleOf(*w));
        });
    }
    for (HWND sibling : siblings)
        if (reinterpret_cast<HWND>(SendMessageW(sibling, UDM_GETBUDDY, 0, 0)) == buddy)
            return sibling;
    return nullptr;
}

void stepUpDown(HWND hwnd, int delta) {
    auto* s = stateOf<UpDownState>(hwnd);
    if (s == nullptr || !IsWindowEnabled(hwnd)) return;
    int pos = currentPosition(hwnd, *s, nullptr);
    int step = s->upper >= s->lower ? delta : -delta;
    int next = pos + step;
    if (clamp(*s, next) != next) {
        if ((styleOf(hwnd) & UDS_WRAP) == 0) return;
        next = step > 0 ? (s->lower < s->upper ? s->lower : s->upper)
                        : (s->lower < s->upper ? s->upper : s->lower);
    }
    if (next == pos) return;
    s->position = next;
    showInBuddy(hwnd, *s);
    InvalidateRect(hwnd, nullptr, TRUE);
    if (s->buddy != nullptr && isList(s->buddy)) listChanged(s->buddy);
}

// ---- List box control
LRESULT CALLBACK listBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = stateOf<ListState>(hwnd);
    if (state == nullptr) return 0;
    int count = static_cast<int>(state->items.size());
    switch (message) {
        case WM_PAINT: paintList(hwnd, *state); return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case LB_ADDSTRING:
        case LB_INSERTSTRING: {
            if (lParam == 0) return LB_ERR;
            int at = message == LB_ADDSTRING || static_cast<int>(wParam) < 0
                         ? count
                         : static_cast<int>(wParam);
            if (at > count) return LB_ERR;
            state->items.insert(state->items.begin() + at, reinterpret_cast<LPCWSTR>(lParam));
            if (state->selection >= at) ++state->selection;
            InvalidateRect(hwnd, nullptr, TRUE);
            return at;
        }
        case LB_DELETESTRING: {
            if (wParam >= state->items.size()) return LB_ERR;
            int at = static_cast<int>(wParam);
            state->items.erase(state->items.begin() + at);
            if (state->selection == at)
                state->selection = LB_ERR;
            else if (state->selection > at)
                --state->selection;
            InvalidateRect(hwnd, nullptr, TRUE);
            return static_cast<LRESULT>(state->items.size());
        }
        case LB_RESETCONTENT:
            state->items.clear();
            state->selection = LB_ERR;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case LB_SETCURSEL: {
            int at = static_cast<int>(wParam);
            state->selection = at >= 0 && at < count ? at : LB_ERR;
            InvalidateRect(hwnd, nullptr, TRUE);
            return at >= 0 && at < count ? at : LB_ERR;
        }
        case LB_GETCURSEL: return state->selection;
        case LB_GETTEXT: return listText(*state, wParam, lParam);
        case LB_GETTEXTLEN: return listText(*state, wParam, 0);
        case LB_GETCOUNT: return count;
        case LB_FINDSTRINGEXACT: {
            if (lParam == 0 || count == 0) return LB_ERR;
            int start = static_cast<int>(wParam) < 0 ? -1 : static_cast<int>(wParam);
            for (int i = 1; i <= count; ++i) {
                int at = (start + i) % count;
                if (equalsIgnoringCase(state->items[at], reinterpret_cast<LPCWSTR>(lParam)))
                    return at;
            }
            return LB_ERR;
        }
        case WM_KEYDOWN: listKey(hwnd, *state, wParam); return 0;
        case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, TRUE);
            if (styleOf(hwnd) & LBS_NOTIFY)
                notifyParent(hwnd, message == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ---- Up-down control
LRESULT CALLBACK upDownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = stateOf<UpDownState>(hwnd);
    if (s == nullptr) return 0;
    switch (message) {
        case WM_CREATE:
            if (styleOf(hwnd) & UDS_AUTOBUDDY) setBuddy(hwnd, *s, previousSibling(hwnd));
            return 0;
        case WM_PAINT: paintUpDown(hwnd, *s); return 0;
        case UDM_SETRANGE:
            s->upper = static_cast<short>(LOWORD(lParam));
            s->lower = static_cast<short>(HIWORD(lParam));
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case UDM_SETRANGE32:
            s->lower = static_cast<int>(wParam);
            s->upper = static_cast<int>(lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case UDM_GETRANGE: return MAKELONG(s->upper, s->lower);
        case UDM_GETRANGE32:
            if (wParam != 0) *reinterpret_cast<int*>(wParam) = s->lower;
            if (lParam != 0) *reinterpret_cast<int*>(lParam) = s->upper;
            return 0;
        case UDM_SETPOS:
        case UDM_SETPOS32: {
            int previous = currentPosition(hwnd, *s, nullptr);
            int wanted = message == UDM_SETPOS ? static_cast<short>(LOWORD(lParam))
                                               : static_cast<int>(lParam);
            s->position = clamp(*s, wanted);
            showInBuddy(hwnd, *s);
            InvalidateRect(hwnd, nullptr, TRUE);
            return previous;
        }
        case UDM_GETPOS: {
            bool error = false;
            int pos = currentPosition(hwnd, *s, &error);
            return MAKELONG(pos, error ? 1 : 0);
        }
        case UDM_GETPOS32: {
            bool error = false;
            int pos = currentPosition(hwnd, *s, &error);
            if (lParam != 0) *reinterpret_cast<BOOL*>(lParam) = error ? TRUE : FALSE;
            return pos;
        }
        case UDM_SETBUDDY: return setBuddy(hwnd, *s, reinterpret_cast<HWND>(wParam));
        case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(s->buddy);
        case WM_LBUTTONDOWN: upDownTap(hwnd, *s, lParam); return 0;
        case WM_LBUTTONUP:
            s->pressed = 0;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace orven::controls
