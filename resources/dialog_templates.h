// The dialog templates of the program's resources.
#pragma once

#include "platform/resource.h"

namespace orven::resources {

// Templates 106 (alert numbers), 107 (hardware keys) and 109 (owner details). 110 and
// 111 are the self-test dialogs' numbers.
const Dialog* dialogTemplates();
int dialogTemplateCount();

}  // namespace orven::resources
