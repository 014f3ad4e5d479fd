// Internals shared by the files of the platform layer. Never included by the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win_types.h"

namespace orven::internal {

// ---- Clock (clock.cpp)
// Monotonic milliseconds since the layer started; virtual time under the test clock.
uint64_t nowMs();
bool clockIsVirtual();
// Moves virtual time forward (GUI-thread Sleep, synchronous sounds under capture).
// Does nothing under the real clock.
void advanceVirtualClock(uint64_t ms);

// ---- GUI thread and its wait (message.cpp)
// The GUI thread is the one that created the first window (or first ran a message loop).
bool onGuiThread();
// Something the GUI thread waits for changed (posted message, timer, invalidation).
void wakeGui();

// ---- Trace (trace.cpp): one line per observable effect, written to the file named by
// ORVEN_TRACE (appended, flushed per line) and kept in memory for the test controls.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool tracing();

// ---- The registry a fresh device directory starts with (default_registry.cpp): the
// .reg text of "user.reg" or "system.reg"; empty for other names.
std::string defaultHiveText(const std::string& fileName);

// ---- Kernel objects (threads.cpp): everything CloseHandle can close.
struct KernelObject {
    virtual ~KernelObject() = default;
    // Releases the object's resources; false when it cannot be closed.
    virtual bool close() = 0;
};
HANDLE registerHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);

}  // namespace orven::internal
