// The self-test dialogs' templates: 110, the alert-sending test, and 111, the GPS
// receiver test. Both are borderless pop-ups in the 8-point "System" font that begin
// with the header every dialog shares (icon, title, version line); the frame sizes them
// to the screen. Their own controls are no wider than the narrowest screen (176 pixels,
// 117 dialog units), so that the texts wrap inside it.
#include "resources/test_dialogs.h"

#include "resources/resource_ids.h"

namespace orven::resources {

namespace {

constexpr DWORD dialogStyle = WS_POPUP | DS_SETFONT;
constexpr DWORD text = WS_VISIBLE | SS_LEFT;
constexpr short textWidth = 110;

const DialogItem alertTestItems[] = {
    {u"static", headerIconControl, MAKEINTRESOURCEW(programIconResource), WS_VISIBLE | SS_ICON, 4,
     4, 20, 20},
    {u"static", titleControl, u"", text, 29, 4, 104, 12},
    {u"static", versionControl, u"", text, 29, 15, 104, 10},
    {u"static", IDC_STATIC, u"Number:", text, 4, 31, 60, 10},
    {u"edit", testNumberEdit, u"",
     WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_NUMBER | ES_AUTOHSCROLL, 4, 42, 86, 13},
    {u"button", clearTestNumberButton, u"C", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 94, 42, 16,
     13},
    {u"static", hintControl,
     u"Please use your own number,\nor some know friend's number.\nThis number should reply or "
     u"call\nto finalize this test.\n\nDO NOT SEND this test to the\nEmergency Service number!",
     text, 4, 60, textWidth, 84},
};

const DialogItem gpsTestItems[] = {
    {u"static", headerIconControl, MAKEINTRESOURCEW(programIconResource), WS_VISIBLE | SS_ICON, 4,
     4, 20, 20},
    {u"static", titleControl, u"", text, 29, 4, 104, 12},
    {u"static", versionControl, u"", text, 29, 15, 104, 10},
    {u"static", gpsTestStatusControl, u"GPS Rx: ?", text, 4, 30, textWidth, 20},
    {u"static", hintControl,
     u"This test will try to connect \nGPS Receiver and read your\ncurrent geographic "
     u"localization.\n\nIf you will not see the localization \nwithin a few minutes, \nplease "
     u"check your GPS Rx status.",
     text, 4, 53, textWidth, 90},
};

}  // namespace

const Dialog alertTestTemplate{alertTestDialogResource,
                               dialogStyle,
                               u"",
                               0,
                               0,
                               160,
                               160,
                               8,
                               u"System",
                               alertTestItems,
                               sizeof alertTestItems / sizeof alertTestItems[0]};
const Dialog gpsTestTemplate{gpsTestDialogResource,
                             dialogStyle,
                             u"",
                             0,
                             0,
                             160,
                             160,
                             8,
                             u"System",
                             gpsTestItems,
                             sizeof gpsTestItems / sizeof gpsTestItems[0]};

}  // namespace orven::resources
