// The program's resources by number: accelerator table 3, icon 103, the skin bitmap
// 105, the main popup menu 108, the soft-key menu bars 107, 109 and 110 and the
// strings that label their keys, and the settings dialogs' templates 106, 107 and 109
// (resources/dialog_templates.cpp).
#include <array>
#include <cmath>

#include "platform/resource.h"
#include "resources/dialog_templates.h"
#include "resources/skin.h"

namespace {

// Table 3: Ctrl+Q sends command 1, which closes the program.
const ACCEL mainAccelerators[] = {
    {FCONTROL | FVIRTKEY | FNOINVERT, 'Q', 1},
};

const orven::resources::AcceleratorTable acceleratorTables[] = {
    {3, mainAccelerators, 1},
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
    {MenuEntry::command, 40025, u"Owner details"},
    {MenuEntry::command, 40011, u"Alert numbers"},
    {MenuEntry::command, 40018, u"Hardware keys"},
};
const MenuEntry testingItems[] = {
    {MenuEntry::command, 40016, u"GPS Rx"},
    {MenuEntry::command, 40017, u"Alert sending"},
    {MenuEntry::command, 40030, u"Hardware button"},
};
const MenuEntry mainPopupItems[] = {
    {MenuEntry::popup, 0, u"Settings", settingsItems, 3},
    {MenuEntry::separator, 0, nullptr},
    {MenuEntry::popup, 0, u"Testing", testingItems, 3},
    {MenuEntry::command, 40020, u"Help (manual)"},
};
const MenuEntry mainMenu[] = {
    {MenuEntry::popup, 0, u"Menu", mainPopupItems, 4},
};
const orven::resources::Menu menus[] = {
    {108, mainMenu, 1},
};

// Soft-key bars: 109 for the main window (never shown; the soft keys still send its
// commands), 107 for the settings dialogs, 110 for the self-test dialogs.
const orven::resources::MenuBarButton mainBarButtons[] = {{40026, 40027}, {40028, 40029}};
const orven::resources::MenuBarButton settingsBarButtons[] = {{40012, 40013}, {40014, 40015}};
const orven::resources::MenuBarButton testBarButtons[] = {{40012, 40033}, {40031, 40032}};
const orven::resources::MenuBar menuBars[] = {
    {107, settingsBarButtons, 2},
    {109, mainBarButtons, 2},
    {110, testBarButtons, 2},
};

const orven::resources::String strings[] = {
    {40013, u"Cancel"}, {40015, u"SAVE"}, {40027, u"Left"},
    {40029, u"Right"},  {40032, u"TEST"}, {40033, u"Close"},
};

}  // namespace

namespace orven::resources {

const Directory& programResources() {
    static const Icon icons[] = {{103, iconSize, iconSize, programIcon().data()}};
    static const Bitmap bitmaps[] = {{105, skinWidth, skinHeight, skinPixels}};
    static const Directory directory{acceleratorTables,
                                     1,
                                     icons,
                                     1,
                                     bitmaps,
                                     1,
                                     menus,
                                     1,
                                     menuBars,
                                     3,
                                     strings,
                                     6,
                                     dialogTemplates(),
                                     dialogTemplateCount()};
    return directory;
}

}  // namespace orven::resources
