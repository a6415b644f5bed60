// MIDI mode through the built-in synth: every hit at its exact frame, off the synth's own
// 64-frame grid too, sounding as the synth sounds it; the hi-hat choke; any other note rendered
// ahead as it is asked for; with a receiver nothing is rendered.

#include "SoundTestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace taktwerk::sound {
namespace {

using testing::renderLeft;
using testing::ScriptedSteps;

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 100;  // off the synth's grid, so its blocks and ours drift apart
constexpr std::uint64_t kFade = 96;    // the 2 ms cut fade at 48 kHz
constexpr float kExact = 1e-6f;        // float sums of the mix; a hit one frame off misses by 1e-3
constexpr float kIdle = 1e-6f;         // the live synth's reverb hums far below this when idle

float peak(const std::vector<float>& data, std::size_t from, std::size_t to)
{
    float result = 0.0f;
    for (std::size_t i = from; i < std::min(to, data.size()); ++i)
        result = std::max(result, std::abs(data[i]));
    return result;
}

class NoteBankTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        font_ = findSoundFont();
        if (!font_)
            return;
        const auto notes = playedNotes(37);
        auto bank = renderNoteBank(*font_, notes,
                                   {.sampleRate = kRate, .gateSeconds = 0.050, .values = {}});
        ASSERT_TRUE(bank) << bank.error().detail;
        bank_ = std::move(bank.value());
    }
    static void TearDownTestSuite() { bank_.reset(); }

    void SetUp() override
    {
        if (!font_)
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        ASSERT_TRUE(engine_.loadSynth(*font_));
    }

    static const Sample& note(int key) { return *bank_->notes[static_cast<std::size_t>(key)]; }

    std::vector<float> play(std::vector<ScriptedSteps::Hit> hits, std::size_t frames,
                            MidiBlockSink& midi)
    {
        ScriptedSteps steps(std::move(hits));
        engine_.setStepSource(&steps);
        auto out = renderLeft(engine_, frames, kBlock, midi);
        engine_.setStepSource(nullptr);
        renderLeft(engine_, 1, 1, midi);
        return out;
    }
    std::vector<float> play(std::vector<ScriptedSteps::Hit> hits, std::size_t frames)
    {
        NoMidi none;
        return play(std::move(hits), frames, none);
    }

    // Adds `key`'s rendered note, left channel, from `frame` on.
    static void add(std::vector<float>& mix, int key, std::uint64_t frame)
    {
        const Sample& sample = note(key);
        for (std::size_t i = 0; i < sample.frames() && frame + i < mix.size(); ++i)
            mix[frame + i] += sample.data[i * 2];
    }

    static float maxDifference(const std::vector<float>& a, const std::vector<float>& b,
                               std::size_t from, std::size_t to)
    {
        float result = 0.0f;
        for (std::size_t i = from; i < std::min({to, a.size(), b.size()}); ++i)
            result = std::max(result, std::abs(a[i] - b[i]));
        return result;
    }

    static inline std::optional<std::filesystem::path> font_;
    static inline std::unique_ptr<NoteBank> bank_;
    Engine engine_{kRate};
};

TEST_F(NoteBankTest, EveryPadAndTheClickStartOnTheirExactFrame)
{
    // None of these frames lies on the synth's 64-frame grid. The bass drum and the ride are
    // struck twice: each new hit starts the note over while the earlier one rings on, as the
    // synth itself lets them. The closed hi-hat has ended before the open one comes.
    const std::vector<ScriptedSteps::Hit> hits{{1001, 0},  {1301, 0}, {1555, 1},  {2222, 2},
                                               {50007, 3}, {3333, 4}, {20011, 4}, {4444, 5},
                                               {5555, 6},  {6666, 7}, {7777, 8},  {9999, -1}};
    const auto out = play(hits, 96000);
    std::vector<float> expected(out.size(), 0.0f);
    for (const auto& hit : hits)
        add(expected, hit.track < 0 ? 37 : kPadNotes[static_cast<std::size_t>(hit.track)],
            hit.frame);
    EXPECT_LT(peak(out, 0, 1001), kIdle);
    EXPECT_LT(maxDifference(out, expected, 0, out.size()), kExact);
    EXPECT_GT(peak(out, 1001, 1301), 0.01f);  // and no silent coincidence
}

TEST_F(NoteBankTest, ClosedHiHatChokesTheOpenOneWhichAlsoChokesItself)
{
    for (const int choker : {2, 3}) {  // closed, then open hi-hat struck over an open one
        const std::uint64_t at = 10007;
        const int key = kPadNotes[static_cast<std::size_t>(choker)];
        const auto out = play({{1001, 3}, {at, choker}}, 30000);
        std::vector<float> open(out.size(), 0.0f);
        add(open, 46, 1001);
        std::vector<float> after(out.size(), 0.0f);
        add(after, key, at);
        EXPECT_LT(maxDifference(out, open, 0, at), kExact) << choker;
        // Within the fade only the fading open hi-hat differs; then it is gone.
        float excess = 0.0f;
        for (std::uint64_t frame = at; frame < at + kFade; ++frame)
            excess = std::max(excess, std::abs(out[frame] - after[frame]) - std::abs(open[frame]));
        EXPECT_LT(excess, kExact) << choker;
        EXPECT_LT(maxDifference(out, after, at + kFade, out.size()), kExact) << choker;
        renderLeft(engine_, 48000 * 4);  // let it ring out before the next round
    }
}

