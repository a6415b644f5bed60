#pragma once
// The seam between the engine and the sequencer: once per block, before it mixes, the engine
// asks its step source what happens in the next `frames` frames, and the step source places
// every pad hit (with the step's velocity), click and MIDI clock message at its exact frame
// through the scheduler.

#include "sound/AudioIO.h"

#include <cstdint>

namespace taktwerk::sound {

class BlockScheduler {
public:
    virtual ~BlockScheduler() = default;
    // audio thread. Sound `track`'s pad (0..8, as a press with button 0 would, in the beginner
    // view or not) at `frame`, struck with `velocity` (1..127: the MIDI note-on's velocity, a
    // sample's gain).
    virtual void padAt(int track, std::uint32_t frame, int velocity, bool beginner) noexcept = 0;
    // audio thread. Sound one count-in click at `frame`.
    virtual void clickAt(std::uint32_t frame) noexcept = 0;
    // audio thread. Send the one-byte MIDI real-time message `status` (clock, Start, Stop) at
    // `frame` to the external receiver; nothing sounds here.
    virtual void realtimeAt(std::uint32_t frame, std::uint8_t status) noexcept = 0;
};

class StepSource {
public:
    virtual ~StepSource() = default;
    // audio thread. Advance by `frames`, scheduling everything due inside them in frame order.
    virtual void advance(std::uint32_t frames, BlockScheduler& scheduler) noexcept = 0;
    // audio thread. `track`'s pad was struck live (the MIDI input, a press of the owner's)
    // with `velocity` at the absolute frame `frame`, when the player meant it: a source that
    // keeps a step grid can say where on it the hit fell. Live hits mean nothing to others.
    virtual void liveHit(int /*track*/, int /*velocity*/, std::uint64_t /*frame*/) noexcept {}
    // audio thread. A MIDI real-time byte (clock, Start, Continue, Stop) came in on the MIDI
    // input at the absolute frame `frame` of the block about to be advanced: a source that
    // follows an external clock takes its steps from them.
    virtual void realtimeIn(std::uint8_t /*status*/, std::uint64_t /*frame*/) noexcept {}
    // audio thread. Before each block of an output that shares a transport with other programs:
    // where it stands at the block's first frame. A source that follows it takes its steps
    // from it; a block without this call has no transport to follow.
    virtual void transportIn(const TransportState& /*state*/) noexcept {}
    // audio thread. Whether this block wants transportIn: reading the shared transport costs
    // the output a query every cycle, and only a source following it needs one.
    virtual bool followsTransport() const noexcept { return false; }
};

}  // namespace taktwerk::sound
