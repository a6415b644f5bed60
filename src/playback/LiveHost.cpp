#include "playback/LiveHost.h"

#include "core/Paths.h"
#include "devices/LibraryNoise.h"
#include "devices/TimedMidi.h"

#include <algorithm>
#include <exception>
#include <future>
#include <iostream>

namespace taktwerk::playback {

namespace {

// How often the audio thread's counters are looked at while all is well: a late block or a
// lost step reaches the log within a second, and an idle program wakes once a second at most.
constexpr auto kReportInterval = std::chrono::seconds(1);
// After "all notes off" the output runs this many blocks more, so the note-offs reach the
// receiver before the stream closes.
constexpr int kNotesOffBlocks = 3;

void log(const std::string& message, const std::string& detail = {})
{
    std::clog << "taktwerk: " << message << (detail.empty() ? "" : " (" + detail + ")") << '\n';
}

}  // namespace

LiveHost::LiveHost(const LiveHostOptions& options,
                   std::unique_ptr<devices::AudioOutFactory> outputs)
    : outputs_(std::move(outputs)), request_(options.request),
      probeInterval_(options.probeInterval), timebaseMaster_(options.timebaseMaster),
      sleepAfter_(options.sleepAfter)
{
    std::promise<std::string> ready;
    std::future<std::string> noticed = ready.get_future();
    watcher_ = std::thread([this, options, ready = std::move(ready)]() mutable {
        try {
            ready.set_value(begin(options));
        } catch (...) {
            ready.set_exception(std::current_exception());
            return;
        }
        watch();
    });
    try {
        notice_ = noticed.get();
    } catch (...) {
        watcher_.join();
        throw;
    }
}

LiveHost::~LiveHost() { shutdown(); }

// ---------------------------------------------------------------- watch thread

std::string LiveHost::begin(const LiveHostOptions& options)
{
    devices::OpenedAudioOut opened = devices::openAudioOut(*outputs_, request_);
    for (const std::string& detail : opened.details)
        log(detail);
    out_ = std::move(opened.out);
    std::string notice = opened.notice;
    // The engine and the step clock run at the rate of the first output for good; a later one
    // must offer the same.
    request_.sampleRate = out_->sampleRate();

    engine_ = std::make_unique<sound::Engine>(static_cast<double>(request_.sampleRate));
    engine_->setMode(options.mode);
    engine_->setClickNote(options.clickNote);
    engine_->setVolume(options.volume);
    parameters_.setClockOut(options.clockOut);
    parameters_.setSync(options.sync);
    engine_->setDrumNoteMap(options.drumNotes);
    wave_ = options.mode == sound::SoundMode::Wave;
    // Loaded on the loader's thread: odd sample files may take a second each, and the window
    // must open and play (silently) meanwhile.
    voices_ =
        std::make_unique<sound::VoiceLoader>(static_cast<double>(request_.sampleRate), &news_);
    voices_->requestSet(options.sound);
    soundFont_ = options.soundFont;
    if (options.mode == sound::SoundMode::Midi)
        requestSynth();
    // MIDI notes sound through an external port or the built-in synth; with neither, MIDI
    // cannot be chosen. Whether a font that is there can be read is known once the synth has
    // loaded (installReady).
    hasMidiPort_ = !out_->midiPortName().empty();
    std::error_code error;
    midiFailed_ =
        !(soundFont_ && std::filesystem::is_regular_file(*soundFont_, error)) && !hasMidiPort_;
    steps_ = std::make_unique<StepPlayer>(parameters_, request_.sampleRate, &news_);
    steps_->setStepEvents(options.stepEvents);
    engine_->setStepSource(steps_.get());
    if (auto started = startOutput(); !started && notice.empty())
        notice = started.error().message;
    if (notice.empty())
        notice = missingMidiPort();
    return notice;
}

void LiveHost::watch()
{
    lastActive_ = std::chrono::steady_clock::now();
    while (!stopping_.load(std::memory_order_acquire)) {
        auto wait = standingIn_ ? std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               nextProbe_ - std::chrono::steady_clock::now()),
                                           std::chrono::milliseconds(0))
                                : std::chrono::milliseconds(kReportInterval);
        // Awake, it looks for quiet at least twice within the time asked for. Asleep, it waits
        // without a timeout: the owner's wake(), a lost device and shutdown rouse it, nothing
        // else can happen meanwhile (no audio thread runs to count trouble), and on some
        // virtual machines even one timed wakeup a second costs more than the target of an
        // idle program.
        if (sleepAfter_.count() > 0 && !asleep_.load())
            wait = std::min(wait, sleepAfter_ / 2);
        if (asleep_.load())
            wait = std::chrono::milliseconds(-1);
        (void)watchWakeup_.wait(wait);
        if (stopping_.load(std::memory_order_acquire))
            break;
        std::string report = watchOutput();
        if (const std::string ports = applyMidiPorts(); !ports.empty())
            report += (report.empty() ? "" : "; ") + ports;
        applyTimebaseMaster();
        if (const std::string found = lookForMissingPorts(); !found.empty())
            report += (report.empty() ? "" : "; ") + found;
        if (const std::string midi = out_->reconnectMidi(); !midi.empty()) {
            report += (report.empty() ? "" : "; ") + midi;
            const std::lock_guard lock(reportMutex_);
            midiProblem_ = missingMidiPort();
        }
        sleepOrWake();
        if (const std::string counted = countTrouble(); !counted.empty())
            report += (report.empty() ? "" : "; ") + counted;
        if (!report.empty())
            post(report);
    }
}

