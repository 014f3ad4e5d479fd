// Sound cues and the sound services under them: playCue's volume bookkeeping (scripts of
// cues and waits against the output volume they leave), cues from two threads at once,
// the volume put back after a crash, the sound server backends, and real playback through
// SDL's dummy and disk drivers (the committed cue files: test_cue_files.cpp).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "common/sound_cues.h"
#include "platform/mixer.h"
#include "platform/testing.h"
#include "platform/windows.h"

namespace {

using orven::test::PlayedSound;
constexpr uint32_t full = 0xFFFFFFFF;
constexpr int waveRate = 8000;  // test waves: 8 samples per millisecond, so lengths are exact

// An 8-bit mono sine wave of `ms` milliseconds; amplitude 1.0 is full scale.
void writeWave(const std::string& path, int ms, double amplitude = 0.5, double hz = 200) {
    const uint32_t frames = static_cast<uint32_t>(waveRate / 1000 * ms);
    std::string data(frames, '\0');
    for (uint32_t i = 0; i < frames; ++i)
        data[i] = static_cast<char>(std::lround(
            128 + 127 * amplitude * std::sin(2 * std::numbers::pi * hz * i / waveRate)));
    auto u32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << u32(36 + frames) << "WAVE"
        << "fmt " << u32(16) << u16(1) << u16(1) << u32(waveRate) << u32(waveRate) << u16(1)
        << u16(8) << "data" << u32(frames) << data;
}

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// ---------------------------------------------------------------------------------------
// playCue on an emulated phone: virtual clock, sound capture, a main window whose timer
// 111 does what the real one does.

int timer111Firings = 0;

LRESULT CALLBACK cueWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == 111) {
        ++timer111Firings;
        KillTimer(window, 111);
        restoreSavedVolume();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Cue n lasts 100 + 10 n ms, so every cue has its own length.
uint32_t cueLengthMs(int n) {
    return 100 + 10 * static_cast<uint32_t>(n);
}

class Cues : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = cueWindowProc;
        wc.lpszClassName = u"CueTestWindow";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"CueTestWindow", u"cues", 0, 0, 0, 240, 320, nullptr,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(mainWindow, nullptr);
        timer111Firings = 0;
        useFolder("app", {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 111});
    }

    // appFolder := <device>/<name>/, holding sounds/<n>.wav for each cue listed (no
    // "sounds" folder at all when the list is empty).
    void useFolder(const std::string& name, std::initializer_list<int> cues) {
        const std::string folder = phone_.deviceDir() + "/" + name + "/";
        mkdir(folder.c_str(), 0700);
        if (cues.size() > 0) mkdir((folder + "sounds").c_str(), 0700);
        for (int n : cues)
            writeWave(folder + "sounds/" + std::to_string(n) + ".wav", cueLengthMs(n));
        const std::u16string phoneFolder = orven::phonePath(folder);
        ASSERT_LT(phoneFolder.size(), static_cast<size_t>(MAX_PATH));
        std::copy(phoneFolder.begin(), phoneFolder.end() + 1, appFolder);
    }

    // The owner's volume as the main window's creation reads it.
    void ownerVolume(uint32_t volume) {
        orven::test::setOutputVolume(volume);
        readSavedVolume();
    }

    bool markerExists() const { return exists(phone_.deviceDir() + "/volume.raised"); }

    orven::test::Phone phone_;
};

struct Step {
    enum Kind { cue, wait, ownerChanges } kind;
    int value;   // cue number, milliseconds, or the owner's new volume
    bool async;  // for cues
    uint32_t volumeAfter;
};
Step syncCue(int n, uint32_t after) {
    return {Step::cue, n, false, after};
}
Step asyncCue(int n, uint32_t after) {
    return {Step::cue, n, true, after};
}
Step waitMs(int ms, uint32_t after) {
    return {Step::wait, ms, false, after};
}
Step ownerSets(uint32_t volume) {
    return {Step::ownerChanges, static_cast<int>(volume), false, volume};
}

struct Script {
    const char* legend;
    uint32_t owner;
    std::vector<Step> steps;
};

