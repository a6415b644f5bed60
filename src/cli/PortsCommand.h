#pragma once
// `taktwerk ports`: the MIDI ports `play --midi-out` and `--midi-in` (and the settings) can
// name, each by the full name they take. Main thread of the command line.

#include "devices/MidiPorts.h"

#include <ostream>
#include <span>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "ports". Returns the process's exit code: 0, or 2 for a usage
// error.
int runPorts(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

// The listing of both directions, one port a line, indented, so that a name with blanks or
// colons can be copied whole.
void printPorts(std::ostream& out, const devices::MidiPortList& outputs,
                const devices::MidiPortList& inputs);

}  // namespace taktwerk::cli
