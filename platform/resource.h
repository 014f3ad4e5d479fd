// The program's own resources, found by number as the phone finds them in the
// executable. The program links one directory of them (resources/), and the platform's
// loaders (LoadAcceleratorsW, LoadIconW, ...) look there.
#pragma once

#include "platform/window.h"

namespace orven::resources {

struct AcceleratorTable {
    int id;
    const ACCEL* entries;
    int count;
};

struct Icon {
    int id;
    int width;
    int height;
    const uint32_t* argb;  // width * height pixels, row by row
};

struct Directory {
    const AcceleratorTable* accelerators;
    int acceleratorCount;
    const Icon* icons;
    int iconCount;
};

// Defined by the program's resources.
const Directory& programResources();

}  // namespace orven::resources
