// The main window: a full-screen window with the skin, the status of the emergency
// procedure and a bottom bar with "Alert now!" on the left and "Menu" on the right.
// Creation (folder, settings, platform facts, tray icon, skin, start-up timers), keeping
// the window in front, the owner's taps and keys, the commands of the popup menu, hiding
// to the tray and the orderly end. The procedure's timers are handled in
// emergency_procedure.cpp and receiver_search.cpp.
#include "app/main_window.h"

#include "alert/alert_message.h"
#include "alert/confirmation_watcher.h"
#include "app/emergency_procedure.h"
#include "app/main_screen.h"
#include "app/manual_page.h"
#include "app/receiver_search.h"
#include "app/startup.h"
#include "common/platform_facts.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/gps_port.h"
#include "platform/commctrl.h"
#include "resources/resource_ids.h"
#include "selftest/alert_test_dialog.h"
#include "selftest/gps_test_dialog.h"
#include "settings/app_settings.h"
#include "settings/settings_dialogs.h"

HWND menuBar = nullptr;
HICON trayIcon = nullptr;
SHACTIVATEINFO shellActivateInfo;
DWORD hiddenByUser = 0;

namespace {

int screenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}
int screenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

int menuBarHeight() {
    RECT bar{};
    if (menuBar == nullptr || !GetWindowRect(menuBar, &bar)) return 0;
    return bar.bottom - bar.top;
}

HWND createMenuBar(HWND window) {
    SHMENUBARINFO info{};
    info.cbSize = sizeofSHMENUBARINFO;
    info.hwndParent = window;
    info.dwFlags = 0;
    info.nToolBarId = mainMenuBarResource;
    info.hInstRes = appInstance;
    info.nBmpId = 0;
    info.cBmpImages = 0;
    return SHCreateMenuBar(&info) ? info.hwndMB : nullptr;
}

BOOL setTrayIcon(HWND window, DWORD action, UINT id, HICON icon, LPCWSTR tip) {
    NOTIFYICONDATA data{};
    data.cbSize = sizeofNOTIFYICONDATAW;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = trayCallbackMessage;
    data.hIcon = icon;
    if (tip != nullptr) lstrcpynW(data.szTip, tip, sizeof data.szTip / sizeof data.szTip[0]);
    return Shell_NotifyIcon(action, &data);
}

// The popup menu with "Hide (minimize)" and the owner-drawn exit item appended, its lower
// right corner at (x, y) in client coordinates.
void showMainMenu(HWND window, int x, int y) {
    HMENU menu = LoadMenuW(appInstance, MAKEINTRESOURCEW(mainMenuResource));
    if (menu == nullptr) return;
    HMENU popup = GetSubMenu(menu, 0);
    InsertMenuW(popup, static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, hideCommand,
                u"Hide (minimize)");
    InsertMenuW(popup, static_cast<UINT>(-1), MF_BYPOSITION | MF_OWNERDRAW, exitCommand, nullptr);
    SetForegroundWindow(window);
    POINT corner{x, y};
    ClientToScreen(window, &corner);
    TrackPopupMenuEx(popup, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, corner.x, corner.y, window, nullptr);
    DestroyMenu(menu);
    PostMessageW(window, WM_NULL, 0, 0);
}

void showMenuAboveBar(HWND window) {
    showMainMenu(window, screenWidth() - 11, screenHeight() - bottomBarHeight(screenWidth()));
}

