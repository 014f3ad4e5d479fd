// Test-only controls of the emulated phone. The program never includes this header.
//
// A scenario reads as a short script:
//
//   orven::test::Phone phone;            // fresh device directory, virtual clock, headless
//   phone.registry(...)                  // prepare hives
//   phone.start(WinMain, u"-a");         // the program runs on its own GUI thread
//   phone.advance(1500);                 // every timer due in 1.5 s fires, in order
//   EXPECT_EQ(phone.onGui([] { ... }), ...);
//
// Everything a test reads from the program goes through onGui(), so the test thread
// and the GUI thread never race.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace orven::test {

// ---- Clock
// Switches the layer to the virtual clock; wall time starts at `wallStart`.
// Call before any window or timer exists.
void useVirtualClock(const SYSTEMTIME& wallStart);
void useVirtualClock();  // 2026-01-05 09:00:00 local time
uint64_t virtualNowMs();

// Runs the GUI loop on the calling thread (when no GUI thread was started) or on the
// program's GUI thread: every message and timer due within `ms` is dispatched in order
// and virtual time ends `ms` later.
void advance(uint32_t ms);
// Dispatches what is due now, without moving time.
void runUntilIdle();

// ---- Sound capture
struct PlayedSound {
    std::string file;        // Linux path of the wave file
    bool async;              // SND_ASYNC was given
    uint32_t volumeAtStart;  // output volume while it played
    uint64_t atMs;           // virtual time when it started
};
// No audio device is opened. Plays are recorded; a synchronous play moves virtual time
// on by the sound's length when made on the GUI thread. The output volume is the
// emulated one of the device directory.
void captureSounds();
std::vector<PlayedSound> playedSounds();
void clearPlayedSounds();
uint32_t outputVolume();
void setOutputVolume(uint32_t volume);
// Ends capture: sounds play through SDL again. The audio device is closed, so the next
// play opens it anew with the SDL_AUDIODRIVER then in the environment.
void playSounds();

// ---- Trace
// The lines the layer traced so far (timers armed and killed, foreground, ...).
std::vector<std::string> traceLines();
void clearTrace();

// ---- A fresh emulated phone for one scenario.
class Phone {
  public:
    // Makes a fresh device directory under the test's temporary folder, points
    // ORVEN_DEVICE at it, selects the headless display, the virtual clock and sound
    // capture. `profile` is written as the device profile when not empty.
    explicit Phone(const std::string& profile = "");
    ~Phone();
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    const std::string& deviceDir() const { return deviceDir_; }
    // Writes a hive file ("system.reg" or "user.reg") before the program starts.
    void writeHive(const std::string& name, const std::string& content) const;
    std::string readHive(const std::string& name) const;

    // Runs entryPoint(instance, 0, commandLine, SW_SHOW) on a new GUI thread and waits
    // until that thread is idle. exitCode() is valid once finished() is true.
    using EntryPoint = int (*)(HINSTANCE, HINSTANCE, LPWSTR, int);
    void start(EntryPoint entryPoint, const std::u16string& commandLine);
    bool finished() const;
    int exitCode() const;

    void advance(uint32_t ms) const { test::advance(ms); }
    // Runs fn on the GUI thread (inside whatever message loop it is in) and waits.
    void onGui(const std::function<void()>& fn) const;
    template <typename F>
    auto read(F fn) const -> decltype(fn()) {
        decltype(fn()) result{};
        onGui([&] { result = fn(); });
        return result;
    }

    // Input, as the emulated phone's touch screen and keys deliver it.
    void tap(int x, int y) const;
    void keyUp(int virtualKey) const;
    void keyPress(int virtualKey, bool control = false) const;
    // Types text as the desktop keyboard does: one WM_CHAR per UTF-16 unit (letters
    // beyond ASCII included) to the window with the focus.
    void type(const std::u16string& text) const;
    // Presses and releases hardware button n (1 to 4: the SDL window's F5 to F8; on a
    // key-preference device 1 is the short and 2 the long press).
    void hardwareButton(int n) const;

    // Waits in real time (bounded) until pred, run on the GUI thread, holds, advancing
    // the virtual clock by stepMs between tries. Returns whether it held.
    bool waitFor(const std::function<bool()>& pred, uint32_t stepMs = 10,
                 uint32_t realTimeoutMs = 5000) const;

  private:
    std::string deviceDir_;
    struct Runner;
    Runner* runner_ = nullptr;
};

// ---- Screen, message boxes, popup menus and the shell
// Saves the framebuffer as a PNG; reads one pixel as 0xRRGGBB.
bool screenshot(const std::string& path);
uint32_t pixel(int x, int y);
// GDI objects alive now (fonts, brushes, bitmaps, contexts): for leak checks.
size_t gdiObjectCount();

struct MessageBoxShown {
    std::u16string text;
    std::u16string caption;
    UINT style;
    int answer;  // 0 while the box is open
};
// Every message box shown since the start (or the last clear), in order.
std::vector<MessageBoxShown> messageBoxes();
void clearMessageBoxes();
// The next message boxes are answered with these, in order, as they open (no window
// is shown for them). Boxes beyond the list wait for input or answerMessageBox.
void answerNextMessageBoxes(const std::vector<int>& answers);
// Answers the innermost open message box and lets the program run on; false when none
// is open.
bool answerMessageBox(int answer);
// The buttons of the innermost open message box: its answer and where it is on the
// screen (for taps).
struct MessageBoxButton {
    int answer;
    RECT rect;
};
std::vector<MessageBoxButton> messageBoxButtons();

struct MenuItemShown {
    UINT id;
    std::u16string text;
    bool separator;
    bool popup;
    bool ownerDrawn;
    bool selected;
    RECT rect;  // on the screen
};
// The items of the innermost open popup menu; empty when no menu is open.
std::vector<MenuItemShown> menuItems();
// Chooses a command of the open menu (in any submenu) and lets the program run on;
// false when no menu is open or it has no such command.
bool choosePopupMenuItem(UINT command);
bool dismissPopupMenu();

// Presses and releases a soft key: 0 the left, 1 the right.
void softKey(int index);
struct TrayIconShown {
    HWND window;
    UINT id;
    std::u16string tip;
    RECT rect;  // where the shell's desktop shows it
};
std::vector<TrayIconShown> trayIcons();
// Whether the shell's desktop covers the screen (no window of the program is shown).
bool desktopShown();

// ---- The input panel
// Whether the on-screen keypad shows, and its keys: the character each types (VK_BACK
// for the erase key) and where it is on the screen (for taps).
bool sipShown();
struct SipKey {
    WCHAR character;
    RECT rect;
};
std::vector<SipKey> sipKeys();

// ---- Hardware buttons
// What a hardware button started: the command as registered and how it was resolved
// ("program" = this program itself, run as a new process; otherwise the Linux path).
struct ButtonLaunch {
    std::u16string command;
    std::string executable;
    std::u16string arguments;
};
std::vector<ButtonLaunch> buttonLaunches();
// Replaces the program's own executable for launches (tests run inside a test binary):
// a hardware button's "ORVEN.exe" then starts this file.
void setProgramExecutable(const std::string& path);

}  // namespace orven::test
