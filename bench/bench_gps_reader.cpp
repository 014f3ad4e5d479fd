// The GPS reader's cost at the receiver's line rate. A simulated receiver in a child
// process sends the sentences of the receiver logs of tests/data/nmea in real time at
// 4800 baud, and this process runs the program's side as on the phone: the COM port, the
// reader thread with its per-sentence steps and parsing, and the GUI thread's message
// loop taking the reader's timers and repaints. The window is a visible one on the
// headless display that paints the program's main screen (skin, status band, receiver
// diagnostics) whenever the reader's status or diagnostics invalidate it, and has the
// main window's one-second clock tick; the reader's cues play through SDL (audio driver
// SDL_AUDIODRIVER, dummy when unset), opening and closing the audio device as they
// come. Two stretches of real time (60 s each unless given in seconds as the first
// argument):
// - the logs replayed in their own rhythm, one group of sentences a second (what these
//   receivers send: about 290 bytes a second);
// - the same sentences back to back, so that the line carries its full 480 bytes a second.
//
// Prints for each: the process's CPU time (all threads; GUI and reader apart) and that
// figure for an hour, CPU per byte, and the system calls the COM port made per received
// byte (its own counters: poll, read and ioctl of WaitCommEvent, ReadFile and
// GetCommModemStatus). Targets: under 2 s of CPU per hour, under 0.01 port system calls
// per byte.
//
// For the system calls of the whole process (GUI wake-ups included), run it under
//   strace -c -f -o calls.txt build/bench_gps_reader 60
// (the counts then include the two receiver processes).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/emergency_procedure.h"
#include "app/main_screen.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/sound_cues.h"
#include "common/timers.h"
#include "gps/gps_port.h"
#include "platform/mixer.h"
#include "platform/testing.h"
#include "settings/app_settings.h"
#include "sim/nmea_receiver.h"

namespace {

namespace fs = std::filesystem;

constexpr int receiverPort = 4;
constexpr UINT_PTR endTimer = 999;  // ends the measured stretch
constexpr int warmUpSeconds = 3;    // the port opens and the receiver is found

std::vector<fs::path> logPaths() {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEN_SOURCE_DIR) / "tests/data/nmea"))
        if (entry.path().extension() == ".log") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string allLogs() {
    std::string logs;
    for (const fs::path& path : logPaths()) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        logs += bytes.str() + "\n";
    }
    return logs;
}

// A receiver in a process of its own, forked before any thread exists so that its CPU
// time is not counted here. It starts when told to, and ends when its pipe closes.
struct ReceiverProcess {
    pid_t pid = -1;
    int control = -1;  // write a byte: start; close: end
    int pathIn = -1;   // the receiver's device path, one line
};

[[noreturn]] void runReceiver(orven::sim::Phase::Kind kind, int control, int pathOut) {
    char byte;
    if (read(control, &byte, 1) != 1) std::_Exit(0);
    orven::sim::Scenario scenario;
    scenario.phases = {{kind, 0, allLogs()}};
    scenario.repeat = true;
    auto receiver = orven::sim::NmeaReceiver::start(scenario);
    const std::string line = (receiver ? receiver->devicePath() : "") + "\n";
    (void)!write(pathOut, line.data(), line.size());
    close(pathOut);
    while (read(control, &byte, 1) > 0) {
    }
    receiver.reset();
    std::_Exit(0);
}

ReceiverProcess forkReceiver(orven::sim::Phase::Kind kind) {
    // This process's ends of the pipes to receivers forked earlier: a later child must
    // not hold them, or closing one would not end its receiver.
    static std::vector<int> parentEnds;
    int control[2];
    int path[2];
    if (pipe(control) != 0 || pipe(path) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int fd : parentEnds) close(fd);
        close(control[1]);
        close(path[0]);
        runReceiver(kind, control[0], path[1]);
    }
    close(control[0]);
    close(path[1]);
    parentEnds.push_back(control[1]);
    parentEnds.push_back(path[0]);
    return {pid, control[1], path[0]};
}

