#include "app/DrumMachine.h"

#include "core/Paths.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLoad.h"

namespace taktwerk::app {

namespace {
constexpr int kHiHat = pattern::index(pattern::Track::HiHat);
constexpr int kFirstTomVoice = 7;  // `SetSingleSound`'s number of tom 1; toms 2 and 3 follow

// Mouse buttons as the pads' press handlers number them (2 = right).
int buttonNumber(MouseButton button)
{
    switch (button) {
    case MouseButton::Left:
        return 1;
    case MouseButton::Right:
        return sound::kRightButton;
    case MouseButton::Other:
        break;
    }
    return 4;
}
}  // namespace

DrumMachine::DrumMachine(Settings settings, std::unique_ptr<Playback> playback)
    : settings_(std::move(settings)), playback_(std::move(playback)),
      // Taps are timed by the press that DrumMachine::tap hands in, so they replay exactly.
      tap_([this] { return tapNow_; })
{
    // Start-up remembers the hi-hat row as the window holds it.
    grid_.HiHatMemory = grid_.pattern.RowToPattern(kHiHat);
    publish();
}

DrumMachine::~DrumMachine()
{
    // An owner that wanted to hear about the "Mode" write called shutdown() itself.
    (void)shutdown();
}

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

std::string DrumMachine::playbackTrouble()
{
    return playback_ ? playback_->trouble() : std::string{};
}

PadOutcome DrumMachine::pad(int track, MouseButton button)
{
    const int pressed = buttonNumber(button);
    const sound::PadActions actions =
        playback_ ? playback_->hitPad(track, pressed)
                  : sound::padActions(track, pressed, grid_.beginnerView,
                                      sound::soundModeFor(settings_.SoundDevice));
    if (actions.editTom != 0)
        editTom_ = actions.editTom;
    if (!actions.opensSampleDialog)
        return PadOutcome::Played;
    if (transport_.Running())
        stop();
    return PadOutcome::OpenSampleDialog;
}

int DrumMachine::EditTom() const
{
    // The running pattern strikes toms too, on the audio thread; the engine knows the last.
    const int struck = playback_ ? playback_->editTom() : 0;
    return struck != 0 ? struck : editTom_;
}

sound::SoundChoice DrumMachine::soundChoice() const
{
    sound::SoundChoice choice;
    choice.soundDir = settings_.SoundDir;
    choice.soundSet = settings_.SoundSet;
    choice.snareChoice = snareChoice_;
    choice.rideChoice = rideChoice_;
    choice.tomSounds = {settings_.Tom1Sound, settings_.Tom2Sound, settings_.Tom3Sound};
    return choice;
}

rhythms::Rhythm DrumMachine::currentRhythm() const
{
    rhythms::Rhythm rhythm;
    rhythm.name = rhythmName_;
    rhythm.Bpm = static_cast<std::int16_t>(bpm_);
    rhythm.Beats = static_cast<std::int16_t>(grid_.meter.Beats());
    rhythm.Interval = static_cast<std::int16_t>(grid_.meter.Interval());
    rhythm.SoundSet = settings_.SoundSet;
    rhythm.pattern = grid_.pattern;
    rhythm.mutes = grid_.mutes;
    rhythm.SnareChoice = snareChoice_;
    rhythm.RideChoice = rideChoice_;
    rhythm.Tom1Sound = settings_.Tom1Sound;
    rhythm.Tom2Sound = settings_.Tom2Sound;
    rhythm.Tom3Sound = settings_.Tom3Sound;
    return rhythm;
}

core::Result<void> DrumMachine::loadRhythm(const std::filesystem::path& file)
{
    auto loaded = rhythms::loadRhythmFile(file, currentRhythm(), grid_.beginnerView);
    if (!loaded)
        return core::fail(loaded.error().message, loaded.error().detail);
    const rhythms::Rhythm& rhythm = loaded->rhythm;
    grid_.pattern = rhythm.pattern;
    grid_.mutes = rhythm.mutes;
    grid_.meter.selectIntervalOption(loaded->intervalOption, grid_.beginnerView);
    grid_.meter.selectBeatsOption(loaded->resolutionOption);
    grid_.HiHatMemory = loaded->HiHatMemory;
    bpm_ = sequencer::clampTempo(rhythm.Bpm);
    rhythmName_ = rhythm.name;
    rhythmFile_ = file;
    settings_.SoundSet = rhythm.SoundSet;
    snareChoice_ = rhythm.SnareChoice;
    rideChoice_ = rhythm.RideChoice;
    settings_.Tom1Sound = rhythm.Tom1Sound;
    settings_.Tom2Sound = rhythm.Tom2Sound;
    settings_.Tom3Sound = rhythm.Tom3Sound;
    publish();
    if (playback_) {
        playback_->restartPattern();
        if (loaded->rebuildVoices)
            playback_->setSound(soundChoice());
    }
    return {};
}

core::Result<void> DrumMachine::openRhythm(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return core::fail("Die Datei \"" + core::utf8FromPath(file) + "\" gibt es nicht.",
                          error ? error.message() : std::string());
    return loadRhythm(file);
}

core::Result<void> DrumMachine::saveRhythm(const std::filesystem::path& file,
                                           const std::string& name)
{
    return saveRhythm(file, name, grid_.pattern);
}

core::Result<void> DrumMachine::saveRhythm(const std::filesystem::path& file,
                                           const std::string& name, const pattern::Pattern& steps)
{
    rhythms::Rhythm rhythm = currentRhythm();
    rhythm.name = name;
    rhythm.pattern = steps;
    if (auto written = rhythms::writeRhythmFile(rhythm, file); !written)
        return written;
    rhythmName_ = name;
    rhythmFile_ = file;
    return {};
}

void DrumMachine::setSoundSet(std::string name) { settings_.SoundSet = std::move(name); }

void DrumMachine::setSoundDevice(int device)
{
    settings_.SoundDevice = static_cast<std::int16_t>(device);
    if (playback_)
        playback_->setOutput(settings_.SoundDevice, settings_.ClickNote);
}

void DrumMachine::setClickNote(int note)
{
    settings_.ClickNote = static_cast<std::int16_t>(note);
    if (playback_)
        playback_->setOutput(settings_.SoundDevice, settings_.ClickNote);
}

bool DrumMachine::MidiFailed() const { return !playback_ || playback_->midiFailed(); }

void DrumMachine::SetSound()
{
    if (playback_)
        playback_->setSound(soundChoice());
}

void DrumMachine::SetSingleSound(int inSound, std::string name)
{
    switch (inSound) {
    case kFirstTomVoice:
        settings_.Tom1Sound = std::move(name);
        break;
    case kFirstTomVoice + 1:
        settings_.Tom2Sound = std::move(name);
        break;
    case kFirstTomVoice + 2:
        settings_.Tom3Sound = std::move(name);
        break;
    default:
        return;  // only the toms take a sample of their own
    }
    if (playback_)
        playback_->setSingleSound(inSound, soundChoice());
}

void DrumMachine::preview(const std::filesystem::path& file)
{
    if (playback_)
        playback_->preview(file);
}

void DrumMachine::stopPreview()
{
    if (playback_)
        playback_->stopPreview();
}

void DrumMachine::newRhythm()
{
    rhythmName_.clear();
    pattern::NewRhythm(grid_);
    bpm_ = sequencer::kDefaultTempoBpm;
    tap_.reset();
    publish();
}

core::Result<void> DrumMachine::shutdown()
{
    if (shutDown_)
        return {};
    shutDown_ = true;
    if (transport_.Running())
        (void)transport_.stop(grid_.beginnerView);  // nobody paints the looks any more
    if (playback_)
        playback_->shutdown();
    settings_.ModeSetting = grid_.beginnerView ? 1 : 0;
    return saveMode(settings_);
}

}  // namespace taktwerk::app
