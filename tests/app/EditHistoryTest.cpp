// Undo and redo through the drum machine: every edit of the rhythm comes back exactly, in the
// window's state and in what the engine was told, and whether the rhythm is unsaved follows.

#include "FakeHost.h"
#include "app/DrumMachine.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace taktwerk::app {
namespace {

using testing::FakeHost;
using testing::HostLog;

constexpr int kBass = 0;
constexpr int kSnare = 1;
constexpr int kHiHat = 2;

struct Machine {
    Machine() : machine(Settings{}, std::make_unique<FakeHost>(log)) {}
    HostLog log;
    DrumMachine machine;
};

// What a user and the engine can tell apart of two rhythms.
struct Seen {
    pattern::GridState grid;
    int bpm = 0;
    pattern::Swing swing;
    std::string tom1;
    std::string soundSet;
    std::string name;
    sequencer::StepInputs published;
    int publishedBpm = 0;
};

Seen seen(const Machine& m)
{
    return {m.machine.grid(),
            m.machine.tempoBpm(),
            m.machine.swing(),
            m.machine.settings().Tom1Sound,
            m.machine.settings().SoundSet,
            m.machine.RhythmName(),
            m.log.inputs,
            m.log.tempoBpm};
}

void expectSame(const Seen& actual, const Seen& expected, const std::string& what)
{
    EXPECT_EQ(actual.grid, expected.grid) << what;
    EXPECT_EQ(actual.bpm, expected.bpm) << what;
    EXPECT_EQ(actual.swing, expected.swing) << what;
    EXPECT_EQ(actual.tom1, expected.tom1) << what;
    EXPECT_EQ(actual.soundSet, expected.soundSet) << what;
    EXPECT_EQ(actual.name, expected.name) << what;
    EXPECT_EQ(actual.published.rows, expected.published.rows) << what;
    EXPECT_EQ(actual.published.velocities, expected.published.velocities) << what;
    EXPECT_EQ(actual.published.mutes, expected.published.mutes) << what;
    EXPECT_EQ(actual.published.interval, expected.published.interval) << what;
    EXPECT_EQ(actual.published.beats, expected.published.beats) << what;
    EXPECT_EQ(actual.published.swing, expected.published.swing) << what;
    EXPECT_EQ(actual.publishedBpm, expected.publishedBpm) << what;
}

class Folder {
public:
    Folder()
        : path_(std::filesystem::temp_directory_path() /
                ("taktwerk-history-" + std::to_string(::getpid())))
    {
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

TEST(EditHistory, EveryEditIsUndoneAndRedoneExactlyAlsoWhilePlaying)
{
    Folder folder;
    const auto file = folder.path() / "Other.rtm";
    {
        Machine other;
        other.machine.setTempo(77);
        other.machine.setIntervalOption(2);
        other.machine.toggleStep(kBass, 5);
        ASSERT_TRUE(other.machine.saveRhythm(file, "Other"));
    }
    struct Case {
        const char* what;
        std::function<void(DrumMachine&)> edit;
    };
    const Case cases[] = {
        {"step", [](DrumMachine& m) { m.toggleStep(kSnare, 3); }},
        {"velocity", [](DrumMachine& m) { m.changeVelocity(kBass, 0, -40); }},
        {"mute", [](DrumMachine& m) { m.setMuted(kHiHat, true); }},
        {"interval", [](DrumMachine& m) { m.setIntervalOption(0); }},
        {"beats", [](DrumMachine& m) { m.setBeatsOption(2); }},
        {"tempo", [](DrumMachine& m) { m.setTempo(133); }},
        {"swing",
         [](DrumMachine& m) {
             m.setSwing({62, pattern::SwingNote::Eighth});
         }},
        {"tom sample", [](DrumMachine& m) { m.SetSingleSound(7, "Conga"); }},
        {"sample set", [](DrumMachine& m) { m.setSoundSet("Jazz"); }},
        {"new", [](DrumMachine& m) { m.newRhythm(); }},
        {"load", [&file](DrumMachine& m) { ASSERT_TRUE(m.loadRhythm(file)); }},
    };
    for (const Case& c : cases) {
        Machine m;
        m.machine.run();
        m.machine.toggleStep(kSnare, 9);  // an edited rhythm, not the start
        const Seen before = seen(m);
        c.edit(m.machine);
        const Seen after = seen(m);
        EXPECT_TRUE(m.machine.canUndo()) << c.what;
        const int publishes = m.log.publishes;
        const int restarts = m.log.restarts;
        ASSERT_TRUE(m.machine.undo()) << c.what;
        EXPECT_EQ(m.log.publishes, publishes + 1) << c.what << ": one batch";
        EXPECT_EQ(m.log.restarts, restarts) << c.what << ": plays on from where it is";
        expectSame(seen(m), before, std::string(c.what) + " undone");
        ASSERT_TRUE(m.machine.redo()) << c.what;
        expectSame(seen(m), after, std::string(c.what) + " redone");
        EXPECT_FALSE(m.machine.canRedo()) << c.what;
        EXPECT_TRUE(m.machine.isRunning()) << c.what;
    }
}

TEST(EditHistory, ADragOrATapSeriesIsOneEntryAndANewEditForgetsTheRedo)
{
    Machine m;
    for (int bpm = 121; bpm <= 140; ++bpm)
        m.machine.setTempo(bpm);
    m.machine.endEditSeries();  // the bar let go
    for (int bpm = 141; bpm <= 150; ++bpm)
        m.machine.setTempo(bpm);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.tempoBpm(), 140);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.tempoBpm(), 120);
    EXPECT_FALSE(m.machine.undo());

