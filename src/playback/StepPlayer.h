#pragma once
// Live playback: the sequencer's state machine and step clock, run by the engine on the audio
// thread once per block. Every step reads the live parameters afresh, its hits (with their
// steps' velocities) and clicks are scheduled at their exact frames inside the block, and its
// event (what the window paints) goes to the GUI through a lock-free queue that nothing here
// ever waits on, with a wakeup so that the GUI need not poll for it. The same class drives
// offline rendering, so a rendered file and a live performance cannot disagree.
//
// A swung step is taken on the straight grid like any other (it reads the parameters, moves
// the markers, counts the loop there), and only its hits wait for their swung frame, at most
// one step later, possibly in a later block. Count-in clicks never swing.
//
// With "Send MIDI clock" on, 24 clocks a beat (a beat being `Interval` steps) go out with the
// notes from the first step of a run, the count-in's included, each placed within its step
// from the same exact fraction as the grid, so the clock never drifts from the steps and
// swing never bends it. Start goes out on the pattern's step 0, reset to lie on a clock, so
// a follower that waited through our count-in starts with the pattern; Stop at STOP. A new
// tempo reaches the clock with the step that reads it, the moment the grid itself changes:
// a clock that ran ahead of the steps would pull the follower out of phase.
//
// Following the JACK transport, each block takes the transport as the output read it: rolling
// runs, stopped stops, and the steps of the block lie where the timebase master's bar and beat
// (or, without one, the transport's frame at our tempo) put them. A transport that jumped
// (relocated, or started anew) puts the pattern on its new step at once.
//
// Live hits (MIDI input, the owner's pad presses) are placed on the grid of the steps taken
// around them, nearest step first, and go to the owner through the same queue as the steps.
//
// Owned by whoever owns the engine; constructed and destroyed off the audio thread.

#include "playback/LiveHit.h"
#include "playback/LiveParameters.h"
#include "sequencer/ClockFollower.h"
#include "sequencer/Sequencer.h"
#include "sequencer/StepClock.h"
#include "sequencer/TransportGrid.h"
#include "sound/Midi.h"
#include "sound/SpscQueue.h"
#include "sound/StepSource.h"
#include "sound/Wakeup.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <type_traits>

namespace taktwerk::playback {

// One step, or one live hit, as the window learns about it.
struct PlaybackEvent {
    sequencer::StepEvent step;  // step.frame: the step's absolute frame
    std::uint32_t run = 0;      // which RUN press it belongs to: stale events can be told apart
    bool isLiveHit = false;     // then `hit` says what happened, not `step`
    LiveHit hit;
};
static_assert(std::is_trivially_copyable_v<PlaybackEvent>);

// Over a second of steps at the fastest tempo; the window drains it every few milliseconds.
inline constexpr std::size_t kPlaybackEventCapacity = 256;
using PlaybackEventQueue = sound::SpscQueue<PlaybackEvent, kPlaybackEventCapacity>;

class StepPlayer final : public sound::StepSource, public sound::TimebaseSource {
public:
    // `news`, when given, is notified after every step queued for the GUI.
    StepPlayer(const LiveParameters& parameters, std::uint32_t sampleRate,
               const sound::Wakeup* news = nullptr) noexcept;

    // audio thread
    void advance(std::uint32_t frames, sound::BlockScheduler& scheduler) noexcept override;
    // audio thread. `frame` counts as position() does: the engine advances both by each block.
    void liveHit(int track, int velocity, std::uint64_t frame) noexcept override;
    // audio thread. Followed while the sync source is the MIDI clock.
    void realtimeIn(std::uint8_t status, std::uint64_t frame) noexcept override;
    // audio thread. Followed while the sync source is the JACK transport.
    void transportIn(const sound::TransportState& state) noexcept override;
    bool followsTransport() const noexcept override;
    // audio thread. Our tempo and meter while we play on our own clock: a beat of `Interval`
    // steps (the beat the MIDI clock counts), a bar as long as the loop.
    bool timebase(sound::TimebaseMeter& meter) const noexcept override;

    // Any thread: the master's transport while following it, and its tempo in tenths of a
    // BPM (0 while not measured yet). Events of a followed run carry followedRun().
    bool followedRunning() const noexcept
    {
        return followedRunning_.load(std::memory_order_acquire);
    }
    std::uint32_t followedRun() const noexcept
    {
        return followedRun_.load(std::memory_order_acquire);
    }
    int followedTempoTenths() const noexcept
    {
        return followedTempo_.load(std::memory_order_relaxed);
    }

    // GUI thread: the consumer side.
    PlaybackEventQueue& events() noexcept { return events_; }
    // Any thread: events the window missed because it did not drain the queue in time.
    std::uint64_t droppedEvents() const noexcept
    {
        return dropped_.load(std::memory_order_relaxed);
    }

