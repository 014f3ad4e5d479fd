// The fault simulation at scale: 10,000 seeds (or argv[1]) from seed argv[2], sixteen side
// by side per core (a seed mostly waits for its devices; ORVEN_SIM_PARALLEL sets another
// number), and how long they took on this machine as it is. Failing seeds are listed with
// the command that replays them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/sim/fault_simulation.h"

int main(int argc, char** argv) {
    const uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000;
    const uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    // A seed spends most of its time waiting for its devices: several per core.
    unsigned parallel = 16 * std::max(1u, std::thread::hardware_concurrency());
    if (const char* wanted = std::getenv("ORVEN_SIM_PARALLEL"))
        parallel = static_cast<unsigned>(std::max(1, std::atoi(wanted)));
    const auto began = std::chrono::steady_clock::now();
    std::vector<faultsim::Report> failed;
    uint64_t done = 0;
    faultsim::runSeeds(first, count, parallel, [&](const faultsim::Report& report) {
        ++done;
        if (!report.passed) {
            std::printf("seed %llu FAILED: %s\n  replay: %s\n",
                        static_cast<unsigned long long>(report.seed), report.failure.c_str(),
                        faultsim::replayCommand(report.seed).c_str());
            failed.push_back(report);
        }
        if (done % 500 == 0) {
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            std::printf("%llu seeds, %.0f s\n", static_cast<unsigned long long>(done), s);
            std::fflush(stdout);
        }
        return true;
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf(
        "fault simulation: %llu seeds in %.1f s (%.0f ms a seed, %u side by side), %zu failed\n",
        static_cast<unsigned long long>(count), seconds,
        1000.0 * seconds / static_cast<double>(count), parallel, failed.size());
    if (!failed.empty()) std::printf("first failure's trace:\n%s\n", failed.front().trace.c_str());
    return failed.empty() ? 0 : 1;
}