    // Taps 500 ms apart: 120 bpm, then 100 bpm from a fresh series after a reset.
    using namespace std::chrono_literals;
    const auto t0 = DrumMachine::Clock::time_point{} + 1h;
    m.machine.setTempo(90);
    for (int i = 0; i < 5; ++i)
        m.machine.tap(MouseButton::Left, t0 + i * 500ms);
    EXPECT_EQ(m.machine.tempoBpm(), 120);
    m.machine.tap(MouseButton::Right, t0 + 3s);
    for (int i = 0; i < 4; ++i)
        m.machine.tap(MouseButton::Left, t0 + 4s + i * 600ms);
    EXPECT_EQ(m.machine.tempoBpm(), 100);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.tempoBpm(), 120);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.tempoBpm(), 90);

    // The wheel on one step is one entry; on another step, another.
    for (int i = 0; i < 4; ++i)
        m.machine.changeVelocity(kBass, 0, -10);
    for (int i = 0; i < 2; ++i)
        m.machine.changeVelocity(kBass, 8, -10);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.velocity(kBass, 8), 127);
    EXPECT_EQ(m.machine.velocity(kBass, 0), 87);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_EQ(m.machine.velocity(kBass, 0), 127);

    EXPECT_TRUE(m.machine.canRedo());
    m.machine.toggleStep(kSnare, 1);
    EXPECT_FALSE(m.machine.canRedo());
    // An edit that changes nothing is no entry.
    ASSERT_TRUE(m.machine.undo());
    m.machine.setMuted(kBass, false);
    m.machine.setTempo(90);
    EXPECT_FALSE(m.machine.StepIsOn(kSnare, 1));
    EXPECT_TRUE(m.machine.canRedo());
}

TEST(EditHistory, TheViewIsNoEditButWhatComesBackIsShownInIt)
{
    Machine m;
    m.machine.toggleStep(kHiHat, 1);
    const pattern::GridState edited = m.machine.grid();
    m.machine.setBeginner(true);
    m.machine.toggleStep(kSnare, 4);
    ASSERT_TRUE(m.machine.undo());
    EXPECT_TRUE(m.machine.isBeginner());
    pattern::GridState folded = edited;
    pattern::setBeginnerView(folded, true);
    EXPECT_EQ(m.machine.grid(), folded);
    EXPECT_TRUE(m.log.inputs.beginner);
    ASSERT_TRUE(m.machine.undo());  // back past the fold to the start, still in its view
    EXPECT_TRUE(m.machine.isBeginner());
    m.machine.setBeginner(false);
    EXPECT_FALSE(m.machine.StepIsOn(kHiHat, 1));
    EXPECT_FALSE(m.machine.isModified());
}

TEST(EditHistory, KeepsItsLevelsAndNoMore)
{
    Machine m;
    const int edits = static_cast<int>(EditHistory::kDefaultLevels) + 50;
    for (int i = 0; i < edits; ++i)
        m.machine.toggleStep(i % 9, (i / 9) % 32);
    int undone = 0;
    while (m.machine.undo())
        ++undone;
    EXPECT_EQ(undone, static_cast<int>(EditHistory::kDefaultLevels));
    EXPECT_GE(undone, 200);
    int redone = 0;
    while (m.machine.redo())
        ++redone;
    EXPECT_EQ(redone, undone);
}

TEST(EditHistory, TheRhythmIsUnsavedExactlyWhileItDiffersFromItsFile)
{
    Folder folder;
    const auto file = folder.path() / "Mine.rtm";
    Machine m;
    EXPECT_FALSE(m.machine.isModified());
    m.machine.setBeginner(true);
    EXPECT_FALSE(m.machine.isModified()) << "a view is no edit";
    m.machine.setBeginner(false);
    m.machine.toggleStep(kSnare, 2);
    EXPECT_TRUE(m.machine.isModified());
    m.machine.undo();
    EXPECT_FALSE(m.machine.isModified()) << "back where it started";
    m.machine.redo();
    ASSERT_TRUE(m.machine.saveRhythm(file, "Mine"));
    EXPECT_FALSE(m.machine.isModified());
    m.machine.setTempo(99);
    EXPECT_TRUE(m.machine.isModified());
    // Undone past the save, the rhythm keeps its new name and file: the next save goes there.
    m.machine.undo();
    m.machine.undo();
    EXPECT_EQ(m.machine.RhythmName(), "Mine");
    EXPECT_EQ(m.machine.RhythmFile(), file);
    EXPECT_TRUE(m.machine.isModified());
    m.machine.newRhythm();
    EXPECT_FALSE(m.machine.isModified());
    ASSERT_TRUE(m.machine.loadRhythm(file));
    EXPECT_FALSE(m.machine.isModified());
    m.machine.undo();  // the load
    EXPECT_TRUE(m.machine.isModified()) << "the empty rhythm is not the file";
}

}  // namespace
}  // namespace taktwerk::app
