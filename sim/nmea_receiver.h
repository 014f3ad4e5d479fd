// A simulated GPS receiver: NMEA 0183 sentences served on a pseudo-terminal, as a
// receiver on a serial line would send them. The program opens the terminal's far end
// as a COM port (mapComPort); tests and the emulated phone's default receiver use it.
//
//   Scenario scenario;
//   scenario.phases = {{Phase::noFix, 5}, {Phase::fix, 0}};   // 5 s without a fix, then a fix
//   auto receiver = NmeaReceiver::start(scenario);
//   mapComPort(4, receiver->devicePath());                   // "COM4:" is this receiver
//
// Pacing: sentences come in one group per second (the sentences of one fix), each group
// at the 4800-baud line rate (480 bytes a second). A receiver whose output nobody reads
// loses it, as a real one does. Unpaced, everything is written as fast as the terminal
// takes it, waiting while its buffer is full: for tests and benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orven::sim {

// One step of a receiver's script.
struct Phase {
    enum Kind {
        off,     // switched off: says nothing until switchOn() (tests start it on cue)
        silent,  // says nothing (a receiver still starting, or one that went quiet)
        noFix,   // GGA with quality 0, GSA, GSV with no satellites, RMC with status V
        fix,     // GGA with quality 1, GSA, two GSV, RMC with status A at the position
        replay,  // the sentences of `log`, grouped by the fix time they carry
        stream,  // the sentences of `log` back to back: a receiver that fills its line
        unplug,  // the receiver is pulled out: the terminal hangs up, the script ends
    };
    Kind kind;
    // silent, noFix, fix: how many seconds; 0 for as long as the receiver runs.
    int seconds = 0;
    // replay, stream: NMEA text; '#' comment lines and empty lines are skipped.
    std::string log{};
};

struct Scenario {
    std::vector<Phase> phases;
    bool paced = true;                      // 4800 baud, a group a second; false: as fast as read
    bool repeat = false;                    // start the phases over after the last one
    std::string talker = "GP";              // talker of generated sentences ("GP", "GN", ...)
    double latitude = 48.1173;              // the fix, decimal degrees, north positive
    double longitude = 11.0 + 31.0 / 60.0;  // decimal degrees, east positive (011°31' E)
    time_t startUtc = 0;                    // time of the first group; 0: the machine's clock
    // A receiver powered by its port: it sends only while someone else has the terminal
    // open and is idle (no wake-ups) otherwise. The script's time runs only while it
    // sends; with the machine's clock, fix times stay on the clock.
    bool idleWhileClosed = false;
};

class NmeaReceiver {
  public:
    // Opens a pseudo-terminal and runs the scenario on a thread of its own. Null, with a
    // reason in *error, when no terminal can be opened.
    static std::unique_ptr<NmeaReceiver> start(const Scenario& scenario,
                                               std::string* error = nullptr);
    // Stops the script and closes the terminal (a hang-up for whoever has it open).
    ~NmeaReceiver();
    NmeaReceiver(const NmeaReceiver&) = delete;
    NmeaReceiver& operator=(const NmeaReceiver&) = delete;

    // The terminal's device path (/dev/pts/N) to open as the receiver's serial line.
    const std::string& devicePath() const { return devicePath_; }
    // Ends an `off` phase: the script goes on.
    void switchOn();
    // Pulls the receiver out now: the script stops and the terminal hangs up.
    void unplug();
    // True once the script has run to its end (the receiver then stays connected and
    // says nothing) or the receiver was unplugged.
    bool finished() const { return finished_.load(); }
    // Bytes the terminal took, and whole groups of sentences sent.
    uint64_t bytesSent() const { return bytesSent_.load(); }
    uint64_t groupsSent() const { return groupsSent_.load(); }

  private:
    NmeaReceiver() = default;
    void run();
    bool runPhase(const Phase& phase);
    bool sendGroup(const std::vector<std::string>& sentences);
    bool writeAll(const std::string& bytes);
    bool pauseUntil(uint64_t deadlineMs);
    bool waitForListener();
    void stopAndJoin(bool hangUp);

    Scenario scenario_;
    std::string devicePath_;
    int master_ = -1;            // written by the script thread
    int slave_ = -1;             // kept open so the terminal's settings last between users
    int stopFd_ = -1;            // eventfd: stop (and hang up, with hangUp_)
    int switchOnFd_ = -1;        // eventfd: the end of an `off` phase
    int openWatch_ = -1;         // inotify on the terminal's opens and closes (idleWhileClosed)
    int listeners_ = 0;          // opens of the terminal not yet closed, by others than this
    bool followsClock_ = false;  // fix times come from the machine's clock
    std::atomic<bool> hangUp_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> bytesSent_{0};
    std::atomic<uint64_t> groupsSent_{0};
    uint64_t groupIndex_ = 0;   // seconds of the script so far (fix time of the next group)
    uint64_t nextGroupMs_ = 0;  // when the next group is due (paced)
    std::thread thread_;
};

// The NMEA sentences of one group (one second) of a generated phase at `utc`, each with
// its checksum and CR LF.
std::vector<std::string> generatedGroup(const Scenario& scenario, Phase::Kind kind, time_t utc);
// The sentences of a recorded log, grouped by the time of their GGA or RMC sentence.
std::vector<std::vector<std::string>> groupedLog(const std::string& log);

// Lists `path` as the device of "COMn:" in the device registry (HKEY_LOCAL_MACHINE
// "Drivers\Ports"), as an owner maps a device. Returns false when the registry refuses.
bool mapComPort(int number, const std::string& path);

// The emulated phone's own receiver. When the device registry lists none of COM0 to COM9,
// starts a receiver and lists it as COM4 for this process only
// (serial::mapVolatilePort: never written to the hive, so nothing names its terminal
// once the process is gone): ten seconds without a fix, then a fix at 48.1173 N
// 11.516666 E; or, when ORVEN_GPS_LOG names an NMEA log, that log replayed over and over.
// It sends only while the port is open (idleWhileClosed) and runs until the process
// ends. A listing an earlier version wrote into the hive for its own receiver is removed
// first. Call it once, in the process that is the running instance (a second start of
// the program must not re-map the port under the first). Returns whether it started one.
bool startDefaultReceiver();

}  // namespace orven::sim
