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

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);
