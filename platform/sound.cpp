// Sound: PlaySoundW of wave files through SDL2 audio, one sound at a time as on the
// phone, and the sound capture of the tests.
//
// The audio device is opened by the first play after a quiet spell, from whichever
// thread plays, and closed again (with SDL's audio subsystem, so that none of its
// threads is left running) once nothing has played for a few seconds: an idle program
// then has no audio thread that wakes it. A headless program then unloads SDL as well
// (sdl_dynamic.cpp), which would otherwise hold about half its resident memory. The closing is done by a thread of the player
// that waits, without a time-out, while no device is open. No device (no sound card, no
// sound server) is not an error: the program says so once on stderr, sounds are then
// silent (still traced), and the device is tried again by the first play a minute
// later. A synchronous play returns when the sound has left the loudspeaker: "queue
// empty" only means that SDL handed the last samples to the device, whose own buffer
// still has to play out.
//
// Relies on: files.cpp (linuxPath), mixer.cpp (the volume the samples are scaled by),
// clock.cpp (virtual time under capture), sdl_dynamic.cpp (unloadSdl), trace.cpp.

#include "platform/sound.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/internal.h"
#include "platform/mixer.h"
#include "platform/testing.h"
#include "platform/transcript.h"

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr int deviceRate = 44100;
constexpr Uint16 deviceFrames = 1024;  // frames per device buffer: 23 ms at 44.1 kHz
constexpr auto retryInterval = 60s;    // how often an absent device is looked for again
constexpr auto drainMargin = 20ms;     // slack for the device's own scheduling
constexpr auto stuckGuard = 2s;        // a device that stopped consuming releases a wait
constexpr std::chrono::milliseconds closeDelayMs = 3s;  // an open device outlives its last sound
constexpr auto queuePollMin = 5ms, queuePollMax = 100ms;

// Held (shared) by SDL calls made outside the player's lock, so that the player does not
// unload SDL under them.
std::shared_mutex sdlCalls;

struct Wave {
    SDL_AudioSpec layout{};
    std::vector<Uint8> data;
    uint32_t lengthMs = 0;
};

std::optional<Wave> loadWave(const std::string& path) {
    std::shared_lock calling(sdlCalls);
    SDL_AudioSpec layout{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(path.c_str(), &layout, &buffer, &length)) return std::nullopt;
    Wave wave;
    wave.layout = layout;
    wave.data.assign(buffer, buffer + length);
    SDL_FreeWAV(buffer);
    const uint64_t frameBytes =
        static_cast<uint64_t>(SDL_AUDIO_BITSIZE(layout.format) / 8) * layout.channels;
    if (frameBytes == 0 || layout.freq <= 0) return std::nullopt;
    const uint64_t frames = length / frameBytes;
    wave.lengthMs = static_cast<uint32_t>((frames * 1000 + static_cast<uint64_t>(layout.freq) - 1) /
                                          static_cast<uint64_t>(layout.freq));
    return wave;
}

// The wave in the device's format (signed 16-bit stereo at the device's rate).
std::vector<Uint8> convert(const Wave& wave, const SDL_AudioSpec& to) {
    SDL_AudioCVT cvt;
    const int needed = SDL_BuildAudioCVT(&cvt, wave.layout.format, wave.layout.channels,
                                         wave.layout.freq, to.format, to.channels, to.freq);
    if (needed < 0) return {};
    std::vector<Uint8> buffer(wave.data.size() * static_cast<size_t>(std::max(cvt.len_mult, 1)));
    std::copy(wave.data.begin(), wave.data.end(), buffer.begin());
    cvt.buf = buffer.data();
    cvt.len = static_cast<int>(wave.data.size());
    cvt.len_cvt = cvt.len;
    if (needed > 0 && SDL_ConvertAudio(&cvt) != 0) return {};
    buffer.resize(static_cast<size_t>(cvt.len_cvt));
    return buffer;
}

// Scales 16-bit stereo samples by the phone's volume (low word left, high word right).
void applyVolume(std::vector<Uint8>& pcm, uint32_t volume) {
    if (volume == orven::mixer::fullVolume) return;
    const double gain[2] = {(volume & 0xFFFF) / 65535.0, (volume >> 16) / 65535.0};
    for (size_t i = 0; i + 2 <= pcm.size(); i += 2) {
        Sint16 sample;
        std::memcpy(&sample, &pcm[i], 2);
        sample = static_cast<Sint16>(sample * gain[(i / 2) % 2]);
        std::memcpy(&pcm[i], &sample, 2);
    }
}

