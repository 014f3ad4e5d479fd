// The standard controls' shared parts and the two simplest: static controls (text and
// icons) and buttons (push buttons and check boxes). Each control draws itself into
// the framebuffer with the font WM_SETFONT gave it and the colours its parent answers
// to WM_CTLCOLOR*. Relies on the window manager and the GDI; edit.cpp and spin.cpp hold
// the edit, list box and up-down controls, dialog.cpp the dialog manager.
#include "platform/controls_internal.h"
#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/text.h"

namespace orven::controls {

namespace {

constexpr uint32_t focusBlue = 0x0050C8;
constexpr uint32_t frameGrey = 0x808080;

struct StaticState {
    HFONT font = nullptr;
    HICON icon = nullptr;
};

struct ButtonState {
    HFONT font = nullptr;
    UINT check = BST_UNCHECKED;
    bool pushed = false;    // a tap is down on it
    bool tracking = false;  // the tap began on it
};

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           lstrcmpiW(std::u16string(a).c_str(), std::u16string(b).c_str()) == 0;
}

std::u16string textOf(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window ? window->title : std::u16string();
}

DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

// ---- Static
void paintStatic(HWND hwnd, StaticState& state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = askColours(hwnd, dc, WM_CTLCOLORSTATIC, state.font);
    DWORD style = styleOf(hwnd);
    DWORD type = style & SS_TYPEMASK;
    if (type == SS_ICON) {
        FillRect(dc, &client, brush);
        if (state.icon != nullptr) DrawIconEx(dc, 0, 0, state.icon, 0, 0, 0, nullptr, DI_NORMAL);
    } else {
        FillRect(dc, &client, brush);
        UINT format = DT_LEFT | DT_WORDBREAK;
        if (type == SS_CENTER) format = DT_CENTER | DT_WORDBREAK;
        if (type == SS_RIGHT) format = DT_RIGHT | DT_WORDBREAK;
        if (type == SS_LEFTNOWORDWRAP) format = DT_LEFT;
        if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
        if (style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
        std::u16string text = textOf(hwnd);
        DrawTextW(dc, text.c_str(), -1, &client, format);
    }
    EndPaint(hwnd, &paint);
}

// ---- Button
bool isCheckBox(DWORD style) {
    DWORD type = style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
}

void paintButton(HWND hwnd, ButtonState& state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    DWORD style = styleOf(hwnd);
    bool focused = GetFocus() == hwnd;
    bool enabled = IsWindowEnabled(hwnd) != FALSE;
    std::u16string text = textOf(hwnd);
    if (isCheckBox(style)) {
        HBRUSH brush = askColours(hwnd, dc, WM_CTLCOLORSTATIC, state.font);
        FillRect(dc, &client, brush);
        int box = 11 * scale();
        int top = (client.bottom - box) / 2;
        RECT square{0, top, box, top + box};
        fillColour(dc, square, 0xFFFFFF);
        drawFrame(dc, square, enabled ? 0x000000 : frameGrey);
        if (state.check == BST_CHECKED) {
            // A tick: two strokes, two pixels thick at each scale step.
            auto dot = [&](int x, int y) {
                int s = scale();
                fillColour(dc, RECT{x * s, top + y * s, x * s + 2 * s, top + y * s + s}, 0x000000);
            };
            for (int i = 0; i < 3; ++i) dot(2 + i, 5 + i);
            for (int i = 0; i < 5; ++i) dot(4 + i, 7 - i);
        }
        RECT label{box + 4 * scale(), 0, client.right, client.bottom};
        if (!enabled) SetTextColor(dc, RGB(128, 128, 128));
        DrawTextW(dc, text.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        if (focused) drawFocusFrame(dc, client);
    } else {
        HBRUSH brush = askColours(hwnd, dc, WM_CTLCOLORBTN, state.font);
        (void)brush;  // a push button keeps its own face
        bool down = state.pushed;
        fillColour(dc, client, down ? 0x1E4B9B : 0xE8E8E8);
        drawFrame(dc, client, 0x000000);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, down ? RGB(255, 255, 255) : (enabled ? RGB(0, 0, 0) : RGB(128, 128, 128)));
        DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (focused) drawFocusFrame(dc, client);
    }
    EndPaint(hwnd, &paint);
}

// A click: an auto check box toggles itself; the parent hears BN_CLICKED.
void click(HWND hwnd, ButtonState& state) {
    if ((styleOf(hwnd) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        state.check = state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    notifyParent(hwnd, BN_CLICKED);
}

bool inside(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    return x >= 0 && y >= 0 && x < client.right && y < client.bottom;
}

}  // namespace

int scale() {
    return gui::uiScale();
}

bool isClass(HWND hwnd, LPCWSTR className) {
    auto window = wm::find(hwnd);
    return window && window->className == className;
}

void registerClasses() {
    gui::registerClass(staticClass, staticProc);
    gui::registerClass(editClass, editProc);
    gui::registerClass(listBoxClass, listBoxProc);
    gui::registerClass(buttonClass, buttonProc);
    gui::registerClass(upDownClass, upDownProc);
    gui::registerClass(WC_DIALOG, dialogProc);
}

LPCWSTR canonicalClass(LPCWSTR className) {
    if (className == nullptr) return nullptr;
    if (IS_INTRESOURCE(className)) {
        switch (LOWORD(className)) {
            case WC_BUTTON_ATOM: return buttonClass;
            case WC_EDIT_ATOM: return editClass;
            case WC_STATIC_ATOM: return staticClass;
            case WC_LISTBOX_ATOM: return listBoxClass;
            default: return nullptr;
        }
    }
    for (LPCWSTR name : {staticClass, editClass, listBoxClass, buttonClass, upDownClass})
        if (equalsIgnoringCase(className, name)) return name;
    return nullptr;
}

HBRUSH askColours(HWND hwnd, HDC dc, UINT message, HFONT font) {
    SelectObject(dc,
                 font != nullptr ? reinterpret_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    HWND parent = GetParent(hwnd);
    LRESULT answer = parent != nullptr ? SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(hwnd))
                                       : 0;
    if (answer != 0) return reinterpret_cast<HBRUSH>(answer);
    return reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void notifyParent(HWND hwnd, int code) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) return;
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code),
                 reinterpret_cast<LPARAM>(hwnd));
}

