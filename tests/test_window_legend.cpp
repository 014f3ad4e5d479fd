// The SDL window of the emulated phone: the phone's screen, scaled by a whole factor,
// with the key legend beside it, which stays out of the framebuffer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>

#include "platform/testing.h"
#include "platform/window_manager.h"

namespace {

TEST(WindowLegend, ScreenIsShownWholeAndTheLegendBesideIt) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // a window nobody sees
    constexpr int width = 240, height = 320;
    ASSERT_TRUE(orven::display::select("sdl", width, height));
    std::vector<uint32_t> screen(width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) screen[y * width + x] = (x * 0x010000) | (y % 256 * 0x0101);
    orven::display::backend().present(screen.data(), width, height);

    std::vector<uint32_t> shown;
    int shownWidth = 0, shownHeight = 0;
    ASSERT_TRUE(orven::display::backend().shownPixels(shown, shownWidth, shownHeight));
    ASSERT_EQ(shownHeight % height, 0);
    const int scale = shownHeight / height;
    ASSERT_GT(shownWidth, width * scale) << "no room beside the screen";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(shown[(y * scale) * shownWidth + x * scale] & 0xFFFFFF, screen[y * width + x])
                << "screen pixel " << x << "," << y;
    // The legend: its background and the ink of its text.
    std::set<uint32_t> colours;
    for (int y = 0; y < shownHeight; ++y)
        for (int x = width * scale; x < shownWidth; ++x)
            colours.insert(shown[y * shownWidth + x] & 0xFFFFFF);
    EXPECT_TRUE(colours.count(0xE4E4E4)) << "no legend background";
    EXPECT_TRUE(colours.count(0x000000)) << "no legend text";
}

}  // namespace
