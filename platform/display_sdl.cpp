// The emulated phone's screen in an SDL2 window: the framebuffer scaled up to fit the
// desktop, a mouse click as a tap, the keyboard as the phone's keys (F1 and F2 are the
// left and right soft keys). Other threads wake the GUI thread's wait with a user event.
#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "platform/gui_internal.h"
#include "platform/hardware_buttons.h"
#include "platform/internal.h"
#include "platform/text.h"
#include "platform/window_manager.h"

namespace orven::display {
namespace {

int virtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    switch (key) {
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_UP: return VK_UP;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_KP_6: return VK_NUMPAD6;
        case SDLK_F1: return VK_F1;
        case SDLK_F2: return VK_F2;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_END: return VK_END;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        default: return 0;
    }
}

struct SdlBackend final : Backend {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    Uint32 wakeEvent = 0;
    std::atomic<bool> wakePending{false};  // one wake event in the queue is enough

    ~SdlBackend() override {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool start(int width, int height) {
        orven::internal::keepSdlLoaded();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // SIGINT/SIGTERM are ours
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "orven: no SDL display: %s\n", SDL_GetError());
            return false;
        }
        // Scale the phone's screen up by a whole factor that fits the desktop.
        int scale = 1;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
            while (width * (scale + 1) <= mode.w * 9 / 10 &&
                   height * (scale + 1) <= mode.h * 9 / 10 && scale < 4)
                ++scale;
        window = SDL_CreateWindow("ORVEN", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  width * scale, height * scale, SDL_WINDOW_RESIZABLE);
        // The software renderer: a phone-sized framebuffer needs no GPU, and an OpenGL
        // driver (a software one under a virtual X server) costs tens of megabytes.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
        texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                               SDL_TEXTUREACCESS_STREAMING, width, height)
                           : nullptr;
        if (!texture) {
            std::fprintf(stderr, "orven: cannot open the SDL window: %s\n", SDL_GetError());
            return false;
        }
        SDL_RenderSetLogicalSize(renderer, width, height);  // clicks arrive in phone pixels
        wakeEvent = SDL_RegisterEvents(1);
        SDL_StartTextInput();
        return true;
    }

    const char* name() const override { return "sdl"; }

    void present(const uint32_t* pixels, int width, int height) override {
        SDL_UpdateTexture(texture, nullptr, pixels, width * 4);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
        lastPixels = pixels;
        lastWidth = width;
        lastHeight = height;
    }

    void raise() override {
        // Only the GUI thread may touch the window; others leave it to the next paint.
        if (internal::onGuiThread()) SDL_RaiseWindow(window);
    }

    void wait(std::unique_lock<std::mutex>& lock, int64_t timeoutMs) override {
        lock.unlock();
        SDL_Event event;
        int got = timeoutMs < 0 ? SDL_WaitEvent(&event)
                                : SDL_WaitEventTimeout(&event, static_cast<int>(timeoutMs));
        while (got) {
            handle(event);
            got = SDL_PollEvent(&event);
        }
        lock.lock();
    }

    void wake() override {
        if (wakeEvent == 0 || wakePending.exchange(true)) return;
        SDL_Event event{};
        event.type = wakeEvent;
        SDL_PushEvent(&event);
    }

  private:
    const uint32_t* lastPixels = nullptr;
    int lastWidth = 0, lastHeight = 0;

    void handle(const SDL_Event& event) {
        if (event.type == wakeEvent) {
            wakePending.store(false);
            return;
        }
        switch (event.type) {
            case SDL_QUIT:
                if (HWND app = wm::applicationWindow()) PostMessageW(app, WM_CLOSE, 0, 0);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (event.button.button == SDL_BUTTON_LEFT)
                    wm::deliverTap(event.button.x, event.button.y,
                                   event.type == SDL_MOUSEBUTTONDOWN);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (event.key.keysym.sym >= SDLK_F5 && event.key.keysym.sym <= SDLK_F8) {
                    // The phone's hardware buttons: the shell starts what is assigned.
                    if (event.type == SDL_KEYDOWN && event.key.repeat == 0)
                        shell::pressHardwareButton(1 + (event.key.keysym.sym - SDLK_F5));
                } else if (event.key.keysym.sym == SDLK_F1 || event.key.keysym.sym == SDLK_F2) {
                    // The soft keys press the keys of the menu bar shown.
                    if (event.key.repeat == 0)
                        gui::softKey(event.key.keysym.sym == SDLK_F1 ? 0 : 1,
                                     event.type == SDL_KEYDOWN);
                } else if (int vk = virtualKeyOf(event.key.keysym.sym)) {
                    wm::deliverKey(vk, event.type == SDL_KEYDOWN);
                }
                break;
            case SDL_TEXTINPUT:
                // UTF-8 from the desktop's keyboard: one WM_CHAR per UTF-16 unit.
                for (char16_t unit : fromUtf8(event.text.text)) wm::deliverChar(unit);
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED && lastPixels != nullptr)
                    present(lastPixels, lastWidth, lastHeight);
                break;
            default: break;
        }
    }
};

}  // namespace

std::unique_ptr<Backend> makeSdlBackend(int width, int height) {
    auto backend = std::make_unique<SdlBackend>();
    if (!backend->start(width, height)) return nullptr;
    return backend;
}

}  // namespace orven::display
