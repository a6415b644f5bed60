#include "app/DrumMachine.h"

#include "FakePlayback.h"
#include "app/LivePlayback.h"

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
using testing::FakePlayback;
using testing::PlaybackLog;

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
    explicit Machine(Settings settings = {})
        : machine(std::move(settings), std::make_unique<FakePlayback>(log))
    {
    }
    PlaybackLog log;
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

TEST(DrumMachine, NewRhythmInTheBeginnerViewEmptiesTheHiHatMemory)
{
    Machine m;
    ASSERT_NE(m.machine.pattern().RowToPattern(kHiHat), allOff());
    m.machine.setBeginner(true);
    m.machine.newRhythm();
    m.machine.setBeginner(false);
    EXPECT_EQ(m.machine.pattern().RowToPattern(kHiHat), allOff());
}

TEST(DrumMachine, StopDropsStepsOfTheRunThatEnded)
{
    Machine m;
    const auto started = m.machine.run();
    EXPECT_EQ(started.caption, "S T O P");
    EXPECT_EQ(started.markerColumn, 0);
    EXPECT_EQ(m.log.starts, 1);
    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::Pattern;
    step.markerColumn = 3;
    m.log.queued.push_back(step);
    sequencer::StepEvent got;
    ASSERT_TRUE(m.machine.pollEvent(got));
    EXPECT_EQ(got.markerColumn, 3);

    m.log.queued.push_back(step);
    const auto stopped = m.machine.stop();
    EXPECT_EQ(stopped.caption, "R U N");
    EXPECT_TRUE(stopped.resetsLights);
    EXPECT_EQ(m.log.stops, 1);
    EXPECT_FALSE(m.machine.pollEvent(got));
    EXPECT_TRUE(m.log.queued.empty());
}

TEST(DrumMachine, PadsPlayAndARightClickOnATomStopsForTheSampleDialog)
{
    Machine m;
    EXPECT_EQ(m.machine.pad(kSnare, MouseButton::Right), PadOutcome::Played);
    EXPECT_EQ(m.machine.pad(kTom2, MouseButton::Left), PadOutcome::Played);
    EXPECT_EQ(m.machine.EditTom(), 2);
    EXPECT_EQ(m.log.padsHit, (std::vector<int>{kSnare, kTom2}));

    (void)m.machine.run();
    EXPECT_EQ(m.machine.pad(8, MouseButton::Right), PadOutcome::OpenSampleDialog);
    EXPECT_FALSE(m.machine.isRunning());
    EXPECT_EQ(m.log.stops, 1);
    EXPECT_EQ(m.machine.EditTom(), 3);
    EXPECT_EQ(m.log.padsHit.size(), 2u);  // the tom did not sound
}

TEST(DrumMachine, ShutdownSilencesOnceAndStoresTheView)
{
    Folder folder;
    Settings settings;
    settings.IniFile = folder.path() / "taktwerk.ini";
    Machine m(settings);
    (void)m.machine.run();
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
    ASSERT_TRUE(m.machine.saveRhythm(file, "Groove"));
    EXPECT_EQ(m.machine.RhythmName(), "Groove");
    const pattern::GridState saved = m.machine.grid();

    m.machine.newRhythm();
    ASSERT_TRUE(m.machine.loadRhythm(file));
    EXPECT_EQ(m.machine.pattern(), saved.pattern);
    EXPECT_EQ(m.machine.grid().mutes, saved.mutes);
    EXPECT_EQ(m.machine.meter(), saved.meter);
    EXPECT_EQ(m.machine.tempoBpm(), 97);
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
        EXPECT_EQ(opened.error().message, "Die Datei \"" + c.file.string() + "\" gibt es nicht.");
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
// step source plays the published rhythm and hands each step to the window's queue.
TEST(LivePlayback, StepsOfARunReachTheWindowAndStopEndsThem)
{
    Folder folder;
    Settings settings;
    settings.SoundDir = folder.path();
    settings.IniFile = folder.path() / "taktwerk.ini";
    DrumMachine machine(settings, std::make_unique<LivePlayback>(settings));
    machine.setIntro(false);
    machine.setTempo(450);
    (void)machine.run();

    std::vector<int> columns;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    sequencer::StepEvent event;
    while (columns.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        while (machine.pollEvent(event))
            columns.push_back(event.markerColumn);
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_GE(columns.size(), 3u);
    EXPECT_EQ(columns[0], 0);
    EXPECT_EQ(columns[1], 1);
    EXPECT_EQ(columns[2], 2);

    (void)machine.stop();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(machine.pollEvent(event));
    EXPECT_TRUE(machine.shutdown());
}

}  // namespace
}  // namespace taktwerk::app
