// The SMS library over the modem layer and the simulated modem: what reaches the modem
// (decoded back by the simulator and by libGammu), what a failure reports, and how the
// layer recovers from a module that restarts, answers busy or goes away.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/pdu.h"
#include "platform/windows.h"
#include "sim/default_hardware.h"
#include "test_modem_support.h"

namespace {

using namespace orven;
using modemtest::ModemPhone;

const std::u16string alertText =
    u"Medicine Emergency ALERT \nfrom Lat: N50.061389\u00B0 Lon: E019.937222\u00B0 \n"
    u"Blood: A+ Sex: F 34 I'm Alpha Bravo \nPlease reply, or call Sender now!";

std::string utf8(const std::u16string& text) {
    return toUtf8(text);
}

struct Send {
    std::u16string number = u"+447700900123";
    std::u16string text = alertText;
    DWORD messageClass = PS_MESSAGE_CLASS3;
    DWORD messageOptions = PS_MESSAGE_OPTION_NONE;
    SMS_DATA_ENCODING encoding = SMSDE_OPTIMAL;
};

// One SmsOpen / SmsSendMessage / SmsClose, as the alert sends it.
HRESULT sendOnce(const Send& s) {
    SMS_HANDLE handle = 0;
    HRESULT opened = SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &handle, nullptr);
    if (opened != S_OK) return opened;
    SMS_ADDRESS destination{};
    destination.smsatAddressType = SMSAT_UNKNOWN;
    lstrcpynW(destination.ptsAddress, s.number.c_str(), SMS_MAX_ADDRESS_LENGTH);
    TEXT_PROVIDER_SPECIFIC_DATA provider{};
    provider.dwMessageOptions = s.messageOptions;
    provider.psMessageClass = s.messageClass;
    SMS_MESSAGE_ID id = 0;
    HRESULT sent = SmsSendMessage(
        handle, nullptr, &destination, nullptr, reinterpret_cast<const BYTE*>(s.text.data()),
        static_cast<DWORD>(s.text.size() * 2), reinterpret_cast<const BYTE*>(&provider),
        sizeof provider, s.encoding, SMS_OPTION_DELIVERY_NONE, &id);
    EXPECT_EQ(SmsClose(handle), S_OK);
    return sent;
}

std::u16string repeat(char16_t c, size_t n) {
    return std::u16string(n, c);
}

TEST(SmsLibrary, TheAlertGoesAsThreeUcs2PartsOfClass3) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    ASSERT_EQ(sendOnce({}), S_OK);
    std::vector<sim::SentMessage> sent = p.sim.messages();
    ASSERT_EQ(sent.size(), 1u);
    const sim::SentMessage& m = sent[0];
    EXPECT_EQ(utf8(m.number), "+447700900123");
    EXPECT_EQ(utf8(m.text), utf8(alertText));
    EXPECT_EQ(m.dcs, 0x1B);
    EXPECT_EQ(m.parts, 3u);
    EXPECT_EQ(m.announcedLengths, (std::vector<int>{153, 153, 25}));
    EXPECT_FALSE(m.statusReport);
    EXPECT_FALSE(m.validityPresent);
    // The three PDUs are the public vectors' but for the reference, which is the layer's own.
    for (int i = 0; i < 3; ++i) {
        std::string expected =
            modemtest::vectorNamed("alert-ucs2-class3-" + std::to_string(i + 1) + ";").hex;
        std::string got = m.pdus[i];
        ASSERT_EQ(got.size(), expected.size());
        got.replace(34, 2, "2A");  // the reference octet of 05 00 03 <ref> 03 0n
        EXPECT_EQ(got, expected) << "part " << i + 1;
    }
    if (!modemtest::gammuModuleAvailable()) GTEST_SKIP() << "python3-gammu is not installed";
    std::vector<modemtest::GammuView> views = modemtest::gammuDecode(m.pdus);
    ASSERT_EQ(views.size(), 3u);
    std::string joined;
    for (size_t i = 0; i < views.size(); ++i) {
        SCOPED_TRACE("part " + std::to_string(i + 1));
        ASSERT_TRUE(views[i].ok) << views[i].error;
        EXPECT_EQ(views[i].number, "+447700900123");
        EXPECT_EQ(views[i].messageClass, 3);
        EXPECT_EQ(views[i].coding, "Unicode_No_Compression");
        EXPECT_EQ(views[i].reference8, static_cast<int>(m.reference));
        EXPECT_EQ(views[i].part, static_cast<int>(i) + 1);
        EXPECT_EQ(views[i].parts, 3);
        joined += views[i].text;
    }
    EXPECT_EQ(joined, utf8(alertText));
}

