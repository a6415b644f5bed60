#include "app/DrumMachine.h"

#include "FakeHost.h"
#include "app/LiveHostOptions.h"
#include "devices/support/TestOutputs.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace taktwerk::app {
namespace {

using namespace std::chrono_literals;
using testing::FakeHost;
using testing::HostLog;

constexpr int kBass = 0;
constexpr int kSnare = 1;
constexpr int kHiHat = 2;
constexpr int kRide = 4;
constexpr int kTom2 = 7;

std::string allOff() { return std::string(32, '_'); }

class Folder {
public:
    Folder()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ =
            std::filesystem::temp_directory_path() /
            ("taktwerk-machine-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Machine {
    explicit Machine(Settings settings = {}) : machine(std::move(settings), makeHost()) {}
    std::unique_ptr<FakeHost> makeHost()
    {
        auto made = std::make_unique<FakeHost>(log);
        host = made.get();
        return made;
    }
    HostLog log;
    FakeHost* host = nullptr;  // the machine's
    DrumMachine machine;
};

TEST(DrumMachine, StartsWithTheDesignedRhythmAndPublishesIt)
{
    Machine m;
    EXPECT_EQ(m.machine.pattern().RowToPattern(kBass), "X_______X_X_____X___X___X___X___");
    EXPECT_EQ(m.machine.HiHatMemory(), m.machine.pattern().RowToPattern(kHiHat));
    EXPECT_TRUE(m.machine.isMuted(kRide));
    EXPECT_FALSE(m.machine.isMuted(kBass));
    // The one place that says what a fresh start holds; the window test checks that every
    // control shows it.
    EXPECT_EQ(m.machine.meter().Interval(), 4);
    EXPECT_EQ(m.machine.meter().Beats(), 16);
    EXPECT_EQ(m.machine.meter().intervalOption(), 1);
    EXPECT_EQ(m.machine.meter().beatsOption(), 1);
    EXPECT_TRUE(m.machine.intro());
    EXPECT_EQ(m.machine.tempoBpm(), 120);
    EXPECT_EQ(m.machine.RhythmName(), "Default");
    // What the engine plays from the first step on is what the window shows.
    EXPECT_EQ(m.log.inputs.rows, m.machine.pattern().rows());
    EXPECT_EQ(m.log.inputs.mutes, 1u << kRide);
    EXPECT_TRUE(m.log.inputs.intro);
    EXPECT_EQ(m.log.tempoBpm, 120);
}

TEST(DrumMachine, EveryEditReachesTheEngineAtOnce)
{
    Machine m;
    m.machine.toggleStep(kSnare, 20);
    EXPECT_TRUE((m.log.inputs.rows[kSnare] >> 20) & 1u);
    m.machine.setMuted(kBass, true);
    EXPECT_EQ(m.log.inputs.mutes, (1u << kRide) | (1u << kBass));
    m.machine.setIntervalOption(0);
    EXPECT_EQ(m.log.inputs.interval, 3);
    EXPECT_EQ(m.log.inputs.beats, 12);
    m.machine.setBeatsOption(2);
    EXPECT_EQ(m.log.inputs.beats, 24);
    m.machine.setIntro(false);
    EXPECT_FALSE(m.log.inputs.intro);
    // The tempo bar's range holds whatever is asked.
    m.machine.setTempo(500);
    EXPECT_EQ(m.log.tempoBpm, 450);
    m.machine.setTempo(10);
    EXPECT_EQ(m.log.tempoBpm, 35);
}

TEST(DrumMachine, VelocitiesFollowTheStepsAndReachTheEngine)
{
    Machine m;
    m.machine.setNewStepVelocity(40);
    m.machine.toggleStep(kSnare, 5);  // on: the velocity for new steps
    EXPECT_EQ(m.machine.velocity(kSnare, 5), 40);
    EXPECT_EQ(m.log.inputs.velocities[kSnare][5], 40);
    // Wheel and keys: within 1 ... 127, and only on a set step.
    EXPECT_TRUE(m.machine.changeVelocity(kSnare, 5, 8));
    EXPECT_EQ(m.log.inputs.velocities[kSnare][5], 48);
    EXPECT_TRUE(m.machine.changeVelocity(kSnare, 5, -100));
    EXPECT_EQ(m.machine.velocity(kSnare, 5), 1);
    EXPECT_FALSE(m.machine.changeVelocity(kSnare, 5, -1)) << "already the quietest";
    EXPECT_FALSE(m.machine.changeVelocity(kSnare, 6, 8)) << "an unset step";
    EXPECT_EQ(m.machine.velocity(kSnare, 6), 127);
    // Off again: back to full strength, so the rhythm saves without velocities.
    m.machine.toggleStep(kSnare, 5);
    EXPECT_EQ(m.machine.velocity(kSnare, 5), 127);
    EXPECT_TRUE(m.machine.pattern().hasDefaultVelocities());
    m.machine.setNewStepVelocity(0);
    EXPECT_EQ(m.machine.newStepVelocity(), 1);
    m.machine.setNewStepVelocity(300);
    EXPECT_EQ(m.machine.newStepVelocity(), 127);
}

TEST(DrumMachine, SwingIsKeptAtEveryIntervalAndPlaysAtFour)
{
    Machine m;
    m.machine.setSwing({90, pattern::SwingNote::Eighth});
    EXPECT_EQ(m.machine.swing(), (pattern::Swing{75, pattern::SwingNote::Eighth}));
    EXPECT_EQ(m.log.inputs.swing, m.machine.swing());
    EXPECT_TRUE(m.machine.swingPlays());
    m.machine.setIntervalOption(0);
    EXPECT_FALSE(m.machine.swingPlays());
    EXPECT_EQ(m.log.inputs.swing, m.machine.swing()) << "kept, though not heard";
    m.machine.setIntervalOption(1);
    EXPECT_TRUE(m.machine.swingPlays());
    m.machine.newRhythm();
    EXPECT_EQ(m.machine.swing(), pattern::Swing{});
    EXPECT_EQ(m.log.inputs.swing, pattern::Swing{});
}

TEST(DrumMachine, TheVolumeActsAtOnceAndIsKeptFromTheNextExitOn)
{
    Folder folder;
    Settings settings;
    settings.IniFile = folder.path() / "taktwerk.ini";
    {
        Machine m(settings);
        EXPECT_EQ(m.machine.volume(), 100);
        ASSERT_TRUE(m.machine.shutdown());
    }
    std::ifstream untouched(settings.IniFile, std::ios::binary);
    std::stringstream before;
    before << untouched.rdbuf();
    EXPECT_EQ(before.str().find("Volume"), std::string::npos) << "unchanged: not written";

    Machine m(settings);
    m.machine.setVolume(140);
    m.machine.setVolume(64);
    EXPECT_EQ(m.log.volumes, (std::vector<int>{100, 64}));
    EXPECT_EQ(m.machine.volume(), 64);
    ASSERT_TRUE(m.machine.shutdown());
    Settings again = settings;
    LoadSettings(again);
    EXPECT_EQ(again.Volume, 64);
}

TEST(DrumMachine, NewRhythmInTheBeginnerViewEmptiesTheHiHatMemory)
{
    Machine m;
    ASSERT_NE(m.machine.pattern().RowToPattern(kHiHat), allOff());
    m.machine.setBeginner(true);
    m.machine.newRhythm();
    m.machine.setBeginner(false);
    EXPECT_EQ(m.machine.pattern().RowToPattern(kHiHat), allOff());
}

TEST(DrumMachine, RunAndStopGoToTheHostWhichAloneKnowsWhetherItRuns)
{
    Machine m;
    m.machine.setTempo(200);
    m.machine.run();
    EXPECT_TRUE(m.machine.isRunning());
    EXPECT_EQ(m.log.starts, 1);
    EXPECT_EQ(m.log.tempoBpm, 200) << "what RUN plays is published first";
    m.machine.stop();
    EXPECT_FALSE(m.machine.isRunning());
    EXPECT_EQ(m.log.stops, 1);

    // Without a host nothing runs, and nothing pretends to.
    DrumMachine silent;
    silent.run();
    EXPECT_FALSE(silent.isRunning());
    sequencer::StepEvent event;
    EXPECT_FALSE(silent.pollEvent(event));
    EXPECT_EQ(silent.news(), nullptr);
}

TEST(DrumMachine, PadsPlayAndARightClickOnATomStopsForTheSampleDialog)
{
    Machine m;
    EXPECT_EQ(m.machine.pad(kSnare, MouseButton::Right), PadOutcome::Played);
    EXPECT_EQ(m.machine.pad(kTom2, MouseButton::Left), PadOutcome::Played);
    EXPECT_EQ(m.machine.EditTom(), 2);
    EXPECT_EQ(m.log.padsHit, (std::vector<int>{kSnare, kTom2}));

    m.machine.run();
    EXPECT_EQ(m.machine.pad(8, MouseButton::Right), PadOutcome::OpenSampleDialog);
    EXPECT_FALSE(m.machine.isRunning());
    EXPECT_EQ(m.log.stops, 1);
    EXPECT_EQ(m.machine.EditTom(), 3);
    EXPECT_EQ(m.log.padsHit.size(), 2u);  // the tom did not sound
}

// What the audio thread placed on the grid, as the window's drain of the queue records it.
void deliver(Machine& m, const std::vector<playback::LiveHit>& hits)
{
    for (const playback::LiveHit& hit : hits)
        m.host->queueLiveHit(hit);
    sequencer::StepEvent event;
    while (m.machine.pollEvent(event)) {
    }
}

playback::LiveHit liveHit(int track, int step, int velocity, std::uint32_t pass)
{
    return {.track = static_cast<std::int8_t>(track),
            .velocity = static_cast<std::uint8_t>(velocity),
            .step = static_cast<std::int16_t>(step),
            .offset = 0.0f,
            .pass = pass};
}

TEST(DrumMachine, RecordingWritesLiveHitsWithTheirVelocityOneUndoEntryAPass)
{
    Machine m;
    m.machine.newRhythm();
    const pattern::Pattern empty = m.machine.pattern();
    m.machine.run();
    deliver(m, {liveHit(kSnare, 4, 90, 1)});
    EXPECT_EQ(m.machine.pattern(), empty) << "REC is off";

    m.machine.setRecording(true);
    ASSERT_TRUE(m.machine.isRecording());
    deliver(m, {liveHit(kSnare, 4, 90, 1), liveHit(kBass, 0, 127, 1)});
    deliver(m, {liveHit(kSnare, 12, 40, 1), liveHit(kHiHat, 0, 20, 2), liveHit(kSnare, 4, 70, 2)});
    EXPECT_EQ(m.log.inputs.rows[kSnare], (1u << 4) | (1u << 12)) << "the engine hears it";
    EXPECT_EQ(m.machine.velocity(kSnare, 4), 70) << "the latest hit on a step sets it";
    EXPECT_EQ(m.machine.velocity(kSnare, 12), 40);
    EXPECT_EQ(m.machine.velocity(kHiHat, 0), 20);
    EXPECT_TRUE(m.machine.isModified());

    // Pass 2 goes back at once, then all of pass 1, then what New left.
    ASSERT_TRUE(m.machine.undo());
    EXPECT_FALSE(m.machine.StepIsOn(kHiHat, 0));
    EXPECT_EQ(m.machine.velocity(kSnare, 4), 90);
    EXPECT_TRUE(m.machine.StepIsOn(kSnare, 12));
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.pattern(), empty);
    ASSERT_TRUE(m.machine.redo());
    EXPECT_TRUE(m.machine.StepIsOn(kBass, 0));