LRESULT onCreate(HWND window) {
    fillAppFolder();
    menuBar = createMenuBar(window);
    if (menuBar == nullptr) return 0;
    MoveWindow(menuBar, 0, 0, 0, 0, FALSE);
    shellActivateInfo = SHACTIVATEINFO{};
    shellActivateInfo.cbSize = sizeofSHACTIVATEINFO;
    loadSettings();
    INITCOMMONCONTROLSEX controls{sizeofINITCOMMONCONTROLSEX, ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    WCHAR platformType[260] = {};
    SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platformType, platformType, 0);
    isSmartphone = lstrcmpiW(platformType, u"Smartphone") == 0 ? 1 : 0;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeofOSVERSIONINFOW;
    GetVersionExW(&version);
    osMajorVersion = version.dwMajorVersion;
    int iconSize = isSmartphone ? 22 : 16;
    trayIcon = static_cast<HICON>(LoadImageW(appInstance, MAKEINTRESOURCEW(programIconResource),
                                             IMAGE_ICON, iconSize, iconSize, 0));
    setTrayIcon(window, NIM_ADD, trayIconId, trayIcon, mainWindowTitle);
    skinBitmap = static_cast<HBITMAP>(
        LoadImageW(appInstance, MAKEINTRESOURCEW(skinBitmapResource), IMAGE_BITMAP, 0, 0, 0));
    MoveWindow(window, 0, 0, screenWidth(), screenHeight() - menuBarHeight(), FALSE);
    SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESTARTICON);
    InvalidateRect(window, nullptr, TRUE);
    readSavedVolume();
    SetTimer(window, startupTimer, startupMs, nullptr);
    SetTimer(window, clockTickTimer, clockTickMs, nullptr);
    return 0;
}

void onDestroy(HWND window) {
    playCue(closingCue, false);
    // The other timers end with the window.
    for (UINT_PTR id :
         {startupTimer, scanTimer, knownPortTimer, receiverLostTimer, positionFoundTimer,
          afterSendTimer, startupEndTimer, volumeRestoreTimer, procedureStartTimer, clockTickTimer})
        KillTimer(mainWindow, id);
    SHSipPreference(window, SIP_FORCEDOWN);
    SHSipPreference(window, SIP_DOWN);
    setTrayIcon(window, NIM_DELETE, trayIconId, nullptr, nullptr);
    DestroyIcon(trayIcon);
    DestroyWindow(menuBar);
    if (skinBitmap != nullptr) DeleteObject(skinBitmap);
    trayIcon = nullptr;
    menuBar = nullptr;
    skinBitmap = nullptr;
    if (smsHandle != 0) {
        SmsClose(smsHandle);
        smsHandle = 0;
    }
    gpsShutdown();
    RIL_Deinitialize(rilHandle.load());
    SHFullScreen(window, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON | SHFS_SHOWSTARTICON);
    PostQuitMessage(0);
}

// The window keeps the foreground unless the owner hid it.
void onActivate(HWND window, WPARAM wParam, LPARAM lParam) {
    SHHandleWMActivate(window, wParam, lParam, &shellActivateInfo, 0);
    if (LOWORD(wParam) != WA_INACTIVE) {
        MoveWindow(window, 0, 0, screenWidth(), screenHeight(), FALSE);
        SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON);
        InvalidateRect(window, nullptr, TRUE);
    } else if (hiddenByUser == 0) {
        SetForegroundWindow(withOwnedWindows(window));
    }
}

// A tap clears the status and, on the bottom bar, opens the menu (right half) or starts
// the procedure (left half); W/2 itself belongs to neither. Any tap silences the alarm.
void onTap(HWND window, LPARAM lParam) {
    if (isSmartphone == 0) {
        int x = LOWORD(lParam), y = HIWORD(lParam);
        int width = screenWidth(), height = screenHeight();
        int bar = bottomBarHeight(width);
        setStatusText(u"");
        if (x > width / 2 && y > height - bar)
            showMainMenu(window, width - 11, height - bar);
        else if (x < width / 2 && y > height - bar)
            beginEmergencyProcedure(window);
    }
    KillTimer(mainWindow, alarmTimer);
}

// Home, '6', 'B' and numeric-pad 6: the Smartphone's exit keys.
bool isSmartphoneExitKey(WPARAM key) {
    return key == VK_HOME || key == '6' || key == 'B' || key == VK_NUMPAD6;
}

void onKeyUp(HWND window, WPARAM key) {
    setStatusText(u"");
    KillTimer(mainWindow, alarmTimer);
    if (isSmartphone != 0 && isSmartphoneExitKey(key)) SendMessageW(window, WM_CLOSE, 0, 0);
}

