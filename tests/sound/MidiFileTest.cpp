#include "sound/MidiFile.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace taktwerk::sound {
namespace {

// A strict reader of what a type-0 file may hold; any malformation fails the test.
struct ReadEvent {
    std::uint64_t tick;
    std::vector<std::uint8_t> bytes;
};
struct ReadFile {
    int format = -1;
    int tracks = 0;
    int division = 0;
    std::vector<ReadEvent> events;
};

ReadFile readMidiFile(const std::string& data)
{
    ReadFile file;
    std::size_t at = 0;
    const auto byte = [&]() -> std::uint8_t {
        if (at >= data.size())
            throw std::runtime_error("past the end");
        return static_cast<std::uint8_t>(data[at++]);
    };
    const auto number = [&](int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | byte();
        return value;
    };
    const auto variable = [&] {
        std::uint64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = byte();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0)
                return value;
        }
        throw std::runtime_error("variable-length number too long");
    };
    if (data.substr(0, 4) != "MThd")
        throw std::runtime_error("no header");
    at = 4;
    if (number(4) != 6)
        throw std::runtime_error("header length");
    file.format = static_cast<int>(number(2));
    file.tracks = static_cast<int>(number(2));
    file.division = static_cast<int>(number(2));
    if (data.substr(at, 4) != "MTrk")
        throw std::runtime_error("no track");
    at += 4;
    const std::size_t end = at + number(4);
    if (end != data.size())
        throw std::runtime_error("track length");
    std::uint64_t tick = 0;
    while (at < end) {
        tick += variable();
        ReadEvent event{tick, {byte()}};
        if (event.bytes[0] == 0xFF) {
            event.bytes.push_back(byte());
            const std::uint64_t length = variable();
            if (length > 127)
                throw std::runtime_error("no meta event of ours is that long");
            event.bytes.push_back(static_cast<std::uint8_t>(length));
            for (std::uint64_t i = 0; i < length; ++i)
                event.bytes.push_back(byte());
        } else if ((event.bytes[0] & 0xE0u) == 0x80u) {  // note-off, note-on
            event.bytes.push_back(byte());
            event.bytes.push_back(byte());
        } else {
            throw std::runtime_error("unexpected status");
        }
        file.events.push_back(event);
    }
    return file;
}

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
