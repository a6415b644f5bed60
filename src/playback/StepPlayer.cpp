#include "playback/StepPlayer.h"

#include "sound/VoiceSet.h"

namespace taktwerk::playback {

StepPlayer::StepPlayer(const LiveParameters& parameters, std::uint32_t sampleRate) noexcept
    : parameters_(parameters), clock_(sampleRate)
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
    followTransport();
    const std::uint64_t blockStart = position_;
    const std::uint64_t blockEnd = blockStart + frames;
    // Bounded: a step lasts at least 15 * rate / 450 frames.
    while (sequencer_.Running() && clock_.dueFrame() < blockEnd)
        playStep(blockStart, scheduler);
    position_ = blockEnd;
}

void StepPlayer::followTransport() noexcept  // audio thread
{
    const LiveParameters::Transport transport = parameters_.transport();
    if (transport.running && (!sequencer_.Running() || transport.run != run_)) {
        run_ = transport.run;
        // The looks of RUN and STOP are the window's to paint; only the counters matter here.
        (void)sequencer_.start(snapshot_.inputs.beginner);
        // A start plays its first step (count-in or step 0) at once.
        clock_.restart(position_, snapshot_.tempoBpm);
    } else if (!transport.running && sequencer_.Running()) {
        (void)sequencer_.stop(snapshot_.inputs.beginner);
    }
}

void StepPlayer::playStep(std::uint64_t blockStart, sound::BlockScheduler& scheduler) noexcept
{
    // A batch being written keeps the last step's values for this step.
    (void)parameters_.read(snapshot_);
    if (snapshot_.loadCount != loadCount_) {
        loadCount_ = snapshot_.loadCount;
        sequencer_.load();
    }
    const std::uint64_t due = clock_.dueFrame();
    sequencer::StepEvent step = sequencer_.step(snapshot_.inputs);
    step.frame = due;
    const auto offset = static_cast<std::uint32_t>(due - blockStart);
    // Track order matters: the hi-hat stops a ringing open hi-hat before that is started.
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        if ((step.hits >> track) & 1u)
            scheduler.padAt(track, offset, sound::kFullVelocity);
    }
    if (step.click)
        scheduler.clickAt(offset);
    if (!events_.push(PlaybackEvent{step, run_}))
        dropped_.fetch_add(1, std::memory_order_relaxed);
    // The tempo read at this step sets when the next one falls due.
    clock_.advance(snapshot_.tempoBpm);
}

}  // namespace taktwerk::playback
