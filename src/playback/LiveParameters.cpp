#include "playback/LiveParameters.h"

#include <cstring>

namespace taktwerk::playback {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int kSwingNoteShift = 8;

std::uint32_t packSwing(const pattern::Swing& swing) noexcept
{
    return static_cast<std::uint32_t>(pattern::clampSwing(swing.percent)) |
           (static_cast<std::uint32_t>(swing.note) << kSwingNoteShift);
}

pattern::Swing unpackSwing(std::uint32_t word) noexcept
{
    const auto note = static_cast<pattern::SwingNote>(word >> kSwingNoteShift);
    return {static_cast<int>(word & 0xFFu),
            note == pattern::SwingNote::Eighth ? note : pattern::SwingNote::Sixteenth};
}
}  // namespace

LiveParameters::LiveParameters() noexcept
{
    setVelocities(pattern::defaultVelocities());
    setSwing({});
}

LiveParameters::Batch::Batch(LiveParameters& parameters) noexcept : parameters_(parameters)
{
    if (parameters_.batchDepth_++ > 0)
        return;
    parameters_.version_.fetch_add(1, relaxed);
    // The odd version is visible before any value of the batch is.
    std::atomic_thread_fence(std::memory_order_release);
}

LiveParameters::Batch::~Batch()
{
    if (--parameters_.batchDepth_ > 0)
        return;
    parameters_.version_.fetch_add(1, std::memory_order_release);
}

void LiveParameters::setRow(int track, pattern::Row row) noexcept
{
    rows_[static_cast<std::size_t>(track)].store(row, relaxed);
}

void LiveParameters::setRows(const pattern::Pattern& pattern) noexcept
{
    for (int track = 0; track < pattern::kTrackCount; ++track)
        setRow(track, pattern.row(track));
    setVelocities(pattern.velocities());
}

void LiveParameters::setVelocities(const pattern::Velocities& velocities) noexcept
{
    std::size_t word = 0;
    for (const pattern::VelocityRow& row : velocities) {
        for (std::size_t at = 0; at < row.size(); at += kVelocitiesPerWord) {
            std::uint64_t packed = 0;
            std::memcpy(&packed, row.data() + at, kVelocitiesPerWord);
            velocities_[word++].store(packed, relaxed);
        }
    }
}

void LiveParameters::setSwing(const pattern::Swing& swing) noexcept
{
    swing_.store(packSwing(swing), relaxed);
}

void LiveParameters::setMuted(int track, bool muted) noexcept
{
    const std::uint32_t bit = 1u << track;
    const std::uint32_t mask = mutes_.load(relaxed);
    mutes_.store(muted ? (mask | bit) : (mask & ~bit), relaxed);
}

void LiveParameters::setMutes(std::uint16_t mask) noexcept { mutes_.store(mask, relaxed); }

void LiveParameters::setTempo(int tempoBpm) noexcept
{
    tempoBpm_.store(sequencer::clampTempo(tempoBpm), relaxed);
}

void LiveParameters::setMeter(int interval, int beats) noexcept
{
    Batch batch(*this);
    interval_.store(interval, relaxed);
    beats_.store(beats, relaxed);
}

void LiveParameters::setIntro(bool checked) noexcept { intro_.store(checked, relaxed); }

void LiveParameters::setBeginner(bool on) noexcept { beginner_.store(on, relaxed); }

void LiveParameters::setClockOut(bool on) noexcept { clockOut_.store(on, relaxed); }

void LiveParameters::markLoaded() noexcept { loadCount_.fetch_add(1, relaxed); }

void LiveParameters::run() noexcept
{
    const std::uint32_t presses = transport_.load(relaxed) >> 1;
    transport_.store(((presses + 1) << 1) | 1u, std::memory_order_release);
}

void LiveParameters::stop() noexcept
{
    transport_.store(transport_.load(relaxed) & ~1u, std::memory_order_release);
}

bool LiveParameters::read(StepSnapshot& snapshot) const noexcept
{
    const std::uint32_t before = version_.load(std::memory_order_acquire);
    if (before & 1u)
        return false;
    StepSnapshot fresh;
    for (std::size_t track = 0; track < rows_.size(); ++track)
        fresh.inputs.rows[track] = rows_[track].load(relaxed);
    for (std::size_t word = 0; word < velocities_.size(); ++word) {
        const std::uint64_t packed = velocities_[word].load(relaxed);
        pattern::VelocityRow& row = fresh.inputs.velocities[word / kVelocityWordsPerRow];
        std::memcpy(row.data() + (word % kVelocityWordsPerRow) * kVelocitiesPerWord, &packed,
                    kVelocitiesPerWord);
    }
    fresh.inputs.swing = unpackSwing(swing_.load(relaxed));
    fresh.inputs.mutes = static_cast<std::uint16_t>(mutes_.load(relaxed));
    fresh.inputs.interval = interval_.load(relaxed);
    fresh.inputs.beats = beats_.load(relaxed);
    fresh.inputs.intro = intro_.load(relaxed);
    fresh.inputs.beginner = beginner_.load(relaxed);
    fresh.tempoBpm = tempoBpm_.load(relaxed);
    fresh.loadCount = loadCount_.load(relaxed);
    fresh.clockOut = clockOut_.load(relaxed);
    // Every value above was read before the version is checked again.
    std::atomic_thread_fence(std::memory_order_acquire);
    if (version_.load(relaxed) != before)
        return false;
    snapshot = fresh;
    return true;
}

LiveParameters::Transport LiveParameters::transport() const noexcept
{
    const std::uint32_t word = transport_.load(std::memory_order_acquire);
    return Transport{.running = (word & 1u) != 0, .run = word >> 1};
}

}  // namespace taktwerk::playback
