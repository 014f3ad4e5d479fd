// The phone's hardware buttons (F5 to F8 in the SDL window): the shell starts the
// command the button registry assigns to a pressed button. Never included by the
// program, which only writes the registry.
#pragma once

#include <string>
#include <vector>

namespace orven::shell {

// Button n (1 to 4) pressed: HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Shell\Keys\40C<n>"'s
// default value is started; on a key-preference device ("SOFTWARE\HOLBE\KeyPref"
// exists) button 1 is the short press ("SBS") and 2 the long press ("SBL"). Any thread.
// Returns whether a program was started.
bool pressHardwareButton(int n);

struct ButtonLaunch {
    std::u16string command;  // as registered
    std::string executable;  // what was started ("" when nothing could be)
    std::u16string arguments;
};
std::vector<ButtonLaunch> buttonLaunches();
void setProgramExecutable(const std::string& path);

}  // namespace orven::shell