// A modal dialog from its template; afterwards the input panel is forced down and the
// taskbar, input panel button and start icon are hidden again.
void runDialog(HWND window, int templateId, DLGPROC procedure) {
    DialogBoxParamW(appInstance, MAKEINTRESOURCEW(templateId), window, procedure, 0);
    SHSipPreference(window, SIP_FORCEDOWN);
    SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON);
}

// Only with a button assigned: the next start by that button will confirm it.
void startHardwareButtonTest(HWND window) {
    if (appSettings.hardwareKey[0] == 0) return;
    appSettings.hardwareTest = 1;
    saveSettings();
    SendMessageW(window, WM_CLOSE, 0, 0);
}

// Returns false for a command the window does not handle.
bool onCommand(HWND window, WORD command) {
    switch (command) {
        case closeCommand:
        case exitCommand: SendMessageW(window, WM_CLOSE, 0, 0); return true;
        case hideCommand:
            hiddenByUser = 1;
            ShowWindow(window, SW_MINIMIZE);
            return true;
        case alertNumbersCommand:
            runDialog(window, alertNumbersDialogResource, alertNumbersDialogProc);
            return true;
        case hardwareKeysCommand:
            runDialog(window, hardwareKeysDialogResource, hardwareKeysDialogProc);
            return true;
        case ownerDetailsCommand:
            runDialog(window, ownerDetailsDialogResource, ownerDetailsDialogProc);
            return true;
        case gpsTestCommand:
            runDialog(window, gpsTestDialogResource, gpsTestDialogProc);
            return true;
        case alertTestCommand:
            runDialog(window, alertTestDialogResource, alertTestDialogProc);
            return true;
        case helpCommand: runDialog(window, manualDialogResource, manualPageProc); return true;
        case leftSoftKeyCommand: beginEmergencyProcedure(window); return true;
        case rightSoftKeyCommand: showMenuAboveBar(window); return true;
        case hardwareButtonTestCommand: startHardwareButtonTest(window); return true;
        default: return false;
    }
}

void onTimer(HWND window, UINT_PTR id) {
    refreshClockSnapshot();
    switch (id) {
        case startupTimer: onStartupTimer(window); break;
        case startupEndTimer: onStartupEndTimer(window); break;
        case procedureStartTimer:
            closeManualPage();  // the main screen shows the alert
            onProcedureStartTimer(window);
            break;
        case scanTimer: onScanTimer(window); break;
        case knownPortTimer: onKnownPortTimer(window); break;
        case receiverLostTimer: onReceiverLostTimer(window); break;
        case positionMissedTimer: onPositionMissedTimer(window); break;
        case positionFoundTimer: onPositionFoundTimer(window); break;
        case firstSendTimer: onFirstSendTimer(window); break;
        case afterSendTimer: onAfterSendTimer(window); break;
        case repeatSendTimer: onRepeatSendTimer(window); break;
        case alarmTimer:
            closeManualPage();  // the answer shows, and a tap can silence the alarm
            onAlarmTimer(window);
            break;
        case volumeRestoreTimer: onVolumeRestoreTimer(window); break;
        default: break;  // 11111: the clock tick only refreshes the snapshot
    }
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return onCreate(window);
        case WM_DESTROY: onDestroy(window); return 0;
        case WM_ACTIVATE: onActivate(window, wParam, lParam); return 0;
        case WM_SETTINGCHANGE:
            SHHandleWMSettingChange(window, wParam, lParam, &shellActivateInfo);
            return 0;
        case WM_PAINT: paintMainScreen(window); return 0;
        case WM_MEASUREITEM:
            measureExitItem(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
            return 0;
        case WM_DRAWITEM: drawExitItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return 0;
        case trayCallbackMessage:
            hiddenByUser = 0;
            SetForegroundWindow(withOwnedWindows(window));
            return 0;
        case WM_LBUTTONDOWN: onTap(window, lParam); return 0;
        case WM_KEYUP: onKeyUp(window, wParam); return 0;
        case WM_TIMER: onTimer(window, wParam); return 0;
        case WM_COMMAND:
            if (onCommand(window, LOWORD(wParam))) return 0;
            return DefWindowProcW(window, message, wParam, lParam);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
