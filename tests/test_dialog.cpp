// Dialogs and their controls, driven as the owner drives them on the emulated phone:
// taps, keys, typed text, the soft keys and the input panel. The sample dialog is built
// like the program's settings dialogs (header, edits, a spin list, a check box, a clear
// button, menu bar 107 with Back overridden) and records what its procedure hears.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/commctrl.h"
#include "platform/testing.h"
#include "platform/windows.h"
#include "tests/test_owner_window.h"

namespace {

using orven::resources::Dialog;
using orven::resources::DialogItem;
using orven::test::Phone;

constexpr DWORD spinStyle = WS_VISIBLE | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_HORZ | UDS_ALIGNRIGHT |
                            UDS_SETBUDDYINT | UDS_NOTHOUSANDS;
constexpr DWORD listStyle = WS_VISIBLE | WS_BORDER | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
constexpr DWORD editStyle = WS_VISIBLE | WS_BORDER | WS_TABSTOP;

const DialogItem sampleItems[] = {
    {u"static", IDC_STATIC, MAKEINTRESOURCEW(103), WS_VISIBLE | SS_ICON, 4, 4, 20, 20},
    {u"static", 1006, u"", WS_VISIBLE, 29, 4, 104, 12},
    {u"static", 1005, u"", WS_VISIBLE, 29, 15, 104, 10},
    {u"static", IDC_STATIC, u"Name:", WS_VISIBLE, 4, 27, 39, 11},
    {u"edit", 1003, u"", editStyle, 52, 25, 45, 12},
    {u"button", 1008, u"C", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 100, 25, 12, 12},
    {u"static", IDC_STATIC, u"Full name:", WS_VISIBLE, 4, 42, 47, 8},
    {u"EDIT", 1004, u"", editStyle | ES_AUTOHSCROLL, 52, 40, 80, 12},
    {u"static", IDC_STATIC, u"Sex && age:", WS_VISIBLE, 4, 57, 41, 11},
    {u"listbox", 1007, nullptr, listStyle, 52, 55, 31, 12},
    {UPDOWN_CLASSW, 1010, nullptr, spinStyle, 70, 55, 17, 12},
    {MAKEINTRESOURCEW(WC_EDIT_ATOM), 1011, u"", editStyle | ES_NUMBER, 84, 55, 13, 12},
    {u"button", 1012, u"Auto-answering", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 4, 70, 90, 10},
    {u"static", 1009, u"Clear, if you don't want to use.", WS_VISIBLE, 4, 86, 101, 8},
};
const Dialog sample{900,
                    WS_POPUP | DS_SETFONT,
                    u"",
                    0,
                    0,
                    137,
                    107,
                    8,
                    u"System",
                    sampleItems,
                    static_cast<int>(std::size(sampleItems))};

struct Heard {
    int id;
    int code;
    int spinPosition;  // the spinner's position when the list spoke
    bool operator==(const Heard&) const = default;
};

// What the test's program saw; written on the GUI thread, read through phone.read().
HWND owner = nullptr;
HWND dialog = nullptr;
bool overrideBack = true;
INT_PTR dialogResult = -2;
std::vector<Heard> heard;
std::vector<LPARAM> hotkeys;
DWORD sipFlagsBefore = 0;
int ownerTicks = 0;
int ownerTimer77 = 0;
int ownerTaps = 0;
HFONT titleFont = nullptr;

constexpr UINT openDialog = WM_USER + 7;

void sipOnFocus(bool gained) {
    SIPINFO sip{};
    sip.cbSize = sizeof(sip);
    SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
    if (gained) {
        sipFlagsBefore = sip.fdwFlags;
        sip.fdwFlags |= SIPF_DISABLECOMPLETION;
    } else {
        sip.fdwFlags = sipFlagsBefore;
    }
    SHSipInfo(SPI_SETSIPINFO, 0, &sip, 0);
    SHSipPreference(dialog, gained ? SIP_UP : SIP_DOWN);
}

BOOL onInit(HWND hwnd) {
    dialog = hwnd;
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = hwnd;
    bar.nToolBarId = 107;
    SHCreateMenuBar(&bar);
    if (overrideBack)
        SendMessageW(
            SHFindMenuBar(hwnd), SHCMBM_OVERRIDEKEY, VK_TBACK,
            MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY));
    SetDlgItemTextW(hwnd, 1006, u"ORVEN\u2122");
    SetDlgItemTextW(hwnd, 1005, u"Version 1.0");
    for (LPCWSTR item : {u" -", u" M", u" F"})
        SendDlgItemMessageW(hwnd, 1007, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendDlgItemMessageW(hwnd, 1010, UDM_SETRANGE, 0, MAKELPARAM(2, 0));
    SendDlgItemMessageW(hwnd, 1010, UDM_SETPOS, 0, MAKELPARAM(1, 0));
    CheckDlgButton(hwnd, 1012, BST_CHECKED);
    SHINITDLGINFO info{SHIDIM_FLAGS, hwnd, SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    SHInitDialog(&info);
    MoveWindow(hwnd, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), FALSE);
    return TRUE;
}

INT_PTR onColour(HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    if (GetDlgCtrlID(control) == 1006) {
        SelectObject(dc, titleFont);
        SetTextColor(dc, RGB(0, 64, 255));
    }
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

INT_PTR onCommand(HWND hwnd, int id, int code) {
    int spin = LOWORD(SendDlgItemMessageW(hwnd, 1010, UDM_GETPOS, 0, 0));
    heard.push_back(Heard{id, code, spin});
    if ((id == 1003 || id == 1004 || id == 1011) && (code == EN_SETFOCUS || code == EN_KILLFOCUS))
        sipOnFocus(code == EN_SETFOCUS);
    if (id == 1008) {
        SetDlgItemTextW(hwnd, 1003, u"");
        SetFocus(GetDlgItem(hwnd, 1003));
    }
    if (id == 1 || id == 2 || id == 40012 || id == 40014) {
        SHSipPreference(hwnd, SIP_FORCEDOWN);
        EndDialog(hwnd, id);
    }
    return TRUE;
}

INT_PTR CALLBACK sampleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return onInit(hwnd);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
            return onColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND: return onCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        case WM_HOTKEY:
            hotkeys.push_back(lParam);
            if (HIWORD(lParam) == VK_TBACK) SHSendBackToFocusWindow(message, wParam, lParam);
            return FALSE;
        default: return FALSE;
    }
}

