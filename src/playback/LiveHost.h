#pragma once
// The one live host: the engine, the live parameters, the step player, the audio output and
// the output watch, wired together here and nowhere else. The window (through the drum
// machine), `taktwerk play`, the soak test and the benchmarks all play through it.
//
// Threads. The owner (GUI thread, or the command line's main thread) makes every call below.
// The output's own thread is the audio thread: it runs the engine, which runs the step player.
// The host's watch thread chooses the output and owns it: it opens the first one, replaces one
// whose device went away (JACK stopped, the PulseAudio server gone, a card unplugged) by the
// null output so that playback goes on, probes now and then for a real one to come back, and
// counts what went wrong. Probing opens audio only: the user's MIDI port is opened once, when
// an output needs it, and handed from output to output, never opened and closed to try. The
// watch thread tells the owner through news() and trouble(); the owner never waits on it.
//
// Outputs come from an injected factory, so tests play into the null output or a private JACK
// server, never through the sound card or MIDI port of the machine they run on.

#include "core/Language.h"
#include "devices/AudioOut.h"
#include "playback/Host.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "playback/ThrottledCount.h"
#include "sound/Engine.h"
#include "sound/MidiInput.h"
#include "sound/VoiceLoader.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace taktwerk::playback {

struct LiveHostOptions {
    sound::SoundMode mode = sound::SoundMode::Wave;
    int clickNote = 37;     // `ClickNote`'s default
    int volume = 100;       // percent, as `Volume`
    bool clockOut = false;  // "Send MIDI clock"
    SyncSource sync = SyncSource::Internal;
    // On JACK, act as the transport's timebase master while playing on our own clock.
    bool timebaseMaster = false;
    // Which pad each note on the MIDI input strikes.
    sound::DrumNoteMap drumNotes = sound::DrumNoteMap::generalMidi();
    sound::SoundChoice sound;
    // The built-in General-MIDI synth's SoundFont; none: MIDI sounds only through a port.
    std::optional<std::filesystem::path> soundFont;
    devices::AudioOutRequest request;
    // How often a lost output is looked for again: often enough that sound is back soon after
    // the server, seldom enough that trying costs nothing noticeable.
    std::chrono::milliseconds probeInterval{2000};
    // Stopped, silent and untouched for this long, the output sleeps (is stopped) so that an
    // idle program costs nothing; zero: it never does. See wake().
    std::chrono::milliseconds sleepAfter{0};
    // Whether each step is queued for popEvent(). `play` writing into a file or a pipe shows
    // none and counts them by stepsPlayed(), asleep until something else happens.
    bool stepEvents = true;
};

class LiveHost final : public Host {
public:
    // Chooses the first output that works (the null output when none does) on the watch
    // thread, builds the voices and the synth for it and starts it. Never fails: what could
    // not be had is said in notice() and the log.
    LiveHost(const LiveHostOptions& options, std::unique_ptr<devices::AudioOutFactory> outputs);
    ~LiveHost() override;
    LiveHost(const LiveHost&) = delete;
    LiveHost& operator=(const LiveHost&) = delete;

    // For the user, once: e.g. "no audio output"; empty when all is well.
    const std::string& notice() const noexcept { return notice_; }
    // The output as it is now, for a status line.
    struct OutputInfo {
        std::string backend;
        std::uint32_t sampleRate = 0;
        std::string midiPort;  // empty: MIDI sounds through the built-in synth
    };
    OutputInfo output() const;
    // Steps the owner did not take in time, and late blocks of every output so far.
    std::uint64_t droppedEvents() const noexcept { return steps_->droppedEvents(); }
    std::uint64_t stepsPlayed() const noexcept { return steps_->stepsPlayed(); }
    // Commands to the audio thread lost to a full queue (the output stalled).
    std::uint64_t lostCommands() const noexcept { return engine_->commandDrops(); }
    std::uint64_t lateBlocks() const noexcept { return lateBlocks_.load(); }
    // Sample sets load on the voice loader's thread while the old set plays on, and so does the
    // built-in synth, the first time MIDI mode needs it; the next call below that finds one
    // ready swaps it in (trouble() does whenever news() wakes the owner). This waits until the
    // set and the synth asked for last sound, or until `stop` says so (false). It does not log
    // what samples could not be loaded: the caller reports that from voices().
    bool waitForVoices(const std::function<bool()>& stop);
    const sound::VoiceSet& voices() const noexcept { return engine_->voices(); }
    // Whether the built-in synth is in memory: it is loaded the first time MIDI mode needs it.
    bool hasSynth() const noexcept { return !engine_->soundFont().empty(); }

