#pragma once
// Live playback for the window: the audio output (JACK, PulseAudio, ALSA or the null output),
// the sound engine it runs, and the sequencer's step source inside the engine, wired together
// and fed through the live parameters. Owned by the drum machine on the GUI thread; the audio
// thread belongs to the output.

#include "app/Playback.h"
#include "app/Settings.h"
#include "devices/AudioOut.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "sound/Engine.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace taktwerk::app {

class LivePlayback final : public Playback {
public:
    // Opens the first audio output that works (the null output when none does), builds the
    // voices of `settings`' sample set and the built-in General-MIDI synth, and starts the
    // output. Never fails: what could not be had is said in notice().
    explicit LivePlayback(const Settings& settings);
    ~LivePlayback() override;

    // For the user, once: e.g. "no audio output"; empty when all is well.
    const std::string& notice() const noexcept { return notice_; }

    void publish(const sequencer::StepInputs& inputs, int tempoBpm) override;
    void start() override;
    void stop() override;
    void restartPattern() override;
    bool popEvent(sequencer::StepEvent& event) override;
    sound::PadActions hitPad(int track, int button) override;
    void click() override;
    void setSound(const sound::SoundChoice& choice) override;
    void setSingleSound(int inSound, const sound::SoundChoice& choice) override;
    void setOutput(int soundDevice, int clickNote) override;
    void setVolume(int percent) override;
    void preview(const std::filesystem::path& file) override;
    void stopPreview() override;
    bool midiFailed() const override { return midiFailed_; }
    int editTom() const override;
    // Also keeps the output alive: an output whose device or server went away (JACK stopped)
    // is replaced by the null output, so playback goes on and the window stays live, and
    // while on it a real output is tried again every few seconds and taken when one opens at
    // the engine's rate. Both changes are reported here ("no audio output", "audio output
    // back"). The window calls this from its playback timer.
    std::string trouble() override;
    bool hasAudioOutput() const override;
    void shutdown() override;

private:
    std::string watchOutput();
    void replaceOutput(std::unique_ptr<devices::AudioOut> next);

    playback::LiveParameters parameters_;
    std::unique_ptr<devices::AudioOut> out_;
    std::unique_ptr<sound::Engine> engine_;
    std::unique_ptr<playback::StepPlayer> steps_;
    std::string notice_;
    std::uint32_t runs_ = 0;  // RUN presses: events of an earlier run are not painted
    bool beginner_ = false;
    bool shutDown_ = false;
    // Set while the null output stands in for a lost device: when to try a real one again.
    std::optional<std::chrono::steady_clock::time_point> retryAt_;
    bool midiFailed_ = false;  // `MidiFailed`: neither an external MIDI port nor the synth
    // The audio thread's counters as last reported.
    std::uint64_t droppedSteps_ = 0;
    std::uint64_t droppedCommands_ = 0;
    std::uint64_t droppedMidi_ = 0;
    std::uint32_t xruns_ = 0;
};

}  // namespace taktwerk::app
