// Menus: menu 108 as loaded from the resources, and the popup tracked at a corner with
// its owner-drawn "Exit" item, chosen by taps, keys or the test control, dismissed by
// a tap outside or Escape, while the owner's timers keep firing.
#include <gtest/gtest.h>

#include <string>

#include "app/main_screen.h"
#include "platform/testing.h"
#include "platform/windows.h"
#include "tests/test_owner_window.h"

namespace {

using orven::test::MenuItemShown;
using orven::test::Phone;

constexpr UINT openMenu = WM_USER;  // wParam: TrackPopupMenuEx flags
constexpr UINT tickTimer = 7;

HWND owner = nullptr;
std::vector<UINT> commands;  // WM_COMMAND ids the owner received, in order
UINT returned = 0;           // what TrackPopupMenuEx returned
int ticks = 0;
int tapsOnOwner = 0;
HMENU loadedMenu = nullptr;

// The main window's way: the first popup of menu 108 with "Hide (minimize)" and the
// owner-drawn exit item appended, at the lower right corner given.
void showMenu(HWND hwnd, UINT flags) {
    loadedMenu = LoadMenuW(nullptr, MAKEINTRESOURCEW(108));
    HMENU popup = GetSubMenu(loadedMenu, 0);
    InsertMenuW(popup, static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, 1136, u"Hide (minimize)");
    InsertMenuW(popup, static_cast<UINT>(-1), MF_BYPOSITION | MF_OWNERDRAW, 1135, nullptr);
    POINT at{229, 294};
    ClientToScreen(hwnd, &at);
    returned = static_cast<UINT>(TrackPopupMenuEx(popup, flags, at.x, at.y, hwnd, nullptr));
    DestroyMenu(loadedMenu);
}

LRESULT CALLBACK ownerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case openMenu: showMenu(hwnd, static_cast<UINT>(wParam)); return 0;
        case WM_COMMAND: commands.push_back(LOWORD(wParam)); return 0;
        case WM_TIMER: ++ticks; return 0;
        case WM_LBUTTONDOWN: ++tapsOnOwner; return 0;
        case WM_MEASUREITEM:
            measureExitItem(hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_DRAWITEM:
            drawExitItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        default: return ownertest::ownerDefault(hwnd, message, wParam, lParam);
    }
}

int ownerMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return ownertest::runOwnerWindow(ownerProc, u"MenuOwner", owner, tickTimer);
}

class PopupMenu : public ::testing::Test {
  protected:
    Phone phone;
    void SetUp() override { phone.start(ownerMain, u""); }
    void open(UINT flags = TPM_RIGHTALIGN | TPM_BOTTOMALIGN) {
        PostMessageW(owner, openMenu, flags, 0);
        phone.advance(0);
    }
    std::vector<UINT> received() {
        return phone.read([] { return commands; });
    }
    void tapItem(const std::u16string& text) {
        for (const MenuItemShown& item : orven::test::menuItems())
            if (item.text == text) {
                phone.tap((item.rect.left + item.rect.right) / 2,
                          (item.rect.top + item.rect.bottom) / 2);
                return;
            }
        ADD_FAILURE() << "no item " << orven::toUtf8(text);
    }
};

std::vector<std::string> describe(const std::vector<MenuItemShown>& items) {
    std::vector<std::string> out;
    for (const MenuItemShown& item : items) {
        std::string line = item.separator ? "-" : orven::toUtf8(item.text);
        if (item.popup) line += " >";
        if (item.ownerDrawn) line += "<owner-drawn>";
        if (!item.separator && !item.popup) {
            line += ' ';
            line += std::to_string(item.id);
        }
        if (item.selected) line += " *";
        out.push_back(line);
    }
    return out;
}

TEST(Menu108, HoldsTheMainPopupWithItsSubmenus) {
    Phone phone;
    HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(108));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    struct Row {
        int position;
        std::vector<UINT> commands;  // of the submenu at that position
    };
    for (const Row& row : {Row{0, {40025, 40011, 40018}}, Row{2, {40016, 40017, 40030}}}) {
        SCOPED_TRACE(row.position);
        HMENU submenu = GetSubMenu(popup, row.position);
        ASSERT_NE(submenu, nullptr);
        ASSERT_EQ(GetMenuItemCount(submenu), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(GetMenuItemID(submenu, i), row.commands[i]);
    }
    EXPECT_EQ(GetMenuItemID(popup, 3), 40020u);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(-1)) << "a submenu has no command";
    EXPECT_EQ(GetSubMenu(popup, 1), nullptr) << "the separator";
    EXPECT_EQ(GetSubMenu(popup, 3), nullptr) << "Help (manual)";
    HMENU settings = GetSubMenu(popup, 0);
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_EQ(GetMenuItemCount(settings), -1) << "submenus go with their menu";
    EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(107)), nullptr) << "107 is a menu bar";
}

