// Messages and the GUI thread's one wait: GetMessageW, PeekMessageW,
// DispatchMessageW, SendMessageW, PostMessageW and PostQuitMessage.
//
// GetMessageW returns, in this order: a posted message; WM_QUIT once the queue is
// empty and a quit was posted; WM_PAINT for an invalid window; WM_TIMER for the
// earliest due timer. With none of these it blocks until the earliest due time, input,
// or a wake-up from another thread. Nothing spins: an idle program wakes only for its
// own timers.
//
// Under the virtual clock the wait does not pass real time: the GUI thread jumps to
// the next due timer as long as it lies within the time a test has granted
// (advanceVirtual), and otherwise reports itself idle and sleeps until something
// changes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

#include "platform/clock.h"
#include "platform/internal.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

std::condition_variable loopCv;  // the headless wait and the idle handshake
std::deque<MSG> posted;
std::deque<std::function<void()>*> guiCalls;  // test hooks run inside any message loop
bool quitPosted = false;
int quitCode = 0;
uint64_t wakeSeq = 0;           // bumped by every change the GUI thread may wait for
uint64_t idleSeq = UINT64_MAX;  // wakeSeq the GUI thread saw when it last went idle
bool guiIdle = false;
uint64_t virtualTarget = 0;  // virtual time the GUI thread may run up to
bool guiThreadRunning = false;
bool guiThreadEnded = false;  // a GUI thread of its own ran and has returned
std::atomic<bool> loopHasStarted{false};

std::atomic<std::thread::id> guiThreadId{};
std::atomic<bool> guiThreadKnown{false};

// Key state for GetKeyState: bit 15 set while down.
std::atomic<bool> keysDown[256];

void noteGuiThread() {
    bool expected = false;
    if (guiThreadKnown.compare_exchange_strong(expected, true))
        guiThreadId.store(std::this_thread::get_id());
}

bool matchesFilter(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd != nullptr && msg.hwnd != hwnd) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

bool wantsMessage(UINT message, UINT filterMin, UINT filterMax) {
    return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

// Finds the message GetMessageW/PeekMessageW would return now. Caller holds loopLock.
bool takeLocked(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = posted.begin(); it != posted.end(); ++it) {
        if (!matchesFilter(*it, hwnd, filterMin, filterMax)) continue;
        *msg = *it;
        if (remove) posted.erase(it);
        return true;
    }
    if (quitPosted && hwnd == nullptr) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, 0, {}};
        if (remove) quitPosted = false;
        return true;
    }
    if (wantsMessage(WM_PAINT, filterMin, filterMax)) {
        // Oldest invalid window first, so a parent paints before what it owns.
        std::shared_ptr<wm::Window> best;
        wm::forEachWindowLocked([&](const std::shared_ptr<wm::Window>& w) {
            if (!best && w->invalid && !w->destroying &&
                (hwnd == nullptr || wm::handleOf(*w) == hwnd))
                best = w;
        });
        if (best) {
            *msg = MSG{wm::handleOf(*best), WM_PAINT, 0, 0, 0, {}};
            return true;  // the flag clears when the window validates itself
        }
    }
    if (wantsMessage(WM_TIMER, filterMin, filterMax) && remove &&
        wm::takeDueTimerLocked(internal::nowMs(), hwnd, msg))
        return true;
    return false;
}

// Runs the test hooks queued for the GUI thread. Caller holds the lock; it is released
// around each hook.
bool runGuiCallsLocked(std::unique_lock<std::mutex>& lock) {
    bool ran = false;
    while (!guiCalls.empty()) {
        auto* fn = guiCalls.front();
        guiCalls.pop_front();
        lock.unlock();
        (*fn)();
        lock.lock();
        ran = true;
    }
    return ran;
}

// The virtual clock's step: jump to the next due timer within the granted time.
// Returns true when time moved and the caller should look for messages again.
bool stepVirtualTimeLocked() {
    uint64_t now = internal::nowMs();
    uint64_t due = wm::nextTimerDueLocked();
    if (due <= now) return true;
    if (due <= virtualTarget) {
        internal::advanceVirtualClock(due - now);
        return true;
    }
    if (now < virtualTarget) internal::advanceVirtualClock(virtualTarget - now);
    return false;
}

}  // namespace

namespace orven::wm {

std::mutex& loopLock() {
    static std::mutex lock;
    return lock;
}

bool loopStarted() {
    return loopHasStarted.load();
}

void callOnGuiThread(const std::function<void()>& fn) {
    if (internal::onGuiThread()) {
        fn();
        return;
    }
    std::mutex doneLock;
    std::condition_variable doneCv;
    bool done = false;
    std::function<void()> wrapped = [&] {
        fn();
        std::lock_guard<std::mutex> hold(doneLock);
        done = true;
        doneCv.notify_all();
    };
    {
        std::lock_guard<std::mutex> hold(loopLock());
        guiCalls.push_back(&wrapped);
        ++wakeSeq;
    }
    loopCv.notify_all();
    display::backend().wake();
    // A program that ends while the call waits in the queue never takes it: the call then
    // runs here, as calls do once no GUI thread runs.
    std::unique_lock<std::mutex> wait(doneLock);
    while (!doneCv.wait_for(wait, std::chrono::milliseconds(20), [&] { return done; })) {
        std::lock_guard<std::mutex> hold(loopLock());
        if (!guiThreadEnded) continue;
        auto queued = std::find(guiCalls.begin(), guiCalls.end(), &wrapped);
        if (queued == guiCalls.end()) continue;
        guiCalls.erase(queued);
        break;
    }
    if (done) return;
    wait.unlock();
    fn();
}

void waitForWakeLocked(std::unique_lock<std::mutex>& lock, int64_t timeoutMs) {
    uint64_t seen = wakeSeq;
    auto changed = [&] { return wakeSeq != seen; };
    if (timeoutMs < 0)
        loopCv.wait(lock, changed);
    else
        loopCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), changed);
}

