#include "devices/support/JackClockSender.h"

#include "devices/support/JackSettle.h"

#include <cerrno>
#include <cmath>
#include <jack/midiport.h>
#include <random>

namespace taktwerk::devices::testing {

namespace {

// More clocks than any test runs (five minutes at 400 BPM).
constexpr std::size_t kCapacity = 48000;
// The first clock this far after Start: a follower has Start well before it.
constexpr double kFirstClockFrames = 1000.0;

}  // namespace

JackClockSender::JackClockSender(double bpm, double jitterMs, std::uint32_t sampleRate,
                                 const std::string& clientName)
    : period_(60.0 * sampleRate / (bpm * 24.0)), jitter_(kCapacity)
{
    std::mt19937 random(20261208);
    const double most = jitterMs * sampleRate / 1000.0;
    std::uniform_real_distribution<double> off(-most, most);
    for (double& jitter : jitter_)
        jitter = off(random);
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_)
        return;
    out_ = jack_port_register(client_, "clock_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!out_ || jack_set_process_callback(client_, &JackClockSender::processThunk, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackClockSender::~JackClockSender() { stop(); }

bool JackClockSender::connectTo(const std::string& destination)
{
    if (!client_)
        return false;
    const int result = jack_connect(client_, jack_port_name(out_), destination.c_str());
    return result == 0 || result == EEXIST;
}

void JackClockSender::arm()
{
    if (!client_)
        return;
    armedFrom_.store(settledFrame(client_), std::memory_order_relaxed);
    armed_.store(true, std::memory_order_release);
}

void JackClockSender::stop()
{
    if (!client_)
        return;
    jack_client_close(client_);
    client_ = nullptr;
}

double JackClockSender::clockFrame(std::uint64_t n) const
{
    return static_cast<double>(origin_.load(std::memory_order_acquire)) + kFirstClockFrames +
           period_ * static_cast<double>(n);
}

int JackClockSender::processThunk(jack_nframes_t frames, void* self)
{
    return static_cast<JackClockSender*>(self)->process(frames);
}

int JackClockSender::process(jack_nframes_t frames)
{
    void* buffer = jack_port_get_buffer(out_, frames);
    jack_midi_clear_buffer(buffer);
    const std::uint64_t cycleStart = jack_last_frame_time(client_);
    if (!armed_.load(std::memory_order_acquire) ||
        cycleStart < armedFrom_.load(std::memory_order_relaxed))
        return 0;
    if (!started_) {
        started_ = true;
        origin_.store(cycleStart, std::memory_order_release);
        const std::uint8_t start = 0xFA;
        (void)jack_midi_event_write(buffer, 0, &start, 1);
    }
    for (;;) {
        const std::uint64_t n = sent_.load(std::memory_order_relaxed);
        if (n >= jitter_.size())
            return 0;
        const auto frame = static_cast<std::uint64_t>(std::llround(clockFrame(n) + jitter_[n]));
        if (frame >= cycleStart + frames)
            return 0;
        const std::uint8_t clock = 0xF8;
        const auto offset =
            static_cast<jack_nframes_t>(frame > cycleStart ? frame - cycleStart : 0);
        if (jack_midi_event_write(buffer, offset, &clock, 1) != 0)
            return 0;
        sent_.store(n + 1, std::memory_order_release);
    }
}

}  // namespace taktwerk::devices::testing
