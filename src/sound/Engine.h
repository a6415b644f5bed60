#pragma once
// Engine: the real-time heart of the sound. Owned by the app (its owner thread, normally the
// GUI thread) and run by an output back end, which calls process() once per block on its
// audio thread; offline tools call process() in a loop themselves.
//
// The owner talks to the audio thread only through a fixed-size command queue (pad hits,
// clicks, mode switches, new voice sets and synths by pointer). Voice sets and synths it no
// longer uses come back through a second queue and are freed on the owner's thread by
// collectGarbage(), which every owner-side call also runs.
//
// Everything within a block happens at its exact frame: the step source places hits (each with
// its step's velocity), note-offs fall where their gate ends, and the block is rendered
// piecewise between them. The finished block passes the master volume last. The built-in
// synth can only start notes on its own block grid, so the notes MIDI mode plays are rendered
// through it ahead of time (NoteBank) and sounded from there, at their frame; any other note
// goes to the live synth.

#include "core/Result.h"
#include "sound/AudioIO.h"
#include "sound/GmSynth.h"
#include "sound/Midi.h"
#include "sound/MidiInput.h"
#include "sound/Mixer.h"
#include "sound/NoteBank.h"
#include "sound/Pads.h"
#include "sound/SpscQueue.h"
#include "sound/StepSource.h"
#include "sound/VoiceSet.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace taktwerk::sound {

// The notes MIDI mode plays with `clickNote` and `values`, rendered ahead from `soundFont` (the
// better part of a second for a large font); null when memory runs out. Any thread: it touches
// no engine.
std::unique_ptr<NoteBank> renderSynthNotes(const std::filesystem::path& soundFont,
                                           double sampleRate, int clickNote,
                                           const MidiValues& values);

class Engine final : public AudioSource, private BlockScheduler {
public:
    explicit Engine(double sampleRate);
    // Owner thread, with the output stopped: frees everything still held or queued.
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    double sampleRate() const noexcept { return sampleRate_; }

    // --- owner thread ---
    // A press of `track`'s pad in the view given, sounded at the start of the next block with
    // `velocity` (1..127: picks the voice's layer and sets its loudness; MIDI mode keeps its
    // own). Returns what the press means (e.g. a right click on a tom opens the sample dialog
    // instead of sounding).
    PadActions hitPad(int track, int button = 0, int velocity = kFullVelocity,
                      bool beginner = false);
    // `chkIntro_Click`: one click, note `ClickNote` in MIDI mode, else the ST voice.
    void click();
    // The hidden test controls' "Play": a MIDI note-on of `note`, whatever the mode. For the
    // built-in synth the note is rendered ahead here, like every note MIDI mode plays.
    void sendMidiNote(int note);
    // Rebuild all ten voices (loads here, on the calling thread) and swap them in. Voices
    // whose file is unchanged keep their sample and ring on; the others are cut.
    void SetSound(const SoundChoice& choice);
    // Rebuild tom `inSound` (7, 8, 9) from `choice`; the other voices keep their samples
    // and keep sounding.
    void SetSingleSound(int inSound, const SoundChoice& choice);
    // Swaps in a voice set built elsewhere (on a loader thread, say), as SetSound swaps its own.
    void setVoices(std::unique_ptr<VoiceSet> set);
    // The voice set the audio thread plays, or will once its swap arrives.
    const VoiceSet& voices() const noexcept { return built_; }
    // Release all voices: from the next block on, every voice is silent.
    void DXCleanUp();
    // The dialogs' `PreviewVoice`: plays `file` once (loaded here), in either mode, cutting the
    // previous preview; a missing file only cuts. stopPreview() releases it.
    void preview(const std::filesystem::path& file);
    void stopPreview();
    void setMode(SoundMode mode);
    // Renders the click note for the built-in synth when it is new (here, on the calling thread,
    // a few milliseconds); until it arrives, the live synth plays it.
    void setClickNote(int note);
    // `Velocity`: what the click and the test note strike with in MIDI mode (pads and the
    // pattern's hits bring their own). The built-in synth's layers cover any.
    void setVelocity(int velocity);
    // What the notes MIDI mode plays are rendered for (renderSynthNotes).
    int clickNote() const noexcept { return ownerClickNote_; }
    const MidiValues& midiValues() const noexcept { return ownerValues_; }
    // Ends every sounding MIDI note (note-offs, then controller 123). Send on stop and
    // before exit, and let one more block run so it reaches the receiver.
    void allNotesOff();
    // The sequencer that places hits in each block; null for none. It must stay alive until
    // it has been replaced and a block has passed, or until the output is stopped.
    void setStepSource(StepSource* source);
    // Loads the built-in GM synth from `soundFont` and renders the notes MIDI mode plays (both
    // here, on the calling thread) and swaps them in.
    core::Result<void> loadSynth(const std::filesystem::path& soundFont);
    // Swaps in a synth from `soundFont` built elsewhere (on a loader thread, say). It plays every
    // note live, on its own block grid, until setSynthNotes brings its notes rendered ahead.
    void setSynth(const std::filesystem::path& soundFont, std::unique_ptr<GmSynth> synth);
    // The notes of the synth set last, rendered elsewhere (renderSynthNotes); notes the click or
    // the velocity asked for since are rendered here.
    void setSynthNotes(std::unique_ptr<NoteBank> notes);
    // The SoundFont of the synth the audio thread plays, or will once its swap arrives; empty:
    // none is loaded.
    const std::filesystem::path& soundFont() const noexcept { return soundFont_; }
    // Frees the voice sets and synths the audio thread has handed back.
    void collectGarbage();

