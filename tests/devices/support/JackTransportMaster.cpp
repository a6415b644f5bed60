#include "devices/support/JackTransportMaster.h"

#include <algorithm>
#include <cmath>

namespace taktwerk::devices::testing {

namespace {

constexpr double kTicksPerBeat = 1920.0;
constexpr double kBeatsPerBar = 4.0;

}  // namespace

JackTransportMaster::JackTransportMaster(double bpm, bool publishes, const std::string& clientName)
    : bpm_(bpm), publishes_(publishes)
{
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_)
        return;
    rate_ = jack_get_sample_rate(client_);
    jack_transport_stop(client_);
    jack_transport_locate(client_, 0);
    const bool timebase =
        !publishes_ ||
        jack_set_timebase_callback(client_, 0, &JackTransportMaster::timebaseThunk, this) == 0;
    if (!timebase ||
        jack_set_process_callback(client_, &JackTransportMaster::processThunk, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackTransportMaster::~JackTransportMaster() { close(); }

void JackTransportMaster::close()
{
    if (!client_)
        return;
    if (publishes_)
        jack_release_timebase(client_);
    jack_client_close(client_);
    client_ = nullptr;
}

void JackTransportMaster::start()
{
    if (client_)
        jack_transport_start(client_);
}

void JackTransportMaster::stop()
{
    if (client_)
        jack_transport_stop(client_);
}

void JackTransportMaster::locate(std::uint32_t frame)
{
    if (client_)
        jack_transport_locate(client_, frame);
}

jack_position_t JackTransportMaster::query() const
{
    jack_position_t position{};
    if (client_)
        (void)jack_transport_query(client_, &position);
    return position;
}

std::uint32_t JackTransportMaster::frameOf(int bar, int beat) const
{
    return static_cast<std::uint32_t>(
        std::ceil(((bar - 1) * kBeatsPerBar + (beat - 1)) * 60.0 * rate_ / bpm_));
}

int JackTransportMaster::processThunk(jack_nframes_t frames, void* self)
{
    auto& master = *static_cast<JackTransportMaster*>(self);
    jack_position_t position{};
    const bool rolling = jack_transport_query(master.client_, &position) == JackTransportRolling;
    const bool jumped = rolling && master.rolling_ && position.frame != master.expected_;
    if (rolling != master.rolling_ || jumped) {
        const std::size_t at = master.count_.load(std::memory_order_relaxed);
        if (at < master.changes_.size()) {
            master.changes_[at] = {jack_last_frame_time(master.client_), position.frame, rolling};
            master.count_.store(at + 1, std::memory_order_release);
        }
    }
    master.rolling_ = rolling;
    master.expected_ = position.frame + frames;
    return 0;
}

void JackTransportMaster::timebaseThunk(jack_transport_state_t, jack_nframes_t,
                                        jack_position_t* position, int, void* self)
{
    const auto& master = *static_cast<JackTransportMaster*>(self);
    const double beats = static_cast<double>(position->frame) * master.bpm_ / (60.0 * master.rate_);
    const double whole = std::floor(beats);
    position->valid = JackPositionBBT;
    position->bar = static_cast<std::int32_t>(whole / kBeatsPerBar) + 1;
    position->beat = static_cast<std::int32_t>(std::fmod(whole, kBeatsPerBar)) + 1;
    position->tick = static_cast<std::int32_t>((beats - whole) * kTicksPerBeat);
    position->bar_start_tick = (position->bar - 1) * kBeatsPerBar * kTicksPerBeat;
    position->beats_per_bar = static_cast<float>(kBeatsPerBar);
    position->beat_type = 4.0f;
    position->ticks_per_beat = kTicksPerBeat;
    position->beats_per_minute = master.bpm_;
}

}  // namespace taktwerk::devices::testing
