// callaudiod's client: libcallaudio's asynchronous calls, made on the GLib thread so that
// their replies come back there. Relies on glib_loop.cpp and libcallaudio.
//
//   org.mobian_project.CallAudio.SelectMode(1)       -> true   (1: call, 0: default)
//   org.mobian_project.CallAudio.EnableSpeaker(true) -> true
#include "platform/callaudio.h"

#include <gio/gio.h>
#include <libcallaudio.h>

#include <cstdio>

#include "platform/internal.h"

namespace orven::callaudio {

namespace {

bool initialised = false;  // GLib thread only
bool complained = false;   // the stderr line was said (GLib thread only)

bool ready() {
    if (initialised) return true;
    GError* error = nullptr;
    // libcallaudio uses the process's shared session bus connection: it must not end the
    // process with SIGTERM when the session bus goes away (GIO's default). The reference
    // is kept, since GIO makes a new shared connection once the last one is released.
    static GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (session != nullptr) g_dbus_connection_set_exit_on_close(session, FALSE);
    initialised = call_audio_init(&error);
    if (!initialised) {
        internal::trace("callaudio: %s", error ? error->message : "cannot start");
        if (error) g_error_free(error);
    }
    return initialised;
}

void complain(const char* what, GError* error) {
    internal::trace("callaudio: %s failed: %s", what, error ? error->message : "refused");
    if (complained) return;
    complained = true;
    bool absent = error == nullptr ||
                  g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                  g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
    if (absent)
        std::fprintf(stderr,
                     "orven: callaudiod is not running: the call cannot be put on the "
                     "loudspeaker (start it: callaudiod)\n");
    else
        std::fprintf(stderr, "orven: callaudiod refused %s: %s\n", what, error->message);
}

void onMode(gboolean success, GError* error, gpointer data) {
    if (!success) return complain("SelectMode", error);
    complained = false;
    internal::trace("callaudio: mode %s", data != nullptr ? "call" : "default");
}

void onSpeaker(gboolean success, GError* error, gpointer) {
    if (!success) return complain("EnableSpeaker", error);
    complained = false;
    internal::trace("callaudio: loudspeaker on");
}

}  // namespace

void selectCallMode(bool call) {
    if (!ready()) return complain("SelectMode", nullptr);
    // The callback's data only tells the trace which mode it was.
    call_audio_select_mode_async(call ? CALL_AUDIO_MODE_CALL : CALL_AUDIO_MODE_DEFAULT, onMode,
                                 call ? &initialised : nullptr);
}

void enableSpeaker() {
    if (!ready()) return complain("EnableSpeaker", nullptr);
    call_audio_enable_speaker_async(TRUE, onSpeaker, nullptr);
}

}  // namespace orven::callaudio
