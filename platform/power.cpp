// Power management: the idle-timer reset and synthesized key events.
//
// Relies on trace.cpp only. On the phone both keep the device from going to sleep. A
// synthesized key is not passed on as input here: the program sends a silent Shift press
// and release when its GPS reader ends, and delivered as WM_KEYUP it would wipe the status
// text the program has just shown ("GPS Rx lost ...") and silence the alarm, which key
// releases do.
#include "platform/power.h"

#include "platform/internal.h"

// ---- keybd_event
void keybd_event(BYTE virtualKey, BYTE, DWORD flags, UINT_PTR) {
    orven::internal::trace("keybd_event vk=%#x flags=%#x", static_cast<unsigned>(virtualKey),
                           static_cast<unsigned>(flags));
}

// ---- SystemIdleTimerReset
void SystemIdleTimerReset() {
    orven::internal::trace("SystemIdleTimerReset");
}
