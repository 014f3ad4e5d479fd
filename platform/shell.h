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

BOOL SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);
BOOL SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);

// ---- Dialogs
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};

// Sizes the dialog to the screen (SHIDIF_SIZEDLGFULLSCREEN, SHIDIF_FULLSCREENNOMENUBAR) or
// to the screen above its menu bar and the input panel (SHIDIF_SIZEDLG), and lowers the
// input panel for SHIDIF_SIPDOWN. The emulated screen has no title bar, so
// SHIDIF_DONEBUTTON only records the wish.
BOOL SHInitDialog(SHINITDLGINFO* info);

// Hands a WM_HOTKEY of the Back key (high word of lParam VK_TBACK) to the window with the
// keyboard focus: on the press an edit control erases the character before its caret.
void SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam);

// ---- Input panel
// An on-screen keypad over the bottom of the screen, above the menu bar; tapping its keys
// types into the window with the focus.
enum SIPSTATE { SIP_UP = 0, SIP_DOWN, SIP_FORCEDOWN, SIP_UNCHANGED, SIP_INPUTDIALOG };
BOOL SHSipPreference(HWND hwnd, SIPSTATE state);

#define SPI_SETSIPINFO 224
#define SPI_GETSIPINFO 225
#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004
#define SIPF_DISABLECOMPLETION 0x00000008

struct SIPINFO {
    DWORD cbSize;
    DWORD fdwFlags;
    RECT rcVisibleDesktop;  // the screen above the panel (and the menu bar)
    RECT rcSipRect;         // the panel, on the screen
    DWORD dwImDataSize;
    void* pvImData;
};

// SPI_GETSIPINFO fills a SIPINFO (cbSize must be set); SPI_SETSIPINFO takes its
// fdwFlags: SIPF_ON raises the panel, its absence lowers it, the other flags are kept
// and read back as given. uiParam and fWinIni are ignored.
BOOL SHSipInfo(UINT action, UINT param, void* data, UINT winIni);

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

// The emulated shell shows its desktop, with the tray icons in its top bar, while no
// window of the program is shown; a tap on an icon sends the icon's callback message
// to its window (wParam the icon's id, lParam WM_LBUTTONDOWN, then WM_LBUTTONUP).
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);
#define Shell_NotifyIcon Shell_NotifyIconW
typedef NOTIFYICONDATAW NOTIFYICONDATA;
