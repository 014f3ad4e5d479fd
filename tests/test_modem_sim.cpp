// The simulated modem on its own, driven byte by byte the way a terminal would: the
// dialogues a client relies on (init, submission, reading the store, calls) and the
// faults tests inject. Each row is one exchange: what is typed and what must come back.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/text.h"
#include "platform/tty.h"
#include "sim/modem.h"
#include "test_modem_support.h"

namespace {

using namespace orven;

// The client's end of the line, read with bounded waits.
class Terminal {
  public:
    explicit Terminal(const std::string& path) : fd_(tty::openRaw(path, 115200, nullptr)) {}
    ~Terminal() {
        if (fd_ >= 0) close(fd_);
    }
    bool open() const { return fd_ >= 0; }
    void type(const std::string& bytes) {
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads until `expected` has come (true) or the time is up; what came is kept.
    bool expect(const std::string& expected, int timeoutMs = 2000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t at = seen_.find(expected);
            if (at != std::string::npos) {
                seen_.erase(0, at + expected.size());
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[512];
            ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) return false;
            seen_.append(buffer, static_cast<size_t>(got));
        }
    }
    const std::string& unread() const { return seen_; }
    // Nothing arrives within the time.
    bool quietFor(int ms) {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, ms) == 0 && seen_.empty();
    }

  private:
    int fd_;
    std::string seen_;
};

struct Exchange {
    const char* legend;
    std::string typed;
    std::string answer;
};

void run(Terminal& t, const std::vector<Exchange>& dialogue) {
    for (const Exchange& e : dialogue) {
        SCOPED_TRACE(e.legend);
        t.type(e.typed);
        ASSERT_TRUE(t.expect(e.answer)) << "got: " << t.unread();
    }
}

const std::string alert1 = modemtest::vectorNamed("alert-ucs2-class3-1;").hex;
const std::string alert2 = modemtest::vectorNamed("alert-ucs2-class3-2;").hex;
const std::string alert3 = modemtest::vectorNamed("alert-ucs2-class3-3;").hex;

