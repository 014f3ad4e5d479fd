// The main screen's status text as the program holds it, for tests on the emulated phone.
#pragma once

#include <string>

#include "common/status_text.h"

inline std::u16string statusNow() {
    WCHAR text[statusTextSize];
    copyStatusText(text);
    return text;
}
