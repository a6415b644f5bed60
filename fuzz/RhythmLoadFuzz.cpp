// Loading a rhythm file of arbitrary bytes: never a crash, and the rhythm a load leaves is
// always one the controls can show and playback can play (tempo in the tempo bar's range,
// 3 to 5 steps per beat, a loop length of that interval, variants 0 to 2, swing 50 to 75 % on
// 16ths or 8ths, every velocity 1 to 127). What a load leaves, saved and read again, is the
// same rhythm; saved without its groove, it leaves no groove key in the file.

#include "FuzzCheck.h"
#include "core/Profile.h"
#include "pattern/Meter.h"
#include "pattern/Swing.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLoad.h"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace taktwerk;
    FuzzedDataProvider input(data, size);
    const bool beginner = input.ConsumeBool();
    // The state before the load: its numbers stay where the file's do not fit 16 bits, and a
    // GUI may hold any of them.
    rhythms::Rhythm current;
    current.Bpm = input.ConsumeIntegral<std::int16_t>();
    current.Interval = input.ConsumeIntegral<std::int16_t>();
    current.Beats = input.ConsumeIntegral<std::int16_t>();
    current.SnareChoice = input.ConsumeIntegral<std::int16_t>();
    current.RideChoice = input.ConsumeIntegral<std::int16_t>();
    const auto file = core::ProfileFile::fromBytes(input.ConsumeRemainingBytesAsString());

    const rhythms::LoadedRhythm loaded = rhythms::loadRhythm(file, current, beginner);
    const rhythms::Rhythm& rhythm = loaded.rhythm;
    FUZZ_CHECK(rhythm.Bpm >= rhythms::kMinBpm && rhythm.Bpm <= rhythms::kMaxBpm);
    FUZZ_CHECK(rhythm.Interval >= 3 && rhythm.Interval <= 5);
    FUZZ_CHECK(loaded.intervalOption == rhythm.Interval - 3);
    FUZZ_CHECK(loaded.resolutionOption >= 0 && loaded.resolutionOption <= 2);
    FUZZ_CHECK(rhythm.Beats == pattern::loopLengthFor(rhythm.Interval, loaded.resolutionOption));
    FUZZ_CHECK(rhythm.SnareChoice >= 0 && rhythm.SnareChoice < rhythms::kVariantCount);
    FUZZ_CHECK(rhythm.RideChoice >= 0 && rhythm.RideChoice < rhythms::kVariantCount);
    FUZZ_CHECK(loaded.HiHatMemory.size() == (beginner ? 32u : 0u));
    FUZZ_CHECK(loaded.StepPos == 0 && loaded.IntroStep == 0 && loaded.markerColumn == 0);
    FUZZ_CHECK(rhythm.swing.percent >= pattern::kStraightSwing &&
               rhythm.swing.percent <= pattern::kMaxSwing);
    FUZZ_CHECK(rhythm.swing.note == pattern::SwingNote::Sixteenth ||
               rhythm.swing.note == pattern::SwingNote::Eighth);
    for (const pattern::VelocityRow& row : rhythm.pattern.velocities())
        for (const std::uint8_t velocity : row)
            FUZZ_CHECK(velocity >= pattern::kMinVelocity && velocity <= pattern::kMaxVelocity);
    // A second load of the same file leaves the same state as one.
    const rhythms::LoadedRhythm again = rhythms::loadRhythm(file, rhythm, beginner);
    FUZZ_CHECK(again.rhythm.name == rhythm.name && again.rhythm.Bpm == rhythm.Bpm &&
               again.rhythm.Interval == rhythm.Interval && again.rhythm.Beats == rhythm.Beats);

    // Saved into a new file and read back: the same rhythm (outside the beginner view, whose
    // merged hi-hat row is what it shows rather than what the file held).
    if (beginner)
        return 0;
    auto saved = core::ProfileFile::fromBytes({});
    rhythms::writeRhythm(rhythm, saved);
    const auto bytes = saved.toBytes();
    if (!bytes)
        return 0;  // a text the Windows-1252 file cannot hold (from a UTF-8 file): refused
    const rhythms::Rhythm reread =
        rhythms::readRhythm(core::ProfileFile::fromBytes(*bytes), rhythms::Rhythm{});
    FUZZ_CHECK(reread == rhythm);

    // The same file saved over with the groove taken out: none of its keys survives.
    auto over = file;
    rhythms::Rhythm plain = rhythm;
    plain.swing = {};
    plain.pattern = {};
    for (int track = 0; track < pattern::kTrackCount; ++track)
        plain.pattern.setRow(track, rhythm.pattern.row(track));
    rhythms::writeRhythm(plain, over);
    const rhythms::Rhythm straight = rhythms::readRhythm(over, rhythms::Rhythm{});
    FUZZ_CHECK(straight.swing == pattern::Swing{});
    FUZZ_CHECK(straight.pattern.hasDefaultVelocities());
    return 0;
}
