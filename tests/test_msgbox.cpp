// MessageBoxW on the emulated phone: modal while the owner's timers keep firing, drawn
// into the framebuffer, answered by taps, keys and soft keys, scripted answers, nested
// boxes, and the end of the program while a box is open.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing.h"
#include "platform/windows.h"
#include "tests/test_owner_window.h"

namespace {

using orven::test::Phone;

constexpr LPCWSTR caption = u"ZURV: ORVEN\u2122";
constexpr LPCWSTR question =
    u"This program is starting the first time. It has to find GPS Receiver, and check "
    u"position correctly.\n\nIf you have GPS Rx connected or built-in already, do you want "
    u"to process?";
constexpr UINT tickTimer = 7;      // counts while boxes are open
constexpr UINT innerBoxTimer = 9;  // opens a second box
constexpr UINT showBox = WM_USER;  // wParam: style; lParam: text

// What the owner window saw. Written on the GUI thread, read through phone.read().
HWND owner = nullptr;
int ticks = 0;
std::vector<int> answers;
int tapsOnOwner = 0;
int keyPressesOnOwner = 0;

LRESULT CALLBACK ownerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == tickTimer) ++ticks;
            if (wParam == innerBoxTimer) {
                KillTimer(hwnd, innerBoxTimer);
                answers.push_back(MessageBoxW(hwnd, u"Inner", caption, MB_OK | MB_ICONHAND));
            }
            return 0;
        case showBox:
            answers.push_back(MessageBoxW(hwnd, reinterpret_cast<LPCWSTR>(lParam), caption,
                                          static_cast<UINT>(wParam)));
            return 0;
        case WM_LBUTTONDOWN: ++tapsOnOwner; return 0;
        case WM_KEYDOWN: ++keyPressesOnOwner; return 0;
        default: return ownertest::ownerDefault(hwnd, message, wParam, lParam);
    }
}

int ownerMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return ownertest::runOwnerWindow(ownerProc, u"BoxOwner", owner, tickTimer);
}

class MessageBox : public ::testing::Test {
  protected:
    Phone phone;
    void SetUp() override { phone.start(ownerMain, u""); }
    void show(UINT style, LPCWSTR text = question) {
        PostMessageW(owner, showBox, style, reinterpret_cast<LPARAM>(text));
        phone.advance(0);
    }
    std::vector<int> answered() {
        return phone.read([] { return answers; });
    }
    int read(const int& counter) {
        return phone.read([&] { return counter; });
    }
};

POINT centreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST_F(MessageBox, ModalWhileTheOwnersTimersKeepFiring) {
    show(0x34);
    auto shown = orven::test::messageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, question);
    EXPECT_EQ(shown[0].caption, caption);
    EXPECT_EQ(shown[0].style, 0x34u);
    EXPECT_EQ(shown[0].answer, 0) << "still open";
    EXPECT_TRUE(answered().empty()) << "MessageBoxW has not returned";

    int before = read(ticks);
    phone.advance(1000);
    EXPECT_EQ(read(ticks) - before, 10) << "the owner's timer fired inside the modal loop";

    auto buttons = orven::test::messageBoxButtons();
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].answer, IDYES);
    EXPECT_EQ(buttons[1].answer, IDNO);
    // The box is on the screen, and a tap beside it reaches nobody.
    POINT yes = centreOf(buttons[0].rect);
    EXPECT_NE(orven::test::pixel(yes.x, yes.y), 0xFFFFFFu);
    phone.tap(5, 5);
    EXPECT_EQ(read(tapsOnOwner), 0);
    EXPECT_TRUE(answered().empty());

    phone.tap(yes.x, yes.y);
    EXPECT_EQ(answered(), std::vector<int>{IDYES});
    EXPECT_EQ(orven::test::messageBoxes()[0].answer, IDYES);
    EXPECT_TRUE(orven::test::messageBoxButtons().empty());
    EXPECT_EQ(orven::test::pixel(yes.x, yes.y), 0xFFFFFFu) << "the owner painted over the box";
    phone.tap(5, 5);
    EXPECT_EQ(read(tapsOnOwner), 1) << "taps reach the owner again";
}

