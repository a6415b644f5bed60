#pragma once
// Outputs for tests of live playback. JACK only when the test asks for it (its private dummy
// server, reached through JACK_DEFAULT_SERVER) and never PulseAudio or ALSA, so that no test
// plays through the sound card of the machine it runs on; instead a fake sound card the test
// plugs in and pulls out; the null output; and, for "MIDI output device 0", a recording
// destination instead of the machine's port. Counts what it opened, so that a test can tell a
// probe from a change of output.
//
// TestDevice is the test's; the factory and the fake card use it from the host's watch thread
// and the card's clock thread, so everything in it is atomic or locked.

#include "devices/AudioOut.h"
#include "devices/support/TestSources.h"

#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

class FakeCardOut;

// The one name the recording "MIDI output device 0" answers to when chosen by name.
inline constexpr const char* kTestMidiPortName = "Test Synth:in 1";
// The one name the test's MIDI input port (a pad controller the test plays) answers to.
inline constexpr const char* kTestMidiInName = "Test Pads:out 1";

// The pad controller behind that port: plays into whichever output has it open, as RtMidi's
// thread would, from the test's thread.
class TestPads final : public MidiOrigin {
public:
    // `open` points at these pads while their port is open.
    // `present`, when given, says whether the port is still there (isGone).
    explicit TestPads(std::atomic<TestPads*>& open, const std::atomic<bool>* present = nullptr)
        : open_(open), present_(present)
    {
        open_.store(this);
    }
    ~TestPads() override
    {
        TestPads* self = this;
        open_.compare_exchange_strong(self, nullptr);
    }
    TestPads(const TestPads&) = delete;
    TestPads& operator=(const TestPads&) = delete;

    void deliverTo(TimedMidiInput* input) noexcept override
    {
        const std::lock_guard lock(mutex_);
        input_ = input;
    }
    std::string name() const override { return kTestMidiInName; }
    bool isGone() const override { return present_ != nullptr && !present_->load(); }
    // False when no output listens, or it dropped the message.
    bool play(std::initializer_list<std::uint8_t> bytes)
    {
        const std::vector<std::uint8_t> message(bytes);
        const std::lock_guard lock(mutex_);
        return input_ != nullptr &&
               input_->arrived(MidiClock::now(), message.data(), message.size());
    }

private:
    std::atomic<TestPads*>& open_;
    const std::atomic<bool>* present_;
    std::mutex mutex_;
    TimedMidiInput* input_ = nullptr;
};

struct TestDevice {
    std::atomic<int> backendTries{0};
    std::atomic<int> midiLooks{0};               // asked for an output port, found or not
    std::atomic<int> midiOpens{0};               // and opened one
    std::atomic<bool> midiPort{true};            // "MIDI output device 0" exists
    std::atomic<bool> plugged{false};            // the fake card is there to be opened
    std::atomic<std::uint32_t> rate{48000};      // and plays at this rate
    std::atomic<FakeCardOut*> current{nullptr};  // the open one, if any
    std::atomic<int> starts{0};                  // of any fake card
    std::atomic<int> loudBlocks{0};              // blocks the card played with sound in them
    RecordingMidiDestination::Log midi;
    std::atomic<bool> padsPort{true};  // the pad controller's port is there
    std::atomic<int> midiInLooks{0};
    std::atomic<int> midiInOpens{0};
    std::atomic<TestPads*> pads{nullptr};  // the input port while it is open

    // Pulls the card out while it plays: its output reports the loss from this thread, as a
    // sound system's callback would from its own.
    void unplug();
};

// A sound card: the null output's clock under another name, with no MIDI port of its own
// (like RtAudio's outputs), that can go away.
class FakeCardOut final : public AudioOut {
public:
    FakeCardOut(TestDevice& device, const AudioOutRequest& request) : device_(device)
    {
        AudioOutRequest atRate = request;
        atRate.sampleRate = device.rate.load();
        inner_ = makeNullAudioOut(atRate);
        device_.current.store(this);
    }
    ~FakeCardOut() override
    {
        stop();
        FakeCardOut* self = this;
        device_.current.compare_exchange_strong(self, nullptr);
    }

