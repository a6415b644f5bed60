#pragma once
// Offline rendering: a rhythm played through the engine's WAVE voices exactly as live playback
// plays it (the same StepPlayer, state machine, step clock and voices), only as fast as the
// machine can go and into memory or a WAV file instead of a sound card. Runs on the caller's
// thread; the engine's audio thread is simply the caller.

#include "core/Result.h"
#include "pattern/Pattern.h"
#include "pattern/Swing.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "sound/Engine.h"
#include "sound/VoiceSet.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

namespace taktwerk::playback {

// The kinds of audio file a render writes, all through libsndfile.
enum class AudioFileType : std::uint8_t {
    Wav,   // 16-bit or float; RF64 past 4 GiB
    Flac,  // 16-bit, lossless
    Ogg,   // Ogg Vorbis
};

struct RenderJob {
    std::array<pattern::Row, pattern::kTrackCount> rows{};
    pattern::Velocities velocities = pattern::defaultVelocities();
    pattern::Swing swing;
    std::uint16_t mutes = 0;  // bit t: track t muted
    int tempoBpm = sequencer::kDefaultTempoBpm;
    int interval = pattern::kDefaultInterval;
    int beats = pattern::kDefaultBeats;
    sound::SoundChoice sound;
    // The voices `sound` gives, built beforehand at `sampleRate` (the command line does, to tell
    // the user which samples are missing); null: the renderer builds them.
    std::shared_ptr<const sound::VoiceSet> voices;
    std::uint32_t sampleRate = 44100;
    int loops = 4;                                // passes of the loop, unless `seconds` is set
    double seconds = 0.0;                         // > 0: this long instead of whole loops
    bool intro = false;                           // the count-in first
    bool tail = false;                            // the last hits ring out after the music
    bool floatSamples = false;                    // 32-bit float WAV; otherwise 16-bit
    AudioFileType fileType = AudioFileType::Wav;  // float samples only in a WAV file
    // Set from another thread to stop a render between blocks; it then fails with
    // kRenderCancelled as its detail, and renderWav leaves no file behind.
    const std::atomic<bool>* cancel = nullptr;
};

// Drives the engine block by block. The parameters stay writable between blocks, so a tempo
// or pattern change lands exactly as a live edit would.
class OfflineRenderer {
public:
    // Loads the job's sample set (a missing sample is a silent voice) and presses RUN.
    explicit OfflineRenderer(const RenderJob& job);
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    LiveParameters& parameters() noexcept { return parameters_; }
    std::uint64_t position() const noexcept { return playback_.position(); }

    // The job's music in frames: the frame at which the step after the last loop (or the
    // count-in and the loops) falls due, or the seconds asked for.
    std::uint64_t musicFrames() const noexcept { return musicFrames_; }

    // Renders the next `frames` frames, interleaved stereo, into `out`.
    void render(float* out, std::uint32_t frames) noexcept;
    // Presses STOP: no more steps, what sounds rings on.
    void stop() noexcept { parameters_.stop(); }

private:
    LiveParameters parameters_;
    sound::Engine engine_;
    StepPlayer playback_;
    sound::NoMidi noMidi_;
    std::uint64_t musicFrames_ = 0;
};

struct RenderReport {
    std::uint64_t frames = 0;       // in the file
    std::uint64_t musicFrames = 0;  // of them, before the ring-out
};

// The detail of a render's error when it was cancelled.
inline constexpr const char* kRenderCancelled = "cancelled";

// Called now and then with the share done, 0 to 1.
using RenderProgress = std::function<void(double done)>;

// Renders `job` into an audio file of `job.fileType` (a WAV file becomes RF64 when it would pass
// the 4 GiB a WAV file can describe). The file appears complete or not at all: it is written
// under a temporary name (AtomicFile.h), which every failure, Ctrl-C and SIGTERM remove.
core::Result<RenderReport> renderWav(const RenderJob& job, const std::filesystem::path& file,
                                     const RenderProgress& progress = {});

// The same into `fd`, which may be a pipe. A WAV or FLAC header is finished by seeking back,
// which a pipe cannot, so the file is made in an anonymous temporary (it has no name, so even
// a kill leaves nothing behind) and then copied. `name` names the output in messages.
core::Result<RenderReport> renderToDescriptor(const RenderJob& job, int fd, const std::string& name,
                                              const RenderProgress& progress = {});

// The most frames renderWav writes for `job`: the music and, with `tail`, the longest ring-out.
std::uint64_t maxRenderFrames(const RenderJob& job) noexcept;
// Whether that many frames of that kind need RF64: a WAV file's sizes are 32-bit, and one past
// 4 GiB would read back as a fraction of itself.
bool needsRf64(std::uint64_t frames, int channels, bool floatSamples) noexcept;

}  // namespace taktwerk::playback