    // An edit of the user's between two hits of a pass makes the rest an entry of its own: an
    // undo never takes the user's edit away with the recording.
    deliver(m, {liveHit(kRide, 1, 100, 1)});
    m.machine.setMuted(kRide, true);
    deliver(m, {liveHit(kRide, 2, 100, 1)});
    ASSERT_TRUE(m.machine.undo());
    EXPECT_FALSE(m.machine.StepIsOn(kRide, 2));
    EXPECT_TRUE(m.machine.isMuted(kRide));
}

TEST(DrumMachine, ANewRunOrTakeRecordsIntoNewUndoEntries)
{
    Machine m;
    m.machine.newRhythm();
    m.machine.setRecording(true);
    m.machine.run();
    deliver(m, {liveHit(kBass, 0, 127, 1)});
    m.machine.stop();
    m.machine.run();
    deliver(m, {liveHit(kBass, 2, 127, 1)});  // pass 1 again, of another run
    m.machine.setRecording(false);
    m.machine.setRecording(true);
    deliver(m, {liveHit(kBass, 4, 127, 1)});  // and of another take
    ASSERT_TRUE(m.machine.undo());
    EXPECT_TRUE(m.machine.StepIsOn(kBass, 2));
    EXPECT_FALSE(m.machine.StepIsOn(kBass, 4));
    ASSERT_TRUE(m.machine.undo());
    EXPECT_TRUE(m.machine.StepIsOn(kBass, 0));
    EXPECT_FALSE(m.machine.StepIsOn(kBass, 2));
}

TEST(DrumMachine, ALiveHitOffTheGridIsPassedOver)
{
    Machine m;
    m.machine.newRhythm();
    m.machine.setRecording(true);
    m.machine.run();
    const auto before = m.machine.pattern();
    deliver(m, {liveHit(-1, 0, 100, 1), liveHit(pattern::kTrackCount, 0, 100, 1),
                liveHit(kBass, -1, 100, 1), liveHit(kBass, pattern::kStepCount, 100, 1)});
    EXPECT_EQ(m.machine.pattern(), before);
    deliver(m, {liveHit(kBass, 3, 0, 1)});  // no velocity can be quieter than the softest
    EXPECT_EQ(m.machine.velocity(kBass, 3), pattern::kMinVelocity);
}

TEST(DrumMachine, MidiLearnMapsTheNextNoteStruckToThePadAndTheEngineHearsIt)
{
    Machine m;
    EXPECT_EQ(m.machine.takeLearnedNote(), std::nullopt) << "not learning";
    m.log.hearNoteOn(70);  // struck before learning began: not the note to learn
    m.machine.learnNote(kTom2);
    EXPECT_EQ(m.machine.learningTrack(), kTom2);
    EXPECT_EQ(m.machine.takeLearnedNote(), std::nullopt) << "nothing struck yet";
    m.log.hearNoteOn(36);  // the bass drum's: moves to tom 2
    EXPECT_EQ(m.machine.takeLearnedNote(), 36);
    EXPECT_EQ(m.machine.learningTrack(), -1) << "one note a click";
    EXPECT_EQ(m.machine.drumNotes().notesText(kTom2), "36 45 47") << "added to its own";
    EXPECT_EQ(m.machine.drumNotes().notesText(kBass), "35");
    EXPECT_EQ(m.log.drumNotes, m.machine.drumNotes()) << "the engine plays by it at once";
    EXPECT_EQ(m.machine.settings().drumNotes, m.machine.drumNotes()) << "kept for saving";

    // The same note once more, learned for the bass drum: two strikes are two news.
    m.machine.learnNote(kBass);
    m.log.hearNoteOn(36);
    EXPECT_EQ(m.machine.takeLearnedNote(), 36);
    EXPECT_EQ(m.machine.drumNotes().notesText(kBass), "35 36");

    // Cancelled, or for no pad: what is struck then is no one's.
    const sound::DrumNoteMap before = m.machine.drumNotes();
    for (int track : {-1, pattern::kTrackCount, kSnare}) {
        m.machine.learnNote(track);
        m.machine.cancelLearning();
        m.log.hearNoteOn(99);
        EXPECT_EQ(m.machine.takeLearnedNote(), std::nullopt) << track;
    }
    m.machine.learnNote(pattern::kTrackCount);
    EXPECT_EQ(m.machine.learningTrack(), -1);
    EXPECT_EQ(m.machine.drumNotes(), before);
}

TEST(DrumMachine, ShutdownSilencesOnceAndStoresTheView)
{
    Folder folder;
    Settings settings;
    settings.IniFile = folder.path() / "taktwerk.ini";
    Machine m(settings);
    m.machine.run();
    m.machine.setBeginner(true);
    EXPECT_TRUE(m.machine.shutdown());
    EXPECT_TRUE(m.machine.shutdown());
    EXPECT_EQ(m.log.shutdowns, 1);
    EXPECT_FALSE(m.machine.isRunning());
    std::ifstream ini(settings.IniFile, std::ios::binary);
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("Mode=1"), std::string::npos) << text.str();
}

