// The device's screen: a software framebuffer of 32-bit XRGB pixels at the profile's
// size that every window draws into. The display backend shows it; a screenshot saves
// it as PNG. Internal to the platform layer (the test controls expose screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orven::screen {

int width();
int height();
// The pixel rows, width() * height(), guarded by the GUI thread's ownership of painting.
uint32_t* pixels();
void fillRect(int left, int top, int right, int bottom, uint32_t xrgb);
// Hands the framebuffer to the display backend, and writes $ORVEN_SCREENSHOT if set.
void present();
// Saves the screen as an RGB PNG; false on failure.
bool writePng(const std::string& path);

}  // namespace orven::screen
