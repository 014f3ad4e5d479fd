// A test's own program on the emulated phone: one white 240x320 window in front that
// receives what the platform sends it (commands, menus, message boxes, soft keys), and
// a message loop. The test supplies the window procedure for the messages it watches and
// passes everything else to ownerDefault.
#pragma once

#include "platform/windows.h"

namespace ownertest {

// Painting (the class brush erases: the window is white), the end of the loop on
// destruction, and the default handling of everything else.
inline LRESULT ownerDefault(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Registers `proc` as `className`, opens the window in front (into `window`), arms
// timer `tickTimer` every 100 ms unless it is 0, and runs the message loop until the
// window is destroyed. Returns the loop's exit code.
inline int runOwnerWindow(WNDPROC proc, LPCWSTR className, HWND& window, UINT_PTR tickTimer = 0) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    wc.hbrBackground = static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH)));
    RegisterClassW(&wc);
    window = CreateWindowExW(0, className, u"owner", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                             nullptr, nullptr);
    SetForegroundWindow(window);
    if (tickTimer != 0) SetTimer(window, tickTimer, 100, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace ownertest
