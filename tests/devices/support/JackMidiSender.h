#pragma once
// A JACK client that plays a MIDI controller: once armed, it writes one note-on every
// `everyCycles` cycles at `offset` frames into the cycle, and keeps the absolute frame
// (jack_last_frame_time plus the offset) of each, for latency assertions. Owned by the test;
// its process callback writes into storage allocated up front.

#include <array>
#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

class JackMidiSender {
public:
    JackMidiSender(std::array<std::uint8_t, 3> noteOn, std::uint32_t offset,
                   std::uint32_t everyCycles, const std::string& clientName = "controller");
    ~JackMidiSender();
    JackMidiSender(const JackMidiSender&) = delete;
    JackMidiSender& operator=(const JackMidiSender&) = delete;

    bool isReady() const { return client_ != nullptr; }
    // Connects our output to `destination` ("client:port"); false while that port is missing.
    bool connectTo(const std::string& destination);
    // Sending begins a few cycles after this call, once a connection made just before surely
    // carries it (see JackSettle.h).
    void arm();
    // `notes` copies of the note-on in each sending cycle, all on the same frame, as a flam of
    // a whole kit would come (set before arm()).
    void setBurst(std::uint32_t notes) { burst_ = notes == 0 ? 1 : notes; }
    void stop();
    // Absolute frames of the note-ons sent so far.
    std::vector<std::uint32_t> sentFrames() const;

private:
    static int processThunk(jack_nframes_t frames, void* self);
    int process(jack_nframes_t frames);

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::array<std::uint8_t, 3> noteOn_;
    std::uint32_t offset_;
    std::uint32_t everyCycles_;
    std::uint32_t burst_ = 1;
    std::uint32_t cycle_ = 0;  // process thread only
    std::vector<std::uint32_t> sent_;
    std::atomic<std::size_t> sentCount_{0};
    std::atomic<bool> armed_{false};
    std::atomic<std::uint64_t> armedFrom_{0};
};

}  // namespace taktwerk::devices::testing
