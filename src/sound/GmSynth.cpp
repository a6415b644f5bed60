#include "sound/GmSynth.h"

#include "core/Language.h"

#include <algorithm>
#include <cstdlib>
#include <fluidsynth.h>
#include <string>
#include <system_error>

namespace taktwerk::sound {
namespace {

struct SettingsDeleter {
    void operator()(fluid_settings_t* settings) const noexcept { delete_fluid_settings(settings); }
};
struct SynthDeleter {
    void operator()(fluid_synth_t* synth) const noexcept { delete_fluid_synth(synth); }
};

// FluidSynth reports missing presets and the like through its log; that would print from the
// audio thread. Its warnings tell a user nothing they can act on, so they are switched off.
// With the drum notes rendered ahead, the live synth mostly idles, yet its reverb alone costs
// more than all our voices together; and FluidSynth as Debian builds it (with OpenMP) allocates
// and frees on every render call, which the audio thread must not. So the synth runs only while
// it sounds: from a note-on until it has had no voice for this long (the reverb tail of the last
// one is below -120 dBFS within about a second).
constexpr double kSleepAfterSeconds = 2.0;

void quietenFluidLog() noexcept
{
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);
}

}  // namespace

struct GmSynth::Handles {
    std::unique_ptr<fluid_settings_t, SettingsDeleter> settings;
    std::unique_ptr<fluid_synth_t, SynthDeleter> synth;
    int fontId = -1;
    std::uint64_t sleepAfterFrames = 0;
    std::uint64_t framesWithoutVoices = 0;
};

std::optional<std::filesystem::path> findSoundFont(const std::filesystem::path& folder)
{
    std::error_code error;
    for (const char* name : {"FluidR3_GM.sf2", "default-GM.sf2"}) {
        if (std::filesystem::is_regular_file(folder / name, error))
            return folder / name;
    }
    std::optional<std::filesystem::path> found;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const auto& file = it->path();
        // The smallest name of all, so the choice is the same on every start.
        if (file.extension() == ".sf2" && std::filesystem::is_regular_file(file, error) &&
            (!found || file < *found))
            found = file;
    }
    return found;
}

std::optional<std::filesystem::path> findSoundFont()
{
    if (const char* chosen = std::getenv("TAKTWERK_SOUNDFONT"); chosen && *chosen)
        return std::filesystem::path(chosen);
    return findSoundFont("/usr/share/sounds/sf2");
}

GmSynth::GmSynth(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
GmSynth::~GmSynth() = default;

core::Result<std::unique_ptr<GmSynth>> GmSynth::create(const std::filesystem::path& soundFont,
                                                       const Options& options)
{
    quietenFluidLog();
    auto handles = std::make_unique<Handles>();
    handles->settings.reset(new_fluid_settings());
    if (!handles->settings)
        return core::fail(core::translated("The built-in MIDI synthesizer could not be started."),
                          "new_fluid_settings failed");
    fluid_settings_t* settings = handles->settings.get();
    fluid_settings_setnum(settings, "synth.sample-rate", options.sampleRate);
    fluid_settings_setint(settings, "synth.reverb.active", options.effects ? 1 : 0);
    fluid_settings_setint(settings, "synth.chorus.active", options.effects ? 1 : 0);
    // Only one thread drives the synth at a time, so its internal locking is not needed (and
    // a lock must never be taken on the audio thread).
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    // Load only the samples of the selected presets (the drum kit and the channels' pianos),
    // not the whole font: a tenth of a second instead of half a second and far less memory.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    handles->sleepAfterFrames = static_cast<std::uint64_t>(kSleepAfterSeconds * options.sampleRate);
    handles->framesWithoutVoices = handles->sleepAfterFrames;  // asleep until the first note
    handles->synth.reset(new_fluid_synth(settings));
    if (!handles->synth)
        return core::fail(core::translated("The built-in MIDI synthesizer could not be started."),
                          "new_fluid_synth failed");
    std::error_code error;
    if (!std::filesystem::is_regular_file(soundFont, error))
        return core::fail(
            core::translated("The SoundFont file \"%s\" was not found.", {soundFont.string()}),
            "not a regular file");
    handles->fontId = fluid_synth_sfload(handles->synth.get(), soundFont.c_str(), 1);
    if (handles->fontId == FLUID_FAILED)
        return core::fail(
            core::translated("The SoundFont file \"%s\" could not be read.", {soundFont.string()}),
            "fluid_synth_sfload failed");
    return std::unique_ptr<GmSynth>(new GmSynth(std::move(handles)));
}

void GmSynth::send(const MidiMessage& message) noexcept  // audio thread
{
    if (message.size < 3)
        return;
    fluid_synth_t* synth = handles_->synth.get();
    const int channel = message.bytes[0] & 0x0F;
    const int first = message.bytes[1];
    const int second = message.bytes[2];
    // Only a note makes a sleeping synth sound; a note-off or "all notes off" (sent at every
    // STOP, in either mode) finds nothing to end, and waking for it would hum its reverb in.
    if ((message.bytes[0] & 0xF0) == 0x90 && second > 0)
        handles_->framesWithoutVoices = 0;
    // Return codes are not looked at: FLUID_FAILED here only means a note off for a note that
    // does not sound, or a key the font has no sound for.
    switch (message.bytes[0] & 0xF0) {
    case 0x90:
        if (second > 0) {
            // Only a note wakes the synth: a note-off or controller for a sleeping one changes
            // nothing that could be heard.
            handles_->framesWithoutVoices = 0;
            fluid_synth_noteon(synth, channel, first, second);
        } else {
            fluid_synth_noteoff(synth, channel, first);
        }
        break;
    case 0x80:
        fluid_synth_noteoff(synth, channel, first);
        break;
    case 0xB0:
        fluid_synth_cc(synth, channel, first, second);
        break;
    default:
        break;
    }
}

void GmSynth::render(float* out, std::uint32_t frames) noexcept  // audio thread
{
    Handles& handles = *handles_;
    if (handles.framesWithoutVoices >= handles.sleepAfterFrames) {
        std::fill(out, out + static_cast<std::size_t>(frames) * 2, 0.0f);
        return;
    }
    fluid_synth_write_float(handles.synth.get(), static_cast<int>(frames), out, 0, 2, out, 1, 2);
    if (fluid_synth_get_active_voice_count(handles.synth.get()) == 0)
        handles.framesWithoutVoices += frames;
    else
        handles.framesWithoutVoices = 0;
}

bool GmSynth::isAsleep() const noexcept
{
    return handles_->framesWithoutVoices >= handles_->sleepAfterFrames;
}

void GmSynth::silence() noexcept { fluid_synth_all_sounds_off(handles_->synth.get(), -1); }

std::uint32_t GmSynth::blockFrames() const noexcept
{
    return static_cast<std::uint32_t>(fluid_synth_get_internal_bufsize(handles_->synth.get()));
}

}  // namespace taktwerk::sound
