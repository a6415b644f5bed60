#include "sound/VoiceSet.h"

#include "core/Language.h"
#include "kits/KitIni.h"
#include "kits/VelocityRange.h"

#include <algorithm>
#include <map>
#include <optional>
#include <system_error>

namespace taktwerk::sound {
namespace {

constexpr std::array<std::string_view, kVoiceCount> kVoiceCodes{"BD", "SD", "HH", "OH", "RC",
                                                                "CC", "T1", "T2", "T3", "ST"};
// In English; messages show them in the user's language.
constexpr std::array<const char*, kVoiceCount> kVoiceNames{
    core::translatable("bass drum"),   core::translatable("snare drum"),
    core::translatable("hi-hat"),      core::translatable("open hi-hat"),
    core::translatable("ride cymbal"), core::translatable("crash cymbal"),
    core::translatable("tom 1"),       core::translatable("tom 2"),
    core::translatable("tom 3"),       core::translatable("click")};
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

std::string_view voiceName(VoiceId voice)
{
    return core::translated(kVoiceNames[static_cast<std::size_t>(voice)]);
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

float velocityCurve(int velocity) noexcept
{
    const float share = static_cast<float>(std::clamp(velocity, 0, kFullVelocity)) /
                        static_cast<float>(kFullVelocity);
    return share * share;
}

LayerPick VoiceSet::pick(int voice, int velocity) const noexcept  // audio thread
{
    const auto slot = static_cast<std::size_t>(voice);
    const std::vector<SampleLayer>& choices = layers[slot];
    if (choices.empty())
        return {samples[slot].get(), 1.0f};
    const int chosen = kits::pickLayer(choices, velocity);
    const SampleLayer& layer = choices[static_cast<std::size_t>(chosen)];
    return {layer.sample.get(), layer.gain};
}

bool VoiceSet::holds(int voice, const Sample* sample) const noexcept  // audio thread
{
    const auto slot = static_cast<std::size_t>(voice);
    if (samples[slot].get() == sample)
        return true;
    return std::any_of(layers[slot].begin(), layers[slot].end(),
                       [&](const SampleLayer& layer) { return layer.sample.get() == sample; });
}

namespace {

// What one build has read: each folder's kit.ini once, each file once.
class BuildCache {
public:
    BuildCache(double outputRate, const VoiceSet* previous)
        : outputRate_(outputRate), previous_(previous)
    {
    }

    // The sample of `source`: from the previous set when its file is unchanged, else loaded.
    std::shared_ptr<const Sample> sample(const SampleSource& source)
    {
        if (auto found = loaded_.find(source.file); found != loaded_.end())
            return found->second;
        std::shared_ptr<const Sample> sample = shared(source);
        if (!sample) {
            auto read = readSample(source.file, outputRate_);
            if (read)
                sample = std::move(*read);
            else
                problems_[source.file] = read.error().message;
        }
        loaded_[source.file] = sample;
        return sample;
    }

    // Why the file gave no sample, in a few words.
    std::string problem(const std::filesystem::path& file) const
    {
        const auto found = problems_.find(file);
        return found == problems_.end() ? "did not load" : found->second;
    }

    const kits::KitIniEntry* layersOf(const std::filesystem::path& file)
    {
        const auto folder = file.parent_path();
        auto found = kitInis_.find(folder);
        if (found == kitInis_.end())
            found = kitInis_.emplace(folder, kits::readKitIni(folder)).first;
        if (!found->second)
            return nullptr;
        const auto stem = file.stem().u8string();
        return found->second->entry(std::string(stem.begin(), stem.end()));
    }

private:
    std::shared_ptr<const Sample> shared(const SampleSource& source) const
    {
        // A missing file (size 0 and no time) is looked for again each time.
        if (previous_ == nullptr || source.size == 0)
            return nullptr;
        for (int voice = 0; voice < kVoiceCount; ++voice) {
            const auto slot = static_cast<std::size_t>(voice);
            if (previous_->samples[slot] && previous_->sources[slot] == source)
                return previous_->samples[slot];
            for (const SampleLayer& layer : previous_->layers[slot]) {
                if (layer.source == source)
                    return layer.sample;
            }
        }
        return nullptr;
    }

    double outputRate_;
    const VoiceSet* previous_;
    std::map<std::filesystem::path, std::shared_ptr<const Sample>> loaded_;
    std::map<std::filesystem::path, std::string> problems_;
    std::map<std::filesystem::path, std::optional<kits::KitIni>> kitInis_;
};

void load(VoiceSet& set, VoiceId voice, const SoundChoice& choice, BuildCache& cache)
{
    const auto slot = static_cast<std::size_t>(index(voice));
    const auto file = sampleFileFor(voice, choice);
    set.samples[slot] = nullptr;
    set.layers[slot].clear();
    set.chokeGroups[slot] = 0;
    set.chokedBy[slot] = 0;
    set.problems[slot].clear();
    if (!isInSoundFolder(file, choice.soundDir)) {
        set.sources[slot] = SampleSource{file};
        set.problems[slot] = "outside the sound folder";
        return;
    }
    set.sources[slot] = sampleSourceOf(file);
    set.samples[slot] = cache.sample(set.sources[slot]);
    if (const kits::KitIniEntry* entry = cache.layersOf(file)) {
        // Group numbers mean something within one kit only: a tom or click taken from another
        // set must not cut this set's drums because its kit happened to use the same number.
        if (file.parent_path() == inFolder(choice.soundDir, choice.soundSet)) {
            set.chokeGroups[slot] = entry->chokeGroup;
            set.chokedBy[slot] = entry->chokedBy;
        }
        for (const kits::KitIniLayer& layer : entry->layers) {
            SampleLayer loaded;
            // kit.ini names plain files only, so the layer stays in the set's folder.
            loaded.source = sampleSourceOf(file.parent_path() / layer.file);
            loaded.sample = cache.sample(loaded.source);
            // A layer that cannot be played is left out: its velocities go to the nearest one.
            if (!loaded.sample)
                continue;
            loaded.lowVelocity = layer.lowVelocity;
            loaded.highVelocity = layer.highVelocity;
            loaded.gain = static_cast<float>(layer.gain);
            set.layers[slot].push_back(std::move(loaded));
        }
    }
    // Layers alone sound too; only a voice with nothing to play is silent.
    if (!set.samples[slot] && set.layers[slot].empty())
        set.problems[slot] = cache.problem(file);
}

}  // namespace

std::unique_ptr<VoiceSet> buildVoiceSet(const SoundChoice& choice, double outputRate,
                                        const VoiceSet* previous, const std::atomic<bool>* cancel)
{
    auto set = std::make_unique<VoiceSet>();
    BuildCache cache(outputRate, previous);
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        if (cancel != nullptr && cancel->load())
            break;
        load(*set, static_cast<VoiceId>(voice), choice, cache);
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
    BuildCache cache(outputRate, nullptr);
    load(*set, static_cast<VoiceId>(index(VoiceId::T1) + tom), choice, cache);
    return set;
}

}  // namespace taktwerk::sound
