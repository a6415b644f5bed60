// The main window driven with real mouse clicks and keys on Qt's offscreen platform, with a
// recording playback in place of the sound engine.

#include "ui/MainWindow.h"

#include "app/FakePlayback.h"  // tests/app
#include "rhythms/RhythmFile.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>

namespace taktwerk::ui {
namespace {

using namespace std::chrono_literals;

constexpr int kBass = 0;
constexpr int kSnare = 1;
constexpr int kHiHat = 2;
constexpr int kOpenHiHat = 3;
constexpr int kRide = 4;
constexpr int kTom2 = 7;

const QColor kRed{0xFF, 0x00, 0x00};
const QColor kNavy{0x00, 0x00, 0x80};
const QColor kMuted{0xC0, 0x00, 0x00};
const QColor kUnmuted{0x00, 0x80, 0x00};
const QColor kPadHit{0xFF, 0x80, 0x80};
const QColor kPadIdle{0xE0, 0xE0, 0xE0};
const QColor kGrey{0xC0, 0xC0, 0xC0};
const QColor kYellow{0xFF, 0xFF, 0x00};

int px(int twips) { return (twips + 7) / 15; }

// What the user sees: the colour painted inside a control's border, left of any caption.
QColor paintedColour(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    const auto inset = static_cast<int>(4 * image.devicePixelRatio());
    return image.pixelColor(inset, image.height() / 2);
}

class AnsweringQuestions final : public Questions {
public:
    bool askYesNo(QWidget* /*parent*/, const QString& text) override
    {
        asked.push_back(text);
        return answer;
    }
    void tell(QWidget* /*parent*/, const QString& text) override { told.push_back(text); }
    bool answer = true;
    QStringList told;
    QStringList asked;
};

// Where the "Mode" setting goes at close: a settings file of the test's own.
app::Settings testSettings()
{
    app::Settings settings;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    settings.IniFile = std::filesystem::temp_directory_path() /
                       ("taktwerk-window-" + std::string(test->name()) + "-" +
                        std::to_string(QCoreApplication::applicationPid()) + ".ini");
    std::filesystem::remove(settings.IniFile);
    return settings;
}

struct TestWindow {
    TestWindow() : machine(testSettings(), std::make_unique<testing::FakePlayback>(log))
    {
        window = std::make_unique<MainWindow>(machine, questions);
        window->show();
    }
    void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(widget, button);
    }
    void setRow(int track, std::initializer_list<int> on)
    {
        for (int step = 0; step < 32; ++step) {
            const bool wanted = std::find(on.begin(), on.end(), step) != on.end();
            if (machine.StepIsOn(track, step) != wanted)
                click(window->stepButton(track, step));
        }
    }
    int yellowLineX() const
    {
        for (const LinesPanel::Line& line : window->upperLines()->lines())
            if (line.colour == kYellow)
                return line.x;
        return -1;
    }
    // The beat lines and the step grid are laid out from separate tables, yet the yellow line
    // must stand in the gap right after the loop's last step, and the play markers start in
    // column 0.
    bool yellowLineEndsTheLoop(int beats) const
    {
        const QRect last = window->stepButton(kBass, beats - 1)->geometry();
        const int next = beats < 32 ? window->stepButton(kBass, beats)->geometry().left()
                                    : window->upperLines()->width();
        const int x = yellowLineX();
        return x > last.right() && x < next;
    }
    bool markersInColumn(int step) const
    {
        const QRect column = window->stepButton(kBass, step)->geometry();
        return column.left() <= window->upperLines()->marker() &&
               window->upperLines()->marker() <= column.right();
    }
    int shownColumns(int track) const
    {
        int shown = 0;
        for (int step = 0; step < 32; ++step)
            shown += window->stepButton(track, step)->isVisible() ? 1 : 0;
        return shown;
    }

    ~TestWindow()
    {
        window.reset();
        (void)machine.shutdown();  // writes "Mode" one last time; then clean it away
        std::filesystem::remove(machine.settings().IniFile);
    }

