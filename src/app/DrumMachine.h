#pragma once
// The drum machine: the one owner of the rhythm state (the grid with pattern, velocities,
// mutes, meter, view and hi-hat memory; tempo, swing and tap state; count-in; name and file)
// and of the live host. Lives on the GUI thread (or the main thread of `taktwerk play`); both
// front ends drive it and paint from it. Every change that the audio thread must hear is
// published to the host at once, so it is heard at the next step. The transport is the
// host's: RUN and STOP go there, and whether playback runs is read back from it.

#include "app/EditHistory.h"
#include "app/RowTools.h"
#include "app/Settings.h"
#include "core/Result.h"
#include "pattern/GridState.h"
#include "pattern/Swing.h"
#include "playback/Host.h"
#include "rhythms/Rhythm.h"
#include "sequencer/Sequencer.h"
#include "sequencer/TapTempo.h"
#include "sound/Wakeup.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::app {

enum class MouseButton : std::uint8_t { Left, Right, Other };

// What a pad press asks of the window beyond the sound.
enum class PadOutcome : std::uint8_t { Played, OpenSampleDialog };

// Whether shutting down writes the view ("Mode") into the settings file: the window does, as
// the view is the user's choice there; `taktwerk play` never shows the beginner view and
// leaves the setting as it found it.
enum class ViewSetting : std::uint8_t { Store, Keep };

class DrumMachine {
public:
    using Clock = std::chrono::steady_clock;

    // `host` may be null: the machine then edits and shows everything but neither sounds nor
    // runs.
    explicit DrumMachine(Settings settings = {}, std::unique_ptr<playback::Host> host = nullptr);
    ~DrumMachine();
    DrumMachine(const DrumMachine&) = delete;
    DrumMachine& operator=(const DrumMachine&) = delete;

    // The grid: pattern, mutes, meter with its beat lines and shown steps, view, hi-hat memory.
    const pattern::GridState& grid() const noexcept { return grid_; }
    const pattern::Pattern& pattern() const noexcept { return grid_.pattern; }
    const pattern::MeterState& meter() const noexcept { return grid_.meter; }
    bool StepIsOn(int track, int step) const noexcept
    {
        return grid_.pattern.StepIsOn(track, step);
    }
    bool isMuted(int track) const noexcept { return grid_.mutes.isMuted(track); }
    bool isBeginner() const noexcept { return grid_.beginnerView; }
    const std::string& HiHatMemory() const noexcept { return grid_.HiHatMemory; }

    // A step switched on strikes with the velocity for new steps; one switched off goes back
    // to 127, so a rhythm whose accents are all gone is saved without velocities again. While
    // playback is stopped, a step switched on is heard once, as a press of its pad at the
    // step's velocity would sound it (when "hear steps" is on).
    void toggleStep(int track, int step);
    // "Hear steps" and the question about unsaved changes, as the settings dialog turns them
    // on and off; kept in the settings file when the dialog saves.
    bool hearsSteps() const noexcept { return settings_.hearSteps; }
    void setHearSteps(bool on) noexcept { settings_.hearSteps = on; }
    bool asksToSave() const noexcept { return settings_.AskToSave != 0; }
    void setAskToSave(bool on) noexcept { settings_.AskToSave = on ? 1 : 0; }
    int velocity(int track, int step) const noexcept { return grid_.pattern.velocity(track, step); }
    // A set step's velocity moves by `delta`, within 1 ... 127. An unset step has no velocity
    // the user could see, so it keeps its own. Returns whether the velocity changed.
    bool changeVelocity(int track, int step, int delta);
    // The velocity a step switched on takes: 127 until the user chooses another (1 ... 127).
    int newStepVelocity() const noexcept { return newStepVelocity_; }
    // A row tool on `track`, inside the loop, as one undo entry; new steps take the velocity
    // for new steps. Nothing is heard: the tool changes a whole row, not one step.
    void applyRowTool(int track, RowTool tool);
    void setNewStepVelocity(int velocity);
    void setMuted(int track, bool muted);
    // Interval option 0, 1, 2 (3, 4, 5 steps per beat); leaves the loop at four beats.
    void setIntervalOption(int option);
    // Loop-length option 0, 1, 2 (two, four or eight beats).
    void setBeatsOption(int option);
    void setBeginner(bool on);

    // Count-in.
    bool intro() const noexcept { return intro_; }
    void setIntro(bool on);
    void click();

    // Swing: kept with the rhythm at every interval, heard only at four steps per beat.
    const pattern::Swing& swing() const noexcept { return swing_; }
    void setSwing(pattern::Swing swing);
    bool swingPlays() const noexcept { return grid_.meter.Interval() == pattern::kSwingInterval; }

    // The master volume, 0 ... 100 %, of all the program sounds itself (not of an external
    // MIDI receiver). Takes effect at once; kept in the settings file from the next exit on.
    int volume() const noexcept { return settings_.Volume; }
    void setVolume(int percent);

