// The device's output volume behind waveOutGetVolume and waveOutSetVolume. Never
// included by the program.
//
// Backends, chosen once per run: PipeWire's `wpctl` or PulseAudio's `pactl` on the
// default sink when one of them answers within a short time-out; else an emulated
// volume kept in the device directory ("volume"), which the player applies to the
// samples itself. A sound server that stops answering in time is dropped for the rest
// of the run in favour of the emulated volume, so a hung server never stalls a cue.
//
// Crash safety: the first change of the volume writes the owner's volume and this
// process's id to "volume.raised" in the device directory; setting that volume back
// removes the file. restoreVolumeAfterCrash (sound.h) undoes the change of a process
// that died in between.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orven::mixer {

// Volumes are the phone's: low word left channel, high word right, 0xFFFF full.
constexpr uint32_t fullVolume = 0xFFFFFFFF;

bool getVolume(uint32_t& volume);
// Changes the volume, keeping the crash marker up to date.
bool setVolume(uint32_t volume);
// Changes the volume as the owner would (no crash marker): the tests' setOutputVolume.
void setOwnerVolume(uint32_t volume);
// The gain the player applies to the samples itself: the emulated volume, or full
// when the sound server applies the volume.
uint32_t softwareGain();
// Uses the emulated volume from now on (sound capture in tests).
void forceEmulated();
// Undoes the volume change of a process that died before putting it back.
void restoreAfterCrash();

// ---- The command backends' text, exposed for tests.
// "Volume: 0.40" or "Volume: 0.40 [MUTED]" -> 0x66666666.
std::optional<uint32_t> parseWpctlVolume(std::string_view output);
// "Volume: front-left: 26214 /  40% / -23.88 dB,   front-right: 32768 / ..." ->
// 0x7FFF6666; `channels` receives the number of channels listed.
std::optional<uint32_t> parsePactlVolume(std::string_view output, int& channels);
std::vector<std::string> wpctlSetCommand(uint32_t volume);
std::vector<std::string> pactlSetCommand(uint32_t volume, int channels);

// ---- Test controls.
enum class Backend { unknown, wpctl, pactl, emulated };
Backend backend();
// Forgets the chosen backend and the marker state, so the next call detects again.
void resetForTests();
void setCommandTimeoutForTests(int milliseconds);

}  // namespace orven::mixer