    testing::PlaybackLog log;
    app::DrumMachine machine;
    AnsweringQuestions questions;
    std::unique_ptr<MainWindow> window;
};

TEST(MainWindow, EveryControlShowsTheMachinesStateFromTheStart)
{
    // What a fresh start holds is the drum machine's to say (DrumMachineTest); every control
    // must show exactly that, and the window's own captions.
    TestWindow t;
    const app::DrumMachine& machine = t.machine;
    for (int track = 0; track < 9; ++track) {
        SCOPED_TRACE(track);
        for (int step = 0; step < 32; ++step)
            EXPECT_EQ(t.window->stepButton(track, step)->fill(),
                      machine.StepIsOn(track, step) ? kRed : kNavy)
                << step;
        EXPECT_EQ(paintedColour(t.window->muteButton(track)),
                  machine.isMuted(track) ? kMuted : kUnmuted);
    }
    const pattern::MeterState& meter = machine.meter();
    for (int option = 0; option < 3; ++option) {
        EXPECT_EQ(t.window->intervalOption(option)->isChecked(), meter.intervalOption() == option);
        EXPECT_EQ(t.window->beatsOption(option)->isChecked(), meter.beatsOption() == option);
        EXPECT_EQ(t.window->beatsOption(option)->text().toStdString(), meter.beatsCaption(option));
    }
    EXPECT_TRUE(t.yellowLineEndsTheLoop(meter.Beats()));
    EXPECT_TRUE(t.markersInColumn(0));
    EXPECT_EQ(t.window->introBox()->isChecked(), machine.intro());
    EXPECT_EQ(t.window->modeBox()->isChecked(), machine.isBeginner());
    EXPECT_EQ(t.window->tempoBar()->value(), machine.tempoBpm());
    EXPECT_EQ(t.window->tempoLabel()->text(), QString::number(machine.tempoBpm()));

    EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");
    EXPECT_EQ(t.window->runButton()->text(), "R U N");
    EXPECT_EQ(t.window->tapButton()->toolTip(), "Rechtsklick = Reset");
    EXPECT_EQ(t.window->padButton(kSnare)->toolTip(), "Rechtsklick = Change Sound");
    EXPECT_TRUE(t.window->padButton(kBass)->toolTip().isEmpty());
}

TEST(MainWindow, AStepClickTogglesValueAndColourAndLeavesNoFocus)
{
    TestWindow t;
    FlatButton* step = t.window->stepButton(kSnare, 5);
    ASSERT_FALSE(t.machine.StepIsOn(kSnare, 5));
    t.click(step);
    EXPECT_TRUE(t.machine.StepIsOn(kSnare, 5));
    EXPECT_TRUE(step->isChecked());
    EXPECT_EQ(paintedColour(step), kRed);
    EXPECT_TRUE((t.log.inputs.rows[kSnare] >> 5) & 1u);
    EXPECT_FALSE(step->hasFocus());
    t.click(step);
    EXPECT_FALSE(t.machine.StepIsOn(kSnare, 5));
    EXPECT_EQ(paintedColour(step), kNavy);
    // The rows are independent: the open hi-hat next to a set hi-hat.
    t.click(t.window->stepButton(kOpenHiHat, 0));
    EXPECT_TRUE(t.machine.StepIsOn(kHiHat, 0));
    EXPECT_TRUE(t.machine.StepIsOn(kOpenHiHat, 0));
}

TEST(MainWindow, MeterOptionsShowColumnsAndMoveTheYellowLine)
{
    TestWindow t;
    t.click(t.window->intervalOption(2));  // "5"
    EXPECT_EQ(t.machine.meter().Beats(), 20);
    EXPECT_EQ(t.window->beatsOption(0)->text(), "10");
    EXPECT_EQ(t.window->beatsOption(2)->text(), "30");
    EXPECT_TRUE(t.window->beatsOption(1)->isChecked());
    for (int track = 0; track < 9; ++track)
        EXPECT_EQ(t.shownColumns(track), 30) << track;
    EXPECT_TRUE(t.yellowLineEndsTheLoop(20));
    t.click(t.window->beatsOption(2));  // "30"
    EXPECT_EQ(t.machine.meter().Beats(), 30);
    EXPECT_TRUE(t.yellowLineEndsTheLoop(30));

    t.click(t.window->intervalOption(0));  // "3": the loop goes back to four beats
    t.click(t.window->beatsOption(2));     // "24"
    EXPECT_EQ(t.machine.meter().Beats(), 24);
    EXPECT_EQ(t.shownColumns(kTom2), 24);
    EXPECT_TRUE(t.yellowLineEndsTheLoop(24));
    // Every other beat line is grey, in both panels, the first one after the first beat.
    const auto& upper = t.window->upperLines()->lines();
    const auto& lower = t.window->lowerLines()->lines();
    EXPECT_GT(upper[0].x, t.window->stepButton(kBass, 2)->geometry().right());
    EXPECT_LT(upper[0].x, t.window->stepButton(kBass, 3)->geometry().left());
    EXPECT_EQ(upper[0].colour, kGrey);
    EXPECT_EQ(lower[0].colour, QColor(0x80, 0x80, 0x80));

    t.click(t.window->intervalOption(1));
    t.click(t.window->beatsOption(0));  // "8": every column stays, the loop ends after 7
    EXPECT_EQ(t.shownColumns(kBass), 32);
    EXPECT_TRUE(t.yellowLineEndsTheLoop(8));
}

TEST(MainWindow, HiddenColumnsKeepTheirSteps)
{
    TestWindow t;
    t.click(t.window->stepButton(kTom2, 28));
    t.click(t.window->intervalOption(0));
    EXPECT_FALSE(t.window->stepButton(kTom2, 28)->isVisible());
    EXPECT_TRUE(t.machine.StepIsOn(kTom2, 28));
    t.click(t.window->intervalOption(1));
    EXPECT_TRUE(t.window->stepButton(kTom2, 28)->isVisible());
    EXPECT_EQ(paintedColour(t.window->stepButton(kTom2, 28)), kRed);
}

TEST(MainWindow, BeginnerViewComesAndGoesWithTheHiHatMemory)
{
    TestWindow t;
    t.setRow(kHiHat, {0, 2, 4});
    t.setRow(kOpenHiHat, {6});
    t.click(t.window->modeBox());
    ASSERT_TRUE(t.machine.isBeginner());
    EXPECT_EQ(t.window->size(), QSize(px(13690 - 105), px(5100 - 420)));
    EXPECT_EQ(t.window->gridPanel()->size(), QSize(px(6975), px(3495)));
    EXPECT_FALSE(t.window->intervalFrame()->isVisible());
    EXPECT_FALSE(t.window->beatFrame()->isVisible());
    EXPECT_FALSE(t.window->padButton(kOpenHiHat)->isVisible());
    EXPECT_EQ(t.window->padButton(kRide)->y(), px(3780));
    EXPECT_EQ(t.window->muteButton(kRide)->y(), px(2760));
    EXPECT_EQ(t.window->stepButton(kRide, 0)->y(), px(2820));
    EXPECT_EQ(t.window->tempoContainer()->x(), px(4450));
    EXPECT_EQ(t.window->muteContainer()->x(), px(8340));
    EXPECT_TRUE(t.window->animation()->isVisible());
    EXPECT_TRUE(t.window->logo()->isVisible());
    EXPECT_EQ(t.window->animation()->x(), px(9200));
    EXPECT_FALSE(t.window->stepButton(kBass, 16)->isVisible());
    EXPECT_EQ(paintedColour(t.window->stepButton(kHiHat, 6)), kRed);

    // A hi-hat set inside the view is lost when it is left.
    t.click(t.window->stepButton(kHiHat, 8));
    t.click(t.window->modeBox());
    ASSERT_FALSE(t.machine.isBeginner());
    EXPECT_EQ(t.window->size(), QSize(px(15885), px(7980)));
    EXPECT_TRUE(t.window->padButton(kOpenHiHat)->isVisible());
    EXPECT_EQ(t.window->padButton(kRide)->y(), px(4680));
    EXPECT_EQ(t.window->stepButton(kRide, 0)->y(), px(3720));
    EXPECT_FALSE(t.window->animation()->isVisible());
    EXPECT_EQ(paintedColour(t.window->stepButton(kHiHat, 6)), kNavy);
    EXPECT_EQ(paintedColour(t.window->stepButton(kHiHat, 8)), kNavy);
    EXPECT_EQ(paintedColour(t.window->stepButton(kOpenHiHat, 6)), kRed);
    EXPECT_EQ(t.shownColumns(kOpenHiHat), 32);
}

TEST(MainWindow, LeavingTheBeginnerViewLeavesAFourBeatLoop)
{
    TestWindow t;
    t.click(t.window->beatsOption(2));
    t.click(t.window->modeBox());
    t.click(t.window->modeBox());
    EXPECT_TRUE(t.window->beatsOption(1)->isChecked());
    EXPECT_EQ(t.machine.meter().Beats(), 16);
}

TEST(MainWindow, NewAnsweredNoChangesNothingAndBringsTheLibraryBack)
{
    TestWindow t;
    t.questions.answer = false;
    QSignalSpy library(t.window.get(), &MainWindow::libraryRequested);
    const pattern::Pattern before = t.machine.pattern();
    t.window->tempoBar()->setValue(90);
    t.window->NewRhythm();
    ASSERT_EQ(t.questions.asked.size(), 1);
    EXPECT_EQ(t.questions.asked[0], QString::fromUtf8("Wirklich alles zur\u00fccksetzen ?    "));
    EXPECT_EQ(library.count(), 1);
    EXPECT_EQ(t.machine.pattern(), before);
    EXPECT_EQ(t.window->tempoLabel()->text(), "90");
    EXPECT_EQ(t.machine.RhythmName(), "Default");
}

TEST(MainWindow, NewAnsweredYesClearsTheRhythm)
{
    TestWindow t;
    t.click(t.window->intervalOption(0));
    t.click(t.window->beatsOption(2));
    t.window->tempoBar()->setValue(200);
    t.window->tapButton()->setFill(kRed);  // as the count-in may have left it
    t.window->NewRhythm();
    EXPECT_EQ(paintedColour(t.window->stepButton(kBass, 0)), kNavy);
    for (int track = 0; track < 9; ++track)
        EXPECT_EQ(paintedColour(t.window->muteButton(track)), kUnmuted) << track;
    EXPECT_EQ(t.window->tempoLabel()->text(), "120");
    EXPECT_EQ(t.window->tempoBar()->value(), 120);
    EXPECT_EQ(paintedColour(t.window->tapButton()), kGrey);
    EXPECT_EQ(t.machine.meter().Beats(), 12);
    EXPECT_EQ(t.window->beatsOption(0)->text(), "6");
    EXPECT_TRUE(t.window->beatsOption(1)->isChecked());
}

TEST(MainWindow, TheCaptionSaysWhenNoAudioOutputPlays)
{
    TestWindow t;
    EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");
    t.log.audioOutput = false;
    t.window->showAudioOutputState();
    EXPECT_EQ(t.window->windowTitle(),
              QString::fromUtf8("Quorrel Taktwerk \u2013 no audio output"));
    t.log.audioOutput = true;
    t.window->showAudioOutputState();
    EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");
}

TEST(MainWindow, CaptionsAreTheProgramsOwnWithNothingAppended)
{
    // Qt appends an application display name to every window's caption (" \u2014 NAME", and
    // twice the name on the no-output caption); the captions are exact, so none may be set.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    EXPECT_EQ(QGuiApplication::applicationName(), "taktwerk");
    EXPECT_EQ(QGuiApplication::desktopFileName(), "taktwerk");
}

TEST(MainWindow, PlaybackIsPaintedFromTheEventsAndStopRestoresTheLooks)
{
    TestWindow t;
    t.click(t.window->runButton());
    EXPECT_EQ(t.log.starts, 1);
    EXPECT_EQ(t.window->runButton()->text(), "S T O P");
    EXPECT_EQ(paintedColour(t.window->runButton()), kMuted);
    EXPECT_TRUE(t.window->playbackTimer().isActive());

    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::Pattern;
    step.litPads = (1u << kBass) | (1u << kRide);
    step.markerColumn = 5;
    step.beatLight = sequencer::kBeatLightRed;
    t.log.queued.push_back(step);
    t.window->pollPlayback();
    EXPECT_EQ(paintedColour(t.window->padButton(kBass)), kPadHit);
    EXPECT_EQ(paintedColour(t.window->padButton(kRide)), kPadHit);  // muted, still lit
    EXPECT_EQ(paintedColour(t.window->padButton(kSnare)), kPadIdle);
    EXPECT_EQ(paintedColour(t.window->tapButton()), kRed);
    EXPECT_TRUE(t.markersInColumn(5));
    EXPECT_EQ(t.window->lowerLines()->marker(), t.window->upperLines()->marker());

    t.click(t.window->runButton());
    EXPECT_EQ(t.log.stops, 1);
    EXPECT_EQ(t.window->runButton()->text(), "R U N");
    EXPECT_EQ(paintedColour(t.window->runButton()), kUnmuted);
    EXPECT_EQ(paintedColour(t.window->tapButton()), kGrey);
    for (int track = 0; track < 9; ++track)
        EXPECT_EQ(t.window->padButton(track)->fill(), kPadIdle) << track;
    // The markers stay on the last column played.
    EXPECT_TRUE(t.markersInColumn(5));
    EXPECT_FALSE(t.window->playbackTimer().isActive());

    // A new start puts them back on column 0.
    t.click(t.window->runButton());
    EXPECT_TRUE(t.markersInColumn(0));
}

TEST(MainWindow, ALoadDuringPlaybackShowsTheRhythmFromItsFirstStep)
{
    TestWindow t;
    const auto file = std::filesystem::path(t.machine.settings().IniFile).replace_extension("rtm");
    t.click(t.window->intervalOption(2));
    t.click(t.window->beatsOption(0));
    t.click(t.window->muteButton(kBass));
    t.window->tempoBar()->setValue(97);
    rhythms::Rhythm rhythm = t.machine.currentRhythm();
    rhythm.name = "Five";
    rhythm.Tom2Sound = "Conga";
    ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, file));
    t.window->NewRhythm();
    t.click(t.window->intervalOption(1));
    t.click(t.window->beatsOption(2));

    t.click(t.window->runButton());
    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::Pattern;
    step.markerColumn = 9;
    t.log.queued.push_back(step);
    t.window->pollPlayback();
    ASSERT_TRUE(t.window->loadRhythm(file));
    std::filesystem::remove(file);
    EXPECT_TRUE(t.markersInColumn(0));
    EXPECT_EQ(t.log.restarts, 1);
    EXPECT_TRUE(t.machine.isRunning());
    EXPECT_TRUE(t.window->intervalOption(2)->isChecked());
    EXPECT_TRUE(t.window->beatsOption(0)->isChecked());
    EXPECT_EQ(t.window->beatsOption(0)->text(), "10");
    EXPECT_EQ(t.shownColumns(kBass), 30);
    EXPECT_EQ(t.window->tempoLabel()->text(), "97");
    EXPECT_EQ(paintedColour(t.window->muteButton(kBass)), kMuted);
    EXPECT_EQ(paintedColour(t.window->stepButton(kBass, 0)), kRed);
    EXPECT_EQ(t.machine.RhythmName(), "Five");
    EXPECT_EQ(t.window->padButton(kTom2)->text(), "Conga");
    EXPECT_EQ(t.log.soundChoices.back().tomSounds[1], "Conga");
}