    void publish(const sequencer::StepInputs& inputs, int tempoBpm) override;
    void start() override;
    void stop() override;
    bool isRunning() const override;
    void restartPattern() override;
    bool popEvent(sequencer::StepEvent& event) override;
    bool popLiveHit(LiveHit& hit) override;
    const sound::Wakeup& news() const override { return news_; }
    std::string trouble() override;
    bool hasAudioOutput() const override { return audible_.load(std::memory_order_acquire); }
    sound::PadActions hitPad(int track, int button, int velocity, bool beginner) override;
    void click() override;
    void setSound(const sound::SoundChoice& choice) override;
    void setSingleSound(int inSound, const sound::SoundChoice& choice) override;
    void setOutput(int soundDevice, int clickNote) override;
    void setVolume(int percent) override;
    void setClockOut(bool on) override { parameters_.setClockOut(on); }
    void setSync(SyncSource source) override;
    void setMidiPorts(const devices::MidiPortChoice& out,
                      const devices::MidiPortChoice& in) override;
    bool hasSharedTransport() const override;
    void setTimebaseMaster(bool on) override;
    int followedTempoTenths() const override;
    void preview(const std::filesystem::path& file) override;
    void stopPreview() override;
    bool midiFailed() const override { return midiFailed_; }
    int editTom() const override { return engine_->editTom(); }
    void setDrumNoteMap(const sound::DrumNoteMap& map) override { engine_->setDrumNoteMap(map); }
    std::uint32_t heardNoteOn() const override { return engine_->heardNoteOn(); }
    std::uint64_t lostLiveHits() const override { return engine_->liveDrops(); }
    std::string soundProblem() const override;
    void shutdown() override;
    void wake() override;
    // Whether the output sleeps now (see LiveHostOptions::sleepAfter).
    bool isAsleep() const noexcept { return asleep_.load(); }

private:
    // The watch thread's.
    std::string begin(const LiveHostOptions& options);
    void watch();
    std::string watchOutput();
    std::string countTrouble();
    // Gives `out` (stopped) the user's chosen MIDI input port when it reads one through us:
    // `open` when the output before had it open, else opened now.
    void attachMidiInput(devices::AudioOut& out, std::unique_ptr<devices::MidiOrigin> open);
    // Opens a port chosen by name that was missing, once it is there, for outputs that get
    // their ports from us; returns what changed for the user.
    std::string lookForMissingPorts();
    // Lets go of a port chosen by name whose device has gone; returns what the caption says.
    std::string letGoOfVanishedPorts();
    void replaceOutput(std::unique_ptr<devices::AudioOut> next);
    core::Result<void> startOutput();
    void publishOutput();
    // "MIDI port "…" not found" while a chosen port is missing; else empty.
    std::string missingMidiPort() const;
    void foldLateBlocks();
    void post(const std::string& report);
    void sleepOrWake();
    std::string applyMidiPorts();
    void applyTimebaseMaster();
    bool mayStopListening() const;
    // The owner's: swaps in the set and the synth the loader finished, if any, and says in the
    // log what it could not load.
    void installReady(bool logProblems = true);
    // The owner's: has the loader build the built-in synth, unless it has been asked already.
    void requestSynth();

    // Fixed once built; read by every thread.
    std::unique_ptr<devices::AudioOutFactory> outputs_;
    devices::AudioOutRequest request_;  // the rate is the engine's, once chosen
    std::chrono::milliseconds probeInterval_;
    sound::Wakeup news_;
    sound::Wakeup watchWakeup_;  // the watch thread sleeps on it: losses and shutdown wake it
    LiveParameters parameters_;
    std::unique_ptr<sound::Engine> engine_;
    std::unique_ptr<StepPlayer> steps_;
    std::string notice_;
    bool midiFailed_ = false;   // `MidiFailed`: neither an external MIDI port nor the synth
    bool hasMidiPort_ = false;  // the first output had an external MIDI port
    std::optional<std::filesystem::path> soundFont_;  // of the built-in synth
    bool synthRequested_ = false;                     // owner: the loader builds or built it
    bool wave_ = false;                               // owner: the sampled voices sound (not MIDI)
    int silentVoices_ = 0;                            // owner: of the voice set last swapped in

    // The watch thread's: the output (the owner's again once the thread has ended), and when
    // to look for a real one while the null output stands in for a lost device.
    std::unique_ptr<devices::AudioOut> out_;
    bool standingIn_ = false;
    bool timebaseMaster_ = false;  // JACK's lead is taken as an output starts
    std::chrono::steady_clock::time_point nextProbe_{};
    std::chrono::steady_clock::time_point nextPortLook_{};
    std::chrono::steady_clock::time_point lastActive_{};  // of the user or the sound
    // The audio thread's counters, each reported at most once a minute.
    ThrottledCount droppedSteps_{
        core::translatable("%s steps not shown (%s in all; the window fell behind)")};
    ThrottledCount droppedCommands_{
        core::translatable("%s sound commands lost (%s in all; audio stalled)")};
    ThrottledCount droppedMidi_{core::translatable("%s MIDI messages lost (%s in all)")};
    ThrottledCount droppedLive_{core::translatable("%s live hits lost (%s in all)")};
    ThrottledCount xruns_{core::translatable("%s audio blocks late (%s in all)")};
    std::uint32_t countedXruns_ = 0;  // of the current output, in lateBlocks_

    // Crossing from the watch thread to the owner.
    std::atomic<bool> audible_{false};
    std::atomic<std::uint64_t> lateBlocks_{0};
    std::atomic<bool> stopping_{false};
    // Sleeping, the output is stopped and the watch thread alone can start it again. The owner
    // sets activity_ on every touch and wakes the thread once it sees asleep_: both sequentially
    // consistent, so a touch while the thread falls asleep is seen by one side or the other.
    std::chrono::milliseconds sleepAfter_;
    std::atomic<bool> asleep_{false};
    std::atomic<bool> activity_{false};
    mutable std::mutex reportMutex_;  // the watch thread and the owner; never the audio thread
    std::string reports_;
    OutputInfo info_;
    std::string midiProblem_;  // for the caption, while a chosen MIDI port is missing
    // The owner's new choice of ports, until the watch thread takes it.
    std::optional<std::pair<devices::MidiPortChoice, devices::MidiPortChoice>> newMidiPorts_;
    std::optional<bool> newTimebaseMaster_;  // likewise, the lead of the shared transport

    std::thread watcher_;
    bool shutDown_ = false;         // owner only
    std::deque<LiveHit> liveHits_;  // owner only: met in the queue on the way to a step
    // Last of all, so that its thread has stopped before anything it notifies goes.
    std::unique_ptr<sound::VoiceLoader> voices_;
};

}  // namespace taktwerk::playback
