// The device clock: GetLocalTime, GetSystemTime, GetTickCount and Sleep, and the one
// monotonic time source that the timers use. Under the virtual clock of the tests,
// time moves only when a test advances it, when the GUI thread sleeps, or when a
// synchronous sound plays on the GUI thread.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"
#include "platform/internal.h"
#include "platform/testing.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point processStart = Clock::now();

std::atomic<bool> virtualClock{false};
std::atomic<uint64_t> virtualNow{0};
// Wall time (seconds since the epoch, local) at virtual time 0.
std::atomic<int64_t> virtualWallStart{0};

SYSTEMTIME fromTm(const std::tm& tm, int milliseconds) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(tm.tm_year + 1900);
    st.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    st.wDay = static_cast<WORD>(tm.tm_mday);
    st.wHour = static_cast<WORD>(tm.tm_hour);
    st.wMinute = static_cast<WORD>(tm.tm_min);
    st.wSecond = static_cast<WORD>(tm.tm_sec);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    return st;
}

// Current wall time as seconds and milliseconds since the epoch.
void wallNow(int64_t& seconds, int& milliseconds) {
    if (virtualClock.load()) {
        uint64_t now = virtualNow.load();
        seconds = virtualWallStart.load() + static_cast<int64_t>(now / 1000);
        milliseconds = static_cast<int>(now % 1000);
        return;
    }
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    seconds = ts.tv_sec;
    milliseconds = static_cast<int>(ts.tv_nsec / 1000000);
}

}  // namespace

namespace orven::internal {

uint64_t nowMs() {
    if (virtualClock.load()) return virtualNow.load();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - processStart).count());
}

bool clockIsVirtual() {
    return virtualClock.load();
}

void advanceVirtualClock(uint64_t ms) {
    if (virtualClock.load()) virtualNow.fetch_add(ms);
}

}  // namespace orven::internal

namespace orven::test {

void useVirtualClock(const SYSTEMTIME& wallStart) {
    std::tm tm{};
    tm.tm_year = wallStart.wYear - 1900;
    tm.tm_mon = wallStart.wMonth - 1;
    tm.tm_mday = wallStart.wDay;
    tm.tm_hour = wallStart.wHour;
    tm.tm_min = wallStart.wMinute;
    tm.tm_sec = wallStart.wSecond;
    // Virtual wall time is kept as UTC seconds; local time is UTC under the test clock,
    // so tests do not depend on the machine's time zone.
    virtualWallStart.store(static_cast<int64_t>(timegm(&tm)));
    virtualNow.store(wallStart.wMilliseconds);
    virtualClock.store(true);
}

void useVirtualClock() {
    useVirtualClock(SYSTEMTIME{2026, 1, 1, 5, 9, 0, 0, 0});
}

uint64_t virtualNowMs() {
    return virtualNow.load();
}

}  // namespace orven::test

namespace {

// The wall clock now, broken down as local time or as UTC.
SYSTEMTIME brokenDownNow(bool local) {
    int64_t seconds;
    int milliseconds;
    wallNow(seconds, milliseconds);
    time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    if (local)
        localtime_r(&t, &tm);
    else
        gmtime_r(&t, &tm);
    return fromTm(tm, milliseconds);
}

}  // namespace

// ---- GetLocalTime
// The virtual clock has no time zone: its local time is its UTC.
void GetLocalTime(SYSTEMTIME* time) {
    *time = brokenDownNow(!virtualClock.load());
}

// ---- GetSystemTime
void GetSystemTime(SYSTEMTIME* time) {
    *time = brokenDownNow(false);
}

// ---- GetTickCount
DWORD GetTickCount() {
    return static_cast<DWORD>(orven::internal::nowMs());
}

// ---- Sleep
void Sleep(DWORD ms) {
    if (ms == INFINITE) {
        for (;;) pause();  // returns only after a signal handler ran
    }
    if (orven::internal::clockIsVirtual() && orven::internal::onGuiThread()) {
        orven::internal::advanceVirtualClock(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
