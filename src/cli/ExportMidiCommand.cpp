#include "cli/ExportMidiCommand.h"

#include "cli/OutputTarget.h"
#include "cli/RhythmArgs.h"
#include "core/AtomicFile.h"
#include "sound/MidiFile.h"

#include <optional>
#include <string>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk export-midi FILE.rtm -o OUT.mid [--loops N] [--force]\n";
constexpr long long kMaxLoops = 10000;

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        err << "taktwerk export-midi: " << problem << '\n';
    err << kUsage;
    return 2;
}

}  // namespace

int runExportMidi(std::span<const std::string_view> args, std::ostream& out, std::ostream& err)
{
    std::optional<std::string_view> input;
    std::optional<std::string_view> output;
    sound::MidiFileJob job;
    bool force = false;
    ArgReader reader(args);
    while (!reader.done()) {
        const std::string_view arg = reader.next();
        if (arg == "-o" || arg == "--output") {
            output = reader.value();
            if (!output)
                return usage(err, "-o needs a file name");
        } else if (arg == "--loops") {
            const auto loops = reader.value();
            const auto number = loops ? parseWhole(*loops, 1, kMaxLoops) : std::nullopt;
            if (!number)
                return usage(err, "--loops needs a whole number from 1 to 10000");
            job.loops = static_cast<int>(*number);
        } else if (arg == "--force") {
            force = true;
        } else if (!arg.starts_with("-") && !input) {
            input = arg;
        } else {
            return usage(err, "unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (!input || !output)
        return usage(err);

    const auto rhythm = loadRhythmForCommand("export-midi", *input, err);
    if (!rhythm)
        return 2;
    if (auto target = checkOutput(std::filesystem::path(*output), std::filesystem::path(*input),
                                  OutputKind::Midi, force);
        !target) {
        printError(err, "export-midi", target.error().message);
        return 2;
    }
    job.name = rhythm->name;
    job.rows = rowsOf(*rhythm);
    job.velocities = rhythm->pattern.velocities();
    job.swing = rhythm->swing;
    job.mutes = mutesOf(*rhythm);
    job.tempoBpm = rhythm->Bpm;
    job.interval = rhythm->Interval;
    job.beats = rhythm->Beats;
    const std::string bytes = sound::midiFileBytes(job);
    if (auto written = core::replaceFile(std::filesystem::path(*output), bytes); !written) {
        printError(err, "export-midi", written.error().message, written.error().detail);
        return 2;
    }
    out << "taktwerk export-midi: wrote \"" << *output << "\": " << job.loops << " loops at "
        << rhythm->Bpm << " BPM\n";
    return 0;
}

}  // namespace taktwerk::cli
