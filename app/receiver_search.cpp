// The receiver search of the emergency procedure, run on the main window's timers.
#include "app/receiver_search.h"

#include "app/startup.h"
#include "common/alert_permission.h"
#include "common/gps_state.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/gps_port.h"
#include "selftest/gps_test_dialog.h"
#include "settings/app_settings.h"

namespace {

constexpr int32_t lastPortNumber = 9;  // the scan covers COM0 to COM9
constexpr DWORD betweenPortsMs = 500;  // pause between closing one port and opening the next
constexpr int portNameSize = 16;       // "COM%d:" with any int

// Whether the open port has shown a receiver: a sentence holding "$GP" just came in,
// or the reader found the receiver itself. The reader stops timers 2 and 3 when it does,
// but a timer message already on its way is not stopped, and that handler must then not
// close the receiver's port and move on.
bool receiverAnswered() {
    return lastSentenceContains(u"$GP") || gpsState.receiverFound.load() == 1;
}

}  // namespace

void tryGpsPort(HWND window, UINT_PTR checkTimer) {
    WCHAR portName[portNameSize];
    wsprintfW(portName, u"COM%d:", appSettings.gpsPortNumber.load());
    if (gpsPortOpen(portName)) {
        SetTimer(window, checkTimer, portCheckMs, nullptr);
        return;
    }
    gpsPortClose();
    SetTimer(window, scanTimer, failedPortMs, nullptr);
}

void scanFromFirstPort(HWND window) {
    playCue(scanCue, false);
    appSettings.gpsPortNumber.store(0);
    formatStatusText(u"Searching GPS Rx\nin port COM%d...", 0);
    tryGpsPort(window, scanTimer);
}

void onProcedureStartTimer(HWND window) {
    KillTimer(window, procedureStartTimer);
    launchedWithAlert = 0;
    // A position that another search found a moment ago is not this alert's: the search
    // below finds it again (the first fix after the port opens arms timer 5 anew).
    KillTimer(window, positionFoundTimer);
    setSearchSendsAlert(true);
    gpsState.searchState.store(searching);
    if (appSettings.gpsPortNumber.load() < 0) {
        scanFromFirstPort(window);
        return;
    }
    playCue(connectCue, false);
    formatStatusText(u"Connecting GPS Rx\nin port COM%d...", appSettings.gpsPortNumber.load());
    tryGpsPort(window, knownPortTimer);
}

void endAlertSearch(HWND window) {
    if (gpsTestHoldsLink()) return;
    for (UINT_PTR timer : {procedureStartTimer, scanTimer, knownPortTimer, receiverLostTimer,
                           positionMissedTimer, positionFoundTimer, firstSendTimer})
        KillTimer(window, timer);
    setSearchSendsAlert(false);
    const int32_t state = gpsState.searchState.load();
    if (state != searching && state != receiverFoundState) return;
    gpsState.searchState.store(searchIdle);
    gpsPortClose();
}

void onScanTimer(HWND window) {
    KillTimer(window, scanTimer);
    if (receiverAnswered()) {
        gpsState.searchState.store(receiverFoundState);
        storePortNumber();
        return;
    }
    if (appSettings.gpsPortNumber.load() >= lastPortNumber) {
        setStatusText(u"GPS Rx wasn't found\nin any serial port.");
        gpsState.searchState.store(noReceiverFound);
        setSearchSendsAlert(false);
        // In memory only: the registry keeps the last port that worked. The last port
        // tried stays open.
        appSettings.gpsPortNumber.store(-1);
        return;
    }
    // Closed before the number moves on, so that a reader finding its receiver at this
    // very moment still saves this port's number.
    gpsPortClose();
    const int32_t next = appSettings.gpsPortNumber.load() + 1;
    appSettings.gpsPortNumber.store(next);
    Sleep(betweenPortsMs);
    formatStatusText(u"Searching GPS Rx\nin port COM%d...", next);
    tryGpsPort(window, scanTimer);
}

void onKnownPortTimer(HWND window) {
    KillTimer(window, knownPortTimer);
    if (receiverAnswered()) {
        gpsState.searchState.store(receiverFoundState);
        storePortNumber();
        return;
    }
    scanFromFirstPort(window);
}

// The watchdogs end the procedure's wait for a receiver or a position. The reader arms
// them for any receiver it finds, also for the GPS receiver test's, which has no time
// limit: closing its port would leave the test showing "Awaiting for position..." with
// nothing listening, and the main screen reporting the end of a search the procedure
// never ran. While the test holds the link they do nothing but stop.
//
// The link is closed before the end is shown: a reader in the middle of a sentence would
// otherwise put "Awaiting for position..." back over it, and the owner would be left
// waiting for an alert that will never go out. After the close no reader writes a status.
void onReceiverLostTimer(HWND window) {
    KillTimer(window, receiverLostTimer);
    if (gpsTestHoldsLink()) return;
    gpsState.searchState.store(searchIdle);
    setSearchSendsAlert(false);
    gpsPortClose();
    formatStatusText(u"GPS Rx lost\nin port COM%d", appSettings.gpsPortNumber.load());
}

void onPositionMissedTimer(HWND window) {
    KillTimer(window, positionMissedTimer);
    if (gpsTestHoldsLink()) return;
    gpsState.searchState.store(searchIdle);
    setSearchSendsAlert(false);
    gpsPortClose();
    setStatusText(u"GPS position missed\n ");
}
