// How long the settings store takes: saveSettings (twelve writes, then one atomic save
// of the hive with two fsyncs), loadSettings from the hive in memory, and loadSettings
// at a start (the hive read and parsed from disk). Target: under 1 ms each.
// Runs in a fresh device directory under /tmp; prints median and 95th percentile.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/registry.h"
#include "settings/app_settings.h"

namespace {

constexpr int runs = 1000;

void report(const char* what, const std::function<void()>& step) {
    std::vector<double> micros;
    micros.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        step();
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("%-36s median %8.1f us   p95 %8.1f us   max %8.1f us   (%d runs)\n", what,
                micros[runs / 2], micros[runs * 95 / 100], micros.back(), runs);
}

void fillRecord() {
    const std::u16string family = u"Dupr\u00e9-Lefebvre";
    family.copy(appSettings.familyName, family.size());
    std::u16string(u"Zo\u00eb").copy(appSettings.firstName, 3);
    std::u16string(u"0612345678").copy(appSettings.alertNumber1, 10);
    std::u16string(u"0698765432").copy(appSettings.alertNumber2, 10);
    std::u16string(u"40C1").copy(appSettings.hardwareKey, 4);
    appSettings.ownerAge = 81;
    appSettings.ownerBlood = 3;
    appSettings.ownerSex = 2;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/ov-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("ORVEN_DEVICE", pattern, 1);
    orven::resetDeviceForTests();
    std::printf("device directory %s\n", pattern);

    fillRecord();
    int flip = 0;
    report("saveSettings (write + fsync + rename)", [&] {
        appSettings.ownerAge = 80 + (flip ^= 1);  // a real change each time
        saveSettings();
    });
    report("loadSettings (hive in memory)", [] { loadSettings(); });
    report("loadSettings at a start (from disk)", [] {
        orven::resetRegistryForTests();
        loadSettings();
    });

    orven::resetDeviceForTests();
    std::filesystem::remove_all(pattern);
    return 0;
}
