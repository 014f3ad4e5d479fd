// The emergency procedure's timers outside the receiver search: the start-up sequence
// with its first-start questions and the hardware button's start, the position found,
// the first and the repeated sends, the confirmation alarm and the volume restore.
// Everything here runs on the GUI thread inside the main window procedure.
#include "app/emergency_procedure.h"

#include "alert/alert_message.h"
#include "alert/confirmation_watcher.h"
#include "app/main_window.h"
#include "app/receiver_search.h"
#include "app/startup.h"
#include "common/alert_permission.h"
#include "common/gps_state.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/gps_port.h"
#include "settings/app_settings.h"

namespace {

// Message box styles of the main window.
constexpr UINT questionStyle = MB_YESNO | MB_ICONEXCLAMATION;  // 0x34
constexpr UINT noticeStyle = MB_OK | MB_ICONEXCLAMATION;       // 0x30
constexpr UINT errorStyle = MB_OK | MB_ICONHAND;               // 0x10

bool anyAlertNumberSet() {
    return usableNumber(appSettings.alertNumber1) || usableNumber(appSettings.alertNumber2);
}

// Failed sends since the last successful one (GUI thread only). A send that fails is
// tried again a minute later, until as many attempts in a row have failed as the owner
// asked for sends: the owner must never be left believing help is being called when
// nothing went out.
uint32_t failedSendsInARow = 0;
// Whether the series under way began as a test (GUI thread only). A confirmation clears
// testMode, possibly just before timer 6 runs: the test's series must still end after its
// one message, and never go on to the alert numbers.
bool testSeries = false;

uint32_t sendLimit() {
    return static_cast<uint32_t>(alertSendLimit(appSettings.alertsNumber));
}

// One attempt: on success timer 6 follows; a failure says so on the screen at once and
// either schedules the retry on timer 7 or, at the end of the attempts, ends the series.
// A test alert is tried once.
void sendOrRetry(HWND window) {
    const uint32_t confirmationsBefore = confirmationCount.load();
    if (sendAlert()) {
        failedSendsInARow = 0;
        SetTimer(window, afterSendTimer, afterSendMs, nullptr);
        return;
    }
    // Confirmed while this send was under way: timer 8 ends the series, and the screen
    // keeps saying who confirmed.
    if (confirmationCount.load() != confirmationsBefore) {
        failedSendsInARow = 0;
        return;
    }
    ++failedSendsInARow;
    if (testMode.load() == 0 && failedSendsInARow < sendLimit()) {
        setStatusText(u"Alert NOT sent yet\nTrying again in 1 minute...");
        SetTimer(window, repeatSendTimer, repeatSendMs, nullptr);
        return;
    }
    failedSendsInARow = 0;
    setStatusText(u"Alert could NOT be sent!\nCheck the phone and try again.");
}

void showPositionStatus(LPCWSTR secondLineFormat) {
    GpsFix fix = copyGpsFix();
    formatStatusText(secondLineFormat, fix.lastFixTime.wHour, fix.lastFixTime.wMinute,
                     fix.latitudeText, fix.longitudeText);
}

// The first-start questions: the settings were never saved, or no receiver is known.
// A Yes starts a receiver search from port 0 that will not send an alert.
void askFirstStartQuestions(HWND window) {
    HKEY key = nullptr;
    int answer = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, 0, &key) != ERROR_SUCCESS) {
        key = nullptr;
        // Spelling and wording as the owner has always seen them; keep them.
        answer = MessageBoxW(mainWindow,
                             u"This program is starting the first time. It has to find GPS "
                             u"Receiver, and check position correctly.\n\nIf you have GPS Rx "
                             u"connected or built-in already, do you want to process?",
                             mainWindowTitle, questionStyle);
    } else if (appSettings.gpsPortNumber.load() < 0) {
        // Spelling and wording as the owner has always seen them; keep them.
        answer = MessageBoxW(mainWindow,
                             u"This program is starting without GPS Receiver checked. It has to "
                             u"find GPS Receiver, and check position correctly.\n\nIf you have "
                             u"GPS Rx connected or built-in already, do you want to process?",
                             mainWindowTitle, questionStyle);
    }
    if (answer == IDYES) {
        gpsState.searchState.store(searching);
        setSearchSendsAlert(false);
        scanFromFirstPort(window);
    }
    if (key != nullptr) RegCloseKey(key);
}

}  // namespace

void refreshClockSnapshot() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    setClockSnapshot(now);
}

void beginEmergencyProcedure(HWND window) {
    if (!anyAlertNumberSet()) {
        // Spelling and wording as the owner has always seen them; keep them.
        MessageBoxW(mainWindow,
                    u"No alert message will send!\n\nYou have to set at least one alert number.",
                    mainWindowTitle, errorStyle);
        return;
    }
    setStatusText(u"Begin emergency procedure\nimmediately");
    playCue(procedureBeginsCue, false);
    SetTimer(window, procedureStartTimer, procedureStartMs, nullptr);
}

