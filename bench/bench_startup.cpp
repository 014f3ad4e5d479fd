// Start-up of a real headless `orven` process: time from spawning it to its first
// WM_PAINT handled (the trace's first EndPaint line), median and worst over several
// starts, each with a fresh device directory; and the resident memory of the idle
// program in two states, each named where it is printed:
// - a phone on its first start (empty device directory): the program waits at its
//   first-start question, before its start-up cue, so SDL has not been loaded;
// - a configured phone (a GPS port number and an alert number stored): no question; the
//   program plays its start-up cue 1 and idles with the audio device closed again (and
//   SDL unloaded) 3 s after it.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long residentKb(pid_t pid) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Run {
    double startupMs;
    long rssKb;
};

// The settings an owner leaves: the program asks nothing at start.
void configure(const std::string& dir) {
    mkdir((dir + "/device").c_str(), 0700);
    std::ofstream(dir + "/device/system.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
           "\"Alert number 1\"=\"600100200\"\r\n\"GPS port number\"=dword:00000004\r\n";
}

constexpr auto settleTime = std::chrono::seconds(2);        // into idling after the paint
constexpr auto audioClosedWait = std::chrono::seconds(15);  // the device closes 3 s after a cue

// Waits (bounded) for the audio device to close after the start-up cue, or for the
// player to find none.
void waitForAudioClosed(const std::string& trace) {
    const auto end = Clock::now() + audioClosedWait;
    while (Clock::now() < end) {
        const std::string text = readFile(trace);
        if (text.find("sound: device closed") != std::string::npos ||
            text.find("sound: no audio") != std::string::npos)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("(the audio device did not close within 15 s)\n");
}

Run startOnce(const std::string& dir, bool measureMemory, bool configured = false) {
    if (configured) configure(dir);
    std::string trace = dir + "/trace";
    std::vector<std::string> env = {"ORVEN_DEVICE=" + dir + "/device",
                                    "XDG_RUNTIME_DIR=" + dir + "/run",
                                    "ORVEN_DISPLAY=headless",
                                    "SDL_AUDIODRIVER=dummy",
                                    "ORVEN_TRACE=" + trace,
                                    "ORVEN_TRANSCRIPT=off"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string binary = ORVEN_BINARY;
    char* argv[] = {binary.data(), nullptr};
    auto begin = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    double startupMs = -1;
    while (Clock::now() - begin < std::chrono::seconds(5)) {
        if (readFile(trace).find("EndPaint") != std::string::npos) {
            startupMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    long rss = -1;
    if (measureMemory) {
        if (configured) waitForAudioClosed(trace);
        std::this_thread::sleep_for(settleTime);
        rss = residentKb(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return {startupMs, rss};
}

}  // namespace

// One start in a fresh directory.
Run startFresh(bool measureMemory, bool configured) {
    char pattern[] = "/tmp/ob-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::exit(1);
    std::string dir = pattern;
    mkdir((dir + "/run").c_str(), 0700);
    Run run = startOnce(dir, measureMemory, configured);
    std::system(("rm -rf '" + dir + "'").c_str());
    return run;
}

int main() {
    constexpr int starts = 20;
    std::vector<double> times;
    long rss = -1;
    for (int i = 0; i < starts; ++i) {
        Run run = startFresh(i == 0, false);
        if (i == 0) rss = run.rssKb;
        times.push_back(run.startupMs);
    }
    const long configuredRss = startFresh(true, true).rssKb;
    std::sort(times.begin(), times.end());
    std::printf(
        "start-up to first WM_PAINT handled (headless, %d starts): median %.1f ms, "
        "worst %.1f ms (target: under 50 ms)\n",
        starts, times[starts / 2], times.back());
    std::printf(
        "resident memory, headless, first start waiting at its first-start question (before "
        "any cue, SDL not loaded): %.1f MB (target: under 8 MB)\n",
        rss / 1024.0);
    std::printf(
        "resident memory, headless, configured phone idling after its start-up cue 1 (audio "
        "device closed, SDL unloaded): %.1f MB (target: under 10 MB)\n",
        configuredRss / 1024.0);
    return 0;
}