    // Which pad each note on the MIDI input strikes (the General MIDI drum notes until set).
    void setDrumNoteMap(const DrumNoteMap& map) noexcept;
    // The view live MIDI pads obey, as a click in the window would.
    void setLiveBeginner(bool beginner) noexcept
    {
        liveBeginner_.store(beginner, std::memory_order_relaxed);
    }

    // --- any thread ---
    // The master volume, 0 ... 100 (% of full scale on the loudness curve of velocityCurve) for
    // everything the engine sounds, external MIDI aside. The next block ramps to it within
    // kVolumeRampSeconds, so a change never clicks.
    void setVolume(int percent) noexcept;
    int volume() const noexcept { return volume_.load(std::memory_order_relaxed); }
    // `EditTom`: the tom (1..3) last struck, by mouse or pattern; 0 before any.
    int editTom() const noexcept { return editTom_.load(std::memory_order_relaxed); }
    // Commands lost because the queue was full (the audio thread is not running).
    std::uint64_t commandDrops() const noexcept { return commandDrops_.load(); }
    // MIDI messages the sink refused (its buffer was full).
    std::uint64_t midiDrops() const noexcept { return midiDrops_.load(); }
    // Notes from the MIDI input that found no room (more than kLiveStrikeCapacity a block).
    std::uint64_t liveDrops() const noexcept { return liveDrops_.load(); }
    // The latest note-on heard on the MIDI input, mapped or not, for MIDI learn: the note
    // number in the low 8 bits, above them a count of note-ons heard (wrapping), so that the
    // same note struck twice is two news. 0 before any.
    std::uint32_t heardNoteOn() const noexcept
    {
        return heardNoteOn_.load(std::memory_order_acquire);
    }
    // Frames since the engine last sounded anything or had a MIDI note to end: how long its
    // output has been silence. The owner of the output may let it sleep after a while.
    std::uint64_t quietFrames() const noexcept
    {
        return quietFrames_.load(std::memory_order_relaxed);
    }

    // --- audio thread ---
    void process(float* out, std::uint32_t frames, MidiBlockSink& midi) noexcept override;

private:
    struct Command {
        enum class Kind : std::uint8_t {
            HitPad,
            Click,
            MidiNote,
            SwapVoices,
            SwapSynth,
            SwapNotes,
            SwapPreview,
            SetMode,
            SetClickNote,
            SetVelocity,
            AllNotesOff,
            SetStepSource
        };
        Kind kind = Kind::Click;
        int value = 0;
        int button = 0;
        int velocity = kFullVelocity;
        bool beginner = false;
        VoiceSet* voices = nullptr;
        GmSynth* synth = nullptr;
        NoteBank* noteBank = nullptr;
        StepSource* stepSource = nullptr;
        const Sample* preview = nullptr;
    };
    struct Garbage {
        VoiceSet* voices = nullptr;
        GmSynth* synth = nullptr;
        NoteBank* noteBank = nullptr;
        const Sample* preview = nullptr;  // the audio thread has done with this preview
    };
    enum class Destination : std::uint8_t { None, Sink, Synth };
    static constexpr std::size_t kCommandCapacity = 256;
    static constexpr std::size_t kGarbageCapacity = 16;
    static constexpr int kKeyCount = 128;
    static constexpr std::uint64_t kNever = ~std::uint64_t{0};
    // More notes in one block than two hands and feet can play.
    static constexpr std::size_t kLiveStrikeCapacity = 64;
    struct LiveStrike {
        std::uint32_t frame = 0;   // where it sounds, in the block after its own
        std::uint64_t played = 0;  // the absolute frame it came in at: when the player hit it
        PadStrike strike;
    };

    void push(const Command& command);
    void swapVoices(std::unique_ptr<VoiceSet> set);
    // The notes MIDI mode plays and `extraNote` (none when negative).
    std::unique_ptr<NoteBank> renderNotes(const NoteBank* previous, int extraNote = -1) const;
    void refreshNotes(int extraNote = -1);