struct AlphabetRow {
    const char* legend;
    Send send;
    uint8_t dcs;
    std::vector<int> lengths;  // AT+CMGS=<n> of each part
};

TEST(SmsLibrary, AlphabetAndPartsFollowTheText) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    Send gsm{};
    gsm.text = u"Test 123";
    Send forcedUcs2 = gsm;
    forcedUcs2.encoding = SMSDE_UCS2;
    Send national{};
    national.number = u"07700900123";
    national.text = u"N50.061389\u00B0 E019.937222\u00B0";
    Send noClass = gsm;
    noClass.messageClass = PS_MESSAGE_CLASSUNSPECIFIED;
    Send report = gsm;
    report.messageOptions = PS_MESSAGE_OPTION_STATUSREPORT;
    Send ucs70{}, ucs71{}, gsm160{}, gsm161{};
    ucs70.text = repeat(u'\u00B0', 70);
    ucs71.text = repeat(u'\u00B0', 71);
    gsm160.text = repeat(u'a', 160);
    gsm161.text = repeat(u'a', 161);
    const std::vector<AlphabetRow> rows = {
        {"a GSM text goes in 7 bits, class 3", gsm, 0x13, {20}},
        {"UCS-2 when asked for", forcedUcs2, 0x1B, {29}},
        {"the degree sign forces UCS-2; a national number", national, 0x1B, {61}},
        {"no message class", noClass, 0x00, {20}},
        {"70 UCS-2 characters: one message", ucs70, 0x1B, {153}},
        {"71 UCS-2 characters: two parts", ucs71, 0x1B, {153, 27}},
        {"160 GSM characters: one message", gsm160, 0x13, {153}},
        {"161 GSM characters: two parts", gsm161, 0x13, {153, 27}},
    };
    for (const AlphabetRow& row : rows) {
        SCOPED_TRACE(row.legend);
        size_t before = p.sim.messages().size();
        ASSERT_EQ(sendOnce(row.send), S_OK);
        std::vector<sim::SentMessage> sent = p.sim.messages();
        ASSERT_EQ(sent.size(), before + 1);
        EXPECT_EQ(utf8(sent.back().text), utf8(row.send.text));
        EXPECT_EQ(utf8(sent.back().number), utf8(row.send.number));
        EXPECT_EQ(sent.back().dcs, row.dcs);
        EXPECT_EQ(sent.back().announcedLengths, row.lengths);
    }
    SCOPED_TRACE("a status report is asked for only when wanted");
    ASSERT_EQ(sendOnce(report), S_OK);
    EXPECT_TRUE(p.sim.messages().back().statusReport);
    ASSERT_EQ(sendOnce(ucs71), S_OK);
    std::vector<sim::SentMessage> sent = p.sim.messages();
    EXPECT_NE(sent[sent.size() - 1].reference, sent[5].reference)
        << "the same text twice needs fresh references";
}

struct FaultRow {
    const char* legend;
    std::function<void(sim::Modem&)> inject;
    HRESULT expected;
    size_t partsConfirmed;  // of the three-part alert
};

