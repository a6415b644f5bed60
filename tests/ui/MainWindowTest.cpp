// The main window driven with real mouse clicks and keys on Qt's offscreen platform, with a
// recording playback in place of the sound engine.

#include "ui/MainWindow.h"

#include "app/FakeHost.h"  // tests/app
#include "rhythms/RhythmFile.h"
#include "ui/NameDialog.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QWheelEvent>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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
const QString kSaveChanges = QString::fromUtf8(
    "Der Rhythmus wurde ge\u00e4ndert. M\u00f6chten Sie die \u00c4nderungen speichern?");

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
    Answer askYesNoCancel(QWidget* /*parent*/, const QString& text) override
    {
        asked.push_back(text);
        return threeWay;
    }
    void tell(QWidget* /*parent*/, const QString& text) override { told.push_back(text); }
    bool answer = true;
    Answer threeWay = Answer::No;  // unsaved changes dropped, as before the question was asked
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

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

struct TestWindow {
    explicit TestWindow(app::Settings settings = testSettings())
        : host(new testing::FakeHost(log)),
          machine(std::move(settings), std::unique_ptr<testing::FakeHost>(host))
    {
        window = std::make_unique<MainWindow>(machine, questions);
        window->show();
    }
    // A step arrives as from the audio thread: queued, with news, painted by the event loop.
    void play(const sequencer::StepEvent& step)
    {
        host->queue(step);
        QTest::qWait(1);  // the news is handled; nobody calls the window
        QCoreApplication::processEvents();
    }
    bool timersRun() const
    {
        return !QAbstractEventDispatcher::instance()->registeredTimers(window.get()).isEmpty();
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

    testing::HostLog log;
    testing::FakeHost* host;  // the machine's
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
        EXPECT_EQ(t.window->beatsOption(option)->text(),
                  QString::number(meter.optionBeats(option)));
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
    EXPECT_EQ(t.window->padButton(kSnare)->toolTip(), "Taste 2\nRechtsklick = Change Sound");
    EXPECT_EQ(t.window->padButton(kBass)->toolTip(), "Taste 1") << "names its key only";
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
    EXPECT_EQ(t.window->size(), QSize(px(13690 - 105), px(5100 - 420 + 585)));
    EXPECT_EQ(t.window->grooveStrip()->y(), px(5100 - 420));
    EXPECT_FALSE(t.window->newVelocityGroup()->isVisible());
    EXPECT_TRUE(t.window->volumeGroup()->isVisible());
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
    EXPECT_EQ(t.window->size(), QSize(px(15885), px(7980 + 585)));
    EXPECT_EQ(t.window->grooveStrip()->y(), px(7980));
    EXPECT_TRUE(t.window->newVelocityGroup()->isVisible());
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
    t.questions.threeWay = Answer::Cancel;
    QSignalSpy library(t.window.get(), &MainWindow::libraryRequested);
    const pattern::Pattern before = t.machine.pattern();
    // Nothing unsaved: only whether to reset.
    t.window->NewRhythm();
    ASSERT_EQ(t.questions.asked.size(), 1);
    EXPECT_EQ(t.questions.asked[0], QString::fromUtf8("Wirklich alles zur\u00fccksetzen ?    "));
    EXPECT_EQ(library.count(), 1);
    // Unsaved changes: whether to save them, and Cancel is the No of the reset.
    t.window->tempoBar()->setValue(90);
    t.window->NewRhythm();
    ASSERT_EQ(t.questions.asked.size(), 2);
    EXPECT_EQ(t.questions.asked[1], kSaveChanges);
    EXPECT_EQ(library.count(), 2);
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
              QString::fromUtf8("Quorrel Taktwerk \u2013 keine Audioausgabe"));
    t.log.audioOutput = true;
    t.window->showAudioOutputState();
    EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");

    // Samples that could not be loaded are never silence passed off as a working set.
    t.log.soundProblem = "3 Samples nicht geladen";
    t.window->showAudioOutputState();
    EXPECT_EQ(t.window->windowTitle(),
              QString::fromUtf8("Quorrel Taktwerk \u2013 3 Samples nicht geladen"));
    t.log.audioOutput = false;
    t.window->showAudioOutputState();
    EXPECT_EQ(t.window->windowTitle(),
              QString::fromUtf8("Quorrel Taktwerk \u2013 keine Audioausgabe "
                                "\u2013 3 Samples nicht geladen"));
}

