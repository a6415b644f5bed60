#include "sound/VoiceSet.h"

#include <system_error>

namespace taktwerk::sound {
namespace {

constexpr std::array<std::string_view, kVoiceCount> kVoiceCodes{"BD", "SD", "HH", "OH", "RC",
                                                                "CC", "T1", "T2", "T3", "ST"};
constexpr std::array<std::string_view, 3> kSnareFiles{"SD", "SD2", "RM"};
constexpr std::array<std::string_view, 3> kRideFiles{"RC", "RC2", "CB"};
constexpr std::array<std::string_view, 3> kTomDefaultNames{"Tom 1", "Tom 2", "Tom 3"};
constexpr int kFirstTomSound = 7;  // `inSound` numbers the toms 7, 8, 9

// Joined as text, not with path's operator/: a name from a rhythm file that starts with a
// slash must stay inside the sound folder rather than replace it.
std::filesystem::path inFolder(const std::filesystem::path& folder, std::string_view name)
{
    std::filesystem::path file = folder;
    file += std::filesystem::path::preferred_separator;
    file += std::string(name);
    return file;
}

std::filesystem::path setFile(const SoundChoice& choice, std::string_view set,
                              std::string_view code)
{
    return inFolder(inFolder(choice.soundDir, set), std::string(code) + ".wav");
}

// A variant outside 0..2 (a hand-edited rhythm file) plays the set's first variant rather
// than nothing, since the instrument is still wanted.
std::string_view variant(const std::array<std::string_view, 3>& files, int choice)
{
    return choice >= 0 && choice < 3 ? files[static_cast<std::size_t>(choice)] : files[0];
}

}  // namespace

std::string_view voiceCode(VoiceId voice) noexcept
{
    return kVoiceCodes[static_cast<std::size_t>(voice)];
}

bool isRegularFile(const std::filesystem::path& file)
{
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

std::filesystem::path sampleFileFor(VoiceId voice, const SoundChoice& choice,
                                    const FileExistsFn& exists)
{
    switch (voice) {
    case VoiceId::SD:
        return setFile(choice, choice.soundSet, variant(kSnareFiles, choice.snareChoice));
    case VoiceId::RC:
        return setFile(choice, choice.soundSet, variant(kRideFiles, choice.rideChoice));
    case VoiceId::T1:
    case VoiceId::T2:
    case VoiceId::T3: {
        const auto tom = static_cast<std::size_t>(index(voice) - index(VoiceId::T1));
        // Exact comparison: "tom 1" names a sample file of that name, not the set's tom.
        if (choice.tomSounds[tom] == kTomDefaultNames[tom])
            return setFile(choice, choice.soundSet, voiceCode(voice));
        return inFolder(choice.soundDir, choice.tomSounds[tom] + ".wav");
    }
    case VoiceId::ST: {
        auto own = setFile(choice, choice.soundSet, "ST");
        if (exists(own))
            return own;
        return setFile(choice, "Default", "ST");
    }
    default:
        return setFile(choice, choice.soundSet, voiceCode(voice));
    }
}

std::unique_ptr<VoiceSet> buildVoiceSet(const SoundChoice& choice, double outputRate)
{
    auto set = std::make_unique<VoiceSet>();
    for (int voice = 0; voice < kVoiceCount; ++voice)
        set->samples[static_cast<std::size_t>(voice)] =
            loadSample(sampleFileFor(static_cast<VoiceId>(voice), choice), outputRate);
    return set;
}

std::unique_ptr<VoiceSet> rebuildTom(const VoiceSet& current, int inSound,
                                     const SoundChoice& choice, double outputRate)
{
    auto set = std::make_unique<VoiceSet>(current);
    const int tom = inSound - kFirstTomSound;
    if (tom < 0 || tom > 2)
        return set;
    const auto voice = static_cast<VoiceId>(index(VoiceId::T1) + tom);
    set->samples[static_cast<std::size_t>(index(voice))] =
        loadSample(sampleFileFor(voice, choice), outputRate);
    return set;
}

}  // namespace taktwerk::sound
