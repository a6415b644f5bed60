#include "app/DrumMachine.h"

#include "core/Language.h"
#include "core/Paths.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLoad.h"

#include <algorithm>
#include <charconv>

namespace taktwerk::app {

namespace {
constexpr int kHiHat = pattern::index(pattern::Track::HiHat);
constexpr int kFirstTomVoice = 7;  // `SetSingleSound`'s number of tom 1; toms 2 and 3 follow

// The series whose edits make one undo entry each.
constexpr EditSeries kTempoSeries = 1;
constexpr EditSeries kSwingSeries = 2;
constexpr EditSeries kTapSeries = 3;
// Above every step's velocity series.
constexpr EditSeries kRecordSeries = 0x40000000u;
// The wheel or the arrow keys on one step: a series of its own per step.
EditSeries velocitySeries(int track, int step)
{
    return 0x100u + static_cast<EditSeries>(track * pattern::kStepCount + step);
}

// The same rhythm, whichever view each was taken in: the hi-hat memory of the beginner view
// is a means of folding, not music, so it is compared only through the unfolded grid.
bool sameRhythm(RhythmSnapshot a, RhythmSnapshot b)
{
    pattern::setBeginnerView(a.grid, false);
    pattern::setBeginnerView(b.grid, false);
    a.grid.HiHatMemory.clear();
    b.grid.HiHatMemory.clear();
    a.name.clear();
    b.name.clear();
    a.file.clear();
    b.file.clear();
    return a == b;
}

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

DrumMachine::DrumMachine(Settings settings, std::unique_ptr<playback::Host> host)
    : settings_(std::move(settings)), host_(std::move(host)),
      // Taps are timed by the press that DrumMachine::tap hands in, so they replay exactly.
      tap_([this] { return tapNow_; })
{
    settings_.Volume = static_cast<std::int16_t>(std::clamp<int>(settings_.Volume, 0, kFullVolume));
    // Start-up remembers the hi-hat row as the window holds it.
    grid_.HiHatMemory = grid_.pattern.RowToPattern(kHiHat);
    unmodified_ = snapshot();
    // A settings file from a session on JACK, started without it: there is nothing to follow,
    // and a machine waiting for a transport that never rolls would not play at all.
    if (settings_.sync == playback::SyncSource::JackTransport && !canFollowJackTransport())
        (void)setSyncSource(playback::SyncSource::Internal);  // always allowed
    publish();
}

DrumMachine::~DrumMachine()
{
    // An owner that wanted to hear about the "Mode" write called shutdown() itself.
    (void)shutdown();
}

void DrumMachine::publish()
{
    if (!host_)
        return;
    sequencer::StepInputs inputs;
    inputs.rows = grid_.pattern.rows();
    inputs.velocities = grid_.pattern.velocities();
    inputs.swing = swing_;
    inputs.mutes = grid_.mutes.bits();
    inputs.interval = grid_.meter.Interval();
    inputs.beats = grid_.meter.Beats();
    inputs.intro = intro_;
    inputs.beginner = grid_.beginnerView;
    host_->publish(inputs, bpm_);
}

RhythmSnapshot DrumMachine::snapshot() const
{
    RhythmSnapshot state;
    state.grid = grid_;
    state.bpm = bpm_;
    state.swing = swing_;
    state.name = rhythmName_;
    state.file = rhythmFile_;
    state.soundSet = settings_.SoundSet;
    state.snareChoice = snareChoice_;
    state.rideChoice = rideChoice_;
    state.tom1Sound = settings_.Tom1Sound;
    state.tom2Sound = settings_.Tom2Sound;
    state.tom3Sound = settings_.Tom3Sound;
    return state;
}

void DrumMachine::restore(RhythmSnapshot state)
{
    pattern::setBeginnerView(state.grid, grid_.beginnerView);
    const bool voicesChange =
        state.soundSet != settings_.SoundSet || state.snareChoice != snareChoice_ ||
        state.rideChoice != rideChoice_ || state.tom1Sound != settings_.Tom1Sound ||
        state.tom2Sound != settings_.Tom2Sound || state.tom3Sound != settings_.Tom3Sound;
    grid_ = std::move(state.grid);
    bpm_ = state.bpm;
    swing_ = state.swing;
    rhythmName_ = std::move(state.name);
    rhythmFile_ = std::move(state.file);
    settings_.SoundSet = std::move(state.soundSet);
    snareChoice_ = state.snareChoice;
    rideChoice_ = state.rideChoice;
    settings_.Tom1Sound = std::move(state.tom1Sound);
    settings_.Tom2Sound = std::move(state.tom2Sound);
    settings_.Tom3Sound = std::move(state.tom3Sound);
    // One batch: the audio thread never plays half an undo.
    publish();
    if (host_ && voicesChange)
        host_->setSound(soundChoice());
}

template <typename Change>
void DrumMachine::edit(EditSeries series, Change&& change)
{
    RhythmSnapshot before = snapshot();
    change();
    if (!(snapshot() == before))
        history_.record(before, series);
    else if (series == kNoSeries)
        history_.endSeries();
    publish();
}

bool DrumMachine::undo()
{
    auto back = history_.undo(snapshot());
    if (!back)
        return false;
    restore(std::move(*back));
    return true;
}

bool DrumMachine::redo()
{
    auto forward = history_.redo(snapshot());
    if (!forward)
        return false;
    restore(std::move(*forward));
    return true;
}

bool DrumMachine::isModified() const { return !sameRhythm(snapshot(), unmodified_); }

void DrumMachine::toggleStep(int track, int step)
{
    const bool on = !grid_.pattern.StepIsOn(track, step);
    edit(kNoSeries, [&] {
        grid_.pattern.SetStep(track, step, on);
        grid_.pattern.setVelocity(track, step, on ? newStepVelocity_ : pattern::kDefaultVelocity);
    });
    // While playing, the pattern itself lets the step be heard at its turn; a second sound
    // out of time would only blur the groove. A left press never asks for the sample dialog,
    // so the outcome says nothing here.
    if (on && settings_.hearSteps && !isRunning())
        (void)strike(track, MouseButton::Left, grid_.pattern.velocity(track, step));
}

void DrumMachine::applyRowTool(int track, RowTool tool)
{
    edit(kNoSeries, [&] {
        app::applyRowTool(grid_.pattern, track, grid_.meter.Beats(), tool, newStepVelocity_);
    });
}

bool DrumMachine::changeVelocity(int track, int step, int delta)
{
    if (!grid_.pattern.StepIsOn(track, step))
        return false;
    const int before = grid_.pattern.velocity(track, step);
    if (pattern::clampVelocity(before + delta) == before)
        return false;
    edit(velocitySeries(track, step),
         [&] { grid_.pattern.setVelocity(track, step, before + delta); });
    return true;
}

void DrumMachine::setNewStepVelocity(int velocity)
{
    newStepVelocity_ = pattern::clampVelocity(velocity);
}

void DrumMachine::setSwing(pattern::Swing swing)
{
    swing.percent = pattern::clampSwing(swing.percent);
    edit(kSwingSeries, [&] { swing_ = swing; });
}

void DrumMachine::setVolume(int percent)
{
    settings_.Volume = static_cast<std::int16_t>(std::clamp(percent, 0, kFullVolume));
    volumeChanged_ = true;
    if (host_)
        host_->setVolume(settings_.Volume);
}

void DrumMachine::setMuted(int track, bool muted)
{
    edit(kNoSeries, [&] { grid_.mutes.setMuted(track, muted); });
}

void DrumMachine::setIntervalOption(int option)
{
    edit(kNoSeries, [&] { grid_.meter.optInterval_Click(option, grid_.beginnerView); });
}

void DrumMachine::setBeatsOption(int option)
{
    edit(kNoSeries, [&] { grid_.meter.optBeats_Click(option); });
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
    if (host_)
        host_->click();
}

void DrumMachine::setTempo(int bpm)
{
    edit(kTempoSeries, [&] { bpm_ = sequencer::clampTempo(bpm); });
}

core::Result<void> DrumMachine::typeTempo(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    int bpm = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bpm);
    // A sign, a fraction or letters after the digits are refused, not read up to where they
    // start: "1200" typed for "120" must not become another tempo.
    const bool whole = !text.empty() && text.front() != '-' && error == std::errc{} &&
                       end == text.data() + text.size();
    if (!whole || bpm < sequencer::kMinTempoBpm || bpm > sequencer::kMaxTempoBpm)
        return core::fail(core::translated(
            "Please enter a tempo from %s to %s BPM.",
            {std::to_string(sequencer::kMinTempoBpm), std::to_string(sequencer::kMaxTempoBpm)}));
    history_.endSeries();
    edit(kNoSeries, [&] { bpm_ = bpm; });
    return {};
}

void DrumMachine::tap(MouseButton button, Clock::time_point now)
{
    tapNow_ = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const int pressed = button == MouseButton::Right ? sequencer::TapTempo::kRightButton : 1;
    if (const auto tempo = tap_.press(pressed)) {
        // The first tempo of a series of taps opens an undo entry of its own.
        if (tap_.taps().size() == 1)
            history_.endSeries();
        edit(kTapSeries, [&] { bpm_ = sequencer::clampTempo(*tempo); });
    }
}

void DrumMachine::run()
{
    if (!host_)
        return;
    ++take_;  // a new run records into new undo entries
    publish();
    host_->start();
}

void DrumMachine::stop()
{
    if (host_)
        host_->stop();
}

bool DrumMachine::pollEvent(sequencer::StepEvent& event)
{
    if (!host_)
        return false;
    const bool stepped = host_->popEvent(event);
    playback::LiveHit hit;
    while (host_->popLiveHit(hit))
        record(hit);
    return stepped;
}

void DrumMachine::setRecording(bool on)
{
    if (on && !recording_)
        ++take_;
    recording_ = on;
}

void DrumMachine::record(const playback::LiveHit& hit)
{
    if (!recording_ || hit.track < 0 || hit.track >= pattern::kTrackCount || hit.step < 0 ||
        hit.step >= pattern::kStepCount)
        return;
    const int velocity = pattern::clampVelocity(hit.velocity);
    // Each pass of each take is an undo entry of its own, whatever else is edited meanwhile.
    const EditSeries series = kRecordSeries | ((take_ & 0x3fffu) << 16) | (hit.pass & 0xffffu);
    edit(series, [&] {
        grid_.pattern.SetStep(hit.track, hit.step, true);
        grid_.pattern.setVelocity(hit.track, hit.step, velocity);
    });
}

std::string DrumMachine::playbackTrouble() { return host_ ? host_->trouble() : std::string{}; }

PadOutcome DrumMachine::pad(int track, MouseButton button)
{
    return strike(track, button, sound::kFullVelocity);
}

PadOutcome DrumMachine::strike(int track, MouseButton button, int velocity)
{
    const int pressed = buttonNumber(button);
    const sound::PadActions actions =
        host_ ? host_->hitPad(track, pressed, velocity, grid_.beginnerView)
              : sound::padActions(track, pressed, grid_.beginnerView,
                                  sound::soundModeFor(settings_.SoundDevice));
    if (actions.editTom != 0)
        editTom_ = actions.editTom;
    if (!actions.opensSampleDialog)
        return PadOutcome::Played;
    if (isRunning())
        stop();
    return PadOutcome::OpenSampleDialog;
}

int DrumMachine::EditTom() const
{
    // The running pattern strikes toms too, on the audio thread; the engine knows the last.
    const int struck = host_ ? host_->editTom() : 0;
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
    rhythm.swing = swing_;
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
    // A load is undone back to the rhythm it replaced, edited or not.
    history_.record(snapshot());
    grid_.pattern = rhythm.pattern;
    grid_.mutes = rhythm.mutes;
    grid_.meter.selectIntervalOption(loaded->intervalOption, grid_.beginnerView);
    grid_.meter.selectBeatsOption(loaded->resolutionOption);
    grid_.HiHatMemory = loaded->HiHatMemory;
    bpm_ = sequencer::clampTempo(rhythm.Bpm);
    swing_ = rhythm.swing;
    rhythmName_ = rhythm.name;
    rhythmFile_ = file;
    settings_.SoundSet = rhythm.SoundSet;
    snareChoice_ = rhythm.SnareChoice;
    rideChoice_ = rhythm.RideChoice;
    settings_.Tom1Sound = rhythm.Tom1Sound;
    settings_.Tom2Sound = rhythm.Tom2Sound;
    settings_.Tom3Sound = rhythm.Tom3Sound;
    unmodified_ = snapshot();
    publish();
    if (host_) {
        host_->restartPattern();
        if (loaded->rebuildVoices)
            host_->setSound(soundChoice());
    }
    return {};
}

core::Result<void> DrumMachine::openRhythm(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return core::fail(
            core::translated("The file \"%s\" does not exist.", {core::utf8FromPath(file)}),
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
    history_.renameRhythm(rhythmFile_, name, file);
    rhythmName_ = name;
    rhythmFile_ = file;
    unmodified_ = snapshot();
    unmodified_.grid.pattern = steps;
    return {};
}

void DrumMachine::setSoundSet(std::string name)
{
    // The rhythm file keeps its sample set, so choosing another is an edit of the rhythm.
    edit(kNoSeries, [&] { settings_.SoundSet = std::move(name); });
}

void DrumMachine::setSoundDevice(int device)
{
    settings_.SoundDevice = static_cast<std::int16_t>(device);
    if (host_)
        host_->setOutput(settings_.SoundDevice, settings_.ClickNote);
}

void DrumMachine::setClickNote(int note)
{
    settings_.ClickNote = static_cast<std::int16_t>(note);
    if (host_)
        host_->setOutput(settings_.SoundDevice, settings_.ClickNote);
}

void DrumMachine::setSendMidiClock(bool on)
{
    settings_.sendMidiClock = on;
    if (host_)
        host_->setClockOut(on);
}

void DrumMachine::setDrumNotes(const sound::DrumNoteMap& map)
{
    settings_.drumNotes = map;
    if (host_)
        host_->setDrumNoteMap(map);
}

void DrumMachine::learnNote(int track)
{
    if (track < 0 || track >= pattern::kTrackCount || !host_) {
        cancelLearning();
        return;
    }
    learning_ = track;
    // Only a note struck from now on counts: the one that sounded before the click is old.
    learnFrom_ = host_->heardNoteOn();
}

std::optional<int> DrumMachine::takeLearnedNote()
{
    if (learning_ < 0 || !host_)
        return std::nullopt;
    const std::uint32_t heard = host_->heardNoteOn();
    if (heard == learnFrom_)
        return std::nullopt;
    constexpr std::uint32_t kNoteMask = 0x7F;  // the word's low byte holds note 0 ... 127
    const int note = static_cast<int>(heard & kNoteMask);
    sound::DrumNoteMap map = settings_.drumNotes;
    map.set(note, learning_);
    setDrumNotes(map);
    learning_ = -1;
    return note;
}

core::Result<void> DrumMachine::setSyncSource(playback::SyncSource source)
{
    if (source == playback::SyncSource::JackTransport && !canFollowJackTransport())
        return core::fail(core::translated(
            "The JACK transport can only be followed while the sound goes out through JACK."));
    settings_.sync = source;
    if (host_) {
        host_->setSync(source);
        host_->setTimebaseMaster(leadsJackTransport(settings_));
    }
    return {};
}

void DrumMachine::setJackTimebase(bool on)
{
    settings_.jackTimebase = on;
    if (host_)
        host_->setTimebaseMaster(leadsJackTransport(settings_));
}

bool DrumMachine::canFollowJackTransport() const { return host_ && host_->hasSharedTransport(); }

bool DrumMachine::MidiFailed() const { return !host_ || host_->midiFailed(); }

void DrumMachine::SetSound()
{
    if (host_)
        host_->setSound(soundChoice());
}

void DrumMachine::SetSingleSound(int inSound, std::string name)
{
    std::string* tom = nullptr;
    switch (inSound) {
    case kFirstTomVoice:
        tom = &settings_.Tom1Sound;
        break;
    case kFirstTomVoice + 1:
        tom = &settings_.Tom2Sound;
        break;
    case kFirstTomVoice + 2:
        tom = &settings_.Tom3Sound;
        break;
    default:
        return;  // only the toms take a sample of their own
    }
    edit(kNoSeries, [&] { *tom = std::move(name); });
    if (host_)
        host_->setSingleSound(inSound, soundChoice());
}

void DrumMachine::preview(const std::filesystem::path& file)
{
    if (host_)
        host_->preview(file);
}

void DrumMachine::stopPreview()
{
    if (host_)
        host_->stopPreview();
}

void DrumMachine::newRhythm()
{
    history_.record(snapshot());
    rhythmName_.clear();
    pattern::NewRhythm(grid_);
    bpm_ = sequencer::kDefaultTempoBpm;
    swing_ = {};
    tap_.reset();
    unmodified_ = snapshot();
    publish();
}

core::Result<void> DrumMachine::shutdown(ViewSetting view)
{
    if (shutDown_)
        return {};
    shutDown_ = true;
    if (host_)
        host_->shutdown();
    core::Result<void> saved;
    if (view == ViewSetting::Store) {
        settings_.ModeSetting = grid_.beginnerView ? 1 : 0;
        saved = saveMode(settings_);
    }
    if (saved && volumeChanged_)
        saved = saveVolume(settings_);
    return saved;
}

}  // namespace taktwerk::app
