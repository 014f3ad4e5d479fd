// The modal loop of the platform's own windows (message boxes, popup menus) and small
// helpers they share. A modal loop is the GUI thread's ordinary GetMessageW loop, so the
// program's timers keep firing and its windows keep repainting while a box is open;
// only input is taken away from the program's windows.
#include <atomic>

#include "platform/gui_internal.h"
#include "platform/text.h"

namespace {

std::atomic<int> modalDepth{0};  // nested modal loops running; written by the GUI thread

}  // namespace

namespace orven::gui {

bool modalActive() {
    return modalDepth.load() > 0;
}

bool runModalLoop(const std::function<bool()>& done, const ModalInput& input) {
    struct Depth {
        Depth() { ++modalDepth; }
        ~Depth() { --modalDepth; }
    } depth;
    MSG msg;
    while (!done()) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // The program is ending: leave the quit for the loop outside.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        switch (msg.message) {
            case WM_KEYDOWN:
            case WM_KEYUP:
            case WM_CHAR:
                if (input.onKey) input.onKey(msg);
                continue;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
                if (!input.owns || !input.owns(msg.hwnd)) {
                    if (msg.message == WM_LBUTTONDOWN && input.onOutsideTap)
                        input.onOutsideTap(msg);
                    continue;
                }
                break;
            default: break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void registerClass(LPCWSTR name, WNDPROC proc) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassW(&wc);  // a second registration fails harmlessly
}

int uiScale() {
    return GetSystemMetrics(SM_CXSCREEN) >= 480 ? 2 : 1;
}

WindowPaint::WindowPaint(HWND window)
    : dc(BeginPaint(window, &paint_)), state(gdi::dcOf(dc)), scale(uiScale()), window_(window) {
    // A window destroyed by another thread (a bubble the radio closes) gets no context:
    // its painter then draws into an empty clip, so nothing is drawn and nothing read.
    if (state == nullptr) state = std::make_shared<gdi::DcState>();
    GetClientRect(window, &client);
    SetBkMode(dc, TRANSPARENT);
}

WindowPaint::~WindowPaint() {
    if (originalFont_ != nullptr) SelectObject(dc, originalFont_);
    for (HFONT font : fonts_) DeleteObject(font);
    EndPaint(window_, &paint_);
}

HFONT WindowPaint::font(int height, bool bold) {
    HFONT made = uiFont(height, bold);
    fonts_.push_back(made);
    select(made);
    return made;
}

void WindowPaint::select(HFONT font) {
    HGDIOBJ previous = SelectObject(dc, font);
    if (originalFont_ == nullptr) originalFont_ = previous;
}

HFONT uiFont(int height, bool bold) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, u"Tahoma", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

}  // namespace orven::gui
