// The platform facts, as they stand until the main window takes them at creation.
#include "common/platform_facts.h"

DWORD isSmartphone = 0;    // 1 on the Smartphone platform; written by the GUI thread only
DWORD osMajorVersion = 5;  // the system's major version; written by the GUI thread only
