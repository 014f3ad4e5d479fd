// callaudiod's client: libcallaudio's asynchronous calls, made on the GLib thread so that
// their replies come back there. Relies on glib_loop.cpp and libcallaudio.
//
//   org.mobian_project.CallAudio.SelectMode(1)       -> true   (1: call, 0: default)
//   org.mobian_project.CallAudio.EnableSpeaker(true) -> true
#include "platform/callaudio.h"

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
    std::fprintf(stderr, "orven: callaudiod did not answer (%s): the call audio stays as it is\n",
                 error ? error->message : "refused");
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
