#pragma once
// The sequencer's state machine: transport, count-in and what one step plays and marks. Pure
// and deterministic; it knows nothing of clocks, threads or looks. Live, the playback source
// owns one on the audio thread and the window paints the events it yields; offline, a renderer
// drives one the same way, so a rendered file and a live performance cannot disagree.

#include "core/Language.h"
#include "pattern/Meter.h"
#include "pattern/Pattern.h"
#include "pattern/Swing.h"

#include <array>
#include <cstdint>
#include <type_traits>

namespace taktwerk::sequencer {

// What a step marks with the beat light: no beat, the first beat of a bar of four (the loop's
// start, and in three and four steps per beat the second bar's), or another beat.
enum class BeatLight : std::uint8_t { Off, Downbeat, Beat };

// The snare steps whose hits make the second and fourth beat light up (steps 2 to 5).
inline constexpr pattern::Row kBackbeatSteps = 0b111100;

// The beginner view's two-picture animation; frames change only in that view.
enum class AnimationFrame : std::int8_t { Unchanged = -1, Frame0 = 0, Frame1 = 1 };

// Everything a step reads, taken afresh at every due step, so that an edit, a load, a meter
// change or a mute takes effect at the next step.
struct StepInputs {
    std::array<pattern::Row, pattern::kTrackCount> rows{};
    pattern::Velocities velocities = pattern::defaultVelocities();  // what each hit strikes with
    pattern::Swing swing;     // when the hits of a pattern step sound (StepClock::swungFrame)
    std::uint16_t mutes = 0;  // bit t: track t muted
    int interval = pattern::kDefaultInterval;
    int beats = pattern::kDefaultBeats;
    bool intro = false;     // "Intro" checked
    bool beginner = false;  // "Beginner Mode" checked
};

// What one due step does: the sounds the engine plays and what the window shows of it.
struct StepEvent {
    enum class Kind : std::uint8_t { CountIn, Pattern };
    Kind kind = Kind::Pattern;
    std::int16_t step = -1;      // pattern step played (grid column); -1 on a count-in step
    std::int16_t introStep = 0;  // `IntroStep` after this step
    std::int16_t nextStep = 0;   // `StepPos` after the wrap: the next pattern step to play
    std::uint16_t hits = 0;      // bit t: track t's pad is pressed (cell set, track unmuted)
    std::uint16_t litPads = 0;   // bit t: pad t lights up (pattern steps only)
    bool click = false;          // one count-in click
    bool beginner = false;       // the view the step was played in (its pads obey it)
    BeatLight beatLight = BeatLight::Off;
    AnimationFrame animation = AnimationFrame::Unchanged;
    std::int8_t markerColumn = -1;  // play-position markers' column; -1: they stay
    std::uint64_t frame = 0;        // absolute audio frame, filled in by whoever clocks the step
};
static_assert(std::is_trivially_copyable_v<StepEvent>);

class Sequencer {
public:
    // RUN: starts over at pattern step 0, after a count-in when "Intro" is checked.
    void start() noexcept;
    // STOP: `StepPos` keeps its value until the next start.
    void stop() noexcept;
    // Runs on from where it stopped (a master's Continue).
    void resume() noexcept { running_ = true; }
    // A shared transport put the pattern at `step` (inside the loop): the next step plays it,
    // with no count-in, running or not.
    void locate(int step) noexcept;
    // A rhythm was loaded: the pattern starts over at step 0 (after a new count-in when
    // "Intro" is checked), whether or not playback runs.
    void load() noexcept;

    // One due step. Only called while running.
    StepEvent step(const StepInputs& inputs) noexcept;

    bool Running() const noexcept { return running_; }
    int StepPos() const noexcept { return stepPos_; }
    int IntroStep() const noexcept { return introStep_; }
    int IntroLen() const noexcept { return introLen_; }
    bool Backbeat() const noexcept { return backbeat_; }

private:
    void playCountInStep(const StepInputs& inputs, StepEvent& event) noexcept;
    void playPatternStep(const StepInputs& inputs, StepEvent& event) noexcept;

    bool running_ = false;
    std::int16_t stepPos_ = 0;
    std::int16_t introStep_ = 0;
    std::int16_t introLen_ = 0;
    bool backbeat_ = false;
};

}  // namespace taktwerk::sequencer