// ALSA prints its own errors on stderr, eight lines for one failed open on a machine
// without a sound card. They go to the trace instead; the player says it in one line.
extern "C" void traceAlsaError(const char* file, int line, const char* function, int error,
                               const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    orven::internal::trace("sound: ALSA %s:%d (%s) %s (%d)", file, line, function, text, error);
}

// Before SDL starts its audio, every time (SDL's unloading takes ALSA with it): the ALSA
// library that libSDL2 brought in, if it did, gets the handler above.
void quietenAlsa() {
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (alsa == nullptr) return;
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(traceAlsaError);
    dlclose(alsa);  // libSDL2 keeps it loaded
}

// The one player of the process. Plays may come from the GUI thread and the GPS reader
// thread at once: `lock` serialises them, but a synchronous play waits with the lock
// released, so a newer sound can cut it short (the generation counter tells it so).
class Player {
  public:
    void play(const Wave& wave, uint32_t volume, bool synchronous) {
        std::unique_lock hold(lock_);
        if (!ensureDevice()) {  // silent: SDL, loaded to read the wave, goes again
            unloadSdl();
            return;
        }
        std::vector<Uint8> pcm = convert(wave, deviceFormat_);
        applyVolume(pcm, volume);
        SDL_ClearQueuedAudio(device_);
        SDL_QueueAudio(device_, pcm.data(), static_cast<Uint32>(pcm.size()));
        SDL_PauseAudioDevice(device_, 0);
        const uint64_t mine = ++generation_;
        changed_.notify_all();
        keepOpenUntil(SteadyClock::now() + std::chrono::milliseconds(wave.lengthMs) + closeDelayMs);
        if (!synchronous) return;
        ++waiting_;
        waitUntilPlayed(hold, mine, wave.lengthMs);
        --waiting_;
        keepOpenUntil(SteadyClock::now() + closeDelayMs);
    }

    void stop() {
        std::lock_guard hold(lock_);
        ++generation_;
        if (device_) SDL_ClearQueuedAudio(device_);
        changed_.notify_all();
    }

    // Closes the device and the audio subsystem; the next play starts from scratch, and a
    // missing device is said again.
    void reset() {
        std::lock_guard hold(lock_);
        ++generation_;
        changed_.notify_all();
        closeAudio();
        tried_ = false;
        toldNoDevice_ = false;
    }

  private:
    bool ensureDevice() {
        if (device_ && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED) return true;
        if (device_) {  // lost, e.g. unplugged: open the default device again
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        } else if (tried_ && SteadyClock::now() - lastTry_ < retryInterval) {
            return false;
        }
        tried_ = true;
        lastTry_ = SteadyClock::now();
        if (!audioInitialised_) {
            quietenAlsa();
            SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "ORVEN");
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return noDevice("no audio");
            audioInitialised_ = true;
        }
        SDL_AudioSpec want{};
        want.freq = deviceRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = deviceFrames;
        // No changes allowed: SDL converts to whatever the hardware takes, and the
        // buffer we fill keeps the format above.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &deviceFormat_, 0);
        if (!device_) return noDevice("no audio device");
        startCloser();
        return true;
    }

    // No device: traced each time, said on stderr once per run. The subsystem goes too,
    // or its hot-plug thread (ALSA's polls several times a second) would keep running.
    bool noDevice(const char* what) {
        const char* why = SDL_GetError();
        orven::internal::trace("sound: %s (%s)", what, why);
        if (!toldNoDevice_)
            std::fprintf(stderr, "orven: no sound device (%s); cues are silent\n", why);
        toldNoDevice_ = true;
        closeAudio();
        unloadSdl();
        return false;
    }

    // SDL goes too, unless a wave is being read right now or a synchronous play waits
    // on the lost device (then at the next closing).
    void unloadSdl() {
        if (waiting_ > 0) return;
        std::unique_lock calls(sdlCalls, std::try_to_lock);
        if (calls.owns_lock()) orven::internal::unloadSdl();
    }

    void closeAudio() {
        if (device_) SDL_CloseAudioDevice(device_);
        if (audioInitialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device_ = 0;
        audioInitialised_ = false;
    }

    void keepOpenUntil(SteadyClock::time_point when) {
        closeAt_ = std::max(closeAt_, when);
        closerWake_.notify_one();
    }

    void startCloser() {
        if (closerStarted_) return;
        closerStarted_ = true;
        std::thread([this] { closeWhenQuiet(); }).detach();
    }

    // The closing thread: asleep without a time-out while no device is open or a
    // synchronous play waits; otherwise it wakes when the last sound should have ended
    // and the delay has passed, and closes the device. A sound still queued then is one
    // the device stopped playing.
    void closeWhenQuiet() {
        std::unique_lock hold(lock_);
        for (;;) {
            if (!device_ || waiting_ > 0) {
                closerWake_.wait(hold);
                continue;
            }
            if (SteadyClock::now() < closeAt_) {
                closerWake_.wait_until(hold, closeAt_);
                continue;
            }
            orven::internal::trace("sound: device closed, %lld ms after the last sound",
                                   static_cast<long long>(closeDelayMs.count()));
            closeAudio();
            unloadSdl();
            tried_ = false;  // the next play opens it again at once
        }
    }

    // Waits until the queue is empty and the device's buffer has played out, or until a
    // newer sound replaces this one.
    void waitUntilPlayed(std::unique_lock<std::mutex>& hold, uint64_t mine, uint32_t lengthMs) {
        const double bytesPerMs = deviceFormat_.freq * 4 / 1000.0;  // 16-bit stereo
        const auto giveUp = SteadyClock::now() + std::chrono::milliseconds(lengthMs) + stuckGuard;
        while (generation_ == mine && SteadyClock::now() < giveUp) {
            const Uint32 queued = SDL_GetQueuedAudioSize(device_);
            if (queued == 0) break;
            const auto left = std::chrono::milliseconds(static_cast<int64_t>(queued / bytesPerMs));
            changed_.wait_for(
                hold, std::clamp<std::chrono::milliseconds>(left, queuePollMin, queuePollMax));
        }
        const auto buffered =
            std::chrono::milliseconds(deviceFormat_.samples * 1000 / deviceFormat_.freq) +
            drainMargin;
        changed_.wait_for(hold, buffered, [&] { return generation_ != mine; });
    }

    std::mutex lock_;
    std::condition_variable changed_;     // a new sound or a stop
    std::condition_variable closerWake_;  // a device opened or a sound started
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec deviceFormat_{};
    bool audioInitialised_ = false;
    bool tried_ = false;
    bool toldNoDevice_ = false;
    bool closerStarted_ = false;
    SteadyClock::time_point lastTry_{};
    SteadyClock::time_point closeAt_{};  // the device may close from then on
    int waiting_ = 0;                    // synchronous plays waiting for their sound's end
    uint64_t generation_ = 0;  // counts sounds started; a waiter's sound is the latest while equal
};

