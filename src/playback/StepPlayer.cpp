#include "playback/StepPlayer.h"

#include <algorithm>
#include <cmath>

namespace taktwerk::playback {

StepPlayer::StepPlayer(const LiveParameters& parameters, std::uint32_t sampleRate,
                       const sound::Wakeup* news) noexcept
    : parameters_(parameters), clock_(sampleRate), follower_(sampleRate), news_(news)
{
    // A playback made while the transport runs (a new output, say) starts at its first block;
    // the RUN that is already in force counts as seen.
    run_ = parameters_.transport().run;
    if (parameters_.read(snapshot_))
        loadCount_ = snapshot_.loadCount;
}

void StepPlayer::advance(std::uint32_t frames,
                         sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    followTransport(frames, scheduler);
    const std::uint64_t blockStart = position_;
    const std::uint64_t blockEnd = blockStart + frames;
    // In frame order, late hits before a step due on the same frame, as they belong to the
    // step before it. Bounded: a step lasts at least 15 * rate / 450 frames, and each round
    // takes one step or sounds the one set of late hits. Late hits sound after STOP too: their
    // step was taken, and a step taken always completes.
    // MIDI clocks go before all else on their frame: they belong to the step before, like late
    // hits, and a step's clock lies on the step's own frame.
    for (;;) {
        std::uint64_t due = 0;
        const bool stepDue = sequencer_.Running() && nextDue(due) && due < blockEnd;
        // Swung hits of a followed grid were placed by the step length measured so far; when the
        // master speeds up, the next step may come first. They then sound with it, never lost.
        if (stepDue && late_.tracks != 0 && late_.frame > due)
            late_.frame = due;
        const bool lateDue = late_.tracks != 0 && late_.frame < blockEnd;
        if (clocks_.due(blockEnd) && (!stepDue || clocks_.frames[clocks_.next] <= due) &&
            (!lateDue || clocks_.frames[clocks_.next] <= late_.frame))
            sendClock(blockStart, scheduler);
        else if (lateDue && (!stepDue || late_.frame <= due))
            soundLateHits(blockStart, scheduler);
        else if (stepDue)
            playStep(due, blockStart, scheduler);
        else
            break;
    }
    position_ = blockEnd;
}

bool StepPlayer::following() const noexcept { return parameters_.sync() != SyncSource::Internal; }

bool StepPlayer::nextDue(std::uint64_t& frame) const noexcept  // audio thread
{
    const SyncSource sync = parameters_.sync();
    if (sync == SyncSource::Internal) {
        frame = clock_.dueFrame();
        return true;
    }
    if (sync == SyncSource::JackTransport) {
        if (!transportStepsDue_)
            return false;
        const std::int64_t offset = grid_.offsetOf(gridNext_);
        frame = std::max(gridBlockStart_ +
                             static_cast<std::uint64_t>(std::max<std::int64_t>(offset, 0)),
                         lastStepFrame_);
        return true;
    }
    const std::optional<double> at =
        follower_.frameOf(static_cast<double>(followUnits_) / static_cast<double>(kUnitsPerClock));
    if (!at)
        return false;  // its clock has not come, nor has the tempo to foresee it
    // A step the clock placed before this block (the tempo jumped) plays at once, and never
    // before the step before it.
    const double rounded = std::max(std::floor(*at + 0.5), 0.0);
    frame = std::max({static_cast<std::uint64_t>(rounded), position_, lastStepFrame_});
    return true;
}

void StepPlayer::realtimeIn(std::uint8_t status, std::uint64_t frame) noexcept  // audio thread
{
    if (parameters_.sync() != SyncSource::MidiClock)
        return;
    if (followed_ != SyncSource::MidiClock)
        beginFollowing(SyncSource::MidiClock);
    using sequencer::ClockMessage;
    ClockMessage message = ClockMessage::Clock;
    switch (status) {
    case sound::kMidiClock:
        break;
    case sound::kMidiStart:
        message = ClockMessage::Start;
        break;
    case sound::kMidiContinue:
        message = ClockMessage::Continue;
        break;
    case sound::kMidiStop:
        message = ClockMessage::Stop;
        break;
    default:
        return;  // active sensing, reset and the rest: nothing to follow
    }
    switch (follower_.receive(message, frame)) {
    case sequencer::ClockFollower::Change::Started:
        // The master's Start: step 0 on its next clock, never a count-in.
        beginFollowedRun();
        followUnits_ = 0;
        break;
    case sequencer::ClockFollower::Change::Continued:
        sequencer_.resume();
        followedRunning_.store(true, std::memory_order_release);
        break;
    case sequencer::ClockFollower::Change::Stopped:
        sequencer_.stop();
        followedRunning_.store(false, std::memory_order_release);
        break;
    case sequencer::ClockFollower::Change::None:
        break;
    }
    if (follower_.hasTempo())
        followedTempo_.store(static_cast<int>(std::lround(follower_.tempoBpm() * 10.0)),
                             std::memory_order_relaxed);
}

void StepPlayer::endClockOut(std::uint32_t offset, sound::BlockScheduler& scheduler) noexcept
{
    clocks_ = {};
    if (clockRunning_)
        scheduler.realtimeAt(offset, sound::kMidiStop);
    clockRunning_ = false;
}

void StepPlayer::transportIn(const sound::TransportState& state) noexcept  // audio thread
{
    transport_ = state;
    hasTransport_ = true;
}

bool StepPlayer::followsTransport() const noexcept  // audio thread
{
    return parameters_.sync() == SyncSource::JackTransport;
}

bool StepPlayer::timebase(sound::TimebaseMeter& meter) const noexcept  // audio thread
{
    if (following())
        return false;  // the master leads; publishing what we follow would lead in a circle
    const LiveParameters::Meter ours = parameters_.meter();
    // Any interval the window can set lies in 3 ... 5; a broken one must not stop the master.
    const int interval = pattern::isValidInterval(ours.interval) ? ours.interval : 4;
    // A step lasts 15 * rate / tempo frames, so a beat of `interval` steps comes
    // 4 * tempo / interval times a minute.
    meter.beatsPerMinute = 4.0 * sequencer::clampTempo(ours.tempoBpm) / interval;
    meter.beatsPerBar = static_cast<double>(std::max(ours.beats, 1)) / interval;
    return true;
}

void StepPlayer::beginFollowedRun() noexcept  // audio thread
{
    sequencer_.start();
    lastStepFrame_ = 0;
    late_.tracks = 0;
    markCount_ = 0;
    pass_ = 0;
    run_ = kFollowedRun | (++followedRuns_ & ~kFollowedRun);
    followedRun_.store(run_, std::memory_order_release);
    followedRunning_.store(true, std::memory_order_release);
}

void StepPlayer::followSharedTransport(std::uint32_t frames) noexcept  // audio thread
{
    const bool heard = hasTransport_;
    hasTransport_ = false;
    transportStepsDue_ = false;
    // An output without a shared transport (the window refuses to follow then, but the output
    // may change under it) holds the pattern as a stopped transport does.
    if (!heard || !transport_.rolling) {
        if (sequencer_.Running()) {
            sequencer_.stop();
            followedRunning_.store(false, std::memory_order_release);
        }
        transportContinues_ = false;
        return;
    }
    (void)parameters_.read(snapshot_);
    const int interval =
        pattern::isValidInterval(snapshot_.inputs.interval) ? snapshot_.inputs.interval : 4;
    std::optional<sequencer::TransportGrid> grid;
    if (transport_.hasBbt)
        grid = sequencer::TransportGrid::fromBarBeatTick(
            {.bar = transport_.bar,
             .beat = transport_.beat,
             .tick = transport_.tick,
             .ticksPerBeat = transport_.ticksPerBeat,
             .beatsPerBar = transport_.beatsPerBar,
             .beatsPerMinute = transport_.beatsPerMinute},
            interval, clock_.sampleRate(), transport_.bbtFramesBefore);
    // No master, or one whose position makes no sense: the frame position at our own tempo.
    if (!grid)
        grid = sequencer::TransportGrid::fromFrame(
            transport_.frame, sequencer::clampTempo(snapshot_.tempoBpm), clock_.sampleRate());
    // A transport that went on from where the last block ended plays on; any other was
    // relocated (or started) and plays from where it now stands.
    const bool continues =
        transportContinues_ && sequencer_.Running() && transport_.frame == transportExpected_;
    if (!sequencer_.Running())
        beginFollowedRun();
    // Carried on from the last block while the master agrees, so that its whole ticks do not
    // shake the steps by a fraction of a tick from block to block.
    const sequencer::TransportGrid carried = grid_.movedOn(gridFrames_);
    if (continues && carried.agreesWith(*grid))
        grid = carried;
    // Steps count alike on both grids unless one is the master's and the other our own.
    const bool sameCount = continues && carried.fromMaster() == grid->fromMaster();
    grid_ = *grid;
    gridFrames_ = frames;
    gridBlockStart_ = position_;
    gridNext_ = grid_.firstStep();
    // The last block may have rounded this step into itself and played it; a master that
    // jumped (back or ahead) in bars and beats plays from where it now stands.
    if (sameCount && gridNext_ == gridLast_)
        ++gridNext_;
    if (!continues)
        lastStepFrame_ = position_;
    transportStepsDue_ = true;
    transportExpected_ = transport_.frame + frames;
    transportContinues_ = true;
    followedTempo_.store(static_cast<int>(std::lround(grid_.tempoBpm() * 10.0)),
                         std::memory_order_relaxed);
}

void StepPlayer::beginFollowing(SyncSource source) noexcept  // audio thread
{
    // What our own clock played stops; the master's Start begins the next run.
    followed_ = source;
    transportContinues_ = false;
    gridLast_ = -1;
    sequencer_.stop();
    clocks_ = {};
    stopOwed_ = clockRunning_;
    clockRunning_ = false;
    followedRunning_.store(false, std::memory_order_release);
}

void StepPlayer::followTransport(std::uint32_t frames,
                                 sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    const SyncSource sync = parameters_.sync();
    if (sync != SyncSource::Internal) {
        if (followed_ != sync)
            beginFollowing(sync);
        if (stopOwed_)
            scheduler.realtimeAt(0, sound::kMidiStop);
        stopOwed_ = false;
        if (sync == SyncSource::JackTransport)
            followSharedTransport(frames);
        return;
    }
    hasTransport_ = false;
    if (followed_ != SyncSource::Internal) {
        followed_ = SyncSource::Internal;
        sequencer_.stop();
        followedRunning_.store(false, std::memory_order_release);
        // Only a RUN pressed from now on plays.
        run_ = parameters_.transport().run;
        return;
    }
    const LiveParameters::Transport transport = parameters_.transport();
    if (transport.running && (!sequencer_.Running() || transport.run != run_)) {
        run_ = transport.run;
        sequencer_.start();
        // A start plays its first step (count-in or step 0) at once. RUN starts over: hits a
        // run stopped just before still owed are not played into the new one.
        clock_.restart(position_, snapshot_.tempoBpm);
        late_.tracks = 0;
        clocks_ = {};
        clockPart_ = 0;
        startOwed_ = true;
        markCount_ = 0;
        pass_ = 0;
    } else if (!transport.running && sequencer_.Running()) {
        sequencer_.stop();
        endClockOut(0, scheduler);
    }
}

void StepPlayer::playStep(std::uint64_t due, std::uint64_t blockStart,
                          sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    // A batch being written keeps the last step's values for this step.
    (void)parameters_.read(snapshot_);
    if (snapshot_.loadCount != loadCount_) {
        loadCount_ = snapshot_.loadCount;
        sequencer_.load();
        // The follower starts over with the pattern.
        startOwed_ = true;
    }
    const bool followed = following();
    const bool onTransport = parameters_.sync() == SyncSource::JackTransport;
    // Any interval the window can set lies in 3 ... 5; a broken one must not stop the clock.
    const int interval =
        pattern::isValidInterval(snapshot_.inputs.interval) ? snapshot_.inputs.interval : 4;
    sequencer::StepEvent step;
    double length = 15.0 * static_cast<double>(clock_.sampleRate()) /
                    static_cast<double>(sequencer::clampTempo(snapshot_.tempoBpm));
    if (followed) {
        // The master's Start is the count-in's place, and its clock the only tempo.
        sequencer::StepInputs inputs = snapshot_.inputs;
        inputs.intro = false;
        if (onTransport) {
            // The transport says which step this is, whatever the pattern played before.
            sequencer_.locate(sequencer::stepInLoop(
                gridNext_,
                pattern::playbackLoopLength(inputs.interval, inputs.beats, inputs.beginner)));
            gridLast_ = gridNext_++;
            length = grid_.stepFrames();
        } else {
            length = follower_.clockFrames() * sequencer::kClocksPerBeat / interval;
        }
        step = sequencer_.step(inputs);
    } else {
        step = sequencer_.step(snapshot_.inputs);
    }
    step.frame = due;
    mark(step, length);
    const auto offset = static_cast<std::uint32_t>(due - blockStart);
    const int swingUnits =
        pattern::swingDelayUnits(snapshot_.inputs.swing, snapshot_.inputs.interval, step.step);
    // A followed grid swings as our own does: the beats stay on the master's, the steps between
    // them come later by the same share of the step the master's tempo makes.
    late_.frame = followed ? due + static_cast<std::uint64_t>(std::llround(
                                       length * swingUnits / pattern::kSwingDelayUnitsPerStep))
                           : clock_.swungFrame(snapshot_.tempoBpm, swingUnits);
    late_.tracks = step.hits;
    late_.beginner = step.beginner;
    if (step.hits != 0) {
        const auto column = static_cast<std::size_t>(step.step);
        for (std::size_t track = 0; track < late_.velocities.size(); ++track)
            late_.velocities[track] = snapshot_.inputs.velocities[track][column];
    }
    if (late_.frame == due)
        soundLateHits(blockStart, scheduler);
    if (step.click)
        scheduler.clickAt(offset);
    report(PlaybackEvent{.step = step, .run = run_, .isLiveHit = false, .hit = {}});
    lastStepFrame_ = due;
    if (onTransport)
        return;
    if (followed) {
        followUnits_ +=
            kUnitsPerClock * sequencer::kClocksPerBeat / static_cast<unsigned>(interval);
        return;
    }
    placeClocks(step, blockStart, scheduler);
    // The tempo read at this step sets when the next one falls due.
    clock_.advance(snapshot_.tempoBpm);
}

void StepPlayer::report(const PlaybackEvent& event) noexcept  // audio thread
{
    if (!events_.push(event))
        dropped_.fetch_add(1, std::memory_order_relaxed);
    else if (news_ != nullptr)
        news_->notify();
}

void StepPlayer::mark(const sequencer::StepEvent& step,
                      double length) noexcept  // audio thread
{
    Mark& mark = marks_[markNext_];
    markNext_ = (markNext_ + 1) % kMarkCount;
    markCount_ = std::min(markCount_ + 1, kMarkCount);
    mark.frame = step.frame;
    mark.length = std::max(length, 1.0);
    mark.countIn = step.kind == sequencer::StepEvent::Kind::CountIn;
    if (mark.countIn) {
        // The count-in is a pre-roll: whatever is played into it belongs on the first step.
        mark.step = mark.nextStep = 0;
        mark.pass = mark.nextPass = pass_ + 1;
        return;
    }
    if (step.step == 0)
        ++pass_;
    mark.step = step.step;
    mark.nextStep = step.nextStep;
    mark.pass = pass_;
    mark.nextPass = step.nextStep == 0 ? pass_ + 1 : pass_;
}

void StepPlayer::liveHit(int track, int velocity,
                         std::uint64_t frame) noexcept  // audio thread
{
    if (!sequencer_.Running())
        return;
    // The latest step taken at or before the hit; a hit before the run's first step (input of
    // the block before RUN) has no place in it.
    const Mark* near = nullptr;
    for (std::size_t i = 0; i < markCount_; ++i) {
        const Mark& candidate = marks_[(markNext_ + kMarkCount - 1 - i) % kMarkCount];
        if (candidate.frame <= frame) {
            near = &candidate;
            break;
        }
    }
    if (near == nullptr)
        return;
    LiveHit hit{.track = static_cast<std::int8_t>(track),
                .velocity = static_cast<std::uint8_t>(std::clamp(velocity, 1, 127)),
                .step = near->step,
                .offset =
                    static_cast<float>(static_cast<double>(frame - near->frame) / near->length),
                .pass = near->pass};
    if (hit.offset > 0.5f) {
        hit.step = near->nextStep;
        hit.pass = near->nextPass;
        hit.offset -= 1.0f;
    }
    if (near->countIn)
        hit.offset = 0.0f;  // no step to be early or late for
    report(PlaybackEvent{.step = {}, .run = run_, .isLiveHit = true, .hit = hit});
}

void StepPlayer::soundLateHits(std::uint64_t blockStart,
                               sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    const auto offset = static_cast<std::uint32_t>(late_.frame - blockStart);
    // Track order matters: the hi-hat stops a ringing open hi-hat before that is started.
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        if ((late_.tracks >> track) & 1u)
            scheduler.padAt(track, offset, late_.velocities[static_cast<std::size_t>(track)],
                            late_.beginner);
    }
    late_.tracks = 0;
}

