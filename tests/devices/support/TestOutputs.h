#pragma once
// Outputs for tests of live playback: JACK only when the test asks for it (its private dummy
// server, reached through JACK_DEFAULT_SERVER), never PulseAudio or ALSA, so that no test plays
// through the sound card of the machine it runs on; the null output; and, for "MIDI output
// device 0", a recording destination instead of the machine's port. Counts what it opened, so
// that a test can tell a probe from a real change. Shared by the host's owner thread and its
// watch thread; the counters are atomics, the MIDI log has its own lock.

#include "devices/AudioOut.h"
#include "devices/support/TestSources.h"

#include <atomic>
#include <memory>
#include <string>

namespace taktwerk::devices::testing {

class TestOutputs final : public AudioOutFactory {
public:
    struct Counts {
        std::atomic<int> backendTries{0};
        std::atomic<int> midiOpens{0};
    };

    TestOutputs(Counts& counts, RecordingMidiDestination::Log& midi, bool jack)
        : counts_(counts), midi_(midi), jack_(jack)
    {
    }

    core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend backend,
                                                        const AudioOutRequest& request) override
    {
        counts_.backendTries.fetch_add(1);
        if (backend == AudioBackend::Jack && jack_)
            return openJackAudioOut(request);
        return core::fail("Kein Audiogerät gefunden.", "not for tests");
    }
    core::Result<std::unique_ptr<MidiDestination>> openMidi(const std::string&) override
    {
        counts_.midiOpens.fetch_add(1);
        return std::unique_ptr<MidiDestination>(std::make_unique<RecordingMidiDestination>(midi_));
    }

private:
    Counts& counts_;
    RecordingMidiDestination::Log& midi_;
    bool jack_;
};

}  // namespace taktwerk::devices::testing
