#pragma once
// `taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro]`: live playback in a
// terminal through the first audio output that works (JACK, PulseAudio, ALSA, else a silent
// clock), showing the play position. It drives the window's drum machine and live host as the
// window does: settings from the settings file, the rhythm loaded, RUN pressed. An output that
// goes away is replaced as in the window, and said. Ctrl-C, SIGTERM and SIGHUP (a closed
// terminal) stop cleanly: all notes off, then the streams close. Main thread of the command
// line, asleep until a step is played; the samples load on a loader thread, the output's own
// thread plays.

#include "app/Settings.h"

#include <ostream>
#include <span>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "play". Returns the exit code: 0 after a stop by time or by
// Ctrl-C, 2 for a usage error or an unreadable file.
int runPlay(std::span<const std::string_view> args, const app::Settings& settings,
            std::ostream& out, std::ostream& err);

}  // namespace taktwerk::cli