TEST_F(Cues, EveryCuePlaysAtFullVolumeAndTheOwnersVolumeComesBack) {
    constexpr uint32_t owner = 0x40004000, asymmetric = 0x1234ABCD, changed = 0x20002000;
    const Script scripts[] = {
        {"synchronous cue: full while it plays, back at once", owner, {syncCue(7, owner)}},
        {"channels are kept apart", asymmetric, {syncCue(1, asymmetric)}},
        {"asynchronous cue: back by timer 111 after 5 s",
         owner,
         {asyncCue(6, full), waitMs(4999, full), waitMs(1, owner)}},
        {"asynchronous cue 6, then cue 7 half a second later (every alert)",
         owner,
         {asyncCue(6, full), waitMs(500, full), syncCue(7, owner), waitMs(5000, owner)}},
        {"two asynchronous cues 2 s apart: back 5 s after the second",
         owner,
         {asyncCue(5, full), waitMs(2000, full), asyncCue(5, full), waitMs(4999, full),
          waitMs(1, owner)}},
        {"synchronous cue 4, then asynchronous cue 5",
         owner,
         {syncCue(4, owner), asyncCue(5, full), waitMs(5000, owner)}},
        {"the owner's volume is read again before every cue",
         owner,
         {syncCue(1, owner), ownerSets(changed), asyncCue(5, full), waitMs(5000, changed),
          syncCue(8, changed)}},
        {"an owner at full volume stays there",
         full,
         {asyncCue(6, full), waitMs(5000, full), syncCue(9, full)}},
    };
    int run = 0;
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.legend);
        useFolder("run" + std::to_string(++run), {1, 4, 5, 6, 7, 8, 9});
        ownerVolume(script.owner);
        orven::test::clearPlayedSounds();
        std::vector<std::pair<int, bool>> expectedPlays;
        uint64_t expectedEnd = orven::test::virtualNowMs();
        for (size_t i = 0; i < script.steps.size(); ++i) {
            const Step& step = script.steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            switch (step.kind) {
                case Step::cue:
                    EXPECT_TRUE(playCue(step.value, step.async));
                    expectedPlays.emplace_back(step.value, step.async);
                    if (!step.async) expectedEnd += cueLengthMs(step.value);
                    break;
                case Step::wait:
                    orven::test::advance(static_cast<uint32_t>(step.value));
                    expectedEnd += static_cast<uint32_t>(step.value);
                    break;
                case Step::ownerChanges:
                    orven::test::setOutputVolume(static_cast<uint32_t>(step.value));
                    break;
            }
            EXPECT_EQ(orven::test::outputVolume(), step.volumeAfter)
                << std::hex << "volume 0x" << orven::test::outputVolume();
        }
        // A synchronous cue keeps the GUI thread for its length; nothing else moves time.
        EXPECT_EQ(orven::test::virtualNowMs(), expectedEnd);
        const std::vector<PlayedSound> played = orven::test::playedSounds();
        ASSERT_EQ(played.size(), expectedPlays.size());
        for (size_t i = 0; i < played.size(); ++i) {
            const auto [n, isAsync] = expectedPlays[i];
            EXPECT_EQ(played[i].file,
                      orven::linuxPath(appFolder) + "sounds/" + std::to_string(n) + ".wav");
            EXPECT_EQ(played[i].async, isAsync);
            EXPECT_EQ(played[i].volumeAtStart, full) << "cue " << n;
        }
        orven::test::advance(5000);  // let any pending restore run before the next script
        EXPECT_FALSE(markerExists()) << "the raised-volume marker outlived the cue";
    }
}

