// An idle `orven`: processor time and wake-ups per second over a minute, and resident
// memory, for the headless program and (when a desktop is reachable through DISPLAY)
// the program in its SDL window. The program runs with its default simulated receiver
// and modem, as on a fresh machine. Usage: bench_idle [seconds], 60 by default.
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long field(const std::string& status, const std::string& name) {
    size_t at = status.find(name + ":");
    return at == std::string::npos
               ? 0
               : std::strtol(status.c_str() + at + name.size() + 1, nullptr, 10);
}

// Context switches of every thread: each voluntary one is a wake-up after a wait.
long wakeUps(pid_t pid) {
    long total = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* tasks = opendir(dir.c_str())) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            std::string status = readFile(dir + "/" + entry->d_name + "/status");
            total += field(status, "voluntary_ctxt_switches") +
                     field(status, "nonvoluntary_ctxt_switches");
        }
        closedir(tasks);
    }
    return total;
}

double cpuSeconds(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string value;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> value; ++i) {
        if (i == 14) utime = std::stol(value);
        if (i == 15) {
            stime = std::stol(value);
            break;
        }
    }
    return static_cast<double>(utime + stime) / sysconf(_SC_CLK_TCK);
}

void measure(const char* label, const std::string& display, int seconds) {
    char pattern[] = "/tmp/obi-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    std::string dir = pattern;
    mkdir((dir + "/run").c_str(), 0700);
    std::vector<std::string> env = {"ORVEN_DEVICE=" + dir + "/device",
                                    "XDG_RUNTIME_DIR=" + dir + "/run", "ORVEN_DISPLAY=" + display,
                                    "SDL_AUDIODRIVER=dummy"};
    if (const char* x = std::getenv("DISPLAY")) env.push_back(std::string("DISPLAY=") + x);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string binary = ORVEN_BINARY;
    char* argv[] = {binary.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return;
    std::this_thread::sleep_for(std::chrono::seconds(5));  // past start-up and cue 1
    double cpuBefore = cpuSeconds(pid);
    long wakeBefore = wakeUps(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = cpuSeconds(pid) - cpuBefore;
    long wakes = wakeUps(pid) - wakeBefore;
    long rssKb = field(readFile("/proc/" + std::to_string(pid) + "/status"), "VmRSS");
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::system(("rm -rf '" + dir + "'").c_str());
    std::printf("%s: %.3f %% of a core, %.2f wake-ups per second over %d s, resident %.1f MB\n",
                label, 100.0 * cpu / seconds, static_cast<double>(wakes) / seconds, seconds,
                rssKb / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    std::printf(
        "targets: under 0.2 %% of a core, at most 3 wake-ups per second; resident under "
        "8 MB headless, under 16 MB with the SDL window\n");
    measure("headless", "headless", seconds);
    if (std::getenv("DISPLAY") != nullptr)
        measure("SDL window", "sdl", seconds);
    else
        std::printf("SDL window: not measured (no DISPLAY)\n");
    return 0;
}
