#include "sequencer/Sequencer.h"

#include <gtest/gtest.h>
#include <vector>

namespace taktwerk::sequencer {
namespace {

using pattern::Row;
using Kind = StepEvent::Kind;

constexpr int kSnare = 1;

StepInputs inputs(int interval, int beats, bool intro = false, bool beginner = false)
{
    StepInputs in;
    in.interval = interval;
    in.beats = beats;
    in.intro = intro;
    in.beginner = beginner;
    return in;
}

std::vector<StepEvent> run(Sequencer& sequencer, const StepInputs& in, int steps)
{
    std::vector<StepEvent> events;
    for (int i = 0; i < steps; ++i)
        events.push_back(sequencer.step(in));
    return events;
}

TEST(Sequencer, CountInClicksOneBarOfFourBeatsThenPlaysStepZero)
{
    Sequencer sequencer;
    sequencer.start();
    const auto events = run(sequencer, inputs(4, 16, true), 18);

    std::vector<int> clicks;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(events[i].kind, Kind::CountIn);
        EXPECT_EQ(events[i].introStep, i + 1);
        EXPECT_EQ(events[i].litPads, 0) << "a count-in step leaves the pads alone";
        EXPECT_EQ(events[i].markerColumn, -1);
        if (events[i].click)
            clicks.push_back(events[i].introStep);
    }
    EXPECT_EQ(clicks, (std::vector<int>{1, 5, 9, 13}));
    EXPECT_EQ(events[0].beatLight, BeatLight::Downbeat);
    EXPECT_EQ(events[4].beatLight, BeatLight::Beat);
    EXPECT_EQ(events[1].beatLight, BeatLight::Off);
    EXPECT_EQ(sequencer.IntroLen(), 15);

    EXPECT_EQ(events[16].kind, Kind::Pattern);
    EXPECT_EQ(events[16].step, 0);
    EXPECT_EQ(events[17].step, 1);
}

TEST(Sequencer, CountInLengthAndClicksFollowTheInterval)
{
    struct Case {
        int interval;
        std::vector<int> clicks;
        std::vector<int> frame0;
    };
    for (const Case& c :
         {Case{3, {1, 4, 7, 10}, {3, 6, 9, 12}}, Case{5, {1, 6, 11, 16}, {4, 9, 14, 19}}}) {
        Sequencer sequencer;
        sequencer.start();
        const auto events =
            run(sequencer, inputs(c.interval, 4 * c.interval, true, true), 4 * c.interval + 1);
        std::vector<int> clicks;
        std::vector<int> frame0;
        for (const StepEvent& event : events) {
            if (event.click)
                clicks.push_back(event.introStep);
            if (event.animation == AnimationFrame::Frame0 && event.kind == Kind::CountIn)
                frame0.push_back(event.introStep);
        }
        EXPECT_EQ(clicks, c.clicks) << "interval " << c.interval;
        EXPECT_EQ(frame0, c.frame0) << "interval " << c.interval;
        EXPECT_EQ(events.back().step, 0);
    }
}

TEST(Sequencer, WithoutIntroStepZeroPlaysFirstAndTheLoopWrapsAtBeats)
{
    Sequencer sequencer;
    sequencer.start();
    auto in = inputs(4, 16);
    auto events = run(sequencer, in, 17);
    EXPECT_EQ(events[0].kind, Kind::Pattern);
    EXPECT_EQ(events[0].step, 0);
    EXPECT_EQ(events[15].step, 15);
    EXPECT_EQ(events[15].nextStep, 0);
    EXPECT_EQ(events[16].step, 0);

    // Lowering the loop to 8 while step 11 plays: the next step is step 0.
    run(sequencer, in, 11);
    EXPECT_EQ(sequencer.StepPos(), 12);
    in.beats = 8;
    EXPECT_EQ(sequencer.step(in).step, 0) << "no step outside the shortened loop";
    EXPECT_EQ(sequencer.step(in).step, 1);
}

TEST(Sequencer, BeginnerViewShortensTheLoopWhateverBeatsSays)
{
    struct Case {
        int interval;
        int beats;
        int length;
    };
    for (const Case& c :
         {Case{3, 6, 12}, Case{3, 24, 12}, Case{4, 32, 16}, Case{4, 8, 8}, Case{5, 30, 10}}) {
        Sequencer sequencer;
        sequencer.start();
        const auto events = run(sequencer, inputs(c.interval, c.beats, false, true), c.length + 1);
        EXPECT_EQ(events[static_cast<std::size_t>(c.length) - 1].step, c.length - 1);
        EXPECT_EQ(events.back().step, 0) << c.interval << "/" << c.beats;
    }

    // Entering the view while playing beyond step 15 of a 32-step loop: step 0 comes next.
    Sequencer sequencer;
    sequencer.start();
    run(sequencer, inputs(4, 32), 20);
    EXPECT_EQ(sequencer.step(inputs(4, 32, false, true)).step, 0);
}

TEST(Sequencer, LargerIntervalAfterACountInPlaysTheMissingCountInSteps)
{
    Sequencer sequencer;
    sequencer.start();
    run(sequencer, inputs(3, 12, true), 12 + 2);  // count-in, then steps 0 and 1
    const auto events = run(sequencer, inputs(4, 16, true), 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].kind, Kind::CountIn);
        EXPECT_EQ(events[i].introStep, 13 + i);
    }
    EXPECT_TRUE(events[0].click);
    EXPECT_EQ(events[0].beatLight, BeatLight::Beat);
    EXPECT_FALSE(events[1].click);
    EXPECT_EQ(events[4].step, 2) << "the pattern continues where it paused";
}