LRESULT CALLBACK ownerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case openDialog: {
            LOGFONTW font{};
            font.lfHeight = 17;
            font.lfWeight = FW_BOLD;
            lstrcpyW(font.lfFaceName, u"Tahoma");
            titleFont = CreateFontIndirectW(&font);
            dialogResult = DialogBoxIndirectParamW(nullptr, &sample, hwnd, sampleProc, 0);
            DeleteObject(titleFont);
            return 0;
        }
        case WM_TIMER:
            if (wParam == 1) ++ownerTicks;
            if (wParam == 77) {
                ++ownerTimer77;
                KillTimer(hwnd, 77);
            }
            return 0;
        case WM_LBUTTONDOWN: ++ownerTaps; return 0;
        default: return ownertest::ownerDefault(hwnd, message, wParam, lParam);
    }
}

int ownerMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return ownertest::runOwnerWindow(ownerProc, u"DialogOwner", owner, 1);
}

// Control rectangles and texts, read on the GUI thread.
RECT rectOf(const Phone& phone, int id) {
    return phone.read([id] {
        RECT r{};
        GetWindowRect(GetDlgItem(dialog, id), &r);
        return r;
    });
}

std::u16string textOf(const Phone& phone, int id) {
    return phone.read([id] {
        WCHAR text[128];
        GetDlgItemTextW(dialog, id, text, 128);
        return std::u16string(text);
    });
}

int focusId(const Phone& phone) {
    return phone.read([] { return GetFocus() ? GetDlgCtrlID(GetFocus()) : 0; });
}

void tapAt(const Phone& phone, const RECT& r, int dx = -1) {
    phone.tap(dx < 0 ? (r.left + r.right) / 2 : r.left + dx, (r.top + r.bottom) / 2);
}

