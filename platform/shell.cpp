// The shell library of the emulated phone. The emulated screen has no task bar, input
// panel button or start icon, so SHFullScreen only records what was asked.
#include "platform/shell.h"

#include "platform/internal.h"

// ---- SHFullScreen
BOOL SHFullScreen(HWND hwnd, DWORD state) {
    orven::internal::trace("SHFullScreen hwnd=%#lx state=%#x",
                           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd)),
                           static_cast<unsigned>(state));
    return hwnd != nullptr ? TRUE : FALSE;
}
