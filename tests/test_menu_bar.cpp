// The shell: soft-key menu bars (commands, labels, taps, the soft keys going to the
// newest window's bar or to an open message box), the tray icon on the shell's desktop
// while the program is hidden, and the string table.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing.h"
#include "platform/windows.h"
#include "tests/test_owner_window.h"

namespace {

using orven::test::Phone;

constexpr UINT trayMessage = 1125;
constexpr UINT makeBar = WM_USER;  // wParam: menu bar resource
constexpr UINT askQuestion = WM_USER + 1;

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Seen&) const = default;
};

HWND owner = nullptr;
HWND bar = nullptr;
std::vector<Seen> seen;  // commands, tray callbacks and key releases the owner received

LRESULT CALLBACK ownerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case makeBar: {
            SHMENUBARINFO info{};
            info.cbSize = sizeofSHMENUBARINFO;
            info.hwndParent = hwnd;
            info.nToolBarId = static_cast<UINT>(wParam);
            bar = SHCreateMenuBar(&info) ? info.hwndMB : nullptr;
            return 0;
        }
        case askQuestion:
            seen.push_back(
                Seen{message, static_cast<WPARAM>(MessageBoxW(hwnd, u"Sure?", u"", 0x34)), 0});
            return 0;
        case WM_COMMAND:
        case WM_KEYUP: seen.push_back(Seen{message, wParam, lParam}); return 0;
        case trayMessage:
            seen.push_back(Seen{message, wParam, lParam});
            SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) | 1));
            return 0;
        default: return ownertest::ownerDefault(hwnd, message, wParam, lParam);
    }
}

int ownerMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return ownertest::runOwnerWindow(ownerProc, u"ShellOwner", owner);
}

class Shell : public ::testing::Test {
  protected:
    Phone phone;
    void SetUp() override { phone.start(ownerMain, u""); }
    void createBar(UINT id) {
        PostMessageW(owner, makeBar, id, 0);
        phone.advance(0);
    }
    std::vector<Seen> received() {
        return phone.read([] {
            auto out = seen;
            seen.clear();
            return out;
        });
    }
};

struct BarRow {
    const char* legend;
    UINT resource;
    UINT left, right;  // commands of the two keys
};

class MenuBarKeys : public Shell, public ::testing::WithParamInterface<BarRow> {};

