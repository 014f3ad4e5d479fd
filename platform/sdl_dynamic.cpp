// SDL2 is opened when the program first needs it (a window on a desktop, a sound to
// play), not linked: a headless program that has not yet made a sound then carries
// none of SDL's many libraries (X11, Wayland, PulseAudio, ALSA, D-Bus and theirs),
// which would otherwise be most of its resident memory.
//
// Each SDL function the layer calls is defined here under its own name and forwards to
// the library's, found on first call. When the library cannot be loaded the functions
// fail the way SDL reports failure (SDL_InitSubSystem -1, creations null), so the
// display falls back to headless and sounds stay silent, each with its message.
//
// A headless program unloads it again once its sounds are over (unloadSdl, called by the
// player after it closed the audio device): SDL and everything it brought in would
// otherwise stay resident for the rest of the run, about half of an idle program's
// memory. The caller makes sure no SDL call runs meanwhile; the next call loads it again
// and looks its functions up anew. An SDL window keeps it loaded for good, and so do
// some hundreds of unloadings (each loses a thread-specific key, see below).
#include <SDL.h>
#include <dlfcn.h>
#include <limits.h>
#include <malloc.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/internal.h"

namespace {

constexpr const char* libraryName = "libSDL2-2.0.so.0";
constexpr const char* missingText = "the SDL2 library (libSDL2-2.0.so.0) could not be loaded";

std::mutex libraryLock;  // guards the fields below; any thread may make the first call
void* library = nullptr;
bool loadFailed = false;                    // said once on stderr; not tried again
bool keptLoaded = false;                    // an SDL window uses it: never unloaded
std::vector<std::atomic<void*>*> resolved;  // each forwarder's address, cleared on unloading

// The library's `name`, looked up once per loading of the library.
void* resolve(std::atomic<void*>& slot, const char* name) {
    if (void* address = slot.load(std::memory_order_acquire)) return address;
    std::lock_guard hold(libraryLock);
    if (library == nullptr && !loadFailed) {
        library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) std::fprintf(stderr, "orven: %s\n", dlerror());
        loadFailed = library == nullptr;
    }
    if (library == nullptr) return nullptr;
    void* address = dlsym(library, name);
    if (address != nullptr) {
        slot.store(address, std::memory_order_release);
        resolved.push_back(&slot);
    }
    return address;
}

// Each loading of SDL 2 takes a thread-specific key that its unloading never gives back
// (SDL_Quit does not delete it), and keys are few (PTHREAD_KEYS_MAX, 1024 here): a
// library that cannot get one may abort. So SDL is unloaded only while three quarters
// of them are free, judged by the number of a fresh key (the lowest free one); after
// some hundreds of unloadings it stays loaded for the rest of the run.
bool threadKeysToSpare() {
    pthread_key_t probe;
    if (pthread_key_create(&probe, nullptr) != 0) return false;
    pthread_key_delete(probe);
    return probe < PTHREAD_KEYS_MAX / 4;
}

}  // namespace

namespace orven::internal {

void keepSdlLoaded() {
    std::lock_guard hold(libraryLock);
    keptLoaded = true;
}

bool unloadSdl() {
    std::lock_guard hold(libraryLock);
    if (library == nullptr || keptLoaded) return false;
    if (!threadKeysToSpare()) {
        keptLoaded = true;
        trace("SDL kept loaded: thread-specific keys are running short");
        return false;
    }
    using Quit = void (*)();
    if (auto quit = reinterpret_cast<Quit>(dlsym(library, "SDL_Quit"))) quit();
    for (std::atomic<void*>* slot : resolved) slot->store(nullptr, std::memory_order_release);
    resolved.clear();
    dlclose(library);
    library = nullptr;
    malloc_trim(0);  // what SDL and its libraries freed goes back to the system
    trace("SDL unloaded");
    return true;
}

}  // namespace orven::internal

