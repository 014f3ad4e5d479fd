// The single-instance endpoint: how a second start of the program finds the running
// one and hands it requests. Internal to the platform layer.
//
// An emulated phone is one device directory. For each, the per-user runtime directory
// ($XDG_RUNTIME_DIR/orven, else /tmp/orven-<uid>, mode 0700) holds a lock file and a
// Unix socket named after a hash of the device directory. The process that holds the
// lock (flock) is the instance: it removes any stale socket, binds and answers. Every
// other process connects and asks; if the instance vanishes meanwhile, the lock is
// free again and the asker takes it.
#pragma once

#include "platform/win_types.h"

namespace orven::instance {

// Returns a handle for a top-level window of the running instance that matches, or
// null when this process is the instance (or no instance answers in time).
HWND findRemote(LPCWSTR className, LPCWSTR windowName);
bool requestForeground(HWND remote);
bool requestTimer(HWND remote, UINT_PTR id, UINT elapseMs);
// Takes the instance lock and starts answering, if no other process holds it.
// Called on the first window creation; harmless to call again.
void becomeInstanceIfFree();
// Runs `hook` once, in the process that becomes the instance, as it becomes it (the
// emulated phone's own devices start there and nowhere else).
void onBecomingInstance(void (*hook)());

}  // namespace orven::instance
