// The phone's shell library: full-screen control, the soft-key menu bar, activation
// and setting-change handling, the input panel preference, and the tray icons of
// Shell_NotifyIcon.
#pragma once

#include "platform/window.h"

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

BOOL SHFullScreen(HWND hwnd, DWORD state);

// ---- Soft-key menu bars
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;  // the menu bar resource
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;  // out: the bar's window
    DWORD clrBk;
};
// The record's cbSize on the phone, whose handles are 32 bits (ours may be wider).
constexpr DWORD sizeofSHMENUBARINFO = 36;

// The bar's keys are the device's soft keys; a key (or a tap on its half of the bar)
// posts the key's command to the parent as WM_COMMAND.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);
HWND SHFindMenuBar(HWND parent);

#define SHCMBM_OVERRIDEKEY (WM_USER + 403)
#define SHMBOF_NODEFAULT 0x00000001
#define SHMBOF_NOTIFY 0x00000002
#define VK_TBACK 0x1B
#define VK_TSOFT1 0x70
#define VK_TSOFT2 0x71

// ---- Activation
struct SHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp : 1;
    UINT fSipOnDeactivation : 1;
    UINT fActive : 1;
    UINT fReserved : 29;
};
constexpr DWORD sizeofSHACTIVATEINFO = 12;  // cbSize on the phone (32-bit handles)

BOOL SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);
BOOL SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);

// ---- Input panel
enum SIPSTATE { SIP_UP = 0, SIP_DOWN, SIP_FORCEDOWN, SIP_UNCHANGED, SIP_INPUTDIALOG };
BOOL SHSipPreference(HWND hwnd, SIPSTATE state);

// ---- Tray icons
#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

struct NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[64];
};
constexpr DWORD sizeofNOTIFYICONDATAW = 152;  // cbSize on the phone (32-bit handles)

// The emulated shell shows its desktop, with the tray icons in its top bar, while no
// window of the program is shown; a tap on an icon sends the icon's callback message
// to its window (wParam the icon's id, lParam WM_LBUTTONDOWN, then WM_LBUTTONUP).
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);
#define Shell_NotifyIcon Shell_NotifyIconW
typedef NOTIFYICONDATAW NOTIFYICONDATA;
