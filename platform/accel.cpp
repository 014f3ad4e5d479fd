// Accelerators and icons: LoadAcceleratorsW, TranslateAcceleratorW, LoadIconW and
// DestroyIcon over the program's resource directory.
#include "platform/internal.h"
#include "platform/resource.h"

namespace {

using namespace orven;

constexpr uintptr_t iconTag = 0x7C000000;  // icon handles: tag | resource number

}  // namespace

// ---- LoadAcceleratorsW
HACCEL LoadAcceleratorsW(HINSTANCE, LPCWSTR tableName) {
    if (!IS_INTRESOURCE(tableName)) return nullptr;
    const resources::Directory& directory = resources::programResources();
    for (int i = 0; i < directory.acceleratorCount; ++i)
        if (directory.accelerators[i].id == LOWORD(tableName))
            return reinterpret_cast<HACCEL>(
                const_cast<resources::AcceleratorTable*>(&directory.accelerators[i]));
    return nullptr;
}

// ---- TranslateAcceleratorW
// A key press that matches an entry (with Ctrl, Shift and Alt exactly as the entry
// asks) becomes WM_COMMAND with the entry's command and 1 in the high word.
int TranslateAcceleratorW(HWND hwnd, HACCEL table, LPMSG msg) {
    if (table == nullptr || hwnd == nullptr || msg->message != WM_KEYDOWN) return 0;
    auto* accelerators = reinterpret_cast<const resources::AcceleratorTable*>(table);
    bool control = GetKeyState(VK_CONTROL) < 0;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool alt = GetKeyState(VK_MENU) < 0;
    for (int i = 0; i < accelerators->count; ++i) {
        const ACCEL& entry = accelerators->entries[i];
        if (!(entry.fVirt & FVIRTKEY) || entry.key != msg->wParam) continue;
        if (control != ((entry.fVirt & FCONTROL) != 0) || shift != ((entry.fVirt & FSHIFT) != 0) ||
            alt != ((entry.fVirt & FALT) != 0))
            continue;
        internal::trace("accelerator command=%u", entry.cmd);
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
        return 1;
    }
    return 0;
}

// ---- LoadIconW
HICON LoadIconW(HINSTANCE, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    const resources::Directory& directory = resources::programResources();
    for (int i = 0; i < directory.iconCount; ++i)
        if (directory.icons[i].id == LOWORD(name))
            return reinterpret_cast<HICON>(iconTag | LOWORD(name));
    return nullptr;
}

// ---- DestroyIcon
BOOL DestroyIcon(HICON icon) {
    return (reinterpret_cast<uintptr_t>(icon) & 0xFF000000) == iconTag ? TRUE : FALSE;
}
