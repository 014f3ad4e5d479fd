// One GLib main context on a thread of its own, where the layer's D-Bus clients
// (ModemManager through libmm-glib, callaudiod through libcallaudio) live. Their proxies,
// signals and callbacks belong to this context, so every call into those libraries is
// made on this thread; other threads hand it work with invoke() and wait for the result
// on their own terms.
#pragma once

#include <functional>

namespace orven::glib {

// Runs fn on the GLib thread (at once when called there), starting the thread first.
// Work runs in the order it was handed over.
void invoke(std::function<void()> fn);
// Whether the caller is the GLib thread.
bool onLoopThread();

}  // namespace orven::glib
