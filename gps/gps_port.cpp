// The GPS port and its reader thread. See gps_port.h for how the reader and the GUI
// thread share the link.
#include "gps/gps_port.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/gps_state.h"
#include "common/program.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/nmea_parser.h"
#include "settings/app_settings.h"

namespace {

constexpr DWORD writeMsPerByte = 10;  // write time-outs: 10 ms a byte plus a second
constexpr DWORD writeConstantMs = 1000;
constexpr DWORD openEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD loopEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RING;
constexpr int receiverFoundCue = 4;
constexpr int awaitingPositionCue = 5;
constexpr WORD cueSecondsRhythm = 30;  // cue 5 in the seconds 0 and 30 while no fix
constexpr auto readerEndWait = std::chrono::seconds(2);  // gpsShutdown waits for the reader

const WCHAR awaitingPositionText[] = u"GPS Rx found\nAwaiting for position...";

// Guards the link: which port is current, and everything a reader does about a batch
// of its bytes (framer, per-sentence steps, parsing) against the GUI's reset of the link.
std::mutex linkLock;

// Reader threads that have not ended yet, for gpsShutdown.
std::mutex readersLock;
std::condition_variable readersChanged;
int readersRunning = 0;  // guarded by readersLock

bool isCurrent(HANDLE port) {
    return gpsState.portHandle.load() == port;
}

void readerEnded() {
    std::lock_guard hold(readersLock);
    --readersRunning;
    readersChanged.notify_all();
}

// 4800 baud, 8N1, binary, DTR and RTS on, no flow control; reads return at once.
bool configurePort(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetCommState(port, &dcb);
    dcb.BaudRate = CBR_4800;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(port, &dcb)) return false;

    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(port, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = writeMsPerByte;
    timeouts.WriteTotalTimeoutConstant = writeConstantMs;
    if (!SetCommTimeouts(port, &timeouts)) return false;

    EscapeCommFunction(port, SETDTR);
    EscapeCommFunction(port, SETRTS);
    return true;
}

// The per-sentence status: written (and repainted) only when it differs from what the
// screen shows, so that a receiver repeating itself several times a second does not
// have the whole screen redrawn for the same text each time.
void showStatus(LPCWSTR text) {
    WCHAR shown[statusTextSize];
    copyStatusText(shown);
    if (lstrcmpW(shown, text) != 0) setStatusText(text);
}

// What the main screen shows of the link besides the status text: while a receiver
// answers without a fix, its last sentence and the satellite counts; otherwise nothing.
struct Diagnostics {
    bool shown = false;
    uint32_t inView = 0, used = 0;
    WCHAR sentence[lastSentenceSize] = {};

    bool operator==(const Diagnostics& other) const {
        return shown == other.shown && inView == other.inView && used == other.used &&
               lstrcmpW(sentence, other.sentence) == 0;
    }
};

Diagnostics currentDiagnostics() {
    Diagnostics now;
    now.shown = gpsState.rmcStatus.load() != 1 && gpsState.fixQuality.load() == 0 &&
                gpsState.receiverFound.load() != 0 && gpsState.searchState.load() != 0;
    if (!now.shown) return now;
    now.inView = gpsState.satellitesInView.load();
    now.used = gpsState.satellitesUsed.load();
    copyLastSentence(now.sentence);
    return now;
}

// The diagnostics last asked to be painted. Guarded by linkLock (the reader of the
// current port, and gpsPortOpen).
Diagnostics paintedDiagnostics;

// After each sentence: a repaint when the diagnostics changed, and only then.
void repaintChangedDiagnostics() {
    Diagnostics now = currentDiagnostics();
    if (now == paintedDiagnostics) return;
    paintedDiagnostics = now;
    InvalidateRect(mainWindow, nullptr, FALSE);
}

// The first sentence holding "$GP": the receiver is on this port. Cue 4 plays with the
// link lock released, so the GUI can close the port meanwhile; false when it did.
bool announceReceiver(HANDLE port, std::unique_lock<std::mutex>& link) {
    gpsState.receiverFound.store(1);
    gpsState.searchState.store(3);
    KillTimer(mainWindow, scanTimer);
    KillTimer(mainWindow, knownPortTimer);
    storePortNumber();
    setStatusText(awaitingPositionText);
    link.unlock();
    playCue(receiverFoundCue, false);
    playCue(awaitingPositionCue, true);
    link.lock();
    if (!isCurrent(port)) return false;
    SetTimer(mainWindow, positionMissedTimer, positionMissedMs, nullptr);
    return true;
}

// The reader's steps for a sentence the framer completed, before it is parsed.
// False when the port was closed meanwhile (the sentence is then dropped).
bool onSentence(HANDLE port, std::unique_lock<std::mutex>& link) {
    WCHAR sentence[lastSentenceSize];
    wsprintfW(sentence, u"%.100s", gpsState.sentenceBuffer);
    setLastSentence(sentence);
    if (gpsState.receiverFound.load() == 0) {
        WCHAR searching[statusTextSize];
        wsprintfW(searching, u"Searching GPS Rx\nin port COM%d...",
                  appSettings.gpsPortNumber.load());
        showStatus(searching);
    } else if (gpsState.fixQuality.load() == 0) {
        showStatus(awaitingPositionText);
        if (readClockSnapshot().wSecond % cueSecondsRhythm == 0) playCue(awaitingPositionCue, true);
    }
    if (gpsState.receiverFound.load() == 0 && StrStrW(sentence, u"$GP") != nullptr &&
        !announceReceiver(port, link))
        return false;
    if (gpsState.receiverFound.load() == 1)
        SetTimer(mainWindow, receiverLostTimer, receiverLostMs, nullptr);
    dispatchSentence();
    repaintChangedDiagnostics();
    return true;
}

// Reads what the port holds, one byte per ReadFile, until a read brings nothing.
// False when the port is no longer this reader's.
bool readBatch(HANDLE port) {
    std::unique_lock link(linkLock);
    if (!isCurrent(port)) return false;
    for (;;) {
        BYTE byte = 0;
        DWORD got = 0;
        if (!ReadFile(port, &byte, 1, &got, nullptr) || got == 0) return true;
        if (sentenceFramer(byte) && !onSentence(port, link)) return false;
    }
}

}  // namespace