void fillColour(HDC dc, const RECT& rect, uint32_t xrgb) {
    if (auto state = gdi::dcOf(dc)) gdi::fillLogical(*state, rect, xrgb);
}

void drawFrame(HDC dc, const RECT& r, uint32_t xrgb) {
    fillColour(dc, RECT{r.left, r.top, r.right, r.top + 1}, xrgb);
    fillColour(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, xrgb);
    fillColour(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, xrgb);
    fillColour(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, xrgb);
}

void drawFocusFrame(HDC dc, const RECT& rect) {
    drawFrame(dc, rect, focusBlue);
    drawFrame(dc, RECT{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, focusBlue);
}

// ---- Static control
LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = stateOf<StaticState>(hwnd);
    if (state == nullptr) return 0;
    switch (message) {
        case WM_PAINT: paintStatic(hwnd, *state); return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case STM_SETICON:
        case STM_SETIMAGE: {
            HICON previous = state->icon;
            state->icon = reinterpret_cast<HICON>(message == STM_SETICON ? wParam : lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return reinterpret_cast<LRESULT>(previous);
        }
        case STM_GETICON:
        case STM_GETIMAGE: return reinterpret_cast<LRESULT>(state->icon);
        case WM_LBUTTONUP:
            if (styleOf(hwnd) & SS_NOTIFY) notifyParent(hwnd, STN_CLICKED);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ---- Button control
LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = stateOf<ButtonState>(hwnd);
    if (state == nullptr) return 0;
    switch (message) {
        case WM_PAINT: paintButton(hwnd, *state); return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case BM_GETCHECK: return isCheckBox(styleOf(hwnd)) ? state->check : BST_UNCHECKED;
        case BM_SETCHECK:
            if (isCheckBox(styleOf(hwnd)) && state->check != wParam) {
                state->check = static_cast<UINT>(wParam);
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case BM_GETSTATE:
            return state->check | (state->pushed ? BST_PUSHED : 0) |
                   (GetFocus() == hwnd ? BST_FOCUS : 0);
        case BM_SETSTATE:
            state->pushed = wParam != 0;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case BM_CLICK: click(hwnd, *state); return 0;
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            state->tracking = state->pushed = true;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONUP: {
            bool was = state->tracking;
            state->tracking = state->pushed = false;
            InvalidateRect(hwnd, nullptr, TRUE);
            if (was && inside(hwnd, lParam)) click(hwnd, *state);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE || wParam == VK_RETURN) click(hwnd, *state);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, TRUE);
            if (styleOf(hwnd) & BS_NOTIFY)
                notifyParent(hwnd, message == WM_SETFOCUS ? BN_SETFOCUS : BN_KILLFOCUS);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace orven::controls
