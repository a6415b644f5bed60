#pragma once
// `taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro]`: live playback in a
// terminal through the first audio output that works (JACK, PulseAudio, ALSA, else a silent
// clock), showing the play position. Ctrl-C, SIGTERM and SIGHUP stop cleanly: all notes off,
// then the streams close, and the last line says how far it played. Main thread of the command
// line; the output's own thread plays, and the samples load on a loader thread.

#include "app/Settings.h"

#include <ostream>
#include <span>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "play". Returns the exit code: 0 after a stop by time or by
// Ctrl-C, 2 for a usage error or an unreadable file, 1 when the output failed.
int runPlay(std::span<const std::string_view> args, const app::Settings& settings,
            std::ostream& out, std::ostream& err);

}  // namespace taktwerk::cli
