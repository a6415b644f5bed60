#include "cli/PlayCommand.h"

#include "app/DrumMachine.h"
#include "app/LiveHostOptions.h"
#include "cli/CommandOptions.h"
#include "cli/RhythmArgs.h"
#include "core/Language.h"
#include "pattern/Meter.h"
#include "sound/MakeKit.h"
#include "sound/Wakeup.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <tuple>
#include <unistd.h>

namespace taktwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: taktwerk play FILE.rtm [--midi | --wave] [--seconds S] [--intro] [--clock-out]\n"
    "                     [--sync internal|midi|jack] [--jack-timebase] [--midi-out PORT|none]\n"
    "                     [--midi-in PORT|none]\n";
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
        printError(err, "play", std::string(problem));
    err << kUsage;
    return 2;
}

// One line that shows where the loop is: the played step as "X" among the loop's steps.
std::string positionLine(const sequencer::StepEvent& step, int loopSteps)
{
    constexpr std::size_t kLabelWidth = 14;  // "Schritt 128/128" fits, with a blank
    if (step.kind == sequencer::StepEvent::Kind::CountIn) {
        std::string line = core::translated("count-in %s", {std::to_string(step.introStep)});
        line.resize(kLabelWidth + static_cast<std::size_t>(loopSteps), ' ');
        return line;
    }
    std::string line =
        core::translated("step %s/%s", {std::to_string(step.step + 1), std::to_string(loopSteps)});
    line.resize(std::max(kLabelWidth, line.size() + 1), ' ');
    for (int column = 0; column < loopSteps; ++column)
        line += column == step.step ? 'X' : '.';
    return line;
}

}  // namespace

