#pragma once
// What the outputs without MIDI ports of their own (RtAudio, the null output) share: the user's
// ports, handed over only while stopped, with notes going out through the timed sender and the
// pads' input read through the timed input, both on the frame grid of the output's stream.

#include "devices/AudioOut.h"
#include "devices/TimedMidi.h"

#include <cstdint>
#include <memory>
#include <string>

namespace taktwerk::devices {

class TimedAudioOut : public AudioOut {
public:
    std::string midiPortName() const override { return sender_.destinationName(); }
    bool attachMidi(std::unique_ptr<MidiDestination> destination) override
    {
        if (isStarted())
            return false;
        sender_.attach(std::move(destination));
        return true;
    }
    std::unique_ptr<MidiDestination> detachMidi() override
    {
        return isStarted() ? nullptr : sender_.detach();
    }
    bool readsMidiOrigin() const noexcept override { return true; }
    bool attachMidiInput(std::unique_ptr<MidiOrigin> origin) override
    {
        if (isStarted())
            return false;
        input_.attach(std::move(origin));
        return true;
    }
    std::unique_ptr<MidiOrigin> detachMidiInput() override
    {
        return isStarted() ? nullptr : input_.detach();
    }
    std::string midiInputName() const override { return input_.originName(); }
    bool midiPortGone() const override { return sender_.destinationGone(); }
    bool midiInputGone() const override { return input_.originGone(); }
    bool hasMidiConnections() const override
    {
        return !midiPortName().empty() || input_.isAttached();
    }

protected:
    // Control thread: whether the stream runs, and with it the ports' threads.
    virtual bool isStarted() const noexcept = 0;
    // Control thread, before the first start: the stream's rate and largest block.
    void setTiming(std::uint32_t sampleRate, std::uint32_t blockFrames) noexcept
    {
        input_.setTiming(sampleRate, blockFrames);
        sink_.setSampleRate(sampleRate);
    }

    TimedMidiSender sender_;
    TimedMidiInput input_;
    TimedMidiSink sink_{sender_, input_, 48000};
};

}  // namespace taktwerk::devices
