// Menus: menus loaded from the program's resources or built at run time, popup menus
// tracked modally (with owner-drawn items), and the records of owner drawing.
#pragma once

#include "platform/gdi.h"

// Menu item flags.
#define MF_BYCOMMAND 0x00000000
#define MF_STRING 0x00000000
#define MF_GRAYED 0x00000001
#define MF_DISABLED 0x00000002
#define MF_CHECKED 0x00000008
#define MF_POPUP 0x00000010
#define MF_OWNERDRAW 0x00000100
#define MF_BYPOSITION 0x00000400
#define MF_SEPARATOR 0x00000800

// TrackPopupMenuEx flags.
#define TPM_LEFTALIGN 0x0000
#define TPM_CENTERALIGN 0x0004
#define TPM_RIGHTALIGN 0x0008
#define TPM_TOPALIGN 0x0000
#define TPM_VCENTERALIGN 0x0010
#define TPM_BOTTOMALIGN 0x0020
#define TPM_NONOTIFY 0x0080
#define TPM_RETURNCMD 0x0100

// Owner drawing.
#define ODT_MENU 1
#define ODA_DRAWENTIRE 0x0001
#define ODA_SELECT 0x0002
#define ODA_FOCUS 0x0004
#define ODS_SELECTED 0x0001
#define ODS_GRAYED 0x0002
#define ODS_DISABLED 0x0004
#define ODS_CHECKED 0x0008
#define ODS_FOCUS 0x0010

struct MEASUREITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemWidth;
    UINT itemHeight;
    UINT_PTR itemData;
};

struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;  // for menus: the menu's handle
    HDC hDC;
    RECT rcItem;
    UINT_PTR itemData;
};

struct TPMPARAMS {
    UINT cbSize;
    RECT rcExclude;
};

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name);
HMENU CreatePopupMenu();
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuItemCount(HMENU menu);
// The command of the item at a position; (UINT)-1 for submenus and bad positions.
UINT GetMenuItemID(HMENU menu, int position);
// `position` (UINT)-1 with MF_BYPOSITION appends. For MF_OWNERDRAW items `newItem` is
// the item's data, passed back in the measure and draw records.
BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem);
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem);
// Destroys the menu and its submenus.
BOOL DestroyMenu(HMENU menu);
// Shows the popup at (x, y) (screen coordinates; the flags say which corner sits
// there) and runs a modal loop until an item is chosen or the menu is dismissed. The
// chosen command is posted to `owner` as WM_COMMAND, or returned with TPM_RETURNCMD.
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, TPMPARAMS* params);