std::string LiveHost::watchOutput()
{
    if (out_->deviceLost()) {
        const std::string lost(out_->backendName());
        replaceOutput(outputs_->openNull(request_));
        asleep_.store(false);  // the stand-in was started; it may fall asleep in its turn
        standingIn_ = true;
        nextProbe_ = std::chrono::steady_clock::now() + probeInterval_;
        return core::translated("%s went away: %s",
                                {lost, core::translated(devices::kNoAudioOutputNotice)});
    }
    if (!standingIn_ || asleep_.load() || std::chrono::steady_clock::now() < nextProbe_)
        return {};
    nextProbe_ = std::chrono::steady_clock::now() + probeInterval_;
    auto tried = devices::probeAudioOut(*outputs_, request_);
    // The engine and the step clock run at the rate they were built for; an output at another
    // rate would play everything at the wrong pitch and tempo.
    if (!tried || (*tried)->sampleRate() != request_.sampleRate)
        return {};
    replaceOutput(std::move(*tried));
    standingIn_ = false;
    return core::translated("audio output back: %s", {out_->backendName()});
}

std::string LiveHost::applyMidiPorts()
{
    std::optional<std::pair<devices::MidiPortChoice, devices::MidiPortChoice>> ports;
    {
        const std::lock_guard lock(reportMutex_);
        ports.swap(newMidiPorts_);
    }
    if (!ports)
        return {};
    const bool otherInput = !(ports->second == request_.midiIn);
    request_.midiOut = std::move(ports->first);
    request_.midiIn = std::move(ports->second);
    if (!out_->chooseMidiPorts(request_.midiOut, request_.midiIn)) {
        // The user's port is the attached destination's: it may be handed over only while the
        // output is stopped, and closing it ends its notes.
        const bool running = out_->isRunning();
        out_->stop();
        out_->detachMidi().reset();
        if (request_.midiOut.kind != devices::MidiPortChoice::Kind::None) {
            if (auto opened = outputs_->openMidi(request_.clientName, request_.midiOut))
                (void)out_->attachMidi(std::move(*opened));  // stopped, so always taken
            else
                log("MIDI: " + opened.error().message, opened.error().detail);
        }
        // The input port stays open unless another was chosen: a controller keeps its place.
        std::unique_ptr<devices::MidiOrigin> input = out_->detachMidiInput();
        if (otherInput)
            input.reset();
        attachMidiInput(*out_, std::move(input));
        if (running)
            (void)startOutput();
    }
    publishOutput();
    return missingMidiPort();
}

