// The owner details dialog: first and family name, sex and age, blood type. While the
// program has no name, the device owner's name is proposed (and kept in memory even if
// the dialog is cancelled). The two spin lists reach the record at each change; the
// edit fields only on SAVE.
#include "settings/app_settings.h"
#include "settings/dialog_frame.h"
#include "settings/owner_name.h"
#include "settings/settings_dialogs.h"

namespace {

constexpr int firstNameEdit = 1003;
constexpr int familyNameEdit = 1004;
constexpr int sexList = 1007;
constexpr int sexSpinner = 1010;
constexpr int ageEdit = 1011;
constexpr int bloodTypeList = 1002;
constexpr int bloodTypeSpinner = 1001;
constexpr int settingsMenuBar = 107;
constexpr int shortestProposedName = 3;  // a device owner name of 1 or 2 is not proposed
constexpr int ageDigits = 2;             // ages 1 to 99

const WCHAR* const bloodTypes[] = {u" --- ",   u" 0 Rh+ ", u" A Rh+ ", u" B Rh+ ", u" AB Rh+ ",
                                   u" 0 Rh- ", u" A Rh- ", u" B Rh- ", u" AB Rh- "};
const WCHAR* const sexes[] = {u" -", u" M", u" F"};

const int edits[] = {firstNameEdit, familyNameEdit, ageEdit};
DialogFrame frame{settingsMenuBar, true, edits, 3, nullptr, 0};

void proposeNameIfNone() {
    AppSettings& s = appSettings;
    if (s.firstName[0] != 0 || s.familyName[0] != 0) return;
    WCHAR name[ownerNameSize];
    proposeOwnerName(name);
    if (lstrlenW(name) >= shortestProposedName) splitOwnerName(name, s.firstName, s.familyName);
}

INT_PTR onInitDialog(HWND dialog) {
    beginDialogFrame(dialog, frame);
    proposeNameIfNone();
    const AppSettings& s = appSettings;
    if (s.firstName[0] != 0) SetDlgItemTextW(dialog, firstNameEdit, s.firstName);
    if (s.familyName[0] != 0) SetDlgItemTextW(dialog, familyNameEdit, s.familyName);
    fillSpinList(dialog, bloodTypeList, bloodTypeSpinner, bloodTypes, 9, s.ownerBlood);
    fillSpinList(dialog, sexList, sexSpinner, sexes, 3, s.ownerSex);
    if (s.ownerAge != 0) {
        WCHAR age[12];
        wsprintfW(age, u"%d", s.ownerAge);
        SetDlgItemTextW(dialog, ageEdit, age);
    }
    return finishDialogFrame(dialog);
}

// The whole part of the number the first two characters form; 0 for none.
int32_t readAge(HWND dialog) {
    WCHAR text[ageDigits + 1] = {};
    GetDlgItemTextW(dialog, ageEdit, text, ageDigits + 1);
    int32_t age = 0;
    for (int i = 0; text[i] >= u'0' && text[i] <= u'9'; ++i) age = age * 10 + (text[i] - u'0');
    return age;
}

INT_PTR onSave(HWND dialog, WORD command) {
    AppSettings& s = appSettings;
    GetDlgItemTextW(dialog, firstNameEdit, s.firstName, firstNameSize);
    GetDlgItemTextW(dialog, familyNameEdit, s.familyName, familyNameSize);
    s.ownerBlood = spinPosition(dialog, bloodTypeSpinner);
    s.ownerSex = spinPosition(dialog, sexSpinner);
    s.ownerAge = readAge(dialog);
    saveSettings();
    return closeDialog(dialog, command);
}

INT_PTR onCommand(HWND dialog, WORD id, WORD notification) {
    if (id == bloodTypeList || id == sexList) {
        if (notification == LBN_SELCHANGE) {
            if (id == bloodTypeList)
                appSettings.ownerBlood = spinPosition(dialog, bloodTypeSpinner);
            if (id == sexList) appSettings.ownerSex = spinPosition(dialog, sexSpinner);
        }
        return TRUE;
    }
    if (isSaveCommand(id)) return onSave(dialog, id);
    if (isLeftKeyCommand(id)) return closeDialog(dialog, id);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ownerDetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (handleFrameMessage(frame, dialog, message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_INITDIALOG: return onInitDialog(dialog);
        case WM_COMMAND: return onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        default: return FALSE;
    }
}
