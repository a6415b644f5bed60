#include "sound/Engine.h"

#include <algorithm>
#include <span>

namespace taktwerk::sound {
namespace {
// How long a MIDI note is held before its note-off: long enough for any drum module to
// take the hit, short enough that a receiver with sustained sounds doesn't drone.
constexpr double kGateSeconds = 0.050;
// A volume change glides over this long: a jump in gain is heard as a click, and a hundredth
// of a second is too short to be heard as a fade.
constexpr double kVolumeRampSeconds = 0.010;
constexpr int kFullVolume = 100;

// The same curve as a velocity's (velocityCurve), so that half way sounds about half as loud.
float volumeGain(int percent) noexcept
{
    const float share =
        static_cast<float>(std::clamp(percent, 0, kFullVolume)) / static_cast<float>(kFullVolume);
    return share * share;
}

// The notes MIDI mode plays with `clickNote`, and `extraNote` (none when negative), rendered
// from `soundFont`; samples of `previous` that fit are shared.
std::unique_ptr<NoteBank> renderPlayedNotes(const std::filesystem::path& soundFont,
                                            double sampleRate, int clickNote,
                                            const MidiValues& values, const NoteBank* previous,
                                            int extraNote)
{
    auto notes = playedNotes(clickNote);
    if (extraNote >= 0 && std::find(notes.begin(), notes.end(), extraNote) == notes.end())
        notes.push_back(extraNote);
    auto bank = renderNoteBank(
        soundFont, notes, {.sampleRate = sampleRate, .gateSeconds = kGateSeconds, .values = values},
        previous);
    // The font has just been read by the live synth, so this fails only for want of memory;
    // then the live synth plays every note, merely on its own grid.
    return bank ? std::move(bank.value()) : nullptr;
}

// Frees what a raw owning pointer from the queues holds. Owner thread only.
template <typename T>
void freeOwned(T* object)
{
    std::unique_ptr<T> owner(object);
}
}  // namespace

Engine::Engine(double sampleRate)
    : sampleRate_(sampleRate), gateFrames_(static_cast<std::uint64_t>(sampleRate * kGateSeconds)),
      mixer_(sampleRate), volumeRampFrames_(std::max<std::uint32_t>(
                              static_cast<std::uint32_t>(sampleRate * kVolumeRampSeconds), 1))
{
    noteEnds_.fill(kNever);
    setDrumNoteMap(DrumNoteMap::generalMidi());
}

Engine::~Engine()
{
    // The output is stopped: this thread now stands in for the audio thread, too.
    collectGarbage();
    Command command;
    while (commands_.pop(command)) {
        freeOwned(command.voices);
        freeOwned(command.synth);
        freeOwned(command.noteBank);
    }
    if (waiting_) {
        freeOwned(waiting_->voices);
        freeOwned(waiting_->synth);
        freeOwned(waiting_->noteBank);
    }
    freeOwned(voices_);
    freeOwned(retiringVoices_);
    freeOwned(synth_);
    freeOwned(retiringSynth_);
    freeOwned(noteBank_);
    freeOwned(retiringNoteBank_);
}

// ---------------------------------------------------------------- owner thread

void Engine::push(const Command& command)
{
    collectGarbage();
    if (commands_.push(command))
        return;
    commandDrops_.fetch_add(1, std::memory_order_relaxed);
    // A dropped command must not leak what it carried.
    freeOwned(command.voices);
    freeOwned(command.synth);
    freeOwned(command.noteBank);
    if (command.preview != nullptr)
        std::erase_if(previews_, [&](const auto& kept) { return kept.get() == command.preview; });
}

void Engine::collectGarbage()
{
    Garbage item;
    while (garbage_.pop(item)) {
        freeOwned(item.voices);
        freeOwned(item.synth);
        freeOwned(item.noteBank);
        if (item.preview != nullptr)
            std::erase_if(previews_, [&](const auto& kept) { return kept.get() == item.preview; });
    }
}

PadActions Engine::hitPad(int track, int button, int velocity, bool beginner)
{
    push({.kind = Command::Kind::HitPad,
          .value = track,
          .button = button,
          .velocity = std::clamp(velocity, 1, kFullVelocity),
          .beginner = beginner});
    return padActions(track, button, beginner, ownerMode_);
}

void Engine::click() { push({.kind = Command::Kind::Click}); }

void Engine::setDrumNoteMap(const DrumNoteMap& map) noexcept
{
    for (int note = 0; note < kMidiNoteCount; ++note)
        noteTracks_[static_cast<std::size_t>(note)].store(static_cast<std::int8_t>(map.track(note)),
                                                          std::memory_order_relaxed);
}

void Engine::sendMidiNote(int note)
{
    // Any note, not only those MIDI mode plays: rendered ahead (a few milliseconds), so that
    // the live synth stays asleep, and before the note, so that both arrive in one block.
    refreshNotes(note);
    push({.kind = Command::Kind::MidiNote, .value = note});
}

void Engine::swapVoices(std::unique_ptr<VoiceSet> set)
{
    built_ = set ? *set : VoiceSet{};
    push({.kind = Command::Kind::SwapVoices, .voices = set.release()});
}

void Engine::SetSound(const SoundChoice& choice)
{
    swapVoices(buildVoiceSet(choice, sampleRate_, &built_));
}

void Engine::SetSingleSound(int inSound, const SoundChoice& choice)
{
    swapVoices(rebuildTom(built_, inSound, choice, sampleRate_));
}

void Engine::setVoices(std::unique_ptr<VoiceSet> set) { swapVoices(std::move(set)); }

void Engine::DXCleanUp() { swapVoices(nullptr); }

void Engine::preview(const std::filesystem::path& file)
{
    auto sample = loadSample(file, sampleRate_);
    if (sample)
        previews_.push_back(sample);
    push({.kind = Command::Kind::SwapPreview, .preview = sample.get()});
}

void Engine::stopPreview() { push({.kind = Command::Kind::SwapPreview}); }

void Engine::setMode(SoundMode mode)
{
    ownerMode_ = mode;
    push({.kind = Command::Kind::SetMode, .value = static_cast<int>(mode)});
}

void Engine::setClickNote(int note)
{
    ownerClickNote_ = note;
    // The notes first: the audio thread then normally takes both in the same block, and no
    // click waits on the live synth while they render.
    refreshNotes();
    push({.kind = Command::Kind::SetClickNote, .value = note});
}

void Engine::setVelocity(int velocity)
{
    ownerValues_.velocity = velocity;
    push({.kind = Command::Kind::SetVelocity, .value = velocity});
}

void Engine::setVolume(int percent) noexcept
{
    volume_.store(std::clamp(percent, 0, kFullVolume), std::memory_order_relaxed);
}

void Engine::allNotesOff() { push({.kind = Command::Kind::AllNotesOff}); }

void Engine::setStepSource(StepSource* source)
{
    push({.kind = Command::Kind::SetStepSource, .stepSource = source});
}

core::Result<void> Engine::loadSynth(const std::filesystem::path& soundFont)
{
    auto synth = GmSynth::create(soundFont, {.sampleRate = sampleRate_, .effects = true});
    if (!synth)
        return core::fail(synth.error().message, synth.error().detail);
    soundFont_ = soundFont;
    notesComing_ = false;
    // The notes come from the same font, so none of the old ones can be shared.
    auto bank = renderNotes(nullptr);
    builtNotes_ = bank ? *bank : NoteBank{};
    push({.kind = Command::Kind::SwapSynth,
          .synth = synth.value().release(),
          .noteBank = bank.release()});
    return {};
}

void Engine::setSynth(const std::filesystem::path& soundFont, std::unique_ptr<GmSynth> synth)
{
    soundFont_ = soundFont;
    notesComing_ = true;
    builtNotes_ = NoteBank{};
    push({.kind = Command::Kind::SwapSynth, .synth = synth.release()});
}

void Engine::setSynthNotes(std::unique_ptr<NoteBank> notes)
{
    notesComing_ = false;
    builtNotes_ = notes ? *notes : NoteBank{};
    push({.kind = Command::Kind::SwapNotes, .noteBank = notes.release()});
    refreshNotes();
}

std::unique_ptr<NoteBank> Engine::renderNotes(const NoteBank* previous, int extraNote) const
{
    return renderPlayedNotes(soundFont_, sampleRate_, ownerClickNote_, ownerValues_, previous,
                             extraNote);
}

std::unique_ptr<NoteBank> renderSynthNotes(const std::filesystem::path& soundFont,
                                           double sampleRate, int clickNote,
                                           const MidiValues& values)
{
    return renderPlayedNotes(soundFont, sampleRate, clickNote, values, nullptr, -1);
}

void Engine::refreshNotes(int extraNote)
{
    if (soundFont_.empty() || notesComing_ ||
        (builtNotes_.covers(playedNotes(ownerClickNote_), ownerValues_) &&
         builtNotes_.covers(std::span(&extraNote, 1), ownerValues_)))
        return;
    auto bank = renderNotes(&builtNotes_, extraNote);
    builtNotes_ = bank ? *bank : NoteBank{};
    push({.kind = Command::Kind::SwapNotes, .noteBank = bank.release()});
}

// ---------------------------------------------------------------- audio thread

void Engine::process(float* out, std::uint32_t frames, MidiBlockSink& midi) noexcept
{
    if (frames == 0)
        return;
    out_ = out;
    frames_ = frames;
    cursor_ = 0;
    sink_ = &midi;
    retire();
    drainCommands();
    liveNext_ = 0;
    takeRealtimeInput(midi.input());
    if (TransportState transport;
        stepSource_ != nullptr && stepSource_->followsTransport() && midi.transport(transport))
        stepSource_->transportIn(transport);
    if (stepSource_ != nullptr)
        stepSource_->advance(frames, *this);
    soundLiveUntil(frames);
    takeLiveInput(midi.input());
    if (cursor_ == 0 && isQuiet()) {
        // Between hits and after their tails, and all the while the transport is stopped: the
        // full render would only add nothing to zeros and limit them.
        std::fill(out, out + static_cast<std::size_t>(frames) * kOutputChannels, 0.0f);
        quietFrames_.store(quietFrames_.load(std::memory_order_relaxed) + frames,
                           std::memory_order_relaxed);
    } else {
        renderUntil(frames);
        finishBlock(out, frames);
        quietFrames_.store(isQuiet() ? frames : 0, std::memory_order_relaxed);
    }
    blockStart_ += frames;
    retire();
}

bool Engine::isQuiet() const noexcept
{
    // A volume still gliding (or about to) must keep its ramp on the frames it would have had.
    return nextNoteEnd_ == kNever && volumeRampLeft_ == 0 &&
           volumeGain(volume_.load(std::memory_order_relaxed)) == volumeTarget_ && !synthAwake_ &&
           mixer_.isQuiet();
}

void Engine::drainCommands() noexcept
{
    if (waiting_) {
        if (!apply(*waiting_))
            return;  // later commands must not overtake it
        waiting_.reset();
    }
    Command command;
    while (commands_.pop(command)) {  // bounded by the queue's capacity
        if (!apply(command)) {
            waiting_ = command;
            return;
        }
    }
}

bool Engine::apply(const Command& command) noexcept
{
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::HitPad:
        // The press reached this block's first frame: that is when it was heard, and when the
        // step grid learns of it.
        if (pressPad(command.value, command.button, command.velocity, command.beginner) &&
            stepSource_ != nullptr)
            stepSource_->liveHit(command.value, command.velocity, now());
        break;
    case Kind::Click:
        soundClick();
        break;
    case Kind::MidiNote:
        playNote(command.value, midiValues_.velocity);
        break;
    case Kind::SwapVoices:
        if (retiringVoices_ != nullptr)
            return false;
        // Voices whose sample changes are cut (with the fade, which still reads the old
        // sample); voices whose sample (or layer) is shared with the new set ring on untouched.
        for (int voice = 0; voice < kVoiceCount; ++voice) {
            const Sample* sounding = mixer_.voice(voice).sounding();
            if (sounding != nullptr &&
                (command.voices == nullptr || !command.voices->holds(voice, sounding)))
                mixer_.voice(voice).stop();
        }
        retiringVoices_ = voices_;
        voices_ = command.voices;
        break;
    case Kind::SwapSynth:
        if (retiringSynth_ != nullptr || retiringNoteBank_ != nullptr)
            return false;
        // Notes sent to the old synth end with it; their note-offs have nowhere to go.
        for (int key = 0; key < kKeyCount; ++key) {
            if (noteSentTo_[static_cast<std::size_t>(key)] == Destination::Synth)
                noteEnds_[static_cast<std::size_t>(key)] = kNever;
        }
        retiringSynth_ = synth_;
        synth_ = command.synth;
        synthAwake_ = synth_ != nullptr && !synth_->isAsleep();
        swapNoteBank(command.noteBank);
        break;
    case Kind::SwapNotes:
        if (retiringNoteBank_ != nullptr)
            return false;
        swapNoteBank(command.noteBank);
        break;
    case Kind::SwapPreview:
        if (retiringPreview_ != nullptr)
            return false;
        mixer_.preview().start(command.preview);
        retiringPreview_ = preview_;
        preview_ = command.preview;
        break;
    case Kind::SetMode:
        mode_ = static_cast<SoundMode>(command.value);
        break;
    case Kind::SetClickNote:
        clickNote_ = command.value;
        break;
    case Kind::SetVelocity:
        midiValues_.velocity = command.value;
        break;
    case Kind::AllNotesOff:
        endAllNotes();
        break;
    case Kind::SetStepSource:
        stepSource_ = command.stepSource;
        break;
    }
    return true;
}

