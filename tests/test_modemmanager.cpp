// The ModemManager backend against a stand-in ModemManager and callaudiod on a private
// bus (tests/fake_modemmanager.py), with the real libmm-glib and libcallaudio in the
// platform: sending and its failures, the lines a user can act on, incoming messages and
// calls, the answer and the loudspeaker, the modem's GPS as a COM port, and the whole
// emergency procedure over it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "app/startup.h"
#include "common/status_text.h"
#include "platform/loudspeaker.h"
#include "platform/modem.h"
#include "platform/ril.h"
#include "platform/sms.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "test_modem_support.h"
#include "test_modemmanager_support.h"

namespace {

using mmtest::FakeModemManager;
using modemtest::eventually;
using modemtest::traced;
using modemtest::tracedCount;

constexpr char16_t alertNumber[] = u"+447700900123";

orven::modem::Timeouts quickTimeouts() {
    orven::modem::Timeouts t = modemtest::shortTimeouts();
    t.submit = 700;  // a send that ModemManager never finishes is given up this fast
    t.command = 700;
    return t;
}

// An emulated phone whose registry chooses ModemManager; the modem layer started.
struct MmPhone {
    explicit MmPhone(int gpsPort = -1) {
        phone.writeHive("system.reg", mmtest::modemManagerHive(gpsPort));
        orven::modem::setTimeoutsForTests(quickTimeouts());
        orven::test::clearTrace();
        orven::modem::start();
    }
    orven::test::Phone phone;
};

HRESULT sendText(const std::u16string& number, const std::u16string& text) {
    SMS_HANDLE handle = 0;
    if (SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &handle, nullptr) != S_OK) return E_FAIL;
    SMS_ADDRESS to{};
    lstrcpynW(to.ptsAddress, number.c_str(), SMS_MAX_ADDRESS_LENGTH);
    TEXT_PROVIDER_SPECIFIC_DATA provider{};
    provider.psMessageClass = PS_MESSAGE_CLASS3;
    HRESULT result = SmsSendMessage(
        handle, nullptr, &to, nullptr, reinterpret_cast<const BYTE*>(text.data()),
        static_cast<DWORD>(text.size() * 2), reinterpret_cast<const BYTE*>(&provider),
        sizeof provider, SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, nullptr);
    SmsClose(handle);
    return result;
}

TEST(ModemManagerSend, ASendCountsOnlyWhenModemManagerReportsItSent) {
    FakeModemManager fake;
    ASSERT_TRUE(fake.ready());
    ASSERT_TRUE(fake.command("modem"));
    MmPhone p;
    ASSERT_TRUE(eventually([] { return traced("modemmanager: ready"); }));
    struct Row {
        const char* legend;
        const char* outcome;  // how the stand-in ends the send
        HRESULT expected;     // what SmsSendMessage returns
        const char* sawLine;  // what the stand-in saw
    } rows[] = {
        {"sent: SENDING then SENT", "ok", S_OK, "sent +447700900123 3 Help: I fell"},
        {"the network refuses: an error, STORED again", "fail", SMS_E_SENDFAILED,
         "failed +447700900123"},
        {"no answer in time: given up", "hang", SMS_E_TIMEOUT, "send hangs +447700900123"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        ASSERT_TRUE(fake.command(std::string("next-send ") + row.outcome));
        EXPECT_EQ(sendText(alertNumber, u"Help: I fell"), row.expected);
        EXPECT_TRUE(fake.waitForLine(row.sawLine));
        EXPECT_TRUE(fake.waitForLine("deleted +447700900123")) << "our message left the list";
    }
    // A text beyond one message goes as one message that ModemManager splits.
    std::u16string longText(200, u'x');
    EXPECT_EQ(sendText(u"600100200", longText), S_OK);
    EXPECT_TRUE(fake.waitForLine("sent 600100200 3 " + std::string(200, 'x')));
}

TEST(ModemManagerSend, EachProblemAUserCanFixIsOneLineAndFailsTheSend) {
    FakeModemManager fake(false);  // the bus, but no ModemManager on it yet
    ASSERT_TRUE(fake.ready());
    MmPhone p;
    const std::string notRunning = "ModemManager is not running";
    ASSERT_EQ(sendText(alertNumber, u"Help"), SMS_E_RADIOUNAVAILABLE);
    EXPECT_EQ(tracedCount(notRunning), 1);
    ASSERT_EQ(sendText(alertNumber, u"Help"), SMS_E_RADIOUNAVAILABLE);
    EXPECT_EQ(tracedCount(notRunning), 1) << "said once while it lasts";

    fake.startService();
    ASSERT_TRUE(fake.ready());
    struct Step {
        const char* legend;
        std::vector<std::string> commands;  // to the stand-in
        const char* line;                   // said once, and traced
        HRESULT expected;
    } steps[] = {
        {"ModemManager runs without a modem",
         {},
         "ModemManager has no modem",
         SMS_E_RADIOUNAVAILABLE},
        {"a modem whose SIM wants its PIN",
         {"modem 2 2"},
         "the SIM is locked by a PIN",
         SMS_E_RADIOUNAVAILABLE},
        {"a modem still searching for a network",
         {"remove", "modem 7"},
         "the modem has no network",
         SMS_E_RADIOUNAVAILABLE},
        {"registered at last", {"state 8"}, "modemmanager: ready", S_OK},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.legend);
        for (const std::string& command : step.commands) ASSERT_TRUE(fake.command(command));
        ASSERT_TRUE(eventually([&] { return traced(step.line); }));
        EXPECT_EQ(sendText(alertNumber, u"Help"), step.expected);
        EXPECT_EQ(tracedCount(step.line), 1);
    }
}

}  // namespace
