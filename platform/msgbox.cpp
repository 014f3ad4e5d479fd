// Message boxes: MessageBoxW. The box is a window of its own, centred on the screen and
// drawn into the framebuffer (so screenshots show it): a caption bar, the style's icon,
// the text with its line breaks, wrapped at blanks, and the style's buttons. It answers
// taps on its buttons and the keys: arrows and Tab move between buttons, Enter presses
// the focused one, Escape means Cancel (or OK when OK is the only button), and the soft
// keys F1 and F2 press the first and the last button. Relies on the modal loop
// (modal.cpp), the window manager and the GDI.
#include <deque>
#include <mutex>

#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/msgbox.h"
#include "platform/palette.h"
#include "platform/text.h"
#include "platform/transcript.h"

namespace {

using namespace orven;

constexpr LPCWSTR boxClass = u"orven.msgbox";

struct Box {
    HWND window = nullptr;
    std::u16string text;
    std::u16string caption;
    UINT style = 0;
    std::vector<int> buttons;  // answers, left to right
    int focused = 0;           // index into buttons
    int pressed = -1;          // button under a tap that is still down
    int answer = 0;
    size_t record = 0;  // index into `records`
    // Layout in client coordinates.
    int captionHeight = 0;
    RECT icon{};
    RECT textRect{};
    std::vector<RECT> buttonRects;
};

std::mutex recordsLock;
std::vector<gui::MessageBoxRecord> records;  // every box shown; guarded by recordsLock
std::deque<int> scriptedAnswers;             // guarded by recordsLock
std::vector<Box*> openBoxes;                 // innermost last; GUI thread only

std::vector<int> buttonsOf(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}

LPCWSTR labelOf(int answer) {
    switch (answer) {
        case IDOK: return u"OK";
        case IDCANCEL: return u"Cancel";
        case IDABORT: return u"Abort";
        case IDRETRY: return u"Retry";
        case IDIGNORE: return u"Ignore";
        case IDYES: return u"Yes";
        default: return u"No";
    }
}

bool hasButton(const Box& box, int answer) {
    for (int b : box.buttons)
        if (b == answer) return true;
    return false;
}

// The answer when the box must end without a choice: the most cautious button.
int cautiousAnswer(const Box& box) {
    if (hasButton(box, IDCANCEL)) return IDCANCEL;
    if (hasButton(box, IDNO)) return IDNO;
    return box.buttons.back();
}

std::string forTrace(const std::u16string& text) {
    std::string out;
    for (char c : toUtf8(text)) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

void finish(Box& box, int answer) {
    if (box.answer != 0) return;
    box.answer = answer;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        records[box.record].answer = answer;
    }
    internal::trace("MessageBox answer=%d", answer);
    if (box.window != nullptr) PostMessageW(box.window, WM_NULL, 0, 0);  // wake the loop
}

// Sizes the box for its text and places it in the middle of the screen.
RECT layOut(Box& box) {
    int s = gui::uiScale(), pad = 8 * s;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int width = std::min(screenWidth - 16 * s, 320 * s);
    box.captionHeight = 20 * s;
    bool hasIcon = (box.style & MB_ICONMASK) != 0;
    int iconSize = hasIcon ? 28 * s : 0;
    box.icon =
        RECT{pad, box.captionHeight + pad, pad + iconSize, box.captionHeight + pad + iconSize};
    int textLeft = pad + (hasIcon ? iconSize + pad : 0);
    RECT measure{textLeft, box.captionHeight + pad, width - pad, box.captionHeight + pad};
    HDC dc = GetDC(nullptr);
    HFONT font = gui::uiFont(13 * s, false);
    HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, box.text.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    int bodyHeight = std::max<int>(iconSize, measure.bottom - measure.top);
    int buttonsTop = box.captionHeight + pad + bodyHeight + pad;
    int buttonWidth = 64 * s, buttonHeight = 24 * s, gap = 8 * s;
    int count = static_cast<int>(box.buttons.size());
    int left = (width - count * buttonWidth - (count - 1) * gap) / 2;
    box.buttonRects.clear();
    for (int i = 0; i < count; ++i) {
        int x = left + i * (buttonWidth + gap);
        box.buttonRects.push_back(RECT{x, buttonsTop, x + buttonWidth, buttonsTop + buttonHeight});
    }
    int height = std::min(buttonsTop + buttonHeight + pad, screenHeight);
    box.textRect = RECT{textLeft, box.captionHeight + pad, width - pad, buttonsTop - pad};
    int x = (screenWidth - width) / 2, y = (screenHeight - height) / 2;
    return RECT{x, y, x + width, y + height};
}

void drawIcon(HDC dc, const Box& box) {
    auto state = gdi::dcOf(dc);
    const RECT& r = box.icon;
    LPCWSTR symbol = u"";
    uint32_t symbolColour = palette::iconSymbol;
    switch (box.style & MB_ICONMASK) {
        case MB_ICONHAND:
            gdi::fillEllipse(*state, r, palette::stopIcon);
            symbol = u"X";
            break;
        case MB_ICONQUESTION:
            gdi::fillEllipse(*state, r, palette::informationIcon);
            symbol = u"?";
            break;
        case MB_ICONEXCLAMATION:
            gdi::fillTriangle(*state, POINT{(r.left + r.right) / 2, r.top},
                              POINT{r.right, r.bottom}, POINT{r.left, r.bottom},
                              palette::warningIcon);
            symbol = u"!";
            symbolColour = palette::warningIconSymbol;
            break;
        case MB_ICONASTERISK:
            gdi::fillEllipse(*state, r, palette::informationIcon);
            symbol = u"i";
            break;
        default: return;
    }
    HFONT font = gui::uiFont((r.bottom - r.top) * 2 / 3, true);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, gdi::toColorref(symbolColour));
    RECT text = r;
    text.top += (r.bottom - r.top) / 8;
    DrawTextW(dc, symbol, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
    DeleteObject(font);
}

void paintBox(HWND hwnd, const Box& box) {
    gui::WindowPaint paint(hwnd);
    const RECT& client = paint.client;
    const int s = paint.scale;
    HDC dc = paint.dc;
    gdi::DcState& state = *paint.state;
    gdi::fillLogical(state, client, palette::boxBackground);
    gdi::fillLogical(state, RECT{0, 0, client.right, box.captionHeight}, palette::accent);
    gdi::frameRect(state, client, 1, palette::boxFrame);
    HFONT bold = paint.font(13 * s, true);
    SetTextColor(dc, gdi::toColorref(palette::textOnAccent));
    RECT caption{6 * s, 0, client.right - 6 * s, box.captionHeight};
    DrawTextW(dc, box.caption.c_str(), -1, &caption, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    drawIcon(dc, box);
    paint.font(13 * s, false);
    SetTextColor(dc, gdi::toColorref(palette::boxText));
    RECT text = box.textRect;
    DrawTextW(dc, box.text.c_str(), -1, &text, DT_WORDBREAK | DT_NOPREFIX);
    paint.select(bold);
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        RECT button = box.buttonRects[i];
        bool focused = static_cast<int>(i) == box.focused;
        bool down = static_cast<int>(i) == box.pressed;
        gdi::fillLogical(state, button,
                         down      ? palette::buttonPressedFace
                         : focused ? palette::buttonFocusedFace
                                   : palette::buttonFace);
        gdi::frameRect(state, button, focused ? 2 * s : 1,
                       focused ? palette::accent : palette::buttonFrame);
        SetTextColor(dc, gdi::toColorref(palette::buttonText));
        DrawTextW(dc, labelOf(box.buttons[i]), -1, &button,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

Box* boxOf(HWND hwnd) {
    for (Box* box : openBoxes)
        if (box->window == hwnd) return box;
    return nullptr;
}

int buttonAt(const Box& box, LPARAM lParam) {
    POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    for (size_t i = 0; i < box.buttonRects.size(); ++i) {
        const RECT& r = box.buttonRects[i];
        if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

LRESULT CALLBACK boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Box* box = boxOf(hwnd);
    if (box == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: paintBox(hwnd, *box); return 0;
        case WM_LBUTTONDOWN:
            box->pressed = buttonAt(*box, lParam);
            if (box->pressed >= 0) box->focused = box->pressed;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            int button = buttonAt(*box, lParam);
            if (button >= 0 && button == box->pressed) finish(*box, box->buttons[button]);
            box->pressed = -1;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void onKey(Box& box, const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return;
    int count = static_cast<int>(box.buttons.size());
    switch (msg.wParam) {
        case VK_LEFT:
        case VK_UP: box.focused = (box.focused + count - 1) % count; break;
        case VK_RIGHT:
        case VK_DOWN:
        case VK_TAB: box.focused = (box.focused + 1) % count; break;
        case VK_RETURN: finish(box, box.buttons[box.focused]); break;
        case VK_ESCAPE:
            if (hasButton(box, IDCANCEL))
                finish(box, IDCANCEL);
            else if (count == 1)
                finish(box, box.buttons[0]);
            break;
        case VK_F1: finish(box, box.buttons.front()); break;
        case VK_F2: finish(box, box.buttons.back()); break;
        default: return;
    }
    InvalidateRect(box.window, nullptr, FALSE);
}

}  // namespace

namespace orven::gui {

std::vector<MessageBoxRecord> messageBoxesShown() {
    std::lock_guard<std::mutex> hold(recordsLock);
    return records;
}

void clearMessageBoxes() {
    std::lock_guard<std::mutex> hold(recordsLock);
    records.clear();
}

void queueMessageBoxAnswers(const std::vector<int>& answers) {
    std::lock_guard<std::mutex> hold(recordsLock);
    scriptedAnswers.insert(scriptedAnswers.end(), answers.begin(), answers.end());
}

bool answerOpenMessageBox(int answer) {
    if (openBoxes.empty()) return false;
    finish(*openBoxes.back(), answer);
    return true;
}

std::vector<std::pair<int, RECT>> openMessageBoxButtons() {
    std::vector<std::pair<int, RECT>> buttons;
    if (openBoxes.empty()) return buttons;
    const Box& box = *openBoxes.back();
    RECT window{};
    GetWindowRect(box.window, &window);
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        const RECT& r = box.buttonRects[i];
        buttons.emplace_back(box.buttons[i], RECT{window.left + r.left, window.top + r.top,
                                                  window.left + r.right, window.top + r.bottom});
    }
    return buttons;
}

}  // namespace orven::gui

// ---- MessageBoxW
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
    Box box;
    box.text = text != nullptr ? text : u"";
    box.caption = caption != nullptr ? caption : u"Error";
    box.style = style;
    box.buttons = buttonsOf(style);
    box.focused = std::min<int>(static_cast<int>((style & MB_DEFMASK) >> 8),
                                static_cast<int>(box.buttons.size()) - 1);
    int scripted = 0;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        box.record = records.size();
        records.push_back(gui::MessageBoxRecord{box.text, box.caption, style, 0});
        if (!scriptedAnswers.empty()) {
            scripted = scriptedAnswers.front();
            scriptedAnswers.pop_front();
        }
    }
    internal::trace("MessageBox style=%#x caption=\"%s\" text=\"%s\"", style,
                    forTrace(box.caption).c_str(), forTrace(box.text).c_str());
    transcript::line("message box: %s", transcript::oneLine(box.text).c_str());
    if (scripted != 0) {
        finish(box, scripted);
        return box.answer;
    }
    gui::registerClass(boxClass, boxProc);
    RECT rect = layOut(box);
    openBoxes.push_back(&box);
    box.window = CreateWindowExW(0, boxClass, box.caption.c_str(), WS_POPUP | WS_VISIBLE, rect.left,
                                 rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                 nullptr, nullptr, nullptr);
    gui::ModalInput input;
    input.owns = [&](HWND hwnd) { return hwnd == box.window; };
    input.onKey = [&](const MSG& msg) { onKey(box, msg); };
    if (box.window == nullptr || !gui::runModalLoop([&] { return box.answer != 0; }, input))
        finish(box, cautiousAnswer(box));
    openBoxes.pop_back();
    if (box.window != nullptr) DestroyWindow(box.window);
    return box.answer;
}
