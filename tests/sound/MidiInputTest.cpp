// Notes from a MIDI controller or e-drum kit: which messages strike which pad (hostile input
// included), the map as the settings file spells it, and when a strike sounds.

#include "sound/MidiInput.h"

#include "SoundTestSupport.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace taktwerk::sound {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<PadStrike> strike(const Bytes& bytes,
                                const DrumNoteMap& map = DrumNoteMap::generalMidi())
{
    return padStrikeFor(bytes.data(), bytes.size(), map);
}

TEST(MidiInput, OnlyAWholeNoteOnWithAVelocityStrikesAPadOnAnyChannel)
{
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<PadStrike> strikes;
    } cases[] = {
        {"bass drum on channel 10", {0x99, 36, 100}, PadStrike{0, 100}},
        {"snare on channel 1 (pad controllers)", {0x90, 38, 1}, PadStrike{1, 1}},
        {"crash on channel 16", {0x9F, 49, 127}, PadStrike{5, 127}},
        {"velocity 0 is a note-off", {0x99, 36, 0}, std::nullopt},
        {"note-off", {0x89, 36, 64}, std::nullopt},
        {"running status: no status byte", {36, 100}, std::nullopt},
        {"running status, three data bytes", {36, 100, 38}, std::nullopt},
        {"cut short after the note", {0x99, 36}, std::nullopt},
        {"cut short after the status", {0x99}, std::nullopt},
        {"empty", {}, std::nullopt},
        {"another status inside", {0x99, 0xF8, 36}, std::nullopt},
        {"velocity byte is a status", {0x99, 36, 0x90}, std::nullopt},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, std::nullopt},
        {"clock", {0xF8}, std::nullopt},
        {"controller", {0xB9, 36, 100}, std::nullopt},
        {"polyphonic pressure", {0xA9, 36, 100}, std::nullopt},
        {"note nobody plays", {0x99, 60, 100}, std::nullopt},
        {"longer than a note-on: the note-on counts", {0x99, 42, 90, 0x00}, PadStrike{2, 90}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(strike(c.bytes), c.strikes) << c.what;
    EXPECT_EQ(padStrikeFor(nullptr, 3, DrumNoteMap::generalMidi()), std::nullopt);
}

TEST(MidiInput, LearnHearsTheNumberOfEveryWholeNoteOnMappedOrNot)
{
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<int> note;
    } cases[] = {
        {"mapped note on channel 10", {0x99, 36, 100}, 36},
        {"unmapped note on channel 1", {0x90, 60, 1}, 60},
        {"lowest note", {0x9F, 0, 127}, 0},
        {"highest note", {0x9F, 127, 127}, 127},
        {"note number above 127 is a status byte", {0x99, 0x80, 100}, std::nullopt},
        {"velocity 0 is a note-off", {0x99, 36, 0}, std::nullopt},
        {"note-off", {0x89, 37, 64}, std::nullopt},
        {"running status", {37, 100}, std::nullopt},
        {"cut short", {0x99, 37}, std::nullopt},
        {"clock", {0xF8}, std::nullopt},
        {"start", {0xFA}, std::nullopt},
        {"program change", {0xC9, 37}, std::nullopt},
        {"controller", {0xB0, 37, 100}, std::nullopt},
        {"system exclusive", {0xF0, 0x99, 37, 100, 0xF7}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noteOnNumber(c.bytes.data(), c.bytes.size()), c.note) << c.what;
        // A note learn hears must strike its pad once mapped, and nothing else may.
        DrumNoteMap all;
        for (int note = 0; note < kMidiNoteCount; ++note)
            all.set(note, 4);
        EXPECT_EQ(strike(c.bytes, all).has_value(), c.note.has_value()) << c.what;
    }
    EXPECT_EQ(noteOnNumber(nullptr, 3), std::nullopt);
}

TEST(MidiInput, TheGeneralMidiDrumNotesPlayTheirPads)
{
    const std::vector<std::pair<std::vector<int>, int>> pads = {
        {{36, 35}, 0}, {{38, 40}, 1}, {{42, 44}, 2}, {{46}, 3},     {{51, 59}, 4},
        {{49, 57}, 5}, {{48, 50}, 6}, {{45, 47}, 7}, {{41, 43}, 8},
    };
    const DrumNoteMap map = DrumNoteMap::generalMidi();
    int mapped = 0;
    for (int note = -1; note <= kMidiNoteCount; ++note)
        mapped += map.track(note) >= 0 ? 1 : 0;
    EXPECT_EQ(mapped, 17);
    for (const auto& [notes, track] : pads) {
        for (const int note : notes)
            EXPECT_EQ(map.track(note), track) << note;
    }
    EXPECT_EQ(map.notesText(0), "35 36");
    EXPECT_EQ(map.notesText(3), "46");
}

TEST(MidiInput, TheSettingsTextMapsWhatIsANoteAndPassesOverTheRest)
{
    const struct {
        const char* text;
        const char* kept;
    } cases[] = {
        {"36 35", "35 36"},
        {"36,35", "35 36"},
        {" 36 ,, 35 ", "35 36"},
        {"", ""},
        {"abc", ""},
        {"128 -1 36.5 1e2", ""},
        {"0 127", "0 127"},
        {"60;61\t62", "60 61 62"},
        {"99999999999999999999", ""},
        {"36abc 37", "37"},
        {"+36", ""},
        {"042", "42"},
    };
    for (const auto& c : cases) {
        DrumNoteMap map = DrumNoteMap::generalMidi();
        map.setNotesText(0, c.text);
        EXPECT_EQ(map.notesText(0), c.kept) << '"' << c.text << '"';
    }
    // A note taken by another pad moves; that pad keeps its others.
    DrumNoteMap map = DrumNoteMap::generalMidi();
    map.setNotesText(1, "36");
    EXPECT_EQ(map.notesText(1), "36");
    EXPECT_EQ(map.notesText(0), "35");
}

