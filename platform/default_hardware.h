// The emulated phone's own hardware: the devices it has when the device registry maps
// none. The platform layer offers the hooks and knows nothing of the devices behind
// them: instance::onBecomingInstance (start a device in the running instance only),
// modem::setDefaultModem (the modem when "Drivers\Modem" names none) and
// serial::mapVolatilePort (a COM port listed for this process only, never in the hive).
//
// The process's entry point (startup.cpp) calls installDefaultHardware() once, before
// WinMain. The layer does not define it: the executable links the definition of the
// hardware it emulates, sim/default_hardware.cpp for the simulated receiver and modem.
#pragma once

namespace orven {

// Installs the hooks that give the emulated phone its default devices.
void installDefaultHardware();

}  // namespace orven