int gpsPortOpen(LPCWSTR portName) {
    gpsPortClose();
    HANDLE port =
        CreateFileW(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return 0;
    if (!configurePort(port)) {
        CloseHandle(port);
        return 0;
    }
    {
        std::lock_guard link(linkLock);
        gpsState.portHandle.store(port);
        paintedDiagnostics = Diagnostics{};
    }
    {
        std::lock_guard hold(readersLock);
        ++readersRunning;
    }
    HANDLE thread = CreateThread(nullptr, 0, gpsReaderThread, port, 0, nullptr);
    if (thread == nullptr) {
        readerEnded();
        gpsPortClose();
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

void gpsPortClose() {
    HANDLE port;
    {
        std::lock_guard link(linkLock);
        gpsState.receiverFound.store(0);
        gpsState.positionFound.store(0);
        KillTimer(mainWindow, receiverLostTimer);
        KillTimer(mainWindow, positionMissedTimer);
        gpsState.rmcStatus.store(0);
        gpsState.fixQuality.store(0);
        port = gpsState.portHandle.exchange(INVALID_HANDLE_VALUE);
    }
    InvalidateRect(mainWindow, nullptr, FALSE);
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
}

DWORD WINAPI gpsReaderThread(LPVOID parameter) {
    HANDLE port = static_cast<HANDLE>(parameter);
    SetCommMask(port, openEvents);
    {
        std::lock_guard link(linkLock);
        // A sentence half-read on an earlier port must not be completed by this one.
        if (isCurrent(port)) sentenceFramerReset();
    }
    while (isCurrent(port)) {
        setLastSentence(u"");
        SYSTEMTIME now;
        GetLocalTime(&now);
        setClockSnapshot(now);
        DWORD events = 0;
        // Fails when the port is closed, and when its device went away: then the reader
        // ends instead of spinning, and watchdog 4 or the search notices the silence.
        if (!WaitCommEvent(port, &events, nullptr)) break;
        SetCommMask(port, loopEvents);
        if ((events & EV_RXCHAR) != 0 && !readBatch(port)) break;
        DWORD modemStatus = 0;
        GetCommModemStatus(port, &modemStatus);
    }
    // Activity for the power manager, so the phone does not sleep right after the GPS.
    SystemIdleTimerReset();
    keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP | KEYEVENTF_SILENT, 0);
    readerEnded();
    return 0;
}

void gpsShutdown() {
    // The search's timers too; the rest is an ordinary close.
    KillTimer(mainWindow, scanTimer);
    KillTimer(mainWindow, knownPortTimer);
    gpsPortClose();
    // The reader must not outlive the program's records it writes.
    std::unique_lock hold(readersLock);
    readersChanged.wait_for(hold, readerEndWait, [] { return readersRunning == 0; });
}
