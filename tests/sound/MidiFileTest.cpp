#include "sound/MidiFile.h"

#include "sound/MidiFileReader.h"

#include <cstdint>
#include <gtest/gtest.h>
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

}  // namespace
}  // namespace taktwerk::sound
