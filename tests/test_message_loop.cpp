// The window manager's loop under the virtual clock: timer semantics, message order,
// paint coalescing, cross-thread timers and nested (modal) loops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing.h"
#include "platform/windows.h"

namespace {

struct Event {
    UINT message;
    WPARAM wParam;
    uint64_t at;
    bool operator==(const Event&) const = default;
};

std::vector<Event> events;  // what the test window received (GUI thread only)
UINT_PTR oneShotId = 0;     // a timer the window kills on its first firing
UINT_PTR rearmId = 0;       // a timer the window re-arms with rearmMs when it fires
UINT rearmMs = 0;
DWORD sleepInHandlerMs = 0;  // the handler of timer 9 sleeps this long

LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            events.push_back({message, wParam, orven::test::virtualNowMs()});
            if (wParam == oneShotId) KillTimer(hwnd, wParam);
            if (wParam == rearmId) SetTimer(hwnd, wParam, rearmMs, nullptr);
            if (wParam == 9 && sleepInHandlerMs != 0) Sleep(sleepInHandlerMs);
            return 0;
        case WM_PAINT: {
            events.push_back({message, 0, orven::test::virtualNowMs()});
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_USER: events.push_back({message, wParam, orven::test::virtualNowMs()}); return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

HWND makeWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = u"TestWindow";
    wc.hbrBackground = static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH)));
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, u"TestWindow", u"test", 0, 0, 0, 240, 320, nullptr, nullptr,
                                nullptr, nullptr);
    events.clear();
    return hwnd;
}

std::vector<uint64_t> firingsOf(UINT_PTR id) {
    std::vector<uint64_t> at;
    for (const Event& e : events)
        if (e.message == WM_TIMER && e.wParam == id) at.push_back(e.at);
    return at;
}

class MessageLoop : public ::testing::Test {
  protected:
    orven::test::Phone phone;
    HWND hwnd = makeWindow();
    uint64_t t0 = orven::test::virtualNowMs();
    std::vector<uint64_t> relative(const std::vector<uint64_t>& at) const {
        std::vector<uint64_t> out;
        for (uint64_t t : at) out.push_back(t - t0);
        return out;
    }
};

TEST_F(MessageLoop, TimerIsPeriodicUntilKilled) {
    SetTimer(hwnd, 7, 100, nullptr);
    orven::test::advance(350);
    EXPECT_EQ(relative(firingsOf(7)), (std::vector<uint64_t>{100, 200, 300}));
    EXPECT_TRUE(KillTimer(hwnd, 7));
    orven::test::advance(1000);
    EXPECT_EQ(firingsOf(7).size(), 3u);
}

TEST_F(MessageLoop, SetTimerOnRunningIdRestartsItsPeriod) {
    SetTimer(hwnd, 3, 1000, nullptr);
    orven::test::advance(600);
    SetTimer(hwnd, 3, 1000, nullptr);
    orven::test::advance(1500);
    EXPECT_EQ(relative(firingsOf(3)), (std::vector<uint64_t>{1600}));
}

TEST_F(MessageLoop, KillingAStoppedTimerDoesNothing) {
    EXPECT_FALSE(KillTimer(hwnd, 44));
    SetTimer(hwnd, 4, 50, nullptr);
    EXPECT_FALSE(KillTimer(hwnd, 44));
    orven::test::advance(50);
    EXPECT_EQ(firingsOf(4).size(), 1u);
}

TEST_F(MessageLoop, OneShotAndRearmedTimersKeepTheirNewPeriod) {
    oneShotId = 5;
    rearmId = 8;
    rearmMs = 30000;
    SetTimer(hwnd, 5, 1500, nullptr);
    SetTimer(hwnd, 8, 500, nullptr);
    orven::test::advance(61000);
    EXPECT_EQ(relative(firingsOf(5)), (std::vector<uint64_t>{1500}));
    EXPECT_EQ(relative(firingsOf(8)), (std::vector<uint64_t>{500, 30500, 60500}));
}

TEST_F(MessageLoop, TimersDueTogetherFireInTheOrderTheyWereArmed) {
    SetTimer(hwnd, 55, 500, nullptr);
    SetTimer(hwnd, 2, 500, nullptr);
    SetTimer(hwnd, 1, 400, nullptr);
    orven::test::advance(500);
    std::vector<WPARAM> order;
    for (const Event& e : events) order.push_back(e.wParam);
    EXPECT_EQ(order, (std::vector<WPARAM>{1, 55, 2}));
}

