#include "devices/AudioOut.h"

#include "core/Language.h"
#include "devices/MidiOut.h"

namespace taktwerk::devices {

namespace {

std::string nameOf(AudioBackend backend)
{
    switch (backend) {
    case AudioBackend::Jack:
        return "JACK";
    case AudioBackend::PulseAudio:
        return "PulseAudio";
    case AudioBackend::Alsa:
        return "ALSA";
    }
    return "?";
}

class SystemAudioOuts final : public AudioOutFactory {
public:
    core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend backend,
                                                        const AudioOutRequest& request) override
    {
        switch (backend) {
        case AudioBackend::Jack:
            return openJackAudioOut(request);
        case AudioBackend::PulseAudio:
            return openRtAudioOut(RtAudioHost::PulseAudio, request);
        case AudioBackend::Alsa:
            return openRtAudioOut(RtAudioHost::Alsa, request);
        }
        return core::fail(core::translated("Unknown audio output."));
    }

    core::Result<std::unique_ptr<MidiDestination>> openMidi(const std::string& clientName,
                                                            const MidiPortChoice& choice) override
    {
        auto midi = MidiOut::open(choice, clientName);
        if (!midi)
            return core::Unexpected<core::Error>(midi.error());
        return std::unique_ptr<MidiDestination>(std::move(*midi));
    }

    core::Result<std::unique_ptr<MidiOrigin>> openMidiInput(const std::string& clientName,
                                                            const MidiPortChoice& choice) override
    {
        auto midi = MidiIn::open(choice, clientName);
        if (!midi)
            return core::Unexpected<core::Error>(midi.error());
        return std::unique_ptr<MidiOrigin>(std::move(*midi));
    }
};

}  // namespace

std::unique_ptr<AudioOut> AudioOutFactory::openNull(const AudioOutRequest& request)
{
    return makeNullAudioOut(request);
}

core::Result<std::unique_ptr<MidiOrigin>>
AudioOutFactory::openMidiInput(const std::string& /*clientName*/, const MidiPortChoice& choice)
{
    return core::fail(core::translated(kMidiPortNotFound, {choice.name}), "no MIDI input here");
}

std::unique_ptr<AudioOutFactory> systemAudioOuts() { return std::make_unique<SystemAudioOuts>(); }

OpenedAudioOut openAudioOut(const AudioOutRequest& request)
{
    const auto outputs = systemAudioOuts();
    return openAudioOut(*outputs, request);
}

OpenedAudioOut openAudioOut(AudioOutFactory& outputs, const AudioOutRequest& request)
{
    OpenedAudioOut opened;
    for (const AudioBackend backend : request.backends) {
        auto out = outputs.openBackend(backend, request);
        if (out) {
            opened.out = std::move(*out);
            break;
        }
        opened.details.push_back(nameOf(backend) + ": " + out.error().message + " " +
                                 out.error().detail);
    }
    if (!opened.out) {
        // No device at all is a normal machine (a build server, a remote session): play on
        // an internal clock and say so once.
        opened.out = outputs.openNull(request);
        opened.notice = core::translated(kNoAudioOutputNotice);
    }
    // JACK brings its own MIDI port; the others send through the user's.
    if (opened.out->midiPortName().empty() && request.midiOut.kind != MidiPortChoice::Kind::None) {
        auto midi = outputs.openMidi(request.clientName, request.midiOut);
        if (midi) {
            (void)opened.out->attachMidi(std::move(*midi));  // stopped, so always taken
        } else {
            opened.details.push_back("MIDI: " + midi.error().message + " " + midi.error().detail);
            // A port the user named and did not get must be said: notes going nowhere look
            // like a broken program.
            if (request.midiOut.kind == MidiPortChoice::Kind::Named && opened.notice.empty())
                opened.notice = midi.error().message;
        }
    }
    if (opened.out->readsMidiOrigin() && request.midiIn.kind == MidiPortChoice::Kind::Named) {
        auto input = outputs.openMidiInput(request.clientName, request.midiIn);
        if (input) {
            (void)opened.out->attachMidiInput(std::move(*input));  // stopped, so always taken
        } else {
            opened.details.push_back("MIDI in: " + input.error().message + " " +
                                     input.error().detail);
            if (opened.notice.empty())
                opened.notice = input.error().message;
        }
    }
    return opened;
}

core::Result<std::unique_ptr<AudioOut>> probeAudioOut(AudioOutFactory& outputs,
                                                      const AudioOutRequest& request)
{
    std::string tried;
    for (const AudioBackend backend : request.backends) {
        auto out = outputs.openBackend(backend, request);
        if (out)
            return out;
        tried += (tried.empty() ? "" : "; ") + nameOf(backend) + ": " + out.error().detail;
    }
    return core::fail(std::string(kNoAudioOutputNotice), tried);
}

RtAudioTrouble classifyRtAudioReport(std::string_view text) noexcept
{
    // ALSA has prepared the device again after an underrun and plays on; any other refused
    // write (a failed prepare included) means the device is not coming back by itself.
    if (text.find("audio write error, underrun") != std::string_view::npos)
        return RtAudioTrouble::LateBlock;
    return RtAudioTrouble::DeviceLost;
}

}  // namespace taktwerk::devices