    // Tempo and tap.
    int tempoBpm() const noexcept { return bpm_; }
    void setTempo(int bpm);
    // A tempo typed by the user: whole BPM from 35 to 450, spaces around allowed. Anything else
    // is refused with a message saying what is wanted, and the tempo stays. A typed tempo is an
    // undo entry of its own, never part of a drag or a run of nudges before or after it.
    core::Result<void> typeTempo(std::string_view text);
    void tap(MouseButton button, Clock::time_point now);
    const sequencer::TapTempo& tapTempo() const noexcept { return tap_; }

    // Transport: RUN starts over at step 0 (after a count-in when "Intro" is checked), STOP
    // ends playing; the window paints their looks.
    bool isRunning() const { return host_ && host_->isRunning(); }
    void run();
    void stop();
    // The user is about to play: a sleeping output starts again (see playback::Host::wake).
    void wakeOutput()
    {
        if (host_)
            host_->wake();
    }
    // The oldest played step of this run not yet painted; false when none waits. Never waits.
    // Live hits met on the way are recorded (when REC is on) before it returns.
    bool pollEvent(sequencer::StepEvent& event);
    // "REC": while playing, every pad struck live (MIDI input, pad clicks and keys) is written
    // into the grid at its nearest step with its velocity; each pass of the loop is one undo
    // entry. Off at the start; not kept in any file.
    bool isRecording() const noexcept { return recording_; }
    void setRecording(bool on);
    // Notified when a step or a report waits; null without a host. The window watches it, the
    // command line sleeps on it.
    const sound::Wakeup* news() const { return host_ ? &host_->news() : nullptr; }

    // What went wrong with the sound since the last call; empty when nothing did.
    std::string playbackTrouble();
    // False while no audio device plays (the machine runs on, silent but for MIDI).
    bool hasAudioOutput() const { return !host_ || host_->hasAudioOutput(); }
    // Why sampled voices are silent, for the caption; empty when none is.
    std::string soundProblem() const { return host_ ? host_->soundProblem() : ""; }
    // Hits from the MIDI input lost since the start (more in one audio block than it takes).
    std::uint64_t lostLiveHits() const { return host_ ? host_->lostLiveHits() : 0; }

    // A pad pressed with any button. A right press on a tom stops playback and asks for the
    // sample dialog instead of sounding.
    PadOutcome pad(int track, MouseButton button);
    // The tom (1..3) last struck by mouse or pattern: the one the sample dialog changes.
    int EditTom() const;

    // "New", after the user said yes: empty grid at full velocity, all unmuted, four-beat loop,
    // tempo 120, straight, tap state and name forgotten.
    void newRhythm();

    // Rhythm files. A load sets grid, tempo, meter, mutes and sample choices, rebuilds the
    // voices and starts the pattern over, also while playing; on failure nothing changes.
    core::Result<void> loadRhythm(const std::filesystem::path& file);
    // A rhythm file named outside the library (on the command line, or handed over by a second
    // start): the same load, but a missing file is a mistake to report, not the default rhythm
    // that would wipe the grid.
    core::Result<void> openRhythm(const std::filesystem::path& file);
    // Writes the current rhythm under `name` to `file`; the rhythm then bears that name.
    core::Result<void> saveRhythm(const std::filesystem::path& file, const std::string& name);
    // The same with `steps` as the rhythm's steps: the grid as the library's Save captured it.
    core::Result<void> saveRhythm(const std::filesystem::path& file, const std::string& name,
                                  const pattern::Pattern& steps);
    // The current rhythm as a file stores it.
    rhythms::Rhythm currentRhythm() const;
    const std::string& RhythmName() const noexcept { return rhythmName_; }
    const std::filesystem::path& RhythmFile() const noexcept { return rhythmFile_; }

    // Undo and redo of every change of the rhythm (steps, velocities, mutes, meter, tempo,
    // swing, tom samples, New and loads). The view is no edit: what comes back is shown in the
    // view of the moment. Each reaches the audio thread as one batch, also while playing.
    // Return whether there was anything to undo (redo).
    bool undo();
    bool redo();
    bool canUndo() const noexcept { return history_.canUndo(); }
    bool canRedo() const noexcept { return history_.canRedo(); }
    // A drag of the tempo bar (or of another series of edits) has ended: the next change is
    // an undo entry of its own.
    void endEditSeries() noexcept { history_.endSeries(); }
    // Whether the rhythm differs from its file, or from what New or the start left; an undo
    // back to that state makes it unmodified again.
    bool isModified() const;

    const Settings& settings() const noexcept { return settings_; }
    // The voices' samples: the sample set, the snare and ride variants and the tom samples.
    sound::SoundChoice soundChoice() const;

