#include "sound/MidiFile.h"

#include "pattern/Meter.h"
#include "sequencer/Sequencer.h"
#include "sound/Pads.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace taktwerk::sound {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kDrumChannel = 9;  // channel 10, counted from 0 on the wire
constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kMetaTrackName = 0x03;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaTimeSignature = 0x58;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr double kMicrosecondsPerMinute = 60'000'000.0;
constexpr std::uint8_t kClocksPerClick = 24;  // a metronome click per quarter note
constexpr std::uint8_t kThirtySecondsPerQuarter = 8;

struct Event {
    std::uint64_t tick;
    std::vector<std::uint8_t> bytes;
};

void putBigEndian(std::string& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFFu);
}

void putVariableLength(std::string& out, std::uint64_t value)
{
    std::uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7Fu);
        value >>= 7;
    } while (value != 0);
    while (count-- > 0)
        out += static_cast<char>(groups[count] | (count > 0 ? 0x80u : 0u));
}

std::vector<std::uint8_t> meta(std::uint8_t type, std::vector<std::uint8_t> data)
{
    std::vector<std::uint8_t> bytes{kMeta, type};
    std::string length;
    putVariableLength(length, data.size());
    bytes.insert(bytes.end(), length.begin(), length.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// A bar is the count-in's bar of four beats: 4/4 with four steps per beat, else four beats
// of `Interval` sixteenths (12/16, 20/16), so a DAW's bar lines fall where ours do.
std::vector<std::uint8_t> timeSignature(int interval)
{
    constexpr std::uint8_t kQuarter = 2;  // denominator as a power of two
    constexpr std::uint8_t kSixteenth = 4;
    if (interval == 4)
        return meta(kMetaTimeSignature, {4, kQuarter, kClocksPerClick, kThirtySecondsPerQuarter});
    return meta(kMetaTimeSignature, {static_cast<std::uint8_t>(4 * interval), kSixteenth,
                                     kClocksPerClick / 4, kThirtySecondsPerQuarter});
}

// A delay of `units` fiftieths of a step in ticks, rounded half up.
std::uint64_t swingTicks(std::uint64_t units)
{
    constexpr auto kUnits = static_cast<std::uint64_t>(pattern::kSwingDelayUnitsPerStep);
    return (2 * units * kMidiFileTicksPerStep + kUnits) / (2 * kUnits);
}

}  // namespace

std::string midiFileBytes(const MidiFileJob& job)
{
    const int tempo = sequencer::clampTempo(job.tempoBpm);
    const auto microsPerQuarter =
        static_cast<std::uint32_t>(std::lround(kMicrosecondsPerMinute / tempo));

    std::vector<Event> events;
    events.push_back({0, meta(kMetaTrackName, {job.name.begin(), job.name.end()})});
    events.push_back({0, meta(kMetaTempo, {static_cast<std::uint8_t>(microsPerQuarter >> 16),
                                           static_cast<std::uint8_t>(microsPerQuarter >> 8),
                                           static_cast<std::uint8_t>(microsPerQuarter)})});
    if (pattern::isValidInterval(job.interval))
        events.push_back({0, timeSignature(job.interval)});

    sequencer::StepInputs inputs;
    inputs.rows = job.rows;
    inputs.velocities = job.velocities;
    inputs.swing = job.swing;
    inputs.mutes = job.mutes;
    inputs.interval = job.interval;
    inputs.beats = job.beats;
    sequencer::Sequencer sequencer;
    sequencer.start();
    const int loopSteps = pattern::playbackLoopLength(job.interval, job.beats, false);
    const std::uint64_t steps =
        static_cast<std::uint64_t>(std::max(job.loops, 0)) * static_cast<std::uint64_t>(loopSteps);
    const std::uint64_t end = steps * kMidiFileTicksPerStep;
    for (std::uint64_t step = 0; step < steps; ++step) {
        const sequencer::StepEvent played = sequencer.step(inputs);
        const auto delay = static_cast<std::uint64_t>(
            pattern::swingDelayUnits(inputs.swing, inputs.interval, played.step));
        std::uint64_t tick = step * kMidiFileTicksPerStep + swingTicks(delay);
        if (tick >= end)
            tick -= end;
        for (int track = 0; track < pattern::kTrackCount; ++track) {
            if (((played.hits >> track) & 1u) == 0)
                continue;
            const auto slot = static_cast<std::size_t>(track);
            const auto note = static_cast<std::uint8_t>(kPadNotes[slot]);
            const auto velocity = static_cast<std::uint8_t>(pattern::clampVelocity(
                inputs.velocities[slot][static_cast<std::size_t>(played.step)]));
            events.push_back({tick, {kNoteOn | kDrumChannel, note, velocity}});
            events.push_back(
                {std::min(tick + kMidiFileGateTicks, end), {kNoteOff | kDrumChannel, note, 0}});
        }
    }
    // Stable: at one tick the events keep the order they were made in (name and tempo first,
    // notes in track order).
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    // The end of the track closes the last loop, so the file loops seamlessly.
    events.push_back({end, meta(kMetaEndOfTrack, {})});

    std::string track;
    std::uint64_t last = 0;
    for (const Event& event : events) {
        putVariableLength(track, event.tick - last);
        track.append(event.bytes.begin(), event.bytes.end());
        last = event.tick;
    }

    std::string file = "MThd";
    putBigEndian(file, 6, 4);
    putBigEndian(file, 0, 2);  // format 0: one track
    putBigEndian(file, 1, 2);
    putBigEndian(file, kMidiFileTicksPerQuarter, 2);
    file += "MTrk";
    putBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
    return file + track;
}

}  // namespace taktwerk::sound
