// The settings dialogs driven as their owner drives them on the emulated phone: opened
// from the main menu, typed into, spun, cleared, then SAVE, Cancel or Back; the record
// and the registry read back afterwards. Also the frame's fonts and colours by platform
// and the input panel around the edit fields.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include "app/startup.h"
#include "common/program.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace {

using orven::test::Phone;

constexpr WORD ownerDetails = 40025;
constexpr WORD alertNumbers = 40011;
constexpr WORD hardwareKeys = 40018;

const std::string hiveHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string settingsKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n";
// A receiver found before, so that the start asks nothing.
const std::string portKnown = "\"GPS port number\"=dword:00000004\r\n";

std::string u8(const std::u16string& text) {
    return orven::toUtf8(text);
}

// The emulated phone with the program running, a dialog opened from its menu, and the
// owner's gestures on that dialog.
class SettingsDialogs : public ::testing::Test {
  public:  // the rows' actions use the gestures too
    std::unique_ptr<Phone> phone;
    HWND dialog = nullptr;

    void start(const std::string& settings, const std::string& otherKeys = "",
               const std::string& userHive = "", const std::string& profile = "") {
        phone = std::make_unique<Phone>(profile);
        phone->writeHive("system.reg",
                         hiveHeader + settingsKey + portKnown + settings + "\r\n" + otherKeys);
        if (!userHive.empty()) phone->writeHive("user.reg", hiveHeader + userHive);
        phone->start(WinMain, u"");
        phone->advance(1100);  // the start-up timers
    }

    // A row's starting point inside the running program: the record back to its
    // defaults with `given` applied and saved, and the device owner's information.
    void prepare(const std::function<void(AppSettings&)>& given,
                 const std::u16string& ownerName = u"", const std::u16string& ownerRecord = u"") {
        phone->onGui([&] {
            resetSettingsForTests();
            appSettings.gpsPortNumber = 4;
            if (given) given(appSettings);
            saveSettings();
            HKEY key = nullptr;
            DWORD disposition = 0;
            RegCreateKeyExW(HKEY_CURRENT_USER, u"\\ControlPanel\\Owner", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition);
            RegDeleteValueW(key, u"Name");
            RegDeleteValueW(key, u"Owner");
            if (!ownerName.empty())
                RegSetValueExW(key, u"Name", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(ownerName.c_str()),
                               DWORD((ownerName.size() + 1) * 2));
            if (!ownerRecord.empty())
                RegSetValueExW(key, u"Owner", 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(ownerRecord.c_str()),
                               DWORD((ownerRecord.size() + 1) * 2));
            RegCloseKey(key);
        });
    }

    // The right soft key opens the main menu on either platform.
    void open(WORD command) {
        orven::test::softKey(1);
        ASSERT_TRUE(orven::test::choosePopupMenuItem(command));
        // The dialog's first control has the focus.
        dialog = phone->read([] { return GetParent(GetFocus()); });
        ASSERT_NE(dialog, phone->read([] { return mainWindow; }));
    }
    bool dialogOpen() const {
        return phone->read([this] { return IsWindow(dialog) != FALSE; });
    }

    std::u16string text(int id) const {
        return phone->read([&] {
            WCHAR room[256] = {};
            GetDlgItemTextW(dialog, id, room, 256);
            return std::u16string(room);
        });
    }
    // The item a spin list shows.
    std::u16string shown(int list) const {
        return phone->read([&] {
            HWND box = GetDlgItem(dialog, list);
            const LRESULT index = SendMessageW(box, LB_GETCURSEL, 0, 0);
            WCHAR room[256] = {};
            if (index >= 0) SendMessageW(box, LB_GETTEXT, index, reinterpret_cast<LPARAM>(room));
            return std::u16string(room);
        });
    }
    int focusedId() const {
        return phone->read([] { return GetDlgCtrlID(GetFocus()); });
    }
    bool checked(int id) const {
        return phone->read([&] { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; });
    }

