// The emulated phone's default hardware from the simulators: the receiver of
// startDefaultReceiver (nmea_receiver.h) in the running instance, and one simulated
// modem per process whose partner answers every message.
#pragma once

#include <string>

namespace orven::sim {

// The emulated phone's modem when the device registry maps none: one simulated modem
// for the whole process, with a partner who answers every message by SMS from the
// number it went to, some seconds later. Returns the path of its line.
std::string startDefaultModem();

// Makes startDefaultModem the modem layer's default (modem::setDefaultModem), with the
// simulated modem's loudspeaker command.
void installDefaultModem();

}  // namespace orven::sim
