// An idle `orven` on a configured phone: wake-ups per second summed over all its threads,
// its processor time as a share of one core, and its resident memory. The phone is
// configured as an owner leaves it: the settings hive holds a GPS port number (4) and an
// alert number, so the program asks nothing at start. Headless, with the emulated phone's
// default simulated receiver (listed as COM4, powered by its port) and a simulated modem
// run by this benchmark (its partner never answers, so an alert ends after its one send).
// The audio driver is SDL_AUDIODRIVER from this benchmark's environment, dummy when unset
// (as in CI); `SDL_AUDIODRIVER=alsa` on a machine without a sound card measures that case.
//
// States, each in a process of its own with a fresh device directory:
// (a)  before any cue: the program runs from a folder without its cue files, so that its
//      start-up cue 1 is not played and SDL (its audio above all) is never loaded. A
//      configured phone with its cues plays cue 1 a second after start: this is the
//      program as it idles before that cue.
// (a') after the start-up cue 1, once the audio device has closed again;
// (b)  after an alert procedure driven end to end by a second start with "-a": receiver
//      found on COM4, position fixed, cues 3, 4, 5, 6, 7 and 8 played, the SMS sent, the
//      port closed; measured once the audio device has closed again.
// With DISPLAY set, (a') is measured in an SDL window as well.
//
// Targets: at most 3 wake-ups per second, under 0.2 % of a core, resident under 10 MB
// headless (under 8 MB before any cue; under 16 MB in an SDL window). Usage: bench_idle [seconds per state], 30 by
// default; a second argument names another build of the program to measure (its cue
// files beside it), for figures before and after a change.
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/modem.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string program = ORVEN_BINARY;  // the program measured

constexpr double wakeUpTarget = 3.0;                        // per second, all threads
constexpr double cpuTarget = 0.2;                           // % of one core
constexpr double residentTargetMb = 10.0;                   // headless, after cues
constexpr double residentBeforeCueMb = 8.0;                 // headless, before any cue
constexpr double residentWindowMb = 16.0;                   // in an SDL window
constexpr auto audioClosedWait = std::chrono::seconds(15);  // the device closes 3 s after a cue
constexpr auto procedureWait = std::chrono::seconds(120);   // the receiver fixes after 10 s

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number after "name:" at the start of a line of a /proc status file; 0 if none.
long field(const std::string& status, const std::string& name) {
    const std::string key = name + ":";
    for (size_t at = status.find(key); at != std::string::npos; at = status.find(key, at + 1))
        if (at == 0 || status[at - 1] == '\n')
            return std::strtol(status.c_str() + at + key.size(), nullptr, 10);
    return 0;
}

// One thread as the kernel counts it: every context switch (voluntary: it waited and was
// woken; involuntary: preempted) and its processor time in nanoseconds.
struct Task {
    std::string name;
    long switches = 0;
    double cpuNs = 0;
};

std::map<std::string, Task> tasks(pid_t pid) {
    std::map<std::string, Task> found;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* listing = opendir(dir.c_str())) {
        while (dirent* entry = readdir(listing)) {
            if (entry->d_name[0] == '.') continue;
            const std::string task = dir + "/" + entry->d_name;
            const std::string status = readFile(task + "/status");
            Task t;
            t.switches = field(status, "voluntary_ctxt_switches") +
                         field(status, "nonvoluntary_ctxt_switches");
            t.cpuNs = std::strtod(readFile(task + "/schedstat").c_str(), nullptr);
            t.name = readFile(task + "/comm");
            if (!t.name.empty() && t.name.back() == '\n') t.name.pop_back();
            found[entry->d_name] = t;
        }
        closedir(listing);
    }
    return found;
}

struct Figures {
    double wakeUps = 0;  // per second
    double cpuPercent = 0;
    double residentMb = 0;
    std::string threads;  // the threads that woke, with their rates
};