    RECT rectOf(int id) const {
        return phone->read([&] {
            RECT rect{};
            GetWindowRect(GetDlgItem(dialog, id), &rect);
            return rect;
        });
    }
    void tap(int id) const {
        RECT r = rectOf(id);
        phone->tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    // Taps the spinner's right (up) or left (down) arrow `times` times.
    void spin(int spinner, int times) const {
        RECT r = rectOf(spinner);
        const int x = times > 0 ? r.right - 2 : r.left + 2;
        for (int i = 0; i < (times > 0 ? times : -times); ++i)
            phone->tap(x, (r.top + r.bottom) / 2);
    }
    void type(const std::u16string& text) const { phone->type(text); }
    void key(int virtualKey) const { phone->keyPress(virtualKey); }
    void save() const {
        orven::test::softKey(1);
        phone->advance(0);
    }
    void cancel() const {
        orven::test::softKey(0);
        phone->advance(0);
    }
    std::string hive() const { return phone->readHive("system.reg"); }
    bool hiveHas(const std::string& line) const { return hive().find(line) != std::string::npos; }
    // The hive holds `stored` and not `notStored` (either may be "": no check).
    void expectHive(const std::string& stored, const std::string& notStored) const {
        const std::string now = hive();
        if (!stored.empty()) {
            EXPECT_NE(now.find(stored), std::string::npos) << now;
        }
        if (!notStored.empty()) {
            EXPECT_EQ(now.find(notStored), std::string::npos) << now;
        }
    }
};

// ---- Owner details

TEST_F(SettingsDialogs, OwnerDetailsProposeTheDevicesOwnerAndKeepItAfterCancel) {
    start("", "", "[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n\"Name\"=\"Anna Kowalska\"\r\n");
    open(ownerDetails);
    EXPECT_EQ(u8(text(1003)), "Anna ");
    EXPECT_EQ(u8(text(1004)), "Kowalska");
    EXPECT_EQ(focusedId(), 1003);
    EXPECT_TRUE(orven::test::sipShown());
    cancel();
    EXPECT_FALSE(dialogOpen());
    EXPECT_FALSE(orven::test::sipShown());
    EXPECT_EQ(u8(phone->read([] { return std::u16string(appSettings.firstName); })), "Anna ");
    EXPECT_FALSE(hiveHas("First name"));
    open(alertNumbers);  // any later save stores the proposal
    save();
    EXPECT_TRUE(hiveHas("\"First name\"=\"Anna \"")) << hive();
    EXPECT_TRUE(hiveHas("\"Family name\"=\"Kowalska\"")) << hive();
}

TEST_F(SettingsDialogs, OwnerDetailsEditsSpinsAndLimits) {
    using Given = std::function<void(AppSettings&)>;
    struct Row {
        const char* legend;
        Given given;
        std::u16string ownerRecord;  // the device's binary owner record
        std::function<void(SettingsDialogs&)>
            act;                // on the open dialog, ending with SAVE or Cancel
        std::string memory;     // "blood age first" after the dialog
        std::string stored;     // a line the hive holds ("" none)
        std::string notStored;  // a line it does not hold
    } rows[] = {
        {"the owner record's first 16 characters, 15 kept", nullptr, u"ABCDEFGHIJKLMNOPQRST",
         [](SettingsDialogs& d) { d.save(); }, "0 0 ABCDEFGHIJKLMNO",
         "\"First name\"=\"ABCDEFGHIJKLMNO\"", "Family name\"=\"P"},
        {"blood type spun to B Rh- and cancelled", [](AppSettings& s) { s.ownerBlood = 1; }, u"",
         [](SettingsDialogs& d) {
             d.spin(1001, 6);
             EXPECT_EQ(u8(d.shown(1002)), " B Rh- ");
             d.cancel();
         },
         "7 0 ", "\"Owner blood\"=dword:00000001", "\"Owner blood\"=dword:00000007"},
        {"blood type stepped past the end with the arrow keys", nullptr, u"",
         [](SettingsDialogs& d) {
             d.tap(1002);
             for (int i = 0; i < 12; ++i) d.key(VK_RIGHT);
             EXPECT_EQ(u8(d.shown(1002)), " AB Rh- ");
             d.key(VK_LEFT);
             d.save();
         },
         "7 0 ", "\"Owner blood\"=dword:00000007", ""},
        {"sex spun to F and saved", nullptr, u"",
         [](SettingsDialogs& d) {
             d.spin(1010, 2);
             EXPECT_EQ(u8(d.shown(1007)), " F");
             d.save();
         },
         "0 0 ", "\"Owner sex\"=dword:00000002", ""},
        {"age 5 shown, erased and saved as not given", [](AppSettings& s) { s.ownerAge = 5; }, u"",
         [](SettingsDialogs& d) {
             EXPECT_EQ(u8(d.text(1011)), "5");
             d.tap(1011);
             d.key(VK_END);
             d.key(VK_BACK);
             d.save();
         },
         "0 0 ", "\"Owner age\"=dword:00000000", ""},
        {"a third age digit is not stored", nullptr, u"",
         [](SettingsDialogs& d) {
             d.tap(1011);
             d.type(u"100");
             d.save();
         },
         "0 10 ", "\"Owner age\"=dword:0000000a", ""},
        {"a name pasted with 20 characters keeps 15", nullptr, u"",
         [](SettingsDialogs& d) {
             d.phone->onGui([&] { SetDlgItemTextW(d.dialog, 1003, u"Maximilianusxxxxxxxx"); });
             d.save();
         },
         "0 0 Maximilianusxxx", "\"First name\"=\"Maximilianusxxx\"", ""},
        {"Back erases in an edit field and the dialog stays", nullptr, u"",
         [](SettingsDialogs& d) {
             d.type(u"Jano");
             d.key(VK_ESCAPE);
             EXPECT_TRUE(d.dialogOpen());
             EXPECT_EQ(u8(d.text(1003)), "Jan");
             d.save();
         },
         "0 0 Jan", "\"First name\"=\"Jan\"", ""},
    };
    start("");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        prepare(row.given, u"", row.ownerRecord);
        open(ownerDetails);
        row.act(*this);
        EXPECT_FALSE(dialogOpen());
        EXPECT_FALSE(orven::test::sipShown());
        EXPECT_EQ(phone->read([] {
            return std::to_string(appSettings.ownerBlood) + " " +
                   std::to_string(appSettings.ownerAge) + " " + u8(appSettings.firstName);
        }),
                  row.memory);
        expectHive(row.stored, row.notStored);
    }
}

