#include "app/DrumMachine.h"

namespace taktwerk::app {

namespace {
constexpr int kTom1 = pattern::index(pattern::Track::Tom1);
constexpr int kTom3 = pattern::index(pattern::Track::Tom3);
constexpr int kHiHat = pattern::index(pattern::Track::HiHat);
}  // namespace

DrumMachine::DrumMachine(std::unique_ptr<Playback> playback, std::function<void(int)> writeMode)
    : playback_(std::move(playback)), writeMode_(std::move(writeMode)),
      // Taps are timed by the press that DrumMachine::tap hands in, so they replay exactly.
      tap_([this] { return tapNow_; })
{
    // Start-up remembers the hi-hat row as the window holds it.
    grid_.HiHatMemory = grid_.pattern.RowToPattern(kHiHat);
    publish();
}

DrumMachine::~DrumMachine() { shutdown(); }

void DrumMachine::publish()
{
    if (!playback_)
        return;
    sequencer::StepInputs inputs;
    inputs.rows = grid_.pattern.rows();
    inputs.mutes = grid_.mutes.bits();
    inputs.interval = grid_.meter.Interval();
    inputs.beats = grid_.meter.Beats();
    inputs.intro = intro_;
    inputs.beginner = grid_.beginnerView;
    playback_->publish(inputs, bpm_);
}

void DrumMachine::toggleStep(int track, int step)
{
    grid_.pattern.SetStep(track, step, !grid_.pattern.StepIsOn(track, step));
    publish();
}

void DrumMachine::setMuted(int track, bool muted)
{
    grid_.mutes.setMuted(track, muted);
    publish();
}

void DrumMachine::setIntervalOption(int option)
{
    grid_.meter.optInterval_Click(option, grid_.beginnerView);
    publish();
}

void DrumMachine::setBeatsOption(int option)
{
    grid_.meter.optBeats_Click(option);
    publish();
}

void DrumMachine::setBeginner(bool on)
{
    pattern::setBeginnerView(grid_, on);
    publish();
}

void DrumMachine::setIntro(bool on)
{
    intro_ = on;
    publish();
}

void DrumMachine::click()
{
    if (playback_)
        playback_->click();
}

void DrumMachine::setTempo(int bpm)
{
    bpm_ = sequencer::clampTempo(bpm);
    publish();
}

void DrumMachine::tap(MouseButton button, Clock::time_point now)
{
    tapNow_ = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const int pressed = button == MouseButton::Right ? sequencer::TapTempo::kRightButton : 1;
    if (const auto tempo = tap_.press(pressed))
        setTempo(*tempo);
}

sequencer::TransportLooks DrumMachine::run()
{
    const auto looks = transport_.start(grid_.beginnerView);
    if (playback_) {
        publish();
        playback_->start();
    }
    return looks;
}

sequencer::TransportLooks DrumMachine::stop()
{
    const auto looks = transport_.stop(grid_.beginnerView);
    if (playback_)
        playback_->stop();
    return looks;
}

bool DrumMachine::pollEvent(sequencer::StepEvent& event)
{
    if (!playback_)
        return false;
    // Steps still queued when STOP was pressed belong to the run that ended: painting them
    // would light pads after the stop put them out.
    while (playback_->popEvent(event)) {
        if (transport_.Running())
            return true;
    }
    return false;
}

PadOutcome DrumMachine::pad(int track, MouseButton button)
{
    if (track >= kTom1 && track <= kTom3) {
        editTom_ = track - kTom1 + 1;
        if (button == MouseButton::Right) {
            if (transport_.Running())
                stop();
            return PadOutcome::OpenSampleDialog;
        }
    }
    if (playback_)
        playback_->hitPad(track, grid_.beginnerView);
    return PadOutcome::Played;
}

void DrumMachine::newRhythm()
{
    rhythmName_.clear();
    pattern::NewRhythm(grid_);
    bpm_ = sequencer::kDefaultTempoBpm;
    tap_.reset();
    publish();
}

void DrumMachine::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    if (transport_.Running())
        transport_.stop(grid_.beginnerView);
    if (playback_)
        playback_->shutdown();
    if (writeMode_)
        writeMode_(grid_.beginnerView ? 1 : 0);
}

}  // namespace taktwerk::app