TEST(SimModem, AnswersTheInitSequenceAndTakesALongMessage) {
    sim::Modem modem;
    Terminal t(modem.path());
    ASSERT_TRUE(t.open());
    run(t, {
               {"echo is on at start", "AT\r", "AT\r\r\nOK\r\n"},
               {"echo off", "ATE0\r", "\r\nOK\r\n"},
               {"numeric errors", "AT+CMEE=1\r", "\r\nOK\r\n"},
               {"SIM ready", "AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
               {"PDU mode", "AT+CMGF=0\r", "\r\nOK\r\n"},
               {"indications", "AT+CNMI=2,1,0,0,0\r", "\r\nOK\r\n"},
               {"status reports as +CDSI are refused", "AT+CNMI=2,1,0,2,0\r",
                "\r\n+CMS ERROR: 303\r\n"},
               {"caller id", "AT+CLIP=1\r", "\r\nOK\r\n"},
               {"unknown command", "AT+XYZ\r", "\r\nERROR\r\n"},
               {"part 1 prompt", "AT+CMGS=153\r", "\r\n> "},
               {"part 1", alert1 + "\x1A", "\r\nOK\r\n"},
               {"part 2", "AT+CMGS=153\r", "\r\n> "},
               {"part 2 body", alert2 + "\x1A", "\r\nOK\r\n"},
               {"a wrong length is refused", "AT+CMGS=30\r", "\r\n> "},
               {"part 3 with the wrong length", alert3 + "\x1A", "\r\n+CMS ERROR: 304\r\n"},
               {"escape abandons a submission", "AT+CMGS=25\r", "\r\n> "},
               {"escape", "0041\x1B", "\r\nOK\r\n"},
               {"part 3", "AT+CMGS=25\r", "\r\n> "},
               {"part 3 body", alert3 + "\x1A", "\r\nOK\r\n"},
           });
    std::vector<sim::SentMessage> sent = modem.messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(toUtf8(sent[0].number), "+447700900123");
    EXPECT_EQ(sent[0].parts, 3u);
    EXPECT_EQ(sent[0].reference, 0x2Au);
    EXPECT_EQ(sent[0].dcs, 0x1B);
    EXPECT_EQ(sent[0].messageClass, 3);
    EXPECT_EQ(toUtf8(sent[0].text).size(), 139u);  // 137 units, two of them two-byte in UTF-8
    EXPECT_EQ(sent[0].announcedLengths, (std::vector<int>{153, 153, 25}));
}

TEST(SimModem, IncomingMessagesFollowTheIndicationSetting) {
    sim::Modem modem;
    Terminal t(modem.path());
    run(t, {{"echo off", "ATE0\r", "OK\r\n"},
            {"store and indicate", "AT+CNMI=2,1,0,0,0\r", "OK\r\n"}});
    modem.deliverSms(u"+447700900123", u"OK, coming");
    ASSERT_TRUE(t.expect("\r\n+CMTI: \"SM\",1\r\n"));
    run(t, {
               {"read it", "AT+CMGR=1\r",
                "\r\n+CMGR: "
                "0,,"
                "28\r\n0791447700090000040C914477000910320000425071214365800ACF250B347EB7D3EE33\r\n"
                "\r\nOK\r\n"},
               {"delete it", "AT+CMGD=1\r", "\r\nOK\r\n"},
               {"gone", "AT+CMGR=1\r", "\r\nERROR\r\n"},
               {"direct delivery", "AT+CNMI=2,2,0,0,0\r", "OK\r\n"},
           });
    modem.deliverSms(u"InfoSMS", u"Your code 1234");
    ASSERT_TRUE(
        t.expect("\r\n+CMT: "
                 ",33\r\n0791447700090000040DD049B7F93D6D4E010000425071214365800ED9775D0E1ABFC96550"
                 "4C36A301\r\n"));
}

TEST(SimModem, RingsWithCallerIdUntilAnswered) {
    sim::Modem::Options o;
    o.ringIntervalMs = 50;
    sim::Modem modem(o);
    Terminal t(modem.path());
    run(t, {{"echo off", "ATE0\r", "OK\r\n"},
            {"no call to answer", "ATA\r", "\r\nNO CARRIER\r\n"},
            {"caller id on", "AT+CLIP=1\r", "OK\r\n"}});
    modem.ring(u"+447700900123");
    ASSERT_TRUE(t.expect("\r\nRING\r\n\r\n+CLIP: \"+447700900123\",145,\"\",0,\"\",0\r\n"));
    ASSERT_TRUE(t.expect("\r\nRING\r\n"));  // it rings again
    run(t, {{"answer", "ATA\r", "\r\nOK\r\n"}});
    ASSERT_EQ(modem.calls().size(), 1u);
    EXPECT_TRUE(modem.calls()[0].answered);
    modem.hangUp();
    ASSERT_TRUE(t.expect("\r\nNO CARRIER\r\n"));
    modem.ring(u"");
    ASSERT_TRUE(t.expect("\r\n+CLIP: \"\",128,,,,1\r\n")) << "withheld";
}

TEST(SimModem, UnsolicitedResultsWaitForTheOpenSubmission) {
    sim::Modem modem;
    Terminal t(modem.path());
    run(t, {{"echo off", "ATE0\r", "OK\r\n"},
            {"indications", "AT+CNMI=2,1,0,0,0\r", "OK\r\n"},
            {"prompt", "AT+CMGS=25\r", "\r\n> "}});
    modem.deliverSms(u"+447700900123", u"OK");
    EXPECT_TRUE(t.quietFor(100)) << "a URC came inside the open submission";
    t.type(alert3 + "\x1A");
    ASSERT_TRUE(t.expect("\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n"));
}

TEST(SimModem, InjectedFaults) {
    sim::Modem modem;
    Terminal t(modem.path());
    run(t, {{"echo off", "ATE0\r", "OK\r\n"}, {"numeric errors", "AT+CMEE=1\r", "OK\r\n"}});
    modem.refuseSubmissions(1, "+CMS ERROR: 331");
    run(t, {{"prompt", "AT+CMGS=25\r", "> "},
            {"refused", alert3 + "\x1A", "\r\n+CMS ERROR: 331\r\n"}});
    modem.answerBusy(2);
    run(t, {{"busy once", "AT\r", "\r\n+CME ERROR: 14\r\n"},
            {"busy twice", "AT\r", "\r\n+CME ERROR: 14\r\n"},
            {"then fine", "AT\r", "\r\nOK\r\n"}});
    modem.setSilent(true);
    t.type("AT\r");
    EXPECT_TRUE(t.quietFor(100));
    modem.setSilent(false);
    modem.restart(100);
    ASSERT_TRUE(t.expect("\r\nRDY\r\n"));
    run(t, {{"echo is back on; SMS not ready", "AT+CMGF=0\r", "AT+CMGF=0\r\r\nERROR\r\n"}});
    ASSERT_TRUE(t.expect("\r\nSMS Ready\r\n", 2000));
    run(t, {{"SMS ready", "AT+CMGF=0\r", "\r\nOK\r\n"}});
}

TEST(SimModem, VanishesAndComesBackUnderTheSamePath) {
    sim::Modem modem;
    auto first = std::make_unique<Terminal>(modem.path());
    ASSERT_TRUE(first->open());
    modem.vanish(100);
    EXPECT_FALSE(first->expect("anything", 500)) << "the line should have ended";
    ASSERT_TRUE(modem.waitUntil([&] { return access(modem.path().c_str(), F_OK) == 0; }));
    Terminal second(modem.path());
    ASSERT_TRUE(second.open());
    run(second, {{"a fresh module", "AT\r", "AT\r\r\nOK\r\n"}});
}

}  // namespace