// ---- Alert numbers

TEST_F(SettingsDialogs, AlertNumbersFirstOpening) {
    start("");
    open(alertNumbers);
    EXPECT_EQ(u8(text(1003)), "");
    EXPECT_EQ(u8(text(1004)), "");
    EXPECT_EQ(u8(shown(1007)), " 10");
    EXPECT_TRUE(checked(1011));
    EXPECT_EQ(focusedId(), 1003);
    EXPECT_TRUE(orven::test::sipShown());
    type(u"60a0+1 00200");  // digits only
    EXPECT_EQ(u8(text(1003)), "600100200");
    tap(1004);
    type(u"48");
    save();
    EXPECT_FALSE(dialogOpen());
    EXPECT_FALSE(orven::test::sipShown());
    EXPECT_TRUE(hiveHas("\"Alert number 1\"=\"600100200\"")) << hive();
    EXPECT_TRUE(hiveHas("\"Alert number 2\"=\"48\"")) << hive();
    // Two digits are stored and shown again, but count as no number.
    EXPECT_FALSE(phone->read([] { return usableNumber(appSettings.alertNumber2); }));
    open(alertNumbers);
    EXPECT_EQ(u8(text(1004)), "48");
}

TEST_F(SettingsDialogs, AlertNumbersClearSpinCheckAndClose) {
    struct Row {
        const char* legend;
        std::function<void(SettingsDialogs&)> act;
        std::string memory;  // "number1|number2|alertsNumber|autoAnswering"
        std::string stored, notStored;
    } rows[] = {
        {"both cleared with C and saved",
         [](SettingsDialogs& d) {
             d.tap(1008);
             EXPECT_EQ(d.focusedId(), 1003);
             d.tap(1012);
             EXPECT_EQ(d.focusedId(), 1004);
             EXPECT_EQ(u8(d.text(1003)), "");
             d.save();
         },
         "||5|1", "\"Alert number 1\"=\"\"", "600300400"},
        {"a clear is undone by Cancel",
         [](SettingsDialogs& d) {
             d.tap(1008);
             d.cancel();
         },
         "600100200|600300400|5|1", "\"Alert number 1\"=\"600100200\"", ""},
        {"count spun to 3 and cancelled: in memory only",
         [](SettingsDialogs& d) {
             d.spin(1010, -3);
             EXPECT_EQ(u8(d.shown(1007)), " 3");
             d.cancel();
         },
         "600100200|600300400|2|1", "", "\"Alerts number\"=dword:00000002"},
        {"check box cleared and saved",
         [](SettingsDialogs& d) {
             d.tap(1011);
             d.save();
         },
         "600100200|600300400|5|0", "\"Auto-answering\"=dword:00000000", ""},
        {"Back erases in the number and SAVE closes with the panel down",
         [](SettingsDialogs& d) {
             d.key(VK_END);
             d.key(VK_ESCAPE);
             d.key(VK_BACK);
             EXPECT_TRUE(d.dialogOpen());
             d.save();
         },
         "6001002|600300400|5|1", "\"Alert number 1\"=\"6001002\"", ""},
    };
    start("");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        prepare([](AppSettings& s) {
            lstrcpyW(s.alertNumber1, u"600100200");
            lstrcpyW(s.alertNumber2, u"600300400");
        });
        open(alertNumbers);
        row.act(*this);
        EXPECT_FALSE(dialogOpen());
        EXPECT_FALSE(orven::test::sipShown());
        EXPECT_EQ(phone->read([] {
            return u8(appSettings.alertNumber1) + "|" + u8(appSettings.alertNumber2) + "|" +
                   std::to_string(appSettings.alertsNumber) + "|" +
                   std::to_string(appSettings.autoAnswering);
        }),
                  row.memory);
        expectHive(row.stored, row.notStored);
    }
}

