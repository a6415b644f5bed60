#include "cli/PlayCommand.h"

#include "cli/RhythmArgs.h"
#include "devices/AudioOut.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "sound/Engine.h"
#include "sound/GmSynth.h"
#include "sound/MakeKit.h"
#include "sound/Pads.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro]\n";
constexpr double kMaxSeconds = 24.0 * 60.0 * 60.0;
// How often the terminal learns the play position: faster than the fastest step (33 ms).
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// After STOP and all notes off, the output runs this long so the note-offs reach a receiver.
constexpr auto kLetNotesOffOut = std::chrono::milliseconds(100);

// A signal handler may only touch a lock-free flag of static storage; this is the one place
// the program keeps such a value.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) { interrupted = 1; }

// Puts the previous handlers back when playing ends.
class InterruptGuard {
public:
    InterruptGuard()
    {
        interrupted = 0;
        previousInt_ = std::signal(SIGINT, onInterrupt);
        previousTerm_ = std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptGuard()
    {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previousInt_)(int) = SIG_DFL;
    void (*previousTerm_)(int) = SIG_DFL;
};

int usage(std::ostream& err, std::string_view problem = {})
{
    if (!problem.empty())
        err << "taktwerk play: " << problem << '\n';
    err << kUsage;
    return 2;
}

// One line that shows where the loop is: the played step as "X" among the loop's steps.
std::string positionLine(const sequencer::StepEvent& step, int loopSteps)
{
    if (step.kind == sequencer::StepEvent::Kind::CountIn)
        return "count-in " + std::to_string(step.introStep) +
               std::string(static_cast<std::size_t>(loopSteps) + 8, ' ');
    std::string line = "step " + std::to_string(step.step + 1) + "/" + std::to_string(loopSteps);
    line.resize(12, ' ');
    for (int column = 0; column < loopSteps; ++column)
        line += column == step.step ? 'X' : '.';
    return line;
}

}  // namespace

int runPlay(std::span<const std::string_view> args, const app::Settings& settings,
            std::ostream& out, std::ostream& err)
{
    std::optional<std::string_view> input;
    sound::SoundMode mode = sound::soundModeFor(settings.SoundDevice);
    double seconds = 0.0;
    bool intro = false;
    ArgReader reader(args);
    while (!reader.done()) {
        const std::string_view arg = reader.next();
        if (arg == "--midi") {
            mode = sound::SoundMode::Midi;
        } else if (arg == "--wave") {
            mode = sound::SoundMode::Wave;
        } else if (arg == "--intro") {
            intro = true;
        } else if (arg == "--seconds") {
            const auto value = reader.value();
            const auto number = value ? parsePositive(*value, kMaxSeconds) : std::nullopt;
            if (!number)
                return usage(err, "--seconds needs a number of seconds above 0");
            seconds = *number;
        } else if (!arg.starts_with("-") && !input) {
            input = arg;
        } else {
            return usage(err, "unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (!input)
        return usage(err);
    const auto rhythm = loadRhythmForCommand("play", *input, err);
    if (!rhythm)
        return 2;

    // From here on Ctrl-C ends playing the clean way, even before it has begun.
    InterruptGuard guard;
    devices::OpenedAudioOut opened = devices::openAudioOut();
    devices::AudioOut& output = *opened.out;
    if (!opened.notice.empty())
        printError(err, "play", "warning: " + opened.notice);

    sound::Engine engine(static_cast<double>(output.sampleRate()));
    engine.setMode(mode);
    engine.setBeginner(false);
    engine.setClickNote(settings.ClickNote);
    if (mode == sound::SoundMode::Wave) {
        if (rhythm->SoundSet == "Default") {
            if (auto kit = sound::ensureDefaultKit(settings.SoundDir); !kit)
                printError(err, "play", "warning: " + kit.error().message, kit.error().detail);
        }
        engine.SetSound(soundChoiceOf(*rhythm, settings.SoundDir));
    } else if (const auto soundFont = sound::findSoundFont()) {
        // Sounds MIDI mode while no external receiver takes the notes.
        if (auto synth = engine.loadSynth(*soundFont); !synth)
            printError(err, "play", "warning: " + synth.error().message, synth.error().detail);
    }

    playback::LiveParameters parameters;
    {
        playback::LiveParameters::Batch batch(parameters);
        parameters.setRows(rhythm->pattern);  // with its velocities
        parameters.setSwing(rhythm->swing);
        parameters.setMutes(mutesOf(*rhythm));
        parameters.setTempo(rhythm->Bpm);
        parameters.setMeter(rhythm->Interval, rhythm->Beats);
        parameters.setIntro(intro);
        parameters.setBeginner(false);
    }
    playback::StepPlayer playback(parameters, output.sampleRate());
    engine.setStepSource(&playback);

    if (auto started = output.start(engine); !started) {
        printError(err, "play", started.error().message, started.error().detail);
        return 1;
    }
    out << "taktwerk play: \"" << rhythm->name << "\" at " << rhythm->Bpm << " BPM through "
        << output.backendName() << " at " << output.sampleRate() << " Hz"
        << (mode == sound::SoundMode::Midi ? ", MIDI" : ", WAVE");
    if (const std::string port = output.midiPortName(); !port.empty())
        out << " to " << port;
    out << "; Ctrl-C stops\n" << std::flush;
    parameters.run();

    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    const int loopSteps = pattern::playbackLoopLength(rhythm->Interval, rhythm->Beats, false);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    std::uint64_t steps = 0;
    int code = 0;
    while (interrupted == 0 && (seconds == 0.0 || std::chrono::steady_clock::now() < deadline)) {
        engine.collectGarbage();
        playback::PlaybackEvent event;
        while (playback.events().pop(event)) {
            ++steps;
            if (terminal)
                out << '\r' << positionLine(event.step, loopSteps) << std::flush;
        }
        if (output.deviceLost()) {
            printError(err, "play", "Die Audioausgabe ist weggefallen.");
            code = 1;
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    parameters.stop();
    engine.allNotesOff();
    std::this_thread::sleep_for(kLetNotesOffOut);
    output.stop();
    engine.setStepSource(nullptr);
    if (terminal)
        out << '\n';
    out << "taktwerk play: stopped after " << steps << " steps";
    if (playback.droppedEvents() > 0)
        out << " (" << playback.droppedEvents() << " not shown)";
    if (output.xruns() > 0)
        out << ", " << output.xruns() << " dropouts";
    out << '\n';
    return code;
}

}  // namespace taktwerk::cli
