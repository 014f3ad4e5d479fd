// The alert-sending test dialog: the test number, and the hand-over of the test position
// to the main window's sending steps.
#include "selftest/alert_test_dialog.h"

#include "alert/alert_message.h"
#include "common/alert_permission.h"
#include "common/gps_state.h"
#include "common/program.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/nmea_parser.h"
#include "resources/resource_ids.h"
#include "settings/app_settings.h"
#include "settings/dialog_frame.h"

namespace {

const int numberEdits[] = {testNumberEdit};
const ClearButton numberClear[] = {{clearTestNumberButton, testNumberEdit}};
// Menu bar 110, Back erases in the number field, whose "C" button empties it.
DialogFrame frame{testMenuBarResource, true, numberEdits, 1, numberClear, 1};

// "TEST": with a usable number, the test position as the position just found, test mode,
// and timer 5 unless a real fix has already armed it (that one carries the test on).
// With fewer than 3 characters nothing happens and the dialog stays open; the short
// number is kept.
INT_PTR runTest(HWND dialog, WORD command) {
    WCHAR number[testNumberSize];
    GetDlgItemTextW(dialog, testNumberEdit, number, testNumberSize);
    setTestNumber(number);
    if (!usableNumber(number)) return TRUE;

    WCHAR latitudeText[positionTextSize], longitudeText[positionTextSize];
    formatLatitude(testLatitude, latitudeText);
    formatLongitude(testLongitude, longitudeText);
    SYSTEMTIME now;
    GetLocalTime(&now);  // the clock as the main window's timers read it
    setClockSnapshot(now);
    storePosition(testLatitude, testLongitude, latitudeText, longitudeText, now);
    formatStatusText(u"Position found at %02d:%02d\n%s %s", now.wHour, now.wMinute, latitudeText,
                     longitudeText);
    testMode.store(2);
    setSearchSendsAlert(true);
    int32_t notFound = 0;
    if (gpsState.positionFound.compare_exchange_strong(notFound, 1))
        SetTimer(mainWindow, positionFoundTimer, alertTestPositionDelayMs, nullptr);
    return closeDialog(dialog, command);
}

}  // namespace

INT_PTR CALLBACK alertTestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            beginDialogFrame(dialog, frame);
            setTestNumber(u"");
            SendDlgItemMessageW(dialog, testNumberEdit, EM_LIMITTEXT, testNumberSize - 1, 0);
            SetDlgItemTextW(dialog, testNumberEdit, testNumber);
            return finishDialogFrame(dialog);
        case WM_COMMAND: {
            const WORD command = LOWORD(wParam);
            if (isTestCommand(command)) return runTest(dialog, command);
            if (isLeftKeyCommand(command)) return closeDialog(dialog, command);
            break;
        }
        default: break;
    }
    INT_PTR result = FALSE;
    handleFrameMessage(frame, dialog, message, wParam, lParam, result);
    return result;
}