TEST(Sequencer, IntroCheckedOrUncheckedMidPlayPausesOrResumesThePattern)
{
    Sequencer sequencer;
    sequencer.start();
    run(sequencer, inputs(4, 16), 3);
    auto events = run(sequencer, inputs(4, 16, true), 17);
    EXPECT_EQ(events[0].introStep, 1);
    EXPECT_TRUE(events[0].click);
    EXPECT_EQ(events[15].kind, Kind::CountIn);
    EXPECT_EQ(events[16].step, 3);

    // A new run: unchecking "Intro" during the count-in ends it at the next step.
    sequencer.start();
    run(sequencer, inputs(4, 16, true), 5);
    EXPECT_EQ(sequencer.step(inputs(4, 16)).step, 0);
}

TEST(Sequencer, LoadAndRestartStartOverAtStepZeroWithANewCountIn)
{
    Sequencer sequencer;
    sequencer.start();
    run(sequencer, inputs(4, 16, true), 16 + 9);
    sequencer.load();
    EXPECT_TRUE(sequencer.Running());
    auto events = run(sequencer, inputs(4, 16, true), 17);
    EXPECT_TRUE(events[0].click);
    EXPECT_EQ(events[16].step, 0);

    sequencer.load();
    EXPECT_EQ(sequencer.step(inputs(4, 16)).step, 0);

    run(sequencer, inputs(4, 16), 6);
    sequencer.stop();
    EXPECT_FALSE(sequencer.Running());
    EXPECT_EQ(sequencer.StepPos(), 7) << "kept until the next start";

    sequencer.start();
    EXPECT_EQ(sequencer.step(inputs(4, 16)).step, 0);
}

// The beat light over a whole loop, as a string: R downbeat, G other beat, . off.
std::string beatLights(int interval, int beats, bool backbeat)
{
    Sequencer sequencer;
    sequencer.start();
    auto in = inputs(interval, beats);
    if (backbeat)
        in.rows[kSnare] = Row{1} << 4;
    std::string lights;
    for (const StepEvent& event : run(sequencer, in, beats)) {
        lights += event.beatLight == BeatLight::Downbeat ? 'R'
                  : event.beatLight == BeatLight::Beat   ? 'G'
                                                         : '.';
        EXPECT_EQ(event.animation, AnimationFrame::Unchanged) << "frames only for beginners";
        EXPECT_EQ(event.markerColumn, event.step);
    }
    return lights;
}

TEST(Sequencer, BeatLightMarksEveryBeatAndTheBackbeatOnlyWithASnareOnStepsTwoToFive)
{
    EXPECT_EQ(beatLights(4, 32, false), "R.......G.......R.......G.......");
    EXPECT_EQ(beatLights(4, 32, true), "R...G...G...G...R...G...G...G...");
    EXPECT_EQ(beatLights(3, 24, false), "R..G..G..G..R..G..G..G..");
    EXPECT_EQ(beatLights(3, 24, true), "R..G..G..G..R..G..G..G..");
    EXPECT_EQ(beatLights(5, 30, false), "R.........G.........G....G....");
    EXPECT_EQ(beatLights(5, 30, true), "R....G....G....G....G....G....");
}

TEST(Sequencer, BeginnerAnimationFollowsTheBeat)
{
    Sequencer sequencer;
    sequencer.start();
    const auto events = run(sequencer, inputs(4, 16, false, true), 4);
    EXPECT_EQ(events[0].animation, AnimationFrame::Frame1);
    EXPECT_EQ(events[1].animation, AnimationFrame::Unchanged);
    EXPECT_EQ(events[2].animation, AnimationFrame::Frame0);
    EXPECT_EQ(events[3].animation, AnimationFrame::Unchanged);
}

TEST(Sequencer, SetTracksLightTheirPadsAndOnlyUnmutedOnesAreHit)
{
    Sequencer sequencer;
    sequencer.start();
    auto in = inputs(4, 16);
    in.rows[0] = 0b01;  // bass drum on step 0
    in.rows[2] = 0b11;  // hi-hat on steps 0 and 1
    in.rows[3] = 0b01;  // open hi-hat on step 0, after the hi-hat in track order
    in.rows[8] = 0b01;  // tom 3 on step 0, muted
    in.mutes = 1u << 8;

    const StepEvent first = sequencer.step(in);
    EXPECT_EQ(first.hits, 0b000001101);
    EXPECT_EQ(first.litPads, 0b100001101);

    const StepEvent second = sequencer.step(in);
    EXPECT_EQ(second.hits, 0b100);
    EXPECT_EQ(second.litPads, 0b100);
}

}  // namespace
}  // namespace taktwerk::sequencer
