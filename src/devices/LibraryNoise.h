#pragma once
// What the C libraries underneath print to the terminal on their own: ALSA's error handler
// (ten lines on a machine without a sound card), FluidSynth's log and GLib's log (CRITICAL
// lines for a broken SoundFont). Caught here and counted, and handed to the program as one line
// per library, so the user reads our messages instead of the libraries' internals.
// The hooks are process-wide, as the libraries keep them: catchLibraryNoise() is called once
// at start on the main thread. The hooks may run on any thread, the audio thread included, and
// neither lock nor allocate; takeLibraryNoise() belongs to the main (GUI) thread.

#include <string>
#include <vector>

namespace taktwerk::devices {

void catchLibraryNoise();

// One line per library that spoke since the last call, e.g. "ALSA: cannot find card '0' (and
// 9 more messages)"; empty when none did.
std::vector<std::string> takeLibraryNoise();

}  // namespace taktwerk::devices
