// The device's output volume: the sound server's default sink through `wpctl` or
// `pactl`, or an emulated volume in the device directory, with the crash marker that
// lets the next start put back a volume this process raised and never restored.
//
// Relies on: device.cpp (deviceDirectory), trace.cpp (trace).

#include "platform/mixer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/device.h"
#include "platform/internal.h"
#include "platform/sound.h"
#include "platform/testing.h"

extern char** environ;

namespace orven::mixer {
namespace {

constexpr double paNormalVolume = 65536.0;  // PulseAudio's 100 %
constexpr double fullWord = 65535.0;        // the phone's 100 % per channel
const char* const wpctlSink = "@DEFAULT_AUDIO_SINK@";
const char* const pactlSink = "@DEFAULT_SINK@";

// Everything below is guarded by `mixerMutex`; any thread may change the volume.
std::mutex mixerMutex;
Backend chosen = Backend::unknown;
int pactlChannels = 2;        // channels of the default sink, as pactl last listed them
bool markerOwned = false;     // this process wrote the crash marker
uint32_t markerVolume = 0;    // the owner's volume recorded in it
int commandTimeoutMs = 1000;  // a sound server slower than this is taken for hung

// ---- Running the sound server's command-line tools with a time-out.

enum class Outcome { ok, failed, timedOut };

struct CommandResult {
    Outcome outcome = Outcome::failed;
    std::string output;  // standard output
};

// The child's environment: ours with LC_ALL=C, so numbers come with a decimal point.
std::vector<char*> childEnvironment(std::vector<std::string>& storage) {
    for (char** e = environ; e && *e; ++e)
        if (std::string_view(*e).substr(0, 7) != "LC_ALL=") storage.emplace_back(*e);
    storage.emplace_back("LC_ALL=C");
    std::vector<char*> env;
    for (auto& s : storage) env.push_back(s.data());
    env.push_back(nullptr);
    return env;
}

bool readUntil(int fd, std::string& output, std::chrono::steady_clock::time_point deadline) {
    char buffer[512];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;  // end of output (or an error: the child's status decides)
        output.append(buffer, static_cast<size_t>(n));
    }
}

CommandResult runCommand(std::vector<std::string> args) {
    CommandResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStorage;
    std::vector<char*> env = childEnvironment(envStorage);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {  // not installed
        close(pipeFds[0]);
        return result;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(commandTimeoutMs);
    const bool finished = readUntil(pipeFds[0], result.output, deadline);
    close(pipeFds[0]);
    if (!finished) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!finished)
        result.outcome = Outcome::timedOut;
    else if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        result.outcome = Outcome::ok;
    return result;
}

// ---- Conversions between the phone's words and the servers' numbers.

uint16_t wordFromFraction(double fraction) {
    return static_cast<uint16_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * fullWord));
}

uint32_t volumeFromWords(uint16_t left, uint16_t right) {
    return static_cast<uint32_t>(left) | (static_cast<uint32_t>(right) << 16);
}

double leftFraction(uint32_t volume) {
    return (volume & 0xFFFF) / fullWord;
}
double rightFraction(uint32_t volume) {
    return (volume >> 16) / fullWord;
}

std::string pactlRaw(double fraction) {
    return std::to_string(std::lround(fraction * paNormalVolume));
}

// ---- The emulated volume and the crash marker, files in the device directory.

std::string devicePath(const char* name) {
    return deviceDirectory() + "/" + name;
}

