#pragma once
// The ten voices' samples and which file each one plays. A VoiceSet is built off the audio
// thread (SetSound, SetSingleSound), handed to the engine by pointer and handed back to be
// freed on the owner's thread. Its samples are shared with the sets built after it, so a
// rebuild of one tom leaves the other nine untouched. A set with a kit.ini (an imported kit)
// gives a voice several velocity layers; all of them are loaded here, with the set, so that
// a hit on the audio thread only picks one.

#include "sound/Sample.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::sound {

// The nine instrument tracks in track order, then the click.
enum class VoiceId : std::uint8_t { BD, SD, HH, OH, RC, CC, T1, T2, T3, ST };
inline constexpr int kVoiceCount = 10;
inline constexpr int kTrackCount = 9;

constexpr int index(VoiceId voice) noexcept { return static_cast<int>(voice); }

// "BD", "SD", ... : the voice's code, as in rhythm files and the sample set's file names.
std::string_view voiceCode(VoiceId voice) noexcept;
// "bass drum", "snare drum", ... : the voice as messages name it to the user, in the user's
// language. Not for the audio thread.
std::string_view voiceName(VoiceId voice);

// What decides the sample files: the settings' folder and set, the rhythm's snare and ride
// variants and the three tom names ("Tom 1" ... "Tom 3" mean: the set's own tom).
struct SoundChoice {
    std::filesystem::path soundDir;    // `SoundDir`
    std::string soundSet = "Default";  // `SoundSet`
    int snareChoice = 0;               // `SnareChoice`: 0 SD, 1 SD2, 2 RM
    int rideChoice = 0;                // `RideChoice`: 0 RC, 1 RC2, 2 CB
    std::array<std::string, 3> tomSounds{"Tom 1", "Tom 2", "Tom 3"};  // `Tom1Sound` ...
};

using FileExistsFn = std::function<bool(const std::filesystem::path&)>;
bool isRegularFile(const std::filesystem::path& file);

// The file `voice` plays under `choice`. Only the click looks at the disk (through `exists`):
// it falls back to the "Default" set's click when its own set has none.
std::filesystem::path sampleFileFor(VoiceId voice, const SoundChoice& choice,
                                    const FileExistsFn& exists = isRegularFile);

// Whether `file` lies inside `soundDir` once ".." and links are resolved. Set and tom names
// come from rhythm files anyone may have written; one that leads out of the sound folder
// ("../../etc", a link to elsewhere) names no sample of ours and is treated as missing.
bool isInSoundFolder(const std::filesystem::path& file, const std::filesystem::path& soundDir);

// Which file a sample came from and how that file looked, so an unchanged file need not be
// loaded and converted again.
struct SampleSource {
    std::filesystem::path file;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified{};
    bool operator==(const SampleSource&) const = default;
};
SampleSource sampleSourceOf(const std::filesystem::path& file);

// The velocity every hit had before hits carried their own: full force.
inline constexpr int kFullVelocity = 127;

// How loud a hit of `velocity` (1..127) sounds against one at full velocity: (v / 127)^2, so
// that the velocities a drummer plays spread evenly over what the ear hears.
float velocityCurve(int velocity) noexcept;

// One velocity layer of a voice: the sample hits within its range play, at its gain.
struct SampleLayer {
    std::shared_ptr<const Sample> sample;  // never null: layers that cannot load are left out
    SampleSource source;
    int lowVelocity = 0;  // inclusive
    int highVelocity = kFullVelocity;
    float gain = 1.0f;
};

// What one hit plays.
struct LayerPick {
    const Sample* sample = nullptr;  // null: silence
    float gain = 1.0f;               // the layer's gain, before the velocity curve
};

struct VoiceSet {
    std::array<std::shared_ptr<const Sample>, kVoiceCount> samples;  // null: a silent voice
    std::array<SampleSource, kVoiceCount> sources;
    // The voice's layers from kit.ini; empty: its file alone, for every velocity.
    std::array<std::vector<SampleLayer>, kVoiceCount> layers;
    // The voice's choke groups from kit.ini, 0 none: a hit of a voice whose chokeGroups is g
    // stops every other voice whose chokedBy is g.
    std::array<int, kVoiceCount> chokeGroups{};
    std::array<int, kVoiceCount> chokedBy{};
    // Why a voice is silent, in a few words ("missing", "outside the sound folder", ...); empty
    // for a voice that sounds. Read on the owner's thread only.
    std::array<std::string, kVoiceCount> problems;

    const Sample* sample(int voice) const noexcept { return samples[voice].get(); }
    // audio thread. The layer a hit of `velocity` plays: the first whose range holds it.
    LayerPick pick(int voice, int velocity) const noexcept;
    // audio thread. True when `sample` is one the voice may play (its file or a layer).
    bool holds(int voice, const Sample* sample) const noexcept;
};

// SetSound: all ten voices from `choice`, loaded and converted to `outputRate`. Samples of
// `previous` (built for the same rate) whose file is unchanged are shared, not reloaded: loading
// a rhythm of the same sample set costs next to nothing.
// A build on a loader thread stops between two samples once `cancel` is set, and gives back
// what it has: the caller throws it away.
std::unique_ptr<VoiceSet> buildVoiceSet(const SoundChoice& choice, double outputRate,
                                        const VoiceSet* previous = nullptr,
                                        const std::atomic<bool>* cancel = nullptr);

// SetSingleSound: a copy of `current` with one tom (`inSound` 7, 8 or 9) rebuilt from
// `choice`; the other voices share `current`'s samples.
std::unique_ptr<VoiceSet> rebuildTom(const VoiceSet& current, int inSound,
                                     const SoundChoice& choice, double outputRate);

}  // namespace taktwerk::sound
