#include "sequencer/Sequencer.h"

#include <cstddef>

namespace taktwerk::sequencer {
namespace {

// What a step does to the beat light and the animation:
//   'R' downbeat light, frame 1, (count-in) click 'G' beat light, frame 1, (count-in) click
//   'b' as 'G' when the pattern has a backbeat    '0' frame 0      '.' nothing
// Count-in rows are indexed by `IntroStep` after its advance (1 to 4 * Interval): one bar of
// four beats, the first beat a downbeat. Pattern rows are indexed by the step played: every
// beat lights, as a downbeat at the top of the loop and of the second bar of four beats.
constexpr std::string_view kCountInTable[3] = {
    ".R.0G.0G.0G.0........",  // Interval 3
    ".R.0.G.0.G.0.G.0.....",  // Interval 4
    ".R..0.G..0.G..0.G..0.",  // Interval 5
};
constexpr std::string_view kBeatTable[3] = {
    "R.0G.0G.0G.0R.0G.0G.0G0...0.....",  // Interval 3
    "R.0.b.0.G.0.b.0.R.0.b.0.G.0.b.0.",  // Interval 4
    "R..0.b..0.G..0.b..0.G..0.G0.0...",  // Interval 5
};

char lookUp(const std::string_view (&table)[3], int interval, int index) noexcept
{
    if (!pattern::isValidInterval(interval) || index < 0)
        return '.';
    const std::string_view row = table[interval - 3];
    const auto at = static_cast<std::size_t>(index);
    return at < row.size() ? row[at] : '.';
}

// Applies one table cell; returns whether it sounds a click (count-in beats only).
bool applyCell(char cell, bool backbeat, bool beginner, StepEvent& event) noexcept
{
    if (cell == 'b')
        cell = backbeat ? 'G' : '.';
    switch (cell) {
    case 'R':
    case 'G':
        event.beatLight = cell == 'R' ? BeatLight::Downbeat : BeatLight::Beat;
        if (beginner)
            event.animation = AnimationFrame::Frame1;
        return true;
    case '0':
        if (beginner)
            event.animation = AnimationFrame::Frame0;
        return false;
    default:
        return false;
    }
}

}  // namespace

void Sequencer::start() noexcept
{
    stepPos_ = 0;
    introStep_ = 0;
    // `IntroLen` belongs to one run of the loop and starts from nothing each time.
    introLen_ = 0;
    running_ = true;
}

void Sequencer::stop() noexcept { running_ = false; }

void Sequencer::locate(int step) noexcept
{
    stepPos_ = static_cast<std::int16_t>(step < 0 || step >= pattern::kStepCount ? 0 : step);
    // Whoever leads the transport counted in already, if anyone.
    introStep_ = static_cast<std::int16_t>(introLen_ + 1);
}

void Sequencer::load() noexcept
{
    stepPos_ = 0;
    introStep_ = 0;
}

StepEvent Sequencer::step(const StepInputs& inputs) noexcept
{
    StepEvent event;
    event.beginner = inputs.beginner;
    backbeat_ = (inputs.rows[pattern::index(pattern::Track::SnareDrum)] & kBackbeatSteps) != 0;
    // Any other interval keeps the count-in length of the last valid one.
    if (pattern::isValidInterval(inputs.interval))
        introLen_ = static_cast<std::int16_t>(4 * inputs.interval - 1);

    if (inputs.intro && introStep_ <= introLen_)
        playCountInStep(inputs, event);
    else
        playPatternStep(inputs, event);

    // After count-in steps too: the loop may have been shortened meanwhile. `>=`, not `==`,
    // because `Beats` or the view can shrink the loop below the step already reached.
    if (stepPos_ >= pattern::playbackLoopLength(inputs.interval, inputs.beats, inputs.beginner))
        stepPos_ = 0;
    event.introStep = introStep_;
    event.nextStep = stepPos_;
    return event;
}

void Sequencer::playCountInStep(const StepInputs& inputs, StepEvent& event) noexcept
{
    ++introStep_;
    event.kind = StepEvent::Kind::CountIn;
    event.beatLight = BeatLight::Off;
    const char cell = lookUp(kCountInTable, inputs.interval, introStep_);
    event.click = applyCell(cell, backbeat_, inputs.beginner, event);
}

void Sequencer::playPatternStep(const StepInputs& inputs, StepEvent& event) noexcept
{
    // The loop may have been shortened (a smaller `Beats`, the beginner view) after the last
    // step had already moved past the new end: start over rather than play one step outside
    // the loop the player now sees.
    if (stepPos_ >= pattern::playbackLoopLength(inputs.interval, inputs.beats, inputs.beginner))
        stepPos_ = 0;
    ++stepPos_;
    const int step = stepPos_ - 1;
    event.kind = StepEvent::Kind::Pattern;
    event.step = static_cast<std::int16_t>(step);
    if (step >= 0 && step < pattern::kStepCount) {
        const pattern::Row bit = pattern::Row{1} << step;
        for (int track = 0; track < pattern::kTrackCount; ++track) {
            if ((inputs.rows[static_cast<std::size_t>(track)] & bit) == 0)
                continue;
            const auto trackBit = static_cast<std::uint16_t>(1u << track);
            // A muted track stays silent but its pad still lights, so the player sees it.
            event.litPads |= trackBit;
            if ((inputs.mutes & trackBit) == 0)
                event.hits |= trackBit;
        }
    }
    event.beatLight = BeatLight::Off;
    if (step < 0 || step >= pattern::kStepCount)
        return;
    event.markerColumn = static_cast<std::int8_t>(step);
    applyCell(lookUp(kBeatTable, inputs.interval, step), backbeat_, inputs.beginner, event);
}

}  // namespace taktwerk::sequencer
