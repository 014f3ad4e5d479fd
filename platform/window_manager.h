// Internals of the window manager shared by window.cpp, message.cpp, timers.cpp,
// instance.cpp and the display backends. Never included by the program.
//
// One lock (loopLock) guards everything the GUI thread's wait depends on: the posted
// queue, the timer table, the windows' invalid state and the window table itself.
// Window procedures are never called with it held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"

namespace orven::wm {

struct Window {
    uintptr_t id = 0;
    std::u16string className;
    std::u16string title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    HBRUSH background = nullptr;
    HWND parent = nullptr;       // child windows only
    HWND owner = nullptr;        // top-level windows owned by another (dialogs): die with it
    int controlId = 0;           // GWL_ID: a child's id (the menu argument of CreateWindowExW)
    LONG_PTR userData = 0;       // GWL_USERDATA
    bool disabled = false;       // WS_DISABLED
    bool textByMessage = false;  // SetWindowTextW sends WM_SETTEXT (edit controls)
    bool keepsScreenPosition = false;  // a child that stays put when its parent moves
    LONG_PTR dialogWords[3]{};         // DWL_MSGRESULT, DWL_DLGPROC, DWL_USER (dialogs)
    // State of the platform's own window classes (controls, dialogs), dropped with the
    // window. GUI thread only.
    std::shared_ptr<void> extra;
    RECT rect{};  // screen coordinates
    bool visible = false;
    bool minimized = false;
    bool invalid = false;  // a WM_PAINT is due
    bool eraseBackground = false;
    bool destroying = false;
    uint64_t creationOrder = 0;
};

std::mutex& loopLock();

// Window table (caller holds loopLock).
std::shared_ptr<Window> findLocked(HWND hwnd);
// The same, taking the lock.
std::shared_ptr<Window> find(HWND hwnd);
HWND handleOf(const Window& window);
// Visits every window, oldest first (caller holds loopLock).
void forEachWindowLocked(const std::function<void(const std::shared_ptr<Window>&)>& visit);

// Remote windows of another process (instance.cpp): handles with this tag bit.
constexpr uintptr_t remoteTag = 0x40000000;
inline bool isRemote(HWND hwnd) {
    return (reinterpret_cast<uintptr_t>(hwnd) & remoteTag) != 0;
}

// Timers (timers.cpp, caller holds loopLock).
// Earliest due time of any timer, or UINT64_MAX.
uint64_t nextTimerDueLocked();
// Takes a due timer (due <= now), reschedules it and fills msg; false when none is due.
bool takeDueTimerLocked(uint64_t now, HWND filter, MSG* msg);
// Whether the WM_TIMER in msg still stands (not killed or re-armed since it was taken).
bool timerStillArmed(const MSG& msg);
void removeTimersOfLocked(HWND hwnd);

// The loop's wait (message.cpp).
void markInvalidLocked(Window& window, bool erase);

// Sets the window's text without WM_SETTEXT (the controls keep their text there), and
// makes SetWindowTextW on the GUI thread send WM_SETTEXT to the window instead.
bool storeTitle(HWND hwnd, LPCWSTR text);
void receiveTextMessages(HWND hwnd);

// A top-level window of this process with that class and title (null matches any).
HWND findLocalTopLevel(LPCWSTR className, LPCWSTR windowName);

// A top-level window of the platform itself (the shell's notification windows), made
// from any thread: unlike CreateWindowExW it neither takes the calling thread for the
// GUI thread nor counts as the program's application window or as a claim to be the
// running instance, and it sends no WM_CREATE. Its class must be registered.
HWND createPlatformWindow(LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect);

// The first top-level window the program created: the one signals close.
HWND applicationWindow();
// True once the GUI thread has waited in its message loop for the first time.
bool loopStarted();

// The headless wait (message.cpp): sleeps on the loop's condition until wakeGui() or
// the time-out. Caller holds loopLock through `lock`.
void waitForWakeLocked(std::unique_lock<std::mutex>& lock, int64_t timeoutMs);

// Input as the touch screen and the keys deliver it (input.cpp): a tap goes to the
// topmost visible window under the point, in its client coordinates; keys go to the
// foreground window (else the application window). Any thread.
void deliverTap(int x, int y, bool down);
void deliverKey(int virtualKey, bool down);
void deliverChar(WCHAR c);

// The emulated shell (tray.cpp) learns, on the calling thread and without loopLock,
// that a top-level window was minimised, hidden, shown or restored: it shows its
// desktop while no window of the program is shown.
void showStateChanged(HWND hwnd);

// Test hooks (message.cpp): run fn on the GUI thread from another thread.
void callOnGuiThread(const std::function<void()>& fn);
void setGuiThreadRunning(bool running);
void advanceVirtual(uint32_t ms);

}  // namespace orven::wm

// Display backends (the headless one in display.cpp, the SDL one in display_sdl.cpp): the screen the windows
// draw into, and the wait of the GUI thread for input.
namespace orven::display {

struct Backend {
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // Shows the framebuffer (XRGB, width x height).
    virtual void present(const uint32_t* pixels, int width, int height) = 0;
    // Waits for input or a wake-up at most timeoutMs (-1: without end) with loopLock
    // released, turning input into posted messages. Returns with loopLock held.
    virtual void wait(std::unique_lock<std::mutex>& lock, int64_t timeoutMs) = 0;
    // Called from any thread after wakeGui() changed something.
    virtual void wake() = 0;
    virtual void raise() {}
    // What the window shows as last presented, screen and all, at the window's own
    // resolution (XRGB, row by row), for the tests; false without a window.
    virtual bool shownPixels(std::vector<uint32_t>&, int&, int&) { return false; }
};

// The backend in use; headless until select() picks another.
Backend& backend();
// "sdl" or "headless"; returns false (and keeps headless) when sdl cannot start.
bool select(const std::string& name, int width, int height);

}  // namespace orven::display
