#pragma once
// The seam between the drum machine (GUI thread) and live playback: the sound engine, its
// audio output and the step source that the audio thread advances. The drum machine owns one
// Playback and calls it only from the GUI thread; what crosses to the audio thread goes
// through the implementation's atomics and queues, never through locks.

#include "sequencer/Sequencer.h"
#include "sound/VoiceSet.h"

#include <filesystem>

namespace taktwerk::app {

class Playback {
public:
    virtual ~Playback() = default;
    // Takes the state that every step reads afresh, and the tempo; the next step uses them.
    virtual void publish(const sequencer::StepInputs& inputs, int tempoBpm) = 0;
    // Starts over at step 0 (after a count-in when the published inputs ask for one).
    virtual void start() = 0;
    // Stops: no further step is taken.
    virtual void stop() = 0;
    // A rhythm was loaded: the next step is step 0 again (after a new count-in).
    virtual void restartPattern() = 0;
    // The oldest step the audio thread has played and the window has not painted yet; false
    // when there is none. Never waits.
    virtual bool popEvent(sequencer::StepEvent& event) = 0;
    // Sounds one pad (0..8) now, as a left press on it would; `beginner` silences the open
    // hi-hat and the crash.
    virtual void hitPad(int track, bool beginner) = 0;
    // Sounds one count-in click now.
    virtual void click() = 0;
    // Silences everything at once, sends "all notes off", closes audio and MIDI. Called once,
    // at exit; nothing sounds afterwards.
    virtual void shutdown() = 0;

    // The sound dialogs' needs. Not every playback sounds everything, so each does nothing
    // unless the implementation takes it up.
    // `SetSound`: all ten voices rebuilt from `choice`.
    virtual void setSound(const sound::SoundChoice& choice) { (void)choice; }
    // `SetSingleSound`: the tom voice `inSound` (7, 8, 9) rebuilt from `choice`.
    virtual void setSingleSound(int inSound, const sound::SoundChoice& choice)
    {
        (void)inSound;
        (void)choice;
    }
    // `SoundDevice` (1 = MIDI, else the sampled voices) and the click's MIDI note.
    virtual void setOutput(int soundDevice, int clickNote)
    {
        (void)soundDevice;
        (void)clickNote;
    }
    // Plays one file once on a voice of its own, cutting off the previous preview; a missing
    // file stays silent.
    virtual void preview(const std::filesystem::path& file) { (void)file; }
    // `MidiFailed`: the MIDI output could not be opened.
    virtual bool midiFailed() const { return false; }
};

}  // namespace taktwerk::app