    core::Result<void> start(sound::AudioSource& source) override
    {
        if (deviceLost())
            return core::fail("Die Soundkarte ist weg.");
        tap_.source = &source;
        auto started = inner_->start(tap_);
        running_.store(static_cast<bool>(started));
        if (started)
            device_.starts.fetch_add(1);
        return started;
    }
    void stop() noexcept override
    {
        inner_->stop();
        running_.store(false);
    }
    std::uint32_t sampleRate() const noexcept override { return inner_->sampleRate(); }
    std::uint32_t blockFrames() const noexcept override { return inner_->blockFrames(); }
    std::string_view backendName() const noexcept override { return "fake card"; }
    std::string midiPortName() const override { return inner_->midiPortName(); }
    bool attachMidi(std::unique_ptr<MidiDestination> destination) override
    {
        return inner_->attachMidi(std::move(destination));
    }
    std::unique_ptr<MidiDestination> detachMidi() override { return inner_->detachMidi(); }
    bool readsMidiOrigin() const noexcept override { return inner_->readsMidiOrigin(); }
    bool attachMidiInput(std::unique_ptr<MidiOrigin> origin) override
    {
        return inner_->attachMidiInput(std::move(origin));
    }
    std::unique_ptr<MidiOrigin> detachMidiInput() override { return inner_->detachMidiInput(); }
    std::string midiInputName() const override { return inner_->midiInputName(); }
    bool midiPortGone() const override { return inner_->midiPortGone(); }
    bool midiInputGone() const override { return inner_->midiInputGone(); }
    bool hasMidiConnections() const override { return inner_->hasMidiConnections(); }

    void lose() noexcept { markDeviceLost(); }

private:
    // What the card plays, heard: counts the blocks with any sound.
    struct Tap final : sound::AudioSource {
        explicit Tap(TestDevice& device) : device(device) {}
        void process(float* out, std::uint32_t frames, sound::MidiBlockSink& midi) noexcept override
        {
            source->process(out, frames, midi);
            for (std::uint32_t value = 0; value < frames * sound::kOutputChannels; ++value) {
                if (out[value] != 0.0f) {
                    device.loudBlocks.fetch_add(1);
                    break;
                }
            }
        }
        TestDevice& device;
        sound::AudioSource* source = nullptr;
    };

    TestDevice& device_;
    std::unique_ptr<AudioOut> inner_;
    Tap tap_{device_};
};

inline void TestDevice::unplug()
{
    plugged.store(false);
    if (FakeCardOut* card = current.load())
        card->lose();
}

class TestOutputs final : public AudioOutFactory {
public:
    TestOutputs(TestDevice& device, bool jack) : device_(device), jack_(jack) {}

    core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend backend,
                                                        const AudioOutRequest& request) override
    {
        device_.backendTries.fetch_add(1);
        if (backend == AudioBackend::Jack && jack_)
            return openJackAudioOut(request);
        if (backend == AudioBackend::PulseAudio && device_.plugged.load())
            return std::unique_ptr<AudioOut>(std::make_unique<FakeCardOut>(device_, request));
        return core::fail("Kein Audiogerät gefunden.", "not in tests");
    }
    core::Result<std::unique_ptr<MidiDestination>> openMidi(const std::string&,
                                                            const MidiPortChoice& choice) override
    {
        device_.midiLooks.fetch_add(1);
        if (choice.kind == MidiPortChoice::Kind::Named &&
            (!device_.midiPort.load() || choice.name != kTestMidiPortName))
            return core::fail(core::translated(kMidiPortNotFound, {choice.name}), "not in tests");
        if (!device_.midiPort.load())
            return core::fail("Kein MIDI-Ausgang gefunden.", "not in tests");
        device_.midiOpens.fetch_add(1);
        return std::unique_ptr<MidiDestination>(
            std::make_unique<RecordingMidiDestination>(device_.midi, &device_.midiPort));
    }
    core::Result<std::unique_ptr<MidiOrigin>> openMidiInput(const std::string&,
                                                            const MidiPortChoice& choice) override
    {
        device_.midiInLooks.fetch_add(1);
        if (!device_.padsPort.load() || choice.name != kTestMidiInName)
            return core::fail(core::translated(kMidiPortNotFound, {choice.name}), "not in tests");
        device_.midiInOpens.fetch_add(1);
        return std::unique_ptr<MidiOrigin>(
            std::make_unique<TestPads>(device_.pads, &device_.padsPort));
    }

private:
    TestDevice& device_;
    bool jack_;
};

}  // namespace taktwerk::devices::testing
