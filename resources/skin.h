// The skin bitmap's pixels (resource 105): 175 by 201, XRGB, drawn on first use.
#pragma once

#include <cstdint>

namespace orven::resources {

constexpr int skinWidth = 175;
constexpr int skinHeight = 201;
const uint32_t* skinPixels();

}  // namespace orven::resources
