// The numbers of the program's resources, commands and controls, shared by the resource
// directory (resources/) and the code that loads and answers them. Templates, menus,
// icons and the bitmap are in the 100s, commands and their label strings in the 40000s,
// controls from 1001 to 1012.
#pragma once

#include "platform/windows.h"

// ---- Resources
constexpr int mainAcceleratorsResource = 3;   // Ctrl+Q: closeCommand
constexpr int programIconResource = 103;      // the program's icon (tray, dialog headers, class)
constexpr int skinBitmapResource = 105;       // the main screen's skin
constexpr int mainMenuResource = 108;         // the main popup menu (its first popup)
constexpr int settingsMenuBarResource = 107;  // "Cancel" / "SAVE" of the settings dialogs
constexpr int mainMenuBarResource = 109;      // "Left" / "Right" of the main window (never shown)
constexpr int testMenuBarResource = 110;      // "Close" / "TEST" of the self-test dialogs
constexpr int manualMenuBarResource = 112;    // "Close" of the manual page

// Dialog templates.
constexpr int alertNumbersDialogResource = 106;
constexpr int hardwareKeysDialogResource = 107;
constexpr int ownerDetailsDialogResource = 109;
constexpr int alertTestDialogResource = 110;
constexpr int gpsTestDialogResource = 111;
constexpr int manualDialogResource = 112;  // "Help (manual)"

// ---- Commands (WM_COMMAND ids) and the strings that label the soft keys
constexpr WORD closeCommand = 1;                   // accelerator Ctrl+Q: the program closes
constexpr WORD alertNumbersCommand = 40011;        // menu "Alert numbers"
constexpr WORD dialogLeftKeyCommand = 40012;       // "Cancel" or "Close": the dialog closes
constexpr WORD cancelLabelString = 40013;          // "Cancel"
constexpr WORD saveCommand = 40014;                // "SAVE": the dialog saves and closes
constexpr WORD saveLabelString = 40015;            // "SAVE"
constexpr WORD gpsTestCommand = 40016;             // menu "GPS Rx"
constexpr WORD alertTestCommand = 40017;           // menu "Alert sending"
constexpr WORD hardwareKeysCommand = 40018;        // menu "Hardware keys"
constexpr WORD helpCommand = 40020;                // menu "Help (manual)"
constexpr WORD ownerDetailsCommand = 40025;        // menu "Owner details"
constexpr WORD leftSoftKeyCommand = 40026;         // main window's left soft key: the alert
constexpr WORD leftSoftKeyLabelString = 40027;     // "Left"
constexpr WORD rightSoftKeyCommand = 40028;        // main window's right soft key: the menu
constexpr WORD rightSoftKeyLabelString = 40029;    // "Right"
constexpr WORD hardwareButtonTestCommand = 40030;  // menu "Hardware button"
constexpr WORD testCommand = 40031;                // "TEST": the self-test runs
constexpr WORD testLabelString = 40032;            // "TEST"
constexpr WORD closeLabelString = 40033;           // "Close"
constexpr WORD manualString = 40034;               // the owner's manual, shown by "Help (manual)"

// Items appended to the main popup menu each time it opens.
constexpr WORD exitCommand = 1135;  // "Exit", owner-drawn
constexpr WORD hideCommand = 1136;  // "Hide (minimize)"

// ---- Controls of the dialogs
// The frame every dialog shares.
constexpr int headerIconControl = -1;  // the program icon, never addressed
constexpr int titleControl = 1006;     // "ORVEN™"
constexpr int versionControl = 1005;   // the version line
constexpr int hintControl = 1009;      // the dialog's hint text
// Owner details (template 109).
constexpr int firstNameEdit = 1003;
constexpr int familyNameEdit = 1004;
constexpr int sexList = 1007;
constexpr int sexSpinner = 1010;
constexpr int ageEdit = 1011;
constexpr int bloodTypeList = 1002;
constexpr int bloodTypeSpinner = 1001;
// Alert numbers (template 106).
constexpr int alertNumber1Edit = 1003;
constexpr int clearAlertNumber1Button = 1008;
constexpr int alertNumber2Edit = 1004;
constexpr int clearAlertNumber2Button = 1012;
constexpr int alertCountList = 1007;
constexpr int alertCountSpinner = 1010;
constexpr int autoAnsweringCheck = 1011;
// Hardware keys (template 107).
constexpr int buttonList = 1002;  // the buttons' display names
constexpr int buttonSpinner = 1001;
constexpr int buttonCommandList = 1003;     // hidden: each button's current command
constexpr int buttonCommandSpinner = 1004;  // hidden, not used
constexpr int buttonKeyNameList = 1007;     // hidden: each button's key name
constexpr int buttonKeyNameSpinner = 1010;  // hidden, not used
// GPS receiver test (template 111).
constexpr int gpsTestStatusControl = 1012;  // "GPS Rx: ?", the test's status line
// Alert-sending test (template 110).
constexpr int testNumberEdit = 1003;
constexpr int clearTestNumberButton = 1008;
// The manual page (template 112).
constexpr int manualTextControl = 1003;  // the manual: a read-only, scrolling text

// ---- The tray icon
constexpr UINT trayIconId = 1;
constexpr UINT trayCallbackMessage = WM_USER + 101;  // 1125: any mouse event on the icon
