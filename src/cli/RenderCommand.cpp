#include "cli/RenderCommand.h"

#include "app/Export.h"
#include "cli/CommandOptions.h"
#include "cli/OutputTarget.h"
#include "cli/RhythmArgs.h"
#include "core/Language.h"
#include "playback/OfflineRender.h"
#include "sound/MakeKit.h"

#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk render FILE.rtm -o OUT.wav [--loops N | --seconds S] [--intro] [--tail]\n"
    "                       [--rate HZ] [--float] [--format wav|flac|ogg] [--force]\n";
constexpr long long kMaxLoops = 100000;
constexpr double kMaxSeconds = 24.0 * 60.0 * 60.0;
constexpr long long kMinRate = 8000;
constexpr long long kMaxRate = 192000;
// Renders of more music than this show how far they are.
constexpr double kProgressFromSeconds = 60.0;

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        printError(err, "render", std::string(problem));
    err << kUsage;
    return 2;
}

}  // namespace

int runRender(std::span<const std::string_view> args, const std::filesystem::path& soundDir,
              std::ostream& out, std::ostream& err)
{
    std::string input;
    std::string output;
    std::string loops;
    std::string seconds;
    std::string rate;
    std::string format;
    playback::RenderJob job;
    bool force = false;
    CommandOptions options;
    options.positional("FILE", input);
    options.value("-o,--output", output);
    auto* loopsOption = options.value("--loops", loops);
    auto* secondsOption = options.value("--seconds", seconds);
    CommandOptions::exclusive(loopsOption, secondsOption);
    auto* rateOption = options.value("--rate", rate);
    options.value("--format", format);
    options.flag("--intro", job.intro);
    options.flag("--tail", job.tail);
    options.flag("--float", job.floatSamples);
    options.flag("--force", force);
    if (auto parsed = options.parse(args); !parsed)
        return usage(err, parsed.error().message);
    if (input.empty() || output.empty())
        return usage(err);
    if (CommandOptions::given(loopsOption)) {
        const auto number = parseWhole(loops, 1, kMaxLoops);
        if (!number)
            return usage(err, core::translated("--loops needs a whole number from 1 to 100000"));
        job.loops = static_cast<int>(*number);
    }
    if (CommandOptions::given(secondsOption)) {
        const auto number = parseSeconds(seconds, kMaxSeconds);
        if (!number)
            return usage(err, number.error().message);
        job.seconds = *number;
    }
    if (CommandOptions::given(rateOption)) {
        const auto number = parseWhole(rate, kMinRate, kMaxRate);
        if (!number)
            return usage(err, core::translated("--rate needs a sample rate from 8000 to 192000"));
        job.sampleRate = static_cast<std::uint32_t>(*number);
    }
    const auto type = audioFileType(std::filesystem::path(output), format);
    if (!type)
        return usage(err, type.error().message);
    job.fileType = *type;
    if (job.floatSamples && job.fileType != playback::AudioFileType::Wav)
        return usage(err, core::translated("--float writes WAV files only"));
    const bool toStandardOutput = isStandardOutput(output);
    if (toStandardOutput) {
        if (auto free = checkStandardOutput(); !free)
            return usage(err, free.error().message);
    }

    const auto rhythm = loadRhythmForCommand("render", input, err);
    if (!rhythm)
        return 2;
    {
        // The window's export builds the same job, so both write the same bytes.
        playback::RenderJob made = app::renderJobFor(*rhythm, soundDir);
        made.loops = job.loops;
        made.seconds = job.seconds;
        made.sampleRate = job.sampleRate;
        made.intro = job.intro;
        made.tail = job.tail;
        made.floatSamples = job.floatSamples;
        made.fileType = job.fileType;
        job = std::move(made);
    }

    if (auto target = toStandardOutput
                          ? core::Result<void>{}
                          : checkOutput(std::filesystem::path(output), std::filesystem::path(input),
                                        OutputKind::Audio, force);
        !target) {
        printError(err, "render", target.error().message);
        return 2;
    }

    // The default set is made from the system's SoundFont when it is missing, as at the
    // program's first start.
    if (job.sound.soundSet == "Default") {
        if (auto kit = sound::ensureDefaultKit(soundDir); !kit)
            printError(err, "render", core::translated("warning: %s", {kit.error().message}),
                       kit.error().detail);
    }
    // Any sample missing would render silence where the rhythm has hits; that must not pass
    // unnoticed, and a render that would hold nothing but silence is refused.
    auto voices = sound::buildVoiceSet(job.sound, static_cast<double>(job.sampleRate));
    const auto played = playedVoices(*rhythm, job.intro);
    if (reportSilentVoices(err, "render", *voices, played) == 0 && !played.empty()) {
        printError(err, "render",
                   core::translated("no sample of the rhythm's drums could be loaded from the "
                                    "sample set \"%s\"; nothing written",
                                    {job.sound.soundSet}));
        return 2;
    }
    job.voices = std::move(voices);

    // Only a terminal shows a line that rewrites itself; a log would fill with it.
    const bool showProgress =
        ::isatty(STDERR_FILENO) == 1 &&
        (job.seconds > kProgressFromSeconds ||
         (job.seconds == 0.0 &&
          job.loops * rhythm->Beats * 15.0 / rhythm->Bpm > kProgressFromSeconds));
    int shownPercent = -1;
    const auto progress = [&](double done) {
        const int percent = static_cast<int>(done * 100.0);
        if (!showProgress || percent == shownPercent)
            return;
        shownPercent = percent;
        err << "\rtaktwerk render: " << percent << " %" << std::flush;
    };
    const auto report = toStandardOutput
                            ? playback::renderToDescriptor(
                                  job, STDOUT_FILENO, core::translated("standard output"), progress)
                            : playback::renderWav(job, std::filesystem::path(output), progress);
    if (showProgress)
        err << '\n';
    if (!report) {
        printError(err, "render", report.error().message, report.error().detail);
        return 2;
    }
    char length[32];
    std::snprintf(length, sizeof length, "%.3f",
                  static_cast<double>(report->frames) / job.sampleRate);
    // Standard output carries the file itself; the report goes beside it.
    std::ostream& told = toStandardOutput ? err : out;
    told << "taktwerk render: "
         << core::translated("wrote \"%s\": %s frames, %s s at %s Hz",
                             {toStandardOutput ? core::translated("standard output") : output,
                              std::to_string(report->frames), length,
                              std::to_string(job.sampleRate)})
         << '\n';
    return 0;
}

}  // namespace taktwerk::cli
