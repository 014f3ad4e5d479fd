// Start-up and single instance. A second start of the program does not open a second
// window: it brings the running one forward, plays cue 1 and, when its command line
// asks for an alert, starts the emergency procedure there one second later.
#include "app/startup.h"

#include "app/main_window.h"
#include "common/sound_cues.h"
#include "common/timers.h"
#include "resources/resource_ids.h"

DWORD launchedWithAlert = 0;

namespace {

constexpr int startupCue = 1;

}  // namespace

// The executable's folder: everything up to and including the last backslash (the
// whole text becomes "\" when the path has none).
void fillAppFolder() {
    GetModuleFileNameW(nullptr, appFolder, MAX_PATH);
    int last = 0;
    for (int i = 0; appFolder[i] != 0; ++i)
        if (appFolder[i] == u'\\') last = i;
    appFolder[last] = u'\\';
    appFolder[last + 1] = 0;
}

ATOM registerMainClass(HINSTANCE instance, LPCWSTR className) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(programIconResource));
    wc.hCursor = nullptr;
    wc.hbrBackground = static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH)));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = className;
    return RegisterClassW(&wc);
}

bool startInstance(HINSTANCE instance, int showCommand, LPCWSTR commandLine) {
    appInstance = instance;
    HWND running = FindWindowW(mainClassName, mainWindowTitle);
    // Any "a" anywhere asks for an alert: "-a" matches because it holds the letter.
    if (commandLine != nullptr && StrStrW(commandLine, u"a") != nullptr) launchedWithAlert = 1;

    if (running != nullptr) {
        SetForegroundWindow(withOwnedWindows(running));
        fillAppFolder();
        playCue(startupCue, false);
        if (launchedWithAlert == 1)
            SetTimer(running, procedureStartTimer, procedureStartMs, nullptr);
        return false;
    }

    registerMainClass(instance, mainClassName);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExW(0, mainClassName, mainWindowTitle, WS_VISIBLE, 0, 0, width,
                                  height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return false;
    MoveWindow(window, 0, 0, width, height, FALSE);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON);
    InvalidateRect(window, nullptr, TRUE);
    mainWindow = window;
    return true;
}

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    if (!startInstance(instance, showCommand, commandLine)) return 0;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(mainAcceleratorsResource));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (TranslateAcceleratorW(msg.hwnd, accelerators, &msg) == 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
