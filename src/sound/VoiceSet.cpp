#include "sound/VoiceSet.h"

#include <system_error>

namespace taktwerk::sound {
namespace {

constexpr std::array<std::string_view, kVoiceCount> kVoiceCodes{"BD", "SD", "HH", "OH", "RC",
                                                                "CC", "T1", "T2", "T3", "ST"};
constexpr std::array<std::string_view, kVoiceCount> kVoiceNames{
    "bass drum",    "snare drum", "hi-hat", "open hi-hat", "ride cymbal",
    "crash cymbal", "tom 1",      "tom 2",  "tom 3",       "click"};
constexpr std::array<std::string_view, 3> kSnareFiles{"SD", "SD2", "RM"};
constexpr std::array<std::string_view, 3> kRideFiles{"RC", "RC2", "CB"};
constexpr std::array<std::string_view, 3> kTomDefaultNames{"Tom 1", "Tom 2", "Tom 3"};
constexpr int kFirstTomSound = 7;  // `inSound` numbers the toms 7, 8, 9

// Joined as text, not with path's operator/: a name from a rhythm file that starts with a
// slash must stay inside the sound folder rather than replace it.
std::filesystem::path inFolder(const std::filesystem::path& folder, std::string_view name)
{
    std::filesystem::path file = folder;
    if (!folder.native().ends_with(std::filesystem::path::preferred_separator))
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

std::string_view voiceName(VoiceId voice) noexcept
{
    return kVoiceNames[static_cast<std::size_t>(voice)];
}

bool isInSoundFolder(const std::filesystem::path& file, const std::filesystem::path& soundDir)
{
    std::error_code error;
    const auto root = std::filesystem::weakly_canonical(soundDir.empty() ? "." : soundDir, error);
    if (error)
        return false;
    const auto resolved = std::filesystem::weakly_canonical(file, error);
    if (error)
        return false;
    const auto relative = resolved.lexically_relative(root);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
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

SampleSource sampleSourceOf(const std::filesystem::path& file)
{
    SampleSource source{file};
    std::error_code error;
    source.size = std::filesystem::file_size(file, error);
    if (error)
        return {file};
    source.modified = std::filesystem::last_write_time(file, error);
    if (error)
        return {file};
    return source;
}

namespace {

void load(VoiceSet& set, VoiceId voice, const SoundChoice& choice, double outputRate,
          const VoiceSet* previous)
{
    const auto slot = static_cast<std::size_t>(index(voice));
    const std::filesystem::path file = sampleFileFor(voice, choice);
    set.samples[slot] = nullptr;
    set.problems[slot].clear();
    if (!isInSoundFolder(file, choice.soundDir)) {
        set.sources[slot] = SampleSource{file};
        set.problems[slot] = "outside the sound folder";
        return;
    }
    set.sources[slot] = sampleSourceOf(file);
    // A missing file (size 0 and no time) is looked for again each time.
    const bool unchanged = previous != nullptr && previous->samples[slot] &&
                           previous->sources[slot] == set.sources[slot];
    if (unchanged) {
        set.samples[slot] = previous->samples[slot];
        return;
    }
    auto sample = readSample(file, outputRate);
    if (sample)
        set.samples[slot] = std::move(*sample);
    else
        set.problems[slot] = sample.error().message;
}

}  // namespace

std::unique_ptr<VoiceSet> buildVoiceSet(const SoundChoice& choice, double outputRate,
                                        const VoiceSet* previous, const std::atomic<bool>* cancel)
{
    auto set = std::make_unique<VoiceSet>();
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        if (cancel != nullptr && cancel->load())
            break;
        load(*set, static_cast<VoiceId>(voice), choice, outputRate, previous);
    }
    return set;
}

std::unique_ptr<VoiceSet> rebuildTom(const VoiceSet& current, int inSound,
                                     const SoundChoice& choice, double outputRate)
{
    auto set = std::make_unique<VoiceSet>(current);
    const int tom = inSound - kFirstTomSound;
    if (tom < 0 || tom > 2)
        return set;
    // Always loaded afresh: the user asked for this tom to be set again.
    load(*set, static_cast<VoiceId>(index(VoiceId::T1) + tom), choice, outputRate, nullptr);
    return set;
}

}  // namespace taktwerk::sound
