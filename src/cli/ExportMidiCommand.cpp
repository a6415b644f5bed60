#include "cli/ExportMidiCommand.h"

#include "app/Export.h"
#include "cli/CommandOptions.h"
#include "cli/OutputTarget.h"
#include "cli/RhythmArgs.h"
#include "core/AtomicFile.h"
#include "core/Descriptors.h"
#include "core/Language.h"
#include "sound/MidiFile.h"

#include <optional>
#include <string>
#include <unistd.h>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk export-midi FILE.rtm -o OUT.mid [--loops N] [--force]\n";
constexpr long long kMaxLoops = 10000;

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        printError(err, "export-midi", std::string(problem));
    err << kUsage;
    return 2;
}

}  // namespace

int runExportMidi(std::span<const std::string_view> args, std::ostream& out, std::ostream& err)
{
    std::string input;
    std::string output;
    std::string loops;
    sound::MidiFileJob job;
    bool force = false;
    CommandOptions options;
    options.positional("FILE", input);
    options.value("-o,--output", output);
    auto* loopsOption = options.value("--loops", loops);
    options.flag("--force", force);
    if (auto parsed = options.parse(args); !parsed)
        return usage(err, parsed.error().message);
    if (input.empty() || output.empty())
        return usage(err);
    if (CommandOptions::given(loopsOption)) {
        const auto number = parseWhole(loops, 1, kMaxLoops);
        if (!number)
            return usage(err, core::translated("--loops needs a whole number from 1 to 10000"));
        job.loops = static_cast<int>(*number);
    }

    const auto rhythm = loadRhythmForCommand("export-midi", input, err);
    if (!rhythm)
        return 2;
    const bool toStandardOutput = isStandardOutput(output);
    if (toStandardOutput) {
        if (auto free = checkStandardOutput(); !free)
            return usage(err, free.error().message);
    }
    if (auto target = toStandardOutput
                          ? core::Result<void>{}
                          : checkOutput(std::filesystem::path(output), std::filesystem::path(input),
                                        OutputKind::Midi, force);
        !target) {
        printError(err, "export-midi", target.error().message);
        return 2;
    }
    {
        // The window's export builds the same job, so both write the same bytes.
        const int loops = job.loops;
        job = app::midiJobFor(*rhythm);
        job.loops = loops;
    }
    const std::string bytes = sound::midiFileBytes(job);
    if (toStandardOutput) {
        if (auto written = core::writeAll(STDOUT_FILENO, bytes); !written) {
            printError(err, "export-midi",
                       core::translated("The file \"%s\" could not be written to the end.",
                                        {core::translated("standard output")}),
                       written.error().detail);
            return 2;
        }
    } else if (auto written = core::replaceFile(std::filesystem::path(output), bytes); !written) {
        printError(err, "export-midi", written.error().message, written.error().detail);
        return 2;
    }
    // Standard output carries the file itself; the report goes beside it.
    std::ostream& told = toStandardOutput ? err : out;
    told << "taktwerk export-midi: "
         << core::translated("wrote \"%s\": %s loops at %s BPM",
                             {toStandardOutput ? core::translated("standard output") : output,
                              std::to_string(job.loops), std::to_string(rhythm->Bpm)})
         << '\n';
    return 0;
}

}  // namespace taktwerk::cli