// Defines `name` with the parameters `params`, calling the library's function with
// `args`; `failed` is what it returns when the library or the function is missing.
#define ORVEN_SDL_FORWARD(result, name, params, args, failed)               \
    extern "C" result SDLCALL name params {                                 \
        using Function = result(SDLCALL*) params;                           \
        static std::atomic<void*> slot{nullptr};                            \
        const auto real = reinterpret_cast<Function>(resolve(slot, #name)); \
        if (real == nullptr) return failed;                                 \
        return real args;                                                   \
    }
#define ORVEN_SDL_FORWARD_VOID(name, params, args)                          \
    extern "C" void SDLCALL name params {                                   \
        using Function = void(SDLCALL*) params;                             \
        static std::atomic<void*> slot{nullptr};                            \
        const auto real = reinterpret_cast<Function>(resolve(slot, #name)); \
        if (real != nullptr) real args;                                     \
    }

// Errors and hints.
ORVEN_SDL_FORWARD(const char*, SDL_GetError, (void), (), missingText)
ORVEN_SDL_FORWARD(SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value),
                  SDL_FALSE)

// Subsystems.
ORVEN_SDL_FORWARD(int, SDL_InitSubSystem, (Uint32 flags), (flags), -1)
ORVEN_SDL_FORWARD_VOID(SDL_QuitSubSystem, (Uint32 flags), (flags))

// Events.
ORVEN_SDL_FORWARD(int, SDL_WaitEvent, (SDL_Event * event), (event), 0)
ORVEN_SDL_FORWARD(int, SDL_WaitEventTimeout, (SDL_Event * event, int timeout), (event, timeout), 0)
ORVEN_SDL_FORWARD(int, SDL_PollEvent, (SDL_Event * event), (event), 0)
ORVEN_SDL_FORWARD(int, SDL_PushEvent, (SDL_Event * event), (event), -1)
ORVEN_SDL_FORWARD(Uint32, SDL_RegisterEvents, (int count), (count), static_cast<Uint32>(-1))
ORVEN_SDL_FORWARD_VOID(SDL_StartTextInput, (void), ())

// Window and renderer.
ORVEN_SDL_FORWARD(int, SDL_GetDesktopDisplayMode, (int index, SDL_DisplayMode* mode), (index, mode),
                  -1)
ORVEN_SDL_FORWARD(SDL_Window*, SDL_CreateWindow,
                  (const char* title, int x, int y, int w, int h, Uint32 flags),
                  (title, x, y, w, h, flags), nullptr)
ORVEN_SDL_FORWARD_VOID(SDL_DestroyWindow, (SDL_Window * window), (window))
ORVEN_SDL_FORWARD_VOID(SDL_RaiseWindow, (SDL_Window * window), (window))
ORVEN_SDL_FORWARD(SDL_Renderer*, SDL_CreateRenderer, (SDL_Window * window, int index, Uint32 flags),
                  (window, index, flags), nullptr)
ORVEN_SDL_FORWARD_VOID(SDL_DestroyRenderer, (SDL_Renderer * renderer), (renderer))
ORVEN_SDL_FORWARD(int, SDL_RenderSetLogicalSize, (SDL_Renderer * renderer, int w, int h),
                  (renderer, w, h), -1)
ORVEN_SDL_FORWARD(int, SDL_RenderClear, (SDL_Renderer * renderer), (renderer), -1)
ORVEN_SDL_FORWARD(int, SDL_RenderCopy,
                  (SDL_Renderer * renderer, SDL_Texture* texture, const SDL_Rect* from,
                   const SDL_Rect* to),
                  (renderer, texture, from, to), -1)
ORVEN_SDL_FORWARD_VOID(SDL_RenderPresent, (SDL_Renderer * renderer), (renderer))
ORVEN_SDL_FORWARD(int, SDL_GetRendererOutputSize, (SDL_Renderer * renderer, int* w, int* h),
                  (renderer, w, h), -1)
ORVEN_SDL_FORWARD(int, SDL_RenderReadPixels,
                  (SDL_Renderer * renderer, const SDL_Rect* rect, Uint32 format, void* pixels,
                   int pitch),
                  (renderer, rect, format, pixels, pitch), -1)
ORVEN_SDL_FORWARD(SDL_Texture*, SDL_CreateTexture,
                  (SDL_Renderer * renderer, Uint32 format, int access, int w, int h),
                  (renderer, format, access, w, h), nullptr)
ORVEN_SDL_FORWARD_VOID(SDL_DestroyTexture, (SDL_Texture * texture), (texture))
ORVEN_SDL_FORWARD(int, SDL_UpdateTexture,
                  (SDL_Texture * texture, const SDL_Rect* rect, const void* pixels, int pitch),
                  (texture, rect, pixels, pitch), -1)

// Wave files and audio.
ORVEN_SDL_FORWARD(SDL_RWops*, SDL_RWFromFile, (const char* file, const char* mode), (file, mode),
                  nullptr)
ORVEN_SDL_FORWARD(SDL_AudioSpec*, SDL_LoadWAV_RW,
                  (SDL_RWops * source, int freeSource, SDL_AudioSpec* layout, Uint8** buffer,
                   Uint32* length),
                  (source, freeSource, layout, buffer, length), nullptr)
ORVEN_SDL_FORWARD_VOID(SDL_FreeWAV, (Uint8 * buffer), (buffer))
ORVEN_SDL_FORWARD(int, SDL_BuildAudioCVT,
                  (SDL_AudioCVT * cvt, SDL_AudioFormat fromFormat, Uint8 fromChannels, int fromRate,
                   SDL_AudioFormat toFormat, Uint8 toChannels, int toRate),
                  (cvt, fromFormat, fromChannels, fromRate, toFormat, toChannels, toRate), -1)
ORVEN_SDL_FORWARD(int, SDL_ConvertAudio, (SDL_AudioCVT * cvt), (cvt), -1)
ORVEN_SDL_FORWARD(SDL_AudioDeviceID, SDL_OpenAudioDevice,
                  (const char* device, int capture, const SDL_AudioSpec* desired,
                   SDL_AudioSpec* obtained, int allowedChanges),
                  (device, capture, desired, obtained, allowedChanges), 0)
ORVEN_SDL_FORWARD_VOID(SDL_CloseAudioDevice, (SDL_AudioDeviceID device), (device))
ORVEN_SDL_FORWARD_VOID(SDL_PauseAudioDevice, (SDL_AudioDeviceID device, int pause), (device, pause))
ORVEN_SDL_FORWARD(SDL_AudioStatus, SDL_GetAudioDeviceStatus, (SDL_AudioDeviceID device), (device),
                  SDL_AUDIO_STOPPED)
ORVEN_SDL_FORWARD(int, SDL_QueueAudio, (SDL_AudioDeviceID device, const void* data, Uint32 length),
                  (device, data, length), -1)
ORVEN_SDL_FORWARD(Uint32, SDL_GetQueuedAudioSize, (SDL_AudioDeviceID device), (device), 0)
ORVEN_SDL_FORWARD_VOID(SDL_ClearQueuedAudio, (SDL_AudioDeviceID device), (device))
