// The transcript (transcript.h): lines of what the emulated phone shows and plays, for a
// phone without a window. The layer's paths that make these effects call in here; each
// returns at once while the transcript is off.
//
// The screen: of everything the application window draws in one paint, the texts drawn
// as paragraphs (DrawTextW without DT_SINGLELINE) are its message; the soft-key labels
// and one-line diagnostics are single lines. A paint that shows another message than the
// last one reported gives one "screen:" line, and "screen: no message" when it shows none.
// Paints coalesce, so a message replaced before the window was painted is not reported:
// the transcript says what the screen showed.
//
// Relies on: clock.cpp (GetLocalTime), window.cpp (the application window), resource.cpp
// (the meanings of the cue sounds).
#include "platform/transcript.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "platform/window_manager.h"

namespace orven::transcript {

namespace {

std::atomic<FILE*> output{nullptr};
std::mutex& lineLock = *new std::mutex;  // never destroyed: threads may write as the process ends

std::mutex screenLock;  // guards the fields below (the GUI thread paints)
// Paragraphs drawn in paints under way (their window; the text on one line). Windows
// are told apart only at EndPaint, which may take the window manager's lock.
std::vector<std::pair<HWND, std::string>> paragraphs;
constexpr size_t keptParagraphs = 64;  // a paint draws a handful
std::string reportedMessage;           // the message last reported; empty: none
bool anyReported = false;              // whether a first paint was reported

}  // namespace

void start(FILE* out) {
    output.store(out);
}

bool on() {
    return output.load() != nullptr;
}

void line(const char* format, ...) {
    FILE* out = output.load();
    if (out == nullptr) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::lock_guard hold(lineLock);
    std::fprintf(out, "%02d:%02d:%02d %s\n", now.wHour, now.wMinute, now.wSecond, text);
    std::fflush(out);
}

std::string oneLine(std::u16string_view text) {
    std::u16string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            joined += u" / ";
        } else {
            joined += text[i];
        }
    }
    return toUtf8(joined);
}

void textDrawn(HWND window, std::u16string_view text, UINT format) {
    if (!on() || (format & (DT_SINGLELINE | DT_CALCRECT)) != 0 || text.empty() || window == nullptr)
        return;
    std::lock_guard hold(screenLock);
    // Text drawn outside a paint (GetDC) waits for a paint that may never come: keep a few.
    if (paragraphs.size() >= keptParagraphs) paragraphs.erase(paragraphs.begin());
    paragraphs.emplace_back(window, oneLine(text));
}

void paintEnded(HWND window) {
    if (!on() || window == nullptr) return;
    const bool application = window == wm::applicationWindow();
    std::string message;
    {
        std::lock_guard hold(screenLock);
        for (const auto& [drawnIn, paragraph] : paragraphs)
            if (drawnIn == window) message += (message.empty() ? "" : " / ") + paragraph;
        std::erase_if(paragraphs, [&](const auto& p) { return p.first == window; });
        if (!application) return;
        if (anyReported && message == reportedMessage) return;
        // A first paint without a message is not news.
        if (!anyReported && message.empty()) return;
        anyReported = true;
        reportedMessage = message;
    }
    if (message.empty())
        line("screen: no message");
    else
        line("screen: %s", message.c_str());
}

void soundPlayed(const std::string& path) {
    if (!on()) return;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    char* end = nullptr;
    const long number = std::strtol(name.c_str(), &end, 10);
    const char* meaning = end != name.c_str() && std::string_view(end) == ".wav"
                              ? resources::findSoundMeaning(static_cast<int>(number))
                              : nullptr;
    if (meaning != nullptr)
        line("cue %ld: %s", number, meaning);
    else
        line("sound %s", name.c_str());
}

}  // namespace orven::transcript
