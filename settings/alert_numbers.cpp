// The alert numbers dialog: the two numbers to alert, how many times, and whether a
// confirming call is answered by itself. The count reaches the record at each change;
// the numbers and the check box only on SAVE.
#include "settings/app_settings.h"
#include "settings/dialog_frame.h"
#include "settings/settings_dialogs.h"

namespace {

constexpr int alertNumber1Edit = 1003;
constexpr int clearAlertNumber1Button = 1008;
constexpr int alertNumber2Edit = 1004;
constexpr int clearAlertNumber2Button = 1012;
constexpr int alertCountList = 1007;
constexpr int alertCountSpinner = 1010;
constexpr int autoAnsweringCheck = 1011;
constexpr int settingsMenuBar = 107;

const WCHAR* const alertCounts[alertsNumberChoices] = {u" 1", u" 2",  u" 3", u" 4",
                                                       u" 5", u" 10", u" 15"};

const int edits[] = {alertNumber1Edit, alertNumber2Edit};
const ClearButton clears[] = {{clearAlertNumber1Button, alertNumber1Edit},
                              {clearAlertNumber2Button, alertNumber2Edit}};
DialogFrame frame{settingsMenuBar, true, edits, 2, clears, 2};

INT_PTR onInitDialog(HWND dialog) {
    beginDialogFrame(dialog, frame);
    const AppSettings& s = appSettings;  // the GUI thread is the numbers' only writer
    if (s.alertNumber1[0] != 0) SetDlgItemTextW(dialog, alertNumber1Edit, s.alertNumber1);
    if (s.alertNumber2[0] != 0) SetDlgItemTextW(dialog, alertNumber2Edit, s.alertNumber2);
    fillSpinList(dialog, alertCountList, alertCountSpinner, alertCounts, alertsNumberChoices,
                 s.alertsNumber);
    CheckDlgButton(dialog, autoAnsweringCheck, s.autoAnswering != 0 ? BST_CHECKED : BST_UNCHECKED);
    return finishDialogFrame(dialog);
}

INT_PTR onSave(HWND dialog, WORD command) {
    WCHAR number1[alertNumberSize] = {}, number2[alertNumberSize] = {};
    GetDlgItemTextW(dialog, alertNumber1Edit, number1, alertNumberSize);
    GetDlgItemTextW(dialog, alertNumber2Edit, number2, alertNumberSize);
    storeAlertNumbers(number1, number2);
    appSettings.alertsNumber = spinPosition(dialog, alertCountSpinner);
    appSettings.autoAnswering = IsDlgButtonChecked(dialog, autoAnsweringCheck) == BST_CHECKED;
    saveSettings();
    return closeDialog(dialog, command);
}

INT_PTR onCommand(HWND dialog, WORD id, WORD notification) {
    if (id == alertCountList) {
        if (notification == LBN_SELCHANGE)
            appSettings.alertsNumber = spinPosition(dialog, alertCountSpinner);
        return TRUE;
    }
    if (isSaveCommand(id)) return onSave(dialog, id);
    if (isLeftKeyCommand(id)) return closeDialog(dialog, id);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK alertNumbersDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (handleFrameMessage(frame, dialog, message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_INITDIALOG: return onInitDialog(dialog);
        case WM_COMMAND: return onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        default: return FALSE;
    }
}
