#pragma once
// A JACK client that drives the server's transport as another program of a studio would:
// start, stop and locate through the transport API, and, when given a tempo, the timebase
// master publishing bar, beat and tick in 4/4 (1920 ticks a beat) from the frame position,
// whole ticks as masters publish them. Its process callback notes the cycle at which the
// transport began or stopped rolling or jumped, in storage allocated up front, so that a test
// can tell where each step of a follower belongs.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <jack/transport.h>
#include <string>

namespace taktwerk::devices::testing {

class JackTransportMaster {
public:
    // Bars and beats at `bpm`; `publishes` false: no timebase master, only the transport.
    explicit JackTransportMaster(double bpm, bool publishes = true,
                                 const std::string& clientName = "transport");
    ~JackTransportMaster();
    JackTransportMaster(const JackTransportMaster&) = delete;
    JackTransportMaster& operator=(const JackTransportMaster&) = delete;

    bool isReady() const { return client_ != nullptr; }
    void start();
    void stop();
    void locate(std::uint32_t frame);
    // The first frame of `bar` and `beat` (from 1) at the master's tempo: the frame at which
    // the master's bar and beat say exactly that.
    std::uint32_t frameOf(int bar, int beat) const;
    void close();
    // The transport as any client reads it now, the timebase master's bar and beat included.
    jack_position_t query() const;

    // A change seen by the process callback: from the cycle beginning at absolute frame time
    // `cycleFrame`, the transport stands at `transportFrame` and rolls or not.
    struct Change {
        std::uint32_t cycleFrame = 0;
        std::uint32_t transportFrame = 0;
        bool rolling = false;
    };
    std::size_t changeCount() const
    {
        return std::min(count_.load(std::memory_order_acquire), changes_.size());
    }
    Change change(std::size_t index) const { return changes_[index]; }

private:
    static int processThunk(jack_nframes_t frames, void* self);
    static void timebaseThunk(jack_transport_state_t state, jack_nframes_t frames,
                              jack_position_t* position, int newPosition, void* self);

    jack_client_t* client_ = nullptr;
    double bpm_;
    bool publishes_;
    double rate_ = 48000.0;
    std::array<Change, 64> changes_{};
    std::atomic<std::size_t> count_{0};
    bool rolling_ = false;  // process thread only
    std::uint32_t expected_ = 0;
};

}  // namespace taktwerk::devices::testing
