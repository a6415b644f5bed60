#pragma once
// A pad struck live while the pattern plays, placed on the step grid by the audio thread,
// which alone knows the exact frame of both: the drum machine writes it into the grid when it
// records.

#include <cstdint>
#include <type_traits>

namespace taktwerk::playback {

struct LiveHit {
    std::int8_t track = -1;
    std::uint8_t velocity = 0;  // 1 ... 127
    std::int16_t step = -1;     // the nearest pattern step; hits during a count-in: step 0
    // How far from that step it came, in steps: -0.5 (early) ... 0.5 (late). A hit exactly
    // half a step late still belongs to the step before; a count-in hit is 0.
    float offset = 0.0f;
    // The pass of the loop the step belongs to, counted from 1 in each run: the count-in
    // belongs to the first, a late hit on the loop's last step to the next.
    std::uint32_t pass = 0;
    friend bool operator==(const LiveHit&, const LiveHit&) = default;
};
static_assert(std::is_trivially_copyable_v<LiveHit>);

}  // namespace taktwerk::playback
