#pragma once
// A host that records what the drum machine tells it and hands out the step events a test
// queues, in place of the engine and the audio output. Shared by the app and window tests.
// Its transport is one flag and a RUN counter, as the real host's transport word is; it drops
// queued steps of a run that has ended the way the real host does, so that what the window
// paints can be checked against it.

#include "playback/Host.h"

#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace taktwerk::testing {

struct HostLog {
    sequencer::StepInputs inputs;
    int tempoBpm = 0;
    int publishes = 0;
    int starts = 0;
    int stops = 0;
    int restarts = 0;
    int clicks = 0;
    int shutdowns = 0;
    std::vector<int> padsHit;        // tracks whose press sounded
    std::vector<int> padVelocities;  // and how loud, in the same order
    std::vector<sound::SoundChoice> soundChoices;
    std::vector<std::pair<int, sound::SoundChoice>> singleSounds;  // inSound, choice
    std::vector<std::pair<int, int>> outputs;                      // SoundDevice, ClickNote
    std::vector<int> volumes;
    bool clockOut = false;
    playback::SyncSource sync = playback::SyncSource::Internal;
    int followedTempoTenths = 0;
    bool sharedTransport = false;       // the output is JACK's
    std::vector<bool> timebaseMasters;  // each lead of the shared transport asked for, in order
    std::vector<std::filesystem::path> previews;
    int previewStops = 0;
    bool midiFailed = false;
    bool audioOutput = true;
    std::string soundProblem;
    sound::DrumNoteMap drumNotes = sound::DrumNoteMap::generalMidi();  // as the engine has it
    std::uint32_t heardNoteOn = 0;
    std::uint64_t lostLiveHits = 0;
    // A note-on on the MIDI input, as the audio thread would report it: the count above the
    // note's 8 bits goes up.
    void hearNoteOn(int note)
    {
        heardNoteOn = (((heardNoteOn >> 8) + 1) << 8) | static_cast<std::uint32_t>(note);
    }
    std::string trouble;
    std::deque<sequencer::StepEvent> queued;
    std::deque<playback::LiveHit> liveHits;
};

class FakeHost final : public playback::Host {
public:
    explicit FakeHost(HostLog& log) : log_(log) {}

    // A step of the current run, as the audio thread would hand it over, and the news of it.
    void queue(const sequencer::StepEvent& event)
    {
        log_.queued.push_back(event);
        news_.notify();
    }

    // A live hit placed on the grid, as the audio thread would report it.
    void queueLiveHit(const playback::LiveHit& hit)
    {
        log_.liveHits.push_back(hit);
        news_.notify();
    }

    void publish(const sequencer::StepInputs& inputs, int tempoBpm) override
    {
        log_.inputs = inputs;
        log_.tempoBpm = tempoBpm;
        ++log_.publishes;
    }
    void start() override
    {
        ++log_.starts;
        running_ = true;
        log_.queued.clear();  // steps of an earlier run are never shown
    }
    void stop() override
    {
        ++log_.stops;
        running_ = false;
    }
    bool isRunning() const override { return running_; }
    void restartPattern() override { ++log_.restarts; }
    bool popEvent(sequencer::StepEvent& event) override
    {
        if (!running_)
            log_.queued.clear();
        if (log_.queued.empty())
            return false;
        event = log_.queued.front();
        log_.queued.pop_front();
        return true;
    }
    bool popLiveHit(playback::LiveHit& hit) override
    {
        if (log_.liveHits.empty())
            return false;
        hit = log_.liveHits.front();
        log_.liveHits.pop_front();
        return true;
    }
    const sound::Wakeup& news() const override { return news_; }
    std::string trouble() override { return std::exchange(log_.trouble, {}); }
    bool hasAudioOutput() const override { return log_.audioOutput; }
    sound::PadActions hitPad(int track, int button, int velocity, bool beginner) override
    {
        const sound::PadActions actions =
            sound::padActions(track, button, beginner, sound::SoundMode::Midi);
        if (actions.midiNote != 0) {
            log_.padsHit.push_back(track);
            log_.padVelocities.push_back(velocity);
        }
        if (actions.editTom != 0)
            editTom_ = actions.editTom;
        return actions;
    }
    void click() override { ++log_.clicks; }
    void setSound(const sound::SoundChoice& choice) override
    {
        log_.soundChoices.push_back(choice);
    }
    void setSingleSound(int inSound, const sound::SoundChoice& choice) override
    {
        log_.singleSounds.emplace_back(inSound, choice);
    }
    void setOutput(int soundDevice, int clickNote) override
    {
        log_.outputs.emplace_back(soundDevice, clickNote);
    }
    void setVolume(int percent) override { log_.volumes.push_back(percent); }
    void setClockOut(bool on) override { log_.clockOut = on; }
    void setSync(playback::SyncSource source) override { log_.sync = source; }
    bool hasSharedTransport() const override { return log_.sharedTransport; }
    void setTimebaseMaster(bool on) override { log_.timebaseMasters.push_back(on); }
    int followedTempoTenths() const override { return log_.followedTempoTenths; }
    void preview(const std::filesystem::path& file) override { log_.previews.push_back(file); }
    void stopPreview() override { ++log_.previewStops; }
    bool midiFailed() const override { return log_.midiFailed; }
    int editTom() const override { return editTom_; }
    void setDrumNoteMap(const sound::DrumNoteMap& map) override { log_.drumNotes = map; }
    std::uint32_t heardNoteOn() const override { return log_.heardNoteOn; }
    std::uint64_t lostLiveHits() const override { return log_.lostLiveHits; }
    std::string soundProblem() const override { return log_.soundProblem; }
    void shutdown() override
    {
        ++log_.shutdowns;
        running_ = false;
    }

private:
    HostLog& log_;
    sound::Wakeup news_;
    bool running_ = false;
    int editTom_ = 0;
};

}  // namespace taktwerk::testing
