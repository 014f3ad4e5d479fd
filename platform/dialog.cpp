// Dialog boxes: DialogBoxParamW over the program's numbered templates, EndDialog, the
// dialog manager's helpers (GetDlgItem, SendDlgItemMessageW, GetNextDlgTabItem,
// MapDialogRect, ...) and the dialog class's window procedure (DefDlgProcW).
//
// A dialog is a top-level window owned by its owner, with its controls as child
// windows placed in dialog units. Its modal loop is the GUI thread's ordinary
// GetMessageW loop, so the owner's timers, other threads' timer changes and repaints go
// on while it is open; taps on the owner are dropped, keys go to the focused control
// after the dialog manager has taken its own (Tab, Up, Down, Enter, Back). Relies on the
// window manager, the GDI, the controls and the shell's menu bars.
#include <vector>

#include "platform/controls_internal.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/msgbox.h"
#include "platform/resource.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

using namespace orven;

struct DialogState {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HFONT font = nullptr;  // the template's font, owned by the dialog
    int baseX = 6, baseY = 13;
    HWND captured = nullptr;  // the control a tap went down on
};

DialogState* dialogState(HWND hwnd) {
    auto window = wm::find(hwnd);
    if (!window || window->className != u"#32770" || !window->extra) return nullptr;
    return static_cast<DialogState*>(window->extra.get());
}

int mulDiv(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

// Dialog base units of a font: the average width of the alphabet and the cell height.
void baseUnitsOf(HFONT font, int& x, int& y) {
    HDC dc = GetDC(nullptr);
    SelectObject(dc,
                 font != nullptr ? reinterpret_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    static const char16_t alphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    GetTextExtentPoint32W(dc, alphabet, 52, &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    ReleaseDC(nullptr, dc);
    x = (size.cx / 26 + 1) / 2;
    y = metrics.tmHeight;
    if (x <= 0) x = 6 * gui::uiScale();  // no font file: the system font's usual units
    if (y <= 0) y = 13 * gui::uiScale();
}

RECT toPixels(const DialogState& d, int x, int y, int cx, int cy) {
    return RECT{mulDiv(x, d.baseX, 4), mulDiv(y, d.baseY, 8), mulDiv(x + cx, d.baseX, 4),
                mulDiv(y + cy, d.baseY, 8)};
}

// The template's font: its point size on the emulated screen's 96 (VGA: 192) dots per
// inch; "System" and every other face resolve as CreateFontIndirectW resolves them.
HFONT templateFont(const resources::Dialog& tpl) {
    if ((tpl.style & DS_SETFONT) == 0 || tpl.pointSize <= 0) return nullptr;
    LOGFONTW font{};
    font.lfHeight = -mulDiv(tpl.pointSize, 96 * gui::uiScale(), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, tpl.faceName != nullptr ? tpl.faceName : u"System", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

std::vector<HWND> childrenOf(HWND dialog) {
    std::vector<HWND> children;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (w->parent == dialog && !w->destroying) children.push_back(wm::handleOf(*w));
    });
    return children;
}

void createControls(HWND dialog, DialogState& d, const resources::Dialog& tpl, HINSTANCE instance) {
    for (int i = 0; i < tpl.itemCount; ++i) {
        const resources::DialogItem& item = tpl.items[i];
        LPCWSTR className = controls::canonicalClass(item.className);
        if (className == nullptr) {
            internal::trace("dialog %d: control %d has an unknown class", tpl.id, item.id);
            continue;
        }
        bool icon = className == controls::staticClass && (item.style & SS_TYPEMASK) == SS_ICON;
        LPCWSTR title =
            icon || (item.text != nullptr && IS_INTRESOURCE(item.text)) ? nullptr : item.text;
        RECT r = toPixels(d, item.x, item.y, item.cx, item.cy);
        HWND control = CreateWindowExW(0, className, title, item.style | WS_CHILD, r.left, r.top,
                                       r.right - r.left, r.bottom - r.top, dialog,
                                       reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)),
                                       instance, nullptr);
        if (control == nullptr) continue;
        if (icon && item.text != nullptr)
            SendMessageW(control, STM_SETICON,
                         reinterpret_cast<WPARAM>(LoadIconW(instance, item.text)), 0);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(d.font), FALSE);
    }
}

