#pragma once
// A JACK client that plays a master's MIDI clock: once armed, Start at the next cycle, then 24
// clocks a beat at `bpm`, each up to `jitterMs` early or late (a fixed pseudo-random series, so
// a failure can be repeated). Keeps where the first clock truly lies, so that a test can tell
// how close a follower came to the master's beat. Its process callback writes into storage
// allocated up front.

#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

class JackClockSender {
public:
    JackClockSender(double bpm, double jitterMs, std::uint32_t sampleRate,
                    const std::string& clientName = "master");
    ~JackClockSender();
    JackClockSender(const JackClockSender&) = delete;
    JackClockSender& operator=(const JackClockSender&) = delete;

    bool isReady() const { return client_ != nullptr; }
    bool connectTo(const std::string& destination);
    // Sending begins a few cycles after this call, once a connection made just before surely
    // carries it (see JackSettle.h).
    void arm();
    void stop();
    // The absolute frame at which clock `n` after Start truly falls (without its jitter); valid
    // once clocksSent() > 0.
    double clockFrame(std::uint64_t n) const;
    std::uint64_t clocksSent() const { return sent_.load(std::memory_order_acquire); }

private:
    static int processThunk(jack_nframes_t frames, void* self);
    int process(jack_nframes_t frames);

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    double period_;
    std::vector<double> jitter_;  // frames, one per clock
    bool started_ = false;        // process thread only
    std::atomic<std::uint64_t> origin_{0};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<bool> armed_{false};
    std::atomic<std::uint64_t> armedFrom_{0};
};

}  // namespace taktwerk::devices::testing