TEST(SmsLibrary, AFailureIsReportedAndNothingMore) {
    const std::vector<FaultRow> rows = {
        {"the network refuses the first part",
         [](sim::Modem& m) { m.refuseSubmissions(1, "+CMS ERROR: 500"); }, SMS_E_SENDFAILED, 0},
        {"no service centre", [](sim::Modem& m) { m.refuseSubmissions(1, "+CMS ERROR: 330"); },
         SMS_E_SENDFAILED, 0},
        {"a bare ERROR", [](sim::Modem& m) { m.refuseSubmissions(1, "ERROR"); }, SMS_E_SENDFAILED,
         0},
        {"an OK without +CMGS confirms nothing",
         [](sim::Modem& m) { m.refuseSubmissions(1, "OK"); }, SMS_E_SENDFAILED, 0},
        {"no answer after the PDU", [](sim::Modem& m) { m.ignoreSubmissions(1); }, SMS_E_TIMEOUT,
         0},
        {"no prompt", [](sim::Modem& m) { m.dropPrompts(1); }, SMS_E_TIMEOUT, 0},
        {"the port goes away for good", [](sim::Modem& m) { m.vanish(-1); }, SMS_E_RADIOUNAVAILABLE,
         0},
    };
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.legend);
        ModemPhone p;
        ASSERT_TRUE(p.ready);
        row.inject(p.sim);
        EXPECT_EQ(sendOnce({}), row.expected);
        EXPECT_TRUE(p.sim.messages().empty());
        for (const std::string& line : orven::test::traceLines())
            EXPECT_FALSE(line.size() > 9 && line.compare(line.size() - 9, 9, " result=0") == 0)
                << "reported as sent: " << line;
    }
}

TEST(SmsLibrary, ARefusedMiddlePartEndsTheMessage) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    p.sim.refuseSubmissions(1, "+CMS ERROR: 332", 1);
    EXPECT_EQ(sendOnce({}), SMS_E_SENDFAILED);
    EXPECT_TRUE(p.sim.messages().empty()) << "the message is not complete at the modem";
    int submissions = 0;
    for (const std::string& c : p.sim.commandLines()) submissions += c.rfind("AT+CMGS=", 0) == 0;
    EXPECT_EQ(submissions, 2) << "the third part is not tried";
}

TEST(SmsLibrary, BusyAnswersAreWaitedOut) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    p.sim.answerBusy(2, "+CMS ERROR: 314");
    EXPECT_EQ(sendOnce({}), S_OK);
    EXPECT_EQ(p.sim.messages().size(), 1u);
}

TEST(SmsLibrary, ArgumentsTheLibraryRefuses) {
    ModemPhone p;
    SMS_HANDLE handle = 0;
    EXPECT_EQ(SmsOpen(u"Microsoft WDP SMS Protocol", SMS_MODE_SEND, &handle, nullptr),
              SMS_E_INVALIDPROTOCOL);
    EXPECT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, 0, &handle, nullptr), E_INVALIDARG);
    ASSERT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &handle, nullptr), S_OK);
    EXPECT_NE(handle, 0u);
    SMS_ADDRESS to{};
    lstrcpyW(to.ptsAddress, u"+447700900123");
    const WCHAR text[] = u"abc";
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
    EXPECT_EQ(SmsSendMessage(handle + 1, nullptr, &to, nullptr, bytes, 6, nullptr, 0, SMSDE_OPTIMAL,
                             0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(SmsSendMessage(handle, nullptr, &to, nullptr, bytes, 5, nullptr, 0, SMSDE_OPTIMAL, 0,
                             nullptr),
              E_INVALIDARG)
        << "half a character";
    SMS_ADDRESS letters{};
    lstrcpyW(letters.ptsAddress, u"Mum");
    EXPECT_EQ(SmsSendMessage(handle, nullptr, &letters, nullptr, bytes, 6, nullptr, 0,
                             SMSDE_OPTIMAL, 0, nullptr),
              SMS_E_INVALIDDATA);
    const WCHAR degree[] = u"\u00B0";
    EXPECT_EQ(SmsSendMessage(handle, nullptr, &to, nullptr, reinterpret_cast<const BYTE*>(degree),
                             2, nullptr, 0, SMSDE_GSM, 0, nullptr),
              SMS_E_INVALIDDATA);
    EXPECT_EQ(SmsClose(handle), S_OK);
    EXPECT_EQ(SmsClose(handle), E_INVALIDARG);
    EXPECT_TRUE(p.sim.messages().empty());
}

// ---- Recovery

// A RIL client that counts message notifications and keeps the last sender.
struct Listener {
    static inline std::atomic<int> messages{0};
    static inline std::mutex lock;
    static inline std::u16string lastSender;
    static void CALLBACK notify(DWORD code, const void* data, DWORD, DWORD) {
        if (code != RIL_NOTIFY_MESSAGE) return;
        const auto* m = static_cast<const RILMESSAGE*>(data);
        {
            std::lock_guard<std::mutex> hold(lock);
            lastSender = m->msgInDeliver.raOrigAddress.wszAddress;
        }
        messages.fetch_add(1);
    }
    HRIL handle = nullptr;
    Listener() {
        messages = 0;
        EXPECT_EQ(RIL_Initialize(1, nullptr, notify, RIL_NCLASS_ALL, 0, &handle), S_OK);
    }
    ~Listener() { RIL_Deinitialize(handle); }
    std::string sender() {
        std::lock_guard<std::mutex> hold(lock);
        return toUtf8(lastSender);
    }
};

TEST(ModemRecovery, ARestartedModuleIsSetUpAgain) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    Listener listener;
    orven::test::clearTrace();
    p.sim.restart(300);
    ASSERT_TRUE(modemtest::eventually([] { return modemtest::traced("modem: ready"); }));
    ASSERT_TRUE(p.sim.waitUntil([&] { return p.sim.smsIndicationsOn() && p.sim.callerIdOn(); }));
    p.sim.deliverSms(u"+447700900123", u"OK");
    ASSERT_TRUE(modemtest::eventually([] { return Listener::messages.load() == 1; }));
    EXPECT_EQ(sendOnce({}), S_OK) << "PDU mode again";
}