TEST(MainWindow, AFileNamedOnTheCommandLineShowsAsALoadAndAMissingOneChangesNothing)
{
    TestWindow t;
    const auto file = std::filesystem::path(t.machine.settings().IniFile).replace_extension("rtm");
    t.click(t.window->muteButton(kBass));
    t.window->tempoBar()->setValue(97);
    ASSERT_TRUE(rhythms::writeRhythmFile(t.machine.currentRhythm(), file));
    t.window->NewRhythm();

    const auto missing = t.window->openRhythm(file.parent_path() / "Missing.rtm");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("gibt es nicht"), std::string::npos);
    EXPECT_EQ(t.window->tempoLabel()->text(), "120");

    ASSERT_TRUE(t.window->openRhythm(file));
    std::filesystem::remove(file);
    EXPECT_EQ(t.window->tempoLabel()->text(), "97");
    EXPECT_EQ(paintedColour(t.window->muteButton(kBass)), kMuted);
}

TEST(MainWindow, TheAnimationMovesOnlyInTheBeginnerView)
{
    TestWindow t;
    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::CountIn;
    step.beatLight = sequencer::kBeatLightGreen;
    step.animation = sequencer::AnimationFrame::Frame1;
    t.click(t.window->modeBox());
    const qint64 frame0 = t.window->animation()->pictureKey();
    t.click(t.window->runButton());
    t.log.queued.push_back(step);
    t.window->pollPlayback();
    EXPECT_NE(t.window->animation()->pictureKey(), frame0);
    EXPECT_EQ(paintedColour(t.window->tapButton()), QColor(0x00, 0xFF, 0x00));
    t.click(t.window->runButton());  // stop shows frame 0 again
    EXPECT_EQ(t.window->animation()->pictureKey(), frame0);
}