TEST_F(Cues, AMissingCueIsSilentAndLeavesTheVolumeAlone) {
    struct Row {
        const char* legend;
        std::initializer_list<int> present;
        int cue;
        bool async;
    };
    const Row rows[] = {
        {"no sounds folder, synchronous cue", {}, 1, false},
        {"no sounds folder, asynchronous cue", {}, 5, true},
        {"folder without this cue, synchronous", {2, 3}, 7, false},
        {"folder without this cue, asynchronous", {2, 3}, 6, true},
        {"an unused number", {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 111}, 10, false},
    };
    int run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        useFolder("missing" + std::to_string(++run), row.present);
        ownerVolume(0x30003000);
        orven::test::clearPlayedSounds();
        orven::test::clearTrace();
        const uint64_t before = orven::test::virtualNowMs();
        EXPECT_FALSE(playCue(row.cue, row.async));
        EXPECT_TRUE(orven::test::playedSounds().empty());
        EXPECT_EQ(orven::test::virtualNowMs(), before);
        EXPECT_FALSE(markerExists());
        orven::test::advance(6000);
        EXPECT_EQ(orven::test::outputVolume(), 0x30003000u);
        for (const std::string& line : orven::test::traceLines()) {
            EXPECT_EQ(line.find("waveOutSetVolume"), std::string::npos) << line;
            EXPECT_EQ(line.find("id=111"), std::string::npos) << line;
        }
    }
}

TEST_F(Cues, MarkerHoldsTheOwnersVolumeOnlyWhileRaised) {
    ownerVolume(0x50005000);
    playCue(6, true);
    ASSERT_TRUE(markerExists());
    std::istringstream marker(readFile(phone_.deviceDir() + "/volume.raised"));
    long pid = 0;
    std::string volume;
    marker >> pid >> volume;
    EXPECT_EQ(pid, static_cast<long>(getpid()));
    EXPECT_EQ(volume, "0x50005000");
    orven::test::advance(5000);
    EXPECT_EQ(timer111Firings, 1);
    EXPECT_FALSE(markerExists());
}

// The GPS reader thread plays cues 4 and 5 while the GUI thread plays its own and runs
// timer 111. Every cue must sound at full volume and the owner's volume must come back.
TEST_F(Cues, CuesFromTwoThreadsKeepTheOwnersVolume) {
    constexpr uint32_t owner = 0x11112222;
    ownerVolume(owner);
    orven::test::clearPlayedSounds();
    constexpr int rounds = 150;
    std::thread reader([] {
        for (int i = 0; i < rounds; ++i) {
            playCue(4, false);
            playCue(5, true);
        }
    });
    for (int i = 0; i < rounds; ++i) {
        playCue(6, true);
        playCue(7, false);
        orven::test::advance(i % 3 == 0 ? 5000 : 300);
    }
    reader.join();
    orven::test::advance(5000);
    EXPECT_EQ(orven::test::outputVolume(), owner);
    EXPECT_EQ(savedVolume.load(), owner);
    EXPECT_FALSE(markerExists());
    const std::vector<PlayedSound> played = orven::test::playedSounds();
    EXPECT_EQ(played.size(), static_cast<size_t>(4 * rounds));
    for (const PlayedSound& sound : played) EXPECT_EQ(sound.volumeAtStart, full) << sound.file;
}

// ---------------------------------------------------------------------------------------
// The output volume itself: the crash marker, and the sound server backends driven
// through stand-in `wpctl` and `pactl` scripts.

class Volume : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ov-vol-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        mkdir((dir_ + "/device").c_str(), 0700);
        mkdir((dir_ + "/bin").c_str(), 0700);
        setenv("ORVEN_DEVICE", (dir_ + "/device").c_str(), 1);
        orven::resetDeviceForTests();
        oldPath_ = getenv("PATH") ? getenv("PATH") : "";
        orven::mixer::resetForTests();
    }
    void TearDown() override {
        setenv("PATH", oldPath_.c_str(), 1);
        orven::mixer::resetForTests();
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    // Only the stand-in scripts are found on PATH; they log their arguments.
    void script(const std::string& name, const std::string& body) {
        const std::string path = dir_ + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> " << dir_ << "/log\n" << body;
        chmod(path.c_str(), 0700);
        setenv("PATH", (dir_ + "/bin").c_str(), 1);
    }
    void serverVolume(const std::string& text) { std::ofstream(dir_ + "/state") << text << "\n"; }
    std::string serverState() const { return readFile(dir_ + "/state"); }
    std::string log() const { return readFile(dir_ + "/log"); }
    bool markerExists() const { return exists(dir_ + "/device/volume.raised"); }

    std::string dir_;
    std::string oldPath_;
};

