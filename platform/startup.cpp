// The process's entry point, as the phone's runtime provides it: it prepares the
// emulated phone (signals, display, the volume a crash may have left raised), builds
// the UTF-16 command line and calls the program's WinMain. The emulated phone's default
// hardware comes from installDefaultHardware() (default_hardware.h), which the
// executable links.
//
// Environment (platform options never come from the command line):
//   ORVEN_DEVICE      the device directory (hives, profile)
//   ORVEN_DISPLAY     "sdl" or "headless"; by default sdl when DISPLAY or
//                     WAYLAND_DISPLAY is set, else headless
//   ORVEN_SCREENSHOT  a PNG file rewritten after every paint
//   ORVEN_TRACE       a file that receives the layer's trace lines
//   ORVEN_GPS_LOG     an NMEA log the default receiver replays (when none is mapped)
//   ORVEN_TRANSCRIPT  "on" or "off": the transcript on stdout (transcript.h); by default
//                     on when the phone has no window
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/default_hardware.h"
#include "platform/device.h"
#include "platform/internal.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/transcript.h"
#include "platform/window_manager.h"

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);

namespace {

// SIGTERM and SIGINT are blocked in every thread and taken here, so the program ends
// in its orderly way: WM_CLOSE to the main window, as the close button would send.
void watchSignals(sigset_t signals) {
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        orven::internal::trace("signal %d", signal);
        HWND app = orven::wm::applicationWindow();
        if (app == nullptr || !PostMessageW(app, WM_CLOSE, 0, 0)) std::_Exit(128 + signal);
    }
}

std::string chooseDisplay() {
    if (const char* chosen = std::getenv("ORVEN_DISPLAY"); chosen != nullptr && *chosen != 0)
        return chosen;
    bool desktop = (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) ||
                   (std::getenv("WAYLAND_DISPLAY") && *std::getenv("WAYLAND_DISPLAY"));
    return desktop ? "sdl" : "headless";
}

// Without a window nobody sees the screen or, often, hears the phone: the transcript says
// on stdout what it shows and plays.
bool wantTranscript() {
    if (const char* chosen = std::getenv("ORVEN_TRANSCRIPT"); chosen != nullptr) {
        if (std::string(chosen) == "on") return true;
        if (std::string(chosen) == "off") return false;
    }
    return std::string(orven::display::backend().name()) == "headless";
}

}  // namespace

int main(int argc, char** argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any other thread exists
    std::signal(SIGPIPE, SIG_IGN);
    std::thread(watchSignals, signals).detach();

    const orven::DeviceProfile& profile = orven::deviceProfile();
    std::string display = chooseDisplay();
    if (!orven::display::select(display, profile.screenWidth, profile.screenHeight))
        std::fprintf(stderr, "orven: running headless\n");
    if (wantTranscript()) {
        orven::transcript::start(stdout);
        orven::transcript::line("the emulated phone starts (device %s)",
                                orven::deviceDirectory().c_str());
    }
    orven::restoreVolumeAfterCrash();
    // The devices the emulated phone has when its registry maps none, through the
    // layer's hooks (defined by what the executable links, not by the layer).
    orven::installDefaultHardware();

    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += u' ';
        commandLine += orven::fromUtf8(argv[i]);
    }
    static int moduleAnchor;  // the module handle is the address of the program's image
    int exitCode =
        WinMain(reinterpret_cast<HINSTANCE>(&moduleAnchor), nullptr, commandLine.data(), SW_SHOW);
    // Detached threads (signals, the instance endpoint, readers, the radio) may still run:
    // end the process without destroying the objects they use.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
