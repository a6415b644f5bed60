#pragma once
// The drum machine: the one owner of the rhythm state (the grid with pattern, mutes, meter,
// view and hi-hat memory; tempo and tap state; count-in; name and file) and of live playback.
// Lives on the GUI thread; both front ends drive it and paint from it. Every change that the
// audio thread must hear is published to the playback at once, so it is heard at the next
// step.

#include "app/Playback.h"
#include "pattern/GridState.h"
#include "sequencer/Sequencer.h"
#include "sequencer/TapTempo.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

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
};

}  // namespace taktwerk::app
