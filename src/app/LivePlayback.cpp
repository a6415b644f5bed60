#include "app/LivePlayback.h"

#include "core/Language.h"
#include "sound/GmSynth.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace taktwerk::app {

namespace {

// How often a lost output is looked for again: often enough that sound is back soon after
// the server, seldom enough that trying costs nothing noticeable.
constexpr auto kOutputRetryInterval = std::chrono::seconds(2);

sound::SoundChoice choiceOf(const Settings& settings)
{
    sound::SoundChoice choice;
    choice.soundDir = settings.SoundDir;
    choice.soundSet = settings.SoundSet;
    choice.tomSounds = {settings.Tom1Sound, settings.Tom2Sound, settings.Tom3Sound};
    return choice;
}

}  // namespace

LivePlayback::LivePlayback(const Settings& settings)
{
    devices::OpenedAudioOut opened = devices::openAudioOut();
    out_ = std::move(opened.out);
    notice_ = opened.notice;
    for (const std::string& detail : opened.details)
        std::clog << "taktwerk: " << detail << '\n';

    engine_ = std::make_unique<sound::Engine>(static_cast<double>(out_->sampleRate()));
    engine_->setMode(sound::soundModeFor(settings.SoundDevice));
    engine_->setClickNote(settings.ClickNote);
    engine_->SetSound(choiceOf(settings));
    bool synthLoaded = false;
    if (const auto soundFont = sound::findSoundFont()) {
        if (auto loaded = engine_->loadSynth(*soundFont); !loaded)
            std::clog << "taktwerk: " << loaded.error().message << " (" << loaded.error().detail
                      << ")\n";
        else
            synthLoaded = true;
    }
    // MIDI notes sound through an external port or the built-in synth; with neither, MIDI
    // cannot be chosen.
    midiFailed_ = !synthLoaded && out_->midiPortName().empty();
    steps_ = std::make_unique<playback::StepPlayer>(parameters_, out_->sampleRate());
    engine_->setStepSource(steps_.get());
    if (auto started = out_->start(*engine_); !started) {
        if (notice_.empty())
            notice_ = started.error().message;
        std::clog << "taktwerk: " << started.error().message << " (" << started.error().detail
                  << ")\n";
    }
}

LivePlayback::~LivePlayback() { shutdown(); }

void LivePlayback::publish(const sequencer::StepInputs& inputs, int tempoBpm)
{
    // A load or a new rhythm changes many values at once; no step may see half of them.
    const playback::LiveParameters::Batch batch(parameters_);
    for (int track = 0; track < pattern::kTrackCount; ++track)
        parameters_.setRow(track, inputs.rows[static_cast<std::size_t>(track)]);
    parameters_.setMutes(inputs.mutes);
    parameters_.setTempo(tempoBpm);
    parameters_.setMeter(inputs.interval, inputs.beats);
    parameters_.setIntro(inputs.intro);
    parameters_.setBeginner(inputs.beginner);
    if (inputs.beginner != beginner_) {
        beginner_ = inputs.beginner;
        engine_->setBeginner(beginner_);
    }
}

void LivePlayback::start()
{
    ++runs_;
    parameters_.run();
}

void LivePlayback::stop()
{
    parameters_.stop();
    engine_->allNotesOff();
}

void LivePlayback::restartPattern() { parameters_.markLoaded(); }

bool LivePlayback::popEvent(sequencer::StepEvent& event)
{
    playback::PlaybackEvent queued;
    while (steps_->events().pop(queued)) {
        if (queued.run == runs_) {
            event = queued.step;
            return true;
        }
    }
    return false;
}

sound::PadActions LivePlayback::hitPad(int track, int button)
{
    engine_->collectGarbage();
    return engine_->hitPad(track, button);
}

void LivePlayback::click() { engine_->click(); }

void LivePlayback::setSound(const sound::SoundChoice& choice)
{
    engine_->collectGarbage();
    engine_->SetSound(choice);
}

