// The live parameters between two real threads: the drum machine publishing whole rhythms in
// batches while the audio thread reads a snapshot for every step.

#include "playback/LiveParameters.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace taktwerk::playback {
namespace {

using Clock = std::chrono::steady_clock;

// Everything a batch writes follows from one counter, the loads published so far, so a reader
// can tell from the snapshot alone whether any value belongs to another batch. Each value
// changes from one batch to the next, or a torn read would go unnoticed.
pattern::Row rowFor(std::uint32_t load, int track)
{
    return load * 0x9E3779B1u + static_cast<std::uint32_t>(track) * 0x85EBCA77u;
}
std::uint16_t mutesFor(std::uint32_t load) { return static_cast<std::uint16_t>(load * 37u); }
int tempoFor(std::uint32_t load)
{
    return sequencer::kMinTempoBpm +
           static_cast<int>(load % (sequencer::kMaxTempoBpm - sequencer::kMinTempoBpm + 1));
}
int intervalFor(std::uint32_t load) { return 3 + static_cast<int>(load % 6); }
int beatsFor(std::uint32_t load) { return 12 + static_cast<int>(load % 21); }

// A rhythm load as the drum machine publishes it: the whole state in one batch, the meter in a
// batch of its own nested inside.
void publishLoad(LiveParameters& parameters, std::uint32_t load)
{
    const LiveParameters::Batch batch(parameters);
    for (int track = 0; track < pattern::kTrackCount; ++track)
        parameters.setRow(track, rowFor(load, track));
    parameters.setMutes(mutesFor(load));
    parameters.setTempo(tempoFor(load));
    parameters.setMeter(intervalFor(load), beatsFor(load));
    parameters.setIntro(load % 2 == 1);
    parameters.setBeginner(load % 3 == 0);
    parameters.markLoaded();
}

// Empty when the snapshot is whole; else what does not belong to its load.
std::string tornValues(const StepSnapshot& snapshot)
{
    const std::uint32_t load = snapshot.loadCount;
    const sequencer::StepInputs& inputs = snapshot.inputs;
    std::string torn;
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        if (inputs.rows[static_cast<std::size_t>(track)] != rowFor(load, track))
            torn += " row " + std::to_string(track);
    }
    if (inputs.mutes != mutesFor(load))
        torn += " mutes";
    if (snapshot.tempoBpm != tempoFor(load))
        torn += " tempo";
    if (inputs.interval != intervalFor(load) || inputs.beats != beatsFor(load))
        torn += " meter";
    if (inputs.intro != (load % 2 == 1) || inputs.beginner != (load % 3 == 0))
        torn += " flags";
    return torn;
}

TEST(LiveParameters, AReaderOnAnotherThreadNeverSeesHalfABatch)
{
    // A torn read needs the writer to begin a batch within the few nanoseconds the reader
    // takes; with read()'s second look at the version left out, that happens about once in a
    // million loads on a desktop machine. So the test writes for three seconds (or ten million
    // loads), which ends in time under ThreadSanitizer, too.
    constexpr std::uint32_t kLoads = 10'000'000;
    constexpr auto kLongest = std::chrono::seconds(3);

    LiveParameters parameters;
    publishLoad(parameters, 1);  // from the first read on, every value follows the counter
    std::atomic<bool> writing{true};
    std::atomic<std::uint64_t> wholeReads{0};
    std::uint64_t refusedReads = 0;
    std::uint64_t tornReads = 0;
    std::uint64_t backwards = 0;
    std::string firstTear;
    std::thread audio([&] {
        StepSnapshot snapshot;
        std::uint32_t lastLoad = 0;
        while (writing.load(std::memory_order_acquire)) {
            if (!parameters.read(snapshot)) {
                ++refusedReads;
                continue;
            }
            wholeReads.fetch_add(1, std::memory_order_relaxed);
            if (const std::string torn = tornValues(snapshot); !torn.empty()) {
                if (tornReads++ == 0)
                    firstTear = "load " + std::to_string(snapshot.loadCount) + ":" + torn;
            }
            if (snapshot.loadCount < lastLoad)
                ++backwards;
            lastLoad = snapshot.loadCount;
        }
    });

    const auto giveUp = Clock::now() + kLongest;
    std::uint32_t load = 1;
    while (load < kLoads && Clock::now() < giveUp)
        publishLoad(parameters, ++load);
    writing.store(false, std::memory_order_release);
    audio.join();

    EXPECT_EQ(tornReads, 0u) << tornReads << " torn; the first at " << firstTear;
    EXPECT_EQ(backwards, 0u) << "a snapshot older than the one before it";
    // Without reads during the writing the test proves nothing; the refused ones show that
    // the reader really did meet batches half written.
    EXPECT_GT(wholeReads.load(), 0u);
    RecordProperty("loads", static_cast<int>(load));
    RecordProperty("whole_reads", std::to_string(wholeReads.load()));
    RecordProperty("refused_reads", std::to_string(refusedReads));
}

}  // namespace
}  // namespace taktwerk::playback
