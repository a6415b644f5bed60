#pragma once
// Everything playback reads at each step, published by the drum machine (GUI thread, the one
// writer) to the audio thread as plain atomics: one 32-bit word per track row, so a step
// toggle reaches the next step whole; the velocities eight steps to a 64-bit word; the mutes
// as one mask; tempo, swing, meter and flags; and the RUN/STOP and load commands. Edits of several
// values at once (a load, a new rhythm, a meter change) go inside a Batch, and a step never sees
// half of one.

#include "pattern/Pattern.h"
#include "pattern/Swing.h"
#include "playback/SyncSource.h"
#include "sequencer/Sequencer.h"
#include "sequencer/StepClock.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace taktwerk::playback {

// What the audio thread takes from the parameters for one step.
struct StepSnapshot {
    sequencer::StepInputs inputs;
    int tempoBpm = sequencer::kDefaultTempoBpm;
    std::uint32_t loadCount = 0;  // bumped by every load
    bool clockOut = false;        // "Send MIDI clock"
};

class LiveParameters {
public:
    // As the window is created: full velocity everywhere, straight.
    LiveParameters() noexcept;

    // GUI thread; may nest. Keeps a multi-value edit from being seen half done: a step that falls
    // due meanwhile plays with the values of the step before.
    class Batch {
    public:
        explicit Batch(LiveParameters& parameters) noexcept;
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        LiveParameters& parameters_;
    };

    // GUI thread, the only writer.
    void setRow(int track, pattern::Row row) noexcept;
    // The pattern's rows and velocities.
    void setRows(const pattern::Pattern& pattern) noexcept;
    void setVelocities(const pattern::Velocities& velocities) noexcept;
    void setSwing(const pattern::Swing& swing) noexcept;
    void setMuted(int track, bool muted) noexcept;
    void setMutes(std::uint16_t mask) noexcept;
    void setTempo(int tempoBpm) noexcept;
    void setMeter(int interval, int beats) noexcept;
    void setIntro(bool checked) noexcept;
    void setBeginner(bool on) noexcept;
    // "Send MIDI clock": the clock and Start/Stop go out from the next step on.
    void setClockOut(bool on) noexcept;
    // Following a master: its Start, Stop and clock drive playback, RUN and STOP do not.
    void setSync(SyncSource source) noexcept { sync_.store(source, std::memory_order_relaxed); }
    // Any thread.
    SyncSource sync() const noexcept { return sync_.load(std::memory_order_relaxed); }
    // A rhythm was loaded: the pattern starts over at step 0 at the next step.
    void markLoaded() noexcept;
    // RUN and STOP. RUN always starts over, even when a STOP in between went unseen.
    void run() noexcept;
    void stop() noexcept;

    // audio thread. The values for the next step; false (and `snapshot` untouched) while a
    // Batch is being written, so the step keeps the values it had.
    bool read(StepSnapshot& snapshot) const noexcept;
    // audio thread. The transport as last pressed: whether to run, and which RUN that was.
    struct Transport {
        bool running = false;
        std::uint32_t run = 0;
    };
    Transport transport() const noexcept;
    // Any thread. The tempo and meter as last published, each read on its own: what a timebase
    // master publishes need not match a step exactly.
    struct Meter {
        int tempoBpm = sequencer::kDefaultTempoBpm;
        int interval = pattern::kDefaultInterval;
        int beats = pattern::kDefaultBeats;
    };
    Meter meter() const noexcept
    {
        return {tempoBpm_.load(std::memory_order_relaxed),
                interval_.load(std::memory_order_relaxed), beats_.load(std::memory_order_relaxed)};
    }

private:
    static constexpr std::size_t kVelocitiesPerWord = sizeof(std::uint64_t);
    static constexpr std::size_t kVelocityWordsPerRow = pattern::kStepCount / kVelocitiesPerWord;

    std::array<std::atomic<pattern::Row>, pattern::kTrackCount> rows_{};
    std::array<std::atomic<std::uint64_t>, pattern::kTrackCount * kVelocityWordsPerRow>
        velocities_{};
    std::atomic<std::uint32_t> swing_{0};  // percent, and the note value above bit 8
    std::atomic<std::uint32_t> mutes_{0};
    std::atomic<int> tempoBpm_{sequencer::kDefaultTempoBpm};
    std::atomic<int> interval_{pattern::kDefaultInterval};
    std::atomic<int> beats_{pattern::kDefaultBeats};
    std::atomic<bool> intro_{true};  // "Intro" is checked when the window is created
    std::atomic<bool> beginner_{false};
    std::atomic<bool> clockOut_{false};
    std::atomic<SyncSource> sync_{SyncSource::Internal};
    std::atomic<std::uint32_t> loadCount_{0};
    // Bit 0: running; the rest counts RUN presses.
    std::atomic<std::uint32_t> transport_{0};
    // Odd while a Batch is being written.
    std::atomic<std::uint32_t> version_{0};
    int batchDepth_ = 0;  // GUI thread only: batches nest, the outermost one counts
};

}  // namespace taktwerk::playback