TEST(MainWindow, TapsUpdateTheTempoBarAndLabel)
{
    TestWindow t;
    auto now = app::DrumMachine::Clock::time_point(10s);
    t.window->setTapClock([&now] { return now; });
    QTest::mousePress(t.window->tapButton(), Qt::LeftButton);
    QTest::mouseRelease(t.window->tapButton(), Qt::LeftButton);
    EXPECT_EQ(t.window->tempoLabel()->text(), "120");
    now += 498ms;
    QTest::mousePress(t.window->tapButton(), Qt::LeftButton);
    EXPECT_EQ(t.window->tempoBar()->value(), 121);
    EXPECT_EQ(t.window->tempoLabel()->text(), "121");
    now += 497ms;
    QTest::mousePress(t.window->tapButton(), Qt::LeftButton);
    EXPECT_EQ(t.window->tempoBar()->value(), 120);
    EXPECT_EQ(t.log.tempoBpm, 120);

    // Right click resets: the next left tap only arms.
    QTest::mousePress(t.window->tapButton(), Qt::RightButton);
    now += 300ms;
    QTest::mousePress(t.window->tapButton(), Qt::LeftButton);
    EXPECT_EQ(t.window->tempoLabel()->text(), "120");
    now += 600ms;
    QTest::keyClick(t.window.get(), Qt::Key_T);
    EXPECT_EQ(t.window->tempoLabel()->text(), "100");
}

