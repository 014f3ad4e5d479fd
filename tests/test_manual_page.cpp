// The manual page opened by "Help (manual)", on the emulated phone with the program's own
// WinMain: full screen, scrolling by keys, scroll bar and drag, closing, and an alert
// that runs or begins while it is open (simulated receiver and modem with a partner).
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "common/program.h"
#include "common/sound_cues.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "platform/testing.h"
#include "resources/manual.h"
#include "resources/resource_ids.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"
#include "tests/test_status_support.h"

namespace {

using orven::sim::Modem;
using orven::sim::NmeaReceiver;

constexpr uint32_t realTimeStep = 1;  // virtual ms per real ms while real devices talk

// The program on an emulated phone, with a modem whose partner answers every alert, and
// a receiver with a fix on COM2 that the program already knows.
struct Rig {
    orven::test::Phone phone;  // first: the device profile comes before the devices
    std::unique_ptr<Modem> modem = std::make_unique<Modem>();
    std::unique_ptr<NmeaReceiver> receiver;

    explicit Rig(const std::string& profile = "") : phone(profile) {
        orven::sim::Scenario scenario;
        scenario.idleWhileClosed = true;
        scenario.phases = {{orven::sim::Phase::fix, 0}};
        receiver = NmeaReceiver::start(scenario);
        modem->setPartner(
            {orven::sim::Partner::Action::replyBySms, u"", u"OK, coming", 2000, true});
        phone.writeHive("system.reg",
                        "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n"
                        "\"Alert number 1\"=\"600100200\"\r\n"
                        "\"GPS port number\"=dword:00000002\r\n"
                        "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" +
                            modem->path() + "\"\r\n");
        phone.start(WinMain, u"");
        phone.advance(1100);  // timers 1 and 11: the radio starts, cue 1
        orven::sim::mapComPort(2, receiver->devicePath());
    }

