#include "cli/PlayCommand.h"

#include "app/DrumMachine.h"
#include "app/LiveHostOptions.h"
#include "cli/RhythmArgs.h"
#include "pattern/Meter.h"
#include "sound/MakeKit.h"
#include "sound/Wakeup.h"

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <unistd.h>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro] [--clock-out]\n";
constexpr double kMaxSeconds = 24.0 * 60.0 * 60.0;

// A signal handler may only touch lock-free values of static storage: whether to stop, and the
// descriptor of the wakeup the main thread sleeps on, so that Ctrl-C ends the sleep at once.
// Atomics, as the handler may run on any of the process's threads. The one place the program
// keeps such values.
std::atomic<bool> interrupted{false};
std::atomic<int> wakeupFd{-1};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
    const int fd = wakeupFd.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(fd, &one, sizeof one);  // async-signal-safe, as the wakeup's own notify
    }
}

// Ctrl-C, `kill` and a closed terminal (SIGHUP) all end playing the clean way while it lasts;
// the previous handlers come back afterwards.
class InterruptGuard {
public:
    InterruptGuard()
    {
        interrupted.store(false);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            previous_[i] = std::signal(kSignals[i], onInterrupt);
    }
    ~InterruptGuard()
    {
        wakeupFd.store(-1);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            std::signal(kSignals[i], previous_[i]);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // From now on a signal also wakes whoever sleeps on `wakeup`, until quiet().
    void wake(const sound::Wakeup& wakeup) { wakeupFd.store(wakeup.fd()); }
    // Before the wakeup goes: its descriptor number may soon belong to another file.
    void quiet() { wakeupFd.store(-1); }

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<void (*)(int), 3> previous_{};
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
    app::Settings playing = settings;
    double seconds = 0.0;
    bool intro = false;
    ArgReader reader(args);
    while (!reader.done()) {
        const std::string_view arg = reader.next();
        if (arg == "--midi") {
            playing.SoundDevice = 1;
        } else if (arg == "--wave") {
            playing.SoundDevice = 0;
        } else if (arg == "--intro") {
            intro = true;
        } else if (arg == "--clock-out") {
            playing.sendMidiClock = true;
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
    // Before any device is opened: a mistyped name ends here.
    const auto rhythm = loadRhythmForCommand("play", *input, err);
    if (!rhythm)
        return 2;
    const bool wave = sound::soundModeFor(playing.SoundDevice) == sound::SoundMode::Wave;
    if (wave && rhythm->SoundSet == "Default") {
        if (auto kit = sound::ensureDefaultKit(settings.SoundDir); !kit)
            printError(err, "play", "warning: " + kit.error().message, kit.error().detail);
    }

    // From here on Ctrl-C ends playing the clean way, even before it has begun.
    InterruptGuard guard;
    auto host = app::openLiveHost(playing);
    playback::LiveHost& live = *host;
    if (!live.notice().empty())
        printError(err, "play", "warning: " + live.notice());
    // The window's drum machine, driven as the window drives it.
    app::DrumMachine machine(playing, std::move(host));
    if (auto loaded = machine.loadRhythm(std::filesystem::path(*input)); !loaded) {
        printError(err, "play", loaded.error().message, loaded.error().detail);
        return 2;
    }
    machine.setIntro(intro);
    const sound::Wakeup& news = *machine.news();
    guard.wake(news);
    if (wave) {
        // The samples load on the loader's thread, so that Ctrl-C ends the wait at once however
        // long odd sample files take.
        if (!live.waitForVoices([] { return interrupted.load(); })) {
            guard.quiet();
            (void)machine.shutdown(app::ViewSetting::Keep);
            out << "taktwerk play: stopped after 0 steps\n";
            return 0;
        }
        (void)reportSilentVoices(err, "play", live.voices(), playedVoices(*rhythm, intro));
    }
    printLibraryNoise(err, "play");

    const playback::LiveHost::OutputInfo output = live.output();
    out << "taktwerk play: \"" << machine.RhythmName() << "\" at " << machine.tempoBpm()
        << " BPM through " << output.backend << " at " << output.sampleRate << " Hz"
        << (wave ? ", WAVE" : ", MIDI");
    if (!output.midiPort.empty())
        out << " to " << output.midiPort;
    out << "; Ctrl-C stops\n" << std::flush;
    machine.run();

    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    const int loopSteps =
        pattern::playbackLoopLength(machine.meter().Interval(), machine.meter().Beats(), false);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    std::uint64_t steps = 0;
    while (!interrupted.load()) {
        // Asleep until a step is played, the host reports, Ctrl-C comes or time is up.
        auto wait = std::chrono::milliseconds(-1);
        if (seconds > 0.0) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero())
                break;
            wait = std::chrono::ceil<std::chrono::milliseconds>(left);
        }
        (void)news.wait(wait);
        sequencer::StepEvent event;
        while (machine.pollEvent(event)) {
            ++steps;
            if (terminal)
                out << '\r' << positionLine(event, loopSteps) << std::flush;
        }
        if (const std::string trouble = machine.playbackTrouble(); !trouble.empty()) {
            if (terminal)
                out << '\n';  // the position line stays, the report goes below it
            printError(err, "play", trouble);
        }
    }
    guard.quiet();
    // Stops, ends every note, lets them reach the receiver and closes the devices. Playing never
    // shows the beginner view, so the view the window starts with stays as it is.
    (void)machine.shutdown(app::ViewSetting::Keep);
    if (terminal)
        out << '\n';
    out << "taktwerk play: stopped after " << steps << " steps";
    if (live.droppedEvents() > 0)
        out << " (" << live.droppedEvents() << " not shown)";
    if (live.lateBlocks() > 0)
        out << ", " << live.lateBlocks() << " dropouts";
    out << '\n';
    printLibraryNoise(err, "play");
    return 0;
}

}  // namespace taktwerk::cli