TEST(MainWindow, DraggingTheTempoBarUpdatesTheLabel)
{
    TestWindow t;
    t.window->tempoBar()->setValue(333);
    EXPECT_EQ(t.window->tempoLabel()->text(), "333");
    EXPECT_EQ(t.log.tempoBpm, 333);
}

TEST(MainWindow, MuteTogglesTurnRedAndGreen)
{
    TestWindow t;
    t.click(t.window->muteButton(kBass));
    EXPECT_TRUE(t.machine.isMuted(kBass));
    EXPECT_EQ(paintedColour(t.window->muteButton(kBass)), kMuted);
    t.click(t.window->muteButton(kRide));
    EXPECT_FALSE(t.machine.isMuted(kRide));
    EXPECT_EQ(paintedColour(t.window->muteButton(kRide)), kUnmuted);
    EXPECT_EQ(t.log.inputs.mutes, 1u << kBass);
    // A muted track's pad still plays.
    t.click(t.window->padButton(kBass));
    EXPECT_EQ(t.log.padsHit, std::vector<int>{kBass});
}

TEST(MainWindow, ARightClickOnATomStopsPlaybackAndAsksForTheSampleDialog)
{
    TestWindow t;
    QSignalSpy dialog(t.window.get(), &MainWindow::sampleDialogRequested);
    t.click(t.window->runButton());
    t.click(t.window->padButton(kTom2), Qt::RightButton);
    EXPECT_FALSE(t.machine.isRunning());
    EXPECT_EQ(t.window->runButton()->text(), "R U N");
    ASSERT_EQ(dialog.count(), 1);
    EXPECT_EQ(dialog.at(0).at(0).toInt(), 2);
    EXPECT_TRUE(t.log.padsHit.empty());
    // Snare and ride play with either button.
    t.click(t.window->padButton(kSnare), Qt::RightButton);
    EXPECT_EQ(t.log.padsHit, std::vector<int>{kSnare});
}

