// The ModemManager backend against a stand-in ModemManager and callaudiod on a private
// bus (tests/fake_modemmanager.py), with the real libmm-glib and libcallaudio in the
// platform: sending and its failures, the lines a user can act on, incoming messages and
// calls, the answer and the loudspeaker, the modem's GPS as a COM port, and the whole
// emergency procedure over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/startup.h"
#include "common/status_text.h"
#include "platform/loudspeaker.h"
#include "platform/modem.h"
#include "platform/ril.h"
#include "platform/serial.h"
#include "platform/sms.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "test_modem_support.h"
#include "test_modemmanager_support.h"

#if defined(__SANITIZE_THREAD__)
// GLib, GIO and the libraries over them are not built for ThreadSanitizer, and their
// locks are futexes it cannot see: what they do between the D-Bus worker thread and the
// GLib thread would read as races. Races with a frame in them are left out; the rest of
// the layer, and its hand-over to the GLib thread (a std::mutex), are still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so.0\n"
           "race:libgio-2.0.so.0\n"
           "race:libgobject-2.0.so.0\n"
           "race:libmm-glib.so.0\n"
           "race:libcallaudio-0.1.so.0\n";
}
#endif

namespace {

using mmtest::FakeModemManager;
using modemtest::eventually;
using modemtest::traced;
using modemtest::tracedCount;

constexpr char16_t alertNumber[] = u"+447700900123";

orven::modem::Timeouts quickTimeouts() {
    orven::modem::Timeouts t = modemtest::shortTimeouts();
    t.submit = 1500;  // a send that ModemManager never finishes is given up after 2.5 s
    t.command = 1000;
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
    ~MmPhone() { orven::modem::stopForTests(); }
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

// What the radio's callbacks received, in order.
struct Heard {
    std::mutex lock;
    std::vector<std::string> notes;
    std::vector<std::string> snapshot() {
        std::lock_guard<std::mutex> hold(lock);
        return notes;
    }
    bool has(const std::string& note) {
        for (const std::string& n : snapshot())
            if (n == note) return true;
        return false;
    }
} heard;

void CALLBACK onNotify(DWORD code, const void* data, DWORD, DWORD) {
    std::string note;
    if (code == RIL_NOTIFY_MESSAGE) {
        const auto* m = static_cast<const RILMESSAGE*>(data);
        std::u16string text(reinterpret_cast<const char16_t*>(m->msgInDeliver.rgbMsg),
                            m->msgInDeliver.cchMsgLength);
        note = "message " + orven::toUtf8(m->msgInDeliver.raOrigAddress.wszAddress) + " " +
               orven::toUtf8(text);
    } else if (code == RIL_NOTIFY_CALLERID) {
        note = "caller " +
               orven::toUtf8(static_cast<const RILREMOTEPARTYINFO*>(data)->raAddress.wszAddress);
    } else if (code == RIL_NOTIFY_RING) {
        note = "ring";
    } else if (code == RIL_NOTIFY_DISCONNECT) {
        note = "disconnect";
    }
    std::lock_guard<std::mutex> hold(heard.lock);
    heard.notes.push_back(note);
}

void CALLBACK onResult(DWORD code, HRESULT id, const void*, DWORD, DWORD) {
    std::lock_guard<std::mutex> hold(heard.lock);
    heard.notes.push_back("result " + std::to_string(id) + " " + std::to_string(code));
}

TEST(ModemManagerRadio, MessagesAndCallsReachTheRadioAndTheAnswerGoesOnTheLoudspeaker) {
    FakeModemManager fake;
    ASSERT_TRUE(fake.ready());
    ASSERT_TRUE(fake.command("modem"));
    MmPhone p;
    HRIL ril = nullptr;
    ASSERT_EQ(RIL_Initialize(1, onResult, onNotify, RIL_NCLASS_ALL, 0, &ril), S_OK);
    ASSERT_TRUE(eventually([] { return traced("modemmanager: ready"); }));

    // Completed only after Added: reported once RECEIVED, with the sender as sent.
    ASSERT_TRUE(fake.command("sms +447700900123 On my way"));
    ASSERT_TRUE(eventually([] { return heard.has("message +447700900123 On my way"); }));
    EXPECT_TRUE(traced("shell: new message from +447700900123"));

    // No call rings: nothing to accept.
    HRESULT early = RIL_Answer(ril);
    ASSERT_TRUE(eventually([&] {
        return heard.has("result " + std::to_string(early) + " " +
                         std::to_string(RIL_RESULT_NOCARRIER));
    }));

    // The number comes a moment after the call, as +CLIP after RING.
    ASSERT_TRUE(fake.command("call +447700900123"));
    ASSERT_TRUE(eventually([] { return heard.has("caller +447700900123"); }));
    std::vector<std::string> notes = heard.snapshot();
    auto ring = std::find(notes.begin(), notes.end(), "ring");
    auto caller = std::find(notes.begin(), notes.end(), "caller +447700900123");
    EXPECT_LT(ring, caller);
    HRESULT id = RIL_Answer(ril);
    ASSERT_TRUE(fake.waitForLine("accepted +447700900123"));
    ASSERT_TRUE(eventually([&] {
        return heard.has("result " + std::to_string(id) + " " + std::to_string(RIL_RESULT_OK));
    }));
    EXPECT_TRUE(fake.waitForLine("mode 1")) << "callaudiod routes the call";

    // The phone's loudspeaker switch, as the program calls it.
    HMODULE ossvcs = LoadLibraryW(u"\\windows\\ossvcs.dll");
    auto setLoudspeaker =
        reinterpret_cast<LoudspeakerSetProc>(GetProcAddressW(ossvcs, MAKEINTRESOURCEW(218)));
    ASSERT_NE(setLoudspeaker, nullptr);
    setLoudspeaker(1);
    EXPECT_TRUE(fake.waitForLine("speaker 1"));
    ASSERT_TRUE(eventually([] { return traced("callaudio: loudspeaker on"); }));

    ASSERT_TRUE(fake.command("hangup"));
    ASSERT_TRUE(eventually([] { return heard.has("disconnect"); }));
    EXPECT_TRUE(fake.waitForLine("mode 0")) << "back to the default audio";
    RIL_Deinitialize(ril);
}

TEST(ModemManagerRadio, WithoutCallaudiodTheLoudspeakerSaysSoOnce) {
    FakeModemManager fake(true, "--no-callaudio");
    ASSERT_TRUE(fake.ready());
    ASSERT_TRUE(fake.command("modem"));
    MmPhone p;
    HANDLE wave = CreateFileW(u"WAV1:", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD message[5] = {0, WAV_MESSAGE_LOUDSPEAKER_ON, 0, 0, 0};
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(DeviceIoControl(wave, IOCTL_WAV_MESSAGE, message, sizeof message, nullptr, 0,
                                    nullptr, nullptr));
    ASSERT_TRUE(eventually([] { return tracedCount("callaudio: EnableSpeaker failed") == 2; }));
    EXPECT_FALSE(traced("callaudio: loudspeaker on"));
    CloseHandle(wave);
}

TEST(ModemManagerGps, TheModemsNmeaIsAComPortThatVanishesWithTheModem) {
    FakeModemManager fake;
    ASSERT_TRUE(fake.ready());
    ASSERT_TRUE(fake.command("modem"));
    MmPhone p(5);
    ASSERT_TRUE(eventually([] { return traced("modemmanager: ready"); }));
    HANDLE port = CreateFileW(u"COM5:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fake.waitForLine("location 4 1")) << "raw NMEA on, with signals";
    COMMTIMEOUTS timeouts{0, 0, 2000, 0, 0};
    SetCommTimeouts(port, &timeouts);
    const std::string gga =
        mmtest::nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string rmc =
        mmtest::nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    ASSERT_TRUE(fake.command("nmea " + gga));
    ASSERT_TRUE(fake.command("nmea " + rmc));
    ASSERT_TRUE(fake.command("nmea " + gga));  // unchanged: not new
    std::string received;
    std::string expected = gga + "\r\n" + rmc + "\r\n";
    char buffer[256];
    DWORD got = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < expected.size() && std::chrono::steady_clock::now() < deadline &&
           ReadFile(port, buffer, sizeof buffer, &got, nullptr))
        received.append(buffer, got);
    EXPECT_EQ(received, expected);

    ASSERT_TRUE(fake.command("remove"));
    DWORD mask = 0;
    SetCommMask(port, EV_RXCHAR);
    EXPECT_FALSE(WaitCommEvent(port, &mask, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    CloseHandle(port);
    EXPECT_EQ(CreateFileW(u"COM5:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The modem back: the port opens again, on a new terminal.
    ASSERT_TRUE(fake.command("modem"));
    ASSERT_TRUE(eventually([] { return tracedCount("modemmanager: ready") == 2; }));
    port = CreateFileW(u"COM5:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(port, INVALID_HANDLE_VALUE);
    CloseHandle(port);
}

// The emergency procedure on a phone whose modem and receiver are ModemManager's: the tap,
// the fix from the modem's GPS, the alert by SMS, the call back answered and put on the
// loudspeaker, the alarm.
TEST(ModemManagerProcedure, FromATapThroughTheModemsGpsToTheAnsweredCallOnTheLoudspeaker) {
    FakeModemManager fake;
    ASSERT_TRUE(fake.ready());
    ASSERT_TRUE(fake.command("modem"));
    orven::test::Phone phone;
    phone.writeHive("system.reg",
                    mmtest::modemManagerHive(
                        4,
                        "\"Alert number 1\"=\"600100200\"\r\n\"Alerts number\"=dword:00000000\r\n"
                        "\"GPS port number\"=dword:00000004\r\n"
                        "\"Auto-answering\"=dword:00000001\r\n"
                        "\"Auto-speakerphone\"=dword:00000001\r\n"));
    // The modem's receiver: a fix every 50 ms of real time, each with its own time.
    std::atomic<bool> feeding{true};
    std::thread receiver([&] {
        for (int second = 0; feeding.load(); ++second) {
            char time[16];
            std::snprintf(time, sizeof time, "1235%02d", second % 60);
            std::string t = time;
            fake.command(
                "nmea " +
                mmtest::nmea("GPGGA," + t + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
            fake.command("nmea " +
                         mmtest::nmea("GPRMC," + t +
                                      ",A,4807.038,N,01131.000,E,022.4,084.4,050126,003.1,W"));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    auto status = [] {
        WCHAR text[statusTextSize];
        copyStatusText(text);
        return std::u16string(text);
    };
    auto statusStartsWith = [&](const std::u16string& text) {
        return phone.waitFor([&] { return status().rfind(text, 0) == 0; }, 1, 15000);
    };
    phone.start(WinMain, u"");
    phone.advance(1100);
    phone.tap(50, 300);
    phone.advance(1000);
    EXPECT_TRUE(statusStartsWith(u"Position found at ")) << orven::toUtf8(phone.read(status));
    EXPECT_TRUE(statusStartsWith(u"Alert has sent correctly")) << orven::toUtf8(phone.read(status));
    EXPECT_TRUE(fake.waitForLine("sent 600100200 3 Medicine Emergency ALERT"));
    ASSERT_TRUE(fake.command("call +48600100200"));
    EXPECT_TRUE(fake.waitForLine("accepted +48600100200"));
    EXPECT_TRUE(fake.waitForLine("mode 1"));
    EXPECT_TRUE(phone.waitFor([&] { return fake.waitForLine("speaker 1", 0); }, 1, 5000));
    EXPECT_EQ(phone.read(status), u"Emergency message confirned\nPlease speak...");
    EXPECT_TRUE(phone.waitFor([] { return traced("callaudio: loudspeaker on"); }, 1, 5000));
    feeding = false;
    receiver.join();
    orven::modem::stopForTests();
}

}  // namespace