TEST_P(MenuBarKeys, SoftKeysAndTapsSendTheKeysCommands) {
    const BarRow& row = GetParam();
    createBar(row.resource);
    ASSERT_NE(phone.read([] { return bar; }), nullptr);
    EXPECT_EQ(phone.read([] { return SHFindMenuBar(owner); }), phone.read([] { return bar; }));
    orven::test::softKey(0);
    orven::test::softKey(1);
    EXPECT_EQ(received(),
              (std::vector<Seen>{{WM_COMMAND, row.left, 0}, {WM_COMMAND, row.right, 0}}))
        << "no key release reaches the window";
    // The bar lies along the bottom, one menu row high; a tap lifted on a half of it
    // presses that key.
    RECT rect = phone.read([] {
        RECT r{};
        GetWindowRect(bar, &r);
        return r;
    });
    EXPECT_EQ(rect.bottom, 320);
    EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYMENU));
    PostMessageW(phone.read([] { return bar; }), WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
    PostMessageW(phone.read([] { return bar; }), WM_LBUTTONUP, 0, MAKELPARAM(10, 20));
    phone.advance(0);
    EXPECT_EQ(received(),
              (std::vector<Seen>{{WM_COMMAND, row.right, 0}, {WM_COMMAND, row.left, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Bars, MenuBarKeys,
                         ::testing::Values(BarRow{"Main109", 109, 40026, 40028},
                                           BarRow{"Settings107", 107, 40012, 40014},
                                           BarRow{"Tests110", 110, 40012, 40031}),
                         [](const auto& info) { return std::string(info.param.legend); });

TEST_F(Shell, AHiddenBarStillTakesTheSoftKeys) {
    createBar(109);
    phone.onGui([] { MoveWindow(bar, 0, 0, 0, 0, FALSE); });
    RECT rect = phone.read([] {
        RECT r{};
        GetWindowRect(bar, &r);
        return r;
    });
    EXPECT_EQ(rect.bottom - rect.top, 0);
    orven::test::softKey(1);
    EXPECT_EQ(received(), (std::vector<Seen>{{WM_COMMAND, 40028, 0}}));
}

TEST_F(Shell, WithoutABarSoftKeysArePlainKeys) {
    orven::test::softKey(0);
    EXPECT_EQ(received(), (std::vector<Seen>{{WM_KEYUP, VK_F1, static_cast<LPARAM>(0xC0000001)}}));
}

TEST_F(Shell, SoftKeysAnswerAnOpenMessageBoxNotTheBar) {
    createBar(109);
    PostMessageW(owner, askQuestion, 0, 0);
    phone.advance(0);
    orven::test::softKey(1);
    EXPECT_EQ(received(), (std::vector<Seen>{{askQuestion, IDNO, 0}}));
    orven::test::softKey(0);
    EXPECT_EQ(received(), (std::vector<Seen>{{WM_COMMAND, 40026, 0}})) << "the bar again";
}

TEST_F(Shell, UnknownMenuBarIsNotCreated) {
    createBar(108);  // a menu, not a menu bar
    EXPECT_EQ(phone.read([] { return bar; }), nullptr);
    EXPECT_EQ(phone.read([] { return SHFindMenuBar(owner); }), nullptr);
}

TEST_F(Shell, BarShowsItsLabels) {
    createBar(107);
    phone.advance(0);
    int top = 320 - GetSystemMetrics(SM_CYMENU);
    auto whiteIn = [](int left, int right, int rowTop) {
        int count = 0;
        for (int y = rowTop; y < 320; ++y)
            for (int x = left; x < right; ++x) count += orven::test::pixel(x, y) == 0xFFFFFF;
        return count;
    };
    EXPECT_GT(whiteIn(0, 120, top), 20) << "Cancel";
    EXPECT_GT(whiteIn(120, 240, top), 20) << "SAVE";
    EXPECT_NE(orven::test::pixel(2, top + 2), 0xFFFFFFu);
}

NOTIFYICONDATAW trayRecord(UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeofNOTIFYICONDATAW;
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = trayMessage;
    data.hIcon =
        static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(103), IMAGE_ICON, 16, 16, 0));
    lstrcpynW(data.szTip, u"ZURV: ORVEN\u2122", 64);
    return data;
}

TEST_F(Shell, TrayIconBringsTheHiddenProgramBack) {
    ASSERT_TRUE(phone.read([] {
        NOTIFYICONDATAW data = trayRecord(1);
        return Shell_NotifyIcon(NIM_ADD, &data) != 0;
    }));
    auto icons = orven::test::trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].tip, u"ZURV: ORVEN\u2122");
    EXPECT_FALSE(orven::test::desktopShown()) << "the program is shown";

    phone.onGui([] { ShowWindow(owner, SW_MINIMIZE); });
    phone.advance(0);
    EXPECT_TRUE(orven::test::desktopShown());
    RECT r = icons[0].rect;
    POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    EXPECT_EQ(orven::test::pixel(centre.x, centre.y), 0x1E5AC8u) << "the icon's blue star";

    phone.tap(10, 200);  // the desktop, not the icon
    EXPECT_TRUE(received().empty());
    phone.tap(centre.x, centre.y);
    EXPECT_EQ(received(), (std::vector<Seen>{{trayMessage, 1, WM_LBUTTONDOWN},
                                             {trayMessage, 1, WM_LBUTTONUP}}));
    EXPECT_FALSE(orven::test::desktopShown()) << "the owner came back to the front";
    EXPECT_TRUE(phone.read([] { return IsWindowVisible(owner) != 0; }));

    EXPECT_TRUE(phone.read([] {
        NOTIFYICONDATAW data = trayRecord(1);
        data.uFlags = 0;
        return Shell_NotifyIcon(NIM_DELETE, &data) != 0;
    }));
    EXPECT_TRUE(orven::test::trayIcons().empty());
    phone.onGui([] { ShowWindow(owner, SW_MINIMIZE); });
    phone.advance(0);
    EXPECT_FALSE(orven::test::desktopShown()) << "no icon, no desktop";
}

TEST_F(Shell, TrayRejectsDuplicatesAndUnknownIcons) {
    auto call = [&](DWORD message, UINT id) {
        return phone.read([&] {
            NOTIFYICONDATAW data = trayRecord(id);
            return Shell_NotifyIcon(message, &data) != 0;
        });
    };
    EXPECT_TRUE(call(NIM_ADD, 1));
    EXPECT_FALSE(call(NIM_ADD, 1));
    EXPECT_FALSE(call(NIM_DELETE, 2));
    EXPECT_TRUE(call(NIM_MODIFY, 1));
    EXPECT_TRUE(call(NIM_DELETE, 1));
    EXPECT_FALSE(call(NIM_DELETE, 1));
}

TEST(StringTable, LabelsOfTheMenuBarKeys) {
    struct Row {
        UINT id;
        const char16_t* text;
    };
    for (const Row& row : {Row{40013, u"Cancel"}, Row{40015, u"SAVE"}, Row{40027, u"Left"},
                           Row{40029, u"Right"}, Row{40032, u"TEST"}, Row{40033, u"Close"}}) {
        SCOPED_TRACE(row.id);
        WCHAR buffer[32];
        EXPECT_EQ(LoadStringW(nullptr, row.id, buffer, 32), lstrlenW(row.text));
        EXPECT_EQ(std::u16string(buffer), row.text);
    }
    WCHAR small[4];
    EXPECT_EQ(LoadStringW(nullptr, 40013, small, 4), 3) << "cut to the buffer";
    EXPECT_EQ(std::u16string(small), u"Can");
    EXPECT_EQ(LoadStringW(nullptr, 1, small, 4), 0);
}

}  // namespace