class Dialogs : public ::testing::Test {
  protected:
    explicit Dialogs(const std::string& profile = "") : phone(profile) {}
    void SetUp() override {
        heard.clear();
        hotkeys.clear();
        dialogResult = -2;
        overrideBack = true;
        phone.start(ownerMain, u"");
    }
    void open() {
        PostMessageW(owner, openDialog, 0, 0);
        phone.advance(0);
        ASSERT_TRUE(phone.read([] { return IsWindowVisible(dialog); }));
    }
    bool heardCode(int id, int code) const {
        return phone.read([=] {
            for (const Heard& h : heard)
                if (h.id == id && h.code == code) return true;
            return false;
        });
    }
    Phone phone;
};

TEST_F(Dialogs, OpenOnTheFirstFieldWithThePanelUpAndSaveClosesWithThePanelDown) {
    open();
    EXPECT_EQ(focusId(phone), 1003) << "WM_INITDIALOG answered TRUE: the first tab stop";
    EXPECT_TRUE(heardCode(1003, EN_SETFOCUS));
    EXPECT_TRUE(orven::test::sipShown());
    EXPECT_EQ(phone.read([] { return sipFlagsBefore & SIPF_DISABLECOMPLETION; }), 0u);
    RECT whole = phone.read([] {
        RECT r;
        GetWindowRect(dialog, &r);
        return r;
    });
    EXPECT_EQ(whole.right - whole.left, 240);
    EXPECT_EQ(whole.bottom - whole.top, 320);
    // The up-down went against the right edge of its list, inside the list's old width.
    RECT list = rectOf(phone, 1007), spin = rectOf(phone, 1010);
    EXPECT_EQ(list.right, spin.left);
    EXPECT_EQ(list.top, spin.top);
    EXPECT_LT(spin.right, rectOf(phone, 1011).left + 1);
    orven::test::softKey(1);
    EXPECT_EQ(phone.read([] { return dialogResult; }), 40014);
    EXPECT_FALSE(phone.read([] { return IsWindow(dialog); }));
    EXPECT_FALSE(orven::test::sipShown());
    SIPINFO sip{};
    sip.cbSize = sizeof(sip);
    SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0);
    EXPECT_EQ(sip.fdwFlags & SIPF_DISABLECOMPLETION, 0u) << "the flags were put back on leaving";
    EXPECT_TRUE(heardCode(1003, EN_KILLFOCUS));
}

TEST_F(Dialogs, TypingIntoTheFields) {
    struct Row {
        const char* legend;
        int id;
        std::u16string typed;
        std::vector<int> keys;  // pressed after the typing
        std::u16string expected;
    } rows[] = {
        {"letters beyond ASCII",
         1004,
         u"Jos\u00e9 \u0141ukasz \u00d8ster",
         {},
         u"Jos\u00e9 \u0141ukasz \u00d8ster"},
        {"a character beyond the BMP is one character",
         1004,
         u"a\U0001F600b",
         {VK_BACK, VK_BACK},
         u"a"},
        {"digits only", 1011, u"4a2", {}, u"42"},
        {"Backspace erases before the caret", 1004, u"abc", {VK_LEFT, VK_BACK}, u"ac"},
        {"Delete erases after the caret", 1004, u"abc", {VK_HOME, VK_DELETE}, u"bc"},
        {"Back erases with the override", 1004, u"abc", {VK_ESCAPE}, u"ab"},
        {"no scrolling: what does not fit is refused", 1003, u"WWWWWWWWWWWWWWWWWWWW", {}, u""},
    };
    open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        phone.onGui([&] {
            SetDlgItemTextW(dialog, row.id, u"");
            SetFocus(GetDlgItem(dialog, row.id));
        });
        phone.type(row.typed);
        for (int key : row.keys) phone.keyPress(key);
        std::u16string text = textOf(phone, row.id);
        if (row.id == 1003) {
            EXPECT_GT(text.size(), 3u);
            EXPECT_LT(text.size(), row.typed.size()) << "cut at the field's width";
            EXPECT_TRUE(heardCode(1003, EN_MAXTEXT));
        } else {
            EXPECT_EQ(text, row.expected);
        }
        EXPECT_TRUE(phone.read([] { return IsWindow(dialog); })) << "the dialog stays open";
    }
    phone.onGui([] { SendDlgItemMessageW(dialog, 1004, EM_LIMITTEXT, 3, 0); });
    phone.onGui([] {
        SetDlgItemTextW(dialog, 1004, u"");
        SetFocus(GetDlgItem(dialog, 1004));
    });
    phone.type(u"abcdef");
    EXPECT_EQ(textOf(phone, 1004), u"abc") << "EM_LIMITTEXT";
    EXPECT_TRUE(heardCode(1004, EN_CHANGE));
}

