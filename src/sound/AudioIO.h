#pragma once
// The seam between the real-time engine and the output back ends (JACK, RtAudio, the null
// output, the offline renderer). A back end owns the device and its thread; once per block it
// calls AudioSource::process on that thread, handing it a MIDI sink that places each message
// at a frame inside the same block.

#include <cstddef>
#include <cstdint>

namespace taktwerk::sound {

inline constexpr int kOutputChannels = 2;  // interleaved stereo float everywhere inside

// One MIDI message that arrived on the input during the current block, whole, at `frame` of it.
struct MidiInEvent {
    std::uint32_t frame = 0;
    const std::uint8_t* bytes = nullptr;  // valid during the block only
    std::size_t size = 0;
};

// What arrived on a MIDI input port during the current block, in frame order. Implemented by
// back ends with an input (JACK).
class MidiBlockInput {
public:
    virtual ~MidiBlockInput() = default;
    // audio thread. How many events to ask for; at() may refuse some (outside the block).
    virtual std::uint32_t count() const noexcept = 0;
    virtual bool at(std::uint32_t index, MidiInEvent& event) const noexcept = 0;
};

// Where a shared transport (a timebase the back end's server keeps for all its programs) stands
// at the first frame of the current block, as the back end read it at the start of its cycle.
// The bar, beat and tempo are the timebase master's and may be anything; whoever uses them
// checks them first.
struct TransportState {
    bool rolling = false;
    std::uint64_t frame = 0;  // the transport's own frame position at the block's first frame
    bool hasBbt = false;      // a timebase master published the fields below
    std::int32_t bar = 1;     // from 1
    std::int32_t beat = 1;    // from 1, within the bar
    std::int32_t tick = 0;    // from 0, within the beat
    double ticksPerBeat = 0.0;
    double beatsPerBar = 0.0;
    double beatsPerMinute = 0.0;
    // How many frames before the block's first frame the bar, beat and tick were true: a
    // cycle run in several blocks shares one reading, and masters may publish it late.
    std::int64_t bbtFramesBefore = 0;
};

// What we publish as a shared transport's timebase master: our tempo, in beats of `Interval`
// steps, and our bar.
struct TimebaseMeter {
    double beatsPerMinute = 0.0;
    double beatsPerBar = 0.0;
};

// Implemented by whoever keeps our tempo and meter for the audio thread.
class TimebaseSource {
public:
    virtual ~TimebaseSource() = default;
    // audio thread. Our tempo and meter; false while we follow another clock and have nothing
    // of our own to publish.
    virtual bool timebase(TimebaseMeter& meter) const noexcept = 0;
};

// Where MIDI for an external receiver goes during one block. Implemented by each back end:
// JACK writes into the port buffer at the frame, others timestamp for a timed sender.
class MidiBlockSink {
public:
    virtual ~MidiBlockSink() = default;
    // audio thread. Queues `size` bytes (a complete message) at `frame` of the current block.
    // Returns false when the message could not be queued (full buffer); the caller counts it.
    virtual bool midiAt(std::uint32_t frame, const std::uint8_t* bytes,
                        std::size_t size) noexcept = 0;
    // audio thread. True while an external receiver takes our MIDI (a JACK connection, an
    // open port); while false, MIDI mode sounds through the built-in synth instead.
    virtual bool hasReceiver() const noexcept = 0;
    // audio thread. The MIDI that came in during this block, when the back end has an input.
    virtual const MidiBlockInput* input() const noexcept { return nullptr; }
    // audio thread. The shared transport at the block's first frame, when the back end has one
    // (JACK); false otherwise, and `state` is untouched.
    virtual bool transport(TransportState& /*state*/) const noexcept { return false; }
};

// A sink with no receiver, for offline rendering and for outputs without MIDI.
class NoMidi final : public MidiBlockSink {
public:
    bool midiAt(std::uint32_t, const std::uint8_t*, std::size_t) noexcept override { return false; }
    bool hasReceiver() const noexcept override { return false; }
};

// Implemented by the engine.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    // audio thread. Fill `frames` frames of interleaved stereo into `out` (overwrite, don't
    // add). Never locks, allocates or does I/O.
    virtual void process(float* out, std::uint32_t frames, MidiBlockSink& midi) noexcept = 0;
};

}  // namespace taktwerk::sound