TEST(VolumeText, ServerOutputsParse) {
    struct Row {
        const char* legend;
        bool pactl;
        const char* output;
        std::optional<uint32_t> volume;
        int channels;
    };
    const Row rows[] = {
        {"wpctl at 40 %", false, "Volume: 0.40\n", 0x66666666, 0},
        {"wpctl muted keeps its level", false, "Volume: 0.40 [MUTED]\n", 0x66666666, 0},
        {"wpctl above 100 % is full", false, "Volume: 1.50\n", full, 0},
        {"wpctl with a decimal comma", false, "Volume: 0,50\n", 0x80008000, 0},
        {"wpctl with no number", false, "Volume: [MUTED]\n", std::nullopt, 0},
        {"wpctl error text", false, "Could not connect to PipeWire\n", std::nullopt, 0},
        {"pactl stereo", true,
         "Volume: front-left: 26214 /  40% / -23.88 dB,   front-right: 39322 /  60% / -13.31 dB\n"
         "        balance 0.20\n",
         0x99996666, 2},
        {"pactl mono", true, "Volume: mono: 65536 / 100% / 0.00 dB\n", full, 1},
        {"pactl above 100 % is full", true,
         "Volume: front-left: 98304 / 150% / 10.57 dB,   front-right: 65536 / 100% / 0.00 dB\n",
         full, 2},
        {"pactl silent", true,
         "Volume: front-left: 0 /   0% / -inf dB,   front-right: 0 /   0% / -inf dB\n", 0u, 2},
        {"pactl with decimal commas in the dB figures", true,
         "Volume: front-left: 32768 /  50% / -18,06 dB,   front-right: 32768 /  50% / -18,06 dB\n",
         0x80008000, 2},
        {"pactl surround: front left and right", true,
         "Volume: front-left: 16384 /  25% / -36.12 dB,   front-right: 49153 /  75% / -7.50 dB,   "
         "rear-left: 0 /   0% / -inf dB,   rear-right: 0 /   0% / -inf dB\n",
         0xC0004000, 4},
        {"pactl error text", true, "Connection failure: Connection refused\n", std::nullopt, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        int channels = 0;
        const auto volume = row.pactl ? orven::mixer::parsePactlVolume(row.output, channels)
                                      : orven::mixer::parseWpctlVolume(row.output);
        EXPECT_EQ(volume, row.volume) << std::hex << volume.value_or(0);
        if (row.pactl && row.volume) {
            EXPECT_EQ(channels, row.channels);
        }
    }
}

TEST(VolumeText, SetCommandsRoundTripThroughTheParsers) {
    for (uint32_t volume : {0x00000000u, 0x66669999u, 0x12345678u, 0xFFFF0000u, full}) {
        SCOPED_TRACE(volume);
        const auto pactl = orven::mixer::pactlSetCommand(volume, 2);
        ASSERT_EQ(pactl.size(), 5u);
        const std::string listed = "Volume: front-left: " + pactl[3] +
                                   " / 0% / 0 dB,   front-right: " + pactl[4] + " / 0% / 0 dB\n";
        int channels = 0;
        EXPECT_EQ(orven::mixer::parsePactlVolume(listed, channels), volume);
    }
    // Other channel layouts and wpctl take one level, the mean of both channels.
    EXPECT_EQ(orven::mixer::pactlSetCommand(0xFFFF0000, 6),
              (std::vector<std::string>{"pactl", "set-sink-volume", "@DEFAULT_SINK@", "32768"}));
    EXPECT_EQ(orven::mixer::wpctlSetCommand(0x66666666),
              (std::vector<std::string>{"wpctl", "set-volume", "@DEFAULT_AUDIO_SINK@", "0.4000"}));
}

// A stand-in pactl keeping the two channels' raw levels in a state file.
const char* const fakePactl =
    "state=${0%/*}/../state\n"
    "case \"$1\" in\n"
    "get-sink-volume) read l r < $state\n"
    "  echo \"Volume: front-left: $l /  40% / -23.88 dB,   front-right: $r /  60% / -13.31 dB\"\n"
    "  echo '        balance 0.20' ;;\n"
    "set-sink-volume) echo \"$3 $4\" > $state ;;\n"
    "*) exit 1 ;;\n"
    "esac\n";

TEST_F(Volume, PulseAudioSinkWhenPactlAnswers) {
    script("pactl", fakePactl);
    serverVolume("26214 39322");
    DWORD volume = 0;
    ASSERT_EQ(waveOutGetVolume(0, &volume), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(orven::mixer::backend(), orven::mixer::Backend::pactl);
    EXPECT_EQ(volume, 0x99996666u);
    EXPECT_EQ(orven::mixer::softwareGain(), full);  // the server applies the volume

    EXPECT_EQ(waveOutSetVolume(0, full), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(serverState(), "65536 65536\n");
    EXPECT_TRUE(markerExists());
    EXPECT_EQ(waveOutSetVolume(0, 0x99996666), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(serverState(), "26214 39322\n");
    EXPECT_FALSE(markerExists());
    EXPECT_FALSE(exists(dir_ + "/device/volume")) << "the emulated volume was written too";
}

TEST_F(Volume, PipeWireIsPreferredWhenBothAnswer) {
    script("pactl", fakePactl);
    serverVolume("26214 39322");
    script("wpctl",
           "case \"$1\" in get-volume) echo 'Volume: 0.25' ;; set-volume) ;; *) exit 1 ;; esac\n");
    DWORD volume = 0;
    waveOutGetVolume(0, &volume);
    EXPECT_EQ(orven::mixer::backend(), orven::mixer::Backend::wpctl);
    EXPECT_EQ(volume, 0x40004000u);
    waveOutSetVolume(0, 0x80008000);
    EXPECT_NE(log().find("set-volume @DEFAULT_AUDIO_SINK@ 0.5000"), std::string::npos) << log();
    EXPECT_EQ(log().find("set-sink-volume"), std::string::npos) << log();
}

TEST_F(Volume, EmulatedVolumeWhenNoServerAnswersInTime) {
    struct Row {
        const char* legend;
        const char* wpctl;  // script body, or null for no wpctl at all
    };
    const Row rows[] = {
        {"no server tools installed", nullptr},
        {"the server refuses", "echo 'Could not connect to PipeWire'; exit 1\n"},
        {"the server hangs", "exec /bin/sleep 30\n"},
        {"the server talks nonsense", "echo 'Volume: loud'\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        orven::mixer::resetForTests();
        orven::mixer::setCommandTimeoutForTests(200);
        std::system(("/bin/rm -f '" + dir_ + "'/bin/*").c_str());
        setenv("PATH", (dir_ + "/bin").c_str(), 1);
        if (row.wpctl) script("wpctl", row.wpctl);
        orven::test::setOutputVolume(0x30003000);
        DWORD volume = 0;
        EXPECT_EQ(waveOutGetVolume(0, &volume), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        EXPECT_EQ(orven::mixer::backend(), orven::mixer::Backend::emulated);
        EXPECT_EQ(volume, 0x30003000u);
        EXPECT_EQ(orven::mixer::softwareGain(), 0x30003000u);  // the player scales the samples
    }
}

TEST_F(Volume, ServerThatStopsAnsweringIsDropped) {
    script("wpctl",
           "case \"$1\" in get-volume) echo 'Volume: 0.40' ;; set-volume) exec /bin/sleep 30 ;; "
           "esac\n");
    orven::mixer::setCommandTimeoutForTests(200);
    DWORD volume = 0;
    waveOutGetVolume(0, &volume);
    ASSERT_EQ(orven::mixer::backend(), orven::mixer::Backend::wpctl);
    waveOutSetVolume(0, full);
    EXPECT_EQ(orven::mixer::backend(), orven::mixer::Backend::emulated);
    waveOutGetVolume(0, &volume);
    EXPECT_EQ(volume, full);
}

// A process that raised the volume and died: the next start puts the owner's back, but
// not while the process that raised it still runs.
TEST_F(Volume, RaisedVolumeIsPutBackAfterACrash) {
    orven::mixer::forceEmulated();
    orven::test::setOutputVolume(0x40004000);
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(go[1]);
        waveOutSetVolume(0, full);  // a cue's raise; the process dies before the restore
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) < 0) _exit(1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_TRUE(markerExists());

    orven::restoreVolumeAfterCrash();  // the raising process still runs
    EXPECT_EQ(orven::test::outputVolume(), full);
    EXPECT_TRUE(markerExists());

    close(go[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    orven::restoreVolumeAfterCrash();
    EXPECT_EQ(orven::test::outputVolume(), 0x40004000u);
    EXPECT_FALSE(markerExists());

    orven::restoreVolumeAfterCrash();  // nothing left to do
    EXPECT_EQ(orven::test::outputVolume(), 0x40004000u);
    for (int fd : {ready[0], ready[1], go[0]}) close(fd);
}

TEST_F(Volume, OwnMarkerIsNotACrash) {
    orven::mixer::forceEmulated();
    orven::test::setOutputVolume(0x40004000);
    waveOutSetVolume(0, full);
    orven::restoreVolumeAfterCrash();
    EXPECT_EQ(orven::test::outputVolume(), full);
    waveOutSetVolume(0, 0x40004000);
    EXPECT_FALSE(markerExists());
}

// ---------------------------------------------------------------------------------------
// Real playback through SDL, with no sound card: the dummy driver plays in real time,
// the disk driver writes the samples to a file.

class Playback : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ov-play-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("ORVEN_DEVICE", dir_.c_str(), 1);
        orven::resetDeviceForTests();
        orven::mixer::resetForTests();
        orven::mixer::forceEmulated();
        orven::test::setOutputVolume(full);
        driver("dummy");
    }
    void TearDown() override {
        orven::test::playSounds();  // closes the device
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    void driver(const char* name) {
        setenv("SDL_AUDIODRIVER", name, 1);
        orven::test::playSounds();
    }
    std::u16string wave(const std::string& name, int ms, double amplitude = 0.5) {
        writeWave(dir_ + "/" + name, ms, amplitude);
        return orven::phonePath(dir_ + "/" + name);
    }
    static int64_t millisecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    std::string dir_;
};

TEST_F(Playback, SynchronousPlayWaitsForTheSoundsEnd) {
    const std::u16string file = wave("short.wav", 300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT));
    const int64_t elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 300 + 10000) << "the wait did not end";
}

TEST_F(Playback, AsynchronousPlayReturnsAndAStopCutsAWait) {
    const std::u16string longFile = wave("long.wav", 3000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PlaySoundW(longFile.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC));
    EXPECT_LT(millisecondsSince(start), 3000);

    // A synchronous play on another thread ends as soon as a stop replaces its sound.
    std::atomic<bool> done{false};
    std::atomic<int64_t> waited{0};
    std::thread player([&] {
        const auto begin = std::chrono::steady_clock::now();
        PlaySoundW(longFile.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT);
        waited = millisecondsSince(begin);
        done = true;
    });
    start = std::chrono::steady_clock::now();
    while (!done && millisecondsSince(start) < 10000) {
        PlaySoundW(nullptr, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    player.join();
    EXPECT_LT(waited.load(), 3000);
}

TEST_F(Playback, OnlyWaveFilesPlay) {
    std::ofstream(dir_ + "/text.wav") << "not a wave";
    struct Row {
        const char* legend;
        std::u16string file;
        BOOL result;
    };
    const Row rows[] = {
        {"a wave file", wave("ok.wav", 50), TRUE},
        {"a missing file", orven::phonePath(dir_ + "/none.wav"), FALSE},
        {"a file that is not a wave", orven::phonePath(dir_ + "/text.wav"), FALSE},
    };
    for (const char* name : {"dummy", "no-such-driver"}) {
        driver(name);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.legend) + " with the audio driver " + name);
            EXPECT_EQ(PlaySoundW(row.file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT),
                      row.result);
        }
    }
}

// With no sound server the emulated volume scales the samples, channel by channel.
TEST_F(Playback, EmulatedVolumeScalesTheSamples) {
    const std::string output = dir_ + "/out.raw";
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    driver("disk");
    orven::test::setOutputVolume(0xC0004000);  // left 25 %, right 75 %
    const std::u16string file = wave("sine.wav", 200, 1.0);
    ASSERT_TRUE(PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT));
    orven::test::playSounds();  // closing the device flushes the file
    const std::string raw = readFile(output);
    ASSERT_GE(raw.size(), 4u * 44100 / 10);  // at least 100 ms of 16-bit stereo
    int peak[2] = {0, 0};
    for (size_t i = 0; i + 4 <= raw.size(); i += 4)
        for (int channel = 0; channel < 2; ++channel) {
            int16_t sample;
            std::memcpy(&sample, &raw[i + 2 * channel], 2);
            peak[channel] = std::max(peak[channel], std::abs(static_cast<int>(sample)));
        }
    const double fullScale = 127 * 256;  // an 8-bit peak in 16 bits
    EXPECT_NEAR(peak[0] / fullScale, 0.25, 0.02);
    EXPECT_NEAR(peak[1] / fullScale, 0.75, 0.03);
}

int threadCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator()));
}

