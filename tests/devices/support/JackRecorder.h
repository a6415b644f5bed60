#pragma once
// A JACK client that records what another client plays: two audio inputs and one MIDI input,
// each sample and each MIDI event with its absolute frame time (jack_last_frame_time plus the
// offset inside the cycle), for exact-frame assertions. Owned by the test; its process
// callback writes into storage allocated up front, the test reads after stop().

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <jack/jack.h>
#include <memory>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

struct RecordedMidiEvent {
    std::uint32_t frame = 0;  // absolute JACK frame time
    std::vector<std::uint8_t> bytes;
};

class JackRecorder {
public:
    // Room for `seconds` of audio at the server's rate; later frames are counted, not kept.
    explicit JackRecorder(double seconds, const std::string& clientName = "recorder");
    ~JackRecorder();
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool isReady() const { return client_ != nullptr; }
    std::string midiInputName() const;

    // Full port names ("client:port"). False when JACK refuses.
    bool connectAudio(const std::string& leftSource, const std::string& rightSource);
    bool connectMidi(const std::string& source);

    // Full names of the ports `portName` is connected to, as the server sees them.
    std::vector<std::string> connectionsOf(const std::string& portName) const;

    // Ends recording; what was recorded stays readable.
    void stop();

    // Frame time of the first recorded sample.
    std::uint32_t firstFrame() const { return firstFrame_; }
    std::size_t recordedFrames() const;
    float left(std::size_t index) const { return left_[index]; }
    float right(std::size_t index) const { return right_[index]; }
    // True when every cycle from the one holding `frame` on followed the previous one without a
    // gap in frame time (a cycle the server skipped), and nothing was lost for lack of room.
    // Setting up clients and connections may cost the server a cycle before that.
    bool isContiguousFrom(std::uint32_t frame) const
    {
        return !overflowed_.load() && (!hasGap_.load() || lastGapFrame_.load() <= frame);
    }
    std::vector<RecordedMidiEvent> midiEvents() const;

private:
    static int processThunk(jack_nframes_t frames, void* self);
    int process(jack_nframes_t frames);

    struct RawEvent {
        std::uint32_t frame;
        std::uint32_t size;
        std::array<std::uint8_t, 4> bytes;
    };

    jack_client_t* client_ = nullptr;
    jack_port_t* inLeft_ = nullptr;
    jack_port_t* inRight_ = nullptr;
    jack_port_t* midiIn_ = nullptr;
    std::vector<float> left_;
    std::vector<float> right_;
    std::vector<RawEvent> events_;
    std::atomic<std::size_t> frames_{0};
    std::atomic<std::size_t> eventCount_{0};
    std::atomic<bool> hasGap_{false};
    std::atomic<std::uint32_t> lastGapFrame_{0};
    std::atomic<bool> overflowed_{false};
    std::uint32_t firstFrame_ = 0;
    std::uint32_t nextFrame_ = 0;
    bool started_ = false;
    bool active_ = false;
};

}  // namespace taktwerk::devices::testing
