// The owner's manual shown by "Help (manual)": the string manualString of the program's
// string table.
#pragma once

#include "platform/resource.h"

namespace orven::resources {

extern const char16_t manualText[];
// Template 112: the header, a hint and the manual's text (a multi-line read-only edit
// that the page stretches to the screen).
extern const Dialog manualTemplate;

}  // namespace orven::resources