// Counts over `seconds` of idling. A thread that started meanwhile counts in full; one
// that ended is not counted (an idle program starts and ends none).
Figures measureIdle(pid_t pid, int seconds) {
    const auto before = tasks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = tasks(pid);
    Figures f;
    double switches = 0, cpuNs = 0;
    for (const auto& [id, task] : after) {
        const auto was = before.find(id);
        const long woke = task.switches - (was == before.end() ? 0 : was->second.switches);
        switches += woke;
        cpuNs += task.cpuNs - (was == before.end() ? 0 : was->second.cpuNs);
        char line[96];
        if (woke > 0) {
            std::snprintf(line, sizeof line, " %s %s %.2f/s;", task.name.c_str(), id.c_str(),
                          static_cast<double>(woke) / seconds);
            f.threads += line;
        }
    }
    f.wakeUps = switches / seconds;
    f.cpuPercent = 100.0 * cpuNs / 1e9 / seconds;
    f.residentMb = field(readFile("/proc/" + std::to_string(pid) + "/status"), "VmRSS") / 1024.0;
    return f;
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

void print(const char* state, const Figures& f, double residentTarget, int seconds) {
    std::printf("%s, over %d s:\n", state, seconds);
    std::printf("  wake-ups:  %6.2f per second, all threads (target at most %.0f: %s)\n", f.wakeUps,
                wakeUpTarget, verdict(f.wakeUps <= wakeUpTarget));
    std::printf("  processor: %6.3f %% of a core (target under %.1f %%: %s)\n", f.cpuPercent,
                cpuTarget, verdict(f.cpuPercent < cpuTarget));
    std::printf("  resident:  %6.1f MB (target under %.0f MB: %s)\n", f.residentMb, residentTarget,
                verdict(f.residentMb < residentTarget));
    std::printf("  threads that woke:%s\n", f.threads.empty() ? " none" : f.threads.c_str());
}

// A configured phone in a temporary folder, with the simulated modem its hive names.
class Phone {
  public:
    Phone() {
        char pattern[] = "/tmp/obi-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::exit(1);
        dir_ = pattern;
        fs::create_directories(dir_ + "/device");
        fs::create_directories(dir_ + "/run");
        fs::permissions(dir_ + "/run", fs::perms::owner_all);
        std::ofstream(dir_ + "/device/system.reg")
            << "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
               "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000000\r\n"
               "\"GPS port number\"=dword:00000004\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\""
            << modem_.path() << "\"\r\n";
    }
    ~Phone() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // A copy of the program in a folder of its own, without the cue files beside it.
    std::string programWithoutCues() const {
        fs::create_directories(dir_ + "/bare");
        const std::string copy = dir_ + "/bare/orven";
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    pid_t spawn(const std::string& binary, const std::string& display, const char* argument) const {
        const char* audio = std::getenv("SDL_AUDIODRIVER");
        std::vector<std::string> env = {
            "ORVEN_DEVICE=" + dir_ + "/device",
            "XDG_RUNTIME_DIR=" + dir_ + "/run",
            "ORVEN_DISPLAY=" + display,
            "ORVEN_TRACE=" + trace(),
            "ORVEN_TRANSCRIPT=off",
            std::string("SDL_AUDIODRIVER=") + (audio != nullptr && *audio ? audio : "dummy")};
        for (const char* name : {"DISPLAY", "PATH", "HOME", "TMPDIR"})
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = binary;
        std::string extra = argument != nullptr ? argument : "";
        char* argv[] = {program.data(), argument != nullptr ? extra.data() : nullptr, nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            std::perror("posix_spawn");
            std::exit(1);
        }
        return pid;
    }

    void start(const std::string& binary, const std::string& display) {
        pid_ = spawn(binary, display, nullptr);
    }

    // Times `text` occurs in the trace.
    int countInTrace(const std::string& text) const {
        const std::string all = readFile(trace());
        int count = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++count;
        return count;
    }

    // Waits (bounded) until `text` occurs in the trace more than `times` times.
    bool waitForTrace(const std::string& text, int times, Clock::duration limit) const {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (countInTrace(text) > times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // After a cue: the audio device closes again (or none could be opened).
    void waitForAudioClosed(int closedBefore) const {
        const auto end = Clock::now() + audioClosedWait;
        while (Clock::now() < end && countInTrace("sound: device closed") <= closedBefore &&
               countInTrace("sound: no audio") == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    pid_t pid() const { return pid_; }
    const orven::sim::Modem& modem() const { return modem_; }

  private:
    std::string trace() const { return dir_ + "/trace"; }

    orven::sim::Modem modem_;
    std::string dir_;
    pid_t pid_ = -1;
};

Figures beforeAnyCue(int seconds) {
    Phone phone;
    phone.start(phone.programWithoutCues(), "headless");
    std::this_thread::sleep_for(std::chrono::seconds(5));  // past timers 1 and 11
    if (phone.countInTrace("async=") > 0) std::printf("(a): a cue was played after all\n");
    return measureIdle(phone.pid(), seconds);
}

Figures afterStartupCue(int seconds, const std::string& display) {
    Phone phone;
    phone.start(program, display);
    if (!phone.waitForTrace("sounds/1.wav", 0, std::chrono::seconds(10)))
        std::printf("(a'): no start-up cue within 10 s\n");
    phone.waitForAudioClosed(0);
    return measureIdle(phone.pid(), seconds);
}

// Returns false when the procedure did not run to its end.
bool afterProcedure(int seconds, Figures& figures) {
    Phone phone;
    phone.start(program, "headless");
    phone.waitForTrace("sounds/1.wav", 0, std::chrono::seconds(10));
    phone.waitForAudioClosed(0);
    const pid_t second = phone.spawn(program, "headless", "-a");
    waitpid(second, nullptr, 0);
    const auto started = Clock::now();
    if (!phone.waitForTrace("sounds/8.wav", 0, procedureWait)) {
        std::printf("(b): the alert was not sent within %lld s (%zu messages)\n",
                    static_cast<long long>(procedureWait.count()), phone.modem().messages().size());
        return false;
    }
    const double procedureSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    phone.waitForAudioClosed(phone.countInTrace("sound: device closed"));
    std::printf("(b): alert procedure over in %.1f s: %zu SMS sent, cues played:", procedureSeconds,
                phone.modem().messages().size());
    for (int cue : {1, 3, 4, 5, 6, 7, 8})
        if (phone.countInTrace("sounds/" + std::to_string(cue) + ".wav") > 0)
            std::printf(" %d", cue);
    std::printf("\n");
    figures = measureIdle(phone.pid(), seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);  // lines in order with the programs' own stderr
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    if (argc > 2) program = argv[2];
    const char* audio = std::getenv("SDL_AUDIODRIVER");
    std::printf(
        "idle orven on a configured phone (GPS port 4 and an alert number stored), headless, "
        "SDL audio driver %s\nprogram: %s\n",
        audio != nullptr && *audio ? audio : "dummy", program.c_str());
    print(
        "(a) before any cue (program without its cue files: cue 1 not played, SDL not "
        "loaded)",
        beforeAnyCue(seconds), residentBeforeCueMb, seconds);
    print("(a') after its start-up cue 1, audio device closed again",
          afterStartupCue(seconds, "headless"), residentTargetMb, seconds);
    Figures procedure;
    const bool ran = afterProcedure(seconds, procedure);
    if (ran)
        print("(b) after cues and an alert procedure that has ended, audio device closed again",
              procedure, residentTargetMb, seconds);
    if (std::getenv("DISPLAY") != nullptr)
        print("(a') in an SDL window", afterStartupCue(seconds, "sdl"), residentWindowMb, seconds);
    else
        std::printf("SDL window: not measured (no DISPLAY)\n");
    return ran ? 0 : 1;
}
