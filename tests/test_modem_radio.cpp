// The radio interface over the simulated modem: incoming messages and calls become
// notifications on the radio's own thread, with the shell's window already open when
// the callback runs; RIL_Answer answers; RIL_Deinitialize ends the callbacks.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/shell_notify.h"
#include "platform/windows.h"
#include "test_modem_support.h"

namespace {

using namespace orven;
using modemtest::ModemPhone;

struct Heard {
    DWORD code;
    std::string address;
    DWORD addressType = 0;
    DWORD validity = 0;
    DWORD messageType = 0;
    std::string text;                  // of a message
    std::vector<std::string> windows;  // visible top-level titles when the callback ran
};

struct Result {
    DWORD code;
    HRESULT id;
};

std::mutex recordLock;
std::vector<Heard> heard;
std::vector<Result> results;

BOOL CALLBACK collectTitle(HWND window, LPARAM list) {
    WCHAR title[256];
    GetWindowTextW(window, title, 256);
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<std::string>*>(list)->push_back(toUtf8(title));
    return TRUE;
}

void CALLBACK onNotify(DWORD code, const void* data, DWORD, DWORD parameter) {
    EXPECT_EQ(parameter, 0x55AA55AAu);
    Heard h{code, "", 0, 0, 0, "", {}};
    if (code == RIL_NOTIFY_MESSAGE) {
        const auto* m = static_cast<const RILMESSAGE*>(data);
        h.messageType = m->dwType;
        h.address = toUtf8(m->msgInDeliver.raOrigAddress.wszAddress);
        h.addressType = m->msgInDeliver.raOrigAddress.dwType;
        std::u16string text;
        for (DWORD i = 0; i < m->msgInDeliver.cchMsgLength; ++i)
            text += static_cast<char16_t>(m->msgInDeliver.rgbMsg[2 * i] |
                                          m->msgInDeliver.rgbMsg[2 * i + 1] << 8);
        h.text = toUtf8(text);
    } else if (code == RIL_NOTIFY_CALLERID) {
        const auto* r = static_cast<const RILREMOTEPARTYINFO*>(data);
        h.address = toUtf8(r->raAddress.wszAddress);
        h.addressType = r->raAddress.dwType;
        h.validity = r->dwValidity;
    }
    EnumWindows(collectTitle, reinterpret_cast<LPARAM>(&h.windows));
    std::lock_guard<std::mutex> hold(recordLock);
    heard.push_back(h);
}

void CALLBACK onResult(DWORD code, HRESULT id, const void*, DWORD, DWORD) {
    std::lock_guard<std::mutex> hold(recordLock);
    results.push_back({code, id});
}

std::vector<Heard> heardOf(DWORD code) {
    std::lock_guard<std::mutex> hold(recordLock);
    std::vector<Heard> picked;
    for (const Heard& h : heard)
        if (h.code == code) picked.push_back(h);
    return picked;
}

bool hasWindow(const std::string& title) {
    std::vector<std::string> titles;
    EnumWindows(collectTitle, reinterpret_cast<LPARAM>(&titles));
    return std::find(titles.begin(), titles.end(), title) != titles.end();
}

struct Client {
    HRIL handle = nullptr;
    explicit Client(DWORD classes = RIL_NCLASS_ALL) {
        std::lock_guard<std::mutex> hold(recordLock);
        heard.clear();
        results.clear();
        EXPECT_EQ(RIL_Initialize(1, onResult, onNotify, classes, 0x55AA55AA, &handle), S_OK);
    }
    ~Client() { RIL_Deinitialize(handle); }
};

struct MessageRow {
    const char* legend;
    std::u16string from, text;
    pdu::Alphabet alphabet;
    DWORD addressType;
};

TEST(Radio, EachIncomingMessageIsOneNotification) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    Client client;
    std::u16string longReply(120, u'\u0119');  // two UCS-2 parts
    const std::vector<MessageRow> rows = {
        {"an international sender", u"+447700900123", u"OK, coming", pdu::Alphabet::gsm7,
         RIL_ADDRTYPE_INTERNATIONAL},
        {"a national sender", u"07700900123", u"OK", pdu::Alphabet::gsm7, RIL_ADDRTYPE_UNKNOWN},
        {"an alphanumeric sender", u"InfoSMS", u"Your code 1234", pdu::Alphabet::gsm7,
         RIL_ADDRTYPE_ALPHANUM},
        {"UCS-2 with the degree sign", u"+447700900123", u"Widz\u0119 N50.06\u00B0",
         pdu::Alphabet::ucs2, RIL_ADDRTYPE_INTERNATIONAL},
        {"a reply in two parts is one notification", u"+447700900123", longReply,
         pdu::Alphabet::ucs2, RIL_ADDRTYPE_INTERNATIONAL},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const MessageRow& row = rows[i];
        SCOPED_TRACE(row.legend);
        p.sim.deliverSms(row.from, row.text, row.alphabet);
        ASSERT_TRUE(
            modemtest::eventually([&] { return heardOf(RIL_NOTIFY_MESSAGE).size() == i + 1; }));
        Heard h = heardOf(RIL_NOTIFY_MESSAGE).back();
        EXPECT_EQ(h.messageType, static_cast<DWORD>(RIL_MSGTYPE_IN_DELIVER));
        EXPECT_EQ(h.address, toUtf8(row.from));
        EXPECT_EQ(h.addressType, row.addressType);
        EXPECT_EQ(h.text, toUtf8(row.text.substr(0, 67)));
        EXPECT_NE(std::find(h.windows.begin(), h.windows.end(), "New SMS message"), h.windows.end())
            << "the shell's window is open before the callback";
    }
    ASSERT_TRUE(radio::drainForTests());
    EXPECT_EQ(heardOf(RIL_NOTIFY_MESSAGE).size(), rows.size());
    EXPECT_TRUE(p.sim.waitUntil([&] {
        return p.sim.commandLines().back().rfind("AT+CMGD=", 0) == 0;
    })) << "read messages are deleted";
}

