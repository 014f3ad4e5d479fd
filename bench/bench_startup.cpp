// Start-up of a real headless `orven` process: time from spawning it to its first
// WM_PAINT handled (the trace's first EndPaint line), and the resident memory of the
// idle program. Prints median and worst over several starts, each with a fresh device
// directory.
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

Run startOnce(const std::string& dir, bool measureMemory) {
    std::string trace = dir + "/trace";
    std::vector<std::string> env = {"ORVEN_DEVICE=" + dir + "/device",
                                    "XDG_RUNTIME_DIR=" + dir + "/run", "ORVEN_DISPLAY=headless",
                                    "SDL_AUDIODRIVER=dummy", "ORVEN_TRACE=" + trace};
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
        std::this_thread::sleep_for(std::chrono::seconds(2));  // let it settle into idling
        rss = residentKb(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return {startupMs, rss};
}

}  // namespace

int main() {
    constexpr int starts = 20;
    std::vector<double> times;
    long rss = -1;
    for (int i = 0; i < starts; ++i) {
        char pattern[] = "/tmp/ob-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        std::string dir = pattern;
        mkdir((dir + "/run").c_str(), 0700);
        Run run = startOnce(dir, i == 0);
        if (i == 0) rss = run.rssKb;
        times.push_back(run.startupMs);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "start-up to first WM_PAINT handled (headless, %d starts): median %.1f ms, "
        "worst %.1f ms (target: under 50 ms)\n",
        starts, times[starts / 2], times.back());
    std::printf("resident memory of the idle headless program: %.1f MB (target: under 8 MB)\n",
                rss / 1024.0);
    return 0;
}