TEST_F(Dialogs, TheSpinListStepsItsListAndTellsTheParent) {
    open();
    RECT spin = rectOf(phone, 1010);
    auto listText = [&] {
        return phone.read([] {
            WCHAR text[16] = {};
            LRESULT at = SendDlgItemMessageW(dialog, 1007, LB_GETCURSEL, 0, 0);
            SendDlgItemMessageW(dialog, 1007, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text));
            return std::u16string(text);
        });
    };
    EXPECT_EQ(listText(), u" M") << "UDM_SETPOS selects silently";
    EXPECT_FALSE(heardCode(1007, LBN_SELCHANGE));
    phone.onGui([] { heard.clear(); });
    tapAt(phone, spin, (spin.right - spin.left) * 3 / 4);  // the right arrow
    EXPECT_EQ(listText(), u" F");
    EXPECT_EQ(phone.read([] { return heard; }),
              (std::vector<Heard>{
                  {1003, EN_KILLFOCUS, 1}, {1007, LBN_SETFOCUS, 1}, {1007, LBN_SELCHANGE, 2}}))
        << "the list took the focus, then spoke with the new position";
    tapAt(phone, spin, (spin.right - spin.left) * 3 / 4);
    EXPECT_EQ(listText(), u" F") << "the top of the range holds";
    phone.keyPress(VK_LEFT);
    phone.keyPress(VK_LEFT);
    EXPECT_EQ(listText(), u" -") << "Left on the focused list steps down";
    phone.keyPress(VK_LEFT);
    EXPECT_EQ(phone.read([] { return SendDlgItemMessageW(dialog, 1010, UDM_GETPOS, 0, 0); }), 0);
    EXPECT_EQ(phone.read([] { return SendDlgItemMessageW(dialog, 1010, UDM_SETPOS, 0, 9); }), 0);
    EXPECT_EQ(phone.read([] { return SendDlgItemMessageW(dialog, 1010, UDM_GETPOS, 0, 0); }), 2)
        << "clamped to the range";
}

TEST_F(Dialogs, FocusMovesWithTheKeysAndTapsAndButtonsAnswer) {
    open();
    phone.keyPress(VK_DOWN);
    EXPECT_EQ(focusId(phone), 1008);
    EXPECT_TRUE(heardCode(1003, EN_KILLFOCUS));
    EXPECT_FALSE(orven::test::sipShown()) << "lowered when the field lost the focus";
    phone.keyPress(VK_UP);
    EXPECT_EQ(focusId(phone), 1003);
    phone.keyPress(VK_UP);
    EXPECT_EQ(focusId(phone), 1012) << "wraps to the last tab stop";
    // The check box: a tap toggles it.
    tapAt(phone, rectOf(phone, 1012));
    EXPECT_EQ(phone.read([] { return IsDlgButtonChecked(dialog, 1012); }), BST_UNCHECKED);
    EXPECT_TRUE(heardCode(1012, BN_CLICKED));
    // The clear button empties its field and puts the focus there.
    phone.onGui([] { SetDlgItemTextW(dialog, 1003, u"12"); });
    tapAt(phone, rectOf(phone, 1008));
    EXPECT_EQ(textOf(phone, 1003), u"");
    EXPECT_EQ(focusId(phone), 1003);
    // A tap on an edit puts the focus there.
    tapAt(phone, rectOf(phone, 1011));
    EXPECT_EQ(focusId(phone), 1011);
}

TEST_F(Dialogs, TheOwnersTimersGoOnAndItsTapsAreDropped) {
    open();
    int ticks = phone.read([] { return ownerTicks; });
    std::thread([] { SetTimer(owner, 77, 500, nullptr); }).join();
    phone.advance(1000);
    EXPECT_GE(phone.read([] { return ownerTicks; }) - ticks, 10);
    EXPECT_EQ(phone.read([] { return ownerTimer77; }), 1) << "armed by another thread meanwhile";
    EXPECT_TRUE(phone.read([] { return IsWindow(dialog); }));
    // The dialog covers the owner; still, nothing reaches the owner while it is open.
    phone.onGui([] { PostMessageW(owner, WM_LBUTTONDOWN, 1, MAKELPARAM(5, 5)); });
    phone.advance(0);
    EXPECT_EQ(phone.read([] { return ownerTaps; }), 0);
    orven::test::softKey(0);
    EXPECT_EQ(phone.read([] { return dialogResult; }), 40012);
}

