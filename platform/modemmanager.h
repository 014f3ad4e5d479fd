// The modem through ModemManager: on Linux phones ModemManager owns the modem (nothing
// else may open its AT port), its GPS receiver included, and callaudiod routes the call
// audio. The device registry chooses this backend with "Port"="modemmanager:" under
// HKEY_LOCAL_MACHINE "Drivers\Modem" (modem.cpp reads it); a COM port listed as
// "modemmanager:" under "Drivers\Ports" is the modem's GPS (serial.cpp).
//
// The SMS library, the radio interface and the loudspeaker switches call these in place
// of the AT port's; events reach the radio as the AT backend's do. Every D-Bus call runs
// on the GLib thread (glib_loop.h); callers block only where the AT backend blocks too.
#pragma once

#include <functional>
#include <string>

#include "platform/modem.h"

namespace orven::modemmanager {

// What the registry's "Port" (or a COM port's listing) holds to choose ModemManager.
constexpr const char* portName = "modemmanager:";
bool isPortName(const std::string& path);

// Connects to ModemManager on the system bus and takes its first modem (once; later
// calls do nothing). Returns at once: the connection is made on the GLib thread.
void start();

// Sends one text: Messaging.Create with the number, the text and (0 to 3) the class,
// then Sms.Send. Ok only when ModemManager reports the message SENT; refused when the
// send fails; timedOut without an answer in time; noModem when there is no modem to send
// with (ModemManager not running, no modem, SIM locked, no network: each said once on
// stderr). Blocks the caller.
modem::Result sendText(const std::u16string& number, const std::u16string& text, int messageClass,
                       bool statusReport);

// Accepts the ringing incoming call; `done` runs on the GLib thread with the result
// (refused "NO CARRIER" when no call rings).
void answer(std::function<void(const modem::Result&)> done);

// Puts the call on the loudspeaker through callaudiod. Returns at once.
void loudspeakerOn();

// The modem's GPS as a terminal: NMEA location is enabled, and the modem's sentences
// are written to a pseudo-terminal whose path this returns; when the modem goes away the
// terminal hangs up. Empty, with a reason in *why, when there is no modem with GPS.
// Blocks the caller while ModemManager enables the location source.
std::string gpsDevicePath(std::string* why);

// Test-only: lets go of ModemManager (the modem, the GPS terminal, every signal) and
// waits until the GLib thread has done so, so that a test's stand-in can stop without
// the client hearing it during the process's exit. The client does not start again.
void stopForTests();

}  // namespace orven::modemmanager
