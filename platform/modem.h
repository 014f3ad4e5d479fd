// The phone's one modem: an AT-command module on a serial device, shared by the SMS
// library (sms.cpp), the radio interface (ril.cpp) and the loudspeaker switches.
//
// The device registry names it, under HKEY_LOCAL_MACHINE "Drivers\Modem":
//   "Port"                 the Linux path of its AT port, e.g. /dev/ttyUSB2, or
//                          "modemmanager:" for the modem ModemManager owns
//   "Baud rate"            DWORD, 115200 when absent
//   "Loudspeaker command"  the AT command that puts a call on the loudspeaker
// Without "Port" the layer asks the default-modem hook (setDefaultModem), which the
// program's start-up installs; without a hook there is no modem. Nothing of the default
// modem is written to the registry: it lasts as long as the process.
//
// One thread owns the port. It opens the device, runs the init sequence (echo off,
// numeric errors, PDU mode, new-message indications, caller id), then writes queued
// commands one at a time and reads lines: final results go to the command in flight,
// unsolicited results become events. It reads stored messages when +CMTI announces them
// and deletes them after reading. A restarted module (RDY, SMS Ready, ...) is initialised
// again; a port that goes away is reopened with growing pauses; a command without an
// answer in time is abandoned (ESC, then AT to resynchronise).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orven::modem {

// Every time-out and pause of the modem layer, in milliseconds.
struct Timeouts {
    uint32_t command = 5000;        // an ordinary command's final result
    uint32_t probe = 500;           // one AT while the module may still be booting
    uint32_t boot = 10000;          // how long AT is tried after opening before giving up
    uint32_t smsMode = 20000;       // AT+CMGF=0 is retried this long (refused before SMS Ready)
    uint32_t prompt = 10000;        // "> " after AT+CMGS
    uint32_t submit = 60000;        // +CMGS after the PDU, per part: networks can be slow
    uint32_t read = 10000;          // AT+CMGR
    uint32_t answer = 20000;        // ATA
    uint32_t resync = 2000;         // the AT that follows a time-out
    uint32_t waitForModem = 15000;  // a command queued while no modem is ready waits this long
    uint32_t reopenFirst = 100;     // first pause before reopening a lost port, doubled each try
    uint32_t reopenLongest = 5000;  // longest pause between two tries
    uint32_t busyPause = 1000;      // before repeating a command answered "busy"
    int busyRetries = 5;
    uint32_t callSilence = 12000;  // a ringing call without RING for this long has ended
};
Timeouts timeouts();
// Test-only: shorter time-outs. Takes effect for commands queued afterwards.
void setTimeoutsForTests(const Timeouts& timeouts);

enum class Outcome {
    ok,        // OK (and +CMGS for a submission)
    refused,   // ERROR, +CMS ERROR, +CME ERROR, NO CARRIER, ...
    timedOut,  // no final result in time
    portLost,  // the device went away while the command ran
    noModem,   // no modem became ready while it waited
};

struct Result {
    Outcome outcome = Outcome::noModem;
    std::string finalLine;           // the final result as received
    std::vector<std::string> lines;  // information lines before it
    int messageReference = -1;       // +CMGS: <mr>
};

// What the modem reports without being asked. The port thread hands each event to the
// radio layer (ril.cpp), which only queues it for its own notification thread.
struct Event {
    enum class Kind {
        message,    // an incoming SMS PDU (from +CMT, or read after +CMTI)
        ring,       // RING or +CRING
        callerId,   // the caller of the ringing call, once per call
        callEnded,  // NO CARRIER, the caller gave up, or the call went silent
        ready,      // the init sequence finished (again)
        lost,       // the port went away
        text,       // an incoming SMS already decoded (ModemManager): number, text, centre
    };
    Event(Kind k, std::string p = {}, std::u16string n = {})
        : kind(k), pdu(std::move(p)), number(std::move(n)) {}
    Kind kind;
    std::string pdu;        // message: hex, service-centre field first
    std::u16string number;  // callerId: as shown, "+" added for type 145; empty when withheld
                            // text: the sender, "+" and digits when international
    std::u16string text;    // text: the message
    std::u16string centre;  // text: the service centre, when known
};

// The modem the emulated phone has when the device registry names none: its line, and
// the command that puts a call on its loudspeaker.
struct DefaultModem {
    std::string path;                // the AT port's device path; empty: no modem
    std::string loudspeakerCommand;  // used when the registry names none
    std::string description;         // for the trace: "the simulated modem"
};
// Installs what start() asks for a modem when the registry names no "Port". The hook
// runs at most once per start, on the thread that starts the modem, before the port
// thread exists. Install it before the modem first starts; null removes it.
void setDefaultModem(DefaultModem (*hook)());

// Starts the modem's thread once per process; later calls do nothing. When the registry
// names "modemmanager:" as the port, starts the ModemManager client instead
// (modemmanager.h), and no AT port is opened.
void start();
// Whether the modem is ModemManager's (starts the modem first). The SMS library, the
// radio and the loudspeaker then go through modemmanager.h instead of AT commands.
bool viaModemManager();
// The loudspeaker command of the registry (or of the default modem); empty: none.
// Starts the modem if needed.
std::string loudspeakerCommand();

// Sends one PDU: AT+CMGS=<tpduLength>, the prompt, the PDU and Ctrl-Z, and waits for
// +CMGS or an error. Blocks the caller; events keep flowing meanwhile.
Result submit(const std::string& pduHex, int tpduLength);
// Queues a command (ATA, the loudspeaker command) and returns at once; `done` runs on
// the port thread with its result. `first`: ahead of the commands already waiting.
void post(const std::string& command, uint32_t timeoutMs, bool first,
          std::function<void(const Result&)> done);

// Test-only: ends the thread and forgets the port, so that the next start reads the
// registry again.
void stopForTests();

// Fuzzing: runs bytes through the line splitter and the classification of lines, as the
// port thread would while idle and while a command waits for its answer. No I/O.
void parseForFuzzing(const uint8_t* bytes, size_t size);

}  // namespace orven::modem
