// The hardware keys dialog: the owner picks the button that starts the program with
// "-a". SAVE writes the program's command line as that button's command (see
// hardware_key_list.cpp), arms the one-time button test, saves the settings and closes
// the whole program, so that the next press of the button starts it anew.
#include "common/program.h"
#include "settings/app_settings.h"
#include "settings/dialog_frame.h"
#include "settings/hardware_key_list.h"
#include "settings/settings_dialogs.h"

namespace {

constexpr int buttonList = 1002;
constexpr int buttonSpinner = 1001;
constexpr int hintControl = 1009;
constexpr int settingsMenuBar = 107;
constexpr int hintSize = 1024;  // wsprintfW's whole output

constexpr WCHAR noButtonMessage[] =
    u"Please use default Settings Buttons dialog, to manage back, your device hardware "
    u"buttons for some using.";

DialogFrame frame{settingsMenuBar, false, nullptr, 0, nullptr, 0};
HardwareKeyList keyList;  // the buttons offered while the dialog is open

INT_PTR onInitDialog(HWND dialog) {
    beginDialogFrame(dialog, frame);
    keyList = listHardwareKeys(appSettings.hardwareKey);
    std::vector<const WCHAR*> names;
    for (const HardwareKeyEntry& entry : keyList.entries)
        names.push_back(entry.displayName.c_str());
    fillSpinList(dialog, buttonList, buttonSpinner, names.data(), int(names.size()),
                 keyList.startPosition);
    return finishDialogFrame(dialog);
}

// What the chosen button starts now, by its short name; nothing for " none". A
// key-preference device has no commands to show.
void onSelectionChange(HWND dialog) {
    if (keyList.keyPreferenceMode) return;
    const int32_t position = spinPosition(dialog, buttonSpinner);
    WCHAR hint[hintSize] = {};
    if (position > 0 && size_t(position) < keyList.entries.size())
        wsprintfW(hint, u"Currently it's %s",
                  commandDisplayName(keyList.entries[position].command).c_str());
    SetDlgItemTextW(dialog, hintControl, hint);
}

// The main window is closed once the dialog has returned: the close is posted rather
// than sent, so the program does not end beneath the dialog's own modal loop.
INT_PTR onSave(HWND dialog, WORD command) {
    const int32_t position = spinPosition(dialog, buttonSpinner);
    if (position <= 0)
        MessageBoxW(dialog, noButtonMessage, mainWindowTitle, MB_OK | MB_ICONEXCLAMATION);
    assignHardwareKey(keyList, position);
    saveSettings();
    closeDialog(dialog, command);
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WORD id, WORD notification) {
    if (id == buttonList) {
        if (notification == LBN_SELCHANGE) onSelectionChange(dialog);
        return TRUE;
    }
    if (isSaveCommand(id)) return onSave(dialog, id);
    if (isLeftKeyCommand(id)) return closeDialog(dialog, id);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK hardwareKeysDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (handleFrameMessage(frame, dialog, message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_INITDIALOG: return onInitDialog(dialog);
        case WM_COMMAND: return onCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        case WM_DESTROY: keyList = {}; return FALSE;
        default: return FALSE;
    }
}