bool writeFileAtomically(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written =
        write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    const bool synced = fsync(fd) == 0;
    close(fd);
    if (!written || !synced || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string hexVolume(uint32_t volume) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", volume);
    return text;
}

std::optional<uint32_t> parseHexVolume(const std::string& text) {
    if (text.size() < 3 || text.compare(0, 2, "0x") != 0) return std::nullopt;
    uint32_t volume = 0;
    const auto [end, error] =
        std::from_chars(text.data() + 2, text.data() + text.size(), volume, 16);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return volume;
}

// A device that never had its volume set plays at full volume.
uint32_t readEmulated() {
    std::ifstream in(devicePath("volume"));
    std::string text;
    in >> text;
    return parseHexVolume(text).value_or(fullVolume);
}

bool writeEmulated(uint32_t volume) {
    return writeFileAtomically(devicePath("volume"), hexVolume(volume) + "\n");
}

struct Marker {
    pid_t pid = 0;
    uint32_t volume = 0;
};

// "volume.raised": "<process id> 0x<owner's volume>".
std::optional<Marker> readMarker() {
    std::ifstream in(devicePath("volume.raised"));
    long pid = 0;
    std::string volume;
    if (!(in >> pid >> volume) || pid <= 0) return std::nullopt;
    const auto parsed = parseHexVolume(volume);
    if (!parsed) return std::nullopt;
    return Marker{static_cast<pid_t>(pid), *parsed};
}

void writeMarker(uint32_t ownerVolume) {
    writeFileAtomically(devicePath("volume.raised"),
                        std::to_string(getpid()) + " " + hexVolume(ownerVolume) + "\n");
    markerOwned = true;
    markerVolume = ownerVolume;
}

// A process id can be reused after a reboot; a marker that outlives its process that way
// is only put back at a later start.
bool processAlive(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// ---- The backends.

void fallBackToEmulated(const char* why) {
    internal::trace("volume: sound server %s; using the emulated volume", why);
    chosen = Backend::emulated;
}

Backend detect() {
    const CommandResult wpctl = runCommand({"wpctl", "get-volume", wpctlSink});
    if (wpctl.outcome == Outcome::ok && parseWpctlVolume(wpctl.output)) return Backend::wpctl;
    if (wpctl.outcome == Outcome::timedOut) return Backend::emulated;  // the server hangs
    const CommandResult pactl = runCommand({"pactl", "get-sink-volume", pactlSink});
    if (pactl.outcome == Outcome::ok && parsePactlVolume(pactl.output, pactlChannels))
        return Backend::pactl;
    return Backend::emulated;
}

void ensureBackend() {
    if (chosen == Backend::unknown) chosen = detect();
}

bool backendGet(uint32_t& volume) {
    ensureBackend();
    if (chosen == Backend::emulated) {
        volume = readEmulated();
        return true;
    }
    const bool wpctl = chosen == Backend::wpctl;
    const CommandResult result = wpctl ? runCommand({"wpctl", "get-volume", wpctlSink})
                                       : runCommand({"pactl", "get-sink-volume", pactlSink});
    if (result.outcome == Outcome::timedOut) {
        fallBackToEmulated("did not answer");
        volume = readEmulated();
        return true;
    }
    if (result.outcome != Outcome::ok) return false;
    const auto parsed =
        wpctl ? parseWpctlVolume(result.output) : parsePactlVolume(result.output, pactlChannels);
    if (!parsed) return false;
    volume = *parsed;
    return true;
}

bool backendSet(uint32_t volume) {
    ensureBackend();
    if (chosen == Backend::emulated) return writeEmulated(volume);
    const CommandResult result = chosen == Backend::wpctl
                                     ? runCommand(wpctlSetCommand(volume))
                                     : runCommand(pactlSetCommand(volume, pactlChannels));
    if (result.outcome == Outcome::timedOut) {
        fallBackToEmulated("did not answer");
        return writeEmulated(volume);
    }
    return result.outcome == Outcome::ok;
}

// Before the first change: record the owner's volume, unless another running process
// already did (it raised the volume we see, and it will put the owner's back). A marker
// left by a dead process already holds the owner's volume; this process takes it over.
void claimMarker(uint32_t current) {
    const auto marker = readMarker();
    if (!marker) return writeMarker(current);
    if (marker->pid == getpid() || !processAlive(marker->pid)) return writeMarker(marker->volume);
}

}  // namespace

bool getVolume(uint32_t& volume) {
    std::lock_guard lock(mixerMutex);
    return backendGet(volume);
}

bool setVolume(uint32_t volume) {
    std::lock_guard lock(mixerMutex);
    if (!markerOwned) {
        uint32_t current = 0;
        if (backendGet(current)) {
            if (current == volume) return true;
            claimMarker(current);
        }
    }
    const bool ok = backendSet(volume);
    if (ok && markerOwned && volume == markerVolume) {
        unlink(devicePath("volume.raised").c_str());
        markerOwned = false;
    }
    return ok;
}

void setOwnerVolume(uint32_t volume) {
    std::lock_guard lock(mixerMutex);
    backendSet(volume);
}

uint32_t softwareGain() {
    std::lock_guard lock(mixerMutex);
    ensureBackend();
    return chosen == Backend::emulated ? readEmulated() : fullVolume;
}

void forceEmulated() {
    std::lock_guard lock(mixerMutex);
    chosen = Backend::emulated;
}

void restoreAfterCrash() {
    std::lock_guard lock(mixerMutex);
    const auto marker = readMarker();
    if (!marker || marker->pid == getpid() || processAlive(marker->pid)) return;
    internal::trace("volume: put back 0x%08X after an unfinished cue", marker->volume);
    if (backendSet(marker->volume)) unlink(devicePath("volume.raised").c_str());
    markerOwned = false;
}

std::optional<uint32_t> parseWpctlVolume(std::string_view output) {
    const size_t at = output.find("Volume:");
    if (at == std::string_view::npos) return std::nullopt;
    std::string number;
    size_t i = at + 7;
    while (i < output.size() && output[i] == ' ') ++i;
    for (; i < output.size() && (std::isdigit(static_cast<unsigned char>(output[i])) ||
                                 output[i] == '.' || output[i] == ',');
         ++i)
        number += output[i] == ',' ? '.' : output[i];
    double fraction = 0;
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), fraction);
    if (number.empty() || error != std::errc{} || end != number.data() + number.size())
        return std::nullopt;
    const uint16_t word = wordFromFraction(fraction);
    return volumeFromWords(word, word);
}

