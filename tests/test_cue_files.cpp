// The committed cue sets (resources/sounds/tones and resources/sounds/spoken) and the set
// copied beside the executable: every cue the program plays is a well-formed wave file of
// a sensible length in each set, the sets are what their scripts write, and the cues
// beside the program play through the platform's sound path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/program.h"
#include "common/sound_cues.h"
#include "platform/files.h"
#include "platform/testing.h"
#include "platform/windows.h"

namespace {

namespace fs = std::filesystem;

const int programCues[] = {
    startupCue, scanCue, connectCue, receiverFoundCue,   awaitingPositionCue, positionFoundCue,
    sendingCue, sentCue, alarmCue,   procedureBeginsCue, closingCue};

const std::string committedSounds = std::string(ORVEN_SOURCE_DIR) + "/resources/sounds/";

std::string programFolder() {
    const std::string binary = ORVEN_BINARY;
    return binary.substr(0, binary.rfind('/') + 1);
}

std::string cueFile(int n) {
    return std::to_string(n) + ".wav";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

uint32_t littleEndian(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// A PCM wave file as a strict reader sees it.
struct Wave {
    std::string problem;  // empty when the file is well formed
    uint32_t channels = 0, bits = 0, rate = 0;
    std::string data;

    uint32_t frames() const { return static_cast<uint32_t>(data.size() / (channels * bits / 8)); }
    // Rounded up, as the player counts a sound's length.
    uint32_t lengthMs() const {
        return static_cast<uint32_t>((uint64_t{frames()} * 1000 + rate - 1) / rate);
    }
    // The loudest sample, 1.0 being full scale (8-bit samples are unsigned, 16-bit signed).
    double peak() const {
        int loudest = 0;
        for (size_t i = 0; i + bits / 8 <= data.size(); i += bits / 8) {
            const int sample = bits == 8 ? static_cast<uint8_t>(data[i]) - 128
                                         : static_cast<int16_t>(littleEndian(data, i, 2));
            loudest = std::max(loudest, std::abs(sample));
        }
        return loudest / (bits == 8 ? 128.0 : 32768.0);
    }
};

// "RIFF" <size> "WAVE", then chunks, each padded to an even size: a PCM "fmt " whose byte
// rate and block size agree with its channels and sample size, and a "data" chunk of whole
// frames. The RIFF size must be the file's less 8, so a cut or padded file is caught.
Wave parseWave(const std::string& bytes) {
    Wave wave;
    auto fail = [&wave](const char* why) {
        wave.problem = why;
        return wave;
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return fail("no RIFF/WAVE header");
    if (littleEndian(bytes, 4, 4) != bytes.size() - 8)
        return fail("the RIFF size is not the file's");
    bool formatSeen = false, dataSeen = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const uint32_t size = littleEndian(bytes, at + 4, 4);
        if (size > bytes.size() - at - 8) return fail("a chunk runs past the end of the file");
        if (id == "fmt ") {
            if (size < 16 || littleEndian(bytes, at + 8, 2) != 1) return fail("not PCM");
            wave.channels = littleEndian(bytes, at + 10, 2);
            wave.rate = littleEndian(bytes, at + 12, 4);
            const uint32_t byteRate = littleEndian(bytes, at + 16, 4);
            const uint32_t blockSize = littleEndian(bytes, at + 20, 2);
            wave.bits = littleEndian(bytes, at + 22, 2);
            if (wave.channels == 0 || wave.rate == 0 || (wave.bits != 8 && wave.bits != 16))
                return fail("not 8 or 16-bit samples");
            if (blockSize != wave.channels * wave.bits / 8 || byteRate != wave.rate * blockSize)
                return fail("the byte rate or block size disagrees with the format");
            formatSeen = true;
        } else if (id == "data") {
            if (!formatSeen) return fail("data before the format");
            wave.data = bytes.substr(at + 8, size);
            if (size % (wave.channels * wave.bits / 8) != 0) return fail("a frame is cut");
            dataSeen = true;
        }
        at += 8 + size + (size & 1);
    }
    if (!dataSeen) return fail("no data chunk");
    return wave;
}

// Each set holds every cue the program plays, short and distinct; the alarm is the
// loudest cue and the tick while a position is awaited the shortest.
TEST(CueFiles, EverySetHasAWellFormedDistinctWaveForEveryCue) {
    struct Set {
        const char* name;
        uint32_t longestMs;  // a synchronous cue holds the GUI thread this long
    };
    for (const Set set : {Set{"tones", 2000}, Set{"spoken", 3000}}) {
        std::set<std::string> contents;
        int loudestCue = 0, shortestCue = 0;
        double loudest = 0;
        uint32_t shortest = UINT32_MAX;
        for (int n : programCues) {
            SCOPED_TRACE(std::string(set.name) + " cue " + std::to_string(n));
            const std::string bytes = readFile(committedSounds + set.name + "/" + cueFile(n));
            ASSERT_FALSE(bytes.empty()) << "missing";
            EXPECT_LT(bytes.size(), 100000u);
            EXPECT_TRUE(contents.insert(bytes).second) << "the same sound as another cue";
            const Wave wave = parseWave(bytes);
            ASSERT_EQ(wave.problem, "");
            EXPECT_EQ(wave.channels, 1u);
            EXPECT_LE(wave.rate, 22050u);
            EXPECT_GE(wave.lengthMs(), 50u);
            EXPECT_LE(wave.lengthMs(), set.longestMs);
            if (wave.peak() > loudest) loudest = wave.peak(), loudestCue = n;
            if (wave.lengthMs() < shortest) shortest = wave.lengthMs(), shortestCue = n;
        }
        SCOPED_TRACE(set.name);
        EXPECT_EQ(loudestCue, alarmCue);
        EXPECT_GE(loudest, 0.9);
        EXPECT_EQ(shortestCue, awaitingPositionCue);
        EXPECT_LE(shortest, 200u);
    }
}

// A spoken cue is its tones and then a phrase; the tick and the alarm have no phrase.
TEST(CueFiles, SpokenCuesAreTheTonesAndAPhrase) {
    for (int n : programCues) {
        SCOPED_TRACE("cue " + std::to_string(n));
        const std::string tones = readFile(committedSounds + "tones/" + cueFile(n));
        const std::string spoken = readFile(committedSounds + "spoken/" + cueFile(n));
        if (n == awaitingPositionCue || n == alarmCue) {
            EXPECT_EQ(spoken, tones);
            continue;
        }
        const uint32_t phraseMs = parseWave(spoken).lengthMs() - parseWave(tones).lengthMs();
        EXPECT_GE(phraseMs, 400u) << "no phrase after the tones";
    }
}

// The build puts the chosen set beside the program, and the cues there play through the
// platform: each synchronous cue keeps the GUI thread for its length as read from the file.
TEST(CueFiles, EveryCueBesideTheProgramPlaysForItsLength) {
    orven::test::Phone phone;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread is the GUI thread
    const std::u16string folder = orven::phonePath(programFolder());
    std::copy(folder.begin(), folder.end() + 1, appFolder);
    std::vector<int> cues(std::begin(programCues), std::end(programCues));
    cues.push_back(startupCue);  // its start ends the one before
    for (int n : cues) EXPECT_TRUE(playCue(n, false)) << "cue " << n;
    const std::vector<orven::test::PlayedSound> played = orven::test::playedSounds();
    ASSERT_EQ(played.size(), cues.size());
    for (size_t i = 0; i + 1 < cues.size(); ++i) {
        SCOPED_TRACE("cue " + std::to_string(cues[i]));
        const std::string beside = programFolder() + "sounds/" + cueFile(cues[i]);
        EXPECT_EQ(played[i].file, beside);
        EXPECT_EQ(readFile(beside), readFile(committedSounds + ORVEN_CUES + "/" + cueFile(cues[i])))
            << "not the chosen set";
        EXPECT_EQ(played[i].volumeAtStart, 0xFFFFFFFFu);
        EXPECT_EQ(played[i + 1].atMs - played[i].atMs, parseWave(readFile(beside)).lengthMs());
    }
}

// Both sets are reproducible: their scripts, run again, write the same bytes, and the
// folders hold nothing else. Needs python3, espeak-ng and sox (tools/install-deps).
TEST(CueFiles, TheCommittedSetsAreWhatTheirScriptsWrite) {
    for (const char* tool : {"python3", "espeak-ng", "sox"})
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
            GTEST_SKIP() << tool << " is not installed";
    char pattern[] = "/tmp/ov-cues-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string make = "python3 '" + committedSounds + "make_sounds.py' '" + dir +
                             "/tones' && '" + committedSounds + "make_spoken.sh' '" + dir +
                             "/spoken'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    for (const char* set : {"tones", "spoken"}) {
        std::set<std::string> committed, written;
        for (const auto& entry : fs::directory_iterator(committedSounds + set))
            committed.insert(entry.path().filename());
        for (const auto& entry : fs::directory_iterator(dir + "/" + set))
            written.insert(entry.path().filename());
        EXPECT_EQ(committed, written) << set;
        for (const std::string& name : written) {
            SCOPED_TRACE(std::string(set) + "/" + name);
            EXPECT_EQ(readFile(committedSounds + set + "/" + name),
                      readFile(dir + "/" + set + "/" + name));
        }
    }
    fs::remove_all(dir);
}

}  // namespace
