// The transcript of a real `orven` process: on the demo device that tools/demo writes, a
// phone without a window tells one alert on stdout from the trigger to the confirmation
// alarm, one timed line per event, whether its receiver is the simulated one or a gpsd
// replaying a recorded log; a phone with a window writes none.
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "test_gpsd_support.h"
#include "test_program_support.h"

namespace {

using namespace std::chrono_literals;

constexpr char partner[] = "+15555550123";

class Transcript : public programtest::Programs {
  protected:
    void makeDemoDevice() {
        const std::string command = std::string(ORVEN_SOURCE_DIR) + "/tools/demo --make-device '" +
                                    deviceDir() + "' '" + partner + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // `env` without the variable `name`, then with `setting` when one is given.
    static std::vector<std::string> with(std::vector<std::string> env, const std::string& name,
                                         const std::string& setting = "") {
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        if (!setting.empty()) env.push_back(setting);
        return env;
    }

    std::string transcript() const { return fileText(dir + "/transcript"); }

    // Polls for a text in the transcript; no timing is asserted, the limit only ends a
    // stuck run.
    bool waitForTranscript(const std::string& needle, std::chrono::milliseconds limit) const {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (transcript().find(needle) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Runs the program with "-a" (the hardware button's command line) on the device, as a
    // phone without a window does by default, until the confirmation alarm sounds, ends it
    // in its orderly way and gives the transcript's events: each line's text after its
    // time.
    void runOneAlert(std::vector<std::string>* events) {
        const pid_t pid = spawn("-a", with(environment("trace"), "ORVEN_TRANSCRIPT"), "transcript");
        ASSERT_TRUE(waitForTranscript("cue 9:", 90s)) << transcript();
        kill(pid, SIGTERM);
        EXPECT_EQ(waitExit(pid, 20000ms), std::optional<int>(0));
        const std::regex timed(R"(\d\d:\d\d:\d\d (.+))");
        std::istringstream lines(transcript());
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, timed)) << "not a timed line: " << line;
            events->push_back(m[1]);
        }
    }
};

struct Step {
    const char* legend;
    std::string line;   // the text after the time
    bool whole = true;  // false: the line's beginning
};

bool matches(const std::string& event, const Step& step) {
    return step.whole ? event == step.line : event.rfind(step.line, 0) == 0;
}

// The chain's lines come in this order among the events, others between.
void expectChain(const std::vector<std::string>& events, const std::vector<Step>& chain,
                 const std::string& transcript) {
    auto next = events.begin();
    for (const Step& step : chain) {
        SCOPED_TRACE(step.legend);
        next = std::find_if(next, events.end(), [&](const auto& e) { return matches(e, step); });
        ASSERT_TRUE(next != events.end()) << "missing, or out of order: " << step.line << "\n"
                                          << transcript;
        ++next;
    }
}

// The first event that begins with `start`; "" when there is none.
std::string firstStarting(const std::vector<std::string>& events, const std::string& start) {
    const auto found = std::find_if(events.begin(), events.end(),
                                    [&](const auto& e) { return e.rfind(start, 0) == 0; });
    return found == events.end() ? "" : *found;
}

TEST_F(Transcript, HeadlessDemoTellsOneAlertFromTriggerToConfirmationAlarm) {
    makeDemoDevice();
    const std::string p = partner;
    const std::vector<Step> chain = {
        {"the procedure begins", "cue 11: emergency procedure begins"},
        {"its first message", "screen: Begin emergency procedure / immediately"},
        {"the stored port", "cue 3: connecting the known GPS receiver port"},
        {"the receiver's port opens", "COM4: opened (", false},
        {"the receiver answers", "screen: GPS Rx found / Awaiting for position..."},
        {"the port is let go", "COM4: closed"},
        {"the position", "screen: Position found at ", false},
        {"sending", "cue 7: sending the alert"},
        {"the SMS handed to the modem", "SMS to " + p + ", 3 parts: Medicine Emergency ALERT ",
         false},
        {"the modem took it", "SMS to " + p + ": sent"},
        {"sent", "screen: Alert has sent correctly / Awaiting for response..."},
        {"the partner's reply", "SMS from " + p + ": OK, I got your message. I am coming."},
        {"confirmed", "screen: Emergency message confirmed / from: " + p},
        {"the alarm", "cue 9: ALARM: the alert was confirmed"},
    };
    // A message that the reader or the radio replaces at once may never be painted, so
    // the chain names only those that stay up while the GUI thread paints.
    std::vector<std::string> events;
    ASSERT_NO_FATAL_FAILURE(runOneAlert(&events));
    ASSERT_NO_FATAL_FAILURE(expectChain(events, chain, transcript()));
    const std::string sms = firstStarting(events, "SMS to " + p + ", ");
    EXPECT_NE(sms.find("Blood: A+ Sex: F 67 I'm Anna Example"), std::string::npos) << sms;
    // The reader thread plays this cue while the GUI thread paints the same news.
    EXPECT_NE(std::find(events.begin(), events.end(), "cue 4: GPS receiver found"), events.end());
}

// The demo device with its receiver's port, COM4, listed in the hive as a gpsd that
// replays a recorded log: the listing stands before the simulated receiver's (which is
// then not even started), so the position sent can only be the log's, far from the
// simulated receiver's fix in the northern hemisphere.
TEST_F(Transcript, HeadlessDemoThroughGpsdSendsTheLogsPosition) {
    if (!gpsdtest::gpsfakeInstalled()) GTEST_SKIP() << "gpsd and gpsfake are not installed";
    makeDemoDevice();
    gpsdtest::GpsFake gpsd(ORVEN_SOURCE_DIR "/tests/data/nmea/bu353s4.log");
    ASSERT_TRUE(gpsd.listening());
    {
        std::ofstream hive(deviceDir() + "/system.reg", std::ios::app);
        hive << "\n[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\n"
             << "\"COM4:\"=\"" << gpsd.address() << "\"\n";
        ASSERT_TRUE(hive.good());
    }
    const std::string p = partner;
    const std::string opened = "COM4: opened (" + gpsd.address() + ")";
    const std::vector<Step> chain = {
        {"the stored port", "cue 3: connecting the known GPS receiver port"},
        {"the port opens through gpsd", opened},
        {"gpsd's sentences answer", "screen: GPS Rx found / Awaiting for position..."},
        {"the position", "screen: Position found at ", false},
        {"the SMS handed to the modem", "SMS to " + p + ", 3 parts: ", false},
        {"the modem took it", "SMS to " + p + ": sent"},
        {"confirmed", "screen: Emergency message confirmed / from: " + p},
    };
    std::vector<std::string> events;
    ASSERT_NO_FATAL_FAILURE(runOneAlert(&events));
    ASSERT_NO_FATAL_FAILURE(expectChain(events, chain, transcript()));
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [&](const auto& e) {
                                return e.find(" opened (") != std::string::npos && e != opened;
                            }),
              0)
        << "a port opened elsewhere than through gpsd:\n"
        << transcript();
    // The log's fix is 37 deg 47.087 min S, 175 deg 18.89 min E.
    const std::string sms = firstStarting(events, "SMS to " + p + ", ");
    EXPECT_NE(sms.find(" Lat: S37.78"), std::string::npos) << sms;
    EXPECT_NE(sms.find(" Lon: E175.31"), std::string::npos) << sms;
}

TEST_F(Transcript, PhoneWithAWindowWritesNone) {
    std::vector<std::string> env = with(environment("trace"), "ORVEN_TRANSCRIPT");
    env = with(env, "ORVEN_DISPLAY", "ORVEN_DISPLAY=sdl");
    env.push_back("SDL_VIDEODRIVER=dummy");  // a window nobody sees
    const pid_t pid = spawn("", env, "transcript");
    ASSERT_TRUE(waitForTrace("trace", "EndPaint", 20000ms)) << traceOf("trace");
    kill(pid, SIGTERM);
    EXPECT_EQ(waitExit(pid, 20000ms), std::optional<int>(0));
    EXPECT_EQ(transcript(), "");
}

}  // namespace
