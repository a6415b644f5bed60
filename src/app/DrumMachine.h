#pragma once
// The drum machine: the one owner of the rhythm state (the grid with pattern, mutes, meter,
// view and hi-hat memory; tempo and tap state; count-in; name and file) and of live playback.
// Lives on the GUI thread; both front ends drive it and paint from it. Every change that the
// audio thread must hear is published to the playback at once, so it is heard at the next
// step.

#include "app/Playback.h"
#include "app/Result.h"
#include "app/Settings.h"
#include "pattern/GridState.h"
#include "rhythms/Rhythm.h"
#include "sequencer/Sequencer.h"
#include "sequencer/TapTempo.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace taktwerk::app {

enum class MouseButton : std::uint8_t { Left, Right, Other };

// What a pad press asks of the window beyond the sound.
enum class PadOutcome : std::uint8_t { Played, OpenSampleDialog };

class DrumMachine {
public:
    using Clock = std::chrono::steady_clock;

    // `playback` may be null: the machine then edits and shows everything but sounds nothing.
    // `writeMode` stores the beginner-view setting ("Mode") at exit; may be empty.
    explicit DrumMachine(std::unique_ptr<Playback> playback = nullptr,
                         std::function<void(int mode)> writeMode = {});
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

    void toggleStep(int track, int step);
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

    // Tempo and tap.
    int tempoBpm() const noexcept { return bpm_; }
    void setTempo(int bpm);
    void tap(MouseButton button, Clock::time_point now);
    const sequencer::TapTempo& tapTempo() const noexcept { return tap_; }

    // Transport: what the RUN/STOP button and the lights show after the press.
    bool isRunning() const noexcept { return transport_.Running(); }
    sequencer::TransportLooks run();
    sequencer::TransportLooks stop();
    // The oldest played step not yet painted; false when none waits. Never waits itself.
    bool pollEvent(sequencer::StepEvent& event);

    // A pad pressed with any button. A right press on a tom stops playback and asks for the
    // sample dialog instead of sounding.
    PadOutcome pad(int track, MouseButton button);
    int EditTom() const noexcept { return editTom_; }

    // "New", after the user said yes: empty grid, all unmuted, four-beat loop, tempo 120, tap
    // state and name forgotten.
    void newRhythm();

    const std::string& RhythmName() const noexcept { return rhythmName_; }
    const std::string& RhythmFile() const noexcept { return rhythmFile_; }

    // `ReadRhythmFile`: the file becomes the current rhythm (name, tempo, meter, sample set and
    // choices with the voices rebuilt, steps, mutes); playback, if running, starts over at
    // step 0. A file that exists but cannot be read is an error and changes nothing; a missing
    // one loads the default rhythm.
    Result<void> loadRhythm(const std::filesystem::path& file);
    // The current rhythm as a save stores it, with `steps` (the grid as captured) as its steps.
    rhythms::Rhythm rhythm(const pattern::Pattern& steps) const;
    // Saves the current rhythm with `steps` under `name` in the rhythm folder. `RhythmName`
    // and `RhythmFile` change only when the file was written.
    Result<std::filesystem::path> saveRhythm(std::string_view name, const pattern::Pattern& steps);

    // Program settings and folders; the sound dialog changes `SoundSet`, `SoundDevice` and
    // `ClickNote` here at once and writes them to the settings file only when asked.
    const Settings& settings() const noexcept { return settings_; }
    void setSettings(Settings settings);
    void setSoundSet(std::string name);
    void setSoundDevice(int device);
    void setClickNote(int note);
    bool MidiFailed() const { return !playback_ || playback_->midiFailed(); }
    int SnareChoice() const noexcept { return snareChoice_; }
    int RideChoice() const noexcept { return rideChoice_; }
    // `Tom1Sound` ... `Tom3Sound` for tom 1..3: "Tom 1" ... mean the set's own tom sample.
    const std::string& tomSound(int tom) const;
    // `SetSound`: all ten voices from the sample set and choices.
    void SetSound();
    // `SetSingleSound`: tom `inSound` (7, 8, 9 for tom 1..3) takes the sample `name`.
    void SetSingleSound(int inSound, std::string name);
    // Plays a sample file once on a voice of its own (the dialogs' listening).
    void preview(const std::filesystem::path& file);

    // At exit: silence at once, all notes off, devices released, "Mode" written. Idempotent.
    void shutdown();

private:
    void publish();

    std::unique_ptr<Playback> playback_;
    std::function<void(int)> writeMode_;
    bool shutDown_ = false;

    pattern::GridState grid_;
    bool intro_ = true;  // "Intro" is checked when the window is created
    int bpm_ = sequencer::kDefaultTempoBpm;
    std::chrono::milliseconds tapNow_{0};
    sequencer::TapTempo tap_;
    sequencer::Sequencer transport_;
    int editTom_ = 0;
    std::string rhythmName_ = "Default";
    std::string rhythmFile_;
    Settings settings_;
    int snareChoice_ = 0;  // `SnareChoice`, `RideChoice`: 0 until a rhythm is loaded
    int rideChoice_ = 0;
};

}  // namespace taktwerk::app
