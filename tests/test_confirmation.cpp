// The confirmation watcher, called as the radio interface calls it: for each
// notification the effects it has (timers, windows closed, foreground, answer request,
// loudspeaker) in their order, the status text and the test mode afterwards. And
// closeWindowByTitle on its own.
#include <gtest/gtest.h>

#include <map>

#include "alert/alert_message.h"
#include "alert/confirmation_watcher.h"
#include "app/startup.h"
#include "common/platform_facts.h"
#include "common/status_text.h"
#include "settings/app_settings.h"
#include "test_modem_support.h"

namespace {

using namespace orven;

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(LPCWSTR title, bool visible) {
    static bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"ConfirmationTestWindow";
        return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExW(0, u"ConfirmationTestWindow", title, visible ? WS_VISIBLE : 0, 0, 0, 240,
                           80, nullptr, nullptr, nullptr, nullptr);
}

std::string hex(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "%#lx",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

// The watcher's effects in the trace, with window handles replaced by names.
std::vector<std::string> effects(const std::map<std::string, std::string>& names) {
    static const char* kinds[] = {"KillTimer",           "SetTimer",   "DestroyWindow",
                                  "SetForegroundWindow", "RIL_Answer", "loudspeaker on"};
    std::vector<std::string> picked;
    for (std::string line : orven::test::traceLines()) {
        size_t at = std::string::npos;
        for (const char* k : kinds)
            if ((at = line.find(k)) != std::string::npos) break;
        if (at == std::string::npos) continue;
        line = line.substr(at);
        for (const auto& [handle, name] : names) {
            size_t h = line.find("hwnd=" + handle);
            if (h != std::string::npos) line.replace(h, 5 + handle.size(), name);
        }
        if (line.rfind("RIL_Answer", 0) == 0) line = "RIL_Answer";
        if (line.rfind("loudspeaker on", 0) == 0) line = line.substr(0, line.find(')') + 1);
        size_t id = line.find(" id=");
        if (id != std::string::npos) line.replace(id, 4, " ");
        size_t ms = line.find(" ms=");
        if (ms != std::string::npos) line.replace(ms, 4, " ");
        picked.push_back(line);
    }
    return picked;
}

struct Row {
    const char* legend;
    DWORD code;
    std::u16string from;
    std::string status;                // afterwards; empty: as it was
    std::vector<std::string> effects;  // in order
    uint32_t sent = 1;
    int32_t test = 0;
    std::u16string one = u"+447700900123", two = u"+447700900456", testNo = u"";
    int32_t answer = 0, speaker = 0;
    DWORD os = 5, smartphone = 0;
    DWORD messageType = RIL_MSGTYPE_IN_DELIVER;
};

const std::string untouched = "Alert has sent correctly\nAwaiting for response...";
const std::vector<std::string> confirmedByMessage = {"KillTimer main 7", "KillTimer main 55",
                                                     "DestroyWindow sms", "SetTimer main 8 500"};

std::vector<Row> rows() {
    const std::u16string longNumber = u"+447700900123" + std::u16string(100, u'9');
    std::vector<Row> r = {
        {"a reply from alert number 2 while two alerts are out", RIL_NOTIFY_MESSAGE,
         u"+447700900456", "Emergency message confirmed\nfrom: +447700900456", confirmedByMessage,
         2},
        {"a reply while no alert is pending", RIL_NOTIFY_MESSAGE, u"+447700900123", "", {}, 0},
        {"a call while no alert is pending", RIL_NOTIFY_CALLERID, u"+447700900123", "", {}, 0},
        {"a call from a number that matches none", RIL_NOTIFY_CALLERID, u"+447700900999", "", {}},
        {"a test pending, a reply from alert number 1", RIL_NOTIFY_MESSAGE, u"+447700900123",
         "Test message confirmed\nfrom: +447700900123", confirmedByMessage, 1, 2, u"+447700900123",
         u"+447700900456", u"600100200"},
        {"a test pending, a call from the test number, answered on the loudspeaker",
         RIL_NOTIFY_CALLERID,
         u"+48600100200",
         "Test message confirmed\nPlease speak...",
         {"KillTimer main 7", "KillTimer main 55", "DestroyWindow call", "SetForegroundWindow main",
          "RIL_Answer", "loudspeaker on (ossvcs 218)", "SetTimer main 8 500"},
         1,
         2,
         u"+447700900123",
         u"+447700900456",
         u"600100200",
         1,
         1},
        {"a call without auto-answering",
         RIL_NOTIFY_CALLERID,
         u"+447700900123",
         "Emergency message confirmed\nby +447700900123",
         {"KillTimer main 7", "KillTimer main 55", "DestroyWindow call", "SetForegroundWindow main",
          "SetTimer main 8 500"}},
        {"auto-answering without the loudspeaker",
         RIL_NOTIFY_CALLERID,
         u"+447700900123",
         "Emergency message confirned\nPlease speak...",
         {"KillTimer main 7", "KillTimer main 55", "DestroyWindow call", "SetForegroundWindow main",
          "RIL_Answer", "SetTimer main 8 500"},
         1,
         0,
         u"+447700900123",
         u"",
         u"",
         1,
         0},
        {"an older shell's message window",
         RIL_NOTIFY_MESSAGE,
         u"+447700900123",
         "Emergency message confirmed\nfrom: +447700900123",
         {"KillTimer main 7", "KillTimer main 55", "DestroyWindow text", "SetTimer main 8 500"},
         1,
         0,
         u"+447700900123",
         u"",
         u"",
         0,
         0,
         4},
        {"a Smartphone closes no window but comes to the front",
         RIL_NOTIFY_CALLERID,
         u"+447700900123",
         "Emergency message confirmed\nby +447700900123",
         {"KillTimer main 7", "KillTimer main 55", "SetForegroundWindow main",
          "SetTimer main 8 500"},
         1,
         0,
         u"+447700900123",
         u"",
         u"",
         0,
         0,
         5,
         1},
        {"empty stored numbers never match",
         RIL_NOTIFY_MESSAGE,
         u"+447700900123",
         "",
         {},
         1,
         0,
         u"",
         u"",
         u""},
        {"a stored number of two characters never matches",
         RIL_NOTIFY_MESSAGE,
         u"+4412345",
         "",
         {},
         1,
         0,
         u"12",
         u"45",
         u"5"},
        {"a test number of two characters never matches",
         RIL_NOTIFY_CALLERID,
         u"+4412345",
         "",
         {},
         1,
         2,
         u"",
         u"",
         u"45"},
        {"a number holding an alert number in its middle does not match",
         RIL_NOTIFY_MESSAGE,
         u"+447700900123999",
         "",
         {}},
        {"a number ending with the test number matches", RIL_NOTIFY_MESSAGE, u"+48600100200",
         "Test message confirmed\nfrom: +48600100200", confirmedByMessage, 1, 2, u"", u"",
         u"600100200"},
        {"stored without the country prefix matches a caller shown with it", RIL_NOTIFY_MESSAGE,
         u"+447700900123", "Emergency message confirmed\nfrom: +447700900123", confirmedByMessage,
         1, 0, u"7700900123", u"", u""},
        {"stored with the prefix does not match a sender shown without it",
         RIL_NOTIFY_MESSAGE,
         u"07700900123",
         "",
         {},
         1,
         0,
         u"+447700900123",
         u"",
         u""},
        {"a withheld caller never matches", RIL_NOTIFY_CALLERID, u"", "", {}},
        {"a message that is not an incoming delivery",
         RIL_NOTIFY_MESSAGE,
         u"+447700900123",
         "",
         {},
         1,
         0,
         u"+447700900123",
         u"",
         u"",
         0,
         0,
         5,
         0,
         0x00010002},
        {"a ring is not a caller id", RIL_NOTIFY_RING, u"+447700900123", "", {}},
        {"another notification of the message class",
         RIL_NOTIFY_MESSAGE + 1,
         u"+447700900123",
         "",
         {}},
        {"a received number longer than 99 characters is cut", RIL_NOTIFY_MESSAGE, longNumber,
         "Emergency message confirmed\nfrom: " + toUtf8(longNumber.substr(0, 99)),
         confirmedByMessage, 1, 0, u"99999"},
    };
    return r;
}

const Row waveDriverRow = {
    "the older loudspeaker switch below version 5",
    RIL_NOTIFY_CALLERID,
    u"+447700900123",
    "Emergency message confirned\nPlease speak...",
    {"KillTimer main 7", "KillTimer main 55", "DestroyWindow call", "SetForegroundWindow main",
     "RIL_Answer", "loudspeaker on (WAV1: message 102)", "SetTimer main 8 500"},
    1,
    0,
    u"+447700900123",
    u"",
    u"",
    1,
    1,
    4};

class Watcher : public ::testing::Test {
  protected:
    void SetUp() override {
        // A modem that never comes: the answer and the loudspeaker command only queue.
        phone_.writeHive("system.reg", modemtest::modemHive("/nonexistent/modem", "AT+CHFA=1"));
        WNDCLASSW wc{};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"WatcherMain";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"WatcherMain", u"ZURV: ORVEN\u2122", WS_VISIBLE, 0, 0, 240,
                                     320, nullptr, nullptr, nullptr, nullptr);
        HRIL handle = nullptr;
        ASSERT_EQ(RIL_Initialize(1, onRadioResult, nullptr, RIL_NCLASS_ALL, 0x55AA55AA, &handle),
                  S_OK);
        rilHandle = handle;
    }
    void TearDown() override {
        RIL_Deinitialize(rilHandle.load());
        orven::modem::stopForTests();
    }
    orven::test::Phone phone_;
};

// One notification as the radio interface delivers it, and what it did.
void runRow(const Row& row) {
    resetSettingsForTests();
    lstrcpynW(appSettings.alertNumber1, row.one.c_str(), alertNumberSize);
    lstrcpynW(appSettings.alertNumber2, row.two.c_str(), alertNumberSize);
    appSettings.autoAnswering = row.answer;
    appSettings.autoSpeakerphone = row.speaker;
    setTestNumber(row.testNo.c_str());
    alertsSent = row.sent;
    testMode = row.test;
    osMajorVersion = row.os;
    isSmartphone = row.smartphone;
    setStatusText(u"Alert has sent correctly\nAwaiting for response...");
    HWND sms = makeWindow(u"New SMS message", true);
    HWND text = makeWindow(u"New text message", true);
    HWND call = makeWindow(u"Phone - Incoming...", true);
    std::map<std::string, std::string> names = {
        {hex(mainWindow), "main"}, {hex(sms), "sms"}, {hex(text), "text"}, {hex(call), "call"}};
    orven::test::clearTrace();

    if (row.code == RIL_NOTIFY_CALLERID || row.code == RIL_NOTIFY_RING) {
        RILREMOTEPARTYINFO info{};
        info.cbSize = sizeof info;
        lstrcpynW(info.raAddress.wszAddress, row.from.c_str(), MAXLENGTH_ADDRESS);
        onRadioNotify(row.code, &info, sizeof info, 0x55AA55AA);
    } else {
        auto message = std::make_unique<RILMESSAGE>();
        message->cbSize = sizeof(RILMESSAGE);
        message->dwType = row.messageType;
        lstrcpynW(message->msgInDeliver.raOrigAddress.wszAddress, row.from.c_str(),
                  MAXLENGTH_ADDRESS);
        onRadioNotify(row.code, message.get(), sizeof(RILMESSAGE), 0x55AA55AA);
    }

    EXPECT_EQ(effects(names), row.effects);
    WCHAR status[statusTextSize];
    copyStatusText(status);
    EXPECT_EQ(toUtf8(status), row.status.empty() ? untouched : row.status);
    bool confirmed = !row.effects.empty();
    EXPECT_EQ(testMode.load(), confirmed ? 0 : row.test);
    EXPECT_EQ(alertsSent.load(), row.sent) << "the main window zeroes it, on timer 8";
    for (HWND w : {sms, text, call}) DestroyWindow(w);
}

TEST_F(Watcher, EachNotificationHasItsEffectsInOrder) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.legend);
        runRow(row);
    }
}