bool traced(const std::string& text) {
    for (const std::string& line : orven::test::traceLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// Once the sounds are over the device closes by itself, SDL's audio thread ends (the
// player's closing thread stays) and SDL is unloaded; the next play loads and opens everything again and is heard in full.
TEST_F(Playback, TheDeviceClosesAfterTheLastSoundAndOpensAgainForTheNext) {
    const std::u16string file = wave("short.wav", 100);
    orven::test::clearTrace();
    const int before = threadCount();
    ASSERT_TRUE(PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC));
    const int playing = threadCount();
    EXPECT_GT(playing, before) << "no device was opened";
    for (int i = 0; i < 200 && !traced("SDL unloaded"); ++i)  // the closing comes after 3 s
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(traced("sound: device closed"));
    EXPECT_TRUE(traced("SDL unloaded"));
    EXPECT_LT(threadCount(), playing) << "SDL's audio thread is still running";

    const std::u16string second = wave("second.wav", 300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PlaySoundW(second.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT));
    EXPECT_GE(millisecondsSince(start), 300) << "the second sound was not played";
}

// Without a usable device the program says so once on stderr, whatever the driver
// prints of its own, and every cue is still traced. Each driver in a child process, for
// its stderr.
TEST_F(Playback, NoSoundDeviceIsOneLineOnStderr) {
    const std::u16string file = wave("cue.wav", 50);
    for (const char* name : {"no-such-driver", "alsa"}) {
        SCOPED_TRACE(std::string("audio driver ") + name);
        int output[2];
        ASSERT_EQ(pipe(output), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(output[1], 2);
            close(output[0]);
            driver(name);
            orven::test::clearTrace();
            int played = 0;
            for (int i = 0; i < 3; ++i)
                played += PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT);
            int tracedPlays = 0;
            for (const std::string& line : orven::test::traceLines())
                tracedPlays += line.find("PlaySound file=") != std::string::npos;
            const bool opened = !traced("sound: no audio");
            _exit(opened ? 2 : played == 3 && tracedPlays == 3 ? 0 : 1);
        }
        close(output[1]);
        std::string said;
        char buffer[512];
        for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;)
            said.append(buffer, static_cast<size_t>(n));
        close(output[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2) continue;  // this machine has a device for the driver
        EXPECT_EQ(WEXITSTATUS(status), 0) << "a play failed or was not traced";
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(said.rfind("orven: no sound device (", 0), 0u) << said;
        EXPECT_NE(said.find("); cues are silent\n"), std::string::npos) << said;
    }
}

}  // namespace
