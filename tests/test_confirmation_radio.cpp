// The confirmation watcher end to end: the alert goes out through the simulated modem,
// the partner replies or calls back, the radio interface notifies on its own thread,
// and the watcher confirms, answers and arms timer 8 of the main window.
#include <gtest/gtest.h>

#include <atomic>

#include "alert/alert_message.h"
#include "alert/confirmation_watcher.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/platform_facts.h"
#include "common/status_text.h"
#include "settings/app_settings.h"
#include "test_modem_support.h"

namespace {

using namespace orven;
using modemtest::eventually;
using modemtest::traced;

std::atomic<int> alarmTimerFired{0};

// The main window as far as the watcher is concerned: its timers and its foreground.
LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        KillTimer(window, wParam);
        if (wParam == 8) alarmTimerFired.fetch_add(1);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string handleText(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "%#lx",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

std::string statusNow() {
    WCHAR text[statusTextSize];
    copyStatusText(text);
    return toUtf8(text);
}

BOOL CALLBACK findTitle(HWND window, LPARAM wanted) {
    WCHAR title[256];
    GetWindowTextW(window, title, 256);
    if (lstrcmpW(title, reinterpret_cast<LPCWSTR>(wanted)) != 0) return TRUE;
    *const_cast<WCHAR*>(reinterpret_cast<LPCWSTR>(wanted)) = 0;  // found: empty the title
    return FALSE;
}

bool hasWindow(const std::u16string& title) {
    std::u16string wanted = title;
    EnumWindows(findTitle, reinterpret_cast<LPARAM>(wanted.data()));
    return wanted[0] == 0;
}

// Index of the first trace line holding `fragment`, or -1.
int traceIndex(const std::string& fragment) {
    std::vector<std::string> lines = orven::test::traceLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
    return -1;
}

class Confirmation {
  public:
    explicit Confirmation(const std::string& profile = "") : p(profile, options()) {
        resetSettingsForTests();
        lstrcpynW(appSettings.alertNumber1, u"+447700900123", alertNumberSize);
        GpsFix fix = copyGpsFix();
        lstrcpynW(fix.latitudeText, u"N50.061389\u00B0", positionTextSize);
        lstrcpynW(fix.longitudeText, u"E019.937222\u00B0", positionTextSize);
        storeGpsFix(fix);
        alertsSent = 0;
        testMode = 0;
        setTestNumber(u"");
        alarmTimerFired = 0;
        osMajorVersion = orven::deviceProfile().osMajorVersion;
        isSmartphone = orven::deviceProfile().platformType == u"Smartphone" ? 1 : 0;
        WNDCLASSW wc{};
        wc.lpfnWndProc = standInProc;
        wc.lpszClassName = u"StandInMainWindow";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"StandInMainWindow", u"ZURV: ORVEN\u2122", WS_VISIBLE, 0,
                                     0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        alarmTimer = "SetTimer hwnd=" + handleText(mainWindow) + " id=8 ms=500";
        rilHandle = nullptr;
        DWORD id = 0;
        CloseHandle(CreateThread(nullptr, 0, radioThread, nullptr, 0, &id));
        registered = eventually([] { return rilHandle.load() != nullptr; });
    }
    ~Confirmation() {
        RIL_Deinitialize(rilHandle.load());
        DestroyWindow(mainWindow);
    }

    static sim::Modem::Options options() {
        sim::Modem::Options o;
        o.ringIntervalMs = 300;
        return o;
    }
    void partner(sim::Partner::Action action) {
        sim::Partner partner;
        partner.action = action;
        partner.delayMs = 100;
        p.sim.setPartner(partner);
    }

    modemtest::ModemPhone p;
    std::string alarmTimer;
    bool registered = false;
};

TEST(ConfirmationByRadio, AReplyFromTheAlertNumberConfirms) {
    Confirmation c;
    ASSERT_TRUE(c.p.ready && c.registered);
    c.partner(sim::Partner::Action::replyBySms);
    ASSERT_TRUE(sendAlert());
    ASSERT_TRUE(eventually([&] { return traced(c.alarmTimer); }));
    EXPECT_EQ(statusNow(), "Emergency message confirmed\nfrom: +447700900123");
    EXPECT_GE(traceIndex("KillTimer hwnd=" + handleText(mainWindow) + " id=7"), 0);
    EXPECT_TRUE(traced("shell: new message from +447700900123"));
    EXPECT_FALSE(hasWindow(u"New SMS message")) << "the shell's bubble was closed";
    orven::test::advance(500);
    EXPECT_EQ(alarmTimerFired.load(), 1);
}

TEST(ConfirmationByRadio, ACallBackIsAnsweredAndPutOnTheLoudspeaker) {
    Confirmation c;
    ASSERT_TRUE(c.p.ready && c.registered);
    appSettings.autoAnswering = 1;
    appSettings.autoSpeakerphone = 1;
    c.partner(sim::Partner::Action::callBack);
    ASSERT_TRUE(sendAlert());
    ASSERT_TRUE(
        c.p.sim.waitUntil([&] { return !c.p.sim.calls().empty() && c.p.sim.calls()[0].answered; }));
    // The watcher waits a second after the answer request before the loudspeaker.
    EXPECT_EQ(statusNow(), "Emergency message confirned\nPlease speak...");
    EXPECT_FALSE(traced(c.alarmTimer));
    ASSERT_TRUE(c.p.sim.waitUntil([&] { return c.p.sim.audioCommand() == "AT+CHFA=1"; }));
    ASSERT_TRUE(eventually([&] { return traced(c.alarmTimer); }));
    int answer = traceIndex("RIL_Answer"), speaker = traceIndex("loudspeaker on (ossvcs 218)"),
        alarm = traceIndex(c.alarmTimer),
        front = traceIndex("SetForegroundWindow hwnd=" + handleText(mainWindow));
    EXPECT_TRUE(front >= 0 && front < answer && answer < speaker && speaker < alarm);
    EXPECT_FALSE(hasWindow(u"Phone - Incoming..."));
}

TEST(ConfirmationByRadio, AWithheldCallerNeverMatches) {
    Confirmation c;
    ASSERT_TRUE(c.p.ready && c.registered);
    appSettings.autoAnswering = 1;
    alertsSent = 1;
    setStatusText(u"Alert has sent correctly\nAwaiting for response...");
    c.p.sim.ring(u"");
    ASSERT_TRUE(eventually([] { return traced("radio: call from (withheld)"); }));
    ASSERT_TRUE(radio::drainForTests());
    EXPECT_FALSE(traced(c.alarmTimer));
    EXPECT_EQ(statusNow(), "Alert has sent correctly\nAwaiting for response...");
    EXPECT_FALSE(c.p.sim.calls()[0].answered);
    EXPECT_TRUE(hasWindow(u"Phone - Incoming...")) << "it rings on";
}

TEST(ConfirmationByRadio, ATestIsConfirmedFromAnAlertNumber) {
    Confirmation c;
    ASSERT_TRUE(c.p.ready && c.registered);
    testMode = 2;
    setTestNumber(u"600100200");
    ASSERT_TRUE(sendAlert());
    std::vector<sim::SentMessage> sent = c.p.sim.messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(toUtf8(sent[0].number), "600100200");
    c.p.sim.deliverSms(u"+447700900123", u"Got your test");
    ASSERT_TRUE(eventually([&] { return traced(c.alarmTimer); }));
    EXPECT_EQ(statusNow(), "Test message confirmed\nfrom: +447700900123");
    EXPECT_EQ(testMode.load(), 0);
}

TEST(ConfirmationByRadio, OnASmartphoneTheCallWindowIsLeftAlone) {
    Confirmation c("platform = Smartphone\n");
    ASSERT_TRUE(c.p.ready && c.registered);
    ASSERT_EQ(isSmartphone, 1u);
    appSettings.autoAnswering = 0;
    alertsSent = 1;
    c.p.sim.ring(u"+447700900123");
    ASSERT_TRUE(eventually([&] { return traced(c.alarmTimer); }));
    EXPECT_EQ(statusNow(), "Emergency message confirmed\nby +447700900123");
    EXPECT_FALSE(traced("shell: incoming call"));
    EXPECT_TRUE(traced("SetForegroundWindow hwnd=" + handleText(mainWindow)));
    EXPECT_FALSE(c.p.sim.calls()[0].answered) << "auto-answering is off";
}

}  // namespace
