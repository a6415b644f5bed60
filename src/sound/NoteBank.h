#pragma once
// NoteBank: the built-in synth's drum notes, rendered ahead of time so that MIDI mode without an
// external receiver starts every hit at its exact frame. FluidSynth starts a note only at the
// start of one of its 64-frame blocks, so a hit played live lands up to 1.3 ms late, and by a
// different amount each time. Each note is rendered through a synth of its own, effects and
// reverb tail included, exactly as the live synth sounds it (same rate, channel, velocity and
// note-off after the gate), and kept as an immutable stereo sample.
//
// Built off the audio thread when the SoundFont loads and whenever the velocity or the click
// note changes; handed to the engine by pointer and handed back to be freed on the owner's
// thread, like a VoiceSet. Its samples are shared with the banks built after it from the same
// SoundFont, so a new click note renders one note, not all of them.

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

struct NoteBank {
    // The note-on status byte and velocity every note was rendered with: a note-on that differs
    // in either (a new `Velocity` before the bank for it is ready) goes to the live synth.
    std::uint8_t status = 0;
    std::uint8_t velocity = 0;
    std::array<std::shared_ptr<const Sample>, kMidiKeyCount> notes;  // by key; null: play live

    // audio thread. The rendered sound of `noteOn`, or null when the live synth must play it.
    const Sample* sample(const MidiMessage& noteOn) const noexcept;
    // True when every note-on of `notes` under `values` has its sample here.
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
    MidiValues values;
};

// Renders `notes` from `soundFont`. Samples of `previous` (rendered from the same SoundFont at
// the same rate) that fit are shared. A key the font has no sound for gets no sample.
core::Result<std::unique_ptr<NoteBank>> renderNoteBank(const std::filesystem::path& soundFont,
                                                       std::span<const int> notes,
                                                       const NoteBankOptions& options,
                                                       const NoteBank* previous = nullptr);

// General MIDI's exclusive classes as the synth applies them: a note of a class cuts every
// sounding note of the same class, itself included (a closed or pedal hi-hat chokes the open
// one, an open hi-hat struck again chokes the previous one). 0: none.
int exclusiveClass(int key) noexcept;

}  // namespace taktwerk::sound