TEST(MainWindow, TheCaptionSaysHowManyLiveHitsWereLostAsSoonAsPlaybackReports)
{
    TestWindow t;
    t.machine.run();
    sequencer::StepEvent step;
    step.step = 0;
    t.play(step);
    EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");
    // Lost on the audio thread; the window learns of it with the next news, unasked.
    t.log.lostLiveHits = 3;
    step.step = 1;
    t.play(step);
    EXPECT_EQ(t.window->windowTitle(),
              QString::fromUtf8("Quorrel Taktwerk \u2013 3 Live-Schläge verloren"));
    t.log.soundProblem = "1 Sample nicht geladen";
    t.log.lostLiveHits = 12;
    step.step = 2;
    t.play(step);
    EXPECT_EQ(t.window->windowTitle(),
              QString::fromUtf8("Quorrel Taktwerk \u2013 1 Sample nicht geladen \u2013 12 "
                                "Live-Schläge verloren"));
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
    EXPECT_FALSE(t.timersRun()) << "steps wake the window; nothing polls for them";

    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::Pattern;
    step.litPads = (1u << kBass) | (1u << kRide);
    step.markerColumn = 5;
    step.beatLight = sequencer::BeatLight::Downbeat;
    t.play(step);
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
    EXPECT_FALSE(t.timersRun());

    // A new start puts them back on column 0.
    t.click(t.window->runButton());
    EXPECT_TRUE(t.markersInColumn(0));
}

TEST(MainWindow, ABurstOfStepsPaintsWhatTheLastLeavesAndACountInLeavesThePads)
{
    TestWindow t;
    t.click(t.window->runButton());
    sequencer::StepEvent first;
    first.kind = sequencer::StepEvent::Kind::Pattern;
    first.litPads = 1u << kSnare;
    first.markerColumn = 3;
    first.beatLight = sequencer::BeatLight::Downbeat;
    sequencer::StepEvent second = first;
    second.litPads = 1u << kBass;
    second.markerColumn = 4;
    second.beatLight = sequencer::BeatLight::Off;
    // As after a stall: both wait when the window wakes.
    t.host->queue(first);
    t.host->queue(second);
    t.play(sequencer::StepEvent{.kind = sequencer::StepEvent::Kind::CountIn});
    EXPECT_EQ(paintedColour(t.window->padButton(kBass)), kPadHit);
    EXPECT_EQ(paintedColour(t.window->padButton(kSnare)), kPadIdle);
    EXPECT_TRUE(t.markersInColumn(4));
    EXPECT_EQ(paintedColour(t.window->tapButton()), kGrey);
}

