// The owner's name as the device knows it, proposed to the owner details dialog while
// the program has no name yet. Free of user interface.
#pragma once

#include "platform/windows.h"

constexpr int ownerNameSize = 261;  // "Name" is read with room for 260 characters

// The device owner's name from HKEY_CURRENT_USER "\ControlPanel\Owner": the string
// "Name" or, failing that, the start of the binary "Owner" record. Empty when the
// device has none.
void proposeOwnerName(WCHAR name[ownerNameSize]);

// Splits a name over its first 100 characters: the first name takes the first word
// with the space after it (at most 15 characters), the family name the text after the
// last space (at most 63). One word gives only a first name.
void splitOwnerName(const WCHAR* name, WCHAR firstName[16], WCHAR familyName[64]);