void LiveHost::applyTimebaseMaster()
{
    std::optional<bool> lead;
    {
        const std::lock_guard lock(reportMutex_);
        lead.swap(newTimebaseMaster_);
    }
    if (!lead || *lead == timebaseMaster_)
        return;
    timebaseMaster_ = *lead;
    // JACK hands the lead over only as a client starts (and takes it back as it stops), so a
    // running JACK output starts again, bringing its connections back; a stopped or sleeping
    // one takes the choice at its next start, and other outputs have no transport to lead.
    if (!out_->isRunning() || !devices::hasSharedTransport(out_->backendName()))
        return;
    out_->stop();
    (void)startOutput();  // a failure is logged there, and the lost device is noticed next
}

bool LiveHost::mayStopListening() const
{
    // Someone may play the pads over MIDI or follow our clock at any moment, and a stopped
    // output would neither hear nor send.
    return !parameters_.transport().running && !out_->hasMidiConnections();
}

void LiveHost::sleepOrWake()
{
    if (sleepAfter_.count() <= 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (asleep_.load()) {
        if (!activity_.exchange(false))
            return;
        asleep_.store(false);
        lastActive_ = now;
        if (!startOutput() && !standingIn_) {
            // The device went while we slept (a JACK server has told us; a sound card tells
            // only now): play on the stand-in and look for it as for one lost while playing.
            replaceOutput(outputs_->openNull(request_));
            standingIn_ = true;
            nextProbe_ = now + probeInterval_;
        }
        return;
    }
    const auto quietFrames = engine_->quietFrames();
    const auto quietFor = std::chrono::milliseconds(quietFrames * 1000 / request_.sampleRate);
    if (activity_.exchange(false) || !mayStopListening() || quietFor < sleepAfter_)
        lastActive_ = now;
    if (now - lastActive_ < sleepAfter_ || !out_->isRunning())
        return;
    asleep_.store(true);
    // A touch that came while we decided is seen here, or its wake() saw asleep_ and notified
    // the wakeup this thread sleeps on next, which then starts the output again at once.
    if (activity_.load()) {
        asleep_.store(false);
        return;
    }
    out_->stop();
}

void LiveHost::replaceOutput(std::unique_ptr<devices::AudioOut> next)
{
    // The old output's thread must be gone before the new one calls the engine: one audio
    // thread at a time.
    out_->stop();
    foldLateBlocks();
    // An output without a MIDI port of its own takes over the user's port from the one before,
    // so that it stays open; only when none was open yet is it opened, once.
    if (next->midiPortName().empty()) {
        std::unique_ptr<devices::MidiDestination> midi = out_->detachMidi();
        if (!midi && request_.midiOut.kind != devices::MidiPortChoice::Kind::None) {
            if (auto opened = outputs_->openMidi(request_.clientName, request_.midiOut))
                midi = std::move(*opened);
            else
                log("MIDI: " + opened.error().message, opened.error().detail);
        }
        if (midi)
            (void)next->attachMidi(std::move(midi));  // not started yet, so always taken
    }
    attachMidiInput(*next, out_->detachMidiInput());
    out_ = std::move(next);
    (void)startOutput();
}

std::string LiveHost::lookForMissingPorts()
{
    // ALSA sends us no word of a port that appears or goes, as JACK does: a port chosen by name
    // that was not there (a controller plugged in after the start) is looked for again now and
    // then, by that name only, so that no other port is ever opened; one that went is let go,
    // said, and looked for in the same way.
    using Kind = devices::MidiPortChoice::Kind;
    if (!out_->readsMidiOrigin() || asleep_.load())
        return {};
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPortLook_)
        return {};
    nextPortLook_ = now + probeInterval_;
    if (std::string gone = letGoOfVanishedPorts(); !gone.empty())
        return gone;
    const bool outMissing = request_.midiOut.kind == Kind::Named && out_->midiPortName().empty();
    const bool inMissing = request_.midiIn.kind == Kind::Named && out_->midiInputName().empty();
    if (!outMissing && !inMissing)
        return {};
    std::unique_ptr<devices::MidiDestination> destination;
    if (outMissing) {
        if (auto opened = outputs_->openMidi(request_.clientName, request_.midiOut))
            destination = std::move(*opened);
    }
    std::unique_ptr<devices::MidiOrigin> origin;
    if (inMissing) {
        if (auto opened = outputs_->openMidiInput(request_.clientName, request_.midiIn))
            origin = std::move(*opened);
    }
    if (!destination && !origin)
        return {};
    // Ports are handed over only while the output stands still: a moment of silence, once.
    const bool running = out_->isRunning();
    out_->stop();
    std::string found;
    if (destination) {
        found = core::translated(devices::kMidiPortConnected, {request_.midiOut.name});
        (void)out_->attachMidi(std::move(destination));
    }
    if (origin) {
        found += (found.empty() ? "" : "; ") +
                 core::translated(devices::kMidiPortConnected, {request_.midiIn.name});
        (void)out_->attachMidiInput(std::move(origin));
    }
    if (running)
        (void)startOutput();
    else
        publishOutput();
    return found;
}

