#pragma once
// The seam between the drum machine and live playback: what the machine tells the audio side
// and what it learns back. LiveHost is the one real host; the drum machine's tests put a
// recording fake in its place. Every call comes from the owner's thread (the window's GUI
// thread, or the main thread of `taktwerk play`); what crosses to the audio thread goes through
// atomics and lock-free queues, never through locks.

#include "devices/MidiPorts.h"
#include "playback/LiveHit.h"
#include "playback/SyncSource.h"
#include "sequencer/Sequencer.h"
#include "sound/MidiInput.h"
#include "sound/Pads.h"
#include "sound/VoiceSet.h"
#include "sound/Wakeup.h"

#include <filesystem>
#include <string>

namespace taktwerk::playback {

class Host {
public:
    virtual ~Host() = default;

    // Takes the state that every step reads afresh (velocities and swing included), and the
    // tempo; the next step uses them.
    virtual void publish(const sequencer::StepInputs& inputs, int tempoBpm) = 0;
    // RUN: starts over at step 0 (after a count-in when the published inputs ask for one).
    virtual void start() = 0;
    // STOP: no further step is taken; sounding MIDI notes are ended.
    virtual void stop() = 0;
    // Whether RUN is in force, read from the transport word the audio side follows: there is
    // no second copy of it anywhere.
    virtual bool isRunning() const = 0;
    // A rhythm was loaded: the next step is step 0 again (after a new count-in).
    virtual void restartPattern() = 0;

    // The oldest step of the current run not taken yet; false when there is none. Steps of a
    // run that has ended (queued before STOP, or before the latest RUN) are dropped here, the
    // one place that filters them. Never waits.
    virtual bool popEvent(sequencer::StepEvent& event) = 0;
    // The oldest live hit of the current run (or of the run just stopped) that popEvent has
    // come across, placed on the step grid; false when none waits.
    virtual bool popLiveHit(LiveHit& hit) = 0;
    // Notified when a step or a report waits, so that the owner can sleep until then instead
    // of polling: the window watches its descriptor, `play` waits on it.
    virtual const sound::Wakeup& news() const = 0;
    // What happened since the last call, for the log: the output lost or back, steps, commands
    // or MIDI messages lost, late blocks. Empty when nothing did.
    virtual std::string trouble() = 0;
    // False while nothing can be heard because no audio device is there (playback goes on on
    // an internal clock, so the window and MIDI stay live).
    virtual bool hasAudioOutput() const = 0;

    // A press of `track`'s pad with mouse `button` (1 left, 2 right) in the view given, sounded
    // at once with `velocity` (1 ... 127: a pad struck by hand at full, a step heard as it is
    // set at its own); says what the press means beyond the sound.
    virtual sound::PadActions hitPad(int track, int button, int velocity, bool beginner) = 0;
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
    // "Send MIDI clock": 24 clocks a beat with Start and Stop go out with the notes, from the
    // next step on.
    virtual void setClockOut(bool on) = 0;
    // Follow a master (its Start, Stop and clock drive playback; RUN and STOP do nothing), or
    // our own clock again.
    virtual void setSync(SyncSource source) = 0;
    // The MIDI ports by name, taken soon after (the output's notes are ended on the old port).
    virtual void setMidiPorts(const devices::MidiPortChoice& /*out*/,
                              const devices::MidiPortChoice& /*in*/)
    {
    }
    // Whether the output shares a transport with other programs (JACK's), which can be followed.
    virtual bool hasSharedTransport() const { return false; }
    // Lead that shared transport as its timebase master (publishing our tempo and meter), or
    // give the lead back; taken soon after. Outputs without a transport have nothing to lead.
    virtual void setTimebaseMaster(bool /*on*/) {}
    // While following: the master's tempo in tenths of a BPM; 0 until it is measured.
    virtual int followedTempoTenths() const = 0;
    // Which pad each note on the MIDI input strikes, from the next block on.
    virtual void setDrumNoteMap(const sound::DrumNoteMap& map) = 0;
    // The latest note-on heard on the MIDI input, mapped or not (sound::Engine::heardNoteOn's
    // word: a count above the note number's 8 bits; 0 before any).
    virtual std::uint32_t heardNoteOn() const = 0;
    // The dialogs' preview voice: plays `file` once, cutting the previous preview; a missing
    // file only cuts. stopPreview() releases it.
    virtual void preview(const std::filesystem::path& file) = 0;
    virtual void stopPreview() = 0;
    // `MidiFailed`: there is no MIDI output to send to.
    virtual bool midiFailed() const = 0;
    // The tom (1..3) last struck, by mouse or by the pattern; 0 before any.
    virtual int editTom() const = 0;
    // Notes from the MIDI input that could not be played because more came in one audio
    // block than the engine takes; counted since the start.
    virtual std::uint64_t lostLiveHits() const { return 0; }
    // For the window's caption, in its words: why sampled voices are silent ("3 Samples nicht
    // geladen"), and that a chosen MIDI port is missing; empty while all is well.
    virtual std::string soundProblem() const { return {}; }
    // The user is about to play (the mouse came over the window, a key was pressed): an output
    // that sleeps because all was quiet starts again, so that the next hit is heard on time.
    // Cheap enough for every mouse move. RUN, pad hits, clicks and previews wake it themselves.
    virtual void wake() {}
    // Silences everything at once, sends "all notes off", closes audio and MIDI. Called once,
    // at exit; nothing sounds afterwards.
    virtual void shutdown() = 0;
};

}  // namespace taktwerk::playback
