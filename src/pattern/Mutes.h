#pragma once
// The nine mute toggles. Owned with the pattern by the drum machine on the GUI thread; one
// word, bit k = track k muted, so the sound engine can take all nine with a single atomic store.

#include "pattern/Pattern.h"

#include <cstdint>

namespace taktwerk::pattern {

class Mutes {
public:
    // A fresh start plays with the ride cymbal muted, as the window is created that way.
    static constexpr Mutes startMutes() noexcept
    {
        Mutes mutes;
        mutes.setMuted(index(Track::RideCymbal), true);
        return mutes;
    }

    constexpr bool isMuted(int track) const noexcept { return (bits_ >> track) & 1u; }
    constexpr void setMuted(int track, bool muted) noexcept
    {
        const auto bit = static_cast<std::uint16_t>(1u << track);
        bits_ = static_cast<std::uint16_t>(muted ? (bits_ | bit) : (bits_ & ~bit));
    }
    constexpr void unmuteAll() noexcept { bits_ = 0; }
    constexpr std::uint16_t bits() const noexcept { return bits_; }

    friend constexpr bool operator==(const Mutes&, const Mutes&) = default;

private:
    std::uint16_t bits_ = 0;
};

}  // namespace taktwerk::pattern