TEST_F(Watcher, TheWaveDriverSwitchesTheLoudspeakerBelowVersion5) {
    runRow(waveDriverRow);
}

// The wave driver's device itself, as CreateFileW reaches it.
TEST_F(Watcher, TheWaveDeviceTakesOnlyTheLoudspeakerMessage) {
    HANDLE wave = openSpecialDevice(u"WAV1:", GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(wave, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openSpecialDevice(u"WAV2:", 0), INVALID_HANDLE_VALUE);
    DWORD on[5] = {0, WAV_MESSAGE_LOUDSPEAKER_ON, 0, 0, 0};
    DWORD other[5] = {0, 101, 0, 0, 0};
    DWORD out = 7, returned = 9;
    int before = loudspeakerCounts().waveOn;
    EXPECT_FALSE(DeviceIoControl(wave, IOCTL_WAV_MESSAGE, other, sizeof other, &out, sizeof out,
                                 &returned, nullptr));
    EXPECT_FALSE(DeviceIoControl(wave, IOCTL_WAV_MESSAGE + 4, on, sizeof on, &out, sizeof out,
                                 &returned, nullptr));
    EXPECT_FALSE(
        DeviceIoControl(wave, IOCTL_WAV_MESSAGE, on, 8, &out, sizeof out, &returned, nullptr));
    EXPECT_EQ(loudspeakerCounts().waveOn, before);
    EXPECT_TRUE(DeviceIoControl(wave, IOCTL_WAV_MESSAGE, on, sizeof on, &out, sizeof out, &returned,
                                nullptr));
    EXPECT_EQ(loudspeakerCounts().waveOn, before + 1);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(IOCTL_WAV_MESSAGE, 0x001D000Cu);
    EXPECT_TRUE(CloseHandle(wave));
    EXPECT_FALSE(DeviceIoControl(wave, IOCTL_WAV_MESSAGE, on, sizeof on, &out, sizeof out,
                                 &returned, nullptr))
        << "a closed handle";
    EXPECT_TRUE(modemtest::traced("loudspeaker on (WAV1: message 102): AT+CHFA=1"));
}

struct TitleRow {
    const char* legend;
    std::vector<std::pair<std::u16string, bool>> windows;  // oldest first: title, visible
    std::vector<bool> survive;
};

TEST_F(Watcher, CloseWindowByTitleTakesTheFirstExactTitleOnly) {
    const std::vector<TitleRow> table = {
        {"one visible window with the title",
         {{u"Other", true}, {u"New SMS message", true}},
         {true, false}},
        {"the newest with the title is hidden: nothing closes",
         {{u"New SMS message", true}, {u"New SMS message", false}},
         {true, true}},
        {"of two visible ones, the newest closes",
         {{u"New SMS message", true}, {u"New SMS message", true}},
         {true, false}},
        {"case counts", {{u"new sms message", true}}, {true}},
        {"the whole title counts",
         {{u"New SMS message (2)", true}, {u"New SMS", true}},
         {true, true}},
    };
    for (const TitleRow& row : table) {
        SCOPED_TRACE(row.legend);
        std::vector<HWND> made;
        for (const auto& [title, visible] : row.windows)
            made.push_back(makeWindow(title.c_str(), visible));
        closeWindowByTitle(u"New SMS message");
        for (size_t i = 0; i < made.size(); ++i) {
            EXPECT_EQ(IsWindow(made[i]) != FALSE, row.survive[i]) << "window " << i;
            DestroyWindow(made[i]);
        }
    }
}

}  // namespace
