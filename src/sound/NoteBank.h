#pragma once
// NoteBank: the built-in synth's drum notes, rendered ahead of time so that MIDI mode without an
// external receiver starts every hit at its exact frame. FluidSynth starts a note only at the
// start of one of its 64-frame blocks, so a hit played live lands up to 1.3 ms late, and by a
// different amount each time. Each note is rendered through a synth of its own, effects and
// reverb tail included, exactly as the live synth sounds it (same rate, channel and note-off
// after the gate), and kept as an immutable stereo sample.
//
// Steps strike with velocities of their own, so the pads' notes are rendered in velocity
// layers, and a hit takes the nearest layer at or above its velocity, scaled by (velocity /
// layer)². That is the live synth's own curve (General MIDI fonts attenuate by 40 log10(v /
// 127) dB); what the layers add is the timbre, which changes with velocity in some notes. The
// click notes sound at `Velocity` only and get the top layer alone.
//
// Built off the audio thread when the SoundFont loads and whenever the click note changes;
// handed to the engine by pointer and handed back to be freed on the owner's thread, like a
// VoiceSet. Its samples are shared with the banks built after it from the same SoundFont, so a
// new click note renders one note, not all of them.

#include "core/Result.h"
#include "sound/Midi.h"
#include "sound/Sample.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace taktwerk::sound {

inline constexpr int kMidiKeyCount = 128;

// The velocities the layers are rendered at, loudest first. Eight layers keep every pad note
// within 0.4 dB of the live synth at any velocity (FluidR3_GM; measured by the note bank test).
inline constexpr std::array<int, 8> kNoteLayerVelocities{127, 112, 96, 80, 64, 48, 32, 16};
inline constexpr int kNoteLayerCount = static_cast<int>(kNoteLayerVelocities.size());

struct NoteBank {
    // A rendered note to play and the gain that brings it to the hit's velocity.
    struct Hit {
        const Sample* sample = nullptr;  // null: the live synth must play the note
        float gain = 0.0f;
    };
    using Layer = std::array<std::shared_ptr<const Sample>, kMidiKeyCount>;  // by key

    // The note-on status byte every note was rendered with: a note-on on another channel goes
    // to the live synth.
    std::uint8_t status = 0;
    std::array<Layer, kNoteLayerCount> layers;  // as kNoteLayerVelocities; null: not rendered

    // audio thread. The rendered sound of `noteOn` at its velocity.
    Hit find(const MidiMessage& noteOn) const noexcept;
    // audio thread. True when `sample` is one of this bank's sounds of `key`.
    bool holds(int key, const Sample* sample) const noexcept;
    // True when every note-on of `notes` under `values` has a rendered sound here.
    bool covers(std::span<const int> notes, const MidiValues& values) const noexcept;
    // Memory held by the samples.
    std::size_t bytes() const noexcept;
};

// The notes MIDI mode plays: the nine pads, the click notes the sound settings offer, and
// `clickNote` when it is none of them.
std::vector<int> playedNotes(int clickNote);

struct NoteBankOptions {
    double sampleRate = 48000.0;
    double gateSeconds = 0.050;  // when the live engine sends each note's note-off
    MidiValues values;           // channel and note offset (the velocity is the layer's)
    // Reverb and chorus, as the live synth plays. Off only to hold notes against a dry synth:
    // the chorus never plays a note twice alike.
    bool effects = true;
};

// Renders `notes` from `soundFont`: the pads' notes in every layer, any other note in the top
// layer. Samples of `previous` (rendered from the same SoundFont at the same rate) that fit are
// shared. A key the font has no sound for gets no sample.
core::Result<std::unique_ptr<NoteBank>> renderNoteBank(const std::filesystem::path& soundFont,
                                                       std::span<const int> notes,
                                                       const NoteBankOptions& options,
                                                       const NoteBank* previous = nullptr);

// General MIDI's exclusive classes as the synth applies them: a note of a class cuts every
// sounding note of the same class, itself included (a closed or pedal hi-hat chokes the open
// one, an open hi-hat struck again chokes the previous one). 0: none.
int exclusiveClass(int key) noexcept;

}  // namespace taktwerk::sound
