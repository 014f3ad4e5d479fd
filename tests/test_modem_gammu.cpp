// The simulated modem against a real AT client, Debian's gammu: a long Unicode SMS sent
// by `gammu sendsms`, a call answered by `gammu answercall`, and messages and a call
// received by python3-gammu. What gammu accepts and reads the same way, a real module
// would give too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "sim/modem.h"
#include "test_modem_support.h"

namespace {

using namespace orven;

constexpr const char* gammu = "/usr/bin/gammu";
constexpr int clientTimeoutS = 60;  // gammu's own pauses make a send take a few seconds

const std::string alertUtf8 =
    "Medicine Emergency ALERT \nfrom Lat: N50.061389\xC2\xB0 Lon: E019.937222\xC2\xB0 \n"
    "Blood: A+ Sex: F 34 I'm Alpha Bravo \nPlease reply, or call Sender now!";

// A gammu configuration for the simulator's line, in a directory of its own.
struct GammuConfig {
    explicit GammuConfig(const std::string& device) {
        char pattern[] = "/tmp/ov-gammu-XXXXXX";
        directory = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        path = directory + "/gammurc";
        std::ofstream(path) << "[gammu]\ndevice = " << device << "\nconnection = at\n";
    }
    ~GammuConfig() {
        unlink(path.c_str());
        rmdir(directory.c_str());
    }
    std::string directory, path;
};

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a command with a time limit; its output (stdout and stderr) and exit status.
int run(const std::string& command, std::string& output) {
    std::string line = "timeout " + std::to_string(clientTimeoutS) + " " + command + " 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GammuClient, SendsALongUnicodeMessageThroughTheSimulator) {
    if (access(gammu, X_OK) != 0) GTEST_SKIP() << "gammu is not installed";
    sim::Modem modem;
    GammuConfig config(modem.path());
    std::string output;
    int status =
        run(std::string(gammu) + " -c " + config.path +
                " sendsms TEXT +447700900123 -unicode -len 200 -textutf8 " + quoted(alertUtf8),
            output);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Sending SMS 3/3"), std::string::npos) << output;
    std::vector<sim::SentMessage> sent = modem.messages();
    ASSERT_EQ(sent.size(), 1u) << output;
    EXPECT_EQ(toUtf8(sent[0].number), "+447700900123");
    EXPECT_EQ(toUtf8(sent[0].text), alertUtf8);
    EXPECT_EQ(sent[0].parts, 3u) << "split 67 + 67 + 3, as our own encoder splits it";
    EXPECT_EQ(sent[0].alphabet, pdu::Alphabet::ucs2);
    EXPECT_TRUE(sent[0].validityPresent) << "gammu always sends a validity period";
    EXPECT_EQ(sent[0].announcedLengths, (std::vector<int>{154, 154, 26}));
}

TEST(GammuClient, AnswersACallThroughTheSimulator) {
    if (access(gammu, X_OK) != 0) GTEST_SKIP() << "gammu is not installed";
    sim::Modem::Options o;
    o.ringsBeforeGivingUp = 100;
    sim::Modem modem(o);
    modem.ring(u"+447700900123");
    GammuConfig config(modem.path());
    std::string output;
    ASSERT_EQ(run(std::string(gammu) + " -c " + config.path + " answercall", output), 0) << output;
    ASSERT_EQ(modem.calls().size(), 1u);
    EXPECT_TRUE(modem.calls()[0].answered) << output;
}

// python3-gammu's state machine, waiting for incoming messages and calls.
const char* watcherScript = R"(import gammu, sys, time
sm = gammu.StateMachine()
sm.ReadConfig(Filename=sys.argv[1])
sm.Init()
seen = {'sms': 0, 'call': 0}
def callback(sm, kind, data):
    if kind == 'SMS':
        for location in [data.get('Location')] if 'Location' in data else []:
            for m in sm.GetSMS(Folder=0, Location=location):
                print('SMS', m['Number'].encode().hex(), m['Text'].encode().hex(), flush=True)
                seen['sms'] += 1
    elif kind == 'Call' and data.get('Status') == 'IncomingCall':
        print('CALL', (data.get('Number') or '').encode().hex(), flush=True)
        seen['call'] += 1
sm.SetIncomingCallback(callback)
sm.SetIncomingSMS()
sm.SetIncomingCall()
print('READY', flush=True)
end = time.time() + float(sys.argv[2])
while time.time() < end and (seen['sms'] < 2 or seen['call'] < 1):
    sm.ReadDevice()
    time.sleep(0.05)
)";

TEST(GammuClient, ReceivesMessagesAndCallsFromTheSimulator) {
    if (!modemtest::gammuModuleAvailable()) GTEST_SKIP() << "python3-gammu is not installed";
    sim::Modem modem;
    GammuConfig config(modem.path());
    std::string script = config.directory + "/watch.py";
    std::ofstream(script) << watcherScript;
    std::string command = "timeout " + std::to_string(clientTimeoutS) + " " + modemtest::python +
                          " " + script + " " + config.path + " 30 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    ASSERT_TRUE(
        modem.waitUntil([&] { return modem.smsIndicationsOn() && modem.callerIdOn(); }, 30000))
        << "gammu never asked for indications";
    modem.deliverSms(u"+447700900123", u"OK, coming");
    modem.deliverSms(u"+447700900123", u"Widz\u0119 N50.06\u00B0", pdu::Alphabet::ucs2);
    modem.ring(u"+447700900456");
    std::vector<std::string> lines;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    pclose(pipe);
    unlink(script.c_str());
    std::vector<std::string> messages;
    std::vector<std::string> callers;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string kind, number, text;
        words >> kind >> number >> text;
        if (kind == "SMS")
            messages.push_back(modemtest::unhex(number) + " " + modemtest::unhex(text));
        if (kind == "CALL") callers.push_back(modemtest::unhex(number));
    }
    std::sort(messages.begin(), messages.end());
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    EXPECT_EQ(messages, (std::vector<std::string>{"+447700900123 OK, coming",
                                                  "+447700900123 Widz\xC4\x99 N50.06\xC2\xB0"}))
        << all;
    ASSERT_FALSE(callers.empty()) << all;
    EXPECT_EQ(callers[0], "+447700900456");
}

}  // namespace
