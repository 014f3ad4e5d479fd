// Terminal devices opened the way a serial driver would hold them: raw bytes, a given
// speed, 8N1, receiver on, modem status lines ignored, no flow control, DTR and RTS
// raised. Used by the COM ports (serial.cpp) and by the modem layer.
//
// Works on real serial devices (/dev/ttyUSB0, /dev/ttyACM0, /dev/serial/by-id/...) and
// on pseudo-terminals. Pseudo-terminals keep the speed they are given but do not enforce
// it, and they have no modem lines: raising DTR and RTS fails there and is ignored.
#pragma once

#include <string>

namespace orven::tty {

// Opens `path` read-write and non-blocking (clear O_NONBLOCK with fcntl for blocking
// reads), without becoming its controlling terminal, closed on exec. The device is taken
// for this open file alone (flock, so a second open of the same device, from this
// process or another, fails until this one is closed), set raw at `baud` with 8 data
// bits, no parity, one stop bit, CLOCAL | CREAD, no RTS/CTS and no XON/XOFF, VMIN 1 and
// VTIME 0. Bytes received before the open are dropped, as a freshly opened port starts
// empty. DTR and RTS are raised where the device has them.
// Returns the descriptor, or -1 with a one-line reason in *error (when not null) and errno
// saying why: ENOENT and the like from open(), ENOTTY for a path that is not a terminal,
// EWOULDBLOCK when the device is in use, EINVAL for a speed the driver does not have.
int openRaw(const std::string& path, int baud, std::string* error);

// Whether fd is a terminal device (a serial line or a pseudo-terminal).
bool isTerminal(int fd);

// The termios speed constant for a rate in bits per second (50 to 4000000), or -1 for
// a rate the terminal driver does not have.
int speedCode(int baud);
// The rate in bits per second of a termios speed constant, or 0.
int baudOfSpeedCode(int code);

}  // namespace orven::tty
