#include "sound/NotePlayer.h"

#include <algorithm>

namespace taktwerk::sound {

void NotePlayer::setFadeFrames(std::uint32_t frames) noexcept
{
    for (Slot& slot : slots_)
        slot.voice.setFadeFrames(frames);
}

void NotePlayer::start(int key, const Sample* sample, float gain) noexcept  // audio thread
{
    // A free voice, or failing one the oldest hit. A voice whose last hit is still fading out is
    // free: the fade goes on beside the new hit. Starting over a sounding hit fades that out.
    Slot* chosen = &slots_[0];
    for (Slot& slot : slots_) {
        if (!slot.voice.isSounding()) {
            chosen = &slot;
            break;
        }
        if (slot.order < chosen->order)
            chosen = &slot;
    }
    chosen->voice.start(sample, gain);
    active_ = true;
    chosen->key = key;
    chosen->order = ++started_;
}

void NotePlayer::choke(int key) noexcept  // audio thread
{
    const int group = exclusiveClass(key);
    if (group == 0)
        return;
    for (Slot& slot : slots_) {
        if (slot.voice.isSounding() && exclusiveClass(slot.key) == group)
            slot.voice.stop();
    }
}

void NotePlayer::keepOnly(const NoteBank* bank) noexcept  // audio thread
{
    for (Slot& slot : slots_) {
        const Sample* sounding = slot.voice.sounding();
        if (sounding == nullptr)
            continue;
        const bool kept = bank != nullptr && bank->holds(slot.key, sounding);
        if (!kept)
            slot.voice.stop();
    }
}

void NotePlayer::render(float* out, std::uint32_t frames) noexcept  // audio thread
{
    // Stopping and choking only turn sounding hits into fades, so only start() can make an
    // idle player active again.
    if (!active_)
        return;
    bool active = false;
    for (Slot& slot : slots_) {
        slot.voice.render(out, frames);
        active = active || slot.voice.isSounding() || slot.voice.isFading();
    }
    active_ = active;
}

bool NotePlayer::anyFading() const noexcept
{
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const Slot& slot) { return slot.voice.isFading(); });
}

int NotePlayer::soundingCount() const noexcept
{
    return static_cast<int>(std::count_if(
        slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.voice.isSounding(); }));
}

}  // namespace taktwerk::sound
