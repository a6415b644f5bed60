#include "app/LiveHostOptions.h"

#include "sound/GmSynth.h"

namespace taktwerk::app {

playback::LiveHostOptions liveHostOptions(const Settings& settings)
{
    playback::LiveHostOptions options;
    options.mode = sound::soundModeFor(settings.SoundDevice);
    options.clickNote = settings.ClickNote;
    options.volume = settings.Volume;
    options.clockOut = settings.sendMidiClock;
    options.sync = settings.sync;
    options.timebaseMaster = leadsJackTransport(settings);
    options.drumNotes = settings.drumNotes;
    options.request.midiOut = settings.midiOut;
    options.request.midiIn = settings.midiIn;
    options.sound.soundDir = settings.SoundDir;
    options.sound.soundSet = settings.SoundSet;
    options.sound.tomSounds = {settings.Tom1Sound, settings.Tom2Sound, settings.Tom3Sound};
    options.soundFont = sound::findSoundFont();
    return options;
}

std::unique_ptr<playback::LiveHost>
openLiveHost(const Settings& settings, std::chrono::milliseconds sleepAfter, bool stepEvents)
{
    playback::LiveHostOptions options = liveHostOptions(settings);
    options.sleepAfter = sleepAfter;
    options.stepEvents = stepEvents;
    return std::make_unique<playback::LiveHost>(options, devices::systemAudioOuts());
}

}  // namespace taktwerk::app