TEST_F(MessageBox, TapsBesideTheButtonsDoNotAnswer) {
    show(MB_OK | MB_ICONEXCLAMATION, u"This message confirms, that your hardware button works.");
    auto buttons = orven::test::messageBoxButtons();
    ASSERT_EQ(buttons.size(), 1u);
    POINT ok = centreOf(buttons[0].rect);
    phone.tap(ok.x, buttons[0].rect.top - 20);  // on the box's text
    phone.tap(buttons[0].rect.right + 2, ok.y);
    EXPECT_TRUE(answered().empty());
    phone.tap(ok.x, ok.y);
    EXPECT_EQ(answered(), std::vector<int>{IDOK});
}

struct KeyRow {
    const char* legend;
    UINT style;
    std::vector<int> keys;  // virtual keys; VK_F1/VK_F2 through the soft keys
    int answer;
};

class MessageBoxKeys : public MessageBox, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(MessageBoxKeys, KeysChooseTheButton) {
    const KeyRow& row = GetParam();
    show(row.style);
    for (int key : row.keys) {
        if (key == VK_F1 || key == VK_F2)
            orven::test::softKey(key - VK_F1);
        else
            phone.keyPress(key);
    }
    EXPECT_EQ(answered(), std::vector<int>{row.answer});
    EXPECT_EQ(read(keyPressesOnOwner), 0) << "the box took every key press";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MessageBoxKeys,
    ::testing::Values(KeyRow{"EnterTakesTheFirstButton", 0x34, {VK_RETURN}, IDYES},
                      KeyRow{"RightMovesToNo", 0x34, {VK_RIGHT, VK_RETURN}, IDNO},
                      KeyRow{"ArrowsWrapAround", 0x34, {VK_LEFT, VK_LEFT, VK_RETURN}, IDYES},
                      KeyRow{"SecondButtonByDefault", MB_YESNO | MB_DEFBUTTON2, {VK_RETURN}, IDNO},
                      KeyRow{"EscapeDoesNothingWithoutCancel", 0x34, {VK_ESCAPE, VK_RETURN}, IDYES},
                      KeyRow{"EscapeIsOkWhenAlone", 0x30, {VK_ESCAPE}, IDOK},
                      KeyRow{"EscapeIsCancel", MB_OKCANCEL, {VK_ESCAPE}, IDCANCEL},
                      KeyRow{"LeftSoftKeyIsTheFirstButton", 0x34, {VK_F1}, IDYES},
                      KeyRow{"RightSoftKeyIsTheLastButton", 0x34, {VK_F2}, IDNO},
                      KeyRow{"StopIconOk", 0x10, {VK_RETURN}, IDOK}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST_F(MessageBox, ScriptedAnswersNeedNoInput) {
    orven::test::answerNextMessageBoxes({IDNO, IDYES});
    show(0x34);
    show(0x34, u"Second");
    EXPECT_EQ(answered(), (std::vector<int>{IDNO, IDYES}));
    auto shown = orven::test::messageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, u"Second");
    EXPECT_EQ(shown[1].answer, IDYES);
    show(0x30, u"Third");
    EXPECT_TRUE(answered().size() == 2u) << "beyond the script a box waits";
    EXPECT_TRUE(orven::test::answerMessageBox(IDOK));
    EXPECT_EQ(answered().back(), IDOK);
    EXPECT_FALSE(orven::test::answerMessageBox(IDOK)) << "none open";
}

TEST_F(MessageBox, ABoxOpenedInsideAnotherIsAnsweredFirst) {
    show(0x34);
    phone.onGui([] { SetTimer(owner, innerBoxTimer, 500, nullptr); });
    phone.advance(500);
    auto shown = orven::test::messageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, u"Inner");
    phone.keyPress(VK_RETURN);
    EXPECT_EQ(answered(), std::vector<int>{IDOK}) << "the inner box took the key";
    phone.keyPress(VK_RIGHT);
    phone.keyPress(VK_RETURN);
    EXPECT_EQ(answered(), (std::vector<int>{IDOK, IDNO}));
}

TEST_F(MessageBox, QuittingWhileOpenEndsTheBoxWithItsMostCautiousAnswer) {
    show(0x34);
    phone.onGui([] { PostQuitMessage(3); });
    phone.advance(0);
    ASSERT_TRUE(phone.waitFor([] { return true; }));
    EXPECT_TRUE(phone.finished()) << "the quit reached the program's own loop";
    EXPECT_EQ(phone.exitCode(), 3);
    EXPECT_EQ(orven::test::messageBoxes()[0].answer, IDNO);
}

}  // namespace