// The newest shown, enabled child under a point of the dialog's client area.
HWND childAt(HWND dialog, int x, int y) {
    RECT origin;
    GetWindowRect(dialog, &origin);
    x += origin.left;
    y += origin.top;
    HWND found = nullptr;
    std::lock_guard<std::mutex> hold(wm::loopLock());
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (w->parent != dialog || !w->visible || w->destroying || w->disabled) return;
        if (x >= w->rect.left && x < w->rect.right && y >= w->rect.top && y < w->rect.bottom)
            found = wm::handleOf(*w);
    });
    return found;
}

// A tap on the dialog goes to the control under it, in the control's coordinates; its
// release goes where it went down.
void forwardTap(HWND dialog, DialogState* d, UINT message, WPARAM wParam, LPARAM lParam) {
    if (d == nullptr) return;
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    HWND target = message == WM_LBUTTONDOWN ? childAt(dialog, x, y) : d->captured;
    d->captured = message == WM_LBUTTONDOWN ? target : nullptr;
    if (target == nullptr) return;
    RECT dialogRect, controlRect;
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(target, &controlRect);
    SendMessageW(
        target, message, wParam,
        MAKELPARAM(x + dialogRect.left - controlRect.left, y + dialogRect.top - controlRect.top));
}

bool isColourRequest(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

LRESULT defaultDialog(HWND hwnd, DialogState* d, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(hwnd, &client);
            auto brush = reinterpret_cast<HBRUSH>(
                controls::dialogProc(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
            FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP: forwardTap(hwnd, d, message, wParam, lParam); return 0;
        case WM_CLOSE: PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); return 0;
        case DM_GETDEFID: return MAKELONG(IDOK, DC_HASDEFID);
        case WM_NEXTDLGCTL: {
            HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                       : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
            if (next != nullptr) SetFocus(next);
            return 0;
        }
        case WM_DESTROY:
            if (d != nullptr && d->font != nullptr) {
                DeleteObject(d->font);
                d->font = nullptr;
            }
            return 0;
        default:
            if (isColourRequest(message)) {
                SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
                SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
                return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ---- Keys while the dialog is open
void moveFocus(HWND dialog, bool previous) {
    if (HWND next = GetNextDlgTabItem(dialog, GetFocus(), previous ? TRUE : FALSE)) SetFocus(next);
}

// Back: reported to the dialog as WM_HOTKEY when its menu bar was asked to, and closing
// the dialog (IDCANCEL) unless the bar was told to drop the default.
void backKey(HWND dialog, bool down) {
    DWORD flags = gui::menuBarKeyOverride(dialog, VK_TBACK);
    if (flags & SHMBOF_NOTIFY)
        SendMessageW(dialog, WM_HOTKEY, 0, MAKELPARAM(down ? 0 : MOD_KEYUP, VK_TBACK));
    if ((flags & SHMBOF_NODEFAULT) == 0 && down)
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

bool isButton(HWND hwnd) {
    return hwnd != nullptr && controls::isClass(hwnd, controls::buttonClass);
}

// A control that scrolls with the arrows keeps them (WM_GETDLGCODE).
bool wantsArrows(HWND control) {
    return control != nullptr && (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_WANTARROWS);
}

void dialogKey(HWND dialog, MSG msg) {
    HWND focus = GetFocus();
    if (focus != nullptr && !IsChild(dialog, focus)) focus = nullptr;
    if (msg.message == WM_KEYDOWN) {
        switch (msg.wParam) {
            case VK_TAB: moveFocus(dialog, GetKeyState(VK_SHIFT) < 0); return;
            case VK_DOWN:
            case VK_UP:
                if (wantsArrows(focus)) break;
                moveFocus(dialog, msg.wParam == VK_UP);
                return;
            case VK_ESCAPE: backKey(dialog, true); return;
            case VK_RETURN:
                if (!isButton(focus)) {
                    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
                    return;
                }
                break;
            default: break;
        }
    } else if (msg.message == WM_KEYUP && msg.wParam == VK_ESCAPE) {
        backKey(dialog, false);
        return;
    } else if (msg.message == WM_CHAR &&
               (msg.wParam == u'\t' || msg.wParam == u'\r' || msg.wParam == 0x1B)) {
        return;  // the keys above already acted
    }
    msg.hwnd = focus != nullptr ? focus : dialog;
    DispatchMessageW(&msg);
}

bool isKeyMessage(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR;
}

bool isTapMessage(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP;
}

// Runs the dialog's loop; false when WM_QUIT ended it.
bool runDialogLoop(HWND dialog, HWND owner, const std::shared_ptr<DialogState>& d) {
    MSG msg;
    while (!d->ended && IsWindow(dialog)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
            return false;
        }
        if (isKeyMessage(msg.message) && !IsChild(dialog, msg.hwnd)) {
            dialogKey(dialog, msg);
            continue;
        }
        if (isTapMessage(msg.message) && owner != nullptr &&
            (msg.hwnd == owner || IsChild(owner, msg.hwnd)))
            continue;  // the owner takes no input while its dialog is open
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

namespace orven::controls {

// ---- The dialog class's window procedure
// The dialog procedure sees every message first; what it leaves (FALSE) gets the
// default. For colour requests and WM_INITDIALOG its answer is the result; for other
// messages it handled, DWL_MSGRESULT.
LRESULT CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* d = dialogState(hwnd);
    if (d != nullptr && d->proc != nullptr) {
        SetWindowLongW(hwnd, DWL_MSGRESULT, 0);
        INT_PTR answer = d->proc(hwnd, message, wParam, lParam);
        if (message == WM_INITDIALOG) return answer;
        if (isColourRequest(message)) {
            if (answer != 0) return answer;
        } else if (answer != 0) {
            return GetWindowLongW(hwnd, DWL_MSGRESULT);
        }
    }
    return defaultDialog(hwnd, d, message, wParam, lParam);
}

}  // namespace orven::controls

// ---- DefDlgProcW
LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultDialog(dialog, dialogState(dialog), message, wParam, lParam);
}

// ---- DialogBoxParamW
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM initParam) {
    const resources::Dialog* tpl =
        IS_INTRESOURCE(templateName) ? resources::findDialog(LOWORD(templateName)) : nullptr;
    return DialogBoxIndirectParamW(instance, tpl, owner, proc, initParam);
}

// ---- DialogBoxIndirectParamW
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tpl, HWND owner, DLGPROC proc,
                                LPARAM initParam) {
    controls::registerClasses();
    if (tpl == nullptr) return -1;
    auto d = std::make_shared<DialogState>();
    d->proc = proc;
    d->font = templateFont(*tpl);
    baseUnitsOf(d->font, d->baseX, d->baseY);
    RECT r = toPixels(*d, tpl->x, tpl->y, tpl->cx, tpl->cy);
    int width = r.right - r.left, height = r.bottom - r.top;
    RECT ownerRect{};
    if (owner != nullptr) GetWindowRect(owner, &ownerRect);
    int x = ownerRect.left + r.left, y = ownerRect.top + r.top;
    if (tpl->style & DS_CENTER) {
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    HWND dialog = CreateWindowExW(0, WC_DIALOG, tpl->caption,
                                  (tpl->style & ~(WS_VISIBLE | WS_CHILD)) | WS_POPUP, x, y, width,
                                  height, owner, nullptr, instance, nullptr);
    if (dialog == nullptr) {
        if (d->font != nullptr) DeleteObject(d->font);
        return -1;
    }
    if (auto window = wm::find(dialog)) window->extra = d;
    internal::trace("DialogBox %d hwnd=%#lx", tpl->id,
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(dialog)));
    createControls(dialog, *d, *tpl, instance);
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam) &&
        first != nullptr && !d->ended)
        SetFocus(first);
    if (!d->ended && IsWindow(dialog)) ShowWindow(dialog, SW_SHOW);
    runDialogLoop(dialog, owner, d);
    INT_PTR result = d->ended ? d->result : 0;
    if (IsWindow(dialog)) {
        // The focused control hears that it loses the focus while the dialog still lives.
        if (HWND focus = GetFocus(); focus == dialog || IsChild(dialog, focus)) SetFocus(nullptr);
        DestroyWindow(dialog);
    }
    if (owner != nullptr && GetForegroundWindow() == nullptr && IsWindowVisible(owner))
        SetForegroundWindow(owner);
    internal::trace("DialogBox %d ended result=%ld", tpl->id, static_cast<long>(result));
    return result;
}