TEST_F(PopupMenu, OpensWithItsLowerRightCornerAtThePoint) {
    open();
    auto items = orven::test::menuItems();
    EXPECT_EQ(describe(items),
              (std::vector<std::string>{"Settings >", "-", "Testing >", "Help (manual) 40020",
                                        "Hide (minimize) 1136", "<owner-drawn> 1135"}));
    ASSERT_EQ(items.size(), 6u);
    const RECT& exit = items.back().rect;
    EXPECT_EQ(exit.right + 1, 229) << "inside a one-pixel frame";
    EXPECT_EQ(exit.bottom + 1, 294);
    EXPECT_EQ(exit.bottom - exit.top, GetSystemMetrics(SM_CYMENU)) << "as measured";
    EXPECT_GE(exit.right - exit.left, 88);
    // Unselected "Exit": red text on white, from x 14 of the menu.
    bool redText = false;
    for (int y = exit.top; y < exit.bottom; ++y)
        for (int x = exit.left; x < exit.right; ++x)
            redText |= orven::test::pixel(x, y) == 0xFF0000;
    EXPECT_TRUE(redText);
    EXPECT_EQ(orven::test::pixel(exit.right - 2, exit.bottom - 2), 0xFFFFFFu);
}

TEST_F(PopupMenu, SelectedExitIsWhiteOnRed) {
    open();
    phone.keyPress(VK_UP);  // from nothing selected, Up takes the last item
    auto items = orven::test::menuItems();
    ASSERT_TRUE(items.back().selected);
    const RECT& exit = items.back().rect;
    EXPECT_EQ(orven::test::pixel(exit.right - 2, exit.bottom - 2), 0xFF0000u);
    bool whiteText = false;
    for (int y = exit.top; y < exit.bottom; ++y)
        for (int x = exit.left; x < exit.right; ++x)
            whiteText |= orven::test::pixel(x, y) == 0xFFFFFF;
    EXPECT_TRUE(whiteText);
    phone.keyPress(VK_RETURN);
    EXPECT_EQ(received(), std::vector<UINT>{1135});
}

TEST_F(PopupMenu, KeysOpenSubmenusAndChoose) {
    open();
    phone.keyPress(VK_DOWN);
    EXPECT_EQ(describe(orven::test::menuItems())[0], "Settings > *");
    phone.keyPress(VK_RIGHT);
    EXPECT_EQ(describe(orven::test::menuItems()),
              (std::vector<std::string>{"Owner details 40025 *", "Alert numbers 40011",
                                        "Hardware keys 40018"}));
    phone.keyPress(VK_LEFT);
    EXPECT_EQ(orven::test::menuItems().size(), 6u) << "back in the popup";
    phone.keyPress(VK_DOWN);  // skips the separator
    phone.keyPress(VK_RETURN);
    EXPECT_EQ(describe(orven::test::menuItems())[0], "GPS Rx 40016 *");
    phone.keyPress(VK_DOWN);
    phone.keyPress(VK_RETURN);
    EXPECT_TRUE(orven::test::menuItems().empty()) << "closed";
    EXPECT_EQ(received(), std::vector<UINT>{40017});
    EXPECT_EQ(phone.read([] { return returned; }), 1u) << "TRUE: the command was posted";
}

TEST_F(PopupMenu, TapsChooseThroughSubmenus) {
    open();
    tapItem(u"Testing");
    EXPECT_EQ(describe(orven::test::menuItems()).back(), "Hardware button 40030");
    tapItem(u"Hardware button");
    EXPECT_EQ(received(), std::vector<UINT>{40030});
    open();
    tapItem(u"Help (manual)");
    EXPECT_EQ(received(), (std::vector<UINT>{40030, 40020}));
}

struct DismissRow {
    const char* legend;
    std::vector<int> keys;
    POINT tap;  // {-1, -1}: none
};

class PopupMenuDismissal : public PopupMenu, public ::testing::WithParamInterface<DismissRow> {};

TEST_P(PopupMenuDismissal, EndsWithoutACommand) {
    const DismissRow& row = GetParam();
    open();
    for (int key : row.keys) phone.keyPress(key);
    if (row.tap.x >= 0) phone.tap(row.tap.x, row.tap.y);
    EXPECT_TRUE(orven::test::menuItems().empty());
    EXPECT_TRUE(received().empty());
    EXPECT_EQ(phone.read([] { return tapsOnOwner; }), 0) << "the dismissing tap is used up";
    phone.tap(5, 5);
    EXPECT_EQ(phone.read([] { return tapsOnOwner; }), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, PopupMenuDismissal,
    ::testing::Values(
        DismissRow{"TapOutside", {}, {20, 20}}, DismissRow{"Escape", {VK_ESCAPE}, {-1, -1}},
        DismissRow{"EscapeTwiceFromASubmenu", {VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_ESCAPE}, {-1, -1}},
        DismissRow{"LeftDoesNotCloseThePopup", {VK_LEFT, VK_ESCAPE}, {-1, -1}}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST_F(PopupMenu, TimersKeepFiringWhileOpen) {
    open();
    int before = phone.read([] { return ticks; });
    phone.advance(2000);
    EXPECT_EQ(phone.read([] { return ticks; }) - before, 20);
    EXPECT_FALSE(orven::test::menuItems().empty());
    EXPECT_TRUE(orven::test::choosePopupMenuItem(40018)) << "in a submenu not opened";
    EXPECT_EQ(received(), std::vector<UINT>{40018});
    EXPECT_FALSE(orven::test::choosePopupMenuItem(40018)) << "no menu open";
}

TEST_F(PopupMenu, ReturnCommandReturnsInsteadOfPosting) {
    open(TPM_RIGHTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD);
    orven::test::choosePopupMenuItem(1136);
    EXPECT_EQ(phone.read([] { return returned; }), 1136u);
    EXPECT_TRUE(received().empty());
}

}  // namespace