std::string LiveHost::letGoOfVanishedPorts()
{
    // Only ports chosen by name: they are the ones looked for again, and the caption names them.
    using Kind = devices::MidiPortChoice::Kind;
    const bool outGone = request_.midiOut.kind == Kind::Named && out_->midiPortGone();
    const bool inGone = request_.midiIn.kind == Kind::Named && out_->midiInputGone();
    if (!outGone && !inGone)
        return {};
    const bool running = out_->isRunning();
    out_->stop();
    if (outGone)
        out_->detachMidi().reset();
    if (inGone)
        out_->detachMidiInput().reset();
    if (running)
        (void)startOutput();
    publishOutput();
    const std::lock_guard lock(reportMutex_);
    return midiProblem_;
}

void LiveHost::attachMidiInput(devices::AudioOut& out, std::unique_ptr<devices::MidiOrigin> open)
{
    // Taken over from the output before when it had the port open, so that a controller's
    // connection never drops; opened only when none was open yet.
    if (!out.readsMidiOrigin() || request_.midiIn.kind != devices::MidiPortChoice::Kind::Named)
        return;
    if (!open) {
        auto opened = outputs_->openMidiInput(request_.clientName, request_.midiIn);
        if (!opened) {
            log("MIDI in: " + opened.error().message, opened.error().detail);
            return;
        }
        open = std::move(*opened);
    }
    (void)out.attachMidiInput(std::move(open));  // stopped, so always taken
}

core::Result<void> LiveHost::startOutput()
{
    out_->notifyOnLoss(&watchWakeup_);
    out_->setTimebase(timebaseMaster_ ? steps_.get() : nullptr);
    auto started = out_->start(*engine_);
    if (!started)
        log(started.error().message, started.error().detail);
    publishOutput();
    return started;
}

std::string LiveHost::missingMidiPort() const
{
    if (std::string problem = out_->midiProblem(); !problem.empty())
        return problem;
    // An output without a port of its own that did not get the one named.
    const devices::MidiPortChoice& chosen = request_.midiOut;
    if (chosen.kind == devices::MidiPortChoice::Kind::Named && out_->midiPortName().empty())
        return core::translated(devices::kMidiPortNotFound, {chosen.name});
    // And one that reads the user's input port through us but did not get the one named.
    const devices::MidiPortChoice& input = request_.midiIn;
    if (input.kind == devices::MidiPortChoice::Kind::Named && out_->readsMidiOrigin() &&
        out_->midiInputName().empty())
        return core::translated(devices::kMidiPortNotFound, {input.name});
    return {};
}

void LiveHost::publishOutput()
{
    {
        const std::lock_guard lock(reportMutex_);
        info_ = OutputInfo{.backend = std::string(out_->backendName()),
                           .sampleRate = out_->sampleRate(),
                           .midiPort = out_->midiPortName()};
        midiProblem_ = missingMidiPort();
    }
    audible_.store(out_->isRunning() && out_->backendName() != "null", std::memory_order_release);
}

void LiveHost::foldLateBlocks()
{
    // A new output counts from zero.
    const std::uint32_t xruns = out_->xruns();
    lateBlocks_.fetch_add(xruns - countedXruns_);
    xruns_.restart(xruns);
    countedXruns_ = 0;
}

