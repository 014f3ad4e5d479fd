// The GPS port and its reader thread: opening "COMn:" at the receiver's line settings,
// the thread that reads NMEA bytes, frames and parses them and runs the per-sentence
// steps of the receiver search (status texts, "$GP" detection, cues 4 and 5, the
// watchdogs 4 and 44), closing the port, and the shutdown at program exit.
//
// Threads. The GUI thread opens and closes ports; one reader thread runs per opened
// port and ends by itself once its port is closed (or its device goes away). A reader
// is handed its own port handle when it starts and acts only while gpsState.portHandle
// is still that handle, so a reader of an earlier port never takes up a newer one. The
// link lock (in gps_port.cpp) makes "still my port" and "what I do about it" one step:
// the reader holds it while it handles a batch of bytes (except while cue 4 sounds), and
// gpsPortClose/gpsShutdown hold it while they reset the link. After a close, no reader
// arms a watchdog, writes a status text, saves the port or parses another byte.
#pragma once

#include "platform/windows.h"

// Closes any open port, opens portName ("COM%d:") at 4800 baud, 8N1, DTR and RTS on, no
// flow control, reads returning at once, and starts the reader thread. 1 when the port
// is open and the reader runs, else 0 (the port is closed again then).
int gpsPortOpen(LPCWSTR portName);

// Resets the link (receiverFound, positionFound, rmcStatus, fixQuality; timers 4 and 44
// stopped; repaint) and closes the port. The last position and its texts stay.
void gpsPortClose();

// The reader thread's procedure; `port` is the port handle it reads. Returns 0 when the
// port was closed or its device went away, after the idle-timer reset and a silent Shift
// press and release.
DWORD WINAPI gpsReaderThread(LPVOID port);

// At program exit: resets the link, stops timers 2, 3, 4 and 44, closes the port and
// waits (at most two seconds) for the reader to end.
void gpsShutdown();