void Engine::swapNoteBank(NoteBank* bank) noexcept
{
    // Hits of notes that stay the same ring on; the others are cut, as a new synth cuts them.
    mixer_.notes().keepOnly(bank);
    retiringNoteBank_ = noteBank_;
    noteBank_ = bank;
}

void Engine::retire() noexcept
{
    // A replaced voice set goes back once no cut-off sound still reads from it.
    if (retiringVoices_ != nullptr && !mixer_.anyFading() &&
        garbage_.push({.voices = retiringVoices_}))
        retiringVoices_ = nullptr;
    if (retiringSynth_ != nullptr && garbage_.push({.synth = retiringSynth_}))
        retiringSynth_ = nullptr;
    if (retiringNoteBank_ != nullptr && !mixer_.notes().anyFading() &&
        garbage_.push({.noteBank = retiringNoteBank_}))
        retiringNoteBank_ = nullptr;
    if (retiringPreview_ != nullptr && !mixer_.preview().isFading() &&
        garbage_.push({.preview = retiringPreview_}))
        retiringPreview_ = nullptr;
    // A full garbage queue (the owner not collecting) is retried next block; meanwhile a new
    // swap waits in waiting_.
}

void Engine::soundLiveUntil(std::uint32_t frame) noexcept
{
    const bool beginner = liveBeginner_.load(std::memory_order_relaxed);
    for (; liveNext_ < liveCount_ && live_[liveNext_].frame <= frame; ++liveNext_) {
        const LiveStrike& live = live_[liveNext_];
        moveTo(live.frame);
        // The grid hears the frame the note came in at, not the block later it sounds: the
        // player hit it in time with what they heard then.
        if (pressPad(live.strike.track, 0, live.strike.velocity, beginner) &&
            stepSource_ != nullptr)
            stepSource_->liveHit(live.strike.track, live.strike.velocity, live.played);
    }
}

