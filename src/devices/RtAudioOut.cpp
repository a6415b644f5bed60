// The RtAudio output (PulseAudio or ALSA; JACK too, though the factory serves JACK with libjack
// directly): stereo float on the API's default output device, MIDI through a timed sender
// thread. Owned by the application; RtAudio's callback thread is the audio thread.

#include "core/Language.h"
#include "devices/TimedAudioOut.h"

#include <RtAudio.h>
#include <algorithm>

namespace taktwerk::devices {

namespace {

class RtAudioOut;

// RtAudio's error callback is a plain function without user data, so it can only find the
// stream it reports on through this one pointer: the program runs at most one RtAudio stream,
// set while it is started. The reason to break the no-globals habit here.
std::atomic<RtAudioOut*> startedStream{nullptr};

// A callback this many blocks off the grid the MIDI deadlines were anchored to means the
// device's timeline slipped: the grid follows, so that MIDI does not stay off the audio from
// then on. Less is ordinary scheduling jitter, or a device filling its buffer at start.
constexpr std::uint32_t kReanchorBlocks = 4;

RtAudio::Api apiOf(RtAudioHost host)
{
    switch (host) {
    case RtAudioHost::PulseAudio:
        return RtAudio::LINUX_PULSE;
    case RtAudioHost::Alsa:
        return RtAudio::LINUX_ALSA;
    case RtAudioHost::Jack:
        return RtAudio::UNIX_JACK;
    }
    return RtAudio::UNSPECIFIED;
}

class RtAudioOut final : public TimedAudioOut {
public:
    explicit RtAudioOut(RtAudio::Api api) : rtAudio_(api) { rtAudio_.showWarnings(false); }
    ~RtAudioOut() override { stop(); }  // RtAudio's destructor then closes the stream

    core::Result<void> open(const AudioOutRequest& request)
    {
        const std::string apiName = RtAudio::getApiDisplayName(rtAudio_.getCurrentApi());
        try {
            if (rtAudio_.getDeviceCount() == 0)
                return core::fail(core::translated("No audio device found."),
                                  apiName + ": no device");
            RtAudio::StreamParameters parameters;
            parameters.deviceId = rtAudio_.getDefaultOutputDevice();
            parameters.nChannels = sound::kOutputChannels;
            const RtAudio::DeviceInfo info = rtAudio_.getDeviceInfo(parameters.deviceId);
            if (!info.probed || info.outputChannels < sound::kOutputChannels)
                return core::fail(core::translated("The audio device cannot play stereo."),
                                  apiName + ": " + info.name + " has no stereo output");
            const bool offersWanted = std::find(info.sampleRates.begin(), info.sampleRates.end(),
                                                request.sampleRate) != info.sampleRates.end();
            const unsigned int rate = offersWanted || info.preferredSampleRate == 0
                                          ? request.sampleRate
                                          : info.preferredSampleRate;

            RtAudio::StreamOptions options;
            // Granted only with the privilege; without it the stream runs at normal priority.
            options.flags = RTAUDIO_SCHEDULE_REALTIME;
            options.streamName = request.clientName;
            unsigned int frames = request.blockFrames;
            rtAudio_.openStream(&parameters, nullptr, RTAUDIO_FLOAT32, rate, &frames,
                                &RtAudioOut::callbackThunk, this, &options,
                                &RtAudioOut::errorThunk);
            if (!rtAudio_.isStreamOpen())
                return core::fail(core::translated("The audio device could not be opened."),
                                  apiName + ": openStream failed");
            sampleRate_ = rtAudio_.getStreamSampleRate();
            blockFrames_ = frames;
        } catch (const RtAudioError& error) {
            return core::fail(core::translated("The audio device could not be opened."),
                              apiName + ": " + error.getMessage());
        }
        apiName_ = apiName;
        setTiming(sampleRate_, blockFrames_);
        return {};
    }

    core::Result<void> start(sound::AudioSource& source) override
    {
        if (started_)
            return core::fail(core::translated("The audio output is running already."));
        RtAudioOut* none = nullptr;
        if (!startedStream.compare_exchange_strong(none, this))
            return core::fail(core::translated("Another audio output is running already."));
        source_ = &source;
        framesDone_ = 0;
        anchored_ = false;
        sender_.start();
        published_.store(true, std::memory_order_release);
        try {
            rtAudio_.startStream();
        } catch (const RtAudioError& error) {
            published_.store(false, std::memory_order_relaxed);
            sender_.stop();
            startedStream.store(nullptr);
            return core::fail(core::translated("The audio output could not start."),
                              error.getMessage());
        }
        started_ = true;
        running_.store(true, std::memory_order_release);
        return {};
    }