TEST(Radio, AnOlderShellCallsItsWindowNewTextMessage) {
    ModemPhone p("os-major-version = 4\n");
    ASSERT_TRUE(p.ready);
    Client client;
    p.sim.deliverSms(u"+447700900123", u"OK");
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_MESSAGE).size() == 1; }));
    std::vector<std::string> windows = heardOf(RIL_NOTIFY_MESSAGE)[0].windows;
    EXPECT_NE(std::find(windows.begin(), windows.end(), "New text message"), windows.end());
    EXPECT_EQ(std::find(windows.begin(), windows.end(), "New SMS message"), windows.end());
}

TEST(Radio, ACallShowsItsCallerOnceAndIsAnswered) {
    sim::Modem::Options o;
    o.ringIntervalMs = 100;
    ModemPhone p("", o);
    ASSERT_TRUE(p.ready);
    Client client;
    p.sim.ring(u"+447700900123");
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_RING).size() >= 3; }));
    std::vector<Heard> callers = heardOf(RIL_NOTIFY_CALLERID);
    ASSERT_EQ(callers.size(), 1u) << "however often +CLIP repeats";
    EXPECT_EQ(callers[0].address, "+447700900123");
    EXPECT_EQ(callers[0].addressType, static_cast<DWORD>(RIL_ADDRTYPE_INTERNATIONAL));
    EXPECT_EQ(callers[0].validity, static_cast<DWORD>(RIL_REMOTEPARTYINFO_VALID));
    EXPECT_NE(
        std::find(callers[0].windows.begin(), callers[0].windows.end(), "Phone - Incoming..."),
        callers[0].windows.end());
    HRESULT id = RIL_Answer(client.handle);
    EXPECT_GT(id, 0);
    ASSERT_TRUE(modemtest::eventually([] {
        std::lock_guard<std::mutex> hold(recordLock);
        return !results.empty();
    }));
    EXPECT_EQ(results[0].code, static_cast<DWORD>(RIL_RESULT_OK));
    EXPECT_EQ(results[0].id, id);
    ASSERT_EQ(p.sim.calls().size(), 1u);
    EXPECT_TRUE(p.sim.calls()[0].answered);
    EXPECT_FALSE(hasWindow("Phone - Incoming...")) << "the answered call's window is gone";
    p.sim.hangUp();
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_DISCONNECT).size() == 1; }));
}

