// Call audio through callaudiod (libcallaudio, on the session bus): the call mode while a
// call is answered, and the loudspeaker. Called on the GLib thread only (glib_loop.h);
// each call returns at once and traces its result. A callaudiod that does not answer is
// said once on stderr.
#pragma once

namespace orven::callaudio {

// Routes the modem's audio for a call (true) or back to the default (false).
void selectCallMode(bool call);
// Puts the call on the loudspeaker.
void enableSpeaker();

}  // namespace orven::callaudio
