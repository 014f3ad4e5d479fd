// The program's resources by number: accelerator table 3, icon 103, the skin bitmap
// 105, the main popup menu 108, the soft-key menu bars 107, 109, 110 and 112 and the
// strings that label their keys, the settings dialogs' templates 106, 107 and 109
// (resources/dialog_templates.cpp), the self-tests' 110 and 111
// (resources/test_dialogs.cpp), and the manual page's template 112 with the manual
// itself (resources/manual.cpp).
#include <array>
#include <cmath>
#include <vector>

#include "platform/resource.h"
#include "resources/dialog_templates.h"
#include "resources/manual.h"
#include "resources/resource_ids.h"
#include "resources/skin.h"
#include "resources/test_dialogs.h"

namespace {

// Table 3: Ctrl+Q sends command 1, which closes the program.
const ACCEL mainAccelerators[] = {
    {FCONTROL | FVIRTKEY | FNOINVERT, 'Q', closeCommand},
};

const orven::resources::AcceleratorTable acceleratorTables[] = {
    {mainAcceleratorsResource, mainAccelerators, 1},
};

constexpr int iconSize = 32;

// Icon 103: a blue six-armed star on a transparent ground, drawn once at start-up.
const std::array<uint32_t, iconSize * iconSize>& programIcon() {
    static const auto pixels = [] {
        std::array<uint32_t, iconSize * iconSize> argb{};
        const double centre = (iconSize - 1) / 2.0;
        for (int y = 0; y < iconSize; ++y)
            for (int x = 0; x < iconSize; ++x) {
                double dx = x - centre, dy = y - centre;
                bool inArm = false;
                for (int arm = 0; arm < 3; ++arm) {
                    double angle = arm * M_PI / 3 + M_PI / 2;
                    double along = dx * std::cos(angle) + dy * std::sin(angle);
                    double across = -dx * std::sin(angle) + dy * std::cos(angle);
                    inArm |= std::fabs(across) <= iconSize / 9.0 &&
                             std::fabs(along) <= iconSize / 2.0 - 1;
                }
                argb[y * iconSize + x] = inArm ? 0xFF1E5AC8 : 0x00000000;
            }
        return argb;
    }();
    return pixels;
}

using orven::resources::dialogTemplateCount;
using orven::resources::dialogTemplates;
using orven::resources::MenuEntry;

// Menu 108: its first popup is the main menu; "Hide (minimize)" and the owner-drawn
// "Exit" are appended each time it opens.
const MenuEntry settingsItems[] = {
    {MenuEntry::command, ownerDetailsCommand, u"Owner details"},
    {MenuEntry::command, alertNumbersCommand, u"Alert numbers"},
    {MenuEntry::command, hardwareKeysCommand, u"Hardware keys"},
};
const MenuEntry testingItems[] = {
    {MenuEntry::command, gpsTestCommand, u"GPS Rx"},
    {MenuEntry::command, alertTestCommand, u"Alert sending"},
    {MenuEntry::command, hardwareButtonTestCommand, u"Hardware button"},
};
const MenuEntry mainPopupItems[] = {
    {MenuEntry::popup, 0, u"Settings", settingsItems, 3},
    {MenuEntry::separator, 0, nullptr},
    {MenuEntry::popup, 0, u"Testing", testingItems, 3},
    {MenuEntry::command, helpCommand, u"Help (manual)"},
};
const MenuEntry mainMenu[] = {
    {MenuEntry::popup, 0, u"Menu", mainPopupItems, 4},
};
const orven::resources::Menu menus[] = {
    {mainMenuResource, mainMenu, 1},
};

// Soft-key bars: 109 for the main window (never shown; the soft keys still send its
// commands), 107 for the settings dialogs, 110 for the self-test dialogs.
const orven::resources::MenuBarButton mainBarButtons[] = {
    {leftSoftKeyCommand, leftSoftKeyLabelString}, {rightSoftKeyCommand, rightSoftKeyLabelString}};
const orven::resources::MenuBarButton settingsBarButtons[] = {
    {dialogLeftKeyCommand, cancelLabelString}, {saveCommand, saveLabelString}};
const orven::resources::MenuBarButton testBarButtons[] = {{dialogLeftKeyCommand, closeLabelString},
                                                          {testCommand, testLabelString}};
const orven::resources::MenuBarButton manualBarButtons[] = {
    {dialogLeftKeyCommand, closeLabelString}};
const orven::resources::MenuBar menuBars[] = {
    {settingsMenuBarResource, settingsBarButtons, 2},
    {mainMenuBarResource, mainBarButtons, 2},
    {testMenuBarResource, testBarButtons, 2},
    {manualMenuBarResource, manualBarButtons, 1},
};

const orven::resources::String strings[] = {
    {cancelLabelString, u"Cancel"},
    {saveLabelString, u"SAVE"},
    {leftSoftKeyLabelString, u"Left"},
    {rightSoftKeyLabelString, u"Right"},
    {testLabelString, u"TEST"},
    {closeLabelString, u"Close"},
    {manualString, orven::resources::manualText},
};

}  // namespace

namespace orven::resources {

const Directory& programResources() {
    static const Icon icons[] = {{programIconResource, iconSize, iconSize, programIcon().data()}};
    static const Bitmap bitmaps[] = {{skinBitmapResource, skinWidth, skinHeight, skinPixels}};
    // The settings dialogs' templates, then the self-tests'.
    static const std::vector<Dialog> dialogs = [] {
        std::vector<Dialog> all(dialogTemplates(), dialogTemplates() + dialogTemplateCount());
        all.push_back(alertTestTemplate);
        all.push_back(gpsTestTemplate);
        all.push_back(manualTemplate);
        return all;
    }();
    static const Directory directory{acceleratorTables,
                                     1,
                                     icons,
                                     1,
                                     bitmaps,
                                     1,
                                     menus,
                                     1,
                                     menuBars,
                                     static_cast<int>(std::size(menuBars)),
                                     strings,
                                     static_cast<int>(std::size(strings)),
                                     dialogs.data(),
                                     static_cast<int>(dialogs.size())};
    return directory;
}

}  // namespace orven::resources
