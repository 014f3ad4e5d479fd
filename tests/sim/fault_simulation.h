// A randomized fault simulation of the whole emergency procedure. Each seed draws a
// scenario (settings, a receiver and its faults, a modem and its faults, confirmations,
// second starts, taps) and runs the real program on the emulated phone, with the
// simulated receiver and modem, on the virtual clock, checking after every step that
// the owner is never told help is being called when it is not:
//
// - no series has more successful sends than the owner's count;
// - no message goes out before the owner started the procedure, none without a fix
//   published by a search started after that, and none to anyone but a usable alert
//   number; every message carries the position;
// - every send the program counts was accepted, part by part, by the modem, for every
//   alert number;
// - the alarm (cue 9) sounds only after a confirmation from a usable alert number, and
//   nothing is sent after a confirmation;
// - every failed attempt is on the screen within 30 s (virtual) of its end, unless a
//   confirmation, a new attempt or a send that went out came first;
// - each procedure ends (confirmed, all sends made, a failure shown) in bounded time;
// - the child process running the seed does not crash, hang or report a sanitizer
//   error or a leak.
//
// The devices run in real time beside the virtual clock, so a seed fixes the scenario
// but not every interleaving of the threads: a replay runs the same scenario again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace faultsim {

struct Report {
    uint64_t seed = 0;
    bool passed = false;
    std::string failure;  // the first broken invariant, a crash or a sanitizer report
    std::string trace;    // the scenario and what happened, one line per event
};

// Runs the seed's scenario in this process (which must not have run a phone before).
Report runScenario(uint64_t seed);

// Runs the seed's scenario in a child process, so that a crash, a hang (killed after
// `realTimeoutMs`), a sanitizer report or a leak fails only that seed.
Report runSeed(uint64_t seed, int realTimeoutMs = 120000);

// Starts a seed's child without waiting; finish() collects it. For running seeds side
// by side.
struct Running {
    uint64_t seed = 0;
    int pid = -1;
    int reportFd = -1;
    std::string errorPath;
};
Running launch(uint64_t seed);
Report finish(Running& running, int realTimeoutMs = 120000);

// Runs the seeds from `first` on, `count` of them, `parallel` side by side, and hands each
// report to `take` as its seed ends (whichever ends first, so that a slow seed does not
// hold the others' places). When `take` returns false no further seed is started; those
// running are still collected.
void runSeeds(uint64_t first, uint64_t count, unsigned parallel,
              const std::function<bool(const Report&)>& take);

// The command that replays a seed from the build directory.
std::string replayCommand(uint64_t seed);

}  // namespace faultsim