// CPU time of every thread of this process, from the scheduler's own accounting (finer
// than getrusage's ticks, which matter at a few milliseconds a second).
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// CPU time of the calling thread (the GUI thread here).
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// The main window as far as the reader needs it: the main screen's painting, the clock
// tick, and the volume restore after an asynchronous cue. The reader's watchdogs never
// act here; the end of a stretch does.
LRESULT CALLBACK benchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paintMainScreen(window); return 0;
        case WM_TIMER:
            refreshClockSnapshot();
            if (wParam == clockTickTimer) return 0;
            KillTimer(window, wParam);
            if (wParam == volumeRestoreTimer) restoreSavedVolume();
            if (wParam == endTimer) PostQuitMessage(0);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void runMessageLoop(UINT ms) {
    SetTimer(mainWindow, endTimer, ms, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
}

struct Figures {
    double seconds;
    double bytes;
    double cpu;
    double gui;
    double calls;
    bool found;
};

// Starts the receiver, lists it as COM4, lets the program find it, then measures.
Figures measure(ReceiverProcess& child, int seconds) {
    (void)!write(child.control, "g", 1);
    char path[256] = {};
    const ssize_t got = read(child.pathIn, path, sizeof path - 1);
    if (got <= 1) {
        std::fprintf(stderr, "no simulated receiver\n");
        std::exit(1);
    }
    path[got - 1] = 0;
    orven::sim::mapComPort(receiverPort, path);
    appSettings.gpsPortNumber = receiverPort;
    gpsState.searchState = 1;
    if (!gpsPortOpen(u"COM4:")) {
        std::fprintf(stderr, "COM4 (%s) does not open\n", path);
        std::exit(1);
    }
    runMessageLoop(warmUpSeconds * 1000);

    const double cpuBefore = cpuSeconds();
    const double guiBefore = threadCpuSeconds();
    const orven::serial::IoCounts before = orven::serial::ioCounts();
    const auto start = std::chrono::steady_clock::now();
    runMessageLoop(static_cast<UINT>(seconds) * 1000);
    Figures figures;
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.cpu = cpuSeconds() - cpuBefore;
    figures.gui = threadCpuSeconds() - guiBefore;
    const orven::serial::IoCounts after = orven::serial::ioCounts();
    figures.bytes = static_cast<double>(after.bytesReceived - before.bytesReceived);
    figures.calls = static_cast<double>(after.systemCalls - before.systemCalls);
    figures.found = gpsState.receiverFound.load() == 1;
    gpsShutdown();
    close(child.control);
    close(child.pathIn);
    waitpid(child.pid, nullptr, 0);
    return figures;
}

void print(const char* title, const Figures& f) {
    std::printf("%s, %.1f s measured\n", title, f.seconds);
    std::printf("  receiver found:                 %s\n", f.found ? "yes" : "NO");
    std::printf("  bytes received:                 %.0f (%.0f bytes/s; the line carries 480)\n",
                f.bytes, f.bytes / f.seconds);
    std::printf("  CPU time, whole process:        %.4f s (GUI thread %.4f s, reader %.4f s)\n",
                f.cpu, f.gui, f.cpu - f.gui);
    std::printf("  CPU time per hour:              %.3f s (target < 2 s)\n",
                f.cpu * 3600.0 / f.seconds);
    if (f.bytes > 0) {
        std::printf("  CPU per byte:                   %.2f us\n", f.cpu / f.bytes * 1e6);
        std::printf("  port system calls per byte:     %.4f (%.0f calls; target < 0.01)\n",
                    f.calls / f.bytes, f.calls);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    ReceiverProcess replay = forkReceiver(orven::sim::Phase::replay);
    ReceiverProcess stream = forkReceiver(orven::sim::Phase::stream);

    char device[] = "/tmp/ovb-XXXXXX";
    if (mkdtemp(device) == nullptr) return 1;
    setenv("ORVEN_DEVICE", device, 1);
    if (const char* audio = getenv("SDL_AUDIODRIVER"); audio == nullptr || *audio == 0)
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    orven::mixer::forceEmulated();  // the cues' volume changes stay on the emulated phone
    fillAppFolder();                // the cue files beside this benchmark, as beside the program
    WNDCLASSW wc{};
    wc.lpfnWndProc = benchWindowProc;
    wc.lpszClassName = u"BenchWindow";
    RegisterClassW(&wc);
    mainWindow = CreateWindowExW(0, u"BenchWindow", u"bench", WS_VISIBLE, 0, 0,
                                 GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                 nullptr, nullptr, nullptr, nullptr);
    skinBitmap =
        static_cast<HBITMAP>(LoadImageW(nullptr, MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0));
    readSavedVolume();
    SetTimer(mainWindow, clockTickTimer, 1000, nullptr);

    const Figures natural = measure(replay, seconds);
    const Figures full = measure(stream, seconds);
    std::filesystem::remove_all(device);
    const std::string title = "GPS reader, " + std::to_string(logPaths().size()) +
                              " receiver logs replayed at 4800 baud in their own one-second rhythm";
    print(title.c_str(), natural);
    print("GPS reader, the same sentences back to back: a full 4800-baud line", full);
    return natural.found && full.found && natural.bytes > 0 && full.bytes > 0 ? 0 : 1;
}
