#include "devices/support/JackMidiSender.h"

#include "devices/support/JackSettle.h"

#include <cerrno>
#include <jack/midiport.h>

namespace taktwerk::devices::testing {

namespace {

// More notes than any test sends.
constexpr std::size_t kCapacity = 4096;

}  // namespace

JackMidiSender::JackMidiSender(std::array<std::uint8_t, 3> noteOn, std::uint32_t offset,
                               std::uint32_t everyCycles, const std::string& clientName)
    : noteOn_(noteOn), offset_(offset), everyCycles_(everyCycles == 0 ? 1 : everyCycles),
      sent_(kCapacity)
{
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_)
        return;
    out_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!out_ || jack_set_process_callback(client_, &JackMidiSender::processThunk, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackMidiSender::~JackMidiSender() { stop(); }

bool JackMidiSender::connectTo(const std::string& destination)
{
    if (!client_)
        return false;
    const int result = jack_connect(client_, jack_port_name(out_), destination.c_str());
    return result == 0 || result == EEXIST;
}

void JackMidiSender::arm()
{
    if (!client_)
        return;
    armedFrom_.store(settledFrame(client_), std::memory_order_relaxed);
    armed_.store(true, std::memory_order_release);
}

void JackMidiSender::stop()
{
    if (!client_)
        return;
    jack_client_close(client_);
    client_ = nullptr;
}

std::vector<std::uint32_t> JackMidiSender::sentFrames() const
{
    const std::size_t count = sentCount_.load(std::memory_order_acquire);
    return {sent_.begin(), sent_.begin() + static_cast<std::ptrdiff_t>(count)};
}

int JackMidiSender::processThunk(jack_nframes_t frames, void* self)
{
    return static_cast<JackMidiSender*>(self)->process(frames);
}

int JackMidiSender::process(jack_nframes_t frames)
{
    void* buffer = jack_port_get_buffer(out_, frames);
    jack_midi_clear_buffer(buffer);
    if (!armed_.load(std::memory_order_acquire) || offset_ >= frames ||
        jack_last_frame_time(client_) < armedFrom_.load(std::memory_order_relaxed))
        return 0;
    if (cycle_++ % everyCycles_ != 0)
        return 0;
    const std::size_t count = sentCount_.load(std::memory_order_relaxed);
    if (count >= sent_.size())
        return 0;
    if (jack_midi_event_write(buffer, offset_, noteOn_.data(), noteOn_.size()) != 0)
        return 0;
    for (std::uint32_t more = 1; more < burst_; ++more) {
        if (jack_midi_event_write(buffer, offset_, noteOn_.data(), noteOn_.size()) != 0)
            break;  // the buffer is full: the test counts what was sent by the cycles
    }
    sent_[count] = jack_last_frame_time(client_) + offset_;
    sentCount_.store(count + 1, std::memory_order_release);
    return 0;
}

}  // namespace taktwerk::devices::testing
