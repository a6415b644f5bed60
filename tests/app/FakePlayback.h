#pragma once
// A Playback that records what the drum machine tells it and plays back the step events a
// test queues, in place of the audio output and engine. Shared by the app and window tests.

#include "app/Playback.h"

#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace taktwerk::testing {

struct PlaybackLog {
    sequencer::StepInputs inputs;
    int tempoBpm = 0;
    int publishes = 0;
    int starts = 0;
    int stops = 0;
    int restarts = 0;
    int clicks = 0;
    int shutdowns = 0;
    std::vector<int> padsHit;  // tracks whose press sounded
    std::vector<sound::SoundChoice> soundChoices;
    std::vector<std::pair<int, sound::SoundChoice>> singleSounds;  // inSound, choice
    std::vector<std::pair<int, int>> outputs;                      // SoundDevice, ClickNote
    std::vector<int> volumes;
    std::vector<std::filesystem::path> previews;
    int previewStops = 0;
    bool midiFailed = false;
    bool audioOutput = true;
    std::deque<sequencer::StepEvent> queued;
};

class FakePlayback final : public app::Playback {
public:
    explicit FakePlayback(PlaybackLog& log) : log_(log) {}

    void publish(const sequencer::StepInputs& inputs, int tempoBpm) override
    {
        log_.inputs = inputs;
        log_.tempoBpm = tempoBpm;
        ++log_.publishes;
    }
    void start() override { ++log_.starts; }
    void stop() override { ++log_.stops; }
    void restartPattern() override { ++log_.restarts; }
    bool popEvent(sequencer::StepEvent& event) override
    {
        if (log_.queued.empty())
            return false;
        event = log_.queued.front();
        log_.queued.pop_front();
        return true;
    }
    sound::PadActions hitPad(int track, int button) override
    {
        const sound::PadActions actions =
            sound::padActions(track, button, log_.inputs.beginner, sound::SoundMode::Midi);
        if (actions.midiNote != 0)
            log_.padsHit.push_back(track);
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
    void preview(const std::filesystem::path& file) override { log_.previews.push_back(file); }
    void stopPreview() override { ++log_.previewStops; }
    bool midiFailed() const override { return log_.midiFailed; }
    int editTom() const override { return editTom_; }
    std::string trouble() override { return {}; }
    bool hasAudioOutput() const override { return log_.audioOutput; }
    void shutdown() override { ++log_.shutdowns; }

private:
    PlaybackLog& log_;
    int editTom_ = 0;
};

}  // namespace taktwerk::testing
