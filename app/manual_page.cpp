// The manual page: the dialog frame's header and soft-key bar over the manual's text,
// which is a multi-line read-only edit stretched from under the hint to the soft-key bar.
#include "app/manual_page.h"

#include <vector>

#include "common/program.h"
#include "resources/resource_ids.h"
#include "settings/dialog_frame.h"

namespace {

// Menu bar 112 ("Close"); Back keeps its default, which closes the page.
DialogFrame frame{manualMenuBarResource, false, nullptr, 0, nullptr, 0};
HWND openPage = nullptr;  // the page while it is open (GUI thread only)

// Room for the manual: several times its length, so that a longer manual still fits
// (a test checks that it is not cut short).
constexpr int manualCapacity = 16384;
const WCHAR missingManual[] =
    u"The manual is missing from this copy of the program.\n\nORVEN still works as "
    u"always: tap \"Alert now!\" or press the left soft key to call for help.";

void showManual(HWND dialog) {
    std::vector<WCHAR> text(manualCapacity);
    if (LoadStringW(appInstance, manualString, text.data(), manualCapacity) == 0)
        lstrcpyW(text.data(), missingManual);
    SetDlgItemTextW(dialog, manualTextControl, text.data());
}

// The hint and the text take the screen's width, and the text reaches down to the
// soft-key bar. The page covers the screen from (0, 0): screen and client coordinates
// agree.
void stretchManual(HWND dialog) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    RECT bar{};
    if (HWND menuBar = SHFindMenuBar(dialog)) GetWindowRect(menuBar, &bar);
    const int bottom = bar.bottom > bar.top ? bar.top : GetSystemMetrics(SM_CYSCREEN);
    for (int control : {hintControl, manualTextControl}) {
        HWND window = GetDlgItem(dialog, control);
        RECT place{};
        GetWindowRect(window, &place);
        MoveWindow(window, place.left, place.top, width - 2 * place.left,
                   control == manualTextControl ? bottom - place.top : place.bottom - place.top,
                   FALSE);
    }
}

bool isCloseCommand(WORD command) {
    return isLeftKeyCommand(command) || command == IDOK;
}

}  // namespace

INT_PTR CALLBACK manualPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            beginDialogFrame(dialog, frame);
            showManual(dialog);
            finishDialogFrame(dialog);
            stretchManual(dialog);
            openPage = dialog;
            return TRUE;  // the text takes the focus, so the keys scroll it
        case WM_COMMAND:
            if (isCloseCommand(LOWORD(wParam))) return closeDialog(dialog, LOWORD(wParam));
            break;
        case WM_DESTROY: openPage = nullptr; break;
        default: break;
    }
    INT_PTR result = FALSE;
    handleFrameMessage(frame, dialog, message, wParam, lParam, result);
    return result;
}

void closeManualPage() {
    if (openPage != nullptr) closeDialog(openPage, IDCANCEL);
}
