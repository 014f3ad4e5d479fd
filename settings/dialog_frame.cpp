// The dialog frame. Relies on the shell's dialog helpers (SHInitDialog, the menu bar,
// the input panel), the dialog manager and createAppFont.
#include "settings/dialog_frame.h"

#include <algorithm>
#include <iterator>

#include "common/app_font.h"
#include "common/platform_facts.h"
#include "common/program.h"
#include "platform/commctrl.h"

const WCHAR versionLine[] = u"Version 1.0";

namespace {

constexpr int titleControl = 1006;
constexpr int versionControl = 1005;
constexpr int hintControl = 1009;

constexpr WORD okCommand = 1;  // the platform's OK and Cancel
constexpr WORD cancelCommand = 2;
constexpr WORD leftKeyCommand = 40012;  // "Cancel" or "Close"
constexpr WORD saveCommand = 40014;
constexpr WORD testCommand = 40031;

constexpr COLORREF titleBlue = RGB(0, 64, 255);
constexpr COLORREF black = RGB(0, 0, 0);
// Back loses its default action and is reported as WM_HOTKEY: SHMBOF_NODEFAULT |
// SHMBOF_NOTIFY in both words.
constexpr LPARAM backKeyOverride =
    MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY);
constexpr DWORD olderSmartphoneVersion = 5;  // below it the Smartphone title is 16 high
constexpr int narrowScreen = 320;            // a Smartphone narrower than this: 15

int titleFontHeight() {
    if (isSmartphone == 1 && osMajorVersion < olderSmartphoneVersion) return 16;
    if (isSmartphone == 1 && GetSystemMetrics(SM_CXSCREEN) < narrowScreen) return 15;
    return 17;
}

// WM_CTLCOLORSTATIC and WM_CTLCOLORDLG: black on white, the title bold and blue, the
// version line and the hint small.
INT_PTR onControlColour(DialogFrame& frame, HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, black);
    switch (GetDlgCtrlID(control)) {
        case titleControl:
            if (frame.titleFont == nullptr)
                frame.titleFont = createAppFont(titleFontHeight(), TRUE, 0, FALSE);
            SelectObject(dc, frame.titleFont);
            SetTextColor(dc, titleBlue);
            break;
        case versionControl:
        case hintControl:
            if (frame.smallFont == nullptr)
                frame.smallFont = createAppFont(isSmartphone == 1 ? 12 : 11, FALSE, 0, FALSE);
            SelectObject(dc, frame.smallFont);
            break;
        default: break;
    }
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

// The panel comes up for an edit field with word completion off, and goes down with
// the flags it had before when the field loses the focus.
void onEditFocus(DialogFrame& frame, HWND dialog, WORD notification) {
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
    if (notification == EN_SETFOCUS) {
        frame.savedSipFlags = sip.fdwFlags;
        sip.fdwFlags |= SIPF_DISABLECOMPLETION;
        SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
        SHSipPreference(dialog, SIP_UP);
    } else {
        sip.fdwFlags = frame.savedSipFlags;
        SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
        SHSipPreference(dialog, SIP_DOWN);
    }
}

bool onFrameCommand(DialogFrame& frame, HWND dialog, WORD id, WORD notification) {
    for (int i = 0; i < frame.editCount; ++i) {
        if (frame.edits[i] != id) continue;
        if (notification == EN_SETFOCUS || notification == EN_KILLFOCUS)
            onEditFocus(frame, dialog, notification);
        return true;
    }
    for (int i = 0; i < frame.clearCount; ++i) {
        if (frame.clears[i].button != id) continue;
        HWND field = GetDlgItem(dialog, frame.clears[i].field);
        SetWindowTextW(field, u"");
        SetFocus(field);
        return true;
    }
    return false;
}

void onFrameDestroy(DialogFrame& frame, HWND dialog) {
    if (frame.backKeyOverride) SHSipPreference(dialog, SIP_FORCEDOWN);
    if (frame.titleFont != nullptr) DeleteObject(frame.titleFont);
    if (frame.smallFont != nullptr) DeleteObject(frame.smallFont);
    frame.titleFont = frame.smallFont = nullptr;
}

