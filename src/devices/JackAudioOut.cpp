// The JACK output: one client whose two audio ports and one MIDI port are served by the same
// process callback, so that every MIDI message lands at its exact frame of the cycle, on the
// same clock as the audio. Owned by the application; JACK's process thread is the audio
// thread, its notification thread reports xruns and a server shutdown.

#include "core/Language.h"
#include "devices/AudioOut.h"
#include "devices/JackHandles.h"
#include "devices/MidiOut.h"
#include "devices/TimedMidi.h"
#include "sequencer/TransportGrid.h"
#include "sound/BlockMath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace taktwerk::devices {

namespace {

using ClientHandle = JackClientHandle;
using PortList = JackPortList;

// How long stop() waits for a cycle to carry "all notes off" out: a few periods of any sane
// buffer size; a stalled server must not hang the program.
constexpr auto kNotesOffWait = std::chrono::milliseconds(250);
constexpr auto kNotesOffPoll = std::chrono::milliseconds(1);

// Reads the MIDI input port's events of the current cycle that fall into the chunk being run.
class JackMidiInput final : public sound::MidiBlockInput {
public:
    void beginCycle(void* buffer) noexcept
    {
        buffer_ = buffer;
        count_ = buffer != nullptr ? jack_midi_get_event_count(buffer) : 0;
    }
    void beginChunk(std::uint32_t offset, std::uint32_t frames) noexcept
    {
        offset_ = offset;
        frames_ = frames;
    }
    std::uint32_t count() const noexcept override { return count_; }
    bool at(std::uint32_t index, sound::MidiInEvent& event) const noexcept override
    {
        jack_midi_event_t raw;
        if (buffer_ == nullptr || jack_midi_event_get(&raw, buffer_, index) != 0 ||
            raw.time < offset_ || raw.time >= offset_ + frames_)
            return false;
        event = {raw.time - offset_, raw.buffer, raw.size};
        return true;
    }

private:
    void* buffer_ = nullptr;
    std::uint32_t count_ = 0;
    std::uint32_t offset_ = 0;
    std::uint32_t frames_ = 0;
};

// The server's transport as read at the start of a cycle, in the engine's terms.
sound::TransportState transportOf(jack_transport_state_t state,
                                  const jack_position_t& position) noexcept
{
    sound::TransportState transport;
    transport.rolling = state == JackTransportRolling;
    transport.frame = position.frame;
    if ((position.valid & JackPositionBBT) != 0) {
        transport.hasBbt = true;
        transport.bar = position.bar;
        transport.beat = position.beat;
        transport.tick = position.tick;
        transport.ticksPerBeat = position.ticks_per_beat;
        transport.beatsPerBar = static_cast<double>(position.beats_per_bar);
        transport.beatsPerMinute = position.beats_per_minute;
        // The master may describe a frame before the cycle's start.
        if ((position.valid & JackBBTFrameOffset) != 0)
            transport.bbtFramesBefore = position.bbt_offset;
    }
    return transport;
}

// Writes MIDI into the port buffer of the current cycle, at the frame the source asks for, and
// hands the source what came in and where the transport stands.
class JackMidiSink final : public sound::MidiBlockSink {
public:
    void beginCycle(jack_client_t* client, void* buffer, bool hasReceiver,
                    void* inputBuffer) noexcept
    {
        client_ = client;
        buffer_ = buffer;
        hasReceiver_ = hasReceiver;
        input_.beginCycle(inputBuffer);
        transportRead_ = false;
    }
    // A cycle larger than the block size is run in chunks; frames count from the chunk start.
    void beginChunk(std::uint32_t offset, std::uint32_t frames) noexcept
    {
        offset_ = offset;
        frames_ = frames;
        input_.beginChunk(offset, frames);
    }
    const sound::MidiBlockInput* input() const noexcept override { return &input_; }
    bool midiAt(std::uint32_t frame, const std::uint8_t* bytes,
                std::size_t size) noexcept override  // audio thread
    {
        if (frame >= frames_)
            return false;
        // Refused when the buffer is full or the frame lies before the previous message's.
        return jack_midi_event_write(buffer_, offset_ + frame, bytes, size) == 0;
    }
    bool hasReceiver() const noexcept override { return hasReceiver_; }
    bool transport(sound::TransportState& state) const noexcept override
    {
        // Read on demand, once a cycle: only a source that follows the transport asks. The
        // query is made for the process thread; it neither locks nor waits, and gives the
        // position at the cycle's first frame however late in the cycle it is made.
        if (!transportRead_) {
            jack_position_t position{};
            const jack_transport_state_t rolling = jack_transport_query(client_, &position);
            transport_ = transportOf(rolling, position);
            transportRead_ = true;
        }
        state = transport_;
        // Rolling, the transport moves with the cycle; stopped, it stays where it is.
        if (state.rolling)
            state.frame += offset_;
        state.bbtFramesBefore += offset_;
        return true;
    }

private:
    JackMidiInput input_;
    jack_client_t* client_ = nullptr;
    mutable sound::TransportState transport_;
    mutable bool transportRead_ = false;
    void* buffer_ = nullptr;
    bool hasReceiver_ = false;
    std::uint32_t offset_ = 0;
    std::uint32_t frames_ = 0;
};

class JackAudioOut final : public AudioOut {
public:
    JackAudioOut(ClientHandle client, const AudioOutRequest& request)
        : client_(std::move(client)), chosenOut_(request.midiOut), chosenIn_(request.midiIn)
    {
    }
    ~JackAudioOut() override { stop(); }

