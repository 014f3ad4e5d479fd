// Common controls. Every control class the program uses is built in, so there is
// nothing to load: the call only checks its record.
#include "platform/commctrl.h"

// ---- InitCommonControlsEx
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    return controls != nullptr && controls->dwSize == sizeofINITCOMMONCONTROLSEX ? TRUE : FALSE;
}
