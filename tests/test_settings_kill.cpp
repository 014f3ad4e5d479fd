// Saving the settings killed at any instant: a child process saves two records in turn,
// for ever, and is killed with SIGKILL at a thousand random moments. After each kill the
// hive must parse (nothing set aside as corrupt) and hold one record whole, the old or
// the new, never a mixture and never nothing.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/device.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace {

struct Record {
    const char16_t* firstName;
    const char16_t* familyName;
    const char16_t* number1;
    const char16_t* number2;
    int32_t alertsNumber, ownerAge;
};

const Record records[2] = {{u"Alpha", u"Kowalska-Nowak", u"600100200", u"+48600300400", 1, 34},
                           {u"Bravo", u"Smith", u"700800900", u"", 6, 71}};

void fill(const Record& r) {
    lstrcpynW(appSettings.firstName, r.firstName, firstNameSize);
    lstrcpynW(appSettings.familyName, r.familyName, familyNameSize);
    lstrcpynW(appSettings.alertNumber1, r.number1, alertNumberSize);
    lstrcpynW(appSettings.alertNumber2, r.number2, alertNumberSize);
    appSettings.alertsNumber = r.alertsNumber;
    appSettings.ownerAge = r.ownerAge;
}

// Which record the loaded settings are, or -1 for neither (or a mixture).
int loadedRecord() {
    for (int i = 0; i < 2; ++i) {
        const Record& r = records[i];
        if (std::u16string(appSettings.firstName) == r.firstName &&
            std::u16string(appSettings.familyName) == r.familyName &&
            std::u16string(appSettings.alertNumber1) == r.number1 &&
            std::u16string(appSettings.alertNumber2) == r.number2 &&
            appSettings.alertsNumber == r.alertsNumber && appSettings.ownerAge == r.ownerAge)
            return i;
    }
    return -1;
}

bool anyCorruptHive(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (dirent* entry = readdir(dir))
        found = found || std::string(entry->d_name).find(".corrupt-") != std::string::npos;
    closedir(dir);
    return found;
}

TEST(SettingsKilled, EveryKillLeavesTheOldOrTheNewRecord) {
    orven::test::Phone phone;  // a fresh device directory for this process and its children
    fill(records[0]);
    saveSettings();
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> delayUs(0, 6000);
    int seen[2] = {0, 0};
    for (int kill = 0; kill < 1000; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 0;; ++i) {
                fill(records[i % 2]);
                saveSettings();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        orven::resetDeviceForTests();  // the hive is read again, from the file
        resetSettingsForTests();
        loadSettings();
        const int which = loadedRecord();
        ASSERT_NE(which, -1) << "kill " << kill << ": a record neither old nor new, first name \""
                             << orven::toUtf8(appSettings.firstName) << "\"";
        ASSERT_FALSE(anyCorruptHive(phone.deviceDir())) << "kill " << kill;
        ++seen[which];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0) << "the kills never fell after a second save";
}

}  // namespace
