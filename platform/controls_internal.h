// Internals of the standard controls (controls.cpp, edit.cpp, spin.cpp) and the dialog
// manager (dialog.cpp): class names, the per-window state they keep and the drawing
// helpers they share. Never included by the program. GUI thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/commctrl.h"
#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/window_manager.h"

namespace orven::controls {

// The registered class names.
constexpr LPCWSTR staticClass = u"Static";
constexpr LPCWSTR editClass = u"Edit";
constexpr LPCWSTR listBoxClass = u"ListBox";
constexpr LPCWSTR buttonClass = u"Button";
constexpr LPCWSTR upDownClass = UPDOWN_CLASSW;

// Registers every control class and the dialog class (once).
void registerClasses();
// The registered name for a template's class (a name in any letter case or a class
// atom); null when the class is not one of the controls.
LPCWSTR canonicalClass(LPCWSTR className);

// The window's own state object (Window::extra), created on first use.
template <typename T>
T* stateOf(HWND hwnd) {
    auto window = wm::find(hwnd);
    if (!window) return nullptr;
    if (!window->extra) window->extra = std::make_shared<T>();
    return static_cast<T*>(window->extra.get());
}

// Font set by WM_SETFONT (shared by every control).
struct Common {
    HFONT font = nullptr;
};

// Asks the parent for its colours (WM_CTLCOLOR*): the returned brush, else white with
// black text. The control's font is selected into dc first.
HBRUSH askColours(HWND hwnd, HDC dc, UINT message, HFONT font);
// Sends WM_COMMAND (id, code) from the control to its parent.
void notifyParent(HWND hwnd, int code);
// The blue frame of the focused control, drawn inside rect.
void drawFocusFrame(HDC dc, const RECT& rect);
// A one-pixel frame.
void drawFrame(HDC dc, const RECT& rect, uint32_t xrgb);
void fillColour(HDC dc, const RECT& rect, uint32_t xrgb);
// Paint scale of the platform's drawing (1, or 2 on VGA screens).
int scale();

// WM_GETTEXT of both edit procedures: the text into the caller's buffer of `maxCount`.
LRESULT copyEditText(HWND hwnd, WPARAM maxCount, LPARAM buffer);

// The window procedures.
LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The edit class's procedure for ES_MULTILINE (edit_multiline.cpp).
LRESULT CALLBACK multiLineEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK listBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK upDownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The up-down control whose buddy is `buddy`, or null (a list box finds its spinner).
HWND upDownOfBuddy(HWND buddy);
// Steps an up-down control by delta (+1 towards upper) as an arrow does, notifying.
void stepUpDown(HWND upDown, int delta);

// Whether the class of hwnd is this one.
bool isClass(HWND hwnd, LPCWSTR className);

}  // namespace orven::controls
