// The settings dialogs' templates, in dialog units of the 8-point "System" font. Each is
// a borderless pop-up without caption that the dialog frame enlarges to the whole
// screen, and begins with the frame's header: the program icon, the title (1006) and
// the version line (1005). The up-down controls follow their list boxes, which they
// take as their buddies.
#include "resources/dialog_templates.h"

#include "platform/commctrl.h"
#include "platform/windows.h"

namespace {

using orven::resources::Dialog;
using orven::resources::DialogItem;

constexpr DWORD dialogStyle = WS_POPUP | DS_SETFONT;
constexpr DWORD label = SS_LEFT | SS_NOPREFIX | WS_VISIBLE;
constexpr DWORD hint = SS_LEFT | WS_VISIBLE;
constexpr DWORD editField = WS_BORDER | WS_TABSTOP | WS_VISIBLE;  // no horizontal scrolling
constexpr DWORD spinList = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_TABSTOP;
constexpr DWORD spinner =
    UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_HORZ | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS;
constexpr DWORD pushButton = BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE;
constexpr DWORD checkBox = BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE;
constexpr int pointSize = 8;

const Dialog* templates() {
    const LPCWSTR icon = MAKEINTRESOURCEW(103);
    static const DialogItem alertNumbers[] = {
        {u"static", -1, icon, SS_ICON | WS_VISIBLE, 4, 4, 20, 20},
        {u"static", 1006, u"", label, 29, 4, 104, 12},
        {u"static", 1005, u"", label, 29, 15, 104, 10},
        {u"static", -1, u"1st Alert nr:", label, 4, 27, 43, 10},
        {u"edit", 1003, u"", editField | ES_NUMBER | ES_AUTOHSCROLL, 48, 26, 39, 12},
        {u"button", 1008, u"C", pushButton, 88, 26, 9, 12},
        {u"static", -1, u"2nd Alert nr:", label, 4, 42, 44, 10},
        {u"edit", 1004, u"", editField | ES_NUMBER, 48, 41, 39, 12},
        {u"button", 1012, u"C", pushButton, 88, 41, 9, 12},
        {u"static", -1, u"Nr of alerts:", label, 4, 57, 44, 10},
        {u"listbox", 1007, u"", spinList | WS_VISIBLE, 48, 56, 39, 12},
        {UPDOWN_CLASSW, 1010, u"", spinner | WS_VISIBLE, 67, 55, 17, 12},
        {u"static", -1, u"Auto-answering allowed:", label, 4, 72, 85, 10},
        {u"button", 1011, u"", checkBox, 89, 71, 18, 12},
        {u"static", 1009, u"Clear, if you don't want to use.", hint, 4, 86, 101, 8},
    };
    static const DialogItem hardwareKeys[] = {
        {u"static", -1, icon, SS_ICON | WS_VISIBLE, 4, 4, 20, 20},
        {u"static", 1006, u"", label, 29, 4, 95, 12},
        {u"static", 1005, u"", label, 29, 15, 93, 10},
        {u"listbox", 1002, u"", spinList | WS_VISIBLE, 47, 25, 50, 12},
        {UPDOWN_CLASSW, 1001, u"", spinner | WS_VISIBLE, 90, 25, 17, 12},
        {u"static", -1, u"Activate by:", label, 4, 26, 41, 13},
        {u"listbox", 1003, u"", spinList, 83, 66, 14, 12},
        {UPDOWN_CLASSW, 1004, u"", spinner, 90, 66, 17, 12},
        {u"listbox", 1007, u"", spinList, 84, 53, 13, 12},
        {UPDOWN_CLASSW, 1010, u"", spinner, 90, 53, 17, 12},
        {u"static", 1009,
         u"Please note:\nthis function depends from your\ndevice and operating system.\n\n"
         u"When you will use this button\nfor the first time,\nit will only test, without the "
         u"alert.",
         hint, 4, 47, 101, 47},
    };
    static const DialogItem ownerDetails[] = {
        {u"static", -1, icon, SS_ICON | WS_VISIBLE, 4, 4, 20, 20},
        {u"static", 1006, u"", label, 29, 4, 104, 12},
        {u"static", 1005, u"", label, 29, 15, 104, 10},
        {u"static", -1, u"First name:", label, 4, 27, 39, 11},
        {u"edit", 1003, u"", editField, 52, 25, 45, 12},
        {u"static", -1, u"Family name:", label, 4, 42, 47, 8},
        {u"edit", 1004, u"", editField, 52, 40, 45, 12},
        {u"static", -1, u"Sex && age:", SS_LEFT | WS_VISIBLE, 4, 57, 41, 11},
        {u"listbox", 1007, u"", spinList | WS_VISIBLE, 52, 55, 31, 12},
        {UPDOWN_CLASSW, 1010, u"", spinner | WS_VISIBLE, 70, 55, 17, 12},
        {u"edit", 1011, u"", editField | ES_NUMBER, 84, 55, 13, 12},
        {u"static", -1, u"Blood type:", label, 4, 72, 41, 11},
        {u"listbox", 1002, u"", spinList | WS_VISIBLE, 52, 70, 45, 12},
        {UPDOWN_CLASSW, 1001, u"", spinner | WS_VISIBLE, 90, 70, 17, 12},
        {u"static", 1009, u"Clear, if you don't want to use.", hint, 4, 86, 101, 8},
    };
    static const Dialog dialogs[] = {
        {106, dialogStyle, u"", 0, 0, 137, 110, pointSize, u"System", alertNumbers,
         int(std::size(alertNumbers))},
        {107, dialogStyle, u"", 0, 0, 211, 107, pointSize, u"System", hardwareKeys,
         int(std::size(hardwareKeys))},
        {109, dialogStyle, u"", 0, 0, 137, 107, pointSize, u"System", ownerDetails,
         int(std::size(ownerDetails))},
    };
    return dialogs;
}

}  // namespace

namespace orven::resources {

const Dialog* dialogTemplates() {
    return templates();
}

int dialogTemplateCount() {
    return 3;
}

}  // namespace orven::resources