TEST(DrumMachine, ASavedRhythmLoadsBackAndRestartsThePattern)
{
    Folder folder;
    const auto file = folder.path() / "Groove.rtm";
    Machine m;
    m.machine.setIntervalOption(2);
    m.machine.setBeatsOption(2);
    m.machine.setTempo(97);
    m.machine.setMuted(kBass, true);
    m.machine.setSwing({60, pattern::SwingNote::Sixteenth});
    m.machine.setNewStepVelocity(33);
    m.machine.toggleStep(kSnare, 29);
    ASSERT_TRUE(m.machine.saveRhythm(file, "Groove"));
    EXPECT_EQ(m.machine.RhythmName(), "Groove");
    const pattern::GridState saved = m.machine.grid();

    m.machine.newRhythm();
    ASSERT_TRUE(m.machine.loadRhythm(file));
    EXPECT_EQ(m.machine.pattern(), saved.pattern);
    EXPECT_EQ(m.machine.grid().mutes, saved.mutes);
    EXPECT_EQ(m.machine.meter(), saved.meter);
    EXPECT_EQ(m.machine.tempoBpm(), 97);
    EXPECT_EQ(m.machine.velocity(kSnare, 29), 33);
    EXPECT_EQ(m.machine.swing().percent, 60) << "kept at five steps per beat";
    EXPECT_EQ(m.log.inputs.velocities[kSnare][29], 33);
    EXPECT_EQ(m.machine.RhythmName(), "Groove");
    EXPECT_EQ(m.machine.RhythmFile(), file);
    EXPECT_EQ(m.log.restarts, 1);
    EXPECT_EQ(m.log.soundChoices.size(), 1u);
    EXPECT_EQ(m.log.tempoBpm, 97);
    EXPECT_EQ(m.log.inputs.beats, 30);
}

