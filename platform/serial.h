// Serial ports: CreateFileW on "COMn:", the line settings (DCB), time-outs, event masks,
// WaitCommEvent, ReadFile, the modem lines, and CloseHandle through the handle table.
//
// Which device a COM port is comes from the device registry, as the phone's drivers
// are listed there: under HKEY_LOCAL_MACHINE "Drivers\Ports", a text value named
// "COMn:" holds the device's Linux path (/dev/ttyUSB0, /dev/serial/by-id/...,
// a pseudo-terminal). A COM name without such a value does not exist, unless the
// process listed it for itself (orven::serial::mapVolatilePort: the emulated phone's
// own hardware, held in memory and never written to the registry).
//
// A listing "gpsd://host[:port][/device]" (port 2947 when left out) makes the port a
// client of a running gpsd: it reads the NMEA sentences gpsd relays from its receiver
// (of one device when a path follows), as if the receiver were on the line. Its line
// settings are kept and read back but change nothing, it has no modem lines, and gpsd
// closing the connection is the device going away.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFFu
#endif

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3

// Errors set by the serial calls (the registry's and the handle table's are in win_types.h).
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif
#ifndef ERROR_OPERATION_ABORTED
#define ERROR_OPERATION_ABORTED 995L
#endif
#ifndef ERROR_DEVICE_NOT_CONNECTED
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#endif

// Line speeds.
#define CBR_4800 4800
#define CBR_9600 9600
#define CBR_19200 19200
#define CBR_38400 38400
#define CBR_57600 57600
#define CBR_115200 115200

// DCB values.
#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define DTR_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1
#define RTS_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_TOGGLE 3
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

// Events of SetCommMask / WaitCommEvent.
#define EV_RXCHAR 0x0001
#define EV_RXFLAG 0x0002
#define EV_TXEMPTY 0x0004
#define EV_CTS 0x0008
#define EV_DSR 0x0010
#define EV_RLSD 0x0020
#define EV_BREAK 0x0040
#define EV_ERR 0x0080
#define EV_RING 0x0100

// EscapeCommFunction.
#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6
#define SETBREAK 8
#define CLRBREAK 9

// GetCommModemStatus.
#define MS_CTS_ON 0x0010
#define MS_DSR_ON 0x0020
#define MS_RING_ON 0x0040
#define MS_RLSD_ON 0x0080

// The line settings, 28 bytes as on the phone.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
typedef DCB* LPDCB;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
typedef COMMTIMEOUTS* LPCOMMTIMEOUTS;

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

// ---- CreateFileW: opens "COMn:" (also "COMn") for OPEN_EXISTING, one opener at a time,
// across processes too (a second open fails with ERROR_ACCESS_DENIED until CloseHandle).
// A name without a device in the registry, a device that does not exist and a path that
// is not a terminal fail with ERROR_FILE_NOT_FOUND, as does a gpsd listing with no gpsd
// answering there. The port starts at 9600 baud, 8N1, with its receive buffer empty.
// Other names are not devices of this layer.
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creation, DWORD flags, HANDLE templateFile);

// ---- GetCommState / SetCommState. SetCommState applies the speed, data bits, parity,
// stop bits, flow control (CTS/RTS handshake, XON/XOFF) and the DTR and RTS lines to the
// device at once. When the device does not take them all, it fails with
// ERROR_INVALID_PARAMETER and the line keeps its previous settings; DTR/DSR handshake and
// RTS toggling fail with ERROR_NOT_SUPPORTED. fBinary, fNull, fErrorChar, fAbortOnError and
// EvtChar are kept and read back, but change nothing: the line is always binary.
// Pseudo-terminals keep any speed without enforcing it, take only 8 data bits without
// parity, and have no DTR or RTS, which is not an error here.
BOOL GetCommState(HANDLE port, LPDCB dcb);
BOOL SetCommState(HANDLE port, LPDCB dcb);

// ---- GetCommTimeouts / SetCommTimeouts. Read time-outs: ReadIntervalTimeout MAXDWORD
// with both totals 0 makes ReadFile return at once with what is buffered (possibly
// nothing). With any other setting ReadFile waits until at least one byte came or the
// total time-out (multiplier x bytes asked + constant; forever when both are 0) ran out,
// then returns what is buffered, up to the bytes asked. Write time-outs are kept.
BOOL GetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts);

// ---- EscapeCommFunction: SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXOFF,
// SETXON. FALSE with ERROR_NOT_SUPPORTED where the device has no such line (ptys).
BOOL EscapeCommFunction(HANDLE port, DWORD function);

// ---- SetCommMask / GetCommMask / WaitCommEvent (no overlapped waits).
// WaitCommEvent blocks until received bytes are ready to read (EV_RXCHAR, when the mask
// holds it) and then reports EV_RXCHAR. The modem-line events (EV_CTS, EV_DSR, EV_RLSD,
// EV_RING) are accepted in the mask and never reported: the terminal driver cannot wait
// for them together with the data. It returns FALSE with ERROR_OPERATION_ABORTED when the
// handle is closed from another thread, and with ERROR_DEVICE_NOT_CONNECTED when the
// device went away (USB unplugged, the far end of a pseudo-terminal closed).
//
// Received bytes are read from the device in batches into the port's 512-byte buffer:
// once bytes are there, the wait lets the line run for up to the time it takes to fill
// the buffer (at most a second; a second at 4800 baud), so that a receiver's burst of
// sentences costs a few system calls instead of one per byte. ReadFile of one byte is
// then served from the buffer.
BOOL SetCommMask(HANDLE port, DWORD mask);
BOOL GetCommMask(HANDLE port, LPDWORD mask);
BOOL WaitCommEvent(HANDLE port, LPDWORD mask, LPOVERLAPPED overlapped);

// ---- ReadFile of a serial port (no overlapped reads), per the time-outs above.
// In the immediate mode an empty buffer is refilled from the device with one read;
// right after a read that found the device's queue emptied, the next ReadFile on an
// empty buffer answers "nothing" without asking the device again.
// FALSE with ERROR_DEVICE_NOT_CONNECTED once the device went away.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);

// ---- GetCommModemStatus: MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON as the device
// reports them; 0 for a device without modem lines.
BOOL GetCommModemStatus(HANDLE port, LPDWORD status);

namespace orven::serial {

// What the ports asked of the terminal driver since the process started, for the
// benchmarks: every poll, read and ioctl made by WaitCommEvent, ReadFile and
// GetCommModemStatus, and the bytes received.
struct IoCounts {
    uint64_t systemCalls;
    uint64_t bytesReceived;
};
IoCounts ioCounts();

// Lists `path` as the device of "COMn:" for this process only: held in memory, never
// written to the device registry, gone when the process ends, so a killed program
// leaves no listing of a terminal another program may own next. The registry's own
// listing of the same port comes first. An empty path removes the listing.
void mapVolatilePort(int number, const std::string& path);

}  // namespace orven::serial
