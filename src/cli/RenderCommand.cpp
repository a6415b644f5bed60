#include "cli/RenderCommand.h"

#include "cli/OutputTarget.h"
#include "cli/RhythmArgs.h"
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
    "                       [--rate HZ] [--float] [--force]\n";
constexpr long long kMaxLoops = 100000;
constexpr double kMaxSeconds = 24.0 * 60.0 * 60.0;
constexpr long long kMinRate = 8000;
constexpr long long kMaxRate = 192000;
// Renders of more music than this show how far they are.
constexpr double kProgressFromSeconds = 60.0;

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        err << "taktwerk render: " << problem << '\n';
    err << kUsage;
    return 2;
}

}  // namespace

int runRender(std::span<const std::string_view> args, const std::filesystem::path& soundDir,
              std::ostream& out, std::ostream& err)
{
    std::optional<std::string_view> input;
    std::optional<std::string_view> output;
    playback::RenderJob job;
    bool loopsGiven = false;
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
                return usage(err, "--loops needs a whole number from 1 to 100000");
            job.loops = static_cast<int>(*number);
            loopsGiven = true;
        } else if (arg == "--seconds") {
            const auto seconds = reader.value();
            const auto number = seconds ? parsePositive(*seconds, kMaxSeconds) : std::nullopt;
            if (!number)
                return usage(err, "--seconds needs a number of seconds above 0");
            job.seconds = *number;
        } else if (arg == "--rate") {
            const auto rate = reader.value();
            const auto number = rate ? parseWhole(*rate, kMinRate, kMaxRate) : std::nullopt;
            if (!number)
                return usage(err, "--rate needs a sample rate from 8000 to 192000");
            job.sampleRate = static_cast<std::uint32_t>(*number);
        } else if (arg == "--intro") {
            job.intro = true;
        } else if (arg == "--tail") {
            job.tail = true;
        } else if (arg == "--float") {
            job.floatSamples = true;
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
    if (loopsGiven && job.seconds > 0.0)
        return usage(err, "--loops and --seconds exclude each other");

    const auto rhythm = loadRhythmForCommand("render", *input, err);
    if (!rhythm)
        return 2;
    job.rows = rowsOf(*rhythm);
    job.velocities = rhythm->pattern.velocities();
    job.swing = rhythm->swing;
    job.mutes = mutesOf(*rhythm);
    job.tempoBpm = rhythm->Bpm;
    job.interval = rhythm->Interval;
    job.beats = rhythm->Beats;
    job.sound = soundChoiceOf(*rhythm, soundDir);

    if (auto target = checkOutput(std::filesystem::path(*output), std::filesystem::path(*input),
                                  OutputKind::Audio, force);
        !target) {
        printError(err, "render", target.error().message);
        return 2;
    }

    // The default set is made from the system's SoundFont when it is missing, as at the
    // program's first start.
    if (job.sound.soundSet == "Default") {
        if (auto kit = sound::ensureDefaultKit(soundDir); !kit)
            printError(err, "render", "warning: " + kit.error().message, kit.error().detail);
    }
    // Any sample missing would render silence where the rhythm has hits; that must not pass
    // unnoticed, and a render that would hold nothing but silence is refused.
    auto voices = sound::buildVoiceSet(job.sound, static_cast<double>(job.sampleRate));
    const auto played = playedVoices(*rhythm, job.intro);
    if (reportSilentVoices(err, "render", *voices, played) == 0 && !played.empty()) {
        printError(err, "render",
                   "no sample of the rhythm's drums could be loaded from the sample set \"" +
                       job.sound.soundSet + "\"; nothing written");
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
    const auto report = playback::renderWav(job, std::filesystem::path(*output), progress);
    if (showProgress)
        err << '\n';
    if (!report) {
        printError(err, "render", report.error().message, report.error().detail);
        return 2;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f",
                  static_cast<double>(report->frames) / job.sampleRate);
    out << "taktwerk render: wrote \"" << *output << "\": " << report->frames << " frames, "
        << seconds << " s at " << job.sampleRate << " Hz\n";
    return 0;
}

}  // namespace taktwerk::cli
