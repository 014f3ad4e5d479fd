// Dialog boxes and the standard controls: DialogBoxParamW over the program's numbered
// dialog templates, the dialog manager's helpers (GetDlgItem, SendDlgItemMessageW, ...)
// and the messages, styles and notifications of the static, edit, list box and button
// controls. The up-down control is in platform/commctrl.h, the shell's dialog helpers
// (SHInitDialog, the input panel) in platform/shell.h.
#pragma once

#include "platform/resource.h"
#include "platform/window.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// ---- Dialog styles (the template's style word)
#define DS_ABSALIGN 0x0001L
#define DS_SYSMODAL 0x0002L
#define DS_3DLOOK 0x0004L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_SETFOREGROUND 0x0200L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L

// ---- Dialog messages and window data
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define DWL_MSGRESULT 0
#define DWL_DLGPROC 4
#define DWL_USER 8

#define IDC_STATIC (-1)

// Class atoms of the predefined controls, as a template may give them.
#define WC_BUTTON_ATOM 0x0080
#define WC_EDIT_ATOM 0x0081
#define WC_STATIC_ATOM 0x0082
#define WC_LISTBOX_ATOM 0x0083

// The dialog class ("#32770").
#define WC_DIALOG MAKEINTRESOURCEW(0x8002)

// ---- Static controls
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_BITMAP 0x0000000EL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L
#define STM_SETICON 0x0170
#define STM_GETICON 0x0171
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define STN_CLICKED 0

// ---- Edit controls
#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_UPPERCASE 0x0008L
#define ES_LOWERCASE 0x0010L
#define ES_PASSWORD 0x0020L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NOHIDESEL 0x0100L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_SCROLL 0x00B5
#define EM_LINESCROLL 0x00B6
#define EM_GETLINECOUNT 0x00BA
#define EM_REPLACESEL 0x00C2
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_GETFIRSTVISIBLELINE 0x00CE
#define EM_SETREADONLY 0x00CF
#define EM_GETLIMITTEXT 0x00D5
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define EN_MAXTEXT 0x0501
// EM_SCROLL's actions.
#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
// WM_GETDLGCODE: the keys a control keeps from the dialog manager.
#define DLGC_WANTARROWS 0x0001

// ---- List boxes
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define LBS_HASSTRINGS 0x0040L
#define LBS_NOINTEGRALHEIGHT 0x0100L
#define LB_OKAY 0
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)
#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_RESETCONTENT 0x0184
#define LB_SETCURSEL 0x0186
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_FINDSTRINGEXACT 0x01A2
#define LBN_ERRSPACE (-2)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SELCANCEL 3
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5

// ---- Buttons
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define BS_LEFTTEXT 0x00000020L
#define BS_CENTER 0x00000300L
#define BS_NOTIFY 0x00004000L
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008
#define BN_CLICKED 0
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7

// ---- Dialog boxes
// Runs a modal dialog from the program's template `templateName` (a number made with
// MAKEINTRESOURCEW): creates the dialog and its controls, sends WM_SETFONT to each
// control and WM_INITDIALOG (lParam = initParam) to `dialogProc`, shows it and runs a
// modal loop until EndDialog. The owner's timers keep firing meanwhile; the owner gets
// no input. Returns the value given to EndDialog, -1 when the template does not exist.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
// The same from a template in memory.
typedef const orven::resources::Dialog* LPCDLGTEMPLATEW;
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
#define DialogBoxW(instance, templateName, owner, dialogProc) \
    DialogBoxParamW(instance, templateName, owner, dialogProc, 0)
// Ends the modal loop once the current message is handled; the dialog is destroyed
// before DialogBoxParamW returns `result`.
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// The next (or previous) control with WS_TABSTOP after `control`, wrapping.
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// Dialog base units of the system font: average character width in the low word,
// character height in the high word. One horizontal dialog unit is a quarter of the
// width, one vertical unit an eighth of the height.
LONG GetDialogBaseUnits();
// Converts a rectangle in dialog units to pixels with the dialog's own font.
BOOL MapDialogRect(HWND dialog, LPRECT rect);
LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Resources by type (dialog templates)
#define RT_DIALOG MAKEINTRESOURCEW(5)
ORVEN_DECLARE_HANDLE(HRSRC);
typedef void* HGLOBAL;
// A dialog template's resource: LockResource gives its orven::resources::Dialog.
HRSRC FindResourceW(HINSTANCE instance, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
