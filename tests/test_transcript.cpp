// The transcript of a real `orven` process: on the demo device that tools/demo writes, a
// phone without a window tells one alert on stdout from the trigger to the confirmation
// alarm, one timed line per event; a phone with a window writes none.
#include <signal.h>

#include <algorithm>
#include <regex>

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
};

struct Step {
    const char* legend;
    std::string line;   // the text after the time
    bool whole = true;  // false: the line's beginning
};

bool matches(const std::string& event, const Step& step) {
    return step.whole ? event == step.line : event.rfind(step.line, 0) == 0;
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
    // The default for a phone without a window: no ORVEN_TRANSCRIPT at all.
    const pid_t pid = spawn("-a", with(environment("trace"), "ORVEN_TRANSCRIPT"), "transcript");
    ASSERT_TRUE(waitForTranscript("cue 9:", 90s)) << transcript();
    kill(pid, SIGTERM);
    EXPECT_EQ(waitExit(pid, 20000ms), std::optional<int>(0));

    // Every line is "HH:MM:SS what"; the chain's lines come in this order, others between.
    // A message that the reader or the radio replaces at once may never be painted, so
    // the chain names only those that stay up while the GUI thread paints.
    const std::regex timed(R"(\d\d:\d\d:\d\d (.+))");
    std::vector<std::string> events;
    std::istringstream lines(transcript());
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, timed)) << "not a timed line: " << line;
        events.push_back(m[1]);
    }
    auto next = events.begin();
    for (const Step& step : chain) {
        SCOPED_TRACE(step.legend);
        next = std::find_if(next, events.end(), [&](const auto& e) { return matches(e, step); });
        ASSERT_NE(next, events.end()) << "missing, or out of order: " << step.line << "\n"
                                      << transcript();
        ++next;
    }
    const std::string sms = *std::find_if(events.begin(), events.end(), [&](const auto& e) {
        return e.rfind("SMS to " + p + ", ", 0) == 0;
    });
    EXPECT_NE(sms.find("Blood: A+ Sex: F 67 I'm Anna Example"), std::string::npos) << sms;
    // The reader thread plays this cue while the GUI thread paints the same news.
    EXPECT_NE(std::find(events.begin(), events.end(), "cue 4: GPS receiver found"), events.end());
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
