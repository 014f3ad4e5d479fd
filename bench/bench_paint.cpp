// How long the main screen takes to paint: paintMainScreen at 240 x 320 and at
// 480 x 640 (targets: under 1 ms and under 3 ms), in its busiest state: a two-line
// status band and the receiver diagnostics over the skin, fonts and brushes made and
// deleted on every paint as the program does. Also the one-time costs: the skin
// bitmap drawn at its first load, and the first paint (font files opened).
// Each screen size runs in a child process of its own (the framebuffer is sized once
// per process). Prints median, 95th percentile and maximum of 1000 paints.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_screen.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/platform_facts.h"
#include "common/status_text.h"
#include "platform/testing.h"

namespace {

constexpr int runs = 1000;

using Clock = std::chrono::steady_clock;

double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

LRESULT CALLBACK screenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        paintMainScreen(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void benchSize(int width, int height) {
    orven::test::Phone phone("screen-width = " + std::to_string(width) +
                             "\nscreen-height = " + std::to_string(height) + "\n");
    isSmartphone = 0;
    osMajorVersion = 5;
    WNDCLASSW wc{};
    wc.lpfnWndProc = screenProc;
    wc.lpszClassName = u"BenchScreen";
    RegisterClassW(&wc);
    mainWindow = CreateWindowExW(0, u"BenchScreen", u"", WS_VISIBLE, 0, 0, width, height, nullptr,
                                 nullptr, nullptr, nullptr);
    auto start = Clock::now();
    skinBitmap =
        static_cast<HBITMAP>(LoadImageW(nullptr, MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0));
    double skinLoad = microsSince(start);

    setStatusText(u"GPS Rx found\nAwaiting for position...");
    gpsState.receiverFound = 1;
    gpsState.searchState = 3;
    gpsState.rmcStatus = 2;
    gpsState.satellitesInView = 9;
    gpsState.satellitesUsed = 0;
    setLastSentence(u"$GPGSV,3,1,09,02,63,064,33,04,26,310,00,07,48,220,30,08,12,041,00*7F");

    start = Clock::now();
    paintMainScreen(mainWindow);
    double firstPaint = microsSince(start);

    std::vector<double> micros;
    micros.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        start = Clock::now();
        paintMainScreen(mainWindow);
        micros.push_back(microsSince(start));
    }
    std::sort(micros.begin(), micros.end());
    std::printf(
        "paintMainScreen %3dx%-3d  median %7.1f us   p95 %7.1f us   max %7.1f us   "
        "(%d paints)\n",
        width, height, micros[runs / 2], micros[runs * 95 / 100], micros.back(), runs);
    std::printf("  once: skin bitmap drawn at first load %8.1f us, first paint %8.1f us\n",
                skinLoad, firstPaint);
    std::fflush(stdout);
}

}  // namespace

int main() {
    for (auto [width, height] : {std::pair{240, 320}, std::pair{480, 640}}) {
        pid_t child = fork();
        if (child == 0) {
            benchSize(width, height);
            std::fflush(stdout);
            _exit(0);  // the child's phone and threads end with it
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "bench_paint: the %dx%d run failed\n", width, height);
            return 1;
        }
    }
    return 0;
}