    // audio thread
    void padAt(int track, std::uint32_t frame, int velocity, bool beginner) noexcept override;
    void clickAt(std::uint32_t frame) noexcept override;
    void realtimeAt(std::uint32_t frame, std::uint8_t status) noexcept override;
    void drainCommands() noexcept;
    void soundLiveUntil(std::uint32_t frame) noexcept;
    void takeRealtimeInput(const MidiBlockInput* input) noexcept;
    void takeLiveInput(const MidiBlockInput* input) noexcept;
    bool apply(const Command& command) noexcept;  // false: must wait for a later block
    void swapNoteBank(NoteBank* bank) noexcept;
    void retire() noexcept;
    void moveTo(std::uint32_t frame) noexcept;
    void renderUntil(std::uint32_t frame) noexcept;
    // Returns whether the press sounded anything.
    bool pressPad(int track, int button, int velocity, bool beginner) noexcept;
    void chokeOthers(VoiceId voice) noexcept;
    void soundClick() noexcept;
    void playNote(int note, int velocity) noexcept;
    void finishBlock(float* out, std::uint32_t frames) noexcept;
    bool isQuiet() const noexcept;
    void endDueNotes() noexcept;
    void endNote(int key) noexcept;
    void endAllNotes() noexcept;
    void send(const MidiMessage& message, Destination to) noexcept;
    std::uint64_t now() const noexcept { return blockStart_ + cursor_; }

    const double sampleRate_;
    const std::uint64_t gateFrames_;

    // Owner thread.
    VoiceSet built_;  // what the audio thread plays, kept to rebuild single toms from
    std::vector<std::shared_ptr<const Sample>> previews_;  // lent to the audio thread
    SoundMode ownerMode_ = SoundMode::Midi;
    std::filesystem::path soundFont_;  // of the synth the audio thread plays; empty: none
    NoteBank builtNotes_;              // what the audio thread plays, to share from
    bool notesComing_ = false;         // rendered elsewhere: none are rendered here meanwhile
    MidiValues ownerValues_;
    int ownerClickNote_ = 37;

    SpscQueue<Command, kCommandCapacity> commands_;
    SpscQueue<Garbage, kGarbageCapacity> garbage_;
    std::atomic<int> editTom_{0};
    std::atomic<int> volume_{100};
    std::atomic<std::uint64_t> commandDrops_{0};
    std::atomic<std::uint64_t> midiDrops_{0};
    std::atomic<std::uint64_t> liveDrops_{0};
    std::atomic<std::uint32_t> heardNoteOn_{0};
    std::atomic<std::uint64_t> quietFrames_{0};  // written by the audio thread only
    std::array<std::atomic<std::int8_t>, kMidiNoteCount> noteTracks_{};  // DrumNoteMap, shared
    std::atomic<bool> liveBeginner_{false};

    // Audio thread (owned raw pointers: freeing is the owner's business, never this thread's).
    Mixer mixer_;
    VoiceSet* voices_ = nullptr;
    VoiceSet* retiringVoices_ = nullptr;  // waits for its fading tails before going back
    GmSynth* synth_ = nullptr;
    // Whether synth_ may sound: it wakes only by what we send it, so the engine knows without
    // asking the synth every block, whose state lies far from the engine's in memory.
    bool synthAwake_ = false;
    GmSynth* retiringSynth_ = nullptr;
    NoteBank* noteBank_ = nullptr;
    NoteBank* retiringNoteBank_ = nullptr;  // waits for the fades that still read it
    const Sample* preview_ = nullptr;
    const Sample* retiringPreview_ = nullptr;
    std::optional<Command> waiting_;  // a swap that waits for the previous one to go back
    StepSource* stepSource_ = nullptr;
    SoundMode mode_ = SoundMode::Midi;
    int clickNote_ = 37;  // `ClickNote`'s default
    MidiValues midiValues_;
    std::array<std::uint64_t, kKeyCount> noteEnds_{};  // absolute frame of each key's note-off
    std::array<MidiMessage, kKeyCount> noteOffs_{};
    std::array<Destination, kKeyCount> noteSentTo_{};
    std::uint64_t nextNoteEnd_ = kNever;
    const std::uint32_t volumeRampFrames_;
    float volumeGain_ = 1.0f;    // applied to the frame being finished
    float volumeTarget_ = 1.0f;  // where the ramp goes
    float volumeStep_ = 0.0f;
    std::uint32_t volumeRampLeft_ = 0;

    // The MIDI input's strikes of the block before, sounded at the same frames of this one: a
    // block's input is complete only once the block has passed, and a steady delay of one
    // block sounds better than one that varies with where in the block a note came.
    std::array<LiveStrike, kLiveStrikeCapacity> live_{};
    std::size_t liveCount_ = 0;
    std::size_t liveNext_ = 0;

    // The block being rendered.
    float* out_ = nullptr;
    std::uint32_t frames_ = 0;
    std::uint32_t cursor_ = 0;  // frames of the block already rendered
    MidiBlockSink* sink_ = nullptr;
    std::uint64_t blockStart_ = 0;  // absolute frame of the block's first frame
};

}  // namespace taktwerk::sound
