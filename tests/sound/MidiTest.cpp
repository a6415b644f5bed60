// MIDI mode as a receiver sees it: the exact bytes, the frame each message leaves at, the
// note-offs that follow every hit and what "all notes off" sends. Also the pads' table.

#include "SoundTestSupport.h"

#include <gtest/gtest.h>

namespace taktwerk::sound {

// Readable failures: "@300: 99 24 7f".
void PrintTo(const RecordingMidiSink::Event& event, std::ostream* os)
{
    *os << "@" << event.frame << ":";
    for (auto byte : event.bytes)
        *os << " " << std::hex << int(byte) << std::dec;
}

namespace {

using testing::renderLeft;
using testing::ScriptedSteps;
using Bytes = std::vector<std::uint8_t>;
using Event = RecordingMidiSink::Event;

constexpr double kRate = 48000.0;
constexpr std::uint64_t kGate = 2400;  // 50 ms at 48 kHz

class MidiTest : public ::testing::Test {
protected:
    std::vector<Event> play(std::vector<ScriptedSteps::Hit> hits, std::size_t frames,
                            std::uint32_t block = 256)
    {
        ScriptedSteps steps(std::move(hits));
        engine_.setStepSource(&steps);
        renderLeft(engine_, frames, block, sink_);
        engine_.setStepSource(nullptr);
        renderLeft(engine_, 1, 1, sink_);
        return sink_.events();
    }

    Engine engine_{kRate};
    RecordingMidiSink sink_;
};

TEST_F(MidiTest, BassDrumSendsNoteOnAtItsFrameAndNoteOffAfterTheGate)
{
    const auto events = play({{300, 0}}, 4000);
    const std::vector<Event> expected{{300, Bytes{0x99, 36, 127}},
                                      {300 + kGate, Bytes{0x89, 36, 64}}};
    EXPECT_EQ(events, expected);
}

TEST_F(MidiTest, SameNoteWithinItsGateIsEndedJustBeforeItSoundsAgain)
{
    // The gate crosses block boundaries; the second hit comes before it ends.
    const auto events = play({{250, 2}, {1000, 2}}, 4000);
    const std::vector<Event> expected{{250, Bytes{0x99, 42, 127}},
                                      {1000, Bytes{0x89, 42, 64}},
                                      {1000, Bytes{0x99, 42, 127}},
                                      {1000 + kGate, Bytes{0x89, 42, 64}}};
    EXPECT_EQ(events, expected);
}

TEST_F(MidiTest, APatternHitCarriesItsStepsVelocityAndAPadPressedByHandVelocity)
{
    engine_.hitPad(0);
    const auto events = play({{10, 1, 1}, {2000, 2, 64}, {2001, 3, 127}}, 4000);
    const std::vector<Event> expected{
        {0, Bytes{0x99, 36, 127}},    {10, Bytes{0x99, 40, 1}},
        {2000, Bytes{0x99, 42, 64}},  {2001, Bytes{0x99, 46, 127}},
        {kGate, Bytes{0x89, 36, 64}}, {10 + kGate, Bytes{0x89, 40, 64}}};
    EXPECT_EQ(events, expected);
}

TEST_F(MidiTest, ClickSendsClickNoteWithVelocity)
{
    engine_.setClickNote(56);
    engine_.setVelocity(100);
    const auto events = play({{10, -1}}, 20);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (Event{10, Bytes{0x99, 56, 100}}));
}

TEST_F(MidiTest, NoteOutsideTheMidiRangeSendsNothing)
{
    // A "MIDIClick" of 300 would otherwise put a status byte where the note belongs.
    engine_.setClickNote(300);
    engine_.click();
    engine_.setClickNote(-1);
    engine_.click();
    EXPECT_TRUE(play({}, 5000).empty());
}

TEST_F(MidiTest, AllNotesOffEndsSoundingNotesThenSendsController123)
{
    play({{0, 0}, {5, 1}}, 512);
    sink_.clear();
    engine_.allNotesOff();
    const auto events = play({}, 5000);
    // 513 frames have passed: the all-off goes out at the next block's first frame.
    const std::vector<Event> expected{
        {513, Bytes{0x89, 36, 64}}, {513, Bytes{0x89, 40, 64}}, {513, Bytes{0xB9, 123, 0}}};
    EXPECT_EQ(events, expected);
}

TEST_F(MidiTest, WaveModeSendsNoMidi)
{
    engine_.setMode(SoundMode::Wave);
    engine_.hitPad(0);
    EXPECT_TRUE(play({{10, 0}, {20, -1}}, 500).empty());
    // ... except from the hidden test controls, which always send.
    engine_.sendMidiNote(60);
    const auto events = play({}, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].bytes, (Bytes{0x99, 60, 127}));
}

