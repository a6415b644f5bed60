#include "cli/PortsCommand.h"

#include "cli/CommandOptions.h"
#include "cli/RhythmArgs.h"
#include "core/Language.h"

namespace taktwerk::cli {

namespace {

void printList(std::ostream& out, const char* heading, const devices::MidiPortList& list)
{
    out << core::translated(heading, {list.jack ? "JACK" : "ALSA"}) << '\n';
    if (list.names.empty())
        out << "  " << core::translated("(none found)") << '\n';
    for (const std::string& name : list.names)
        out << "  " << name << '\n';
}

}  // namespace

void printPorts(std::ostream& out, const devices::MidiPortList& outputs,
                const devices::MidiPortList& inputs)
{
    printList(out, core::translatable("MIDI outputs (%s), for --midi-out:"), outputs);
    printList(out, core::translatable("MIDI inputs (%s), for --midi-in:"), inputs);
}

int runPorts(std::span<const std::string_view> args, std::ostream& out, std::ostream& err)
{
    CommandOptions options;
    if (auto parsed = options.parse(args); !parsed) {
        printError(err, "ports", parsed.error().message);
        err << "usage: taktwerk ports\n";
        return 2;
    }
    printPorts(out, devices::listMidiPorts(devices::MidiDirection::Output),
               devices::listMidiPorts(devices::MidiDirection::Input));
    return 0;
}

}  // namespace taktwerk::cli