TEST_F(Dialogs, BackClosesTheDialogUnlessOverriddenAndIsReportedAsAHotKey) {
    overrideBack = false;
    open();
    phone.keyPress(VK_ESCAPE);
    EXPECT_EQ(phone.read([] { return dialogResult; }), IDCANCEL);
    EXPECT_TRUE(phone.read([] { return hotkeys.empty(); }));
    overrideBack = true;
    open();
    phone.keyPress(VK_ESCAPE);
    EXPECT_TRUE(phone.read([] { return IsWindow(dialog); }));
    EXPECT_EQ(phone.read([] { return hotkeys; }),
              (std::vector<LPARAM>{MAKELPARAM(0, VK_TBACK), MAKELPARAM(MOD_KEYUP, VK_TBACK)}));
}

TEST_F(Dialogs, ThePanelTypesIntoTheFocusedFieldAndKeepsItsFlags) {
    open();
    phone.onGui([] { SetFocus(GetDlgItem(dialog, 1004)); });
    ASSERT_TRUE(orven::test::sipShown());
    auto keys = orven::test::sipKeys();
    auto tapKey = [&](WCHAR c) {
        for (const auto& key : keys)
            if (key.character == c) return tapAt(phone, key.rect);
        FAIL() << "no key " << static_cast<int>(c);
    };
    for (WCHAR c : std::u16string(u"\x10hi 7")) tapKey(c);
    tapKey(VK_BACK);
    EXPECT_EQ(textOf(phone, 1004), u"Hi ");
    SIPINFO sip{};
    sip.cbSize = sizeof(sip);
    ASSERT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0));
    EXPECT_EQ(sip.fdwFlags & (SIPF_ON | SIPF_DISABLECOMPLETION), SIPF_ON | SIPF_DISABLECOMPLETION);
    EXPECT_EQ(sip.rcVisibleDesktop.bottom, sip.rcSipRect.top);
    EXPECT_EQ(sip.rcSipRect.bottom, 320 - GetSystemMetrics(SM_CYMENU));
    sip.cbSize = 4;
    EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &sip, 0)) << "a record too small";
}

// Screenshots of the sample dialog for a person to look at (under $TMPDIR).
class DialogsSmall : public Dialogs {
  protected:
    DialogsSmall() : Dialogs("screen-width = 176\nscreen-height = 220\nplatform = Smartphone\n") {}
};

void saveScreenshot(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/" + name;
    ASSERT_TRUE(orven::test::screenshot(path));
}

TEST_F(Dialogs, DrawsOnTheScreen) {
    open();
    phone.type(u"Jos\u00e9");
    phone.advance(0);
    saveScreenshot("orven-dialog-240x320.png");
    RECT title = rectOf(phone, 1006);
    bool blue = false;
    for (int x = title.left; x < title.right && !blue; ++x)
        for (int y = title.top; y < title.bottom && !blue; ++y)
            blue = orven::test::pixel(x, y) == 0x0040FFu;
    EXPECT_TRUE(blue) << "the title in the colour its dialog chose";
    RECT edit = rectOf(phone, 1003);
    EXPECT_EQ(orven::test::pixel(edit.left, edit.top), 0x0050C8u) << "the focus frame";
    EXPECT_EQ(orven::test::pixel(2, 200), 0xFFFFFFu) << "the dialog's white";
}

TEST_F(DialogsSmall, DrawsOnASmallScreen) {
    open();
    phone.onGui([] { SetFocus(GetDlgItem(dialog, 1007)); });
    phone.advance(0);
    saveScreenshot("orven-dialog-176x220.png");
    RECT whole = phone.read([] {
        RECT r;
        GetWindowRect(dialog, &r);
        return r;
    });
    EXPECT_EQ(whole.right, 176);
    EXPECT_EQ(whole.bottom, 220);
}

}  // namespace
