// The main window. Creation finds the program's folder and loads the settings; the
// destroy handler plays the closing cue and ends the message loop. Command 1 (Ctrl+Q)
// closes the program; timer 111 puts back the volume an asynchronous cue raised.
#include "app/main_window.h"

#include "app/receiver_search.h"
#include "app/sound_cues.h"
#include "app/startup.h"
#include "settings/app_settings.h"

namespace {

constexpr UINT_PTR volumeRestoreTimer = 111;
constexpr int closingCue = 111;
constexpr WORD closeCommand = 1;

LRESULT onCreate() {
    fillAppFolder();
    loadSettings();
    readSavedVolume();
    return 0;
}

// The screen itself is drawn with the main screen; until then the window is its white
// class background.
void onPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

void onTimer(HWND window, UINT_PTR id) {
    switch (id) {
    case volumeRestoreTimer:
        KillTimer(window, volumeRestoreTimer);
        restoreSavedVolume();
        break;
    case 1111: onProcedureStartTimer(window); break;
    case 2: onScanTimer(window); break;
    case 3: onKnownPortTimer(window); break;
    case 4: onReceiverLostTimer(window); break;
    case 44: onPositionMissedTimer(window); break;
    }
}

void onDestroy() {
    playCue(closingCue, false);
    PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate();
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_TIMER:
        onTimer(window, wParam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == closeCommand) {
            SendMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_DESTROY:
        onDestroy();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