// A hint whose words wrap to more lines than its box holds (the Smartphone's larger font,
// a narrow screen) would lose its last lines, which say what the owner must know. It
// grows to the dialog's width and down to the menu bar, the most it can have: the hint
// is the lowest text of every frame dialog. It is measured with the font its
// WM_CTLCOLORSTATIC answer selects, as the static draws it.
void fitHint(HWND dialog) {
    HWND hint = GetDlgItem(dialog, hintControl);
    if (hint == nullptr) return;
    RECT frame{}, box{};
    GetWindowRect(dialog, &frame);
    GetWindowRect(hint, &box);
    box.left -= frame.left;
    box.right -= frame.left;
    box.top -= frame.top;
    box.bottom -= frame.top;
    int bottom = frame.bottom - frame.top;
    if (HWND bar = SHFindMenuBar(dialog)) {
        RECT barRect{};
        GetWindowRect(bar, &barRect);
        bottom = std::min<int>(bottom, barRect.top - frame.top);
    }
    WCHAR text[512] = {};
    GetWindowTextW(hint, text, int(std::size(text)));
    HDC dc = GetDC(hint);  // a context of its own: the font selected here goes with it
    SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(hint));
    auto neededHeight = [&](int width) {
        RECT calc{0, 0, width, 0};
        DrawTextW(dc, text, -1, &calc, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
        return int(calc.bottom);
    };
    if (neededHeight(box.right - box.left) > box.bottom - box.top) {
        const int width = (frame.right - frame.left) - 2 * box.left;
        const int height = std::min(neededHeight(width), bottom - int(box.top));
        MoveWindow(hint, box.left, box.top, std::max(width, int(box.right - box.left)),
                   std::max(height, int(box.bottom - box.top)), FALSE);
    }
    ReleaseDC(hint, dc);
}

}  // namespace

void beginDialogFrame(HWND dialog, DialogFrame& frame) {
    frame.savedSipFlags = 0;
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = dialog;
    bar.nToolBarId = UINT(frame.menuBar);
    bar.hInstRes = appInstance;
    SHCreateMenuBar(&bar);
    if (frame.backKeyOverride)
        SendMessageW(SHFindMenuBar(dialog), SHCMBM_OVERRIDEKEY, VK_TBACK, backKeyOverride);
    SetWindowTextW(GetDlgItem(dialog, titleControl), u"ORVEN™");
    SetWindowTextW(GetDlgItem(dialog, versionControl), versionLine);
}

INT_PTR finishDialogFrame(HWND dialog) {
    SHINITDLGINFO info{};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&info);
    MoveWindow(dialog, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), FALSE);
    fitHint(dialog);
    return TRUE;
}

bool handleFrameMessage(DialogFrame& frame, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& result) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
            result = onControlColour(frame, reinterpret_cast<HDC>(wParam),
                                     reinterpret_cast<HWND>(lParam));
            return true;
        case WM_HOTKEY:
            if (!frame.backKeyOverride) return false;
            if (HIWORD(lParam) == VK_TBACK) SHSendBackToFocusWindow(message, wParam, lParam);
            result = FALSE;
            return true;
        case WM_DESTROY:
            onFrameDestroy(frame, dialog);  // and the dialog may still act on it
            return false;
        case WM_COMMAND:
            if (!onFrameCommand(frame, dialog, LOWORD(wParam), HIWORD(wParam))) return false;
            result = TRUE;
            return true;
        default: return false;
    }
}

bool isSaveCommand(WORD command) {
    return command == okCommand || command == saveCommand;
}

bool isTestCommand(WORD command) {
    return command == okCommand || command == testCommand;
}

bool isLeftKeyCommand(WORD command) {
    return command == cancelCommand || command == leftKeyCommand;
}

INT_PTR closeDialog(HWND dialog, WORD command) {
    SHSipPreference(dialog, SIP_FORCEDOWN);
    EndDialog(dialog, command);
    return TRUE;
}

void fillSpinList(HWND dialog, int list, int spinner, const WCHAR* const* items, int count,
                  int32_t position) {
    for (int i = 0; i < count; ++i)
        SendDlgItemMessageW(dialog, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
    SendDlgItemMessageW(dialog, spinner, UDM_SETRANGE, 0, MAKELPARAM(count - 1, 0));
    SendDlgItemMessageW(dialog, spinner, UDM_SETPOS, 0, MAKELPARAM(LOWORD(position), 0));
}

int32_t spinPosition(HWND dialog, int spinner) {
    return LOWORD(SendDlgItemMessageW(dialog, spinner, UDM_GETPOS, 0, 0));
}