TEST_F(MessageLoop, SleepOnTheGuiThreadMovesVirtualTime) {
    oneShotId = 9;
    sleepInHandlerMs = 500;
    SetTimer(hwnd, 9, 100, nullptr);
    SetTimer(hwnd, 10, 300, nullptr);
    orven::test::advance(1000);
    // Timer 10 was due during the sleep; it runs right after the handler returns.
    EXPECT_EQ(relative(firingsOf(10)), (std::vector<uint64_t>{600, 900}));
}

TEST_F(MessageLoop, PostedBeforePaintBeforeTimerAndPaintsCoalesce) {
    orven::test::advance(0);  // the creation paint
    events.clear();
    SetTimer(hwnd, 1, 10, nullptr);
    orven::test::advance(10);
    events.clear();
    SetTimer(hwnd, 2, 10, nullptr);
    orven::test::advance(10);  // timer 2 now due together with timer 1
    events.clear();
    SetTimer(hwnd, 6, 1, nullptr);
    InvalidateRect(hwnd, nullptr, FALSE);
    InvalidateRect(hwnd, nullptr, TRUE);
    InvalidateRect(hwnd, nullptr, FALSE);
    PostMessageW(hwnd, WM_USER, 42, 0);
    KillTimer(hwnd, 1);
    KillTimer(hwnd, 2);
    orven::test::advance(1);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(events[1].message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(events[2].message, static_cast<UINT>(WM_TIMER));
}

TEST_F(MessageLoop, TimersOfADestroyedWindowEnd) {
    SetTimer(hwnd, 11111, 1000, nullptr);
    orven::test::advance(1000);
    DestroyWindow(hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(KillTimer(hwnd, 11111));
    orven::test::advance(5000);
    EXPECT_EQ(firingsOf(11111).size(), 1u);
}

TEST_F(MessageLoop, TimerArmedFromAnotherThreadFiresOnVirtualTime) {
    std::thread reader([this] {
        SetTimer(hwnd, 44, 180000, nullptr);
        SetTimer(hwnd, 4, 30000, nullptr);
        KillTimer(hwnd, 2);
    });
    reader.join();
    orven::test::advance(179999);
    EXPECT_EQ(relative(firingsOf(4)), (std::vector<uint64_t>{30000, 60000, 90000, 120000, 150000}));
    EXPECT_TRUE(firingsOf(44).empty());
    orven::test::advance(1);
    EXPECT_EQ(relative(firingsOf(44)), (std::vector<uint64_t>{180000}));
}

TEST_F(MessageLoop, QuitEndsTheLoopAfterPostedMessages) {
    PostMessageW(hwnd, WM_USER, 1, 0);
    PostQuitMessage(3);
    PostMessageW(hwnd, WM_USER, 2, 0);
    MSG msg;
    std::vector<WPARAM> seen;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        DispatchMessageW(&msg);
        if (msg.message == WM_USER) seen.push_back(msg.wParam);
    }
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2}));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

// A program run on its own GUI thread: its timers keep firing inside a nested loop
// (as inside a modal dialog), and the test reads state through onGui.
std::atomic<int> nestedTicks{0};
HWND programWindow = nullptr;

LRESULT CALLBACK programProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == 11111) {
        ++nestedTicks;
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 1) {
        // A modal loop of its own, ended by WM_USER.
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) {
            if (msg.message == WM_USER) return 0;
            DispatchMessageW(&msg);
        }
        PostQuitMessage(static_cast<int>(msg.wParam));
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int programMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = programProc;
    wc.lpszClassName = u"Program";
    RegisterClassW(&wc);
    programWindow = CreateWindowExW(0, u"Program", u"p", WS_VISIBLE, 0, 0, 240, 320, nullptr,
                                    nullptr, nullptr, nullptr);
    SetTimer(programWindow, 11111, 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    return static_cast<int>(msg.wParam);
}

TEST(ProgramThread, TimersFireInsideANestedLoopAndCloseEndsTheProgram) {
    orven::test::Phone phone;
    phone.start(programMain, u"");
    phone.advance(3000);
    EXPECT_EQ(nestedTicks.load(), 3);
    PostMessageW(programWindow, WM_COMMAND, 1, 0);
    phone.advance(5000);
    EXPECT_EQ(nestedTicks.load(), 8);
    PostMessageW(programWindow, WM_USER, 0, 0);
    phone.advance(1000);
    EXPECT_EQ(nestedTicks.load(), 9);
    EXPECT_FALSE(phone.finished());
    PostMessageW(programWindow, WM_CLOSE, 0, 0);
    // Polled from here: once the program has ended, no call can run on its GUI thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!phone.finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(phone.finished());
    EXPECT_EQ(phone.exitCode(), 7);
}

}  // namespace
