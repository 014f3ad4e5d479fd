// The program's resources by number: accelerator table 3 and icon 103. The skin
// bitmap, menus and dialog templates join this directory as the screens that use them
// are built.
#include <array>
#include <cmath>

#include "platform/resource.h"

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

}  // namespace

namespace orven::resources {

const Directory& programResources() {
    static const Icon icons[] = {{103, iconSize, iconSize, programIcon().data()}};
    static const Directory directory{acceleratorTables, 1, icons, 1};
    return directory;
}

}  // namespace orven::resources
