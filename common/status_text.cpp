// The status text: one lock around the whole text, so the GUI, GPS reader and radio
// threads each replace it whole and the painter copies it whole.
#include "common/status_text.h"

#include <cstdarg>
#include <mutex>

#include "common/program.h"

namespace {

std::mutex statusLock;
WCHAR statusText[statusTextSize];  // writers: GUI, GPS reader, radio notification thread

}  // namespace

void setStatusText(LPCWSTR text) {
    {
        std::lock_guard<std::mutex> hold(statusLock);
        lstrcpynW(statusText, text, statusTextSize);
    }
    InvalidateRect(mainWindow, nullptr, FALSE);
}

void formatStatusText(LPCWSTR format, ...) {
    // wsprintfW writes at most 1024 characters; the text keeps the first 259.
    WCHAR formatted[1024];
    va_list args;
    va_start(args, format);
    wvsprintfW(formatted, format, args);
    va_end(args);
    setStatusText(formatted);
}

void copyStatusText(WCHAR buffer[statusTextSize]) {
    std::lock_guard<std::mutex> hold(statusLock);
    lstrcpynW(buffer, statusText, statusTextSize);
}
