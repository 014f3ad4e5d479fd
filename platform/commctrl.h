// Common controls: InitCommonControlsEx and the up-down control ("msctls_updown32").
// Every control class is built in, so InitCommonControlsEx only checks its record.
#pragma once

#include "platform/window.h"

#define ICC_DATE_CLASSES 0x00000100
#define ICC_UPDOWN_CLASS 0x00000010

struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);

// ---- Up-down control
// Two arrows that step a position within a range. With a buddy list box (a one-line
// "spin list") the position is the list's selection: a step selects that item and
// sends LBN_SELCHANGE (from the list) to the parent. With a buddy edit and
// UDS_SETBUDDYINT the position is shown as the edit's decimal text.
#define UPDOWN_CLASSW u"msctls_updown32"
#define UD_MAXVAL 0x7fff
#define UD_MINVAL (-UD_MAXVAL)
#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_HORZ 0x0040
#define UDS_NOTHOUSANDS 0x0080
// lParam = MAKELONG(upper, lower).
#define UDM_SETRANGE (WM_USER + 101)
// Returns MAKELONG(upper, lower).
#define UDM_GETRANGE (WM_USER + 102)
// lParam = MAKELONG(position, 0); returns the previous position.
#define UDM_SETPOS (WM_USER + 103)
// Returns MAKELONG(position, 0); the high word is not 0 when the buddy's text is no
// number (edit buddies).
#define UDM_GETPOS (WM_USER + 104)
// wParam = the new buddy; returns the previous one.
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)