// ---- The frame

// The title's font and colour as the frame selects them for a colour request.
struct TitleLook {
    LONG height = 0, weight = 0;
    COLORREF colour = 0;
};

struct Platform {
    const char* legend;
    std::string profile;
    LONG titleHeight, smallHeight;
};

class HeaderFonts : public SettingsDialogs, public ::testing::WithParamInterface<Platform> {};

TEST_P(HeaderFonts, ByPlatformAndScreen) {
    start("", "", "", GetParam().profile);
    open(alertNumbers);
    auto look = [&](int id) {
        return phone->read([&] {
            HDC dc = GetDC(dialog);
            SetTextColor(dc, RGB(1, 2, 3));
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
            TitleLook result;
            result.colour = SetTextColor(dc, 0);
            LOGFONTW font{};
            GetObjectW(SelectObject(dc, GetStockObject(SYSTEM_FONT)), sizeof font, &font);
            result.height = font.lfHeight;
            result.weight = font.lfWeight;
            ReleaseDC(dialog, dc);
            return result;
        });
    };
    const TitleLook title = look(1006), version = look(1005), hint = look(1009);
    EXPECT_EQ(title.height, GetParam().titleHeight);
    EXPECT_EQ(title.weight, FW_BOLD);
    EXPECT_EQ(title.colour, RGB(0, 64, 255));
    EXPECT_EQ(version.height, GetParam().smallHeight);
    EXPECT_EQ(version.weight, FW_NORMAL);
    EXPECT_EQ(version.colour, RGB(0, 0, 0));
    EXPECT_EQ(hint.height, GetParam().smallHeight);
    EXPECT_EQ(u8(text(1006)), "ORVEN™");
    cancel();
    EXPECT_FALSE(dialogOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, HeaderFonts,
    ::testing::Values(Platform{"PocketPc", "screen-width = 240\nscreen-height = 320\n", 17, 11},
                      Platform{"PocketPcVga", "screen-width = 480\nscreen-height = 640\n", 17, 11},
                      Platform{"Smartphone4",
                               "platform = Smartphone\nos-major-version = 4\nscreen-width = 240\n"
                               "screen-height = 320\n",
                               16, 12},
                      Platform{"Smartphone5Narrow",
                               "platform = Smartphone\nos-major-version = 5\nscreen-width = 240\n"
                               "screen-height = 320\n",
                               15, 12},
                      Platform{"Smartphone5Wide",
                               "platform = Smartphone\nos-major-version = 5\nscreen-width = 320\n"
                               "screen-height = 240\n",
                               17, 12}),
    [](const ::testing::TestParamInfo<Platform>& info) { return info.param.legend; });

// On every screen the program knows, each frame dialog's controls lie on the screen above
// the menu bar, and its hint shows every line it wraps to (with the larger Smartphone
// font, the hardware keys hint once lost the line saying that the first press only
// tests). A Smartphone has no input panel to cover the lower rows.
struct Screen {
    const char* legend;
    std::string profile;
};

class DialogLayout : public SettingsDialogs,
                     public ::testing::WithParamInterface<std::tuple<Screen, WORD>> {};

TEST_P(DialogLayout, EveryControlAndEveryHintLineIsOnScreen) {
    const auto& [screen, command] = GetParam();
    start("", "", "", screen.profile);
    orven::test::softKey(1);
    ASSERT_TRUE(orven::test::choosePopupMenuItem(command));
    dialog = phone->read([] {  // the top-level window with a hint
        HWND found = nullptr;
        EnumWindows(
            [](HWND window, LPARAM result) -> BOOL {
                if (GetDlgItem(window, 1009) == nullptr) return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    });
    ASSERT_NE(dialog, nullptr);
    phone->read([&] {
        RECT frame{}, bar{};
        GetWindowRect(dialog, &frame);
        GetWindowRect(SHFindMenuBar(dialog), &bar);
        for (int id = 1001; id <= 1012; ++id) {
            HWND control = GetDlgItem(dialog, id);
            if (control == nullptr || !IsWindowVisible(control)) continue;
            RECT box{};
            GetWindowRect(control, &box);
            WCHAR words[512] = {}, kind[32] = {};
            GetWindowTextW(control, words, 512);
            GetClassNameW(control, kind, 32);
            if (lstrcmpiW(kind, u"static") == 0) {
                // A text is measured as the static draws it: its words wrapped to the
                // box's width, in the font the dialog gives it. Its ink must lie inside
                // both the box and the screen above the menu bar.
                HDC dc = GetDC(control);
                SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(control));
                RECT needed{0, 0, box.right - box.left, 0};
                DrawTextW(dc, words, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
                ReleaseDC(control, dc);
                box.right = box.left + needed.right;
                EXPECT_LE(needed.bottom, box.bottom - box.top) << "control " << id;
                box.bottom = box.top + needed.bottom;
            }
            EXPECT_TRUE(box.left >= frame.left && box.right <= frame.right &&
                        box.top >= frame.top && box.bottom <= bar.top)
                << "control " << id << " " << u8(words);
        }
        return 0;
    });
    if (screen.profile.find("Smartphone") != std::string::npos) {
        EXPECT_FALSE(orven::test::sipShown());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, DialogLayout,
    ::testing::Combine(
        ::testing::Values(Screen{"PocketPc240x320", "screen-width = 240\nscreen-height = 320\n"},
                          Screen{"PocketPc240x240", "screen-width = 240\nscreen-height = 240\n"},
                          Screen{"PocketPc480x640", "screen-width = 480\nscreen-height = 640\n"},
                          Screen{"Smartphone176x220",
                                 "platform = Smartphone\nos-major-version = 5\n"
                                 "screen-width = 176\nscreen-height = 220\n"}),
        ::testing::Values(ownerDetails, alertNumbers, hardwareKeys, WORD(40016), WORD(40017))),
    [](const ::testing::TestParamInfo<std::tuple<Screen, WORD>>& info) {
        return std::string(std::get<0>(info.param).legend) + "_" +
               std::to_string(std::get<1>(info.param));
    });

// Word completion is off while an edit field has the focus, and whatever the owner had
// set comes back when the focus leaves it.
TEST_F(SettingsDialogs, InputPanelFlagsComeBackWhenTheFocusLeaves) {
    start("");
    const DWORD before = SIPF_DOCKED | SIPF_LOCKED;
    phone->onGui([&] {
        SIPINFO sip{};
        sip.cbSize = sizeof sip;
        sip.fdwFlags = before;
        SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
    });
    auto flags = [&] {
        return phone->read([] {
            SIPINFO sip{};
            sip.cbSize = sizeof sip;
            SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
            return sip.fdwFlags;
        });
    };
    open(ownerDetails);
    EXPECT_EQ(flags() & (SIPF_DISABLECOMPLETION | SIPF_ON), SIPF_DISABLECOMPLETION | SIPF_ON);
    tap(1002);  // a spin list: no edit has the focus
    EXPECT_EQ(flags() & ~SIPF_ON, before);
    EXPECT_FALSE(orven::test::sipShown());
    tap(1011);
    EXPECT_TRUE(orven::test::sipShown());
    cancel();
    EXPECT_FALSE(orven::test::sipShown());
}

}  // namespace

namespace {

// ---- Hardware keys

const std::string buttons =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C1]\r\n\"Name\"=\"Button 1\"\r\n"
    "@=\"\\\"\\\\Windows\\\\camera.exe\\\" -shutter\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C2]\r\n\"Other\"=\"x\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shell\\Keys\\40C3]\r\n"
    "@=\"\\\"\\\\Windows\\\\Start Menu\\\\Voice.lnk\\\"\"\r\n\r\n";
const std::string keyPreference = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\HOLBE\\KeyPref]\r\n\r\n";
const std::string templateHint = "Please note:\nthis function depends from your\ndevice";

TEST_F(SettingsDialogs, HardwareKeysScrollShowsWhatEachButtonStartsAndCancelWritesNothing) {
    start("\"Hardware key\"=\"40c3\"\r\n", buttons);
    open(hardwareKeys);
    EXPECT_EQ(u8(shown(1002)), "Voice");  // the unlisted 40C2 stands before it
    EXPECT_EQ(u8(text(1009)).rfind(templateHint, 0), 0u) << u8(text(1009));
    struct Step {
        int spins;
        std::string shown, hint;
    } steps[] = {
        {-1, "Button 1", "Currently it's camera.exe"},
        {-1, " none", ""},
        {-1, " none", ""},  // the list stops at its ends
        {+3, "Voice", "Currently it's Voice"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.shown);
        spin(1001, step.spins);
        EXPECT_EQ(u8(shown(1002)), step.shown);
        EXPECT_EQ(u8(text(1009)), step.hint);
    }
    const std::string before = hive();
    cancel();
    EXPECT_FALSE(dialogOpen());
    EXPECT_FALSE(phone->finished());
    EXPECT_EQ(hive(), before);
}

TEST_F(SettingsDialogs, HardwareKeysBackKeepsThePlatformsDefault) {
    start("", buttons);
    open(hardwareKeys);
    key(VK_ESCAPE);
    EXPECT_FALSE(dialogOpen());
    EXPECT_FALSE(phone->finished());
}

TEST_F(SettingsDialogs, HardwareKeysNoneTellsWhereToRestoreAndClosesTheProgram) {
    start("\"Hardware key\"=\"40C1\"\r\n\"Hardware test\"=dword:00000001\r\n", buttons);
    open(hardwareKeys);
    spin(1001, -1);
    orven::test::answerNextMessageBoxes({IDOK});
    save();
    ASSERT_TRUE(phone->waitFor([&] { return phone->finished(); }));
    const auto boxes = orven::test::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(u8(boxes[0].text),
              "Please use default Settings Buttons dialog, to manage back, your device hardware "
              "buttons for some using.");
    EXPECT_EQ(u8(boxes[0].caption), "ZURV: ORVEN™");
    EXPECT_EQ(boxes[0].style & 0xF0u, unsigned(MB_ICONEXCLAMATION));
    expectHive("\"Hardware key\"=\"\"", "ORVEN.exe");
    expectHive("\"Hardware test\"=dword:00000000", "");
    expectHive("camera.exe", "");  // a button is never given its old command back
}

TEST_F(SettingsDialogs, HardwareKeysLongOnAKeyPreferenceDevice) {
    start("", keyPreference);
    open(hardwareKeys);
    spin(1001, 2);
    EXPECT_EQ(u8(shown(1002)), "Long");
    EXPECT_EQ(u8(text(1009)).rfind(templateHint, 0), 0u);  // no commands to show here
    save();
    ASSERT_TRUE(phone->waitFor([&] { return phone->finished(); }));
    expectHive("\"Hardware key\"=\"SBL\"", "\"SBS\"=");
    expectHive("\"Hardware test\"=dword:00000001", "");
    expectHive("ORVEN.lnk\"", "");
    EXPECT_NE(hive().find("\"SBL\"="), std::string::npos) << hive();
}

}  // namespace