// A MIDI input that plays scripted events, each in the block it names.
class ScriptedInput final : public MidiBlockSink, public MidiBlockInput {
public:
    struct Event {
        std::uint64_t block;
        std::uint32_t frame;
        Bytes bytes;
    };
    explicit ScriptedInput(std::vector<Event> events) : events_(std::move(events)) {}
    bool midiAt(std::uint32_t, const std::uint8_t*, std::size_t) noexcept override { return false; }
    bool hasReceiver() const noexcept override { return false; }
    const MidiBlockInput* input() const noexcept override { return this; }
    std::uint32_t count() const noexcept override
    {
        return static_cast<std::uint32_t>(events_.size());
    }
    bool at(std::uint32_t index, MidiInEvent& event) const noexcept override
    {
        const Event& scripted = events_[index];
        if (scripted.block != block_)
            return false;
        event = {scripted.frame, scripted.bytes.data(), scripted.bytes.size()};
        return true;
    }
    void nextBlock() noexcept { ++block_; }

private:
    std::vector<Event> events_;
    std::uint64_t block_ = 0;
};

TEST(MidiInput, TheEngineReportsEachNoteOnHeardForLearnButNothingElse)
{
    Engine engine(48000.0);
    std::vector<float> buffer(2 * 64);
    // Block 0: only what no note-on is. Block 1: an unmapped note, the same once more, with a
    // clock inside the second. Block 2: a late frame beyond the block, never taken.
    ScriptedInput input({{0, 1, {0x99, 36, 0}},
                         {0, 2, {0x89, 36, 64}},
                         {0, 3, {0xF8}},
                         {0, 4, {36, 100}},
                         {0, 5, {0x99, 0x80, 100}},
                         {1, 10, {0x90, 61, 90}},
                         {1, 20, {0x90, 0xF8, 61, 90}},
                         {2, 64, {0x90, 62, 90}}});
    constexpr std::uint32_t kNoteBits = 8;
    std::vector<std::uint32_t> heard;
    for (int block = 0; block < 3; ++block) {
        engine.process(buffer.data(), 64, input);
        input.nextBlock();
        heard.push_back(engine.heardNoteOn());
    }
    EXPECT_EQ(heard[0], 0u) << "nothing that is no note-on";
    EXPECT_EQ(heard[1] & 0xFF, 61u);
    EXPECT_EQ(heard[1] >> kNoteBits, 2u) << "the same note twice is two news";
    EXPECT_EQ(heard[2], heard[1]) << "an event outside the block";
    EXPECT_EQ(engine.liveDrops(), 0u);
}

TEST(MidiInput, AStrikeSoundsOneBlockLaterAtItsFrameInOrderWithThePattern)
{
    constexpr std::uint32_t kBlock = 256;
    constexpr std::size_t kLength = 2000;
    const testing::TempDir dir;
    SoundChoice choice;
    choice.soundDir = dir.path() / "Sound";
    choice.soundSet = "Kit";
    // Bass drum 0.25, snare 0.5: a mix tells who sounds.
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        const auto id = static_cast<VoiceId>(voice);
        const float level = id == VoiceId::BD ? 0.25f : (id == VoiceId::SD ? 0.5f : 0.0f);
        testing::writeWav(choice.soundDir / "Kit" / (std::string(voiceCode(id)) + ".wav"),
                          testing::constant(level, kLength), 48000);
    }
    Engine engine(48000.0);
    engine.setMode(SoundMode::Wave);
    engine.SetSound(choice);
    // The pattern's bass drum at frame 300 of block 1; the live snare comes at 100 of block 0,
    // so at 100 of block 1, before it; garbage in between strikes nothing.
    testing::ScriptedSteps steps({{kBlock + 300, 0}});
    engine.setStepSource(&steps);
    ScriptedInput input({{0, 100, {0x90, 38, 127}},
                         {0, 150, {0x99, 38, 0}},
                         {0, 160, {0xF0, 0x01, 0xF7}},
                         {0, 170, {38, 127}},
                         {12, 5, {0x99, 36, 127}}});
    std::vector<float> left;
    std::vector<float> buffer(kBlock * 2);
    for (int block = 0; block < 14; ++block) {
        engine.process(buffer.data(), kBlock, input);
        input.nextBlock();
        for (std::uint32_t frame = 0; frame < kBlock; ++frame)
            left.push_back(buffer[frame * 2]);
    }
    EXPECT_EQ(left[kBlock + 99], 0.0f);
    EXPECT_EQ(left[kBlock + 100], 0.5f) << "snare one block later";
    EXPECT_EQ(left[kBlock + 300], 0.75f) << "then the pattern's bass drum";
    EXPECT_EQ(left[13 * kBlock + 4], 0.0f);
    EXPECT_EQ(left[13 * kBlock + 5], 0.25f) << "channel 10's bass drum, a block late";
    EXPECT_EQ(engine.liveDrops(), 0u);
}

}  // namespace
}  // namespace taktwerk::sound
