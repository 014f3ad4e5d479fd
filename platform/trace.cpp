// The trace: one line per effect the layer makes visible (timers armed and killed,
// windows brought forward, sounds played), so that a test or a person can follow a
// scenario. Off unless ORVEN_TRACE names a file or a test reads the lines.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/internal.h"
#include "platform/testing.h"

namespace {

// Never destroyed: threads that outlive main (a modem's port thread, say) may still
// trace while the process exits.
std::mutex& traceLock = *new std::mutex;
std::vector<std::string>& lines =
    *new std::vector<std::string>;  // kept for the test controls (bounded below)
FILE* traceFile = nullptr;
bool traceFileChecked = false;
constexpr size_t maxKeptLines = 100000;  // a runaway loop must not eat the memory

}  // namespace

namespace orven::internal {

bool tracing() {
    return true;
}

void trace(const char* format, ...) {
    std::lock_guard<std::mutex> hold(traceLock);
    if (!traceFileChecked) {
        traceFileChecked = true;
        if (const char* path = std::getenv("ORVEN_TRACE"); path != nullptr && *path != 0)
            traceFile = std::fopen(path, "a");
    }
    // Once the kept lines are full and no file takes them, a line goes nowhere: a
    // long-running program (a reader killing its watchdog on every fix) skips formatting it.
    if (traceFile == nullptr && lines.size() >= maxKeptLines) return;
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (traceFile != nullptr) {
        std::fprintf(traceFile, "%llu %s\n", static_cast<unsigned long long>(nowMs()), line);
        std::fflush(traceFile);
    }
    if (lines.size() < maxKeptLines) lines.emplace_back(line);
}

}  // namespace orven::internal

namespace orven::test {

std::vector<std::string> traceLines() {
    std::lock_guard<std::mutex> hold(traceLock);
    return lines;
}

void clearTrace() {
    std::lock_guard<std::mutex> hold(traceLock);
    lines.clear();
}

}  // namespace orven::test