// ---- EndDialog
// The loop ends once the current message is handled.
BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogState* d = dialogState(dialog);
    if (d == nullptr) return FALSE;
    d->ended = true;
    d->result = result;
    PostMessageW(dialog, WM_NULL, 0, 0);  // wakes the loop if it waits
    return TRUE;
}

// ---- GetDlgItem
HWND GetDlgItem(HWND dialog, int id) {
    std::lock_guard<std::mutex> hold(wm::loopLock());
    HWND found = nullptr;
    wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
        if (found == nullptr && w->parent == dialog && w->controlId == id && !w->destroying)
            found = wm::handleOf(*w);
    });
    return found;
}

// ---- GetDlgCtrlID
int GetDlgCtrlID(HWND control) {
    return GetWindowLongW(control, GWL_ID);
}

// ---- SendDlgItemMessageW
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageW(control, message, wParam, lParam) : 0;
}

// ---- SetDlgItemTextW
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    return SetWindowTextW(GetDlgItem(dialog, id), text);
}

// ---- GetDlgItemTextW
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (maxCount > 0) text[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(control, text, maxCount));
}

// ---- SetDlgItemInt
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    WCHAR text[16];
    if (isSigned)
        wsprintfW(text, u"%d", static_cast<int>(value));
    else
        wsprintfW(text, u"%u", value);
    return SetDlgItemTextW(dialog, id, text);
}

