// The randomized fault simulation of the emergency procedure (tests/sim): every seed a
// scenario of its own, run in a child process. ORVEN_SIM_SEEDS sets how many seeds each
// shard runs (fewer under the sanitizers), ORVEN_SIM_FIRST_SEED where they start, and
// ORVEN_SIM_SEED=<n> replays one seed and prints its trace.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/sim/fault_simulation.h"

namespace {

constexpr int shards = 4;
constexpr unsigned sideBySide = 6;

uint64_t fromEnvironment(const char* name, uint64_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != 0 ? std::strtoull(value, nullptr, 10) : fallback;
}

void expectPassed(const faultsim::Report& report, bool printTrace) {
    EXPECT_TRUE(report.passed) << "seed " << report.seed << ": " << report.failure
                               << "\nreplay: " << faultsim::replayCommand(report.seed) << "\n"
                               << report.trace;
    if (printTrace && report.passed) std::printf("%s", report.trace.c_str());
}

class FaultSimulation : public ::testing::TestWithParam<int> {};

TEST_P(FaultSimulation, NoSeedBreaksAnInvariant) {
    if (const char* one = std::getenv("ORVEN_SIM_SEED")) {
        const uint64_t seed = std::strtoull(one, nullptr, 10);
        // ORVEN_SIM_IN_PROCESS: without the child process, for a debugger.
        if (GetParam() == 0)
            expectPassed(std::getenv("ORVEN_SIM_IN_PROCESS") ? faultsim::runScenario(seed)
                                                             : faultsim::runSeed(seed),
                         true);
        return;
    }
    const uint64_t perShard = fromEnvironment("ORVEN_SIM_SEEDS", 75);
    const uint64_t first =
        fromEnvironment("ORVEN_SIM_FIRST_SEED", 1) + static_cast<uint64_t>(GetParam()) * perShard;
    // The seeds mostly wait for their devices: several run side by side. One failing
    // seed's trace is enough to read.
    faultsim::runSeeds(first, perShard, sideBySide, [](const faultsim::Report& report) {
        expectPassed(report, false);
        return report.passed;
    });
}

INSTANTIATE_TEST_SUITE_P(Shards, FaultSimulation, ::testing::Range(0, shards));

}  // namespace
