// Dialog boxes: DialogBoxParamW over the program's numbered templates, EndDialog and the
// dialog manager's helpers. (First cut: the declarations build; dialogs do not run yet.)
#include "platform/dialog.h"

#include "platform/text.h"

// ---- DialogBoxParamW
INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) {
    return -1;
}

// ---- EndDialog
BOOL EndDialog(HWND, INT_PTR) {
    return FALSE;
}

// ---- GetDlgItem
HWND GetDlgItem(HWND, int) {
    return nullptr;
}

// ---- GetDlgCtrlID
int GetDlgCtrlID(HWND control) {
    return GetWindowLongW(control, GWL_ID);
}

// ---- SendDlgItemMessageW
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(GetDlgItem(dialog, id), message, wParam, lParam);
}

// ---- SetDlgItemTextW
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    return SetWindowTextW(GetDlgItem(dialog, id), text);
}

// ---- GetDlgItemTextW
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
    return static_cast<UINT>(GetWindowTextW(GetDlgItem(dialog, id), text, maxCount));
}

// ---- SetDlgItemInt
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    WCHAR text[16];
    wsprintfW(text, isSigned ? u"%d" : u"%u", value);
    return SetDlgItemTextW(dialog, id, text);
}

// ---- GetDlgItemInt
UINT GetDlgItemInt(HWND, int, BOOL* translated, BOOL) {
    if (translated != nullptr) *translated = FALSE;
    return 0;
}

// ---- CheckDlgButton
BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, check, 0);
    return TRUE;
}

// ---- IsDlgButtonChecked
UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

// ---- GetNextDlgTabItem
HWND GetNextDlgTabItem(HWND, HWND, BOOL) {
    return nullptr;
}

// ---- GetDialogBaseUnits
LONG GetDialogBaseUnits() {
    return MAKELONG(6, 13);
}

// ---- MapDialogRect
BOOL MapDialogRect(HWND, LPRECT rect) {
    rect->left = rect->left * 6 / 4;
    rect->right = rect->right * 6 / 4;
    rect->top = rect->top * 13 / 8;
    rect->bottom = rect->bottom * 13 / 8;
    return TRUE;
}

// ---- DefDlgProcW
LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(dialog, message, wParam, lParam);
}