    HWND open() {
        PostMessageW(mainWindow, WM_COMMAND, helpCommand, 0);
        phone.advance(0);
        return page();
    }
    // The open manual page, or null.
    HWND page() const {
        return phone.read([] {
            HWND found = nullptr;
            EnumWindows(
                [](HWND window, LPARAM result) -> BOOL {
                    if (GetDlgItem(window, manualTextControl) == nullptr ||
                        !IsWindowVisible(window))
                        return TRUE;
                    *reinterpret_cast<HWND*>(result) = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            return found;
        });
    }
    RECT rectOf(HWND window) const {
        return phone.read([window] {
            RECT r{};
            GetWindowRect(window, &r);
            return r;
        });
    }
    HWND text(HWND page) const {
        return phone.read([page] { return GetDlgItem(page, manualTextControl); });
    }
    int firstLine(HWND page) const {
        return static_cast<int>(phone.read([&] {
            return SendDlgItemMessageW(page, manualTextControl, EM_GETFIRSTVISIBLELINE, 0, 0);
        }));
    }
    // The pixels of the text's first words on every line in view.
    std::vector<uint32_t> shown(HWND page) const {
        const RECT r = rectOf(text(page));
        std::vector<uint32_t> pixels;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.left + 40; ++x) pixels.push_back(orven::test::pixel(x, y));
        return pixels;
    }
    // A tap that goes down at one height of the page and is lifted at another.
    void drag(HWND page, int x, int fromY, int toY) const {
        phone.onGui([&] {
            PostMessageW(page, WM_LBUTTONDOWN, 1, MAKELPARAM(x, fromY));
            PostMessageW(page, WM_LBUTTONUP, 0, MAKELPARAM(x, toY));
        });
        phone.advance(0);
    }
    bool sentAndConfirmed() {
        return phone.waitFor(
            [] { return statusNow().rfind(u"Emergency message confirmed\n", 0) == 0; },
            realTimeStep, 20000);
    }
};

// The page covers the screen, its text reaches the soft-key bar, and the whole manual is
// in it.
void checkOpensFullScreen(Rig& t) {
    HWND page = t.open();
    ASSERT_NE(page, nullptr);
    const RECT whole = t.rectOf(page);
    EXPECT_EQ(whole.left, 0);
    EXPECT_EQ(whole.top, 0);
    EXPECT_EQ(whole.right, t.phone.read([] { return GetSystemMetrics(SM_CXSCREEN); }));
    EXPECT_EQ(whole.bottom, t.phone.read([] { return GetSystemMetrics(SM_CYSCREEN); }));
    const RECT text = t.rectOf(t.text(page));
    const RECT bar = t.rectOf(t.phone.read([page] { return SHFindMenuBar(page); }));
    EXPECT_EQ(text.bottom, bar.top) << "the text reaches the soft-key bar";
    EXPECT_GT(text.right, whole.right * 9 / 10);
    // Not cut short by the page's buffer.
    const std::u16string shown = t.phone.read([page] {
        std::vector<WCHAR> buffer(20000);
        GetDlgItemTextW(page, manualTextControl, buffer.data(), 20000);
        return std::u16string(buffer.data());
    });
    EXPECT_EQ(shown, std::u16string(orven::resources::manualText));
    // Every cue the program plays is explained.
    for (int cue :
         {startupCue, scanCue, connectCue, receiverFoundCue, awaitingPositionCue, positionFoundCue,
          sendingCue, sentCue, alarmCue, procedureBeginsCue, closingCue}) {
        SCOPED_TRACE(cue);
        EXPECT_NE(shown.find(u"\n" + orven::fromUtf8(std::to_string(cue)) + u" - "),
                  std::u16string::npos);
    }
    EXPECT_NE(shown.find(u"\"Alert could NOT be sent!\""), std::u16string::npos);
    EXPECT_NE(shown.find(u"\"Alert NOT sent yet"), std::u16string::npos);
}

struct Screen {
    const char* legend;
    const char* profile;
};

void PrintTo(const Screen& screen, std::ostream* out) {
    *out << screen.legend;
}

class ManualPageOn : public ::testing::TestWithParam<Screen> {};

TEST_P(ManualPageOn, OpensFullScreenWithTheWholeManual) {
    SCOPED_TRACE(GetParam().legend);
    Rig t(GetParam().profile);
    checkOpensFullScreen(t);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ManualPageOn,
    ::testing::Values(Screen{"Pocket PC 240 x 320", ""},
                      Screen{"Smartphone 176 x 220",
                             "screen-width = 176\nscreen-height = 220\nplatform = Smartphone\n"},
                      Screen{"VGA 480 x 640", "screen-width = 480\nscreen-height = 640\n"}));

TEST(ManualPage, ScrollsByKeysScrollBarAndDrag) {
    Rig t;
    HWND page = t.open();
    ASSERT_NE(page, nullptr);
    const std::vector<uint32_t> top = t.shown(page);
    EXPECT_EQ(t.firstLine(page), 0);

    t.phone.keyPress(VK_DOWN);
    t.phone.keyPress(VK_DOWN);
    EXPECT_EQ(t.firstLine(page), 2) << "Down scrolls the text, not the focus";
    EXPECT_NE(t.shown(page), top);
    t.phone.keyPress(VK_UP);
    t.phone.keyPress(VK_UP);
    t.phone.keyPress(VK_UP);
    EXPECT_EQ(t.firstLine(page), 0) << "it stops at the top";
    EXPECT_EQ(t.shown(page), top);

    const RECT text = t.rectOf(t.text(page));
    const int barX = text.right - 4;
    t.phone.tap(barX, text.bottom - 4);  // the bar's down arrow
    EXPECT_EQ(t.firstLine(page), 1);
    t.phone.tap(barX, text.bottom - 30);  // the track below the thumb: a page
    const int afterPage = t.firstLine(page);
    EXPECT_GT(afterPage, 5);
    t.phone.tap(barX, text.top + 4);  // the up arrow
    EXPECT_EQ(t.firstLine(page), afterPage - 1);

    // The text dragged 60 pixels up follows the finger: the 8-point font's lines are 12
    // to 15 pixels high.
    const int before = t.firstLine(page);
    t.drag(page, text.left + 40, text.top + 70, text.top + 10);
    EXPECT_GE(t.firstLine(page), before + 4);
    EXPECT_LE(t.firstLine(page), before + 5);

    // The thumb, at the top of its track, dragged halfway down: about half the text.
    t.phone.keyPress(VK_HOME);
    t.drag(page, barX, text.top + 14, (text.top + text.bottom) / 2);
    const int lines = static_cast<int>(t.phone.read(
        [&] { return SendDlgItemMessageW(page, manualTextControl, EM_GETLINECOUNT, 0, 0); }));
    EXPECT_GT(t.firstLine(page), lines / 3);
    EXPECT_LT(t.firstLine(page), lines * 2 / 3);

    t.phone.keyPress(VK_END);
    const int last = t.firstLine(page);
    t.phone.keyPress(VK_DOWN);
    EXPECT_EQ(t.firstLine(page), last) << "it stops at the end";
}

struct CloseRow {
    const char* legend;
    void (*close)(Rig&);
};

TEST(ManualPage, SoftKeyBackAndActionKeyClose) {
    const CloseRow rows[] = {
        {"the Close soft key", [](Rig&) { orven::test::softKey(0); }},
        {"Back", [](Rig& t) { t.phone.keyPress(VK_ESCAPE); }},
        {"the action key", [](Rig& t) { t.phone.keyPress(VK_RETURN); }},
    };
    Rig t;
    for (const CloseRow& row : rows) {
        SCOPED_TRACE(row.legend);
        ASSERT_NE(t.open(), nullptr);
        row.close(t);
        t.phone.advance(0);
        EXPECT_EQ(t.page(), nullptr);
        EXPECT_EQ(t.phone.read([] { return GetForegroundWindow(); }), mainWindow);
    }
}

// An alert under way when the page opens goes on beneath it; the answer closes the page.
TEST(ManualPage, AnAlertRunningBeneathIsSentAndConfirmed) {
    Rig t;
    t.phone.tap(50, 300);  // "Alert now!"
    t.phone.advance(1500);
    ASSERT_EQ(t.phone.read(statusNow), u"Connecting GPS Rx\nin port COM2...");
    ASSERT_NE(t.open(), nullptr);
    ASSERT_TRUE(
        t.phone.waitFor([&t] { return !t.modem->messages().empty(); }, realTimeStep, 20000));
    EXPECT_NE(t.page(), nullptr) << "sending does not close the page";
    ASSERT_TRUE(t.sentAndConfirmed()) << orven::toUtf8(t.phone.read(statusNow));
    t.phone.advance(1000);  // timer 8: the alarm
    EXPECT_EQ(t.page(), nullptr);
    EXPECT_EQ(t.modem->messages()[0].number, u"600100200");
}

// An alert begun while the page is open (a start by the hardware button arms timer 1111
// of the running program) closes the page and goes on to the answer.
TEST(ManualPage, AnAlertBegunWhileOpenClosesThePageAndIsSent) {
    Rig t;
    ASSERT_NE(t.open(), nullptr);
    t.phone.onGui([] { SetTimer(mainWindow, procedureStartTimer, procedureStartMs, nullptr); });
    t.phone.advance(procedureStartMs);
    EXPECT_EQ(t.page(), nullptr);
    ASSERT_TRUE(t.sentAndConfirmed()) << orven::toUtf8(t.phone.read(statusNow));
    EXPECT_EQ(t.modem->messages().size(), 1u);
}

}  // namespace
