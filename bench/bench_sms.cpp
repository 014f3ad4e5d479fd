// Two figures of the alert's SMS path, on the simulated modem:
//
// 1. The time from sendAlert to the last part confirmed (+CMGS and OK back at the
//    client), with the simulator holding both directions of its line to 115200 baud,
//    against the time the bytes of the whole exchange take on the wire. Target: within
//    twice the wire time.
// 2. The processor time of the idle radio (its registering thread asleep, the modem's
//    port thread and the notification thread waiting) over a minute. Target: under
//    0.05 % of one core.
//
//   bench_sms [sends] [idle seconds]     (default 20 sends, 60 s)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_message.h"
#include "alert/confirmation_watcher.h"
#include "common/gps_state.h"
#include "platform/modem.h"
#include "platform/pdu.h"
#include "platform/testing.h"
#include "platform/windows.h"
#include "settings/app_settings.h"
#include "sim/modem.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int lineBaud = 115200;
constexpr double bitsPerByte = 10.0;  // 8N1: start and stop bit

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool waitUntil(bool (*pred)(), int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool modemReady() {
    for (const std::string& line : orven::test::traceLines())
        if (line.find("modem: ready") != std::string::npos) return true;
    return false;
}

// The worked example's owner and fix, one alert number.
void prepareAlert() {
    resetSettingsForTests();
    appSettings.ownerBlood = 2;
    appSettings.ownerSex = 2;
    appSettings.ownerAge = 34;
    lstrcpyW(appSettings.firstName, u"Alpha");
    lstrcpyW(appSettings.familyName, u"Bravo");
    lstrcpyW(appSettings.alertNumber1, u"+447700900123");
    GpsFix fix = copyGpsFix();
    lstrcpyW(fix.latitudeText, u"N50.061389\u00B0");
    lstrcpyW(fix.longitudeText, u"E019.937222\u00B0");
    storeGpsFix(fix);
}

// Bytes both ways for one alert: per part the command, the prompt, the PDU with
// Ctrl-Z, and "+CMGS: <mr>" with OK.
size_t wireBytes() {
    WCHAR text[alertTextSize];
    int length = composeAlertText(text);
    orven::pdu::SubmitOptions options;
    options.messageClass = 3;
    std::vector<orven::pdu::Part> parts;
    orven::pdu::encodeSubmit(appSettings.alertNumber1,
                             std::u16string(text, static_cast<size_t>(length)), options, parts);
    size_t bytes = 0;
    for (const orven::pdu::Part& p : parts) {
        bytes += std::string("AT+CMGS=" + std::to_string(p.tpduLength) + "\r").size();
        bytes += std::string("\r\n> ").size();
        bytes += p.hex.size() + 1;
        bytes += std::string("\r\n+CMGS: 100\r\n\r\nOK\r\n").size();
    }
    return bytes;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    size_t at =
        std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    return values[at];
}

void benchSend(orven::sim::Modem& modem, int sends) {
    prepareAlert();
    double wireMs = static_cast<double>(wireBytes()) * bitsPerByte * 1000.0 / lineBaud;
    std::vector<double> times;
    for (int i = 0; i < sends; ++i) {
        auto start = Clock::now();
        if (!sendAlert()) {
            std::printf("send %d failed\n", i + 1);
            return;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    double median = percentile(times, 0.5), p95 = percentile(times, 0.95);
    std::printf("sendAlert to last +CMGS at %d baud: %zu messages of %u parts\n", lineBaud,
                modem.messages().size(), modem.messages().empty() ? 0u : modem.messages()[0].parts);
    std::printf("  wire time of the exchange: %.1f ms (%zu bytes)\n", wireMs, wireBytes());
    std::printf("  median %.1f ms (%.2fx wire), p95 %.1f ms (%.2fx wire), target <= 2.00x: %s\n",
                median, median / wireMs, p95, p95 / wireMs,
                median <= 2 * wireMs ? "met" : "NOT met");
}

void benchIdle(int seconds) {
    DWORD id = 0;
    CloseHandle(CreateThread(nullptr, 0, radioThread, nullptr, 0, &id));
    std::this_thread::sleep_for(std::chrono::seconds(1));  // registration settles
    double before = cpuSeconds();
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double used = cpuSeconds() - before;
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "idle radio over %.0f s: %.3f ms of processor time, %.4f %% of a core, target < 0.05 %%: "
        "%s\n",
        elapsed, used * 1000, 100 * used / elapsed,
        100 * used / elapsed < 0.05 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    int sends = argc > 1 ? std::atoi(argv[1]) : 20;
    int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    orven::test::Phone phone;
    orven::sim::Modem::Options options;
    options.baud = lineBaud;
    orven::sim::Modem modem(options);
    phone.writeHive("system.reg",
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"" +
                        modem.path() + "\"\r\n");
    orven::modem::start();
    if (!waitUntil(modemReady, 15000)) {
        std::printf("the modem did not become ready\n");
        return 1;
    }
    benchSend(modem, sends);
    benchIdle(idleSeconds);
    orven::modem::stopForTests();
    return 0;
}
