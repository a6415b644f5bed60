#include "devices/support/JackRecorder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <jack/midiport.h>

namespace taktwerk::devices::testing {

namespace {

// More MIDI than any test sends in its run.
constexpr std::size_t kEventCapacity = 16384;

}  // namespace

JackRecorder::JackRecorder(double seconds, const std::string& clientName)
{
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_)
        return;
    const auto capacity =
        static_cast<std::size_t>(std::ceil(seconds * jack_get_sample_rate(client_)));
    left_.assign(capacity, 0.0f);
    right_.assign(capacity, 0.0f);
    events_.resize(kEventCapacity);
    inLeft_ = jack_port_register(client_, "in_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    inRight_ = jack_port_register(client_, "in_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    midiIn_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!inLeft_ || !inRight_ || !midiIn_ ||
        jack_set_process_callback(client_, &JackRecorder::processThunk, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
        return;
    }
    active_ = true;
}

JackRecorder::~JackRecorder()
{
    stop();
    if (client_)
        jack_client_close(client_);
}

std::string JackRecorder::midiInputName() const
{
    return client_ ? jack_port_name(midiIn_) : std::string();
}

bool JackRecorder::connectAudio(const std::string& leftSource, const std::string& rightSource)
{
    return client_ && jack_connect(client_, leftSource.c_str(), jack_port_name(inLeft_)) == 0 &&
           jack_connect(client_, rightSource.c_str(), jack_port_name(inRight_)) == 0;
}

bool JackRecorder::connectMidi(const std::string& source)
{
    const int result =
        client_ ? jack_connect(client_, source.c_str(), jack_port_name(midiIn_)) : -1;
    return result == 0 || result == EEXIST;
}

std::vector<std::string> JackRecorder::connectionsOf(const std::string& portName) const
{
    std::vector<std::string> names;
    jack_port_t* port = client_ ? jack_port_by_name(client_, portName.c_str()) : nullptr;
    if (!port)
        return names;
    const char** connections = jack_port_get_all_connections(client_, port);
    for (const char** name = connections; name && *name; ++name)
        names.emplace_back(*name);
    jack_free(static_cast<void*>(connections));
    return names;
}

void JackRecorder::stop()
{
    if (active_) {
        jack_deactivate(client_);
        active_ = false;
    }
}

std::size_t JackRecorder::recordedFrames() const
{
    return std::min(frames_.load(std::memory_order_acquire), left_.size());
}

std::vector<RecordedMidiEvent> JackRecorder::midiEvents() const
{
    std::vector<RecordedMidiEvent> events;
    const std::size_t count = std::min(eventCount_.load(std::memory_order_acquire), kEventCapacity);
    for (std::size_t index = 0; index < count; ++index) {
        const RawEvent& raw = events_[index];
        events.push_back({raw.frame, std::vector<std::uint8_t>(raw.bytes.begin(),
                                                               raw.bytes.begin() + raw.size)});
    }
    return events;
}

int JackRecorder::processThunk(jack_nframes_t frames, void* self)
{
    return static_cast<JackRecorder*>(self)->process(frames);
}

int JackRecorder::process(jack_nframes_t frames)
{
    const jack_nframes_t cycleStart = jack_last_frame_time(client_);
    if (!started_) {
        firstFrame_ = cycleStart;
        started_ = true;
    } else if (cycleStart != nextFrame_) {
        lastGapFrame_.store(cycleStart, std::memory_order_relaxed);
        hasGap_.store(true, std::memory_order_release);
    }
    nextFrame_ = cycleStart + frames;

    const auto* left = static_cast<const float*>(jack_port_get_buffer(inLeft_, frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(inRight_, frames));
    const std::size_t done = frames_.load(std::memory_order_relaxed);
    const std::size_t room = left_.size() > done ? left_.size() - done : 0;
    const std::size_t kept = std::min<std::size_t>(frames, room);
    if (kept < frames)
        overflowed_.store(true, std::memory_order_relaxed);
    std::copy_n(left, kept, left_.begin() + static_cast<std::ptrdiff_t>(done));
    std::copy_n(right, kept, right_.begin() + static_cast<std::ptrdiff_t>(done));
    frames_.store(done + frames, std::memory_order_release);

    void* midi = jack_port_get_buffer(midiIn_, frames);
    const std::uint32_t count = jack_midi_get_event_count(midi);
    std::size_t stored = eventCount_.load(std::memory_order_relaxed);
    for (std::uint32_t index = 0; index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, index) != 0)
            continue;
        if (stored >= kEventCapacity || event.size > 4) {
            overflowed_.store(true, std::memory_order_relaxed);
            continue;
        }
        RawEvent& raw = events_[stored++];
        raw.frame = cycleStart + event.time;
        raw.size = static_cast<std::uint32_t>(event.size);
        std::copy_n(event.buffer, event.size, raw.bytes.begin());
    }
    eventCount_.store(stored, std::memory_order_release);
    return 0;
}

}  // namespace taktwerk::devices::testing
