#pragma once
// The audio output: one small interface with one back end per API (JACK, RtAudio, null) and a
// factory that picks the first that works. Owned by the live host; start, stop and the queries
// run on its control (watch) thread, the back end's own thread calls the AudioSource. The
// health counters are atomics any thread may read; a lost device also wakes whoever asked.

#include "core/Language.h"
#include "core/Result.h"
#include "devices/MidiPorts.h"
#include "devices/TimedMidi.h"
#include "sound/AudioIO.h"
#include "sound/Wakeup.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::devices {

enum class AudioBackend : std::uint8_t { Jack, PulseAudio, Alsa };

struct AudioOutRequest {
    std::string clientName = "Taktwerk";
    std::uint32_t sampleRate = 48000;  // wanted; a device or JACK server may insist on its own
    // Small enough that a pad answers at once, large enough for a busy desktop: 128..256.
    std::uint32_t blockFrames = 256;
    // Tried in this order before the null output.
    std::vector<AudioBackend> backends{AudioBackend::Jack, AudioBackend::PulseAudio,
                                       AudioBackend::Alsa};
    // Where our notes and clock go: by default "MIDI output device 0" (on JACK the first MIDI
    // input of another client), as the program always did.
    MidiPortChoice midiOut;
    // What plays the pads and sends clock (JACK's `midi_in`): nothing unless the user chose it.
    MidiPortChoice midiIn = MidiPortChoice::none();
};

class AudioOut {
public:
    virtual ~AudioOut() = default;
    AudioOut() = default;
    AudioOut(const AudioOut&) = delete;
    AudioOut& operator=(const AudioOut&) = delete;

    // From now on the back end's thread calls source.process once per block until stop().
    // The source must outlive the running output.
    virtual core::Result<void> start(sound::AudioSource& source) = 0;
    // Returns once the source is no longer called; sends all notes off to an external MIDI
    // receiver. Harmless when not running.
    virtual void stop() noexcept = 0;

    virtual std::uint32_t sampleRate() const noexcept = 0;
    // The most frames one process() call ever gets; allocate for this before start().
    virtual std::uint32_t blockFrames() const noexcept = 0;
    virtual std::string_view backendName() const noexcept = 0;
    // Only while stopped. An output with a shared transport (JACK) acts as its timebase master
    // while running, publishing bar, beat and tempo from `source`, unless another program does
    // already; null: it does not. Outputs without a transport have nothing to publish.
    virtual void setTimebase(const sound::TimebaseSource* /*source*/) noexcept {}
    // The external MIDI port our messages reach, empty when there is none (then MIDI mode
    // sounds through the built-in synth).
    virtual std::string midiPortName() const = 0;
    // Outputs without a MIDI port of their own (RtAudio, null) send MIDI through `destination`
    // on a timed thread; JACK has its own port and declines. Only while stopped.
    virtual bool attachMidi(std::unique_ptr<MidiDestination> destination) = 0;
    // Gives the attached destination back (null when there is none, or while running), so that
    // the next output can take the user's port over without closing and opening it again.
    virtual std::unique_ptr<MidiDestination> detachMidi() = 0;
    // Outputs without a MIDI input of their own (RtAudio, null) read the user's input port
    // through `origin`, placing what arrives two blocks later; JACK has its own port and
    // declines, as do outputs that say so in readsMidiOrigin(). Only while stopped.
    virtual bool readsMidiOrigin() const noexcept { return false; }
    virtual bool attachMidiInput(std::unique_ptr<MidiOrigin> /*origin*/) { return false; }
    // Gives the attached origin back, as detachMidi() does the destination.
    virtual std::unique_ptr<MidiOrigin> detachMidiInput() { return nullptr; }
    // The attached input port's name, empty when none is attached.
    virtual std::string midiInputName() const { return {}; }
    // Whether the attached destination's or origin's port has gone from the system (see
    // MidiDestination::isGone); outputs with ports of their own hear of that. Control thread.
    virtual bool midiPortGone() const { return false; }
    virtual bool midiInputGone() const { return false; }
    // Whether something may be listening to our MIDI or playing to us (a controller on the
    // pads, a receiver of notes or clock): then the output must keep running even while nothing
    // sounds. Outputs that carry the user's MIDI port through an attached destination say yes
    // while it is attached: each stop would also send that port "all notes off". Control
    // thread, while running.
    virtual bool hasMidiConnections() const { return !midiPortName().empty(); }
    // Connects a chosen MIDI port that came back (its program restarted, its device plugged in
    // again), by its name. Returns what changed for the user ("MIDI port "…" not found" /
    // "… connected"), empty when nothing did. Control thread, while running.
    virtual std::string reconnectMidi() { return {}; }
    // Takes other MIDI ports by name: what was connected for the old choice goes, the new one
    // is connected (at once while running, else at the next start). Outputs that send through
    // an attached destination decline: the caller gives them a newly opened one. Control thread.
    virtual bool chooseMidiPorts(const MidiPortChoice& /*out*/, const MidiPortChoice& /*in*/)
    {
        return false;
    }
    // While a chosen MIDI port is missing: "MIDI port "…" not found"; else empty. Control thread.
    virtual std::string midiProblem() const { return {}; }
    // `wakeup` is notified, from whichever thread notices, when the device goes away or a chosen
    // MIDI port comes or goes (then reconnectMidi() has news). Only while stopped; null for none.
    void notifyOnLoss(const sound::Wakeup* wakeup) noexcept
    {
        lossWakeup_.store(wakeup, std::memory_order_release);
    }

