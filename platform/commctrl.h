// Common controls: InitCommonControlsEx. The controls themselves come with the dialogs
// that use them.
#pragma once

#include "platform/win_types.h"

#define ICC_DATE_CLASSES 0x00000100
#define ICC_UPDOWN_CLASS 0x00000010

struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
constexpr DWORD sizeofINITCOMMONCONTROLSEX = 8;  // dwSize
static_assert(sizeof(INITCOMMONCONTROLSEX) == sizeofINITCOMMONCONTROLSEX, "the phone's layout");

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);