    // audio thread (or the offline renderer's): frames played since construction.
    std::uint64_t position() const noexcept { return position_; }
    const sequencer::Sequencer& sequencer() const noexcept { return sequencer_; }

private:
    // The hits of the last step taken, while they wait for their swung frame.
    struct LateHits {
        std::uint64_t frame = 0;
        std::uint16_t tracks = 0;  // bit t: track t's pad; 0: nothing waits
        bool beginner = false;     // the step was played in the beginner view
        std::array<std::uint8_t, pattern::kTrackCount> velocities{};
    };

    // The clocks within the step last taken, at their frames; a step holds at most one clock
    // per 24th of it.
    struct Clocks {
        std::array<std::uint64_t, sound::kMidiClocksPerBeat> frames{};
        std::uint8_t count = 0;
        std::uint8_t next = 0;  // the first not sent yet
        bool due(std::uint64_t before) const noexcept
        {
            return next < count && frames[next] < before;
        }
    };

    // A step taken, as a live hit near it is placed.
    struct Mark {
        std::uint64_t frame = 0;
        double length = 0.0;  // in frames, at the step's tempo
        std::int16_t step = 0;
        std::int16_t nextStep = 0;
        std::uint32_t pass = 0;
        std::uint32_t nextPass = 0;
        bool countIn = false;
    };
    // The steps of the last block and more: MIDI input reaches the grid a block after it came
    // in, and a block holds at most a few steps even at the fastest tempo.
    static constexpr std::size_t kMarkCount = 16;

    // Where a followed step lies: in 60ths of a clock, so that 3, 4 and 5 steps a beat (8, 6
    // and 4.8 clocks a step) all count exactly.
    static constexpr std::uint64_t kUnitsPerClock = 60;
    // Followed runs are told from our own RUN presses by this bit.
    static constexpr std::uint32_t kFollowedRun = 0x80000000u;

    bool following() const noexcept;
    bool nextDue(std::uint64_t& frame) const noexcept;
    void beginFollowing(SyncSource source) noexcept;
    void beginFollowedRun() noexcept;
    void followTransport(std::uint32_t frames, sound::BlockScheduler& scheduler) noexcept;
    void followSharedTransport(std::uint32_t frames) noexcept;
    void endClockOut(std::uint32_t offset, sound::BlockScheduler& scheduler) noexcept;
    void mark(const sequencer::StepEvent& step, double length) noexcept;
    void report(const PlaybackEvent& event) noexcept;
    void placeClocks(const sequencer::StepEvent& step, std::uint64_t blockStart,
                     sound::BlockScheduler& scheduler) noexcept;
    void sendClock(std::uint64_t blockStart, sound::BlockScheduler& scheduler) noexcept;
    void playStep(std::uint64_t due, std::uint64_t blockStart,
                  sound::BlockScheduler& scheduler) noexcept;
    void soundLateHits(std::uint64_t blockStart, sound::BlockScheduler& scheduler) noexcept;

    const LiveParameters& parameters_;
    sequencer::Sequencer sequencer_;
    sequencer::StepClock clock_;
    StepSnapshot snapshot_;
    LateHits late_;
    Clocks clocks_;
    // The next clock's place within the step to come, in 24ths of a step: a clock falls every
    // `Interval` 24ths, so with 5 steps a beat it wanders across the steps.
    int clockPart_ = 0;
    bool clockRunning_ = false;  // clocks went out in this run: STOP sends Stop
    bool startOwed_ = false;     // Start goes out with the next pattern step 0
    std::uint32_t run_ = 0;
    std::uint32_t loadCount_ = 0;
    std::array<Mark, kMarkCount> marks_{};
    std::size_t markCount_ = 0;  // of this run, up to kMarkCount
    std::size_t markNext_ = 0;   // where the next one goes
    std::uint32_t pass_ = 0;     // passes of the loop begun in this run
    // Following a master's clock.
    sequencer::ClockFollower follower_;
    SyncSource followed_ = SyncSource::Internal;  // what the last block followed
    bool stopOwed_ = false;          // our clock ran when following began: its follower is told
    std::uint64_t followUnits_ = 0;  // the next step's clock position
    std::uint64_t lastStepFrame_ = 0;
    std::uint32_t followedRuns_ = 0;
    // Following the JACK transport: what the output handed in for this block, and the grid of
    // the block's steps it gives.
    sound::TransportState transport_{};
    bool hasTransport_ = false;
    bool transportStepsDue_ = false;  // the grid below holds this block's steps
    sequencer::TransportGrid grid_ = sequencer::TransportGrid::fromFrame(0, 120, 48000);
    std::uint64_t gridBlockStart_ = 0;     // our frame at the grid's first frame
    std::uint32_t gridFrames_ = 0;         // the length of the grid's block
    std::int64_t gridNext_ = 0;            // the next step, counted from the origin
    std::int64_t gridLast_ = -1;           // the last step played
    std::uint64_t transportExpected_ = 0;  // the transport frame that continues the last block
    bool transportContinues_ = false;      // the last block rolled, so the next may go on
    std::atomic<bool> followedRunning_{false};
    std::atomic<std::uint32_t> followedRun_{0};
    std::atomic<int> followedTempo_{0};
    std::uint64_t position_ = 0;
    PlaybackEventQueue events_;
    const sound::Wakeup* news_;
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace taktwerk::playback
