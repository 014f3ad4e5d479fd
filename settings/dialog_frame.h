// The frame every dialog of the program shares: full screen, a two-key soft-key menu
// bar, the header (program icon, "ORVEN™", the version line), the header and hint
// fonts and colours, the input panel raised and lowered around edit fields, clear
// buttons, spin lists, and the closing rules. Each dialog describes what it uses in a
// DialogFrame and hands its messages to handleFrameMessage first.
#pragma once

#include "platform/windows.h"

// A "C" button and the number field it empties.
struct ClearButton {
    int button;
    int field;
};

// One dialog's use of the frame, and the frame's state while that dialog is open (one
// dialog is open at a time: they are modal).
struct DialogFrame {
    int menuBar;                // 107 (Cancel, SAVE) or 110 (Close, TEST)
    bool backKeyOverride;       // Back erases in an edit field; the panel goes down
                                // when the dialog is destroyed
    const int* edits;           // edit fields that raise the input panel
    int editCount;              //
    const ClearButton* clears;  // clear buttons
    int clearCount;             //
    DWORD savedSipFlags = 0;    // the input panel's flags before an edit got the focus
    HFONT titleFont = nullptr;  // made at the first colour request, freed on WM_DESTROY
    HFONT smallFont = nullptr;  // the version line's and the hint's
};

// The version line under the title.
extern const WCHAR versionLine[];

// WM_INITDIALOG, before the dialog fills its controls: the menu bar, the Back key
// override (when the dialog has it), the title and the version line.
void beginDialogFrame(HWND dialog, DialogFrame& frame);
// WM_INITDIALOG, after the dialog filled its controls: full screen, input panel down.
// Returns TRUE (the platform places the focus).
INT_PTR finishDialogFrame(HWND dialog);

// Colours, fonts, the Back key, destruction, the input panel around the listed edits
// and the clear buttons. Returns true when the frame answered the message, with the
// dialog procedure's result in `result`. WM_DESTROY is passed on after the frame's
// own work.
bool handleFrameMessage(DialogFrame& frame, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& result);

// Which soft key (or the platform's OK and Cancel) a command is.
bool isSaveCommand(WORD command);     // 1 or 40014 (SAVE)
bool isTestCommand(WORD command);     // 1 or 40031 (TEST)
bool isLeftKeyCommand(WORD command);  // 2 or 40012 (Cancel, Close)

// Closes the dialog with the command as its result, the input panel forced down.
// Returns TRUE for the dialog procedure.
INT_PTR closeDialog(HWND dialog, WORD command);

// A spin list: the items in order, the spinner's range over them and its position.
void fillSpinList(HWND dialog, int list, int spinner, const WCHAR* const* items, int count,
                  int32_t position);
// The spinner's position: the index of the chosen item.
int32_t spinPosition(HWND dialog, int spinner);
