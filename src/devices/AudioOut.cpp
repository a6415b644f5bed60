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

core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend backend,
                                                    const AudioOutRequest& request)
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

}  // namespace

OpenedAudioOut openAudioOut(const AudioOutRequest& request)
{
    OpenedAudioOut opened;
    for (const AudioBackend backend : request.backends) {
        auto out = openBackend(backend, request);
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
        opened.out = makeNullAudioOut(request);
        opened.notice = core::translated(kNoAudioOutputNotice);
    }
    // JACK brings its own MIDI port; the others send through "MIDI output device 0".
    if (opened.out->midiPortName().empty()) {
        auto midi = MidiOut::openFirstPort(request.clientName);
        if (midi)
            (void)opened.out->attachMidi(std::move(*midi));  // stopped, so always taken
        else
            opened.details.push_back("MIDI: " + midi.error().message + " " + midi.error().detail);
    }
    return opened;
}

}  // namespace taktwerk::devices