void setGuiThreadRunning(bool running) {
    std::lock_guard<std::mutex> hold(loopLock());
    guiThreadEnded = guiThreadRunning && !running;
    guiThreadRunning = running;
}

void advanceVirtual(uint32_t ms) {
    std::unique_lock<std::mutex> lock(loopLock());
    virtualTarget = std::max<uint64_t>(virtualTarget, internal::nowMs()) + ms;
    if (!guiThreadRunning) {
        // No GUI thread of its own: the calling thread runs the loop.
        noteGuiThread();
        for (;;) {
            runGuiCallsLocked(lock);
            MSG msg;
            if (takeLocked(&msg, nullptr, 0, 0, true)) {
                lock.unlock();
                if (msg.message != WM_QUIT) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                lock.lock();
                continue;
            }
            if (!stepVirtualTimeLocked()) break;
        }
        return;
    }
    uint64_t seq = ++wakeSeq;
    loopCv.notify_all();
    // Real time bounds the handshake so a stuck scenario fails instead of hanging.
    bool idle = loopCv.wait_for(lock, std::chrono::seconds(30), [&] {
        return !guiThreadRunning || (guiIdle && idleSeq >= seq && idleSeq == wakeSeq &&
                                     internal::nowMs() >= virtualTarget);
    });
    if (!idle) {
        std::fprintf(stderr, "orven test: the GUI thread did not become idle within 30 s\n");
        std::abort();
    }
}

}  // namespace orven::wm

namespace orven::internal {

bool onGuiThread() {
    return guiThreadKnown.load() && guiThreadId.load() == std::this_thread::get_id();
}

void wakeGui() {
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        ++wakeSeq;
    }
    loopCv.notify_all();
    display::backend().wake();
}

}  // namespace orven::internal

// Registers the calling thread as the GUI thread if none is known yet.
void orvenNoteGuiThread() {
    noteGuiThread();
}

// ---- GetMessageW
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    noteGuiThread();
    std::unique_lock<std::mutex> lock(wm::loopLock());
    for (;;) {
        if (runGuiCallsLocked(lock)) continue;
        if (takeLocked(msg, hwnd, filterMin, filterMax, true))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        if (!loopHasStarted.exchange(true)) internal::trace("message loop waiting");
        if (internal::clockIsVirtual()) {
            if (stepVirtualTimeLocked()) continue;
            uint64_t seen = wakeSeq;
            idleSeq = seen;
            guiIdle = true;
            loopCv.notify_all();
            loopCv.wait(lock, [&] { return wakeSeq != seen; });
            guiIdle = false;
            continue;
        }
        uint64_t due = wm::nextTimerDueLocked();
        int64_t timeout = -1;
        if (due != UINT64_MAX) {
            uint64_t now = internal::nowMs();
            timeout = due > now ? static_cast<int64_t>(due - now) : 0;
        }
        display::backend().wait(lock, timeout);
    }
}

// ---- PeekMessageW
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
    noteGuiThread();
    std::unique_lock<std::mutex> lock(wm::loopLock());
    runGuiCallsLocked(lock);
    return takeLocked(msg, hwnd, filterMin, filterMax, (removeMessage & PM_REMOVE) != 0);
}

// ---- TranslateMessage
// Character messages come from the input backends directly (WM_CHAR is posted beside
// WM_KEYDOWN), so there is nothing to translate.
BOOL TranslateMessage(const MSG* msg) {
    return msg != nullptr && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP);
}

// ---- DispatchMessageW
LRESULT DispatchMessageW(const MSG* msg) {
    if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP)
        keysDown[msg->wParam & 0xFF].store(msg->message == WM_KEYDOWN);
    if (msg->message == WM_TIMER) {
        if (!wm::timerStillArmed(*msg)) return 0;  // killed after it was taken
        if (msg->lParam != 0) {
            auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
            proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
            return 0;
        }
    }
    auto window = wm::find(msg->hwnd);
    if (!window || window->proc == nullptr) return 0;
    return window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// ---- SendMessageW
// From the GUI thread the window procedure is called directly. From another thread the
// call is carried out by the GUI thread and the caller waits for its result.
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = wm::find(hwnd);
    if (!window || window->proc == nullptr) return 0;
    if (!guiThreadKnown.load() || internal::onGuiThread())
        return window->proc(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    wm::callOnGuiThread([&] {
        if (auto w = wm::find(hwnd); w && w->proc) result = w->proc(hwnd, message, wParam, lParam);
    });
    return result;
}

// ---- PostMessageW
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        if (hwnd != nullptr && !wm::findLocked(hwnd)) return FALSE;
        posted.push_back(
            MSG{hwnd, message, wParam, lParam, static_cast<DWORD>(internal::nowMs()), {}});
        ++wakeSeq;
    }
    loopCv.notify_all();
    display::backend().wake();
    return TRUE;
}

// ---- PostQuitMessage
void PostQuitMessage(int exitCode) {
    {
        std::lock_guard<std::mutex> hold(wm::loopLock());
        quitPosted = true;
        quitCode = exitCode;
        ++wakeSeq;
    }
    loopCv.notify_all();
    display::backend().wake();
}

// ---- GetKeyState
short GetKeyState(int virtualKey) {
    return keysDown[virtualKey & 0xFF].load() ? static_cast<short>(0x8000) : 0;
}