TEST_F(NoteBankTest, AnyNoteTheTestControlsSendIsRenderedAheadToo)
{
    // The hidden test controls reach any note; a high bongo is none MIDI mode plays. It is
    // rendered as it is sent and sounds from the next block's first frame, exactly as rendered:
    // the live synth, which would allocate on the audio thread, stays asleep.
    ASSERT_EQ(bank_->notes[60], nullptr);
    auto bongo = renderNoteBank(*font_, std::vector<int>{60},
                                {.sampleRate = kRate, .gateSeconds = 0.050, .values = {}});
    ASSERT_TRUE(bongo);
    const Sample& expected = *bongo.value()->notes[60];
    renderLeft(engine_, 1000, kBlock);
    engine_.sendMidiNote(60);
    const auto out = renderLeft(engine_, 9600, kBlock);
    std::vector<float> bongoAlone(out.size(), 0.0f);
    for (std::size_t i = 0; i < expected.frames() && i < out.size(); ++i)
        bongoAlone[i] = expected.data[i * 2];
    EXPECT_LT(maxDifference(out, bongoAlone, 0, out.size()), kExact);
    EXPECT_GT(peak(out, 0, out.size()), 0.01f);
}

TEST_F(NoteBankTest, NewVelocityRendersTheNotesAgain)
{
    engine_.setVelocity(64);
    auto soft =
        renderNoteBank(*font_, playedNotes(37),
                       {.sampleRate = kRate, .gateSeconds = 0.050, .values = {.velocity = 64}});
    ASSERT_TRUE(soft);
    const auto out = play({{777, 0}}, 24000);
    std::vector<float> expected(out.size(), 0.0f);
    const Sample& bass = *soft.value()->notes[36];
    for (std::size_t i = 0; i < bass.frames() && 777 + i < out.size(); ++i)
        expected[777 + i] = bass.data[i * 2];
    EXPECT_LT(maxDifference(out, expected, 0, out.size()), kExact);
    EXPECT_LT(peak(bass.data, 0, bass.data.size()), peak(note(36).data, 0, bass.data.size()));
}

TEST_F(NoteBankTest, WithAReceiverTheNotesGoThereAndNothingIsRendered)
{
    RecordingMidiSink receiver;
    const auto out = play({{1001, 0}, {1555, 2}, {2222, -1}}, 9600, receiver);
    EXPECT_LT(peak(out, 0, out.size()), kIdle);
    const auto events = receiver.events();
    ASSERT_EQ(events.size(), 6u);  // three note-ons and their note-offs
    EXPECT_EQ(events[0], (RecordingMidiSink::Event{1001, {0x99, 36, 127}}));
    EXPECT_EQ(events[1], (RecordingMidiSink::Event{1555, {0x99, 42, 127}}));
    EXPECT_EQ(events[2], (RecordingMidiSink::Event{2222, {0x99, 37, 127}}));
}

TEST(NoteBank, NotesTheProgramPlaysAndTheirExclusiveClasses)
{
    const auto notes = playedNotes(37);
    EXPECT_EQ(notes, (std::vector<int>{36, 40, 42, 46, 51, 49, 48, 45, 41, 31, 37, 70, 80, 56}));
    EXPECT_EQ(playedNotes(75).back(), 75);  // a click note from a hand-edited settings file
    EXPECT_EQ(exclusiveClass(42), exclusiveClass(46));
    EXPECT_EQ(exclusiveClass(44), exclusiveClass(46));
    EXPECT_EQ(exclusiveClass(36), 0);
    EXPECT_NE(exclusiveClass(80), exclusiveClass(42));
}

TEST(NoteBank, LooksUpOnlyTheStatusAndVelocityItWasRenderedWith)
{
    NoteBank bank;
    bank.status = 0x99;
    bank.velocity = 127;
    bank.notes[36] = std::make_shared<Sample>(Sample{{0.5f, 0.5f}});
    EXPECT_NE(bank.sample(MidiNoteOn(36, {})), nullptr);
    EXPECT_EQ(bank.sample(MidiNoteOn(36, {.velocity = 100})), nullptr);
    EXPECT_EQ(bank.sample(MidiNoteOn(36, {.channel = 1})), nullptr);
    EXPECT_EQ(bank.sample(MidiNoteOn(38, {})), nullptr);
    EXPECT_TRUE(bank.covers(std::vector<int>{36, 300}, {}));  // 300 is never sent
    EXPECT_FALSE(bank.covers(std::vector<int>{36, 38}, {}));
}

}  // namespace
}  // namespace taktwerk::sound
