// The emulated phone's default hardware in a real process: the simulated receiver is
// listed as COM4 for that process only, so a program killed outright leaves the owner's
// system.reg byte for byte as it was; an owner's own port keeps its listing, and no
// simulated receiver starts beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/hive.h"
#include "test_program_support.h"

namespace {

using namespace std::chrono_literals;

constexpr char simulatedListing[] = "COM4: listed as /dev/pts/";

class DefaultHardware : public programtest::Programs {
  protected:
    // The owner's system.reg, in the form the registry itself writes: a save of unchanged
    // values leaves the same bytes, so only a real change can tell.
    void writeOwnersHive(const std::string& text) {
        const orven::hive::ParseResult parsed = orven::hive::parse(text);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        ASSERT_EQ(orven::hive::write(parsed.hive), text) << "not in the registry's own form";
        ASSERT_EQ(mkdir(deviceDir().c_str(), 0700), 0);
        std::ofstream(deviceDir() + "/system.reg", std::ios::binary) << text;
    }

    std::string ownersHive() const { return fileText(deviceDir() + "/system.reg"); }

    // SIGKILL: the program gets no chance to tidy anything up.
    void killOutright(pid_t pid) {
        kill(pid, SIGKILL);
        EXPECT_EQ(waitExit(pid, 5000ms), std::optional<int>(128 + SIGKILL));
    }
};

TEST_F(DefaultHardware, AKilledProgramLeavesTheHiveAsItWas) {
    const std::string hive =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\n"
        "\"First name\"=\"Anna\"\n\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\n\n";
    writeOwnersHive(hive);
    const pid_t program = start("", "program.trace");
    ASSERT_TRUE(waitForTrace("program.trace", simulatedListing)) << traceOf("program.trace");
    ASSERT_TRUE(waitForTrace("program.trace", "message loop waiting"));
    killOutright(program);
    EXPECT_EQ(ownersHive(), hive);
}

TEST_F(DefaultHardware, AnOwnersPortKeepsItsListingAndGetsNoSimulatedNeighbour) {
    const std::string hive =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\n"
        "\"COM3:\"=\"/dev/serial/by-id/usb-u-blox_GNSS_receiver-if00\"\n\n";
    writeOwnersHive(hive);
    const pid_t program = start("", "program.trace");
    ASSERT_TRUE(waitForTrace("program.trace", "message loop waiting"));
    killOutright(program);
    EXPECT_EQ(ownersHive(), hive);
    EXPECT_EQ(traceOf("program.trace").find(simulatedListing), std::string::npos)
        << traceOf("program.trace");
}

}  // namespace