TEST_F(MidiTest, FullSinkIsCountedNotBlocked)
{
    RecordingMidiSink tiny(true, 1);
    engine_.hitPad(0);
    engine_.hitPad(1);
    renderLeft(engine_, 256, 256, tiny);
    EXPECT_EQ(tiny.events().size(), 1u);
    EXPECT_EQ(engine_.midiDrops(), 1u);
}

TEST(PadActions, NotesAndWaveActionsPerPad)
{
    using Kind = VoiceAction::Kind;
    struct Row {
        int track;
        int note;
        std::vector<std::pair<Kind, VoiceId>> actions;
    };
    const std::vector<Row> rows{
        {0, 36, {{Kind::Start, VoiceId::BD}}},
        {1, 40, {{Kind::Start, VoiceId::SD}}},
        {2, 42, {{Kind::Stop, VoiceId::OH}, {Kind::Start, VoiceId::HH}}},
        {3, 46, {{Kind::Start, VoiceId::OH}}},
        {4, 51, {{Kind::Start, VoiceId::RC}}},
        {5, 49, {{Kind::Start, VoiceId::CC}}},
        {6, 48, {{Kind::Start, VoiceId::T1}, {Kind::Stop, VoiceId::T2}, {Kind::Stop, VoiceId::T3}}},
        {7, 45, {{Kind::Stop, VoiceId::T1}, {Kind::Start, VoiceId::T2}, {Kind::Stop, VoiceId::T3}}},
        {8, 41, {{Kind::Stop, VoiceId::T1}, {Kind::Stop, VoiceId::T2}, {Kind::Start, VoiceId::T3}}},
    };
    for (const Row& row : rows) {
        const auto midi = padActions(row.track, 0, false, SoundMode::Midi);
        EXPECT_EQ(midi.midiNote, row.note);
        EXPECT_EQ(midi.actionCount, 0);
        const auto wave = padActions(row.track, 0, false, SoundMode::Wave);
        EXPECT_EQ(wave.midiNote, 0);
        ASSERT_EQ(wave.actionCount, static_cast<int>(row.actions.size())) << row.track;
        for (std::size_t i = 0; i < row.actions.size(); ++i) {
            EXPECT_EQ(wave.actions[i].kind, row.actions[i].first) << row.track;
            EXPECT_EQ(wave.actions[i].voice, row.actions[i].second) << row.track;
        }
        EXPECT_EQ(wave.editTom, row.track >= 6 ? row.track - 5 : 0);
    }
}

TEST(PadActions, BeginnerViewAndRightButton)
{
    for (auto mode : {SoundMode::Midi, SoundMode::Wave}) {
        for (int track : {3, 5}) {
            const auto press = padActions(track, 0, true, mode);
            EXPECT_EQ(press.midiNote + press.actionCount, 0) << track;
        }
        // A right click plays the other pads as a left click would, but never a tom.
        const auto snare = padActions(1, kRightButton, false, mode);
        EXPECT_NE(snare.midiNote + snare.actionCount, 0);
        const auto tom = padActions(8, kRightButton, false, mode);
        EXPECT_TRUE(tom.opensSampleDialog);
        EXPECT_EQ(tom.editTom, 3);
        EXPECT_EQ(tom.midiNote + tom.actionCount, 0);
    }
    EXPECT_EQ(soundModeFor(0), SoundMode::Wave);  // a garbled "Device" value
}

}  // namespace
}  // namespace taktwerk::sound