std::string LiveHost::countTrouble()
{
    std::string report;
    auto note = [&report](std::string line) {
        if (!line.empty())
            report += (report.empty() ? "" : "; ") + line;
    };
    const auto now = ThrottledCount::Clock::now();
    note(droppedSteps_.report(steps_->droppedEvents(), now));
    note(droppedCommands_.report(engine_->commandDrops(), now));
    note(droppedMidi_.report(engine_->midiDrops(), now));
    note(droppedLive_.report(engine_->liveDrops(), now));
    const std::uint32_t xruns = out_->xruns();
    lateBlocks_.fetch_add(xruns - countedXruns_);
    countedXruns_ = xruns;
    note(xruns_.report(xruns, now));
    // What ALSA, FluidSynth or GLib said meanwhile, one line each.
    for (std::string& line : devices::takeLibraryNoise())
        note(std::move(line));
    return report;
}

void LiveHost::post(const std::string& report)
{
    {
        const std::lock_guard lock(reportMutex_);
        reports_ += (reports_.empty() ? "" : "; ") + report;
    }
    news_.notify();
}

// ---------------------------------------------------------------- owner thread

LiveHost::OutputInfo LiveHost::output() const
{
    const std::lock_guard lock(reportMutex_);
    return info_;
}

std::string LiveHost::trouble()
{
    installReady();
    const std::lock_guard lock(reportMutex_);
    return std::exchange(reports_, {});
}

void LiveHost::publish(const sequencer::StepInputs& inputs, int tempoBpm)
{
    // A load or a new rhythm changes many values at once; no step may see half of them.
    const LiveParameters::Batch batch(parameters_);
    for (int track = 0; track < pattern::kTrackCount; ++track)
        parameters_.setRow(track, inputs.rows[static_cast<std::size_t>(track)]);
    parameters_.setVelocities(inputs.velocities);
    parameters_.setSwing(inputs.swing);
    parameters_.setMutes(inputs.mutes);
    parameters_.setTempo(tempoBpm);
    parameters_.setMeter(inputs.interval, inputs.beats);
    parameters_.setIntro(inputs.intro);
    parameters_.setBeginner(inputs.beginner);
    engine_->setLiveBeginner(inputs.beginner);
}

void LiveHost::wake()
{
    activity_.store(true);
    if (asleep_.load())
        watchWakeup_.notify();
}

void LiveHost::start()
{
    parameters_.run();
    wake();
}

void LiveHost::stop()
{
    parameters_.stop();
    engine_->allNotesOff();
}

void LiveHost::restartPattern() { parameters_.markLoaded(); }

bool LiveHost::isRunning() const
{
    return parameters_.sync() == SyncSource::Internal ? parameters_.transport().running
                                                      : steps_->followedRunning();
}

void LiveHost::setSync(SyncSource source) { parameters_.setSync(source); }

void LiveHost::setMidiPorts(const devices::MidiPortChoice& out, const devices::MidiPortChoice& in)
{
    {
        const std::lock_guard lock(reportMutex_);
        newMidiPorts_ = std::pair{out, in};
    }
    watchWakeup_.notify();
}

bool LiveHost::hasSharedTransport() const { return devices::hasSharedTransport(output().backend); }

void LiveHost::setTimebaseMaster(bool on)
{
    {
        const std::lock_guard lock(reportMutex_);
        newTimebaseMaster_ = on;
    }
    watchWakeup_.notify();
}

int LiveHost::followedTempoTenths() const
{
    return parameters_.sync() == SyncSource::Internal ? 0 : steps_->followedTempoTenths();
}

bool LiveHost::popEvent(sequencer::StepEvent& event)
{
    LiveParameters::Transport transport = parameters_.transport();
    if (parameters_.sync() != SyncSource::Internal)
        transport = {.running = steps_->followedRunning(), .run = steps_->followedRun()};
    PlaybackEvent queued;
    while (steps_->events().pop(queued)) {
        // A hit played just before STOP is still the player's: it is kept when recording.
        if (queued.isLiveHit) {
            if (queued.run == transport.run)
                liveHits_.push_back(queued.hit);
            continue;
        }
        if (transport.running && queued.run == transport.run) {
            event = queued.step;
            return true;
        }
    }
    return false;
}

