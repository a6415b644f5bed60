#include "sound/Pads.h"

namespace taktwerk::sound {

PadActions padActions(int track, int button, bool beginner, SoundMode mode) noexcept
{
    PadActions result;
    if (track < 0 || track >= kTrackCount)
        return result;
    const auto voice = static_cast<VoiceId>(track);
    const bool isTom = voice == VoiceId::T1 || voice == VoiceId::T2 || voice == VoiceId::T3;
    if (isTom) {
        result.editTom = track - index(VoiceId::T1) + 1;
        if (button == kRightButton) {
            result.opensSampleDialog = true;
            return result;
        }
    }
    // The beginner view has no open hi-hat or crash row; their pads stay silent there, from
    // the mouse and from a pattern loaded with those rows set alike.
    if (beginner && (voice == VoiceId::OH || voice == VoiceId::CC))
        return result;
    if (mode == SoundMode::Midi) {
        // MIDI never stops anything: the receiver decides how long a note rings.
        result.midiNote = kPadNotes[static_cast<std::size_t>(track)];
        return result;
    }
    auto add = [&result](VoiceAction::Kind kind, VoiceId id) {
        result.actions[static_cast<std::size_t>(result.actionCount++)] = {kind, id};
    };
    using Kind = VoiceAction::Kind;
    if (voice == VoiceId::HH) {
        add(Kind::Stop, VoiceId::OH);  // the closed hi-hat chokes the open one
        add(Kind::Start, VoiceId::HH);
    } else if (isTom) {
        // One tom sounds at a time: the struck one starts, the other two are cut.
        for (VoiceId tom : {VoiceId::T1, VoiceId::T2, VoiceId::T3})
            add(tom == voice ? Kind::Start : Kind::Stop, tom);
    } else {
        add(Kind::Start, voice);
    }
    return result;
}

}  // namespace taktwerk::sound