// Never destroyed: a sound may still be playing while the process exits.
Player& player() {
    static Player* instance = new Player;
    return *instance;
}

// ---- Capture (tests): plays are recorded instead of heard.
std::atomic<bool> capturing{false};
std::mutex capturedLock;
std::vector<orven::test::PlayedSound> captured;  // guarded by capturedLock

void record(const std::string& file, bool async, const Wave& wave) {
    uint32_t volume = 0;
    orven::mixer::getVolume(volume);
    {
        std::lock_guard hold(capturedLock);
        captured.push_back({file, async, volume, orven::internal::nowMs()});
    }
    // The GUI thread is busy for the sound's length, as it would be on the phone.
    if (!async && orven::internal::onGuiThread())
        orven::internal::advanceVirtualClock(wave.lengthMs);
}

}  // namespace

// ---- PlaySoundW: plays a wave file (SND_FILENAME; the name is always taken as a file).
// A null name stops the current sound. A file that is missing or not a wave file gives
// FALSE and no sound; there is no default sound to fall back on, whatever SND_NODEFAULT
// says. With no audio device an existing file gives TRUE and silence.
BOOL PlaySoundW(LPCWSTR sound, HMODULE, DWORD flags) {
    if (!sound) {
        orven::internal::trace("PlaySound stop");
        player().stop();
        return TRUE;
    }
    const std::string file = orven::linuxPath(sound);
    const bool async = (flags & SND_ASYNC) != 0;
    const std::optional<Wave> wave = loadWave(file);
    if (!wave) {
        orven::internal::trace("PlaySound file=%s missing", file.c_str());
        return FALSE;
    }
    orven::internal::trace("PlaySound file=%s async=%d", file.c_str(), async ? 1 : 0);
    orven::transcript::soundPlayed(file);
    if (capturing.load()) {
        record(file, async, *wave);
        return TRUE;
    }
    player().play(*wave, orven::mixer::softwareGain(), !async);
    return TRUE;
}

namespace orven::test {

void captureSounds() {
    capturing.store(true);
    mixer::forceEmulated();
}

void playSounds() {
    capturing.store(false);
    player().reset();
}

std::vector<PlayedSound> playedSounds() {
    std::lock_guard hold(capturedLock);
    return captured;
}

void clearPlayedSounds() {
    std::lock_guard hold(capturedLock);
    captured.clear();
}

}  // namespace orven::test