bool LiveHost::popLiveHit(LiveHit& hit)
{
    if (liveHits_.empty())
        return false;
    hit = liveHits_.front();
    liveHits_.pop_front();
    return true;
}

sound::PadActions LiveHost::hitPad(int track, int button, int velocity, bool beginner)
{
    wake();
    installReady();
    return engine_->hitPad(track, button, velocity, beginner);
}

void LiveHost::click()
{
    wake();
    installReady();
    engine_->click();
}

void LiveHost::setSound(const sound::SoundChoice& choice) { voices_->requestSet(choice); }

void LiveHost::setSingleSound(int inSound, const sound::SoundChoice& choice)
{
    voices_->requestTom(inSound, choice);
}

void LiveHost::setOutput(int soundDevice, int clickNote)
{
    engine_->setMode(sound::soundModeFor(soundDevice));
    wave_ = sound::soundModeFor(soundDevice) == sound::SoundMode::Wave;
    engine_->setClickNote(clickNote);
    if (!wave_)
        requestSynth();
}

void LiveHost::requestSynth()
{
    // Only the first time MIDI mode needs it: in memory it makes every audio cycle dearer on
    // machines whose kernel samples memory (DAMON), also while WAVE mode leaves it silent. Its
    // notes are those of the moment; later changes are rendered as it is swapped in.
    if (!soundFont_ || synthRequested_)
        return;
    synthRequested_ = true;
    voices_->requestSynth(*soundFont_, engine_->clickNote(), engine_->midiValues());
}

void LiveHost::setVolume(int percent) { engine_->setVolume(percent); }

void LiveHost::preview(const std::filesystem::path& file)
{
    wake();
    installReady();
    engine_->preview(file);
}

bool LiveHost::waitForVoices(const std::function<bool()>& stop)
{
    if (!voices_->waitUntilBuilt(stop))
        return false;
    installReady(false);
    return true;
}

void LiveHost::installReady(bool logProblems)
{
    if (auto synth = voices_->takeReadySynth()) {
        if (*synth) {
            engine_->setSynth(*soundFont_, std::move(synth->value()));
        } else {
            log(synth->error().message, synth->error().detail);
            midiFailed_ = !hasMidiPort_;
        }
    }
    if (auto notes = voices_->takeReadySynthNotes())
        engine_->setSynthNotes(std::move(notes));
    std::unique_ptr<sound::VoiceSet> set = voices_->takeReady();
    if (!set)
        return;
    silentVoices_ = 0;
    for (int voice = 0; voice < sound::kVoiceCount; ++voice) {
        const auto slot = static_cast<std::size_t>(voice);
        if (set->problems[slot].empty())
            continue;
        ++silentVoices_;
        if (logProblems)
            log(std::string(sound::voiceName(static_cast<sound::VoiceId>(voice))) + ": \"" +
                core::utf8FromPath(set->sources[slot].file) + "\" " + set->problems[slot]);
    }
    engine_->setVoices(std::move(set));
}

std::string LiveHost::soundProblem() const
{
    std::string problem;
    if (wave_ && silentVoices_ > 0)
        problem = silentVoices_ == 1
                      ? std::string(core::translated("1 sample not loaded"))
                      : core::translated("%s samples not loaded", {std::to_string(silentVoices_)});
    const std::lock_guard lock(reportMutex_);
    if (!midiProblem_.empty())
        problem += (problem.empty() ? "" : "; ") + midiProblem_;
    return problem;
}

void LiveHost::stopPreview() { engine_->stopPreview(); }

void LiveHost::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    parameters_.stop();
    engine_->allNotesOff();
    stopping_.store(true, std::memory_order_release);
    watchWakeup_.notify();
    watcher_.join();  // from here on the output is this thread's
    if (out_->isRunning()) {
        const double blockSeconds =
            static_cast<double>(out_->blockFrames()) / static_cast<double>(out_->sampleRate());
        std::this_thread::sleep_for(std::chrono::duration<double>(kNotesOffBlocks * blockSeconds));
    }
    // The voices and the synth go with the engine, after the output no longer calls it.
    out_->stop();
    foldLateBlocks();
    audible_.store(false, std::memory_order_release);
}

}  // namespace taktwerk::playback
