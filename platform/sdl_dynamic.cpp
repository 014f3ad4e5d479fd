// SDL2 is opened when the program first needs it (a window on a desktop, a sound to
// play), not linked: a headless program that has not yet made a sound then carries
// none of SDL's many libraries (X11, Wayland, PulseAudio, ALSA, D-Bus and theirs),
// which would otherwise be most of its resident memory.
//
// Each SDL function the layer calls is defined here under its own name and forwards to
// the library's, found on first call. When the library cannot be loaded the functions
// fail the way SDL reports failure (SDL_InitSubSystem -1, creations null), so the
// display falls back to headless and sounds stay silent, each with its message.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>

namespace {

constexpr const char* libraryName = "libSDL2-2.0.so.0";
constexpr const char* missingText = "the SDL2 library (libSDL2-2.0.so.0) could not be loaded";

void* library() {
    static void* handle = [] {
        void* opened = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
        if (opened == nullptr) std::fprintf(stderr, "orven: %s\n", dlerror());
        return opened;
    }();
    return handle;
}

template <typename Function>
Function resolve(const char* name) {
    void* handle = library();
    return handle == nullptr ? nullptr : reinterpret_cast<Function>(dlsym(handle, name));
}

}  // namespace

// Defines `name` with the parameters `params`, calling the library's function with
// `args`; `failed` is what it returns when the library or the function is missing.
#define ORVEN_SDL_FORWARD(result, name, params, args, failed)  \
    extern "C" result SDLCALL name params {                    \
        using Function = result(SDLCALL*) params;              \
        static const Function real = resolve<Function>(#name); \
        if (real == nullptr) return failed;                    \
        return real args;                                      \
    }
#define ORVEN_SDL_FORWARD_VOID(name, params, args)             \
    extern "C" void SDLCALL name params {                      \
        using Function = void(SDLCALL*) params;                \
        static const Function real = resolve<Function>(#name); \
        if (real != nullptr) real args;                        \
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
