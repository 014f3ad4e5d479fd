// Display selection and the headless backend. The backend is chosen explicitly at
// start-up: the SDL window where a desktop is available, headless otherwise. SDL is
// never left to pick an invisible driver by itself.
#include <atomic>
#include <cstdio>
#include <memory>

#include "platform/window_manager.h"

namespace orven::display {

std::unique_ptr<Backend> makeSdlBackend(int width, int height);  // display_sdl.cpp

namespace {

// No screen at all: the framebuffer is kept for screenshots, input comes only from
// the test controls, and the wait sleeps on the loop's condition.
struct Headless final : Backend {
    const char* name() const override { return "headless"; }
    void present(const uint32_t*, int, int) override {}
    void wait(std::unique_lock<std::mutex>& lock, int64_t timeoutMs) override {
        wm::waitForWakeLocked(lock, timeoutMs);
    }
    void wake() override {}  // the loop's condition is notified by wakeGui itself
};

// Never destroyed, nor is the backend selected: threads that still run as the process
// exits (the single-instance endpoint, readers) may wake the loop after static
// destructors have begun, and SDL's functions are gone by then.
Headless* const headless = new Headless;
std::atomic<Backend*> current{headless};

}  // namespace

Backend& backend() {
    return *current.load();
}

bool select(const std::string& name, int width, int height) {
    if (name != "sdl") return true;
    std::unique_ptr<Backend> selected = makeSdlBackend(width, height);
    if (!selected) return false;
    current.store(selected.release());
    return true;
}

}  // namespace orven::display
