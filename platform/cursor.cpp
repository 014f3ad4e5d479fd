// Cursors: the system's arrow and busy cursors as handles that name them, and the cursor
// currently shown. The phone shows the busy cursor as a spinning wheel over the screen;
// here the choice is traced ("SetCursor wait" / "SetCursor none") for tests and the
// trace file. Any thread.
#include <atomic>

#include "platform/internal.h"
#include "platform/window.h"

namespace {

constexpr uintptr_t arrowCursor = 32512;
constexpr uintptr_t waitCursor = 32514;

std::atomic<HCURSOR> shown{nullptr};

const char* nameOf(HCURSOR cursor) {
    switch (reinterpret_cast<uintptr_t>(cursor)) {
        case 0: return "none";
        case arrowCursor: return "arrow";
        case waitCursor: return "wait";
        default: return "other";
    }
}

}  // namespace

// ---- LoadCursorW
// Only the system's cursors exist (no instance); each handle names its cursor.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    if (instance != nullptr || !IS_INTRESOURCE(name)) return nullptr;
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (id != arrowCursor && id != waitCursor) return nullptr;
    return reinterpret_cast<HCURSOR>(id);
}

// ---- SetCursor
HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = shown.exchange(cursor);
    orven::internal::trace("SetCursor %s", nameOf(cursor));
    return previous;
}
