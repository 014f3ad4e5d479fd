// The GPS receiver test dialog: the receiver search on the dialog's own timers, its
// progress in the status line 1012, the last sentence and the satellite counts in 1009
// while the position is awaited, and "Localization found" when it is there.
#include "selftest/gps_test_dialog.h"

#include "common/alert_permission.h"
#include "common/gps_state.h"
#include "common/sound_cues.h"
#include "gps/gps_port.h"
#include "gps/nmea_parser.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "settings/dialog_frame.h"

int32_t gpsTestRunning = 0;

namespace {

// The dialog's own timers.
constexpr UINT_PTR positionWatchTimer = 1;
constexpr UINT_PTR portCheckTimer = 2;
constexpr UINT_PTR rememberedPortTimer = 3;
constexpr UINT positionWatchMs = 1000;
constexpr UINT portOpenedMs = 7500;  // time an opened port has to show a receiver
constexpr UINT portFailedMs = 500;   // next step after a port that did not open
constexpr DWORD betweenPortsMs = 500;
constexpr int32_t lastPortNumber = 9;  // the search covers COM0 to COM9
constexpr int portNameSize = 16;
constexpr int explanationSize = 512;
constexpr COLORREF red = RGB(255, 0, 0);
constexpr int scanCue = 2;     // the search starts from COM0
constexpr int connectCue = 3;  // the remembered port is tried

// Menu bar 110, no Back key override, no edit field.
DialogFrame frame{testMenuBarResource, false, nullptr, 0, nullptr, 0};

// What the dialog remembers while it is open (one test dialog at a time: it is modal).
WCHAR explanation[explanationSize];  // 1009 as the template has it, put back at the fix
WCHAR shownSentence[lastSentenceSize];
// Whether the link is this dialog's: from a start until the position is found, or until
// the emergency procedure takes the receiver over. Closing the dialog stops only a
// search of its own, never the procedure's.
bool ownsSearch = false;

void setStatusLine(HWND dialog, LPCWSTR format, ...) {
    WCHAR text[128];
    va_list args;
    va_start(args, format);
    wvsprintfW(text, format, args);
    va_end(args);
    SetDlgItemTextW(dialog, gpsTestStatusControl, text);
}

// Whether the open port has shown a receiver. The reader empties lastSentence before
// each wait for data, so the flag it sets is the usual sign.
bool receiverAnswered() {
    return lastSentenceContains(u"$GP") || gpsState.receiverFound.load() == 1;
}

void stopSearchTimers(HWND dialog) {
    KillTimer(dialog, portCheckTimer);
    KillTimer(dialog, rememberedPortTimer);
}

// Opens "COM%d:" with gpsPortNumber and arms checkTimer for 7.5 s; when the port does not
// open, closes the link and checks again (the next port) after 0.5 s.
void tryPort(HWND dialog, UINT_PTR checkTimer) {
    WCHAR portName[portNameSize];
    wsprintfW(portName, u"COM%d:", appSettings.gpsPortNumber.load());
    if (gpsPortOpen(portName)) {
        SetTimer(dialog, checkTimer, portOpenedMs, nullptr);
        return;
    }
    gpsPortClose();
    SetTimer(dialog, portCheckTimer, portFailedMs, nullptr);
}

void searchFromFirstPort(HWND dialog) {
    playCue(scanCue, false);
    appSettings.gpsPortNumber.store(0);
    setStatusLine(dialog, u"Searching GPS Rx\nin port COM%d...", 0);
    tryPort(dialog, portCheckTimer);
}

// "TEST": only while no search runs. A search under way, or this dialog's own test that
// found no receiver (until the dialog is closed), refuses it. Any other search that found
// no receiver (the procedure's, the first-start question's) is over: it must not keep the
// owner from testing the receiver, so its last port, left open, is closed first, and its
// reader can no longer announce a receiver in the middle of this start.
void startTest(HWND dialog) {
    const int32_t state = gpsState.searchState.load();
    const bool otherSearchGaveUp = state == noReceiverFound && !ownsSearch;
    if (state != searchIdle && !otherSearchGaveUp) return;
    if (otherSearchGaveUp) gpsPortClose();
    setStatusLine(dialog, u"Wait...");
    SetTimer(dialog, positionWatchTimer, positionWatchMs, nullptr);
    gpsTestRunning = 1;
    gpsState.searchState.store(1);
    ownsSearch = true;
    shownSentence[0] = 0;
    // Whatever search came before, the position this one finds is only shown.
    setSearchSendsAlert(false);
    const int32_t port = appSettings.gpsPortNumber.load();
    if (port < 0) {
        searchFromFirstPort(dialog);
        return;
    }
    playCue(connectCue, false);
    setStatusLine(dialog, u"Connecting GPS Rx\nin port COM%d...", port);
    tryPort(dialog, rememberedPortTimer);
}

// The emergency procedure started its own search meanwhile (a second start asking for
// an alert): the receiver is the procedure's now, and this dialog lets go of it.
bool procedureTookOver(HWND dialog) {
    if (!ownsSearch || !searchSendsAlert()) return false;
    ownsSearch = false;
    gpsTestRunning = 0;
    KillTimer(dialog, positionWatchTimer);
    stopSearchTimers(dialog);
    return true;
}

void onPortCheckTimer(HWND dialog) {
    KillTimer(dialog, portCheckTimer);
    if (procedureTookOver(dialog)) return;
    if (receiverAnswered()) {
        gpsState.searchState.store(3);
        storePortNumber();
        return;
    }
    if (appSettings.gpsPortNumber.load() >= lastPortNumber) {
        setStatusLine(dialog, u"GPS Rx wasn't found\nin any serial port.");
        gpsState.searchState.store(2);
        appSettings.gpsPortNumber.store(-1);  // in memory only: the registry keeps its port
        gpsPortClose();
        // Repainted now, in red: gpsPortNumber went below 0 after the text was set.
        InvalidateRect(GetDlgItem(dialog, gpsTestStatusControl), nullptr, TRUE);
        return;
    }
    gpsPortClose();
    const int32_t next = appSettings.gpsPortNumber.load() + 1;
    appSettings.gpsPortNumber.store(next);
    Sleep(betweenPortsMs);
    setStatusLine(dialog, u"Searching GPS Rx\nin port COM%d...", next);
    tryPort(dialog, portCheckTimer);
}

void onRememberedPortTimer(HWND dialog) {
    KillTimer(dialog, rememberedPortTimer);
    if (procedureTookOver(dialog)) return;
    if (receiverAnswered()) {
        gpsState.searchState.store(3);
        storePortNumber();
        return;
    }
    searchFromFirstPort(dialog);
}

void onPositionWatchTimer(HWND dialog) {
    if (procedureTookOver(dialog)) return;
    if (gpsState.receiverFound.load() != 1) return;
    // The receiver answers: the search is over (the reader stops only the main window's
    // search timers), so no pending check may close this port and move on.
    stopSearchTimers(dialog);
    if (gpsState.rmcStatus.load() == 1 || gpsState.fixQuality.load() != 0) {
        const GpsFix fix = copyGpsFix();
        WCHAR latitude[positionTextSize], longitude[positionTextSize];
        formatLatitude(fix.latitude, latitude);
        formatLongitude(fix.longitude, longitude);
        setStatusLine(dialog, u"Localization found:\n%s %s", latitude, longitude);
        SetDlgItemTextW(dialog, hintControl, explanation);
        KillTimer(dialog, positionWatchTimer);
        gpsState.searchState.store(0);
        gpsPortClose();
        gpsTestRunning = 0;
        ownsSearch = false;
        return;
    }
    setStatusLine(dialog, u"GPS Rx in port COM%d\nAwaiting for position...",
                  appSettings.gpsPortNumber.load());
    // The reader empties lastSentence before each wait for data: the last sentence seen
    // stays shown until the next one comes.
    WCHAR sentence[lastSentenceSize];
    copyLastSentence(sentence);
    if (sentence[0] != 0) lstrcpynW(shownSentence, sentence, lastSentenceSize);
    WCHAR text[lastSentenceSize + 32];
    wsprintfW(text, u"%s\nSatellites: %d/%d", shownSentence, gpsState.satellitesInView.load(),
              gpsState.satellitesUsed.load());
    SetDlgItemTextW(dialog, hintControl, text);
}

INT_PTR closeTest(HWND dialog, WORD command) {
    KillTimer(dialog, positionWatchTimer);
    stopSearchTimers(dialog);
    if (ownsSearch) {
        gpsState.searchState.store(0);
        gpsPortClose();
        ownsSearch = false;
    }
    return closeDialog(dialog, command);
}

}  // namespace