void Engine::takeRealtimeInput(const MidiBlockInput* input) noexcept
{
    // Unlike notes, the clock is taken in the block it came in: a follower places the steps
    // of this block by it, and a steady block of delay would put it behind its master.
    if (input == nullptr || stepSource_ == nullptr)
        return;
    const std::uint32_t count = input->count();
    for (std::uint32_t index = 0; index < count; ++index) {
        MidiInEvent event;
        if (!input->at(index, event) || event.frame >= frames_)
            continue;
        // A real-time byte may stand anywhere, even inside another message.
        for (std::size_t at = 0; at < event.size; ++at) {
            if (event.bytes[at] >= kMidiClock)
                stepSource_->realtimeIn(event.bytes[at], blockStart_ + event.frame);
        }
    }
}

void Engine::takeLiveInput(const MidiBlockInput* input) noexcept
{
    liveCount_ = 0;
    liveNext_ = 0;
    // Read the shared note map only for a block that brought notes: most bring none.
    if (input == nullptr || input->count() == 0)
        return;
    DrumNoteMap map;
    for (int note = 0; note < kMidiNoteCount; ++note)
        map.set(note, noteTracks_[static_cast<std::size_t>(note)].load(std::memory_order_relaxed));
    const std::uint32_t count = input->count();
    for (std::uint32_t index = 0; index < count; ++index) {
        MidiInEvent event;
        if (!input->at(index, event) || event.frame >= frames_)
            continue;
        // The real-time bytes inside a note (takeRealtimeInput's) are no part of it.
        std::array<std::uint8_t, 4> kept{};
        std::size_t keptCount = 0;
        bool fits = true;
        for (std::size_t at = 0; at < event.size && fits; ++at) {
            if (event.bytes[at] >= kMidiClock)
                continue;
            fits = keptCount < kept.size();
            if (fits)
                kept[keptCount++] = event.bytes[at];
        }
        if (!fits)
            continue;
        if (const std::optional<int> note = noteOnNumber(kept.data(), keptCount)) {
            // One word, written only here: learn needs the latest note, not every one.
            const std::uint32_t heard = heardNoteOn_.load(std::memory_order_relaxed);
            constexpr std::uint32_t kNoteBits = 8;
            heardNoteOn_.store((((heard >> kNoteBits) + 1) << kNoteBits) |
                                   static_cast<std::uint32_t>(*note),
                               std::memory_order_release);
        }
        const std::optional<PadStrike> strike = padStrikeFor(kept.data(), keptCount, map);
        if (!strike)
            continue;
        if (liveCount_ == live_.size()) {
            liveDrops_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        // In frame order whatever the input's: soundLiveUntil walks them front to back.
        std::size_t at = liveCount_++;
        for (; at > 0 && live_[at - 1].frame > event.frame; --at)
            live_[at] = live_[at - 1];
        live_[at] = LiveStrike{event.frame, blockStart_ + event.frame, *strike};
    }
}

void Engine::padAt(int track, std::uint32_t frame, int velocity, bool beginner) noexcept
{
    soundLiveUntil(frame);
    moveTo(frame);
    pressPad(track, 0, std::clamp(velocity, 1, kFullVelocity), beginner);
}

void Engine::clickAt(std::uint32_t frame) noexcept
{
    soundLiveUntil(frame);
    moveTo(frame);
    soundClick();
}

void Engine::realtimeAt(std::uint32_t frame, std::uint8_t status) noexcept
{
    // The clock is for an external receiver only; without one there is nobody to follow it,
    // and a refused message would be counted as lost.
    if (!sink_->hasReceiver())
        return;
    soundLiveUntil(frame);
    moveTo(frame);
    send(MidiMessage{.bytes = {status, 0, 0}, .size = 1}, Destination::Sink);
}

void Engine::moveTo(std::uint32_t frame) noexcept
{
    // A hit past the block's end still sounds, on the block's last frame; one before the
    // render position (out of order) sounds now.
    renderUntil(std::min(frame, frames_ - 1));
}

void Engine::renderUntil(std::uint32_t frame) noexcept
{
    for (;;) {
        endDueNotes();
        if (cursor_ >= frame)
            return;
        std::uint32_t end = frame;
        if (nextNoteEnd_ < blockStart_ + end)
            end = static_cast<std::uint32_t>(nextNoteEnd_ - blockStart_);
        float* at = out_ + static_cast<std::size_t>(cursor_) * kOutputChannels;
        const std::uint32_t count = end - cursor_;
        if (synthAwake_) {
            synth_->render(at, count);
            synthAwake_ = !synth_->isAsleep();
        } else
            std::fill(at, at + static_cast<std::size_t>(count) * kOutputChannels, 0.0f);
        mixer_.render(at, count);
        cursor_ = end;
    }
}

bool Engine::pressPad(int track, int button, int velocity, bool beginner) noexcept
{
    const PadActions actions = padActions(track, button, beginner, mode_);
    if (actions.editTom != 0)
        editTom_.store(actions.editTom, std::memory_order_relaxed);
    bool sounded = actions.midiNote != 0;
    if (actions.midiNote != 0)
        playNote(actions.midiNote, velocity);
    for (int i = 0; i < actions.actionCount; ++i) {
        const VoiceAction& action = actions.actions[static_cast<std::size_t>(i)];
        Voice& voice = mixer_.voice(action.voice);
        if (action.kind == VoiceAction::Kind::Start) {
            const LayerPick picked =
                voices_ ? voices_->pick(index(action.voice), velocity) : LayerPick{};
            chokeOthers(action.voice);
            voice.start(picked.sample, picked.gain * velocityCurve(velocity));
            sounded = true;
        } else {
            voice.stop();
        }
    }
    return sounded;
}

// A kit's choke groups stop drums the way a hand on a cymbal does; the fixed hi-hat and tom
// rules of the pads stay as they are besides.
void Engine::chokeOthers(VoiceId voice) noexcept  // audio thread
{
    if (voices_ == nullptr)
        return;
    const int group = voices_->chokeGroups[static_cast<std::size_t>(index(voice))];
    if (group == 0)
        return;
    for (int other = 0; other < kTrackCount; ++other) {
        if (other != index(voice) && voices_->chokedBy[static_cast<std::size_t>(other)] == group)
            mixer_.voice(other).stop();
    }
}

void Engine::soundClick() noexcept
{
    if (mode_ == SoundMode::Midi) {
        playNote(clickNote_, midiValues_.velocity);
        return;
    }
    const LayerPick picked =
        voices_ ? voices_->pick(index(VoiceId::ST), kFullVelocity) : LayerPick{};
    mixer_.voice(VoiceId::ST).start(picked.sample, picked.gain);
}

void Engine::playNote(int note, int velocity) noexcept
{
    MidiValues values = midiValues_;
    values.velocity = velocity;
    const MidiMessage on = MidiNoteOn(note, values);
    if (on.size == 0)
        return;
    const int key = on.bytes[1];
    // A note struck again within its gate is ended first, so every note-on has its own off.
    if (noteEnds_[static_cast<std::size_t>(key)] != kNever)
        endNote(key);
    const Destination to = sink_->hasReceiver() ? Destination::Sink : Destination::Synth;
    if (to == Destination::Synth && on.bytes[2] > 0) {
        // The synth's choke reaches the notes it sounded ahead of time, too.
        mixer_.notes().choke(key);
        if (const NoteBank::Hit hit = noteBank_ ? noteBank_->find(on) : NoteBank::Hit{};
            hit.sample != nullptr) {
            // The rendered note holds the whole sound, its note-off included: no gate to keep.
            mixer_.notes().start(key, hit.sample, hit.gain);
            return;
        }
    }
    send(on, to);
    noteEnds_[static_cast<std::size_t>(key)] = now() + gateFrames_;
    noteOffs_[static_cast<std::size_t>(key)] = midiNoteOff(note, midiValues_);
    noteSentTo_[static_cast<std::size_t>(key)] = to;
    nextNoteEnd_ = std::min(nextNoteEnd_, noteEnds_[static_cast<std::size_t>(key)]);
}

void Engine::finishBlock(float* out, std::uint32_t frames) noexcept
{
    const float target = volumeGain(volume_.load(std::memory_order_relaxed));
    if (target != volumeTarget_) {
        volumeTarget_ = target;
        // Before the first block nothing has sounded yet: no ramp needed.
        volumeRampLeft_ = blockStart_ == 0 ? 1 : volumeRampFrames_;
        volumeStep_ = (target - volumeGain_) / static_cast<float>(volumeRampLeft_);
    }
    std::uint32_t ramped = 0;
    for (; ramped < frames && volumeRampLeft_ > 0; ++ramped) {
        --volumeRampLeft_;
        // The ramp ends on the target exactly, whatever the float steps added up to.
        volumeGain_ = volumeRampLeft_ == 0 ? volumeTarget_ : volumeGain_ + volumeStep_;
        out[ramped * 2] *= volumeGain_;
        out[ramped * 2 + 1] *= volumeGain_;
    }
    Mixer::finish(out, ramped, 1.0f);
    // The rest at one gain, in the pass that limits the block anyway: a volume costs nothing.
    Mixer::finish(out + static_cast<std::size_t>(ramped) * kOutputChannels, frames - ramped,
                  volumeGain_);
}

void Engine::endDueNotes() noexcept
{
    // A message must lie inside the block; one due at its very end goes out at the next
    // block's first frame.
    if (nextNoteEnd_ > now() || cursor_ >= frames_)
        return;
    std::uint64_t next = kNever;
    for (int key = 0; key < kKeyCount; ++key) {
        const std::uint64_t end = noteEnds_[static_cast<std::size_t>(key)];
        if (end <= now())
            endNote(key);
        else
            next = std::min(next, end);
    }
    nextNoteEnd_ = next;
}

void Engine::endNote(int key) noexcept
{
    const auto slot = static_cast<std::size_t>(key);
    send(noteOffs_[slot], noteSentTo_[slot]);
    noteEnds_[slot] = kNever;
}

void Engine::endAllNotes() noexcept
{
    for (int key = 0; key < kKeyCount; ++key) {
        if (noteEnds_[static_cast<std::size_t>(key)] != kNever)
            endNote(key);
    }
    nextNoteEnd_ = kNever;
    const MidiMessage allOff = midiAllNotesOff(midiValues_);
    if (sink_->hasReceiver())
        send(allOff, Destination::Sink);
    send(allOff, Destination::Synth);
}

void Engine::send(const MidiMessage& message, Destination to) noexcept
{
    if (to == Destination::Sink) {
        if (!sink_->midiAt(cursor_, message.bytes.data(), message.size))
            midiDrops_.fetch_add(1, std::memory_order_relaxed);
    } else if (to == Destination::Synth && synth_ != nullptr) {
        synth_->send(message);
        synthAwake_ = synthAwake_ || !synth_->isAsleep();
    }
}

}  // namespace taktwerk::sound
