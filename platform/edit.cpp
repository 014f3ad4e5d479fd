// The one-line edit control: its text is the window text; typing inserts at the caret,
// Backspace (and the Back key handed over by SHSendBackToFocusWindow) erases before it.
// ES_NUMBER takes digits only; without ES_AUTOHSCROLL nothing is taken that would not
// fit the control's width; EM_LIMITTEXT bounds what typing may add. Every change sends
// EN_CHANGE to the parent, focus changes EN_SETFOCUS and EN_KILLFOCUS. Surrogate pairs
// are kept whole. An edit created with ES_MULTILINE is handed to edit_multiline.cpp.
// Relies on the window manager and the GDI (controls.cpp's helpers).
#include "platform/controls_internal.h"
#include "platform/internal.h"
#include "platform/text.h"

namespace orven::controls {

namespace {

constexpr size_t defaultLimit = 30000;  // the system's limit for a new edit control
constexpr size_t noLimit = 0x7FFFFFFE;  // what EM_LIMITTEXT 0 means

struct EditState {
    HFONT font = nullptr;
    size_t caret = 0;  // in UTF-16 units, never inside a surrogate pair
    size_t limit = defaultLimit;
    int scrollX = 0;           // pixels of text scrolled out on the left (ES_AUTOHSCROLL)
    char16_t pendingHigh = 0;  // the first half of a surrogate pair being typed
    bool focusByTap = false;   // the focus comes with a tap that places the caret
};

DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

std::u16string textOf(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window ? window->title : std::u16string();
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Inner padding between the border and the text.
int padding() {
    return 2 * scale();
}

int textWidth(HWND hwnd, const EditState& state, const std::u16string& text, size_t count) {
    HDC dc = GetDC(hwnd);
    SelectObject(dc, state.font != nullptr ? reinterpret_cast<HGDIOBJ>(state.font)
                                           : GetStockObject(SYSTEM_FONT));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(count), &size);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

int innerWidth(HWND hwnd) {
    RECT client;
    GetClientRect(hwnd, &client);
    // Room for the caret after the last character.
    return client.right - 2 * padding() - scale();
}

void keepCaretVisible(HWND hwnd, EditState& state) {
    if ((styleOf(hwnd) & ES_AUTOHSCROLL) == 0) {
        state.scrollX = 0;
        return;
    }
    std::u16string text = textOf(hwnd);
    int caretX = textWidth(hwnd, state, text, state.caret);
    int width = innerWidth(hwnd);
    if (caretX - state.scrollX > width) state.scrollX = caretX - width;
    if (caretX < state.scrollX) state.scrollX = caretX;
}

void changed(HWND hwnd, EditState& state) {
    keepCaretVisible(hwnd, state);
    InvalidateRect(hwnd, nullptr, TRUE);
    notifyParent(hwnd, EN_UPDATE);
    notifyParent(hwnd, EN_CHANGE);
}

void setText(HWND hwnd, EditState& state, const std::u16string& text) {
    wm::storeTitle(hwnd, text.c_str());
    state.caret = text.size();
    state.pendingHigh = 0;
    changed(hwnd, state);
}

// Inserts typed characters (one character: one unit or a surrogate pair) at the caret.
void insertTyped(HWND hwnd, EditState& state, const std::u16string& typed) {
    DWORD style = styleOf(hwnd);
    if (style & ES_READONLY) return;
    std::u16string text = textOf(hwnd);
    if (text.size() + typed.size() > state.limit) {
        notifyParent(hwnd, EN_MAXTEXT);
        return;
    }
    std::u16string next = text;
    next.insert(state.caret, typed);
    if ((style & ES_AUTOHSCROLL) == 0 &&
        textWidth(hwnd, state, next, next.size()) > innerWidth(hwnd)) {
        notifyParent(hwnd, EN_MAXTEXT);
        return;
    }
    wm::storeTitle(hwnd, next.c_str());
    state.caret += typed.size();
    changed(hwnd, state);
}

void eraseBefore(HWND hwnd, EditState& state) {
    if (styleOf(hwnd) & ES_READONLY) return;
    std::u16string text = textOf(hwnd);
    if (state.caret == 0) return;
    size_t count =
        state.caret >= 2 && isLow(text[state.caret - 1]) && isHigh(text[state.caret - 2]) ? 2 : 1;
    text.erase(state.caret - count, count);
    state.caret -= count;
    wm::storeTitle(hwnd, text.c_str());
    changed(hwnd, state);
}

void eraseAfter(HWND hwnd, EditState& state) {
    if (styleOf(hwnd) & ES_READONLY) return;
    std::u16string text = textOf(hwnd);
    if (state.caret >= text.size()) return;
    size_t count =
        state.caret + 1 < text.size() && isHigh(text[state.caret]) && isLow(text[state.caret + 1])
            ? 2
            : 1;
    text.erase(state.caret, count);
    wm::storeTitle(hwnd, text.c_str());
    changed(hwnd, state);
}

void onChar(HWND hwnd, EditState& state, char16_t c) {
    if (c == VK_BACK) {
        state.pendingHigh = 0;
        eraseBefore(hwnd, state);
        return;
    }
    if (isHigh(c)) {
        state.pendingHigh = c;
        return;
    }
    if (isLow(c)) {
        if (state.pendingHigh == 0) return;  // half a pair: nothing to show
        std::u16string pair{state.pendingHigh, c};
        state.pendingHigh = 0;
        if ((styleOf(hwnd) & ES_NUMBER) == 0) insertTyped(hwnd, state, pair);
        return;
    }
    state.pendingHigh = 0;
    if (c < 0x20 || c == 0x7F) return;  // control characters are not text
    DWORD style = styleOf(hwnd);
    if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) return;
    if ((style & ES_UPPERCASE) && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if ((style & ES_LOWERCASE) && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    insertTyped(hwnd, state, std::u16string(1, c));
}

void moveCaret(HWND hwnd, EditState& state, int key) {
    std::u16string text = textOf(hwnd);
    size_t caret = state.caret;
    if (key == VK_LEFT && caret > 0) caret -= caret >= 2 && isLow(text[caret - 1]) ? 2 : 1;
    if (key == VK_RIGHT && caret < text.size())
        caret += caret + 1 < text.size() && isHigh(text[caret]) ? 2 : 1;
    if (key == VK_HOME) caret = 0;
    if (key == VK_END) caret = text.size();
    if (caret == state.caret) return;
    state.caret = caret;
    keepCaretVisible(hwnd, state);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// The caret position nearest to x (client coordinates).
size_t caretAt(HWND hwnd, const EditState& state, int x) {
    std::u16string text = textOf(hwnd);
    int target = x - padding() + state.scrollX;
    size_t best = 0;
    int bestDistance = target < 0 ? -target : target;
    for (size_t i = 1; i <= text.size(); ++i) {
        if (i < text.size() && isLow(text[i]) && isHigh(text[i - 1])) continue;
        int distance = textWidth(hwnd, state, text, i) - target;
        if (distance < 0) distance = -distance;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void paint(HWND hwnd, EditState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    DWORD style = styleOf(hwnd);
    bool focused = GetFocus() == hwnd;
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    UINT request = (style & ES_READONLY) || !enabled ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    HBRUSH brush = askColours(hwnd, dc, request, state.font);
    FillRect(dc, &client, brush);
    std::u16string text = textOf(hwnd);
    if (style & ES_PASSWORD) text.assign(text.size(), u'*');
    SetBkMode(dc, TRANSPARENT);
    if (!enabled) SetTextColor(dc, RGB(128, 128, 128));
    RECT line{padding() - state.scrollX, 0, client.right - padding(), client.bottom};
    if (line.right < line.left) line.right = line.left;
    RECT clipRect{padding(), 0, client.right - padding(), client.bottom};
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    int top = (client.bottom - metrics.tmHeight) / 2;
    ExtTextOutW(dc, line.left, top, ETO_CLIPPED, &clipRect, text.c_str(),
                static_cast<UINT>(text.size()), nullptr);
    if (focused) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(state.caret), &size);
        int x = line.left + size.cx;
        fillColour(dc, RECT{x, top, x + scale(), top + metrics.tmHeight}, 0x000000);
    }
    if (style & WS_BORDER) drawFrame(dc, client, 0x808080);
    if (focused) drawFocusFrame(dc, client);
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT copyEditText(HWND hwnd, WPARAM maxCount, LPARAM buffer) {
    if (maxCount == 0 || buffer == 0) return 0;
    return GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(buffer), static_cast<int>(maxCount));
}

LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (styleOf(hwnd) & ES_MULTILINE) return multiLineEditProc(hwnd, message, wParam, lParam);
    auto* state = stateOf<EditState>(hwnd);
    if (state == nullptr) return 0;
    switch (message) {
        case WM_CREATE:
            wm::receiveTextMessages(hwnd);
            state->caret = textOf(hwnd).size();
            return 0;
        case WM_PAINT: paint(hwnd, *state); return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case WM_SETTEXT:
            setText(hwnd, *state, lParam != 0 ? reinterpret_cast<LPCWSTR>(lParam) : u"");
            return TRUE;
        case WM_GETTEXT: return copyEditText(hwnd, wParam, lParam);
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(textOf(hwnd).size());
        case WM_CHAR: onChar(hwnd, *state, static_cast<char16_t>(wParam)); return 0;
        case WM_KEYDOWN:
            if (wParam == VK_DELETE)
                eraseAfter(hwnd, *state);
            else
                moveCaret(hwnd, *state, static_cast<int>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            state->focusByTap = true;
            SetFocus(hwnd);
            state->focusByTap = false;
            state->caret = caretAt(hwnd, *state, static_cast<short>(LOWORD(lParam)));
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_SETFOCUS:
            // Focus from the keys or the dialog puts the caret after the text, ready to
            // add to it or to erase it with Back.
            if (!state->focusByTap) state->caret = textOf(hwnd).size();
            keepCaretVisible(hwnd, *state);
            InvalidateRect(hwnd, nullptr, TRUE);
            notifyParent(hwnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            state->pendingHigh = 0;
            InvalidateRect(hwnd, nullptr, TRUE);
            notifyParent(hwnd, EN_KILLFOCUS);
            return 0;
        case EM_LIMITTEXT: state->limit = wParam == 0 ? noLimit : wParam; return 0;
        case EM_GETLIMITTEXT: return static_cast<LRESULT>(state->limit);
        case EM_GETSEL:
            if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(state->caret);
            if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(state->caret);
            return MAKELONG(state->caret, state->caret);
        case EM_SETSEL: {
            size_t length = textOf(hwnd).size();
            size_t end = lParam < 0 ? length : static_cast<size_t>(lParam);
            state->caret = end > length ? length : end;
            keepCaretVisible(hwnd, *state);
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case EM_REPLACESEL: {
            if (lParam == 0) return 0;
            std::u16string text = textOf(hwnd);
            std::u16string added = reinterpret_cast<LPCWSTR>(lParam);
            text.insert(state->caret, added);
            wm::storeTitle(hwnd, text.c_str());
            state->caret += added.size();
            changed(hwnd, *state);
            return 0;
        }
        case EM_SETREADONLY: {
            DWORD style = styleOf(hwnd);
            SetWindowLongW(hwnd, GWL_STYLE,
                           static_cast<LONG>(wParam ? style | ES_READONLY : style & ~ES_READONLY));
            return TRUE;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace orven::controls
