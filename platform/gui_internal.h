// Internals of the platform's own windows: the modal loop shared by message boxes and
// popup menus, and what the test controls read and do through them. Never included
// by the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/window.h"

namespace orven::gui {

// ---- Modal loops (modal.cpp)
struct ModalInput {
    // Windows that belong to the modal UI (taps on them are dispatched as usual).
    std::function<bool(HWND)> owns;
    // Keys (WM_KEYDOWN, WM_KEYUP, WM_CHAR), whatever window they were meant for.
    std::function<void(const MSG&)> onKey;
    // A tap (WM_LBUTTONDOWN) on any other window; the tap itself is dropped.
    std::function<void(const MSG&)> onOutsideTap;
};
// Runs the GUI thread's ordinary GetMessageW loop until done() holds, so timers and
// paints go on; input goes to the modal UI. Returns false when WM_QUIT ended the loop
// (it is posted again for the loop outside).
bool runModalLoop(const std::function<bool()>& done, const ModalInput& input);
// True while a message box or popup menu runs its loop (any thread may ask).
bool modalActive();
// Registers a platform window class once (GUI thread).
void registerClass(LPCWSTR name, WNDPROC proc);
// A full-screen-relative scale for the platform's own drawing: 1 up to 320 pixels
// wide, 2 for VGA screens.
int uiScale();
// A font for the platform's own windows (Tahoma), cell height in pixels.
HFONT uiFont(int height, bool bold);

// ---- Message boxes (msgbox.cpp)
struct MessageBoxRecord {
    std::u16string text;
    std::u16string caption;
    UINT style = 0;
    int answer = 0;  // 0 while the box is open
};
std::vector<MessageBoxRecord> messageBoxesShown();
void clearMessageBoxes();
void queueMessageBoxAnswers(const std::vector<int>& answers);
bool answerOpenMessageBox(int answer);
// The buttons of the innermost open box: answer and place on the screen.
std::vector<std::pair<int, RECT>> openMessageBoxButtons();

// ---- Popup menus (menu_popup.cpp)
struct MenuItemShown {
    UINT id = 0;
    std::u16string text;
    bool separator = false;
    bool popup = false;
    bool ownerDrawn = false;
    bool selected = false;
    RECT rect{};  // on the screen
};
// The items of the innermost open popup; empty when no menu is open.
std::vector<MenuItemShown> openMenuItems();
// Ends the open menu with this command (found in any of its submenus).
bool chooseMenuCommand(UINT command);
bool dismissOpenMenu();

// ---- The shell (shell.cpp, tray.cpp)
// A soft key pressed (down) or released: 0 left, 1 right. It goes to the menu bar of
// the newest visible window that has one, else to the windows as F1/F2.
void softKey(int index, bool down);
// The SHMBOF_* flags the menu bar of `parent` was given for a key with
// SHCMBM_OVERRIDEKEY (0: none, the key keeps its default).
DWORD menuBarKeyOverride(HWND parent, int virtualKey);

// ---- The input panel (sip.cpp)
bool sipShown();
struct SipKeyShown {
    WCHAR character;
    RECT rect;  // on the screen
};
std::vector<SipKeyShown> sipKeys();
struct TrayIconShown {
    HWND window = nullptr;
    UINT id = 0;
    std::u16string tip;
    RECT rect{};  // on the screen, while the desktop shows
};
std::vector<TrayIconShown> trayIcons();
bool desktopShown();

}  // namespace orven::gui
