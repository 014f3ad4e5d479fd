// Facts about the platform the program runs on, taken when the main window is created.
#pragma once

#include "platform/windows.h"

extern DWORD isSmartphone;
extern DWORD osMajorVersion;
