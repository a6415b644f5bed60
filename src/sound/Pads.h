#pragma once
// What a pad press does on the sound side: the MIDI note it sends, or the voices it starts
// and stops in WAVE mode, in that order. Pure functions; used by the engine on the audio
// thread and by the window to learn whether a press opens the sample dialog.

#include "sound/VoiceSet.h"

#include <array>
#include <cstdint>

namespace taktwerk::sound {

enum class SoundMode : std::uint8_t { Midi, Wave };

// `SoundDevice` 1 is MIDI; every other value (0 from a garbled settings file too) is WAVE.
constexpr SoundMode soundModeFor(int soundDevice) noexcept
{
    return soundDevice == 1 ? SoundMode::Midi : SoundMode::Wave;
}

inline constexpr int kRightButton = 2;

// General MIDI percussion notes of the nine pads, in track order.
inline constexpr std::array<int, kTrackCount> kPadNotes{36, 40, 42, 46, 51, 49, 48, 45, 41};

struct VoiceAction {
    enum class Kind : std::uint8_t { Start, Stop };
    Kind kind = Kind::Start;
    VoiceId voice = VoiceId::BD;
};

struct PadActions {
    int editTom = 0;                       // 1..3: the press makes this tom `EditTom`; 0: leaves it
    bool opensSampleDialog = false;        // right button on a tom: the window's business, no sound
    int midiNote = 0;                      // MIDI mode: the note to send; 0 = none
    std::array<VoiceAction, 3> actions{};  // WAVE mode: done in this order
    int actionCount = 0;
};

// The press of `track`'s pad (0..8) with mouse `button` (2 = right; the pattern presses with
// 0), with the beginner view on or off, in `mode`.
PadActions padActions(int track, int button, bool beginner, SoundMode mode) noexcept;

}  // namespace taktwerk::sound
