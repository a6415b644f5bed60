#pragma once
// The sequencer's state machine: transport, count-in and what one step plays and shows. Pure
// and deterministic; it knows nothing of clocks or threads. Live, the playback source owns one
// on the audio thread and the window paints the events it yields; offline, a renderer drives
// one the same way, so a rendered file and a live performance cannot disagree.

#include "core/Language.h"
#include "pattern/Meter.h"
#include "pattern/Pattern.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace taktwerk::sequencer {

using Rgb = std::uint32_t;  // 0xRRGGBB

inline constexpr Rgb kPadHit = 0xFF8080;
inline constexpr Rgb kPadIdle = 0xE0E0E0;
inline constexpr Rgb kBeatLightOff = 0xC0C0C0;
inline constexpr Rgb kBeatLightRed = 0xFF0000;
inline constexpr Rgb kBeatLightGreen = 0x00FF00;
inline constexpr Rgb kRunButtonStopped = 0x008000;
inline constexpr Rgb kRunButtonPlaying = 0xC00000;

// The snare steps whose hits make the second and fourth beat light up (steps 2 to 5).
inline constexpr pattern::Row kBackbeatSteps = 0b111100;

// The beginner view's two-picture animation; frames change only in that view.
enum class AnimationFrame : std::int8_t { Unchanged = -1, Frame0 = 0, Frame1 = 1 };

// Everything a step reads, taken afresh at every due step, so that an edit, a load, a meter
// change or a mute takes effect at the next step.
struct StepInputs {
    std::array<pattern::Row, pattern::kTrackCount> rows{};
    std::uint16_t mutes = 0;  // bit t: track t muted
    int interval = pattern::kDefaultInterval;
    int beats = pattern::kDefaultBeats;
    bool intro = false;     // "Intro" checked
    bool beginner = false;  // "Beginner Mode" checked
};

// What one due step does: the sounds the engine plays and the looks the window paints.
struct StepEvent {
    enum class Kind : std::uint8_t { CountIn, Pattern };
    Kind kind = Kind::Pattern;
    std::int16_t step = -1;      // pattern step played (grid column); -1 on a count-in step
    std::int16_t introStep = 0;  // `IntroStep` after this step
    std::int16_t nextStep = 0;   // `StepPos` after the wrap: the next pattern step to play
    std::uint16_t hits = 0;      // bit t: track t's pad is pressed (cell set, track unmuted)
    std::uint16_t litPads = 0;   // bit t: pad t shows kPadHit (pattern steps only)
    bool click = false;          // one count-in click
    bool beginner = false;       // the view the step was played in (its pads obey it)
    Rgb beatLight = kBeatLightOff;
    AnimationFrame animation = AnimationFrame::Unchanged;
    std::int8_t markerColumn = -1;  // play-position markers' column; -1: they stay
    std::uint64_t frame = 0;        // absolute audio frame, filled in by whoever clocks the step

    bool repaintsPads() const noexcept { return kind == Kind::Pattern; }
    Rgb padColour(int track) const noexcept { return (litPads >> track) & 1u ? kPadHit : kPadIdle; }
};
static_assert(std::is_trivially_copyable_v<StepEvent>);

// The RUN/STOP button's captions, in English: the window shows them in the user's language.
inline constexpr const char* kRunCaption = core::translatable("R U N");
inline constexpr const char* kStopCaption = core::translatable("S T O P");

// What the RUN/STOP button and the lights show after a press.
struct TransportLooks {
    std::string_view caption;  // kRunCaption or kStopCaption
    Rgb buttonColour = kRunButtonStopped;
    bool resetsLights = false;  // beat light to kBeatLightOff and all pads to kPadIdle
    std::int8_t markerColumn = -1;
    AnimationFrame animation = AnimationFrame::Unchanged;
};

// The markers' x position over grid column `step`, in twips.
constexpr int markerX(int step) noexcept { return 300 + 420 * step; }

// What RUN and STOP show; the window paints these at once, before the audio thread has even
// seen the press.
TransportLooks startLooks(bool beginner) noexcept;
TransportLooks stopLooks(bool beginner) noexcept;

class Sequencer {
public:
    // RUN: starts over at pattern step 0, after a count-in when "Intro" is checked.
    TransportLooks start(bool beginner) noexcept;
    // STOP: `StepPos` keeps its value until the next start; the markers stay where they are.
    TransportLooks stop(bool beginner) noexcept;
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
