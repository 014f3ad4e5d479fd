// The multi-line edit control (ES_MULTILINE), as a reader of long text: the text is the
// window text, word-wrapped to the control's width with its line breaks kept, and it
// scrolls by whole lines. Up and Down scroll one line, Page Up and Page Down a page,
// Home and End to the top and the bottom. With WS_VSCROLL a scroll bar on the right
// takes taps: its arrows scroll a line, the track above or below the thumb a page. A tap
// dragged over the text (or the thumb) scrolls by the distance between where it went
// down and where it was lifted, since the touch screen reports no movement in between.
// It takes no typing: a multi-line edit is always read-only here. Relies on the window
// manager and the GDI (controls.cpp's helpers); DrawTextW does the wrapping.
#include <algorithm>

#include "platform/controls_internal.h"
#include "platform/text.h"

namespace orven::controls {

namespace {

struct MultiLineState {
    HFONT font = nullptr;
    int firstLine = 0;           // the top visible line, of the wrapped text
    bool dragging = false;       // a tap went down on the text or the thumb
    bool draggingThumb = false;  //
    int dragStartY = 0;          // where it went down, client coordinates
};

// What the text looks like at the control's present size and font.
struct Layout {
    int lineHeight = 1;
    int lineCount = 0;     // wrapped lines of the whole text
    int visibleLines = 1;  // whole lines that fit
    RECT text{};           // where the text goes, client coordinates
    RECT bar{};            // the scroll bar, empty without WS_VSCROLL
};

DWORD styleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

std::u16string textOf(HWND hwnd) {
    auto window = wm::find(hwnd);
    return window ? window->title : std::u16string();
}

int padding() {
    return 2 * scale();
}

int barWidth() {
    return 11 * scale();
}

void selectFont(HDC dc, const MultiLineState& state) {
    SelectObject(dc, state.font != nullptr ? reinterpret_cast<HGDIOBJ>(state.font)
                                           : GetStockObject(SYSTEM_FONT));
}

constexpr UINT wrapFormat = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX;

Layout layOut(HWND hwnd, HDC dc) {
    Layout layout;
    RECT client;
    GetClientRect(hwnd, &client);
    const bool bar = (styleOf(hwnd) & WS_VSCROLL) != 0;
    const int right = client.right - (bar ? barWidth() : 0);
    if (bar) layout.bar = RECT{right, 0, client.right, client.bottom};
    layout.text = RECT{padding(), padding(), std::max<LONG>(padding(), right - padding()),
                       std::max<LONG>(padding(), client.bottom - padding())};
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    layout.lineHeight = std::max<int>(1, metrics.tmHeight);
    std::u16string text = textOf(hwnd);
    RECT measured = layout.text;
    const int height =
        text.empty() ? 0 : DrawTextW(dc, text.c_str(), -1, &measured, wrapFormat | DT_CALCRECT);
    layout.lineCount = height / layout.lineHeight;
    layout.visibleLines =
        std::max(1, int(layout.text.bottom - layout.text.top) / layout.lineHeight);
    return layout;
}

Layout layOut(HWND hwnd, const MultiLineState& state) {
    HDC dc = GetDC(hwnd);
    selectFont(dc, state);
    Layout layout = layOut(hwnd, dc);
    ReleaseDC(hwnd, dc);
    return layout;
}

int lastFirstLine(const Layout& layout) {
    return std::max(0, layout.lineCount - layout.visibleLines);
}

// Scrolls by `lines` (negative: towards the top), stopping at either end. Returns the
// lines actually scrolled.
int scrollBy(HWND hwnd, MultiLineState& state, int lines) {
    const Layout layout = layOut(hwnd, state);
    const int first = std::clamp(state.firstLine + lines, 0, lastFirstLine(layout));
    const int moved = first - state.firstLine;
    if (moved != 0) {
        state.firstLine = first;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return moved;
}

int pageOf(const Layout& layout) {
    return std::max(1, layout.visibleLines - 1);  // one line stays for continuity
}

// The thumb's place in the track between the two arrow boxes.
RECT thumbOf(const Layout& layout, int firstLine) {
    const RECT& bar = layout.bar;
    const int arrow = bar.right - bar.left;
    const int trackTop = bar.top + arrow,
              trackLength = std::max(0, int(bar.bottom) - arrow - trackTop);
    if (layout.lineCount <= layout.visibleLines || trackLength <= 0) return RECT{};
    const int length = std::max(arrow, trackLength * layout.visibleLines / layout.lineCount);
    const int room = trackLength - length;
    const int top = trackTop + room * firstLine / std::max(1, lastFirstLine(layout));
    return RECT{bar.left, top, bar.right, top + length};
}

void drawArrow(HDC dc, const RECT& box, bool up, uint32_t xrgb) {
    const int size = box.right - box.left, centre = (box.left + box.right) / 2;
    const int rows = size / 3;
    const int top = box.top + (box.bottom - box.top - rows) / 2;
    for (int row = 0; row < rows; ++row) {
        const int half = up ? row : rows - 1 - row;
        fillColour(dc, RECT{centre - half - 1, top + row, centre + half + 1, top + row + 1}, xrgb);
    }
}

void paintBar(HDC dc, const Layout& layout, int firstLine) {
    const RECT& bar = layout.bar;
    const int arrow = bar.right - bar.left;
    fillColour(dc, bar, 0xE0E0E0);
    const RECT upBox{bar.left, bar.top, bar.right, bar.top + arrow};
    const RECT downBox{bar.left, bar.bottom - arrow, bar.right, bar.bottom};
    const bool scrolls = layout.lineCount > layout.visibleLines;
    const uint32_t arrowColour = scrolls ? 0x000000 : 0xA0A0A0;
    drawArrow(dc, upBox, true, arrowColour);
    drawArrow(dc, downBox, false, arrowColour);
    drawFrame(dc, upBox, 0x808080);
    drawFrame(dc, downBox, 0x808080);
    const RECT thumb = thumbOf(layout, firstLine);
    if (thumb.bottom > thumb.top) fillColour(dc, thumb, 0x808080);
}

void paint(HWND hwnd, MultiLineState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = askColours(hwnd, dc, WM_CTLCOLORSTATIC, state.font);
    FillRect(dc, &client, brush);
    const Layout layout = layOut(hwnd, dc);
    state.firstLine = std::clamp(state.firstLine, 0, lastFirstLine(layout));  // after a resize
    SetBkMode(dc, TRANSPARENT);
    // The whole text, shifted up by the lines scrolled out, clipped to the text area.
    std::u16string text = textOf(hwnd);
    RECT shifted = layout.text;
    shifted.top -= state.firstLine * layout.lineHeight;
    if (!text.empty()) {
        // DrawTextW clips to its rectangle: from the shifted top to the last whole line.
        RECT area{shifted.left, shifted.top, shifted.right,
                  layout.text.top + layout.visibleLines * layout.lineHeight};
        DrawTextW(dc, text.c_str(), -1, &area, wrapFormat);
        // The lines scrolled out reach into the padding above the text at most: paint
        // that strip again.
        const RECT strip{client.left, client.top, layout.text.right, layout.text.top};
        FillRect(dc, &strip, brush);
    }
    if (layout.bar.right > layout.bar.left) paintBar(dc, layout, state.firstLine);
    if (styleOf(hwnd) & WS_BORDER) drawFrame(dc, client, 0x808080);
    EndPaint(hwnd, &ps);
}

// A tap on the scroll bar: its arrows a line, the track a page; on the thumb a drag.
void onBarTap(HWND hwnd, MultiLineState& state, const Layout& layout, int y) {
    const int arrow = layout.bar.right - layout.bar.left;
    const RECT thumb = thumbOf(layout, state.firstLine);
    if (y < layout.bar.top + arrow)
        scrollBy(hwnd, state, -1);
    else if (y >= layout.bar.bottom - arrow)
        scrollBy(hwnd, state, 1);
    else if (thumb.bottom > thumb.top && y < thumb.top)
        scrollBy(hwnd, state, -pageOf(layout));
    else if (thumb.bottom > thumb.top && y >= thumb.bottom)
        scrollBy(hwnd, state, pageOf(layout));
    else {
        state.dragging = state.draggingThumb = true;
        state.dragStartY = y;
    }
}

void onTapDown(HWND hwnd, MultiLineState& state, LPARAM lParam) {
    SetFocus(hwnd);
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    const Layout layout = layOut(hwnd, state);
    if (x >= layout.bar.left && layout.bar.right > layout.bar.left) {
        onBarTap(hwnd, state, layout, y);
        return;
    }
    state.dragging = true;
    state.draggingThumb = false;
    state.dragStartY = y;
}

// The tap lifted: the text follows the finger, the thumb the other way round.
void onTapUp(HWND hwnd, MultiLineState& state, LPARAM lParam) {
    if (!state.dragging) return;
    state.dragging = false;
    const int dy = static_cast<short>(HIWORD(lParam)) - state.dragStartY;
    const Layout layout = layOut(hwnd, state);
    if (state.draggingThumb) {
        const int arrow = layout.bar.right - layout.bar.left;
        const RECT thumb = thumbOf(layout, state.firstLine);
        const int room =
            int(layout.bar.bottom - layout.bar.top) - 2 * arrow - int(thumb.bottom - thumb.top);
        if (room > 0) scrollBy(hwnd, state, dy * lastFirstLine(layout) / room);
    } else {
        scrollBy(hwnd, state, -dy / layout.lineHeight);
    }
}

void onKey(HWND hwnd, MultiLineState& state, WPARAM key) {
    const Layout layout = layOut(hwnd, state);
    switch (key) {
        case VK_UP: scrollBy(hwnd, state, -1); break;
        case VK_DOWN: scrollBy(hwnd, state, 1); break;
        case VK_PRIOR: scrollBy(hwnd, state, -pageOf(layout)); break;
        case VK_NEXT: scrollBy(hwnd, state, pageOf(layout)); break;
        case VK_HOME: scrollBy(hwnd, state, -state.firstLine); break;
        case VK_END: scrollBy(hwnd, state, lastFirstLine(layout) - state.firstLine); break;
        default: break;
    }
}

// EM_SCROLL: a line or a page up or down; the lines scrolled in the low word.
LRESULT onScrollRequest(HWND hwnd, MultiLineState& state, WPARAM action) {
    const Layout layout = layOut(hwnd, state);
    int lines = 0;
    switch (action) {
        case SB_LINEUP: lines = -1; break;
        case SB_LINEDOWN: lines = 1; break;
        case SB_PAGEUP: lines = -pageOf(layout); break;
        case SB_PAGEDOWN: lines = pageOf(layout); break;
        default: return FALSE;
    }
    return MAKELONG(static_cast<WORD>(scrollBy(hwnd, state, lines)), TRUE);
}

}  // namespace

LRESULT CALLBACK multiLineEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = stateOf<MultiLineState>(hwnd);
    if (state == nullptr) return 0;
    switch (message) {
        case WM_CREATE: wm::receiveTextMessages(hwnd); return 0;
        case WM_PAINT: paint(hwnd, *state); return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case WM_SETTEXT:
            wm::storeTitle(hwnd, lParam != 0 ? reinterpret_cast<LPCWSTR>(lParam) : u"");
            state->firstLine = 0;
            InvalidateRect(hwnd, nullptr, TRUE);
            notifyParent(hwnd, EN_CHANGE);
            return TRUE;
        case WM_GETTEXT: return copyEditText(hwnd, wParam, lParam);
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(textOf(hwnd).size());
        case WM_GETDLGCODE: return DLGC_WANTARROWS;
        case WM_KEYDOWN: onKey(hwnd, *state, wParam); return 0;
        case WM_LBUTTONDOWN: onTapDown(hwnd, *state, lParam); return 0;
        case WM_LBUTTONUP: onTapUp(hwnd, *state, lParam); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            notifyParent(hwnd, message == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
            return 0;
        case EM_GETFIRSTVISIBLELINE: return state->firstLine;
        case EM_GETLINECOUNT: return std::max(1, layOut(hwnd, *state).lineCount);
        case EM_LINESCROLL: scrollBy(hwnd, *state, static_cast<int>(lParam)); return TRUE;
        case EM_SCROLL: return onScrollRequest(hwnd, *state, wParam);
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace orven::controls
