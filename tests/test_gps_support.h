// Helpers shared by the GPS port and receiver search tests: a fresh phone whose test
// thread is the GUI thread and owns the main window, simulated receivers switched on
// once their port is open, and readers of the trace, the cues, the status text and the
// saved port number.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "common/gps_state.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "gps/gps_port.h"
#include "platform/testing.h"
#include "settings/app_settings.h"
#include "sim/nmea_receiver.h"

namespace gpstest {

// The trace line of a reader thread's end (its silent Shift release).
inline const char readerEndLine[] = "keybd_event vk=0x10 flags=0x6";

// The window class is registered once per process; each scenario's main window runs
// the procedure that scenario gives.
inline WNDPROC& scenarioProc() {
    static WNDPROC proc = nullptr;
    return proc;
}

inline LRESULT CALLBACK forwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return scenarioProc()(window, message, wParam, lParam);
}

// A fresh phone whose virtual clock reads 2026-01-05 09:00:<second>, with a main window
// run by `proc` on the test thread. Closes the link when done.
struct Device {
    orven::test::Phone phone;
    Device(WNDPROC proc, WORD second) {
        orven::test::useVirtualClock(SYSTEMTIME{2026, 1, 1, 5, 9, 0, second, 0});
        // Several scenarios may share a process (a direct run of the test binary).
        orven::test::clearTrace();
        orven::test::clearPlayedSounds();
        resetSettingsForTests();
        gpsState.searchState = 0;
        gpsState.satellitesInView = 0;
        setLastSentence(u"");
        setStatusText(u"");
        fillAppFolder();
        scenarioProc() = proc;
        WNDCLASSW wc{};
        wc.lpfnWndProc = forwardingProc;
        wc.lpszClassName = u"GpsTestWindow";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"GpsTestWindow", u"gps", 0, 0, 0, 240, 320, nullptr,
                                     nullptr, nullptr, nullptr);
    }
    ~Device() {
        gpsShutdown();
        DestroyWindow(mainWindow);
        mainWindow = nullptr;
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Waits in real time for the reader thread, without moving virtual time.
    bool waitFor(const std::function<bool()>& done, uint32_t timeoutMs = 8000) const {
        return phone.waitFor(done, 0, timeoutMs);
    }
};

// A receiver that is switched off until switchOn(), so that what it says is not dropped
// as bytes from before its port was opened.
inline std::unique_ptr<orven::sim::NmeaReceiver> receiver(std::vector<orven::sim::Phase> phases,
                                                          bool paced = false,
                                                          const char* talker = "GP") {
    orven::sim::Scenario scenario;
    scenario.phases = {{orven::sim::Phase::off}};
    scenario.phases.insert(scenario.phases.end(), phases.begin(), phases.end());
    scenario.paced = paced;
    scenario.talker = talker;
    scenario.startUtc = 1767571200 + 12 * 3600 + 35 * 60;  // 2026-01-05 12:35:00 UTC
    auto started = orven::sim::NmeaReceiver::start(scenario);
    EXPECT_TRUE(started);
    return started;
}

inline int traced(const std::string& needle) {
    int count = 0;
    for (const std::string& line : orven::test::traceLines())
        if (line.find(needle) != std::string::npos) ++count;
    return count;
}

// The position of the first trace line holding needle, or -1.
inline int firstTraced(const std::string& needle) {
    const std::vector<std::string> lines = orven::test::traceLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(needle) != std::string::npos) return static_cast<int>(i);
    return -1;
}

// Trace lines of SetTimer or KillTimer ("SetTimer hwnd=0x10010 id=4 ms=30000").
inline bool isTimerCall(const std::string& line, const std::string& call, int id) {
    const std::string field = " id=" + std::to_string(id);
    const size_t at = line.find(field);
    return line.rfind(call + " ", 0) == 0 && at != std::string::npos &&
           (at + field.size() == line.size() || line[at + field.size()] == ' ');
}

inline int timerCalls(const std::string& call, int id) {
    int count = 0;
    for (const std::string& line : orven::test::traceLines()) count += isTimerCall(line, call, id);
    return count;
}

inline int firstTimerCall(const std::string& call, int id) {
    const std::vector<std::string> lines = orven::test::traceLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (isTimerCall(lines[i], call, id)) return static_cast<int>(i);
    return -1;
}

// Cues played, as "4" for a synchronous and "5a" for an asynchronous one.
inline std::vector<std::string> cues() {
    std::vector<std::string> played;
    for (const auto& sound : orven::test::playedSounds()) {
        const size_t slash = sound.file.rfind('/');
        std::string cue = sound.file.substr(slash + 1, sound.file.find('.', slash) - slash - 1);
        played.push_back(cue + (sound.async ? "a" : ""));
    }
    return played;
}

inline std::string status() {
    WCHAR text[statusTextSize];
    copyStatusText(text);
    return orven::toUtf8(text);
}

// "GPS port number" in the settings key, or -99 when there is none.
inline int32_t savedPortNumber() {
    HKEY key = nullptr;
    int32_t number = -99;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKeyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return number;
    DWORD size = sizeof number;
    RegQueryValueExW(key, gpsPortNumberValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(&number),
                     &size);
    RegCloseKey(key);
    return number;
}

}  // namespace gpstest
