#include "sound/MidiFile.h"

#include "sound/MidiFileReader.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace taktwerk::sound {
namespace {

using testing::ReadEvent;
using testing::ReadFile;
using testing::readMidiFile;

TEST(MidiFile, ReadsBackAsOneTrackOfDrumNotesOnTheirSteps)
{
    MidiFileJob job;
    job.name = "Test";
    job.tempoBpm = 97;
    job.rows[0] = 0b0001'0001;  // bass drum on steps 0 and 4
    job.rows[2] = 0b1111'1111;  // hi-hat on every step of the 8-step loop
    job.rows[1] = 0b0001'0000;  // snare on step 4, muted
    job.rows[5] = 1u << 9;      // crash past the loop's end: never played
    job.mutes = 1u << 1;
    job.beats = 8;
    job.loops = 3;

    const ReadFile file = readMidiFile(midiFileBytes(job));
    EXPECT_EQ(file.format, 0);
    EXPECT_EQ(file.tracks, 1);
    EXPECT_EQ(file.division, 480);

    std::vector<std::vector<std::uint8_t>> metas;
    std::vector<std::pair<std::uint64_t, int>> noteOns;
    std::vector<std::pair<std::uint64_t, int>> noteOffs;
    for (const ReadEvent& event : file.events) {
        if (event.bytes[0] == 0xFF) {
            metas.push_back(event.bytes);
            continue;
        }
        ASSERT_EQ(event.bytes[0] & 0x0F, 9) << "channel 10";
        if ((event.bytes[0] & 0xF0) == 0x90) {
            EXPECT_EQ(event.bytes[2], 127);
            noteOns.push_back({event.tick, event.bytes[1]});
        } else {
            noteOffs.push_back({event.tick - 60, event.bytes[1]});
        }
    }
    // 60000000 / 97 = 618556.7 microseconds per quarter note.
    ASSERT_GE(metas.size(), 3u);
    EXPECT_EQ(metas[1], (std::vector<std::uint8_t>{0xFF, 0x51, 3, 0x09, 0x70, 0x3D}));
    EXPECT_EQ(metas[2], (std::vector<std::uint8_t>{0xFF, 0x58, 4, 4, 2, 24, 8}));
    EXPECT_EQ(metas.back(), (std::vector<std::uint8_t>{0xFF, 0x2F, 0}));
    EXPECT_EQ(file.events.back().tick, 3u * 8u * 120u) << "exactly three loops long";

    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::uint64_t step = 0; step < 24; ++step) {
        if (step % 4 == 0)
            expected.push_back({step * 120, 36});
        expected.push_back({step * 120, 42});
    }
    EXPECT_EQ(noteOns, expected);
    EXPECT_EQ(noteOffs, expected) << "every note ends half a step later";
}

TEST(MidiFile, OtherIntervalsMakeBarsOfFourBeatsOfSixteenths)
{
    MidiFileJob job;
    job.interval = 5;
    job.beats = 20;
    job.tempoBpm = 450;
    job.loops = 1;
    const ReadFile file = readMidiFile(midiFileBytes(job));
    ASSERT_EQ(file.events.size(), 4u) << "name, tempo, metre and end only";
    EXPECT_EQ(file.events[2].bytes, (std::vector<std::uint8_t>{0xFF, 0x58, 4, 20, 4, 6, 8}));
    EXPECT_EQ(file.events.back().tick, 20u * 120u);
}

struct Note {
    std::uint64_t tick;
    int key;
    int velocity;  // 0: a note-off
    friend bool operator==(const Note&, const Note&) = default;
};

std::ostream& operator<<(std::ostream& out, const Note& note)
{
    return out << "{@" << note.tick << " " << note.key << " v" << note.velocity << "}";
}

std::vector<Note> notesOf(const MidiFileJob& job)
{
    std::vector<Note> notes;
    const ReadFile file = readMidiFile(midiFileBytes(job));
    for (const ReadEvent& event : file.events) {
        if (event.bytes[0] == 0xFF)
            continue;
        const bool on = (event.bytes[0] & 0xF0) == 0x90;
        notes.push_back({event.tick, event.bytes[1], on ? event.bytes[2] : 0});
    }
    EXPECT_EQ(file.events.back().tick, static_cast<std::uint64_t>(job.beats) * 120u)
        << "one loop, swung or not";
    return notes;
}

TEST(MidiFile, NotesCarryTheirStepsVelocityAndStandAtTheSwungTick)
{
    // The hi-hat on every step of a 16-step loop, each step a velocity of its own.
    MidiFileJob job;
    job.loops = 1;
    job.rows[2] = 0xFFFF;
    for (int step = 0; step < 32; ++step)
        job.velocities[2][static_cast<std::size_t>(step)] = static_cast<std::uint8_t>(10 + step);
    // The late steps' delay in ticks: 12/5 tick per swing percent on 16ths, twice on 8ths,
    // rounded half up where the fifth does not come out even.
    const struct {
        pattern::Swing swing;
        int interval;
        std::uint64_t lateTicks;
    } cases[] = {
        {{50, pattern::SwingNote::Sixteenth}, 4, 0},
        {{55, pattern::SwingNote::Sixteenth}, 4, 12},
        {{58, pattern::SwingNote::Sixteenth}, 4, 19},  // 19.2
        {{62, pattern::SwingNote::Sixteenth}, 4, 29},  // 28.8
        {{75, pattern::SwingNote::Sixteenth}, 4, 60},
        {{66, pattern::SwingNote::Eighth}, 4, 77},  // 76.8
        {{58, pattern::SwingNote::Sixteenth}, 3, 0},
    };
    for (const auto& c : cases) {
        job.swing = c.swing;
        job.interval = c.interval;
        job.beats = c.interval == 4 ? 16 : 12;
        const auto notes = notesOf(job);
        ASSERT_EQ(notes.size(), 2u * static_cast<std::size_t>(job.beats));
        std::vector<Note> ons;
        std::vector<Note> offs;
        for (const Note& note : notes)
            (note.velocity != 0 ? ons : offs).push_back(note);
        for (std::uint64_t step = 0; step < static_cast<std::uint64_t>(job.beats); ++step) {
            const bool late =
                c.swing.note == pattern::SwingNote::Eighth ? step % 4 >= 2 : step % 2 == 1;
            const std::uint64_t tick = step * 120 + (late ? c.lateTicks : 0);
            EXPECT_EQ(ons[step], (Note{tick, 42, static_cast<int>(10 + step)}))
                << c.swing.percent << " %, step " << step;
            EXPECT_EQ(offs[step].tick, std::min<std::uint64_t>(tick + 60, 16 * 120));
            EXPECT_EQ(offs[step].key, 42);
        }
    }
}

TEST(MidiFile, ANoteSwungOntoTheLoopsEndStandsAtItsStart)
{
    // 8ths at 75 %: the loop's last step comes a whole step late, on the next pass's first.
    MidiFileJob job;
    job.loops = 1;
    job.rows[0] = (1u << 0) | (1u << 15);
    job.velocities[0][15] = 33;
    job.swing = {75, pattern::SwingNote::Eighth};
    EXPECT_EQ(notesOf(job),
              (std::vector<Note>{{0, 36, 127}, {0, 36, 33}, {60, 36, 0}, {60, 36, 0}}));
    // At 70 % it stays in the loop, and its note-off is cut at the end.
    job.swing = {70, pattern::SwingNote::Eighth};
    EXPECT_EQ(notesOf(job),
              (std::vector<Note>{{0, 36, 127}, {60, 36, 0}, {1896, 36, 33}, {1920, 36, 0}}));
}

}  // namespace
}  // namespace taktwerk::sound
