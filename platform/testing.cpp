// The test controls: a fresh emulated phone per scenario, the virtual clock's
// advance, injected input, and the program run on a GUI thread of its own.
#include "platform/testing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/device.h"
#include "platform/hardware_buttons.h"
#include "platform/internal.h"
#include "platform/window_manager.h"

void orvenNoteGuiThread();

namespace orven::test {

void advance(uint32_t ms) {
    wm::advanceVirtual(ms);
}
void runUntilIdle() {
    wm::advanceVirtual(0);
}

struct Phone::Runner {
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<int> exitCode{0};
};

namespace {

std::string makeDeviceDir() {
    const char* base = std::getenv("TMPDIR");
    // Short paths: the instance socket's path must stay under 108 bytes.
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ov-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

Phone::Phone(const std::string& profile) : deviceDir_(makeDeviceDir()) {
    setenv("ORVEN_DEVICE", deviceDir_.c_str(), 1);
    std::string runtime = deviceDir_ + "/run";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("ORVEN_TRACE");
    resetDeviceForTests();
    if (!profile.empty()) std::ofstream(deviceDir_ + "/profile") << profile;
    useVirtualClock();
    captureSounds();
}

Phone::~Phone() {
    if (runner_ != nullptr) {
        if (runner_->thread.joinable()) {
            if (!runner_->finished.load()) {
                // The scenario left the program running: close it the orderly way.
                if (HWND app = wm::applicationWindow()) PostMessageW(app, WM_CLOSE, 0, 0);
                for (int i = 0; i < 1000 && !runner_->finished.load(); ++i) advance(100);
            }
            if (runner_->finished.load())
                runner_->thread.join();
            else
                runner_->thread.detach();
        }
        delete runner_;
    }
    std::string command = "rm -rf '" + deviceDir_ + "'";
    if (std::system(command.c_str()) != 0) {
    }
}

void Phone::writeHive(const std::string& name, const std::string& content) const {
    std::ofstream(deviceDir_ + "/" + name, std::ios::binary) << content;
    chmod((deviceDir_ + "/" + name).c_str(), 0600);
}

std::string Phone::readHive(const std::string& name) const {
    std::ifstream in(deviceDir_ + "/" + name, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void Phone::start(EntryPoint entryPoint, const std::u16string& commandLine) {
    runner_ = new Runner;
    wm::setGuiThreadRunning(true);
    std::u16string line = commandLine;
    Runner* runner = runner_;
    std::atomic<bool> started{false};
    runner_->thread = std::thread([runner, entryPoint, line, &started]() mutable {
        orvenNoteGuiThread();
        started.store(true);
        static int moduleAnchor;
        int code =
            entryPoint(reinterpret_cast<HINSTANCE>(&moduleAnchor), nullptr, line.data(), SW_SHOW);
        runner->exitCode.store(code);
        runner->finished.store(true);
        wm::setGuiThreadRunning(false);
        internal::wakeGui();
    });
    while (!started.load()) std::this_thread::yield();
    advance(0);
}

bool Phone::finished() const {
    return runner_ != nullptr && runner_->finished.load();
}
int Phone::exitCode() const {
    return runner_ != nullptr ? runner_->exitCode.load() : -1;
}

void Phone::onGui(const std::function<void()>& fn) const {
    wm::callOnGuiThread(fn);
}

void Phone::tap(int x, int y) const {
    wm::deliverTap(x, y, true);
    wm::deliverTap(x, y, false);
    advance(0);
}

void Phone::keyUp(int virtualKey) const {
    wm::deliverKey(virtualKey, false);
    advance(0);
}

void Phone::keyPress(int virtualKey, bool control) const {
    if (control) wm::deliverKey(VK_CONTROL, true);
    wm::deliverKey(virtualKey, true);
    wm::deliverKey(virtualKey, false);
    if (control) wm::deliverKey(VK_CONTROL, false);
    advance(0);
}

bool Phone::waitFor(const std::function<bool()>& pred, uint32_t stepMs,
                    uint32_t realTimeoutMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
    for (;;) {
        bool held = finished() ? pred() : read([&] { return pred(); });
        if (held) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!finished()) advance(stepMs);
    }
}

}  // namespace orven::test

// ---- Screen, message boxes, popup menus and the shell
#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/screen.h"

namespace orven::test {

namespace {

// Runs fn on the GUI thread (or here, when this thread runs the loop itself).
template <typename F>
auto onGuiThread(F fn) -> decltype(fn()) {
    decltype(fn()) result{};
    wm::callOnGuiThread([&] { result = fn(); });
    return result;
}

}  // namespace

bool screenshot(const std::string& path) {
    return onGuiThread([&] { return screen::writePng(path); });
}

uint32_t pixel(int x, int y) {
    return onGuiThread([&]() -> uint32_t {
        if (x < 0 || y < 0 || x >= screen::width() || y >= screen::height()) return 0xFFFFFFFF;
        return screen::pixels()[static_cast<size_t>(y) * screen::width() + x] & 0xFFFFFF;
    });
}

size_t gdiObjectCount() {
    return gdi::liveObjectCount();
}

std::vector<MessageBoxShown> messageBoxes() {
    std::vector<MessageBoxShown> out;
    for (const gui::MessageBoxRecord& r : gui::messageBoxesShown())
        out.push_back(MessageBoxShown{r.text, r.caption, r.style, r.answer});
    return out;
}

void clearMessageBoxes() {
    gui::clearMessageBoxes();
}

void answerNextMessageBoxes(const std::vector<int>& answers) {
    gui::queueMessageBoxAnswers(answers);
}

bool answerMessageBox(int answer) {
    bool answered = onGuiThread([&] { return gui::answerOpenMessageBox(answer); });
    advance(0);
    return answered;
}

std::vector<MessageBoxButton> messageBoxButtons() {
    std::vector<MessageBoxButton> out;
    for (auto& [answer, rect] : onGuiThread([] { return gui::openMessageBoxButtons(); }))
        out.push_back(MessageBoxButton{answer, rect});
    return out;
}

std::vector<MenuItemShown> menuItems() {
    std::vector<MenuItemShown> out;
    for (const gui::MenuItemShown& item : onGuiThread([] { return gui::openMenuItems(); }))
        out.push_back(MenuItemShown{item.id, item.text, item.separator, item.popup, item.ownerDrawn,
                                    item.selected, item.rect});
    return out;
}

bool choosePopupMenuItem(UINT command) {
    bool chosen = onGuiThread([&] { return gui::chooseMenuCommand(command); });
    advance(0);
    return chosen;
}

bool dismissPopupMenu() {
    bool dismissed = onGuiThread([] { return gui::dismissOpenMenu(); });
    advance(0);
    return dismissed;
}

void softKey(int index) {
    onGuiThread([&] {
        gui::softKey(index, true);
        gui::softKey(index, false);
        return true;
    });
    advance(0);
}

std::vector<TrayIconShown> trayIcons() {
    std::vector<TrayIconShown> out;
    for (const gui::TrayIconShown& icon : gui::trayIcons())
        out.push_back(TrayIconShown{icon.window, icon.id, icon.tip, icon.rect});
    return out;
}

bool desktopShown() {
    return onGuiThread([] { return gui::desktopShown(); });
}

}  // namespace orven::test

namespace orven::test {

void Phone::type(const std::u16string& text) const {
    for (char16_t c : text) wm::deliverChar(c);
    advance(0);
}

void Phone::hardwareButton(int n) const {
    shell::pressHardwareButton(n);
    advance(0);
}

bool sipShown() {
    return gui::sipShown();
}

std::vector<SipKey> sipKeys() {
    std::vector<SipKey> keys;
    for (const auto& key : gui::sipKeys()) keys.push_back(SipKey{key.character, key.rect});
    return keys;
}

std::vector<ButtonLaunch> buttonLaunches() {
    std::vector<ButtonLaunch> result;
    for (const auto& launch : shell::buttonLaunches())
        result.push_back(ButtonLaunch{launch.command, launch.executable, launch.arguments});
    return result;
}

void setProgramExecutable(const std::string& path) {
    shell::setProgramExecutable(path);
}

}  // namespace orven::test