    core::Result<void> setUp()
    {
        jack_client_t* client = client_.get();
        left_ =
            jack_port_register(client, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        right_ =
            jack_port_register(client, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        midi_ = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        midiIn_ = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!left_ || !right_ || !midi_ || !midiIn_)
            return core::fail(core::translated("The JACK outputs could not be created."),
                              "jack_port_register failed");
        sampleRate_ = jack_get_sample_rate(client);
        blockFrames_ = jack_get_buffer_size(client);
        scratch_.assign(static_cast<std::size_t>(blockFrames_) * sound::kOutputChannels, 0.0f);
        if (jack_set_process_callback(client, &JackAudioOut::processThunk, this) != 0 ||
            jack_set_xrun_callback(client, &JackAudioOut::xrunThunk, this) != 0)
            return core::fail(core::translated("The JACK output could not be set up."),
                              "jack_set_process_callback or jack_set_xrun_callback failed");
        jack_on_info_shutdown(client, &JackAudioOut::shutdownThunk, this);
        // A chosen port that comes back is connected again by the watch thread, woken here.
        if (jack_set_port_registration_callback(client, &JackAudioOut::registrationThunk, this) !=
            0)
            return core::fail(core::translated("The JACK output could not be set up."),
                              "jack_set_port_registration_callback failed");
        return {};
    }

    core::Result<void> start(sound::AudioSource& source) override
    {
        if (active_)
            return core::fail(core::translated("The audio output is running already."));
        if (deviceLost())
            return core::fail(core::translated("The JACK server is not running any more."));
        // Left over when a stalled server never ran the last stop's final cycle.
        notesOffPending_.store(false, std::memory_order_release);
        if (jack_activate(client_.get()) != 0)
            return core::fail(core::translated("The JACK output could not start."),
                              "jack_activate failed");
        active_ = true;
        running_.store(true, std::memory_order_release);
        // Conditional: a DAW that leads the studio's transport keeps leading it, and we play on
        // our own clock without publishing it; the user chose that master.
        leading_ =
            timebase_ != nullptr &&
            jack_set_timebase_callback(client_.get(), 1, &JackAudioOut::timebaseThunk, this) == 0;
        // Restarted after a pause: the connections the user made in a patchbay come back, not
        // the ones a first start would choose.
        if (startedBefore_)
            restoreConnections();
        else
            connectToFirstInputs();
        if (std::exchange(firstOnStart_, false))
            connectFirstMidiInput();
        startedBefore_ = true;
        // The chosen ports, also when one came back while we were stopped; what is missing
        // stays in midiProblem().
        (void)reconnectMidi();
        // Only now the source runs (the cycles before were silence): a hit that waited for
        // the start sounds into connected ports, not before them.
        source_.store(&source, std::memory_order_release);
        return {};
    }

    void stop() noexcept override
    {
        if (!active_)
            return;
        source_.store(nullptr, std::memory_order_release);
        if (!deviceLost()) {
            notesOffPending_.store(true, std::memory_order_release);
            const auto giveUp = std::chrono::steady_clock::now() + kNotesOffWait;
            while (notesOffPending_.load(std::memory_order_acquire) && !deviceLost() &&
                   std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(kNotesOffPoll);
        }
        // Another program may lead the transport from now on. Fails only when we did not lead
        // or the server is gone: nothing to give back either way.
        if (leading_)
            (void)jack_release_timebase(client_.get());
        leading_ = false;
        // Deactivating drops every connection of the client; they are put back on the next
        // start.
        rememberConnections();
        // Fails only when the server is gone, and then the process callback no longer runs
        // either.
        (void)jack_deactivate(client_.get());
        active_ = false;
        running_.store(false, std::memory_order_release);
    }

    std::uint32_t sampleRate() const noexcept override { return sampleRate_; }
    std::uint32_t blockFrames() const noexcept override { return blockFrames_; }
    std::string_view backendName() const noexcept override { return "JACK"; }
    void setTimebase(const sound::TimebaseSource* source) noexcept override
    {
        if (!active_)
            timebase_ = source;
    }
    bool hasMidiConnections() const override
    {
        return jack_port_connected(midi_) > 0 || jack_port_connected(midiIn_) > 0;
    }
    std::string midiPortName() const override { return jack_port_name(midi_); }
    bool attachMidi(std::unique_ptr<MidiDestination>) override { return false; }

    std::string reconnectMidi() override
    {
        if (!active_)
            return {};
        std::string news;
        for (Chosen* chosen : {&outLink_, &inLink_}) {
            std::string said = keepConnected(*chosen);
            if (!said.empty())
                news += (news.empty() ? "" : "; ") + said;
        }
        return news;
    }

    std::string midiProblem() const override
    {
        std::string problem;
        for (const Chosen* chosen : {&outLink_, &inLink_}) {
            if (chosen->missing)
                problem += (problem.empty() ? "" : "; ") +
                           core::translated(kMidiPortNotFound, {chosen->choice->name});
        }
        return problem;
    }
    std::unique_ptr<MidiDestination> detachMidi() override { return nullptr; }

    bool chooseMidiPorts(const MidiPortChoice& out, const MidiPortChoice& in) override
    {
        if (active_) {
            disconnectChosen(chosenOut_, midi_, true, firstPeer_);
            disconnectChosen(chosenIn_, midiIn_, false, {});
        } else {
            // What the last stop noted of the old choice must not come back on the next start.
            std::erase_if(connections_, [&](const auto& connection) {
                return (connection.first == midi_ && connection.second == firstPeer_) ||
                       (connection.first == midi_ && connection.second == chosenOut_.name) ||
                       (connection.first == midiIn_ && connection.second == chosenIn_.name);
            });
        }
        {
            // JACK's notification thread compares names with the choices.
            const std::lock_guard lock(choiceMutex_);
            chosenOut_ = out;
            chosenIn_ = in;
        }
        firstPeer_.clear();
        for (Chosen* link : {&outLink_, &inLink_}) {
            link->missing = false;
            link->reported = false;
            link->cameBack.store(false, std::memory_order_relaxed);
        }
        if (active_) {
            connectFirstMidiInput();
            (void)reconnectMidi();
        } else if (startedBefore_ && out.kind == MidiPortChoice::Kind::FirstPort) {
            firstOnStart_ = true;
        }
        return true;
    }

private:
    static int processThunk(jack_nframes_t frames, void* self) noexcept
    {
        return static_cast<JackAudioOut*>(self)->process(frames);
    }
    // audio thread: JACK runs a timebase master's callback in its process cycle.
    static void timebaseThunk(jack_transport_state_t, jack_nframes_t, jack_position_t* position,
                              int, void* self) noexcept
    {
        const auto& out = *static_cast<JackAudioOut*>(self);
        sound::TimebaseMeter meter;
        if (out.timebase_ == nullptr || !out.timebase_->timebase(meter)) {
            position->valid = static_cast<jack_position_bits_t>(position->valid & ~JackPositionBBT);
            return;
        }
        const sequencer::BarBeatTick at = sequencer::barBeatTickAt(
            position->frame, meter.beatsPerMinute, meter.beatsPerBar, out.sampleRate_);
        position->valid = static_cast<jack_position_bits_t>(position->valid | JackPositionBBT);
        position->bar = at.bar;
        position->beat = at.beat;
        position->tick = at.tick;
        position->bar_start_tick = (at.bar - 1) * meter.beatsPerBar * sequencer::kTicksPerBeat;
        position->beats_per_bar = static_cast<float>(meter.beatsPerBar);
        // The beat the BPM display counts; the note value says nothing more to us.
        position->beat_type = 4.0f;
        position->ticks_per_beat = sequencer::kTicksPerBeat;
        position->beats_per_minute = meter.beatsPerMinute;
    }
    static int xrunThunk(void* self) noexcept
    {
        static_cast<JackAudioOut*>(self)->xruns_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    static void shutdownThunk(jack_status_t, const char*, void* self) noexcept
    {
        static_cast<JackAudioOut*>(self)->markDeviceLost();
    }
    // JACK's notification thread.
    static void registrationThunk(jack_port_id_t id, int registered, void* self) noexcept
    {
        static_cast<JackAudioOut*>(self)->portRegistered(id, registered != 0);
    }

    void portRegistered(jack_port_id_t id, bool registered) noexcept
    {
        const jack_port_t* port = jack_port_by_id(client_.get(), id);
        const char* name = port != nullptr ? jack_port_name(port) : nullptr;
        if (name == nullptr)
            return;
        bool chosen = false;
        const std::lock_guard lock(choiceMutex_);  // never the audio thread's
        for (Chosen* link : {&outLink_, &inLink_}) {
            if (link->choice->kind == MidiPortChoice::Kind::Named && link->choice->name == name) {
                // A port of that name that went and came back between two looks of the watch
                // thread looks as if it had never gone; this says it did.
                if (registered)
                    link->cameBack.store(true, std::memory_order_release);
                chosen = true;
            }
        }
        if (chosen)
            notifyWatcher();
    }

    int process(jack_nframes_t frames) noexcept  // audio thread
    {
        // Only one cycle in kTimedCycleEvery is timed: on some virtual machines reading the
        // clock is a system call, and two a cycle cost more than a quiet block of the engine. A
        // source too slow for the machine is slow in every cycle, and JACK counts each late
        // cycle as an xrun anyway.
        const bool timed = ++cycle_ % kTimedCycleEvery == 0;
        const auto began =
            timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
        auto* left = static_cast<float*>(jack_port_get_buffer(left_, frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(right_, frames));
        void* midi = jack_port_get_buffer(midi_, frames);
        jack_midi_clear_buffer(midi);

        sound::AudioSource* source = source_.load(std::memory_order_acquire);
        if (notesOffPending_.load(std::memory_order_acquire) || !source) {
            std::fill_n(left, frames, 0.0f);
            std::fill_n(right, frames, 0.0f);
            if (notesOffPending_.load(std::memory_order_acquire)) {
                for (const auto& message : allNotesOffMessages())
                    (void)jack_midi_event_write(midi, 0, message.data(), message.size());
                notesOffPending_.store(false, std::memory_order_release);
            }
            return 0;
        }

        // Other programs may connect or disconnect at any time; read once per cycle, lock-free.
        sink_.beginCycle(client_.get(), midi, jack_port_connected(midi_) > 0,
                         jack_port_get_buffer(midiIn_, frames));
        for (std::uint32_t offset = 0; offset < frames; offset += blockFrames_) {
            const std::uint32_t chunk = std::min<std::uint32_t>(frames - offset, blockFrames_);
            sink_.beginChunk(offset, chunk);
            source->process(scratch_.data(), chunk, sink_);
            sound::deinterleave(scratch_.data(), left + offset, right + offset, chunk);
        }
        if (timed)
            checkOverrun(began, durationOfFrames(frames, sampleRate_));
        return 0;
    }

    // Plays at once on a typical setup, as an application without its own patchbay should. A
    // refused connection is no error: the ports exist and the user can connect them by hand.
    void connectToFirstInputs() noexcept
    {
        jack_client_t* client = client_.get();
        const PortList playback(jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                               JackPortIsInput | JackPortIsPhysical));
        if (playback && playback[0]) {
            (void)jack_connect(client, jack_port_name(left_), playback[0]);
            const char* rightTarget = playback[1] ? playback[1] : playback[0];
            (void)jack_connect(client, jack_port_name(right_), rightTarget);
        }
        connectFirstMidiInput();
    }

    void connectFirstMidiInput() noexcept
    {
        if (chosenOut_.kind != MidiPortChoice::Kind::FirstPort)
            return;  // a chosen port is connected by reconnectMidi(), none never
        jack_client_t* client = client_.get();
        // Never our own input: the notes we send would come back as pads played live.
        const PortList midiInputs(
            jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput));
        for (std::size_t at = 0; midiInputs && midiInputs[at]; ++at) {
            if (jack_port_is_mine(client, jack_port_by_name(client, midiInputs[at])))
                continue;
            if (jack_connect(client, jack_port_name(midi_), midiInputs[at]) == 0) {
                try {
                    firstPeer_ = midiInputs[at];
                } catch (const std::bad_alloc&) {
                    // Not remembered: a later choice leaves this connection to the user.
                }
            }
            break;
        }
    }

    // Takes away what we connected for a choice the user has left; connections made by hand
    // in a patchbay stay.
    void disconnectChosen(const MidiPortChoice& old, jack_port_t* ours, bool weSend,
                          const std::string& firstPeer) noexcept
    {
        const std::string& peer = old.kind == MidiPortChoice::Kind::Named ? old.name : firstPeer;
        if (old.kind == MidiPortChoice::Kind::None || peer.empty())
            return;
        jack_client_t* client = client_.get();
        // A peer that is gone already is no error: nothing is left to take away.
        if (weSend)
            (void)jack_disconnect(client, jack_port_name(ours), peer.c_str());
        else
            (void)jack_disconnect(client, peer.c_str(), jack_port_name(ours));
    }

    // One chosen peer of one of our MIDI ports.
    struct Chosen {
        const MidiPortChoice* choice;
        jack_port_t** ours;
        bool weSend;                        // our port is the connection's source
        bool missing = false;               // control thread: not there at the last look
        bool reported = false;              // control thread: `missing` was said already
        std::atomic<bool> cameBack{false};  // set by JACK's notification thread
    };

    // Connects the chosen peer when it is there and was not before (or came back meanwhile); a
    // peer that stays the user may have disconnected by hand on purpose, and stays so.
    std::string keepConnected(Chosen& link)
    {
        if (link.choice->kind != MidiPortChoice::Kind::Named)
            return {};
        jack_client_t* client = client_.get();
        const char* peerName = link.choice->name.c_str();
        jack_port_t* peer = jack_port_by_name(client, peerName);
        const unsigned long wanted = link.weSend ? JackPortIsInput : JackPortIsOutput;
        const bool there = peer != nullptr && !jack_port_is_mine(client, peer) &&
                           (jack_port_flags(peer) & static_cast<int>(wanted)) != 0 &&
                           std::strcmp(jack_port_type(peer), JACK_DEFAULT_MIDI_TYPE) == 0;
        const bool cameBack = link.cameBack.exchange(false, std::memory_order_acq_rel);
        const bool wasMissing = link.missing || !link.reported;
        link.missing = !there;
        if (!there) {
            if (link.reported && wasMissing)
                return {};
            link.reported = true;
            return core::translated(kMidiPortNotFound, {link.choice->name});
        }
        if (!wasMissing && !cameBack)
            return {};
        const char* ourName = jack_port_name(*link.ours);
        const int result = link.weSend ? jack_connect(client, ourName, peerName)
                                       : jack_connect(client, peerName, ourName);
        const bool firstLook = !link.reported;
        link.reported = true;
        if (result != 0 && result != EEXIST) {
            link.missing = true;
            return core::translated(kMidiPortNotFound, {link.choice->name});
        }
        // The first connection is what the user asked for and needs no news.
        return firstLook ? std::string()
                         : core::translated(kMidiPortConnected, {link.choice->name});
    }

    void rememberConnections() noexcept
    {
        connections_.clear();
        try {
            for (jack_port_t* port : {left_, right_, midi_, midiIn_}) {
                const PortList peers(jack_port_get_connections(port));
                for (std::size_t at = 0; peers && peers[at]; ++at)
                    connections_.emplace_back(port, peers[at]);
            }
        } catch (const std::bad_alloc&) {
            // Out of memory while stopping: the user connects again by hand.
        }
    }

    // A peer that went away meanwhile is no error: its program was closed.
    void restoreConnections() noexcept
    {
        jack_client_t* client = client_.get();
        for (const auto& [port, peer] : connections_) {
            const bool output = (jack_port_flags(port) & JackPortIsOutput) != 0;
            if (output)
                (void)jack_connect(client, jack_port_name(port), peer.c_str());
            else
                (void)jack_connect(client, peer.c_str(), jack_port_name(port));
        }
    }

    ClientHandle client_;
    jack_port_t* left_ = nullptr;  // ports belong to the client and go with it
    jack_port_t* right_ = nullptr;
    jack_port_t* midi_ = nullptr;
    // Connected only to the source the user chose: which controller plays the pads is theirs.
    jack_port_t* midiIn_ = nullptr;
    // Written on the control thread only, read there and (under the lock) by JACK's
    // notification thread.
    MidiPortChoice chosenOut_;
    MidiPortChoice chosenIn_;
    std::mutex choiceMutex_;
    std::string firstPeer_;      // control thread: the port the first-port default connected
    bool firstOnStart_ = false;  // control thread: the default was chosen while stopped
    Chosen outLink_{&chosenOut_, &midi_, true};
    Chosen inLink_{&chosenIn_, &midiIn_, false};
    std::uint32_t sampleRate_ = 0;
    std::uint32_t blockFrames_ = 0;
    std::vector<float> scratch_;  // one block of interleaved stereo from the source
    JackMidiSink sink_;
    std::atomic<sound::AudioSource*> source_{nullptr};
    std::atomic<bool> notesOffPending_{false};
    static constexpr std::uint32_t kTimedCycleEvery = 16;
    std::uint32_t cycle_ = 0;  // audio thread
    bool active_ = false;      // control thread only
    // Set while stopped, read by the process thread while running.
    const sound::TimebaseSource* timebase_ = nullptr;
    bool leading_ = false;  // control thread: our timebase callback is the server's
    bool startedBefore_ = false;
    // Control thread: each port's peers, by name, as they were when the output last stopped.
    std::vector<std::pair<jack_port_t*, std::string>> connections_;
};

}  // namespace

core::Result<std::unique_ptr<AudioOut>> openJackAudioOut(const AudioOutRequest& request)
{
    // Only a server that already runs: starting one would take over the sound device behind
    // the desktop's back.
    jack_status_t status{};
    ClientHandle client;
    {
        const QuietJackErrors quiet;
        client.reset(jack_client_open(request.clientName.c_str(), JackNoStartServer, &status));
    }
    if (!client)
        return core::fail(core::translated("No JACK server found."),
                          "jack_client_open: status " + std::to_string(static_cast<int>(status)));
    auto out = std::make_unique<JackAudioOut>(std::move(client), request);
    if (auto ready = out->setUp(); !ready)
        return core::fail(ready.error().message, ready.error().detail);
    return std::unique_ptr<AudioOut>(std::move(out));
}

}  // namespace taktwerk::devices