    void stop() noexcept override
    {
        if (!started_)
            return;
        try {
            if (rtAudio_.isStreamRunning())
                rtAudio_.stopStream();
        } catch (const RtAudioError&) {
            // A stream that cannot be stopped has failed already; closing it follows.
        }
        startedStream.store(nullptr);
        published_.store(false, std::memory_order_relaxed);
        started_ = false;
        running_.store(false, std::memory_order_release);
        sender_.stop();
    }

    std::uint32_t sampleRate() const noexcept override { return sampleRate_; }
    std::uint32_t blockFrames() const noexcept override { return blockFrames_; }
    std::string_view backendName() const noexcept override { return apiName_; }

private:
    bool isStarted() const noexcept override { return started_; }

    static int callbackThunk(void* output, void*, unsigned int frames, double,
                             RtAudioStreamStatus status, void* self) noexcept
    {
        static_cast<RtAudioOut*>(self)->render(static_cast<float*>(output), frames, status);
        return 0;
    }

    // Called on RtAudio's callback thread while the stream runs, and must not lock or
    // allocate there: an atomic load, a look at the text and an eventfd write.
    static void errorThunk(RtAudioError::Type type, const std::string& text)
    {
        if (type == RtAudioError::DEBUG_WARNING)
            return;
        RtAudioOut* out = startedStream.load();
        if (out == nullptr)
            return;
        // A lost PulseAudio server or an unplugged card is reported only as a warning, once
        // per refused write; an underrun is counted from the next callback's status already.
        if (type == RtAudioError::WARNING &&
            classifyRtAudioReport(text) == RtAudioTrouble::LateBlock)
            return;
        out->markDeviceLost();
    }

    // audio thread
    void render(float* out, std::uint32_t frames, RtAudioStreamStatus status) noexcept
    {
        // PulseAudio's callback thread exists from openStream on and decides whether to wait
        // for startStream by a plain read, so nothing orders what open and start wrote before
        // this call; the flag does.
        if (!published_.load(std::memory_order_acquire)) {
            std::fill_n(out, static_cast<std::size_t>(frames) * sound::kOutputChannels, 0.0F);
            return;
        }
        const auto began = MidiClock::now();
        if ((status & RTAUDIO_OUTPUT_UNDERFLOW) != 0)
            xruns_.fetch_add(1, std::memory_order_relaxed);
        anchorMidiClock(began);
        // Never more than blockFrames() per call, as promised to the source.
        for (std::uint32_t offset = 0; offset < frames; offset += blockFrames_) {
            const std::uint32_t chunk = std::min(frames - offset, blockFrames_);
            sink_.beginBlock(zeroFrameTime_, framesDone_, chunk);
            source_->process(out + static_cast<std::size_t>(offset) * sound::kOutputChannels, chunk,
                             sink_);
            framesDone_ += chunk;
        }
        checkOverrun(began, durationOfFrames(frames, sampleRate_));
    }

    // MIDI goes out one block after the first callback's time plus the frames played since: on
    // the frame grid of the stream, a constant offset to the audio, never the jitter of the
    // callbacks' own timing. A callback far off that grid means the device's timeline slipped
    // (an underrun restarted it, or it caught up after one): the grid follows, counted as an
    // xrun.
    void anchorMidiClock(MidiClock::time_point now) noexcept  // audio thread
    {
        const auto block = durationOfFrames(blockFrames_, sampleRate_);
        const auto due = now + block - durationOfFrames(framesDone_, sampleRate_);
        const auto limit = block * kReanchorBlocks;
        if (!anchored_) {
            zeroFrameTime_ = due;
            anchored_ = true;
        } else if (due > zeroFrameTime_ + limit || due < zeroFrameTime_ - limit) {
            zeroFrameTime_ = due;
            xruns_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    RtAudio rtAudio_;
    std::string apiName_;
    std::uint32_t sampleRate_ = 0;
    std::uint32_t blockFrames_ = 0;
    sound::AudioSource* source_ = nullptr;
    // Audio thread only while running.
    std::uint64_t framesDone_ = 0;
    bool anchored_ = false;
    MidiClock::time_point zeroFrameTime_{};
    bool started_ = false;  // control thread only
    std::atomic<bool> published_{false};
};

}  // namespace

core::Result<std::unique_ptr<AudioOut>> openRtAudioOut(RtAudioHost host,
                                                       const AudioOutRequest& request)
{
    std::unique_ptr<RtAudioOut> out;
    try {
        out = std::make_unique<RtAudioOut>(apiOf(host));
    } catch (const RtAudioError& error) {
        return core::fail(core::translated("The audio device could not be opened."),
                          error.getMessage());
    }
    if (auto opened = out->open(request); !opened)
        return core::fail(opened.error().message, opened.error().detail);
    return std::unique_ptr<AudioOut>(std::move(out));
}

}  // namespace taktwerk::devices