int runPlay(std::span<const std::string_view> args, const app::Settings& settings,
            std::ostream& out, std::ostream& err)
{
    std::string input;
    std::string secondsText;
    app::Settings playing = settings;
    double seconds = 0.0;
    bool intro = false;
    bool midi = false;
    bool wave = false;
    CommandOptions options;
    options.positional("FILE", input);
    auto* midiOption = options.flag("--midi", midi);
    CommandOptions::exclusive(midiOption, options.flag("--wave", wave));
    auto* secondsOption = options.value("--seconds", secondsText);
    options.flag("--intro", intro);
    options.flag("--clock-out", playing.sendMidiClock);
    std::string syncText;
    auto* syncOption = options.value("--sync", syncText);
    options.flag("--jack-timebase", playing.jackTimebase);
    std::string midiOutText;
    std::string midiInText;
    auto* midiOutOption = options.value("--midi-out", midiOutText);
    auto* midiInOption = options.value("--midi-in", midiInText);
    if (auto parsed = options.parse(args); !parsed)
        return usage(err, parsed.error().message);
    for (auto [option, text, name, choice] :
         {std::tuple{midiOutOption, &midiOutText, "--midi-out", &playing.midiOut},
          std::tuple{midiInOption, &midiInText, "--midi-in", &playing.midiIn}}) {
        if (!CommandOptions::given(option))
            continue;
        // An empty name would match no port and silence the notes without a word.
        if (text->empty())
            return usage(err, core::translated("%s takes a port's name or none", {name}));
        *choice = *text == devices::kNoMidiPort ? devices::MidiPortChoice::none()
                                                : devices::MidiPortChoice::named(*text);
    }
    if (CommandOptions::given(syncOption)) {
        if (syncText == "midi")
            playing.sync = playback::SyncSource::MidiClock;
        else if (syncText == "jack")
            playing.sync = playback::SyncSource::JackTransport;
        else if (syncText == "internal")
            playing.sync = playback::SyncSource::Internal;
        else
            return usage(err, core::translated("--sync takes internal, midi or jack, not \"%s\"",
                                               {syncText}));
    }
    // Leading the transport while following a master would lead in a circle.
    if (CommandOptions::given(syncOption) && playing.sync != playback::SyncSource::Internal &&
        playing.jackTimebase)
        return usage(err, core::translated("--jack-timebase leads the JACK transport, --sync %s "
                                           "follows a master: choose one",
                                           {syncText}));
    if (input.empty())
        return usage(err);
    if (CommandOptions::given(secondsOption)) {
        const auto number = parseSeconds(secondsText, kMaxSeconds);
        if (!number)
            return usage(err, number.error().message);
        seconds = *number;
    }
    if (midi)
        playing.SoundDevice = 1;
    if (wave)
        playing.SoundDevice = 0;
    // Before any device is opened: a mistyped name ends here.
    const auto rhythm = loadRhythmForCommand("play", input, err);
    if (!rhythm)
        return 2;
    const bool sampled = sound::soundModeFor(playing.SoundDevice) == sound::SoundMode::Wave;
    if (sampled && rhythm->SoundSet == "Default") {
        if (auto kit = sound::ensureDefaultKit(settings.SoundDir); !kit)
            printError(err, "play", core::translated("warning: %s", {kit.error().message}),
                       kit.error().detail);
    }

    // From here on Ctrl-C ends playing the clean way, even before it has begun.
    InterruptGuard guard;
    // Only a terminal shows where playing stands; into a file or a pipe each step would wake
    // this thread for nothing, and the steps are counted for the final line anyway.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    auto host = app::openLiveHost(playing, {}, terminal);
    playback::LiveHost& live = *host;
    if (!live.notice().empty())
        printError(err, "play", core::translated("warning: %s", {live.notice()}));
    // Before anything plays: waiting for a transport that is not there would play nothing.
    if (playing.sync == playback::SyncSource::JackTransport && !live.hasSharedTransport()) {
        printError(err, "play",
                   core::translated("the JACK transport can only be followed through JACK, and "
                                    "the sound goes out through %s",
                                    {live.output().backend}));
        return 2;
    }
    // The window's drum machine, driven as the window drives it.
    app::DrumMachine machine(playing, std::move(host));
    if (auto loaded = machine.loadRhythm(std::filesystem::path(input)); !loaded) {
        printError(err, "play", loaded.error().message, loaded.error().detail);
        return 2;
    }
    machine.setIntro(intro);
    const sound::Wakeup& news = *machine.news();
    guard.wake(news);
    if (sampled) {
        // The samples load on the loader's thread, so that Ctrl-C ends the wait at once however
        // long odd sample files take.
        if (!live.waitForVoices([] { return interrupted.load(); })) {
            guard.quiet();
            (void)machine.shutdown(app::ViewSetting::Keep);
            out << "taktwerk play: " << core::translated("stopped after %s steps", {"0"}) << '\n';
            return 0;
        }
        (void)reportSilentVoices(err, "play", live.voices(), playedVoices(*rhythm, intro));
    }
    printLibraryNoise(err, "play");

    const playback::LiveHost::OutputInfo output = live.output();
    const std::string name = machine.RhythmName();
    const std::string tempo = std::to_string(machine.tempoBpm());
    const std::string rate = std::to_string(output.sampleRate);
    const std::string_view mode = sampled ? "WAVE" : "MIDI";
    out << "taktwerk play: "
        << (output.midiPort.empty()
                ? core::translated("\"%s\" at %s BPM through %s at %s Hz, %s; Ctrl-C stops",
                                   {name, tempo, output.backend, rate, mode})
                : core::translated("\"%s\" at %s BPM through %s at %s Hz, %s to %s; Ctrl-C stops",
                                   {name, tempo, output.backend, rate, mode, output.midiPort}))
        << '\n'
        << std::flush;
    if (machine.syncSource() == playback::SyncSource::JackTransport)
        out << "taktwerk play: " << core::translated("following the JACK transport") << '\n'
            << std::flush;
    else if (machine.isFollowing())
        out << "taktwerk play: "
            << core::translated("waiting for the MIDI clock's Start on %s", {"Taktwerk:midi_in"})
            << '\n'
            << std::flush;
    else
        machine.run();

    const int loopSteps =
        pattern::playbackLoopLength(machine.meter().Interval(), machine.meter().Beats(), false);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
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
        while (machine.pollEvent(event))
            out << '\r' << positionLine(event, loopSteps) << std::flush;
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
    out << "taktwerk play: "
        << core::translated("stopped after %s steps", {std::to_string(live.stepsPlayed())});
    if (live.droppedEvents() > 0)
        out << core::translated(" (%s not shown)", {std::to_string(live.droppedEvents())});
    if (live.lateBlocks() > 0)
        out << core::translated(", %s dropouts", {std::to_string(live.lateBlocks())});
    if (live.lostLiveHits() > 0)
        out << core::translated(", %s live hits lost", {std::to_string(live.lostLiveHits())});
    out << '\n';
    printLibraryNoise(err, "play");
    return 0;
}

}  // namespace taktwerk::cli