TEST(DrumMachine, AFailedLoadChangesNothing)
{
    Folder folder;
    Machine m;
    const pattern::GridState before = m.machine.grid();
    const auto loaded = m.machine.loadRhythm(folder.path());  // a folder, not a file
    ASSERT_FALSE(loaded);
    EXPECT_FALSE(loaded.error().message.empty());
    EXPECT_EQ(m.machine.grid(), before);
    EXPECT_EQ(m.machine.RhythmName(), "Default");
    EXPECT_EQ(m.log.restarts, 0);
}

TEST(DrumMachine, AFileNamedByTheUserMustExistWhereTheLibraryWouldLoadTheDefault)
{
    Folder folder;
    std::filesystem::create_symlink("loop", folder.path() / "loop");
    const auto groove = folder.path() / "Groove.rtm";
    Machine m;
    m.machine.setTempo(97);
    ASSERT_TRUE(m.machine.saveRhythm(groove, "Groove"));
    m.machine.setTempo(120);
    m.machine.toggleStep(kSnare, 3);
    const pattern::GridState before = m.machine.grid();

    struct Case {
        std::filesystem::path file;
        const char* detail;  // empty: none, or some reason from the system
    };
    for (const Case& c :
         {Case{folder.path() / "Missing.rtm", ""}, Case{folder.path() / "loop", "symbolic links"},
          Case{folder.path() / "Groove.rtm" / "x.rtm", ""}}) {
        const auto opened = m.machine.openRhythm(c.file);
        ASSERT_FALSE(opened) << c.file;
        EXPECT_EQ(opened.error().message, "The file \"" + c.file.string() + "\" does not exist.");
        if (*c.detail == '\0')
            EXPECT_EQ(opened.error().detail, "") << c.file;  // never "Success"
        else
            EXPECT_NE(opened.error().detail.find(c.detail), std::string::npos)
                << opened.error().detail;
        EXPECT_EQ(m.machine.grid(), before);
    }
    EXPECT_EQ(m.log.restarts, 0);

    ASSERT_TRUE(m.machine.openRhythm(groove));
    EXPECT_EQ(m.machine.tempoBpm(), 97);
    EXPECT_EQ(m.machine.RhythmFile(), groove);
}

}  // namespace
}  // namespace taktwerk::app