    // The sound dialogs' choices act here at once; the settings file is written only when the
    // user saves them.
    void setSoundSet(std::string name);
    void setSoundDevice(int device);  // `SoundDevice`: 1 MIDI, else the sampled voices
    void setClickNote(int note);
    // "Send MIDI clock", from the next step on; kept with the sound settings.
    bool sendsMidiClock() const noexcept { return settings_.sendMidiClock; }
    void setSendMidiClock(bool on);
    // Where RUN/STOP, tempo and position come from; kept with the sound settings. While
    // following a master, RUN and STOP do nothing and the master's tempo is shown.
    playback::SyncSource syncSource() const noexcept { return settings_.sync; }
    // Refused (and the source left as it was) for the JACK transport while sound does not go
    // out through JACK: there is no transport to follow then.
    core::Result<void> setSyncSource(playback::SyncSource source);
    // Whether the JACK transport can be followed: the sound goes out through JACK.
    bool canFollowJackTransport() const;
    // "Lead the JACK transport": publish our tempo and meter as its timebase master; kept with
    // the sound settings. Taken at once, but it acts only on JACK and while playing on our own
    // clock (see leadsJackTransport); switching the lead restarts a running JACK output.
    bool jackTimebase() const noexcept { return settings_.jackTimebase; }
    void setJackTimebase(bool on);
    bool isFollowing() const noexcept { return settings_.sync != playback::SyncSource::Internal; }
    // While following: the master's tempo in tenths of a BPM; 0 until it is measured.
    int followedTempoTenths() const { return host_ ? host_->followedTempoTenths() : 0; }
    // The MIDI ports by name, taken at once and kept with the sound settings.
    void setMidiPorts(devices::MidiPortChoice out, devices::MidiPortChoice in)
    {
        settings_.midiOut = std::move(out);
        settings_.midiIn = std::move(in);
        if (host_)
            host_->setMidiPorts(settings_.midiOut, settings_.midiIn);
    }
    // Which pad each note on the MIDI input strikes; acts at once, kept with the sound settings.
    const sound::DrumNoteMap& drumNotes() const noexcept { return settings_.drumNotes; }
    void setDrumNotes(const sound::DrumNoteMap& map);
    // MIDI learn: the next note-on heard after this call strikes `track` from then on, besides
    // the notes it has (a note of another pad moves here). Learning for another track, or
    // cancelLearning(), ends the wait; a track outside the pads ends it too.
    void learnNote(int track);
    void cancelLearning() noexcept { learning_ = -1; }
    int learningTrack() const noexcept { return learning_; }  // -1: not learning
    // Polled by the owner while learning: the note that arrived since learnNote, now mapped
    // (and the wait over); nothing while none has.
    std::optional<int> takeLearnedNote();
    // `MidiFailed`: no MIDI output to choose.
    bool MidiFailed() const;
    // `SetSound`: all ten voices from the sample set and choices.
    void SetSound();
    // `SetSingleSound`: tom `inSound` (7, 8, 9 for tom 1..3) takes the sample `name`.
    void SetSingleSound(int inSound, std::string name);
    // The dialogs' listening: `file` once on a voice of its own, cutting the one before.
    void preview(const std::filesystem::path& file);
    void stopPreview();

    // At exit: silence at once, all notes off, devices released, "Mode" written unless asked
    // to keep it (and "Volume" when it was changed). Idempotent; says when the settings could
    // not be written.
    core::Result<void> shutdown(ViewSetting view = ViewSetting::Store);

private:
    void publish();
    PadOutcome strike(int track, MouseButton button, int velocity);
    void record(const playback::LiveHit& hit);
    RhythmSnapshot snapshot() const;
    void restore(RhythmSnapshot state);
    // Runs `change` as one edit: when it changed the rhythm, the state before becomes an undo
    // entry (or joins the open entry of `series`), and the engine hears the result.
    template <typename Change>
    void edit(EditSeries series, Change&& change);

    Settings settings_;
    std::unique_ptr<playback::Host> host_;
    bool shutDown_ = false;

    pattern::GridState grid_;
    bool intro_ = true;  // "Intro" is checked when the window is created
    int bpm_ = sequencer::kDefaultTempoBpm;
    pattern::Swing swing_;
    int newStepVelocity_ = pattern::kDefaultVelocity;
    bool volumeChanged_ = false;
    std::chrono::milliseconds tapNow_{0};
    sequencer::TapTempo tap_;
    int editTom_ = 0;
    std::string rhythmName_ = "Default";
    std::filesystem::path rhythmFile_;
    std::int16_t snareChoice_ = 0;
    std::int16_t rideChoice_ = 0;
    EditHistory history_;
    int learning_ = -1;            // the track waiting for a note, -1: none
    std::uint32_t learnFrom_ = 0;  // the host's heardNoteOn word when the wait began
    bool recording_ = false;
    std::uint32_t take_ = 0;     // counts RUN presses and REC switch-ons: a pass's undo entry
    RhythmSnapshot unmodified_;  // as the rhythm's file (or New, or the start) holds it
};

}  // namespace taktwerk::app