TEST(MainWindow, KeysStartStopAndTap)
{
    TestWindow t;
    QTest::keyClick(t.window.get(), Qt::Key_Space);
    EXPECT_TRUE(t.machine.isRunning());
    QTest::keyClick(t.window.get(), Qt::Key_Escape);
    EXPECT_FALSE(t.machine.isRunning());
    QTest::keyClick(t.window.get(), Qt::Key_Escape);  // stays stopped
    EXPECT_FALSE(t.machine.isRunning());
    QTest::keyClick(t.window.get(), Qt::Key_Space);
    QTest::keyClick(t.window.get(), Qt::Key_Space);
    EXPECT_FALSE(t.machine.isRunning());
    EXPECT_EQ(t.log.starts, 2);
}

TEST(MainWindow, IntroClickSoundsAClickAndSetsTheCountIn)
{
    TestWindow t;
    t.click(t.window->introBox());
    EXPECT_FALSE(t.log.inputs.intro);
    EXPECT_EQ(t.log.clicks, 1);
    t.click(t.window->introBox());
    EXPECT_TRUE(t.log.inputs.intro);
    EXPECT_EQ(t.log.clicks, 2);
}

TEST(MainWindow, ClosingWhilePlayingSilencesEverything)
{
    TestWindow t;
    t.click(t.window->runButton());
    ASSERT_TRUE(t.machine.isRunning());
    EXPECT_TRUE(t.window->close());
    EXPECT_FALSE(t.machine.isRunning());
    EXPECT_EQ(t.log.shutdowns, 1);
    EXPECT_FALSE(t.window->playbackTimer().isActive());
    EXPECT_FALSE(t.window->isVisible());
    std::ifstream ini(t.machine.settings().IniFile);
    std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Mode=0"), std::string::npos) << text;
}

}  // namespace
}  // namespace taktwerk::ui