TEST(Radio, AWithheldCallerAndACallerWhoGivesUp) {
    sim::Modem::Options o;
    o.ringIntervalMs = 100;
    o.ringsBeforeGivingUp = 3;
    ModemPhone p("", o);
    ASSERT_TRUE(p.ready);
    Client client;
    p.sim.ring(u"");
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_CALLERID).size() == 1; }));
    Heard caller = heardOf(RIL_NOTIFY_CALLERID)[0];
    EXPECT_EQ(caller.address, "");
    EXPECT_EQ(caller.validity, static_cast<DWORD>(RIL_REMOTEPARTYINFO_WITHHELD));
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_DISCONNECT).size() == 1; }));
    EXPECT_FALSE(hasWindow("Phone - Incoming...")) << "gone with the call";
    RIL_Answer(client.handle);
    ASSERT_TRUE(modemtest::eventually([] {
        std::lock_guard<std::mutex> hold(recordLock);
        return !results.empty();
    }));
    EXPECT_EQ(results[0].code, static_cast<DWORD>(RIL_RESULT_NOCARRIER)) << "no call to answer";
}

TEST(Radio, TheSmartphoneShellShowsNoIncomingCallWindow) {
    ModemPhone p("platform = Smartphone\n");
    ASSERT_TRUE(p.ready);
    Client client;
    p.sim.ring(u"+447700900123");
    ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_CALLERID).size() == 1; }));
    std::vector<std::string> windows = heardOf(RIL_NOTIFY_CALLERID)[0].windows;
    EXPECT_EQ(std::find(windows.begin(), windows.end(), "Phone - Incoming..."), windows.end());
}

TEST(Radio, RegistrationArgumentsClassesAndRelease) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    HRIL handle = nullptr;
    EXPECT_EQ(RIL_Initialize(2, onResult, onNotify, RIL_NCLASS_ALL, 0, &handle), E_INVALIDARG);
    EXPECT_EQ(RIL_Initialize(1, onResult, onNotify, RIL_NCLASS_ALL, 0, nullptr), E_INVALIDARG);
    {
        Client messagesOnly(RIL_NCLASS_MESSAGE);
        p.sim.ring(u"+447700900123");
        p.sim.deliverSms(u"+447700900123", u"OK");
        ASSERT_TRUE(modemtest::eventually([] { return heardOf(RIL_NOTIFY_MESSAGE).size() == 1; }));
        ASSERT_TRUE(modemtest::traced("radio: call from +447700900123"));
        ASSERT_TRUE(radio::drainForTests());
        EXPECT_TRUE(heardOf(RIL_NOTIFY_RING).empty());
        EXPECT_TRUE(heardOf(RIL_NOTIFY_CALLERID).empty());
        handle = messagesOnly.handle;
    }
    EXPECT_EQ(RIL_Answer(handle), E_INVALIDARG) << "released";
    EXPECT_EQ(RIL_Deinitialize(handle), E_INVALIDARG);
    size_t before = heardOf(RIL_NOTIFY_MESSAGE).size();
    p.sim.deliverSms(u"+447700900123", u"again");
    ASSERT_TRUE(
        modemtest::eventually([] { return modemtest::tracedCount("radio: message from") == 2; }));
    ASSERT_TRUE(radio::drainForTests());
    EXPECT_EQ(heardOf(RIL_NOTIFY_MESSAGE).size(), before) << "no callback after RIL_Deinitialize";
}

}  // namespace

namespace {

int windowsTitled(const std::string& title) {
    std::vector<std::string> titles;
    EnumWindows(collectTitle, reinterpret_cast<LPARAM>(&titles));
    return static_cast<int>(std::count(titles.begin(), titles.end(), title));
}

// The shell shows one bubble for new messages, and a tap on it dismisses it.
TEST(ShellNotifications, OneBubbleThatATapDismisses) {
    orven::test::Phone phone;
    orven::shell::showNewMessage(u"+447700900123", u"OK");
    orven::shell::showNewMessage(u"InfoSMS", u"Your code 1234");
    EXPECT_EQ(windowsTitled("New SMS message"), 1);
    phone.advance(0);  // painted on the GUI thread
    phone.tap(120, 40);
    EXPECT_EQ(windowsTitled("New SMS message"), 0);
    orven::shell::showIncomingCall(u"+447700900123");
    EXPECT_EQ(windowsTitled("Phone - Incoming..."), 1);
    orven::shell::endIncomingCall();
    EXPECT_EQ(windowsTitled("Phone - Incoming..."), 0);
}

}  // namespace