void LivePlayback::setSingleSound(int inSound, const sound::SoundChoice& choice)
{
    engine_->collectGarbage();
    engine_->SetSingleSound(inSound, choice);
}

void LivePlayback::setOutput(int soundDevice, int clickNote)
{
    engine_->setMode(sound::soundModeFor(soundDevice));
    engine_->setClickNote(clickNote);
}

void LivePlayback::preview(const std::filesystem::path& file)
{
    engine_->collectGarbage();
    engine_->preview(file);
}

void LivePlayback::stopPreview() { engine_->stopPreview(); }

int LivePlayback::editTom() const { return engine_->editTom(); }

void LivePlayback::replaceOutput(std::unique_ptr<devices::AudioOut> next)
{
    // The old output's thread must be gone before the new one calls the engine: one audio
    // thread at a time.
    out_->stop();
    out_ = std::move(next);
    xruns_ = 0;  // the new output counts from zero
    if (auto started = out_->start(*engine_); !started)
        std::clog << "taktwerk: " << started.error().message << " (" << started.error().detail
                  << ")\n";
}

std::string LivePlayback::watchOutput()
{
    if (shutDown_)
        return {};
    devices::AudioOutRequest request;
    request.sampleRate = out_->sampleRate();  // the engine's and the steps' rate
    if (out_->deviceLost()) {
        request.backends.clear();  // straight to the null output, with MIDI output device 0
        devices::OpenedAudioOut standIn = devices::openAudioOut(request);
        const std::string lost(out_->backendName());
        replaceOutput(std::move(standIn.out));
        retryAt_ = std::chrono::steady_clock::now() + kOutputRetryInterval;
        return core::translated("%s went away: %s",
                                {lost, core::translated(devices::kNoAudioOutputNotice)});
    }
    if (!retryAt_ || std::chrono::steady_clock::now() < *retryAt_)
        return {};
    retryAt_ = std::chrono::steady_clock::now() + kOutputRetryInterval;
    devices::OpenedAudioOut tried = devices::openAudioOut(request);
    // The engine and the step clock run at the rate they were built for; an output at another
    // rate would play everything at the wrong pitch and tempo.
    if (!tried.notice.empty() || tried.out->sampleRate() != request.sampleRate)
        return {};
    replaceOutput(std::move(tried.out));
    retryAt_.reset();
    return core::translated("audio output back: %s", {out_->backendName()});
}

bool LivePlayback::hasAudioOutput() const
{
    return out_->isRunning() && out_->backendName() != "null";
}

std::string LivePlayback::trouble()
{
    std::string report = watchOutput();
    auto note = [&report](auto now, auto& reported, const char* what) {
        if (now == reported)
            return;
        report +=
            (report.empty() ? "" : "; ") + core::translated(what, {std::to_string(now - reported)});
        reported = now;
    };
    note(steps_->droppedEvents(), droppedSteps_,
         core::translatable("%s steps not shown (the window fell behind)"));
    note(engine_->commandDrops(), droppedCommands_,
         core::translatable("%s sound commands lost (audio stalled)"));
    note(engine_->midiDrops(), droppedMidi_, core::translatable("%s MIDI messages lost"));
    note(out_->xruns(), xruns_, core::translatable("%s audio blocks late"));
    return report;
}

void LivePlayback::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    parameters_.stop();
    engine_->allNotesOff();
    if (out_->isRunning()) {
        // Let a few blocks run so the note-offs reach the receiver before the stream closes.
        const double blockSeconds =
            static_cast<double>(out_->blockFrames()) / static_cast<double>(out_->sampleRate());
        std::this_thread::sleep_for(std::chrono::duration<double>(3 * blockSeconds));
    }
    // The voices and the synth go with the engine, after the output no longer calls it.
    out_->stop();
}

}  // namespace taktwerk::app
