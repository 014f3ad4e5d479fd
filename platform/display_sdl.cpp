// The emulated phone's screen in an SDL2 window: the framebuffer scaled up to fit the
// desktop, a mouse click as a tap, the keyboard as the phone's keys (F1 and F2 are the
// left and right soft keys). Beside the screen, the window shows a legend of those keys;
// it is drawn once, with the layer's own GDI, and is no part of the framebuffer, so
// screenshots show the phone's screen alone. Other threads wake the GUI thread's wait
// with a user event.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "platform/gdi_internal.h"
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

// The key legend beside the screen, in phone pixels.
constexpr int legendWidth = 176;
constexpr int legendMargin = 8;
constexpr int legendKeyColumn = 62;  // where the descriptions start
constexpr int legendLineHeight = 17;
constexpr COLORREF legendBackground = RGB(0xE4, 0xE4, 0xE4);

struct LegendRow {
    const char16_t* key;
    const char16_t* meaning;
};
constexpr LegendRow legendRows[] = {
    {u"Click", u"tap the screen"},        {u"F1", u"left soft key"}, {u"F2", u"right soft key"},
    {u"F5\u2013F8", u"hardware buttons"}, {u"Esc", u"Back"},         {u"Ctrl+Q", u"quit"},
};

HFONT legendFont(bool bold) {
    LOGFONTW font{};
    font.lfHeight = 13;
    font.lfWeight = bold ? FW_BOLD : 400;
    lstrcpyW(font.lfFaceName, u"Tahoma");
    return CreateFontIndirectW(&font);
}

// The legend's pixels (XRGB, legendWidth x height), drawn into a bitmap of its own.
std::vector<uint32_t> drawLegend(int height) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, legendWidth, height);
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    HBRUSH background = CreateSolidBrush(legendBackground);
    RECT all{0, 0, legendWidth, height};
    FillRect(dc, &all, background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    HFONT bold = legendFont(true), plain = legendFont(false);
    HGDIOBJ previousFont = SelectObject(dc, bold);
    int y = legendMargin;
    RECT title{legendMargin, y, legendWidth - legendMargin, y + legendLineHeight};
    DrawTextW(dc, u"Keys", -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    y += legendLineHeight + legendLineHeight / 2;
    for (const LegendRow& row : legendRows) {
        RECT key{legendMargin, y, legendKeyColumn, y + legendLineHeight};
        RECT meaning{legendKeyColumn, y, legendWidth - legendMargin, y + legendLineHeight};
        SelectObject(dc, bold);
        DrawTextW(dc, row.key, -1, &key, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, plain);
        DrawTextW(dc, row.meaning, -1, &meaning, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        y += legendLineHeight;
    }
    std::vector<uint32_t> pixels;
    if (auto data = gdi::bitmapOf(reinterpret_cast<HGDIOBJ>(bitmap))) pixels = data->pixels;
    pixels.resize(static_cast<size_t>(legendWidth) * static_cast<size_t>(height));
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    DeleteObject(bold);
    DeleteObject(plain);
    DeleteObject(background);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

struct SdlBackend final : Backend {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Texture* legend = nullptr;
    SDL_Rect screenArea{}, legendArea{};  // in phone pixels (the renderer's logical size)
    Uint32 wakeEvent = 0;
    std::atomic<bool> wakePending{false};  // one wake event in the queue is enough

    ~SdlBackend() override {
        if (legend) SDL_DestroyTexture(legend);
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
        // Scale the phone's screen and its legend up by a whole factor that fits the desktop.
        screenArea = SDL_Rect{0, 0, width, height};
        legendArea = SDL_Rect{width, 0, legendWidth, height};
        const int windowWidth = width + legendWidth;
        int scale = 1;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
            while (windowWidth * (scale + 1) <= mode.w * 9 / 10 &&
                   height * (scale + 1) <= mode.h * 9 / 10 && scale < 4)
                ++scale;
        window = SDL_CreateWindow("ORVEN", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  windowWidth * scale, height * scale, SDL_WINDOW_RESIZABLE);
        // The software renderer: a phone-sized framebuffer needs no GPU, and an OpenGL
        // driver (a software one under a virtual X server) costs tens of megabytes.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
        texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                               SDL_TEXTUREACCESS_STREAMING, width, height)
                           : nullptr;
        legend = texture ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STATIC, legendWidth, height)
                         : nullptr;
        if (!legend) {
            std::fprintf(stderr, "orven: cannot open the SDL window: %s\n", SDL_GetError());
            return false;
        }
        const std::vector<uint32_t> legendPixels = drawLegend(height);
        SDL_UpdateTexture(legend, nullptr, legendPixels.data(), legendWidth * 4);
        SDL_RenderSetLogicalSize(renderer, windowWidth, height);  // clicks arrive in phone pixels
        wakeEvent = SDL_RegisterEvents(1);
        SDL_StartTextInput();
        return true;
    }

    const char* name() const override { return "sdl"; }

    void present(const uint32_t* pixels, int width, int height) override {
        SDL_UpdateTexture(texture, nullptr, pixels, width * 4);
        render();
        SDL_RenderPresent(renderer);
        lastPixels = pixels;
        lastWidth = width;
        lastHeight = height;
    }

    bool shownPixels(std::vector<uint32_t>& pixels, int& width, int& height) override {
        if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0) return false;
        render();  // what a present leaves behind need not be kept
        pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        return SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(),
                                    width * 4) == 0;
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

    bool tapping = false;  // a press on the screen was delivered; its release is due

    // A press on the legend is no tap; a press on the screen is released where the
    // mouse is let go, kept on the screen's edge, so that the phone never sees half a tap.
    void tap(const SDL_MouseButtonEvent& button) {
        const bool down = button.type == SDL_MOUSEBUTTONDOWN;
        const bool onScreen = button.x < screenArea.w && button.y < screenArea.h;
        if (down ? !onScreen : !tapping) return;
        tapping = down;
        wm::deliverTap(std::min(button.x, screenArea.w - 1), std::min(button.y, screenArea.h - 1),
                       down);
    }

    void render() {
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, &screenArea);
        SDL_RenderCopy(renderer, legend, nullptr, &legendArea);
    }

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
                if (event.button.button == SDL_BUTTON_LEFT) tap(event.button);
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