    bool isRunning() const noexcept { return running_.load(std::memory_order_acquire); }
    // The device or server went away; stop() and open a new output.
    bool deviceLost() const noexcept { return deviceLost_.load(std::memory_order_acquire); }
    // Blocks the device played late or not at all (underruns), whoever was late.
    std::uint32_t xruns() const noexcept { return xruns_.load(std::memory_order_relaxed); }
    // Blocks whose own processing (the source and the back end's share) took longer than the
    // block lasts: xruns caused by us, the sign of a source too slow for this machine. JACK
    // times one cycle in sixteen (it counts every late cycle in xruns() itself).
    std::uint32_t overruns() const noexcept { return overruns_.load(std::memory_order_relaxed); }

protected:
    // Any thread, a signal-like callback of the sound system's included: the device or server
    // went away.
    void markDeviceLost() noexcept
    {
        deviceLost_.store(true, std::memory_order_release);
        running_.store(false, std::memory_order_release);
        if (const sound::Wakeup* wakeup = lossWakeup_.load(std::memory_order_acquire))
            wakeup->notify();
    }

    // Any thread but the audio thread: a chosen MIDI port came or went.
    void notifyWatcher() const noexcept
    {
        if (const sound::Wakeup* wakeup = lossWakeup_.load(std::memory_order_acquire))
            wakeup->notify();
    }

    // audio thread. Counts an overrun when the block's processing, begun at `began`, outlasted
    // the block.
    void checkOverrun(std::chrono::steady_clock::time_point began,
                      std::chrono::nanoseconds blockDuration) noexcept
    {
        if (std::chrono::steady_clock::now() - began > blockDuration)
            overruns_.fetch_add(1, std::memory_order_relaxed);
    }

    std::atomic<bool> running_{false};
    std::atomic<bool> deviceLost_{false};
    std::atomic<std::uint32_t> xruns_{0};
    std::atomic<std::uint32_t> overruns_{0};

private:
    std::atomic<const sound::Wakeup*> lossWakeup_{nullptr};
};

struct OpenedAudioOut {
    std::unique_ptr<AudioOut> out;  // never null: the null output when nothing else opened
    // For the user, shown once: "no audio output" when only the null output was left.
    std::string notice;
    // For the log: why each back end before the chosen one was passed over, and why there is
    // no external MIDI port.
    std::vector<std::string> details;
};

// Where outputs and "MIDI output device 0" come from: the machine's own (systemAudioOuts), or
// in tests a private JACK server, the null output and recording MIDI destinations, so that no
// test plays through the sound card or MIDI port of the machine it runs on. Called on the
// control thread only.
class AudioOutFactory {
public:
    virtual ~AudioOutFactory() = default;
    // One back end: an error when its device or server is not there.
    virtual core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend backend,
                                                                const AudioOutRequest& request) = 0;
    // The output of a machine without sound; always there.
    virtual std::unique_ptr<AudioOut> openNull(const AudioOutRequest& request);
    // The MIDI port for an output that has none of its own: the chosen one, never another.
    // Not asked for MidiPortChoice::none().
    virtual core::Result<std::unique_ptr<MidiDestination>>
    openMidi(const std::string& clientName, const MidiPortChoice& choice) = 0;
    // The input port for an output that has none of its own: the one chosen by name, never
    // another. Not asked for any other choice.
    virtual core::Result<std::unique_ptr<MidiOrigin>> openMidiInput(const std::string& clientName,
                                                                    const MidiPortChoice& choice);
};

// JACK (only when a server already runs), RtAudio's default output device of PulseAudio or ALSA,
// and the chosen RtMidi output and input ports.
std::unique_ptr<AudioOutFactory> systemAudioOuts();

// Tries request.backends in order, then the null output. Where the chosen output has no MIDI
// port of its own, opens the chosen one for it; a chosen port that is missing is said in the
// notice. Never fails.
OpenedAudioOut openAudioOut(AudioOutFactory& outputs, const AudioOutRequest& request);
// The same with the machine's own outputs.
OpenedAudioOut openAudioOut(const AudioOutRequest& request = {});
// Whether a device is back: request.backends in order, audio only. Never the null output and
// never a MIDI port, so that looking again and again does not touch the user's MIDI device.
core::Result<std::unique_ptr<AudioOut>> probeAudioOut(AudioOutFactory& outputs,
                                                      const AudioOutRequest& request);

// The back ends one by one, for the factory and for tests.
core::Result<std::unique_ptr<AudioOut>> openJackAudioOut(const AudioOutRequest& request);
// Whether an output of this back end (by its backendName()) has a transport shared with other
// programs: only JACK's can be followed or led.
inline bool hasSharedTransport(std::string_view backendName) noexcept
{
    return backendName == "JACK";
}
enum class RtAudioHost : std::uint8_t { PulseAudio, Alsa, Jack };
core::Result<std::unique_ptr<AudioOut>> openRtAudioOut(RtAudioHost host,
                                                       const AudioOutRequest& request);
std::unique_ptr<AudioOut> makeNullAudioOut(const AudioOutRequest& request);

// What an RtAudio report on a running stream means. Its error callback hears of every write
// the device refused: ALSA's underruns (a late block; the stream goes on), and a device that
// is gone for good (PulseAudio's server ended, a card unplugged: every later write fails too).
enum class RtAudioTrouble : std::uint8_t { LateBlock, DeviceLost };
RtAudioTrouble classifyRtAudioReport(std::string_view text) noexcept;

// Shown in the window's caption and said at start while nothing can be heard.
inline constexpr const char* kNoAudioOutputNotice = core::translatable("no audio output");

}  // namespace taktwerk::devices