bool gpsTestHoldsLink() {
    // A search of the procedure's own (it may send) always belongs to the procedure, also
    // in the second before this dialog's position watch notices that it took over.
    return ownsSearch && !searchSendsAlert();
}

INT_PTR CALLBACK gpsTestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            beginDialogFrame(dialog, frame);
            GetDlgItemTextW(dialog, hintControl, explanation, explanationSize);
            gpsTestRunning = 0;
            ownsSearch = false;
            return finishDialogFrame(dialog);
        case WM_TIMER:
            switch (wParam) {
                case positionWatchTimer: onPositionWatchTimer(dialog); break;
                case portCheckTimer: onPortCheckTimer(dialog); break;
                case rememberedPortTimer: onRememberedPortTimer(dialog); break;
                default: break;
            }
            return TRUE;
        case WM_COMMAND: {
            const WORD command = LOWORD(wParam);
            if (isTestCommand(command)) {
                startTest(dialog);
                return TRUE;
            }
            if (isLeftKeyCommand(command)) return closeTest(dialog, command);
            break;
        }
        default: break;
    }
    INT_PTR result = FALSE;
    if (!handleFrameMessage(frame, dialog, message, wParam, lParam, result)) return FALSE;
    // The status line turns red once the search has found no receiver anywhere.
    if (message == WM_CTLCOLORSTATIC &&
        GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == gpsTestStatusControl &&
        gpsTestRunning != 0 && appSettings.gpsPortNumber.load() < 0)
        SetTextColor(reinterpret_cast<HDC>(wParam), red);
    return result;
}
