// Window timers with the phone's semantics: a timer is periodic until killed; SetTimer
// on a running id restarts its period; KillTimer of a timer that is not running does
// nothing. Both are safe from any thread. Due timers reach the window procedure as
// WM_TIMER through whichever message loop the GUI thread runs (also a modal one).
#include <map>

#include "platform/instance.h"
#include "platform/internal.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

struct Timer {
    UINT elapseMs;
    uint64_t due;
    uint64_t armSeq;  // identifies one SetTimer, so a stale WM_TIMER can be told apart
    TIMERPROC proc;
};

// Keyed by (window, id); guarded by loopLock.
std::map<std::pair<uintptr_t, UINT_PTR>, Timer> timers;
uint64_t armCounter = 0;

// The WM_TIMER last handed out, checked again when it is dispatched.
struct Taken {
    uintptr_t hwnd;
    UINT_PTR id;
    uint64_t armSeq;
};
thread_local Taken lastTaken{0, 0, 0};

unsigned long handleValue(HWND hwnd) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd));
}

}  // namespace

namespace orven::wm {

uint64_t nextTimerDueLocked() {
    uint64_t earliest = UINT64_MAX;
    for (auto& [key, timer] : timers) earliest = std::min(earliest, timer.due);
    return earliest;
}

// Ten or so timers at most: a linear scan is the simplest correct choice. Ties go to
// the timer armed first.
bool takeDueTimerLocked(uint64_t now, HWND filter, MSG* msg) {
    auto best = timers.end();
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->second.due > now) continue;
        if (filter != nullptr && it->first.first != reinterpret_cast<uintptr_t>(filter)) continue;
        if (best == timers.end() || it->second.due < best->second.due ||
            (it->second.due == best->second.due && it->second.armSeq < best->second.armSeq))
            best = it;
    }
    if (best == timers.end()) return false;
    HWND hwnd = reinterpret_cast<HWND>(best->first.first);
    *msg = MSG{hwnd,
               WM_TIMER,
               best->first.second,
               reinterpret_cast<LPARAM>(best->second.proc),
               static_cast<DWORD>(now),
               {}};
    best->second.due = now + best->second.elapseMs;
    lastTaken = Taken{best->first.first, best->first.second, best->second.armSeq};
    return true;
}

bool timerStillArmed(const MSG& msg) {
    std::lock_guard<std::mutex> hold(loopLock());
    auto it = timers.find({reinterpret_cast<uintptr_t>(msg.hwnd), msg.wParam});
    if (it == timers.end()) return false;
    if (lastTaken.hwnd == reinterpret_cast<uintptr_t>(msg.hwnd) && lastTaken.id == msg.wParam)
        return it->second.armSeq == lastTaken.armSeq;
    return true;
}

void removeTimersOfLocked(HWND hwnd) {
    uintptr_t key = reinterpret_cast<uintptr_t>(hwnd);
    for (auto it = timers.begin(); it != timers.end();)
        it = it->first.first == key ? timers.erase(it) : std::next(it);
}

}  // namespace orven::wm

// ---- SetTimer
// A window of another process (found with FindWindowW) is armed over the instance
// endpoint. Without a window nothing is armed (the call is traced all the same).
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    internal::trace("SetTimer hwnd=%#lx id=%lu ms=%u", handleValue(hwnd),
                    static_cast<unsigned long>(id), elapseMs);
    if (wm::isRemote(hwnd)) return instance::requestTimer(hwnd, id, elapseMs) ? id : 0;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        if (hwnd == nullptr || !wm::findLocked(hwnd)) return 0;
        // The phone treats a zero period as the shortest one it has.
        UINT period = elapseMs == 0 ? 1 : elapseMs;
        timers[{reinterpret_cast<uintptr_t>(hwnd), id}] =
            Timer{period, internal::nowMs() + period, ++armCounter, proc};
    }
    internal::wakeGui();
    return id;
}

// ---- KillTimer
BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    internal::trace("KillTimer hwnd=%#lx id=%lu", handleValue(hwnd),
                    static_cast<unsigned long>(id));
    bool removed;
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        removed = timers.erase({reinterpret_cast<uintptr_t>(hwnd), id}) != 0;
    }
    if (removed) internal::wakeGui();
    return removed ? TRUE : FALSE;
}