// ---- GetDlgItemInt
// Blanks before the number are skipped; anything after its digits makes it no number.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    WCHAR text[32];
    GetDlgItemTextW(dialog, id, text, 32);
    LPCWSTR p = text;
    while (*p == u' ') ++p;
    bool negative = isSigned && *p == u'-';
    if (negative) ++p;
    long long value = 0;
    bool digits = false;
    for (; *p >= u'0' && *p <= u'9'; ++p, digits = true) value = value * 10 + (*p - u'0');
    while (*p == u' ') ++p;
    bool ok = digits && *p == 0 && value <= (isSigned ? 0x7FFFFFFFLL : 0xFFFFFFFFLL);
    if (translated != nullptr) *translated = ok ? TRUE : FALSE;
    if (!ok) return 0;
    return static_cast<UINT>(negative ? -value : value);
}

// ---- CheckDlgButton
BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

// ---- IsDlgButtonChecked
UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

// ---- GetNextDlgTabItem
// Among the shown, enabled children with WS_TABSTOP, in creation (template) order.
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> stops;
    for (HWND child : childrenOf(dialog)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED))
            stops.push_back(child);
    }
    if (stops.empty()) return nullptr;
    size_t count = stops.size();
    for (size_t i = 0; i < count; ++i)
        if (stops[i] == control) return stops[previous ? (i + count - 1) % count : (i + 1) % count];
    return previous ? stops.back() : stops.front();
}

// ---- GetDialogBaseUnits
LONG GetDialogBaseUnits() {
    int x, y;
    baseUnitsOf(nullptr, x, y);
    return MAKELONG(x, y);
}

// ---- MapDialogRect
BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    DialogState* d = dialogState(dialog);
    if (d == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{mulDiv(rect->left, d->baseX, 4), mulDiv(rect->top, d->baseY, 8),
                 mulDiv(rect->right, d->baseX, 4), mulDiv(rect->bottom, d->baseY, 8)};
    return TRUE;
}