std::optional<uint32_t> parsePactlVolume(std::string_view output, int& channels) {
    const size_t at = output.find("Volume:");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view line = output.substr(at + 7);
    line = line.substr(0, line.find('\n'));
    // One "<channel>: <raw> / <percent> / <dB>" per channel, separated by commas; a
    // comma inside a number (some locales) leaves a piece without a colon.
    std::vector<long> raws;
    for (size_t start = 0; start <= line.size();) {
        size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) comma = line.size();
        std::string_view piece = line.substr(start, comma - start);
        start = comma + 1;
        const size_t colon = piece.find(':');
        if (colon == std::string_view::npos) continue;
        piece.remove_prefix(colon + 1);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        long raw = -1;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), raw);
        std::string_view rest(end, static_cast<size_t>(piece.data() + piece.size() - end));
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        if (error != std::errc{} || raw < 0 || rest.empty() || rest.front() != '/') continue;
        raws.push_back(raw);
    }
    if (raws.empty()) return std::nullopt;
    channels = static_cast<int>(raws.size());
    const uint16_t left = wordFromFraction(raws[0] / paNormalVolume);
    const uint16_t right = wordFromFraction(raws[raws.size() > 1 ? 1 : 0] / paNormalVolume);
    return volumeFromWords(left, right);
}

std::vector<std::string> wpctlSetCommand(uint32_t volume) {
    char level[16];
    std::snprintf(level, sizeof level, "%.4f", (leftFraction(volume) + rightFraction(volume)) / 2);
    return {"wpctl", "set-volume", wpctlSink, level};
}

std::vector<std::string> pactlSetCommand(uint32_t volume, int channels) {
    if (channels == 2)
        return {"pactl", "set-sink-volume", pactlSink, pactlRaw(leftFraction(volume)),
                pactlRaw(rightFraction(volume))};
    // Other layouts get one level for every channel.
    return {"pactl", "set-sink-volume", pactlSink,
            pactlRaw((leftFraction(volume) + rightFraction(volume)) / 2)};
}

Backend backend() {
    std::lock_guard lock(mixerMutex);
    return chosen;
}

void resetForTests() {
    std::lock_guard lock(mixerMutex);
    chosen = Backend::unknown;
    markerOwned = false;
    markerVolume = 0;
    commandTimeoutMs = 1000;
}

void setCommandTimeoutForTests(int milliseconds) {
    std::lock_guard lock(mixerMutex);
    commandTimeoutMs = milliseconds;
}

}  // namespace orven::mixer

// ---- waveOutGetVolume: the output volume of device 0, the only one.
MMRESULT waveOutGetVolume(HWAVEOUT, LPDWORD volume) {
    if (!volume) return MMSYSERR_ERROR;
    uint32_t value = 0;
    if (!orven::mixer::getVolume(value)) return MMSYSERR_ERROR;
    *volume = value;
    return MMSYSERR_NOERROR;
}

// ---- waveOutSetVolume
MMRESULT waveOutSetVolume(HWAVEOUT, DWORD volume) {
    const bool ok = orven::mixer::setVolume(volume);
    orven::internal::trace("waveOutSetVolume volume=0x%08X", volume);
    return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

void orven::restoreVolumeAfterCrash() {
    mixer::restoreAfterCrash();
}

namespace orven::test {

uint32_t outputVolume() {
    uint32_t volume = 0;
    mixer::getVolume(volume);
    return volume;
}

void setOutputVolume(uint32_t volume) {
    mixer::setOwnerVolume(volume);
}

}  // namespace orven::test
