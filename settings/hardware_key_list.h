// The hardware buttons the device knows, and the assignment of one of them to the
// program. Free of user interface: the hardware keys dialog shows the list and calls
// assignHardwareKey on SAVE.
#pragma once

#include <string>
#include <vector>

#include "platform/windows.h"

// One choice of the dialog's button list.
struct HardwareKeyEntry {
    std::u16string displayName;  // what the list shows
    std::u16string keyName;      // stored in hardwareKey when chosen: a subkey name, SBS or SBL
    std::u16string command;      // the button's current command; " " when there is none
};

struct HardwareKeyList {
    std::vector<HardwareKeyEntry> entries;  // always starts with " none"
    bool keyPreferenceMode = false;         // the device has "SOFTWARE\HOLBE\KeyPref"
    int startPosition = 0;                  // the entry of the assigned button, else 0
};

// The buttons: " none", then "Short" and "Long" on a key-preference device, else one
// entry per subkey of "SOFTWARE\Microsoft\Shell\Keys" that has a "Name" or a command.
// Subkeys whose names do not fit hardwareKey (more than 15 characters) are left out,
// so a button that could not be stored is never offered. `hardwareKey` (compared
// ignoring case) picks the start position.
HardwareKeyList listHardwareKeys(const WCHAR* hardwareKey);

// A command's short name: a quoted program path with arguments gives the program's
// file name, a shortcut path its name without ".lnk".
std::u16string commandDisplayName(const std::u16string& command);

// What SAVE does with entry `position` (0: no button): records the choice in
// hardwareKey and hardwareTest and, for a button, writes the program's command line
// ("\"<appFolder>ORVEN.exe\" -a", or the shortcut "<appFolder>ORVEN.lnk" on a
// key-preference device) as that button's command. Does not save the settings.
void assignHardwareKey(const HardwareKeyList& list, int position);