TEST(MainWindow, AStepRepaintsOnlyTheMarkersVisibleStripsAndNoStepToggle)
{
    TestWindow t;
    t.click(t.window->runButton());
    QTest::qWait(20);
    // Between the bass drum and snare rows, where the marker shows through.
    const auto gap = [&t](int column) {
        const QImage panel = t.window->upperLines()->grab().toImage();
        const double ratio = panel.devicePixelRatio();
        const QRect bass = t.window->stepButton(kBass, column)->geometry();
        const QRect snare = t.window->stepButton(kSnare, column)->geometry();
        const QPoint middle((bass.left() + bass.right()) / 2, (bass.bottom() + snare.top()) / 2);
        return panel.pixelColor(static_cast<int>(middle.x() * ratio),
                                static_cast<int>(middle.y() * ratio));
    };
    ASSERT_EQ(gap(0), kRed);
    // The marker lies behind the toggles: the ones it leaves and enters look the same after,
    // so painting them again would only cost time, eight times a second.
    const PaintCounter left(t.window->stepButton(kBass, 0));
    const PaintCounter entered(t.window->stepButton(kBass, 5));
    const PaintCounter enteredBelow(t.window->stepButton(kTom2, 5));
    const PaintCounter untouched(t.window->stepButton(kBass, 20));
    const PaintCounter upper(t.window->upperLines());

    sequencer::StepEvent step;
    step.kind = sequencer::StepEvent::Kind::Pattern;
    step.markerColumn = 5;
    t.play(step);
    QTest::qWait(20);
    EXPECT_EQ(left.count, 0);
    EXPECT_EQ(entered.count, 0);
    EXPECT_EQ(enteredBelow.count, 0);
    EXPECT_EQ(untouched.count, 0);
    EXPECT_GT(upper.count, 0) << "the gaps between the toggles show the marker";
    EXPECT_EQ(gap(5), kRed);
    EXPECT_EQ(gap(0), QColor(0x40, 0x40, 0x40)) << "the old place shows the panel again";
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
    t.play(step);
    ASSERT_TRUE(t.markersInColumn(9));
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
    step.beatLight = sequencer::BeatLight::Beat;
    step.animation = sequencer::AnimationFrame::Frame1;
    t.click(t.window->modeBox());
    const qint64 frame0 = t.window->animation()->pictureKey();
    t.click(t.window->runButton());
    t.play(step);
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

TEST(MainWindow, RecTogglesByButtonAndRKeyAndPaintsWhatIsRecorded)
{
    TestWindow t;
    FlatButton* rec = t.window->recordButton();
    EXPECT_EQ(rec->text(), "REC");
    EXPECT_FALSE(t.machine.isRecording());
    EXPECT_EQ(rec->fill(), kGrey);
    t.click(rec);
    EXPECT_TRUE(t.machine.isRecording());
    EXPECT_EQ(rec->fill(), kRed);
    QTest::keyClick(t.window.get(), Qt::Key_R);
    EXPECT_FALSE(t.machine.isRecording());
    EXPECT_EQ(rec->fill(), kGrey);
    QTest::keyClick(t.window.get(), Qt::Key_R);
    EXPECT_TRUE(t.machine.isRecording());

    // A hit the audio thread placed is painted with the steps around it.
    t.click(t.window->runButton());
    ASSERT_FALSE(t.machine.StepIsOn(kSnare, 6));
    t.host->queueLiveHit({.track = kSnare, .velocity = 64, .step = 6, .offset = 0.1f, .pass = 1});
    sequencer::StepEvent step;
    step.markerColumn = 6;
    t.play(step);
    EXPECT_TRUE(t.machine.StepIsOn(kSnare, 6));
    EXPECT_EQ(paintedColour(t.window->stepButton(kSnare, 6)), kRed);
    EXPECT_EQ(t.window->stepButton(kSnare, 6)->velocity(), 64);
    EXPECT_TRUE(t.window->windowTitle().endsWith(" *")) << "the rhythm is changed";

    // The button keeps its place in the beginner view, inside the narrower window.
    t.click(t.window->modeBox());
    EXPECT_TRUE(rec->isVisible());
    EXPECT_LE(rec->mapTo(t.window.get(), QPoint(rec->width(), 0)).x(), t.window->width());
}

TEST(MainWindow, WhileFollowingTheTempoBarAndTapAreOffAndShowTheMastersTempo)
{
    app::Settings settings = testSettings();
    settings.sync = playback::SyncSource::MidiClock;
    TestWindow t(settings);
    EXPECT_FALSE(t.window->tempoBar()->isEnabled());
    EXPECT_FALSE(t.window->tapButton()->isEnabled());
    EXPECT_EQ(t.window->tempoLabel()->text(), "--.-") << "nothing measured yet";
    const int before = t.machine.tempoBpm();
    QTest::keyClick(t.window.get(), Qt::Key_T);
    QTest::keyClick(t.window.get(), Qt::Key_T);
    QTest::keyClick(t.window.get(), Qt::Key_Plus);
    EXPECT_EQ(t.machine.tempoBpm(), before) << "our tempo is left alone";

    t.log.followedTempoTenths = 1234;
    sequencer::StepEvent step;
    step.markerColumn = 1;
    t.click(t.window->runButton());
    t.play(step);
    EXPECT_EQ(t.window->tempoLabel()->text(), "123.4");
    EXPECT_EQ(t.window->tempoBar()->value(), 123);

    // Our own clock again: all back as it was.
    ASSERT_TRUE(t.machine.setSyncSource(playback::SyncSource::Internal));
    t.window->refreshAll();
    EXPECT_TRUE(t.window->tempoBar()->isEnabled());
    EXPECT_TRUE(t.window->tapButton()->isEnabled());
    EXPECT_EQ(t.window->tempoLabel()->text(), QString::number(before));
}

// The mouse wheel over a widget: `notches` up (negative: down), with the modifiers given.
void turnWheel(QWidget* widget, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

const QColor kHeadroom{0x60, 0x00, 0x00};

TEST(MainWindow, ASetStepShowsItsVelocityAsABarAndInItsTooltip)
{
    TestWindow t;
    StepButton* step = t.window->stepButton(kSnare, 5);
    t.click(step);
    EXPECT_EQ(step->toolTip(), "Velocity 127");
    EXPECT_EQ(step->barHeight(), step->height() - 4) << "full velocity fills the box";

    turnWheel(step, -1);
    EXPECT_EQ(t.machine.velocity(kSnare, 5), 119);
    turnWheel(step, -7);
    EXPECT_EQ(t.machine.velocity(kSnare, 5), 63);
    turnWheel(step, 1, Qt::ShiftModifier);
    EXPECT_EQ(t.machine.velocity(kSnare, 5), 64);
    EXPECT_EQ(t.log.inputs.velocities[kSnare][5], 64);
    EXPECT_EQ(step->toolTip(), "Velocity 64");
    // Half the box red from the bottom, dark red above: readable without colour vision too.
    const QImage image = step->grab().toImage();
    const double ratio = image.devicePixelRatio();
    const auto at = [&](int y) { return image.pixelColor(image.width() / 2, y); };
    EXPECT_EQ(at(static_cast<int>(4 * ratio)), kHeadroom);
    EXPECT_EQ(at(image.height() - static_cast<int>(4 * ratio)), kRed);
    EXPECT_NEAR(step->barHeight(), (step->height() - 4) / 2, 1);

    // An unset step has no velocity to show or turn.
    StepButton* unset = t.window->stepButton(kSnare, 6);
    turnWheel(unset, -3);
    EXPECT_EQ(t.machine.velocity(kSnare, 6), 127);
    EXPECT_TRUE(unset->toolTip().isEmpty());
    EXPECT_EQ(unset->barHeight(), 0);
    // And a step switched off and on again starts afresh.
    t.click(step);
    t.click(step);
    EXPECT_EQ(t.machine.velocity(kSnare, 5), 127);
}

TEST(MainWindow, UpAndDownMoveTheVelocityOfTheStepLastPointedAt)
{
    TestWindow t;
    QTest::keyClick(t.window.get(), Qt::Key_Down);  // no step yet: nothing happens
    t.click(t.window->stepButton(kBass, 1));
    QTest::keyClick(t.window.get(), Qt::Key_Down);
    EXPECT_EQ(t.machine.velocity(kBass, 1), 119);
    QTest::keyClick(t.window.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(t.machine.velocity(kBass, 1), 118);
    // Pointing at another set step makes it the one the keys change.
    StepButton* other = t.window->stepButton(kBass, 0);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), other->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(other, &enter);
    QTest::keyClick(t.window.get(), Qt::Key_Down);
    QTest::keyClick(t.window.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(t.machine.velocity(kBass, 0), 120);
    EXPECT_EQ(t.machine.velocity(kBass, 1), 118);
    EXPECT_EQ(t.window->stepButton(kBass, 0)->toolTip(), "Velocity 120");
}

TEST(MainWindow, NewStepsTakeTheChosenVelocity)
{
    TestWindow t;
    EXPECT_EQ(t.window->newVelocityLabel()->text(), "127");
    t.window->newVelocityBar()->setValue(40);
    EXPECT_EQ(t.window->newVelocityLabel()->text(), "40");
    t.click(t.window->stepButton(kHiHat, 1));
    EXPECT_EQ(t.machine.velocity(kHiHat, 1), 40);
    EXPECT_EQ(t.machine.velocity(kHiHat, 0), 127) << "steps set before keep theirs";
}

TEST(MainWindow, SwingFollowsTheRhythmAndIsOnlyOfferedAtFourStepsPerBeat)
{
    TestWindow t;
    EXPECT_EQ(t.window->swingBar()->value(), 50);
    EXPECT_EQ(t.window->swingLabel()->text(), "50 %");
    EXPECT_TRUE(t.window->swingNoteOption(0)->isChecked());
    t.window->swingBar()->setValue(66);
    t.click(t.window->swingNoteOption(1));
    EXPECT_EQ(t.machine.swing(), (pattern::Swing{66, pattern::SwingNote::Eighth}));
    EXPECT_EQ(t.log.inputs.swing, t.machine.swing());
    EXPECT_EQ(t.window->swingLabel()->text(), "66 %");

    t.click(t.window->intervalOption(0));
    EXPECT_FALSE(t.window->swingBar()->isEnabled());
    EXPECT_FALSE(t.window->swingNoteOption(1)->isEnabled());
    EXPECT_EQ(t.window->swingBar()->value(), 66) << "kept, shown, not offered";
    t.click(t.window->intervalOption(1));
    EXPECT_TRUE(t.window->swingBar()->isEnabled());

    // A load shows the rhythm's swing; New goes back to straight 16ths.
    const auto file = std::filesystem::path(t.machine.settings().IniFile).replace_extension("rtm");
    rhythms::Rhythm rhythm = t.machine.currentRhythm();
    rhythm.swing = {58, pattern::SwingNote::Sixteenth};
    ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, file));
    ASSERT_TRUE(t.window->loadRhythm(file));
    std::filesystem::remove(file);
    EXPECT_EQ(t.window->swingBar()->value(), 58);
    EXPECT_TRUE(t.window->swingNoteOption(0)->isChecked());
    t.click(t.window->swingNoteOption(1));
    t.window->NewRhythm();
    EXPECT_EQ(t.window->swingBar()->value(), 50);
    EXPECT_TRUE(t.window->swingNoteOption(0)->isChecked());
}

TEST(MainWindow, TheVolumeBarSetsTheMasterVolume)
{
    TestWindow t;
    EXPECT_EQ(t.window->volumeBar()->value(), 100);
    EXPECT_EQ(t.window->volumeLabel()->text(), "100 %");
    t.window->volumeBar()->setValue(50);
    EXPECT_EQ(t.log.volumes, std::vector<int>{50});
    EXPECT_EQ(t.window->volumeLabel()->text(), "50 %");
    EXPECT_EQ(t.machine.volume(), 50);
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

// What the window shows of a rhythm, to compare before and after an undo.
struct Shown {
    std::vector<bool> steps;  // every step of every track: set or not
    std::vector<int> velocities;
    std::vector<QColor> mutes;
    QString tempo;
    int tempoBar = 0;
    QString swing;
    std::array<bool, 3> interval{};
    std::array<bool, 3> beats{};

    friend bool operator==(const Shown&, const Shown&) = default;
};

Shown shown(const MainWindow& window)
{
    Shown s;
    for (int track = 0; track < 9; ++track) {
        for (int step = 0; step < 32; ++step) {
            const StepButton* button = window.stepButton(track, step);
            s.steps.push_back(button->isChecked());
            s.velocities.push_back(button->velocity());
        }
        s.mutes.push_back(paintedColour(window.muteButton(track)));
    }
    s.tempo = window.tempoLabel()->text();
    s.tempoBar = window.tempoBar()->value();
    s.swing = window.swingLabel()->text();
    for (int i = 0; i < 3; ++i) {
        s.interval[static_cast<std::size_t>(i)] = window.intervalOption(i)->isChecked();
        s.beats[static_cast<std::size_t>(i)] = window.beatsOption(i)->isChecked();
    }
    return s;
}

TEST(MainWindow, CtrlZUndoesEachEditAndCtrlShiftZOrCtrlYRedoesIt)
{
    struct Case {
        const char* what;
        std::function<void(TestWindow&)> edit;
    };
    const Case cases[] = {
        {"step", [](TestWindow& t) { t.click(t.window->stepButton(kSnare, 6)); }},
        {"velocity", [](TestWindow& t) { turnWheel(t.window->stepButton(kBass, 0), -3); }},
        {"mute", [](TestWindow& t) { t.click(t.window->muteButton(kBass)); }},
        {"interval", [](TestWindow& t) { t.click(t.window->intervalOption(2)); }},
        {"beats", [](TestWindow& t) { t.click(t.window->beatsOption(0)); }},
        {"tempo", [](TestWindow& t) { t.window->tempoBar()->setValue(180); }},
        {"swing", [](TestWindow& t) { t.window->swingBar()->setValue(70); }},
        {"new", [](TestWindow& t) { t.window->NewRhythm(); }},
    };
    for (const Case& c : cases) {
        TestWindow t;
        t.click(t.window->runButton());
        const Shown before = shown(*t.window);
        const sequencer::StepInputs published = t.log.inputs;
        c.edit(t);
        const Shown after = shown(*t.window);
        ASSERT_NE(after, before) << c.what;
        QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(shown(*t.window), before) << c.what;
        EXPECT_EQ(t.log.inputs.rows, published.rows) << c.what;
        EXPECT_EQ(t.log.inputs.velocities, published.velocities) << c.what;
        EXPECT_EQ(t.log.inputs.mutes, published.mutes) << c.what;
        EXPECT_EQ(t.log.inputs.beats, published.beats) << c.what;
        EXPECT_EQ(t.log.inputs.swing, published.swing) << c.what;
        QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(shown(*t.window), after) << c.what;
        QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(t.window.get(), Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(shown(*t.window), after) << c.what;
        EXPECT_TRUE(t.machine.isRunning()) << c.what;
    }
}

TEST(MainWindow, ADragOfTheTempoBarIsUndoneAsAWhole)
{
    TestWindow t;
    QScrollBar* bar = t.window->tempoBar();
    bar->setSliderDown(true);
    for (int bpm = 121; bpm <= 160; ++bpm)
        bar->setValue(bpm);
    bar->setSliderDown(false);  // let go
    bar->setSliderDown(true);
    bar->setValue(170);
    bar->setSliderDown(false);
    QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(t.window->tempoLabel()->text(), "160");
    QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(t.window->tempoLabel()->text(), "120");
    EXPECT_EQ(t.window->tempoBar()->value(), 120);
    EXPECT_EQ(t.log.tempoBpm, 120);
}

TEST(MainWindow, UnsavedChangesAreAskedAboutAndEachAnswerDoesWhatItSays)
{
    const auto folder = std::filesystem::temp_directory_path() /
                        ("taktwerk-unsaved-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto other = folder / "Other.rtm";
    {
        rhythms::Rhythm rhythm;
        rhythm.name = "Other";
        rhythm.Bpm = 88;
        ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, other));
    }
    enum class Action { Close, Load, New };
    struct Case {
        Action action;
        Answer answer;
    };
    for (const Action action : {Action::Close, Action::Load, Action::New}) {
        for (const Answer answer : {Answer::No, Answer::Cancel, Answer::Yes}) {
            const auto what = std::to_string(static_cast<int>(action)) + "/" +
                              std::to_string(static_cast<int>(answer));
            app::Settings settings = testSettings();
            settings.RhythmDir = folder / "";
            TestWindow t(std::move(settings));
            t.questions.threeWay = answer;
            QSignalSpy library(t.window.get(), &MainWindow::libraryRequested);
            EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk") << what;
            t.click(t.window->stepButton(kSnare, 6));
            EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk *") << what;
            const pattern::Pattern edited = t.machine.pattern();
            bool closed = false;
            switch (action) {
            case Action::Close:
                closed = t.window->close();
                break;
            case Action::Load:
                ASSERT_TRUE(t.window->loadRhythm(other)) << what;
                break;
            case Action::New:
                t.window->NewRhythm();
                break;
            }
            ASSERT_EQ(t.questions.asked, QStringList{kSaveChanges}) << what;
            if (answer == Answer::Yes) {
                // Nothing happens until the rhythm is saved through the name dialog.
                ASSERT_NE(t.window->saveDialog(), nullptr) << what;
                EXPECT_EQ(t.machine.pattern(), edited) << what;
                EXPECT_TRUE(t.window->isVisible()) << what;
                auto* dialog = static_cast<NameDialog*>(t.window->saveDialog());
                dialog->nameBox()->setText("Mine");
                dialog->cmdSave_Click();
                QCoreApplication::processEvents();
                EXPECT_TRUE(std::filesystem::exists(folder / "Mine.rtm")) << what;
            }
            const bool goesAhead = answer != Answer::Cancel;
            switch (action) {
            case Action::Close:
                EXPECT_EQ(closed, answer == Answer::No) << what;
                EXPECT_EQ(t.window->isVisible(), !goesAhead) << what;
                EXPECT_EQ(t.log.shutdowns, goesAhead ? 1 : 0) << what;
                break;
            case Action::Load:
                EXPECT_EQ(t.machine.tempoBpm(), goesAhead ? 88 : 120) << what;
                break;
            case Action::New:
                EXPECT_EQ(t.machine.StepIsOn(kSnare, 6), !goesAhead) << what;
                EXPECT_EQ(library.count(), goesAhead ? 0 : 1) << what;
                break;
            }
            if (!goesAhead) {
                EXPECT_EQ(t.machine.pattern(), edited) << what;
            }
            std::filesystem::remove(folder / "Mine.rtm");
        }
    }

    // Nothing unsaved, or the question switched off: no question.
    for (const bool changed : {false, true}) {
        app::Settings settings = testSettings();
        settings.AskToSave = changed ? 0 : 1;
        TestWindow t(std::move(settings));
        if (changed)
            t.click(t.window->stepButton(kSnare, 6));
        ASSERT_TRUE(t.window->loadRhythm(other));
        EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk");
        t.click(t.window->muteButton(kBass));
        QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(t.window->windowTitle(), "Quorrel Taktwerk") << "undone to the file";
        EXPECT_TRUE(t.window->close());
        EXPECT_TRUE(t.questions.asked.isEmpty()) << changed;
    }
    std::filesystem::remove_all(folder);
}

TEST(MainWindow, TheWheelRaisesTheTempoByOneANotchAndPlusAndMinusNudgeIt)
{
    TestWindow t;
    QScrollBar* bar = t.window->tempoBar();
    struct Step {
        std::function<void()> act;
        int tempo;
        const char* what;
    };
    const Step steps[] = {
        {[&] { turnWheel(bar, 1); }, 121, "wheel up raises"},
        {[&] { turnWheel(bar, 3); }, 124, "by one a notch"},
        {[&] { turnWheel(bar, -2); }, 122, "wheel down lowers"},
        {[&] { QTest::keyClick(t.window.get(), Qt::Key_Plus); }, 123, "+"},
        {[&] { QTest::keyClick(t.window.get(), Qt::Key_Minus); }, 122, "-"},
        {[&] {
             t.machine.setTempo(450);
             turnWheel(bar, 1);
         },
         450, "never beyond the bar's range"},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(t.machine.tempoBpm(), step.tempo) << step.what;
        EXPECT_EQ(t.log.tempoBpm, step.tempo) << step.what;
        if (step.tempo != 450) {
            EXPECT_EQ(bar->value(), step.tempo) << step.what;
            EXPECT_EQ(t.window->tempoLabel()->text(), QString::number(step.tempo)) << step.what;
        }
    }
    // A fine wheel's half notches add up to one.
    t.machine.setTempo(100);
    const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
    for (int i = 0; i < 2; ++i) {
        QWheelEvent half(at, bar->mapToGlobal(at), QPoint(), QPoint(0, 60), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &half);
    }
    EXPECT_EQ(t.machine.tempoBpm(), 101);
}

// A double-click on the tempo display, the text typed over what the field offers, one key.
void typeTempo(TestWindow& t, const QString& text, Qt::Key key)
{
    if (t.window->tempoEditor() == nullptr)
        QTest::mouseDClick(t.window->tempoLabel(), Qt::LeftButton);
    QLineEdit* edit = t.window->tempoEditor();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
    QTest::keyClick(edit, key);
}

TEST(MainWindow, ATypedTempoIsTakenOnEnterRefusedWhenWrongAndEscapeKeepsTheOld)
{
    TestWindow t;
    t.click(t.window->runButton());  // Escape in the field must not stop playback
    QTest::mouseDClick(t.window->tempoLabel(), Qt::LeftButton);
    ASSERT_NE(t.window->tempoEditor(), nullptr);
    EXPECT_EQ(t.window->tempoEditor()->text(), "120") << "offers the tempo to type over";

    typeTempo(t, "200", Qt::Key_Return);
    EXPECT_EQ(t.machine.tempoBpm(), 200);
    EXPECT_EQ(t.log.tempoBpm, 200);
    EXPECT_EQ(t.window->tempoBar()->value(), 200);
    EXPECT_EQ(t.window->tempoLabel()->text(), "200");
    QCoreApplication::processEvents();
    EXPECT_EQ(t.window->tempoEditor(), nullptr);

    const QString wanted = QString::fromUtf8("Bitte geben Sie ein Tempo von 35 bis 450 BPM ein.");
    for (const char* wrong : {"", "abc", "34", "451", "12x", "1.5", "-90", "+90", "99999999"}) {
        t.questions.told.clear();
        typeTempo(t, QString::fromUtf8(wrong), Qt::Key_Enter);
        EXPECT_EQ(t.questions.told, QStringList{wanted}) << wrong;
        EXPECT_EQ(t.machine.tempoBpm(), 200) << wrong;
        EXPECT_EQ(t.log.tempoBpm, 200) << wrong;
        EXPECT_NE(t.window->tempoEditor(), nullptr) << wrong << ": stays open to be corrected";
    }
    typeTempo(t, "90", Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.window->tempoEditor(), nullptr);
    EXPECT_EQ(t.machine.tempoBpm(), 200);
    EXPECT_EQ(t.window->tempoLabel()->text(), "200");
    EXPECT_TRUE(t.machine.isRunning()) << "Escape in the field ends the typing only";

    // Edges of the range, with spaces around; each typed tempo is an undo entry of its own,
    // apart from the nudges before it.
    QTest::keyClick(t.window.get(), Qt::Key_Plus);
    typeTempo(t, " 35 ", Qt::Key_Return);
    typeTempo(t, "450", Qt::Key_Return);
    EXPECT_EQ(t.machine.tempoBpm(), 450);
    QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(t.machine.tempoBpm(), 35);
    QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(t.machine.tempoBpm(), 201);
    EXPECT_EQ(t.window->tempoLabel()->text(), "201");
}

TEST(MainWindow, AStepSetWhileStoppedIsHeardOnceAtItsVelocity)
{
    TestWindow t;
    t.window->newVelocityBar()->setValue(90);
    struct Case {
        const char* what;
        std::function<void()> before;
        int track;
        int step;
        bool wasOn;
        std::vector<int> heard;  // the tracks sounded by the click
    };
    const Case cases[] = {
        {"set while stopped", [] {}, kSnare, 3, false, {kSnare}},
        {"cleared", [] {}, kSnare, 7, true, {}},
        {"set while running", [&] { t.click(t.window->runButton()); }, kHiHat, 5, false, {}},
        {"set after STOP", [&] { t.click(t.window->runButton()); }, kRide, 6, false, {kRide}},
        {"hearing turned off", [&] { t.machine.setHearSteps(false); }, kBass, 1, false, {}},
    };
    for (const Case& c : cases) {
        c.before();
        if (t.machine.StepIsOn(c.track, c.step) != c.wasOn) {
            t.machine.toggleStep(c.track, c.step);
            t.window->refreshAll();
        }
        t.log.padsHit.clear();
        t.log.padVelocities.clear();
        t.click(t.window->stepButton(c.track, c.step));
        EXPECT_EQ(t.log.padsHit, c.heard) << c.what;
        if (!c.heard.empty()) {
            EXPECT_EQ(t.log.padVelocities, std::vector<int>{90}) << c.what;
        }
    }
    // Undo and redo put steps back without a sound.
    t.machine.setHearSteps(true);
    t.log.padsHit.clear();
    QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(t.window.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(t.log.padsHit.empty());
}

TEST(MainWindow, TheKeysOneToNinePlayThePadsAsAClickWould)
{
    TestWindow t;
    const std::array<Qt::Key, 9> digits{Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5,
                                        Qt::Key_6, Qt::Key_7, Qt::Key_8, Qt::Key_9};
    for (bool beginner : {false, true}) {
        if (beginner)
            t.click(t.window->modeBox());
        for (int track = 0; track < 9; ++track) {
            const auto key = digits[static_cast<std::size_t>(track)];
            const QString tip = t.window->padButton(track)->toolTip();
            EXPECT_TRUE(tip.startsWith(QStringLiteral("Taste %1").arg(track + 1)))
                << tip.toStdString();
            // What a click on the pad sounds, if it can be clicked at all in this view.
            t.log.padsHit.clear();
            if (t.window->padButton(track)->isVisible())
                t.click(t.window->padButton(track));
            const std::vector<int> clicked = t.log.padsHit;
            for (auto modifier : {Qt::NoModifier, Qt::KeypadModifier}) {
                t.log.padsHit.clear();
                t.log.padVelocities.clear();
                QTest::keyClick(t.window.get(), key, modifier);
                EXPECT_EQ(t.log.padsHit, clicked)
                    << "key " << track + 1 << " beginner " << beginner;
                for (int velocity : t.log.padVelocities)
                    EXPECT_EQ(velocity, 127);
            }
        }
    }
    EXPECT_FALSE(t.window->padButton(kOpenHiHat)->isVisible()) << "its key was silent above";

    // Held down, a key strikes once; with Ctrl it is no pad key; Space, Escape and T keep theirs.
    t.log.padsHit.clear();
    QTest::keyPress(t.window.get(), Qt::Key_1);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"), true);
    QApplication::sendEvent(t.window.get(), &repeat);
    QApplication::sendEvent(t.window.get(), &repeat);
    QTest::keyRelease(t.window.get(), Qt::Key_1);
    QTest::keyClick(t.window.get(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(t.log.padsHit, std::vector<int>{kBass});
    QTest::keyClick(t.window.get(), Qt::Key_Space);
    EXPECT_TRUE(t.machine.isRunning());
    QTest::keyClick(t.window.get(), Qt::Key_Escape);
    EXPECT_FALSE(t.machine.isRunning());
}

// A right click on a step, as the window system reports it: the row's menu opens.
QMenu* openRowMenu(TestWindow& t, int track, int step)
{
    StepButton* button = t.window->stepButton(track, step);
    const QPoint at(4, button->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, button->mapToGlobal(at));
    QApplication::sendEvent(button, &event);
    return t.window->rowMenu();
}

TEST(MainWindow, TheRowMenuRunsEachToolAsOneUndoableEdit)
{
    TestWindow t;
    const struct {
        const char* caption;
        const char* after;  // the snare's 16 steps
    } cases[] = {
        {"Jeden Schritt f\u00fcllen", "XXXXXXXXXXXXXXXX"},
        {"Jeden 2. Schritt f\u00fcllen", "X_X_X_X_X_X_X_X_"},
        {"Jeden 4. Schritt f\u00fcllen", "X___X___X___X___"},
        {"Jeden 8. Schritt f\u00fcllen", "X_______X_______"},
        {"Zeile leeren", "________________"},
        {"Nach links verschieben", "_X___X_________X"},
        {"Nach rechts verschieben", "_X_X___X________"},
        {"Erste H\u00e4lfte in die zweite kopieren", "X_X___X_X_X___X_"},
        {"Crescendo", "X_X___X_________"},
        {"Decrescendo", "X_X___X_________"},
    };
    for (const auto& c : cases) {
        t.setRow(kSnare, {0, 2, 6});
        const pattern::Pattern before = t.machine.pattern();
        const int bassBefore = t.log.inputs.rows[kBass];
        QMenu* menu = openRowMenu(t, kSnare, 5);
        ASSERT_NE(menu, nullptr) << c.caption;
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == QString::fromUtf8(c.caption))
                chosen = action;
        ASSERT_NE(chosen, nullptr) << c.caption;
        chosen->trigger();
        menu->close();
        std::string shown;
        for (int step = 0; step < 16; ++step)
            shown += t.window->stepButton(kSnare, step)->isChecked() ? 'X' : '_';
        EXPECT_EQ(shown, c.after) << c.caption;
        EXPECT_EQ(t.machine.pattern().RowToPattern(kSnare).substr(0, 16), c.after) << c.caption;
        EXPECT_EQ(t.log.inputs.rows, t.machine.pattern().rows()) << "the engine hears it at once";
        EXPECT_EQ(static_cast<int>(t.log.inputs.rows[kBass]), bassBefore) << "one row only";
        QTest::keyClick(t.window.get(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(t.machine.pattern(), before) << c.caption << ": one undo takes it back";
        QTest::keyClick(t.window.get(), Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(t.machine.pattern().RowToPattern(kSnare).substr(0, 16), c.after) << c.caption;
    }
    // The ramps leave the steps and spread the velocities, shown in the bars' tooltips.
    t.setRow(kSnare, {0, 4, 8, 12});
    for (QAction* action : openRowMenu(t, kSnare, 0)->actions())
        if (action->text() == "Crescendo")
            action->trigger();
    EXPECT_EQ(t.machine.velocity(kSnare, 0), 32);
    EXPECT_EQ(t.machine.velocity(kSnare, 12), 127);
    EXPECT_EQ(t.window->stepButton(kSnare, 0)->velocity(), 32);
    // The menu offers the export too, as Ctrl+E does.
    QSignalSpy exports(t.window.get(), &MainWindow::exportRequested);
    for (QAction* action : openRowMenu(t, kBass, 0)->actions())
        if (action->text() == "Exportieren...")
            action->trigger();
    QTest::keyClick(t.window.get(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(exports.count(), 2);
    // A right click on a pad is no row's: the tom pads keep their sample dialog.
    QSignalSpy samples(t.window.get(), &MainWindow::sampleDialogRequested);
    t.window->rowMenu()->close();
    t.click(t.window->padButton(kTom2), Qt::RightButton);
    EXPECT_EQ(samples.count(), 1);
}

TEST(MainWindow, ClosingWhilePlayingSilencesEverything)
{
    TestWindow t;
    t.click(t.window->runButton());
    ASSERT_TRUE(t.machine.isRunning());
    EXPECT_TRUE(t.window->close());
    EXPECT_FALSE(t.machine.isRunning());
    EXPECT_EQ(t.log.shutdowns, 1);
    ASSERT_NE(t.window->newsNotifier(), nullptr);
    EXPECT_FALSE(t.window->newsNotifier()->isEnabled()) << "nothing paints after the shutdown";
    EXPECT_FALSE(t.window->isVisible());
    std::ifstream ini(t.machine.settings().IniFile);
    std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Mode=0"), std::string::npos) << text;
}

}  // namespace
}  // namespace taktwerk::ui