namespace taktwerk::app {
namespace {

// The real chain on a machine without sound: the null output's clock runs the engine, whose
// step source plays the published rhythm and hands each step to the window's queue, waking
// whoever waits for it.
struct LiveMachine {
    explicit LiveMachine(const std::filesystem::path& folder)
    {
        settings.SoundDir = folder;
        settings.IniFile = folder / "taktwerk.ini";
        machine = std::make_unique<DrumMachine>(
            settings, std::make_unique<playback::LiveHost>(
                          liveHostOptions(settings),
                          std::make_unique<devices::testing::TestOutputs>(device, false)));
    }
    // The markers' columns of the steps that arrive within `forHowLong`, sleeping on the news.
    std::vector<int> columns(std::size_t wanted, std::chrono::milliseconds forHowLong)
    {
        std::vector<int> seen;
        const auto deadline = std::chrono::steady_clock::now() + forHowLong;
        sequencer::StepEvent event;
        while (seen.size() < wanted && std::chrono::steady_clock::now() < deadline) {
            (void)machine->news()->wait(10ms);
            while (machine->pollEvent(event))
                seen.push_back(event.markerColumn);
        }
        return seen;
    }
    devices::testing::TestDevice device;
    Settings settings;
    std::unique_ptr<DrumMachine> machine;
};

TEST(LiveMachine, StepsOfARunReachTheWindowAndThoseOfAnEndedRunNever)
{
    Folder folder;
    LiveMachine live(folder.path());
    DrumMachine& machine = *live.machine;
    machine.setIntro(false);
    machine.setTempo(450);
    machine.run();
    EXPECT_EQ(live.columns(3, 10s), (std::vector<int>{0, 1, 2}));

    // Steps keep coming while nobody takes them; a STOP and a new RUN make all of them stale,
    // so the first step shown is the new run's first.
    std::this_thread::sleep_for(150ms);
    machine.stop();
    machine.run();
    const std::vector<int> restarted = live.columns(2, 10s);
    ASSERT_EQ(restarted.size(), 2u);
    EXPECT_EQ(restarted[0], 0);
    EXPECT_EQ(restarted[1], 1);

    machine.stop();
    std::this_thread::sleep_for(50ms);
    sequencer::StepEvent event;
    EXPECT_FALSE(machine.pollEvent(event));
    EXPECT_FALSE(machine.isRunning());
    EXPECT_TRUE(machine.shutdown());
    EXPECT_FALSE(machine.hasAudioOutput());
}

TEST(LiveMachine, PadPressesWhileRecordingLandInTheGridThroughTheAudioThread)
{
    Folder folder;
    LiveMachine live(folder.path());
    DrumMachine& machine = *live.machine;
    machine.newRhythm();
    machine.setIntro(false);
    machine.setTempo(450);
    machine.setRecording(true);
    machine.run();
    ASSERT_FALSE(live.columns(2, 10s).empty());
    for (int press = 0; press < 3; ++press) {
        (void)machine.pad(kTom2, MouseButton::Left);
        (void)live.columns(1, 10s);
    }
    machine.stop();
    (void)live.columns(1, 200ms);  // the hits met on the way to no further step
    int recorded = 0;
    for (int step = 0; step < pattern::kStepCount; ++step) {
        if (machine.StepIsOn(kTom2, step)) {
            ++recorded;
            EXPECT_EQ(machine.velocity(kTom2, step), pattern::kMaxVelocity);
        }
    }
    EXPECT_GE(recorded, 1);
    EXPECT_LE(recorded, 3);
    EXPECT_TRUE(machine.canUndo());
    EXPECT_TRUE(machine.shutdown());
}

}  // namespace
}  // namespace taktwerk::app
