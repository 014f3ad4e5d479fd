// A running gpsd as the device of a COM port: the port's listing names
// "gpsd://host[:port][/device]" instead of a terminal, and the port reads the NMEA
// sentences gpsd relays from its receiver. Used by serial.cpp only.
//
// gpsd speaks JSON on TCP (port 2947 by default). After ?WATCH={"enable":true,"nmea":true}
// it sends its own reports as JSON lines, each on a line of its own starting with '{'
// ({"class":"VERSION",...}, {"class":"DEVICES",...}, {"class":"WATCH",...}), and
// otherwise the receiver's sentences, one per line ending in LF. For a receiver that
// speaks a binary protocol it sends sentences made from its fixes. The filter below
// keeps only the sentences and ends each line with CR LF, as a receiver does, so the
// reader of the port sees what a receiver on a serial line would send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orven::gpsd {

constexpr int defaultPort = 2947;  // gpsd's registered TCP port

struct Address {
    std::string host;    // a name, an IPv4 address, or an IPv6 address without brackets
    std::string port;    // decimal, defaultPort when the listing gives none
    std::string device;  // the one device to watch (/dev/ttyACM0), "" for every device
};

// Whether `listing` is a gpsd address ("gpsd://" in any case, then a host); fills
// *address when it is one and is well formed. A listing such as "gpsd://" with no host
// or with a port that is not a number from 1 to 65535 is a gpsd address that is not
// valid: false, with *valid false.
bool parseAddress(const std::string& listing, Address* address, bool* valid);

// Connects to gpsd and asks it for the sentences of every device (or of the address's
// device). Returns the connected socket, non-blocking and closed on exec, or -1 with a
// one-line reason in *error and errno saying why (ECONNREFUSED: nothing listens there;
// ETIMEDOUT: no answer within connectTimeoutMs; ENOENT: the host has no address).
int connectAndWatch(const Address& address, std::string* error);

// Keeps the sentences of gpsd's stream and drops its JSON reports, byte by byte, so a
// line may arrive in any number of pieces. Bare LF line ends become CR LF. gpsd's error
// reports ({"class":"ERROR","message":"No such device as /dev/ttyACM9"}) are kept aside
// for the trace, since the port only falls silent after one.
struct SentenceFilter {
    bool atLineStart = true;  // the next byte starts a line
    bool inReport = false;    // inside a JSON report, dropped up to its LF
    bool afterCr = false;     // the last byte kept was CR
    std::string report;       // the report being dropped, its first reportKept bytes
    std::string error;        // the last error report completed, until the reader clears it
    static constexpr size_t reportKept = 200;  // enough for gpsd's error messages

    // Filters `count` bytes of `in` into `out`, which holds at least 2 * count bytes;
    // returns the bytes written.
    size_t filter(const uint8_t* in, size_t count, uint8_t* out);
};

}  // namespace orven::gpsd
