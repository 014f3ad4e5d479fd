// The main window's timers: every id with its period, and who arms and who kills it.
//
// The emergency procedure is a chain of one-shot timers of mainWindow: each handler
// kills its own timer first and arms the next (the handlers are in
// app/emergency_procedure.cpp and app/receiver_search.cpp, dispatched by onTimer in
// app/main_window.cpp). Some are armed or killed from other threads (the GPS reader, the
// radio notification thread), which is safe: SetTimer and KillTimer may be called from
// any thread. No other file declares a timer id or period of the main window.
#pragma once

#include "platform/windows.h"

// Start-up. Armed by window creation; killed by its handler, which arms 11.
constexpr UINT_PTR startupTimer = 1;
constexpr UINT startupMs = 500;
// End of start-up: cue 1, the hardware button's start. Armed by timer 1; killed by its handler.
constexpr UINT_PTR startupEndTimer = 11;
constexpr UINT startupEndMs = 500;
// Periodic clock tick that keeps clockSnapshot fresh. Armed by window creation; killed at
// destruction.
constexpr UINT_PTR clockTickTimer = 11111;
constexpr UINT clockTickMs = 1000;

// The procedure starts. Armed by beginEmergencyProcedure and by a second start asking for an
// alert; killed by its handler, which connects the known port (3) or scans (2).
// endAlertSearch (the first alarm after a confirmation) kills 1111, 2, 3, 4, 44, 5 and 55.
constexpr UINT_PTR procedureStartTimer = 1111;
constexpr UINT procedureStartMs = 1000;
// Scan step: check this port, or try the next. Armed by tryGpsPort; killed by its handler and
// by the GPS reader once the receiver is found.
constexpr UINT_PTR scanTimer = 2;
// Check of the saved port. Armed by tryGpsPort (timer 1111); killed like timer 2.
constexpr UINT_PTR knownPortTimer = 3;
constexpr UINT portCheckMs = 7500;  // 2 and 3: time an opened port has to show a receiver
constexpr UINT failedPortMs = 500;  // 2: next step after a port that did not open
// Receiver lost: no sentence for 30 s. Armed and re-armed by the GPS reader at every sentence
// once the receiver is found; killed by its handler and by gpsPortClose/gpsShutdown. Its
// handler and that of 44 leave a link the GPS receiver test holds alone.
constexpr UINT_PTR receiverLostTimer = 4;
constexpr UINT receiverLostMs = 30000;
// Position missed: no fix 3 minutes after the receiver was found. Armed by the GPS reader;
// killed by its handler, by the parser at the first fix and by gpsPortClose/gpsShutdown.
constexpr UINT_PTR positionMissedTimer = 44;
constexpr UINT positionMissedMs = 180000;

// Position found. Armed by the parser at the first fix (1.5 s, so that the status line can be
// read before sending) and by the alert-sending test (2.5 s); killed by its handler, which
// arms 55, and by timer 1111 (a position another search found is not the alert's).
constexpr UINT_PTR positionFoundTimer = 5;
constexpr UINT positionFoundDelayMs = 1500;
constexpr UINT alertTestPositionDelayMs = 2500;
// First send. Armed by timer 5; killed by its handler, which arms 6 after a successful send,
// and by the confirmation watcher.
constexpr UINT_PTR firstSendTimer = 55;
constexpr UINT firstSendMs = 500;
// After a send: cue 8, then the next send. Armed by timers 55 and 7; killed by its handler and
// by the alarm (timer 8).
constexpr UINT_PTR afterSendTimer = 6;
constexpr UINT afterSendMs = 500;
// Repeated send. Armed by timer 6; killed by its handler, by the confirmation watcher and by
// the alarm.
constexpr UINT_PTR repeatSendTimer = 7;
constexpr UINT repeatSendMs = 60000;
// Confirmation alarm: cue 9, then again every 30 s. Armed by the confirmation watcher and
// re-armed by its own handler; killed by a tap or a key release.
constexpr UINT_PTR alarmTimer = 8;
constexpr UINT alarmDelayMs = 500;
constexpr UINT alarmRepeatMs = 30000;

// Volume restore after an asynchronous cue. Armed by playCue; killed by its handler.
constexpr UINT_PTR volumeRestoreTimer = 111;
constexpr UINT volumeRestoreDelayMs = 5000;