TEST(ModemRecovery, APortThatComesBackIsReopenedAndWhatCameMeanwhileIsRead) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    Listener listener;
    orven::test::clearTrace();
    p.sim.vanish(400);
    p.sim.deliverSms(u"+447700900123", u"Coming");  // stored while the line is away
    ASSERT_TRUE(modemtest::eventually([] { return modemtest::traced("modem: port closed"); }));
    ASSERT_TRUE(modemtest::eventually([] { return modemtest::traced("modem: ready"); }));
    ASSERT_TRUE(modemtest::eventually([] { return Listener::messages.load() == 1; }));
    EXPECT_EQ(listener.sender(), "+447700900123");
    EXPECT_EQ(sendOnce({}), S_OK);
}

TEST(ModemRecovery, AModemThatStopsAnsweringIsReopened) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    p.sim.setSilent(true);
    EXPECT_EQ(sendOnce({}), SMS_E_TIMEOUT);
    EXPECT_FALSE(modemtest::traced("modem: port closed")) << "one time-out is not yet the end";
    EXPECT_EQ(sendOnce({}), SMS_E_TIMEOUT);
    // On a loaded machine the port may already be closed when the third send is
    // queued; it then fails as "no modem" once its wait for one is over.
    HRESULT third = sendOnce({});
    EXPECT_TRUE(third == SMS_E_TIMEOUT || third == SMS_E_RADIOUNAVAILABLE) << std::hex << third;
    EXPECT_TRUE(modemtest::traced("modem: port closed (no answers)"));
    p.sim.setSilent(false);
    ASSERT_TRUE(
        modemtest::eventually([] { return modemtest::tracedCount("modem: ready") >= 2; }, 8000));
    EXPECT_EQ(sendOnce({}), S_OK);
    EXPECT_EQ(p.sim.messages().size(), 1u);
}