// Timer 1, 500 ms after creation: full screen again, the confirmation watcher, and the
// first-start questions unless the start came from the hardware button.
void onStartupTimer(HWND window) {
    KillTimer(window, startupTimer);
    RECT bar{};
    GetWindowRect(menuBar, &bar);
    MoveWindow(window, 0, 0, GetSystemMetrics(SM_CXSCREEN),
               GetSystemMetrics(SM_CYSCREEN) - (bar.bottom - bar.top), FALSE);
    SHFullScreen(window, SHFS_HIDETASKBAR | SHFS_HIDESTARTICON);
    InvalidateRect(window, nullptr, TRUE);
    DWORD threadId = 0;
    if (HANDLE thread = CreateThread(nullptr, 0, radioThread, nullptr, 0, &threadId))
        CloseHandle(thread);
    if (appSettings.hardwareTest == 0 && launchedWithAlert == 0) askFirstStartQuestions(window);
    InvalidateRect(window, nullptr, FALSE);
    SetTimer(window, startupEndTimer, startupEndMs, nullptr);
}

// Timer 11: cue 1; a start by the hardware button either confirms the button (right
// after it was assigned) or begins the procedure.
void onStartupEndTimer(HWND window) {
    KillTimer(window, startupEndTimer);
    playCue(startupCue, false);
    if (launchedWithAlert == 1 && appSettings.hardwareTest == 1) {
        // Spelling and wording as the owner has always seen them; keep them.
        MessageBoxW(mainWindow,
                    u"This message confirms, that your hardware button works correctly with "
                    u"this program.\n\nThe next time, when you use this button, this program "
                    u"will process with alert message immediately!",
                    mainWindowTitle, noticeStyle);
        appSettings.hardwareTest = 0;
        saveSettings();
    } else if (launchedWithAlert == 1) {
        beginEmergencyProcedure(window);
    }
}

// Timer 5: the position is found. The receiver is needed for this one fix only. Only a
// position the procedure searched for, or the one the alert-sending test handed over,
// may send; any other (the first-start question's, the receiver test's) is only shown,
// also while a test alert is still pending.
void onPositionFoundTimer(HWND window) {
    KillTimer(window, positionFoundTimer);
    playCue(positionFoundCue, true);
    const int32_t mode = testMode.load();
    const bool maySend = searchSendsAlert();
    if (mode == 0 || !maySend) {
        if (mode == 0 && anyAlertNumberSet() && maySend) {
            // Spelling and wording as the owner has always seen them; keep them.
            showPositionStatus(u"Position found at %02d:%02d\nAlert is sending away...");
            SetTimer(window, firstSendTimer, firstSendMs, nullptr);
        } else {
            showPositionStatus(u"Position found at %02d:%02d\n%s %s");
        }
    }
    WCHAR number[testNumberSize];
    copyTestNumber(number);
    // Spelling and wording as the owner has always seen them; keep them.
    if (mode >= 2 && maySend && usableNumber(number)) {
        showPositionStatus(u"Position found at %02d:%02d\nAlert is sending away...");
        SetTimer(window, firstSendTimer, firstSendMs, nullptr);
    }
    // The search is over: a check still pending (the alert-sending test can hand its
    // position over while the search runs) must not open the next port.
    KillTimer(window, scanTimer);
    KillTimer(window, knownPortTimer);
    setSearchSendsAlert(false);
    gpsState.searchState.store(searchIdle);
    gpsPortClose();
}

// Timer 55: the first send of a series.
void onFirstSendTimer(HWND window) {
    KillTimer(window, firstSendTimer);
    failedSendsInARow = 0;
    testSeries = testMode.load() != 0;
    playCue(sendingCue, false);
    sendOrRetry(window);
}

// Timer 6: cue 8 after every successful send, then the next send in a minute while
// fewer than the owner's count have gone out. A test alert is sent once.
void onAfterSendTimer(HWND window) {
    KillTimer(window, afterSendTimer);
    playCue(sentCue, false);
    if (!testSeries && testMode.load() == 0 && alertsSent.load() < sendLimit())
        SetTimer(mainWindow, repeatSendTimer, repeatSendMs, nullptr);
}

// Timer 7: a repeated send, or the retry of a failed one (which the count of earlier
// series does not hold back).
void onRepeatSendTimer(HWND window) {
    KillTimer(window, repeatSendTimer);
    if (failedSendsInARow == 0 && alertsSent.load() >= sendLimit()) return;
    playCue(sendingCue, false);
    sendOrRetry(window);
}

// Timer 8: the alert was confirmed. From now on replies and calls are ignored; cue 9
// sounds now and every 30 s until the owner touches the screen or releases a key.
// Timer 6 is stopped too: a send that went out while the confirmation arrived must not
// schedule another one after it.
void onAlarmTimer(HWND window) {
    KillTimer(window, repeatSendTimer);
    KillTimer(window, alarmTimer);
    KillTimer(window, afterSendTimer);
    // The first alarm after a confirmation also ends a search for the alert that the
    // owner started again meanwhile: help has answered, and the screen keeps saying who.
    if (alertsSent.load() != 0) {
        alertsSent.store(0);
        endAlertSearch(window);
        showConfirmationAgain();
    }
    playCue(alarmCue, false);
    SetTimer(mainWindow, alarmTimer, alarmRepeatMs, nullptr);
}

// Timer 111: the volume an asynchronous cue raised goes back.
void onVolumeRestoreTimer(HWND window) {
    KillTimer(window, volumeRestoreTimer);
    restoreSavedVolume();
}
