// The phone's system API as the program uses it: include this one header.
#pragma once

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/menu.h"
#include "platform/msgbox.h"
#include "platform/power.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/win_types.h"
#include "platform/window.h"
