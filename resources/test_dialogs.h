// The self-test dialogs' templates, listed in the program's resource directory.
#pragma once

#include "platform/resource.h"

namespace orven::resources {

extern const Dialog alertTestTemplate;  // 110
extern const Dialog gpsTestTemplate;    // 111

}  // namespace orven::resources