// Line endings and split writes some modules use: the events still come through.
TEST(ModemRecovery, OddLineEndingsAndSplitResults) {
    struct Row {
        const char* legend;
        sim::Modem::Options options;
    };
    std::vector<Row> rows(4);
    rows[0].legend = "CR CR LF (SIMCom)";
    rows[0].options.urcLineEnd = "\r\r\n";
    rows[1].legend = "a bare CR";
    rows[1].options.urcLineEnd = "\r";
    rows[2].legend = "a byte per write";
    rows[2].options.splitUrcGapMs = 2;
    rows[3].legend = "+CMT instead of +CMTI";
    rows[3].options.refuseStoredIndications = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        ModemPhone p("", row.options);
        ASSERT_TRUE(p.ready);
        Listener listener;
        p.sim.deliverSms(u"InfoSMS", u"Your code 1234");
        ASSERT_TRUE(modemtest::eventually([] { return Listener::messages.load() == 1; }));
        EXPECT_EQ(listener.sender(), "InfoSMS");
        p.sim.deliverSms(u"07700900123", u"OK");
        ASSERT_TRUE(modemtest::eventually([] { return Listener::messages.load() == 2; }));
        EXPECT_EQ(listener.sender(), "07700900123");
    }
}

// A notification that comes while a send waits for the network is delivered at once.
TEST(ModemRecovery, NotificationsFlowWhileASendWaits) {
    sim::Modem::Options o;
    o.refuseStoredIndications = true;  // +CMT, read the moment it comes
    o.urcsWhileSubmitting = true;
    ModemPhone p("", o);
    ASSERT_TRUE(p.ready);
    Listener listener;
    p.sim.ignoreSubmissions(1);
    std::atomic<bool> sendReturned{false};
    std::atomic<bool> heardBeforeReturn{false};
    std::thread network([&] {
        p.sim.waitUntil([&] {
            return !p.sim.commandLines().empty() && p.sim.commandLines().back() == "AT+CMGS=153";
        });
        p.sim.deliverSms(u"+447700900123", u"OK");
        modemtest::eventually([] { return Listener::messages.load() == 1; }, 3000);
        heardBeforeReturn = Listener::messages.load() == 1 && !sendReturned.load();
    });
    EXPECT_EQ(sendOnce({}), SMS_E_TIMEOUT);
    sendReturned = true;
    network.join();
    EXPECT_TRUE(heardBeforeReturn.load());
}

// A callback that takes its time (the answered call waits a second) does not hold up
// the port: a send goes through while it has not returned.
TEST(ModemRecovery, ASlowCallbackDoesNotStallThePort) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    static std::mutex gate;
    static std::condition_variable opened;
    static bool inside = false, released = false;
    struct Slow {
        static void CALLBACK notify(DWORD code, const void*, DWORD, DWORD) {
            if (code != RIL_NOTIFY_MESSAGE) return;
            std::unique_lock<std::mutex> hold(gate);
            inside = true;
            opened.notify_all();
            opened.wait_for(hold, std::chrono::seconds(10), [] { return released; });
        }
    };
    HRIL handle = nullptr;
    ASSERT_EQ(RIL_Initialize(1, nullptr, Slow::notify, RIL_NCLASS_ALL, 0, &handle), S_OK);
    p.sim.deliverSms(u"+447700900123", u"OK");
    {
        std::unique_lock<std::mutex> hold(gate);
        ASSERT_TRUE(opened.wait_for(hold, std::chrono::seconds(5), [] { return inside; }));
    }
    EXPECT_EQ(sendOnce({}), S_OK);
    {
        std::lock_guard<std::mutex> hold(gate);
        released = true;
        opened.notify_all();
    }
    RIL_Deinitialize(handle);
}

}  // namespace

namespace {

// The emulated phone without a modem in its registry gets the default one, here the
// simulated modem that the program's start-up installs, with its loudspeaker command.
TEST(ModemDefault, WithoutARegisteredModemTheSimulatorServes) {
    orven::test::Phone phone;
    orven::sim::installDefaultModem();
    orven::test::clearTrace();
    orven::modem::setTimeoutsForTests(modemtest::shortTimeouts());
    orven::modem::start();
    ASSERT_TRUE(modemtest::eventually([] { return modemtest::traced("modem: ready"); }));
    EXPECT_TRUE(modemtest::traced("modem: none in the registry; the simulated modem at "));
    EXPECT_EQ(sendOnce({}), S_OK);
    EXPECT_EQ(orven::modem::loudspeakerCommand(), orven::sim::loudspeakerCommand);
    orven::modem::stopForTests();
}

}  // namespace