void StepPlayer::placeClocks(const sequencer::StepEvent& step, std::uint64_t blockStart,
                             sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    clocks_ = {};
    if (!snapshot_.clockOut) {
        // Turned off mid-run: the follower is told to stop rather than left waiting.
        if (clockRunning_)
            scheduler.realtimeAt(static_cast<std::uint32_t>(step.frame - blockStart),
                                 sound::kMidiStop);
        clockRunning_ = false;
        startOwed_ = true;
        return;
    }
    // Turned on mid-run, the clock runs at once, and Start waits for the loop's next step 0.
    if (startOwed_ && step.kind == sequencer::StepEvent::Kind::Pattern && step.step == 0) {
        startOwed_ = false;
        // A follower starts with the first clock after Start: the one on this step's frame.
        scheduler.realtimeAt(static_cast<std::uint32_t>(step.frame - blockStart),
                             sound::kMidiStart);
        clockPart_ = 0;
    }
    clockRunning_ = true;
    constexpr int kPartsPerStep = sound::kMidiClocksPerBeat;
    // Any interval the window can set lies in 3 ... 5; a broken one must not stop the clock.
    const int interval =
        pattern::isValidInterval(snapshot_.inputs.interval) ? snapshot_.inputs.interval : 4;
    for (; clockPart_ < kPartsPerStep; clockPart_ += interval)
        clocks_.frames[clocks_.count++] =
            clock_.frameWithin(snapshot_.tempoBpm, clockPart_, kPartsPerStep);
    clockPart_ -= kPartsPerStep;
}

void StepPlayer::sendClock(std::uint64_t blockStart,
                           sound::BlockScheduler& scheduler) noexcept  // audio thread
{
    scheduler.realtimeAt(static_cast<std::uint32_t>(clocks_.frames[clocks_.next] - blockStart),
                         sound::kMidiClock);
    ++clocks_.next;
}

}  // namespace taktwerk::playback
