#include "app/DrumMachine.h"

#include "app/Commands.h"
#include "rhythms/RhythmLibrary.h"
#include "rhythms/RhythmLoad.h"

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

Result<void> DrumMachine::loadRhythm(const std::filesystem::path& file)
{
    auto loaded = rhythms::loadRhythmFile(file, rhythm(grid_.pattern), grid_.beginnerView);
    if (!loaded)
        return Unexpected<Error>(loaded.error());
    const rhythms::Rhythm& read = loaded->rhythm;
    rhythmName_ = read.name;
    rhythmFile_ = utf8FromPath(file);
    bpm_ = read.Bpm;
    // The interval first: a new interval resets the loop, which the stored one then replaces.
    grid_.meter.selectIntervalOption(loaded->intervalOption, grid_.beginnerView);
    grid_.meter.selectBeatsOption(loaded->resolutionOption);
    settings_.SoundSet = read.SoundSet;
    snareChoice_ = read.SnareChoice;
    rideChoice_ = read.RideChoice;
    settings_.Tom1Sound = read.Tom1Sound;
    settings_.Tom2Sound = read.Tom2Sound;
    settings_.Tom3Sound = read.Tom3Sound;
    SetSound();
    grid_.pattern = read.pattern;
    grid_.mutes = read.mutes;
    grid_.HiHatMemory = loaded->HiHatMemory;
    publish();
    if (playback_)
        playback_->restartPattern();
    return {};
}

rhythms::Rhythm DrumMachine::rhythm(const pattern::Pattern& steps) const
{
    rhythms::Rhythm current;
    current.name = rhythmName_;
    current.Bpm = static_cast<std::int16_t>(bpm_);
    current.Beats = static_cast<std::int16_t>(grid_.meter.Beats());
    current.Interval = static_cast<std::int16_t>(grid_.meter.Interval());
    current.SoundSet = settings_.SoundSet;
    current.pattern = steps;
    current.mutes = grid_.mutes;
    current.SnareChoice = static_cast<std::int16_t>(snareChoice_);
    current.RideChoice = static_cast<std::int16_t>(rideChoice_);
    current.Tom1Sound = settings_.Tom1Sound;
    current.Tom2Sound = settings_.Tom2Sound;
    current.Tom3Sound = settings_.Tom3Sound;
    return current;
}

Result<std::filesystem::path> DrumMachine::saveRhythm(std::string_view name,
                                                      const pattern::Pattern& steps)
{
    const rhythms::RhythmLibrary library(settings_.RhythmDir);
    auto saved = library.save(name, rhythm(steps));
    if (saved) {
        rhythmName_ = std::string(name);
        rhythmFile_ = utf8FromPath(*saved);
    }
    return saved;
}

void DrumMachine::setSettings(Settings settings)
{
    settings_ = std::move(settings);
    if (playback_)
        playback_->setOutput(settings_.SoundDevice, settings_.ClickNote);
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

const std::string& DrumMachine::tomSound(int tom) const
{
    switch (tom) {
    case 1:
        return settings_.Tom1Sound;
    case 2:
        return settings_.Tom2Sound;
    default:
        return settings_.Tom3Sound;
    }
}

namespace {
sound::SoundChoice soundChoiceOf(const Settings& settings, int snare, int ride)
{
    sound::SoundChoice choice;
    choice.soundDir = settings.SoundDir;
    choice.soundSet = settings.SoundSet;
    choice.snareChoice = snare;
    choice.rideChoice = ride;
    choice.tomSounds = {settings.Tom1Sound, settings.Tom2Sound, settings.Tom3Sound};
    return choice;
}
}  // namespace

void DrumMachine::SetSound()
{
    if (playback_)
        playback_->setSound(soundChoiceOf(settings_, snareChoice_, rideChoice_));
}

void DrumMachine::SetSingleSound(int inSound, std::string name)
{
    switch (inSound) {
    case kTom1 + 1:
        settings_.Tom1Sound = std::move(name);
        break;
    case kTom1 + 2:
        settings_.Tom2Sound = std::move(name);
        break;
    case kTom1 + 3:
        settings_.Tom3Sound = std::move(name);
        break;
    default:
        return;  // only the toms take a sample of their own
    }
    if (playback_)
        playback_->setSingleSound(inSound, soundChoiceOf(settings_, snareChoice_, rideChoice_));
}

void DrumMachine::preview(const std::filesystem::path& file)
{
    if (playback_)
        playback_->preview(file);
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
