#pragma once
// GmSynth: the built-in General MIDI synth (FluidSynth) that sounds MIDI mode when no external
// receiver takes our MIDI, and renders the default kit. Built with its SoundFont off the audio
// thread; afterwards driven and rendered by one thread only (the engine's audio thread, or
// the caller of the offline kit renderer). It has no audio driver of its own: its sound is
// pulled into our mix.

#include "core/Result.h"
#include "sound/Midi.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace taktwerk::sound {

// The SoundFont to use: $TAKTWERK_SOUNDFONT if set, else from the system's SoundFont folder
// FluidR3_GM.sf2, then default-GM.sf2, then any .sf2. Nothing when none is found.
std::optional<std::filesystem::path> findSoundFont();
std::optional<std::filesystem::path> findSoundFont(const std::filesystem::path& folder);

class GmSynth {
public:
    struct Options {
        double sampleRate = 48000.0;
        bool effects = true;  // reverb and chorus; off for dry kit samples
    };
    static core::Result<std::unique_ptr<GmSynth>> create(const std::filesystem::path& soundFont,
                                                         const Options& options);
    ~GmSynth();
    GmSynth(const GmSynth&) = delete;
    GmSynth& operator=(const GmSynth&) = delete;

    // Rendering thread. Plays a note-on, note-off or controller message.
    void send(const MidiMessage& message) noexcept;
    // Rendering thread. Writes (not adds) `frames` frames of interleaved stereo into `out`. A
    // synth without a voice for a couple of seconds (its reverb long silent) writes zeros
    // without running, until the next note-on; a new synth starts that way.
    void render(float* out, std::uint32_t frames) noexcept;
    // Rendering thread. True while render() writes zeros without running the synth.
    bool isAsleep() const noexcept;
    // Rendering thread. Silences everything at once, tails included.
    void silence() noexcept;
    // The synth's own block: it starts and ends notes only at these boundaries, counted from
    // its first rendered frame.
    std::uint32_t blockFrames() const noexcept;

private:
    struct Handles;
    explicit GmSynth(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

}  // namespace taktwerk::sound
