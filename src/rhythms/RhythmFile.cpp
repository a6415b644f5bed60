#include "rhythms/RhythmFile.h"

#include "core/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::rhythms {

namespace {

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kRhythmData = "RhythmData";
constexpr std::string_view kMute = "Mute";
constexpr std::string_view kMulti = "Multi";
constexpr std::string_view kVelocity = "Velocity";
constexpr std::string_view kSwing = "Swing";
constexpr std::string_view kSwingNote = "SwingNote";
constexpr std::string_view kEmptyRow = "________________________________";

std::size_t slot(int track) { return static_cast<std::size_t>(track); }

// A stored number, or `previous` when it does not fit 16 bits.
std::int16_t readNumber(const core::ProfileFile& profile, std::string_view section,
                        std::string_view key, std::string_view fallback, std::int16_t previous)
{
    return core::leadingInt16(profile.read(section, key, fallback)).value_or(previous);
}

// Sets `key` to `value`, or erases it when the value is the default a reader takes anyway.
void setUnlessDefault(core::ProfileFile& profile, std::string_view section, std::string_view key,
                      bool isDefault, const std::string& value)
{
    if (isDefault)
        profile.erase(section, key);
    else
        profile.set(section, key, value);
}

std::string velocityList(const pattern::VelocityRow& row)
{
    std::string text;
    for (const std::uint8_t velocity : row) {
        if (!text.empty())
            text += ',';
        text += core::decimalText(velocity);
    }
    return text;
}

// A leading number clamped into [min, max] and rounded half to even, as the file's numbers
// are; `fallback` when the text does not start with a number.
int clampedNumber(std::string_view text, int min, int max, int fallback)
{
    const std::optional<double> number = core::leadingNumberIfAny(text);
    if (!number)
        return fallback;
    return static_cast<int>(
        std::nearbyint(std::clamp(*number, static_cast<double>(min), static_cast<double>(max))));
}

void readVelocities(std::string_view list, pattern::Pattern& pattern, int track)
{
    for (int step = 0; step < pattern::kStepCount && !list.empty(); ++step) {
        const std::size_t comma = list.find(',');
        const std::string_view entry = list.substr(0, comma);
        pattern.setVelocity(track, step,
                            clampedNumber(entry, pattern::kMinVelocity, pattern::kMaxVelocity,
                                          pattern::kDefaultVelocity));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
}

}  // namespace

void writeRhythm(const Rhythm& rhythm, core::ProfileFile& profile)
{
    profile.set(kSettings, "Name", rhythm.name);
    profile.set(kSettings, "BPM", core::decimalText(rhythm.Bpm));
    profile.set(kSettings, "Beats", core::decimalText(rhythm.Beats));
    profile.set(kSettings, "Intv", core::decimalText(rhythm.Interval));
    profile.set(kSettings, "Sound", rhythm.SoundSet);
    setUnlessDefault(profile, kSettings, kSwing, rhythm.swing.percent == pattern::kStraightSwing,
                     core::decimalText(rhythm.swing.percent));
    setUnlessDefault(profile, kSettings, kSwingNote,
                     rhythm.swing.note == pattern::SwingNote::Sixteenth,
                     core::decimalText(static_cast<int>(rhythm.swing.note)));
    for (int track = 0; track < pattern::kTrackCount; ++track)
        profile.set(kRhythmData, pattern::kTrackKeys[slot(track)],
                    rhythm.pattern.RowToPattern(track));
    for (int track = 0; track < pattern::kTrackCount; ++track)
        profile.set(kMute, pattern::kTrackKeys[slot(track)],
                    rhythm.mutes.isMuted(track) ? "1" : "0");
    profile.set(kMulti, "Snare", core::decimalText(rhythm.SnareChoice));
    profile.set(kMulti, "Ride", core::decimalText(rhythm.RideChoice));
    profile.set(kMulti, "Tom1", rhythm.Tom1Sound);
    profile.set(kMulti, "Tom2", rhythm.Tom2Sound);
    profile.set(kMulti, "Tom3", rhythm.Tom3Sound);
    // All nine tracks or none, as in the other track sections.
    const bool defaultVelocities = rhythm.pattern.hasDefaultVelocities();
    for (int track = 0; track < pattern::kTrackCount; ++track)
        setUnlessDefault(profile, kVelocity, pattern::kTrackKeys[slot(track)], defaultVelocities,
                         velocityList(rhythm.pattern.velocities()[slot(track)]));
}

core::Result<void> writeRhythmFile(const Rhythm& rhythm, const std::filesystem::path& file)
{
    auto profile = core::ProfileFile::open(file);
    if (!profile)
        return core::fail(profile.error().message, profile.error().detail);
    writeRhythm(rhythm, *profile);
    return profile->commit();
}

Rhythm readRhythm(const core::ProfileFile& profile, const Rhythm& previous)
{
    Rhythm rhythm;
    rhythm.name = profile.read(kSettings, "Name", "");
    rhythm.Bpm = readNumber(profile, kSettings, "BPM", "120", previous.Bpm);
    rhythm.Interval = readNumber(profile, kSettings, "Intv", "4", previous.Interval);
    rhythm.Beats = readNumber(profile, kSettings, "Beats", "16", previous.Beats);
    rhythm.SoundSet = profile.read(kSettings, "Sound", "Default");
    rhythm.SnareChoice = readNumber(profile, kMulti, "Snare", "0", previous.SnareChoice);
    rhythm.RideChoice = readNumber(profile, kMulti, "Ride", "0", previous.RideChoice);
    rhythm.Tom1Sound = profile.read(kMulti, "Tom1", "Tom 1");
    rhythm.Tom2Sound = profile.read(kMulti, "Tom2", "Tom 2");
    rhythm.Tom3Sound = profile.read(kMulti, "Tom3", "Tom 3");
    for (int track = 0; track < pattern::kTrackCount; ++track)
        rhythm.pattern.PatternToRow(
            track, profile.read(kRhythmData, pattern::kTrackKeys[slot(track)], kEmptyRow));
    // Only the one-character text "1" mutes: "01", "2" or a word leave the track playing.
    for (int track = 0; track < pattern::kTrackCount; ++track)
        rhythm.mutes.setMuted(track,
                              profile.read(kMute, pattern::kTrackKeys[slot(track)], "0") == "1");
    rhythm.swing.percent =
        clampedNumber(profile.read(kSettings, kSwing, ""), pattern::kStraightSwing,
                      pattern::kMaxSwing, pattern::kStraightSwing);
    rhythm.swing.note = clampedNumber(profile.read(kSettings, kSwingNote, ""), 0, 16, 16) == 8
                            ? pattern::SwingNote::Eighth
                            : pattern::SwingNote::Sixteenth;
    for (int track = 0; track < pattern::kTrackCount; ++track)
        readVelocities(profile.read(kVelocity, pattern::kTrackKeys[slot(track)], ""),
                       rhythm.pattern, track);
    return rhythm;
}

}  // namespace taktwerk::rhythms
