#pragma once
// The seam between the drum machine (GUI thread) and live playback: the sound engine, its
// audio output and the step source that the audio thread advances (LivePlayback.h). The drum
// machine owns one Playback and calls it only from the GUI thread; what crosses to the audio
// thread goes through the implementation's atomics and queues, never through locks. Tests
// put a recording fake in its place.

#include "sequencer/Sequencer.h"
#include "sound/Pads.h"
#include "sound/VoiceSet.h"

#include <filesystem>
#include <string>

namespace taktwerk::app {

class Playback {
public:
    virtual ~Playback() = default;
    // Takes the state that every step reads afresh (velocities and swing included), and the
    // tempo; the next step uses them.
    virtual void publish(const sequencer::StepInputs& inputs, int tempoBpm) = 0;
    // RUN: starts over at step 0 (after a count-in when the published inputs ask for one).
    virtual void start() = 0;
    // STOP: no further step is taken; sounding MIDI notes are ended.
    virtual void stop() = 0;
    // A rhythm was loaded: the next step is step 0 again (after a new count-in).
    virtual void restartPattern() = 0;
    // The oldest step of the current run that the window has not painted yet; false when
    // there is none. Never waits.
    virtual bool popEvent(sequencer::StepEvent& event) = 0;
    // A press of `track`'s pad with mouse `button` (1 left, 2 right), sounded at once; says
    // what the press means beyond the sound.
    virtual sound::PadActions hitPad(int track, int button) = 0;
    // Sounds one count-in click now.
    virtual void click() = 0;
    // Rebuilds the ten voices from `choice`, also while playing.
    virtual void setSound(const sound::SoundChoice& choice) = 0;
    // Rebuilds tom `inSound` (7, 8, 9) from `choice`; the other voices keep sounding.
    virtual void setSingleSound(int inSound, const sound::SoundChoice& choice) = 0;
    // `SoundDevice` (1 MIDI, else the sampled voices) and the click's MIDI note.
    virtual void setOutput(int soundDevice, int clickNote) = 0;
    // The master volume, 0 ... 100 %, of everything sounded here (not of an external MIDI
    // receiver, which has its own); reached within a few milliseconds, without a click.
    virtual void setVolume(int percent) = 0;
    // The dialogs' preview voice: plays `file` once, cutting the previous preview; a missing
    // file only cuts. stopPreview() releases it.
    virtual void preview(const std::filesystem::path& file) = 0;
    virtual void stopPreview() = 0;
    // `MidiFailed`: there is no MIDI output to send to.
    virtual bool midiFailed() const = 0;
    // The tom (1..3) last struck, by mouse or by the pattern; 0 before any.
    virtual int editTom() const = 0;
    // What went wrong on the audio thread since the last call (lost steps or commands, late
    // blocks), for the log; empty when nothing did.
    virtual std::string trouble() = 0;
    // False while nothing can be heard because no audio device is there (playback goes on
    // on an internal clock, so the window and MIDI stay live).
    virtual bool hasAudioOutput() const { return true; }
    // Silences everything at once, sends "all notes off", closes audio and MIDI. Called once,
    // at exit; nothing sounds afterwards.
    virtual void shutdown() = 0;
};

}  // namespace taktwerk::app
