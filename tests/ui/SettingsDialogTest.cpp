#include "ui/SettingsDialog.h"

#include "app/LiveHostOptions.h"
#include "core/Profile.h"
#include "ui/DialogFixture.h"
#include "ui/DialogSupport.h"
#include "ui/MidiLearnDialog.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

class SettingsDialogTest : public DialogTest {
protected:
    ui::SettingsDialog& openSettings()
    {
        window_->settingsButton()->click();
        ui::SettingsDialog* dialog = dialogs_->settings();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    // Starts over with `lines` as the settings file, as a fresh start would read it.
    void restartWith(const std::string& lines)
    {
        stopMachine();
        writeBytes(settings_.IniFile, "[Quorrel Taktwerk]\r\n" + lines);
        app::LoadSettings(settings_);
        startMachine();
    }
    std::string iniValue(const char* key) const
    {
        const auto file = core::ProfileFile::open(settings_.IniFile);
        return file ? file->read("Quorrel Taktwerk", key, "<none>") : "<unreadable>";
    }
    // Runs the event loop until the dialog's import has ended and been handled.
    static bool waitForImport(const ui::SettingsDialog& dialog)
    {
        QElapsedTimer clock;
        clock.start();
        while (dialog.importing() && clock.elapsed() < 20000)
            QTest::qWait(5);
        return !dialog.importing();
    }
    static void pressOn(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(widget, button, Qt::NoModifier, QPoint(4, widget->height() / 2));
    }
    // Picks entry `index` of a drop-down list as the user does: the list changes, then says so.
    static void choose(QComboBox* box, int index)
    {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
};

TEST_F(SettingsDialogTest, OpeningSelectsTheSetInItsFolderSpellingAndPlaysItsClick)
{
    touch(soundDir() / "Default" / "ST.wav");
    fs::create_directories(soundDir() / "Rock Kit");
    touch(soundDir() / "loose.wav");  // a tom sample, not a set
    restartWith("Sound=default\r\nDevice=0\r\nMIDIClick=80\r\n");

    ui::SettingsDialog& dialog = openSettings();
    EXPECT_EQ(dialog.windowTitle(), "Sound Settings");
    EXPECT_EQ(entries(dialog.soundList()), (QStringList{"Default", "Rock Kit"}));
    ASSERT_EQ(dialog.soundList()->selectedItems().size(), 1);
    EXPECT_EQ(dialog.soundList()->selectedItems()[0]->text(), "Default");
    EXPECT_EQ(machine_->settings().SoundSet, "Default");
    ASSERT_EQ(sound_.previews.size(), 1u);
    EXPECT_EQ(sound_.previews[0], soundDir() / "Default" / "ST.wav");

    // "Device" 0 counts as WAVE and becomes 2.
    EXPECT_TRUE(dialog.soundOption(1)->isChecked());
    EXPECT_EQ(machine_->settings().SoundDevice, 2);
    EXPECT_TRUE(dialog.clickOption(3)->isChecked());  // Triangle, note 80
    EXPECT_TRUE(dialog.soundOption(0)->isEnabled());
    EXPECT_TRUE(dialog.soundOption(1)->isEnabled());
    EXPECT_TRUE(sound_.soundChoices.empty());  // listening is not rebuilding

    // A double click rebuilds the voices from the set.
    const QPoint second = dialog.soundList()->visualItemRect(dialog.soundList()->item(1)).center();
    QTest::mouseClick(dialog.soundList()->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    QTest::mouseDClick(dialog.soundList()->viewport(), Qt::LeftButton, Qt::NoModifier, second);
    EXPECT_EQ(machine_->settings().SoundSet, "Rock Kit");
    ASSERT_FALSE(sound_.soundChoices.empty());
    EXPECT_EQ(sound_.soundChoices.back().soundSet, "Rock Kit");
    EXPECT_EQ(sound_.soundChoices.back().soundDir, soundDir());
}

TEST_F(SettingsDialogTest, AClickSoundIsChosenByMouseAndHeardThroughMidi)
{
    fs::create_directories(soundDir() / "Default");
    restartWith("Device=2\r\nMIDIClick=37\r\n");
    ui::SettingsDialog& dialog = openSettings();
    ASSERT_TRUE(dialog.soundOption(1)->isChecked());

    pressOn(dialog.clickOption(4), Qt::RightButton);  // any button: Cowbell
    EXPECT_EQ(machine_->settings().ClickNote, 56);
    EXPECT_EQ(machine_->settings().SoundDevice, 1);
    EXPECT_TRUE(dialog.soundOption(0)->isChecked());
    EXPECT_TRUE(dialog.clickOption(4)->isChecked());
    EXPECT_EQ(sound_.clicks, 1);
    ASSERT_FALSE(sound_.outputs.empty());
    EXPECT_EQ(sound_.outputs.back(), (std::pair<int, int>{1, 56}));

    pressOn(dialog.soundOption(1));
    EXPECT_EQ(machine_->settings().SoundDevice, 2);
    EXPECT_EQ(sound_.clicks, 1);
}

TEST_F(SettingsDialogTest, SaveAndExitWritesTheSettingsFile)
{
    fs::create_directories(soundDir() / "Default");
    fs::create_directories(soundDir() / "Studio");
    restartWith("Sound=Default\r\nDevice=1\r\nMIDIClick=37\r\nMode=1\r\n");
    ui::SettingsDialog& dialog = openSettings();

    pressRow(dialog.soundList(), 1);
    pressOn(dialog.clickOption(2));  // Maracas
    pressOn(dialog.soundOption(1));  // WAVE
    EXPECT_FALSE(dialog.clockBox()->isChecked()) << "off by default";
    pressOn(dialog.clockBox());
    EXPECT_TRUE(machine_->sendsMidiClock());
    EXPECT_TRUE(sound_.clockOut) << "the clock starts at once";
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dialogs_->settings(), nullptr);
    EXPECT_EQ(iniValue("Sound"), "Studio");
    EXPECT_EQ(iniValue("Device"), "2");
    EXPECT_EQ(iniValue("MIDIClick"), "70");
    EXPECT_EQ(iniValue("Mode"), "1");  // what the dialog does not own stays
    EXPECT_EQ(iniValue("SendMIDIClock"), "1");
    EXPECT_TRUE(sound_.soundChoices.empty());  // saving does not rebuild the voices

    // Opened again, the box shows the choice; turned off, the key says so.
    ui::SettingsDialog& again = openSettings();
    EXPECT_TRUE(again.clockBox()->isChecked());
    pressOn(again.clockBox());
    EXPECT_FALSE(sound_.clockOut);
    again.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("SendMIDIClock"), "0");
}

TEST_F(SettingsDialogTest, LearnTakesTheNextNoteStruckAndEscapeOrASecondClickCancels)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    ui::SettingsDialog& dialog = openSettings();
    dialog.learnMidiButton()->click();
    ui::MidiLearnDialog* learn = dialog.midiLearnDialog();
    ASSERT_NE(learn, nullptr);
    constexpr int kSnare = 1;
    constexpr int kTom3 = 8;
    EXPECT_EQ(learn->notesLabel(kSnare)->text(), "38 40");
    EXPECT_EQ(learn->learnButton(kSnare)->text(), "Lernen");

    // Learn, strike: the snare's 38 moves to tom 3, shown at once and heard by the engine.
    learn->learnButton(kTom3)->click();
    EXPECT_TRUE(learn->learnButton(kTom3)->isChecked());
    EXPECT_EQ(learn->notesLabel(kTom3)->text(), "Schlagen Sie eine Note an...");
    sound_.hearNoteOn(38);
    // The dialog polls every 15 ms; a loaded machine may take longer to get round to it.
    EXPECT_TRUE(QTest::qWaitFor([learn] { return !learn->learnButton(kTom3)->isChecked(); }));
    EXPECT_FALSE(learn->learnButton(kTom3)->isChecked());
    EXPECT_EQ(learn->notesLabel(kTom3)->text(), "38 41 43");
    EXPECT_EQ(learn->notesLabel(kSnare)->text(), "40");
    EXPECT_EQ(sound_.drumNotes.track(38), kTom3);

    // A second click, or Escape, stops waiting: a note struck then maps nowhere.
    const sound::DrumNoteMap learned = machine_->drumNotes();
    learn->learnButton(kSnare)->click();
    learn->learnButton(kSnare)->click();
    EXPECT_FALSE(learn->learnButton(kSnare)->isChecked());
    learn->learnButton(kSnare)->click();
    QTest::keyClick(learn, Qt::Key_Escape);
    EXPECT_FALSE(learn->learnButton(kSnare)->isChecked());
    EXPECT_EQ(learn->notesLabel(kSnare)->text(), "40");
    EXPECT_TRUE(learn->isVisible()) << "Escape ends the wait, not the dialog";
    sound_.hearNoteOn(60);
    QTest::qWait(60);
    EXPECT_EQ(machine_->drumNotes(), learned);

    // Saved with the sound settings; reset gives the GM notes back.
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto file = core::ProfileFile::open(settings_.IniFile);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->read("MIDI In", "T3", ""), "38 41 43");
    EXPECT_EQ(file->read("MIDI In", "SD", ""), "40");
    ui::SettingsDialog& again = openSettings();
    again.learnMidiButton()->click();
    again.midiLearnDialog()->resetButton()->click();
    EXPECT_EQ(again.midiLearnDialog()->notesLabel(kSnare)->text(), "38 40");
    EXPECT_EQ(sound_.drumNotes, sound::DrumNoteMap::generalMidi());
}

// The learn dialog lives inside the sound settings: however they go, a pad still waiting for
// its note stops waiting, so that the next note struck plays the pads as mapped and is never
// taken as learned when the learn dialog is opened again.
TEST_F(SettingsDialogTest, ClosingTheSettingsEndsALearnStillWaitingWhicheverWayTheyGo)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    constexpr int kTom3 = 8;
    const struct {
        const char* way;
        std::function<void(ui::SettingsDialog&)> close;
    } ways[] = {
        {"S A V E  a n d   E X I T", [](ui::SettingsDialog& d) { d.saveButton()->click(); }},
        // What the window's close box and Alt+F4 send.
        {"close box", [](ui::SettingsDialog& d) { d.close(); }},
        // As when the main window, their parent, goes.
        {"deleted unclosed", [](ui::SettingsDialog& d) { delete &d; }},
    };
    for (const auto& way : ways) {
        ui::SettingsDialog& dialog = openSettings();
        dialog.learnMidiButton()->click();
        const QPointer<ui::MidiLearnDialog> learn = dialog.midiLearnDialog();
        ASSERT_NE(learn, nullptr);
        learn->learnButton(kTom3)->click();
        ASSERT_EQ(machine_->learningTrack(), kTom3);
        way.close(dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(dialogs_->settings(), nullptr) << way.way;
        EXPECT_EQ(learn, nullptr) << way.way << ": the learn dialog goes with them";
        EXPECT_EQ(machine_->learningTrack(), -1) << way.way;

        // The snare's note, played on the controller afterwards, then the dialogs once more.
        sound_.hearNoteOn(38);
        ui::SettingsDialog& again = openSettings();
        again.learnMidiButton()->click();
        ui::MidiLearnDialog* reopened = again.midiLearnDialog();
        QTest::qWait(60);  // four polls, had one started
        EXPECT_FALSE(reopened->learnButton(kTom3)->isChecked()) << way.way;
        EXPECT_EQ(reopened->notesLabel(kTom3)->text(), "41 43") << way.way;
        EXPECT_EQ(machine_->drumNotes(), sound::DrumNoteMap::generalMidi()) << way.way;
        again.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(SettingsDialogTest, TheSyncChoiceIsFollowedAtOnceAndSavedAsTheSyncSource)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    sound_.sharedTransport = true;  // sound goes out through JACK
    ui::SettingsDialog& dialog = openSettings();
    QComboBox* sync = dialog.syncBox();
    ASSERT_EQ(sync->count(), 3);
    EXPECT_EQ(sync->itemText(0), "Intern");
    EXPECT_EQ(sync->itemText(1), "MIDI-Clock");
    EXPECT_EQ(sync->itemText(2), "JACK-Transport");
    EXPECT_EQ(sync->currentIndex(), 0) << "our own clock by default";
    // The German words are the longest: nothing of them may be cut off.
    EXPECT_LE(sync->sizeHint().width(), sync->width());
    int labels = 0;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->buddy() != sync)
            continue;
        ++labels;
        EXPECT_EQ(label->text(), "Synchronisation:");
        EXPECT_LE(label->sizeHint().width(), label->width());
        EXPECT_FALSE(label->geometry().intersects(sync->geometry()));
    }
    EXPECT_EQ(labels, 1);
    const struct {
        int index;
        playback::SyncSource source;
        const char* saved;
    } choices[] = {{1, playback::SyncSource::MidiClock, "MIDI"},
                   {2, playback::SyncSource::JackTransport, "JACK"},
                   {0, playback::SyncSource::Internal, "Internal"}};
    for (const auto& choice : choices) {
        ui::SettingsDialog& open = openSettings();
        choose(open.syncBox(), choice.index);
        EXPECT_EQ(sound_.sync, choice.source) << "followed at once";
        EXPECT_EQ(machine_->isFollowing(), choice.source != playback::SyncSource::Internal);
        open.saveButton()->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(iniValue("SyncSource"), choice.saved);
        EXPECT_EQ(openSettings().syncBox()->currentIndex(), choice.index) << "shown again";
    }
    EXPECT_TRUE(questions_.told.empty());
}

TEST_F(SettingsDialogTest, WithoutJackTheJackTransportIsRefusedAndInternalStays)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    ui::SettingsDialog& dialog = openSettings();
    choose(dialog.syncBox(), 2);
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_EQ(questions_.told[0], "Dem JACK-Transport kann nur gefolgt werden, w\u00e4hrend der "
                                  "Klang \u00fcber JACK ausgegeben wird.");
    EXPECT_EQ(dialog.syncBox()->currentIndex(), 0);
    EXPECT_EQ(sound_.sync, playback::SyncSource::Internal);
    EXPECT_FALSE(machine_->isFollowing());

    // A settings file from a session on JACK, started without it, plays on our own clock.
    restartWith("Device=1\r\nMIDIClick=37\r\nSyncSource=JACK\r\n");
    EXPECT_FALSE(machine_->isFollowing());
    EXPECT_EQ(sound_.sync, playback::SyncSource::Internal);
    EXPECT_EQ(openSettings().syncBox()->currentIndex(), 0);
}

// Leading the JACK transport: ticked as the settings say, offered only where it can act (on
// JACK, on our own clock) and greyed with the reason elsewhere, taken by the host at once, and
// written only by a save, and only once ever chosen.
TEST_F(SettingsDialogTest, TheJackLeadIsOfferedOnlyWhereItActsAndKeptOnlyWhenSaved)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    const std::string untouched = readBytes(settings_.IniFile);
    ui::SettingsDialog& dialog = openSettings();
    QCheckBox* lead = dialog.timebaseBox();
    EXPECT_EQ(lead->text(), "JACK-Transport f\u00fchren (Timebase-Master)");
    EXPECT_LE(lead->sizeHint().width(), lead->width()) << "the German words fit";
    EXPECT_FALSE(lead->geometry().intersects(dialog.syncBox()->geometry()));
    EXPECT_NEAR(lead->geometry().center().y(), dialog.syncBox()->geometry().center().y(), 1)
        << "beside the sync choice";
    EXPECT_FALSE(lead->isChecked()) << "off by default";
    EXPECT_FALSE(lead->isEnabled()) << "no JACK output";
    EXPECT_EQ(lead->toolTip(),
              "Nur die JACK-Ausgabe hat einen Transport, den sie f\u00fchren kann.");
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(readBytes(settings_.IniFile), untouched) << "an untouched lead writes nothing";

    sound_.sharedTransport = true;  // sound goes out through JACK
    ui::SettingsDialog& onJack = openSettings();
    lead = onJack.timebaseBox();
    ASSERT_TRUE(lead->isEnabled());
    EXPECT_EQ(lead->toolTip(),
              "Unser Tempo, Takt und Schlag gehen an alle Programme am JACK-Transport");
    pressOn(lead);
    EXPECT_TRUE(machine_->jackTimebase());
    EXPECT_EQ(sound_.timebaseMasters, std::vector<bool>{true}) << "led at once";

    // Following a master the box is greyed but keeps its tick, and the lead is given back;
    // on our own clock again, it is taken again.
    const char* const whileFollowing = "Nur bei Synchronisation Intern: Ein Transport, dem "
                                       "gefolgt wird, kann nicht gef\u00fchrt werden.";
    const struct {
        int sync;
        bool offered;
        bool led;
    } steps[] = {{1, false, false}, {2, false, false}, {0, true, true}};
    for (const auto& step : steps) {
        choose(onJack.syncBox(), step.sync);
        EXPECT_EQ(lead->isEnabled(), step.offered) << step.sync;
        EXPECT_TRUE(lead->isChecked()) << step.sync;
        EXPECT_EQ(lead->toolTip() == whileFollowing, !step.offered) << step.sync;
        EXPECT_EQ(sound_.timebaseMasters.back(), step.led) << step.sync;
        EXPECT_EQ(app::liveHostOptions(machine_->settings()).timebaseMaster, step.led)
            << step.sync << ": nor does a host started with these settings lead";
    }

    // JACK goes away while the settings are open, and comes back: the box follows at once.
    for (const bool back : {false, true}) {
        sound_.sharedTransport = back;
        sound_.trouble = back ? "audio output back: JACK" : "JACK went away: no audio output";
        window_->pollPlayback();
        EXPECT_EQ(lead->isEnabled(), back);
        EXPECT_EQ(lead->toolTip().startsWith("Nur die JACK-Ausgabe"), !back);
    }

    // Closed without saving: it acts for this run only.
    onJack.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(readBytes(settings_.IniFile), untouched);
    EXPECT_TRUE(openSettings().timebaseBox()->isChecked()) << "still chosen in this run";
    dialogs_->settings()->saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(readBytes(settings_.IniFile), untouched + "JackTimebase=1\r\n");

    // Read back at the next start; turned off, the key stays and says so.
    restartWith("Device=1\r\nMIDIClick=37\r\nJackTimebase=1\r\n");
    ui::SettingsDialog& third = openSettings();
    ASSERT_TRUE(third.timebaseBox()->isChecked());
    pressOn(third.timebaseBox());
    EXPECT_EQ(sound_.timebaseMasters.back(), false);
    third.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(readBytes(settings_.IniFile), untouched + "JackTimebase=0\r\n");
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int row = 0; row < box->count(); ++row)
        items << box->itemText(row);
    return items;
}

// The ports a studio machine might offer: blanks, colons and letters beyond ASCII.
devices::MidiPortList fakePorts(devices::MidiDirection direction)
{
    if (direction == devices::MidiDirection::Output)
        return {true, {"Drum Brain:in: kick", "S\xc3\xbfnth \xc3\x9c:Eingang 1"}};
    return {true, {"Pads:out"}};
}

void choosePort(QComboBox* box, const QString& text)
{
    const int row = box->findText(text);
    ASSERT_GE(row, 0) << text.toStdString();
    box->setCurrentIndex(row);
    emit box->activated(row);  // what a pick with the mouse or keys sends
}

TEST_F(SettingsDialogTest, MidiPortsAreListedAndOnlyAChoiceWritesTheirKeys)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    ui::SettingsDialog& dialog = openSettings();
    dialog.setPortLister(fakePorts);
    dialog.ListPorts();
    EXPECT_EQ(itemsOf(dialog.midiOutBox()),
              (QStringList{"(erster Port)", "(keiner)", "Drum Brain:in: kick",
                           "S\u00ffnth \u00dc:Eingang 1"}));
    EXPECT_EQ(itemsOf(dialog.midiInBox()), (QStringList{"(keiner)", "Pads:out"}));
    EXPECT_EQ(dialog.midiOutBox()->currentText(), "(erster Port)");
    EXPECT_EQ(dialog.midiInBox()->currentText(), "(keiner)");
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("MidiOutPort"), "<none>") << "untouched, nothing new is written";
    EXPECT_EQ(iniValue("MidiInPort"), "<none>");

    ui::SettingsDialog& again = openSettings();
    again.setPortLister(fakePorts);
    again.ListPorts();
    choosePort(again.midiOutBox(), "S\u00ffnth \u00dc:Eingang 1");
    choosePort(again.midiInBox(), "Pads:out");
    EXPECT_EQ(machine_->settings().midiOut,
              devices::MidiPortChoice::named("S\xc3\xbfnth \xc3\x9c:Eingang 1"));
    again.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("MidiOutPort"), "S\xc3\xbfnth \xc3\x9c:Eingang 1");
    EXPECT_EQ(iniValue("MidiInPort"), "Pads:out");

    // Back to the defaults, the keys go again.
    ui::SettingsDialog& third = openSettings();
    third.setPortLister(fakePorts);
    third.ListPorts();
    EXPECT_EQ(third.midiInBox()->currentText(), "Pads:out");
    choosePort(third.midiOutBox(), "(erster Port)");
    choosePort(third.midiInBox(), "(keiner)");
    third.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("MidiOutPort"), "<none>");
    EXPECT_EQ(iniValue("MidiInPort"), "<none>");
}

TEST_F(SettingsDialogTest, AKeptPortThatIsNotThereStaysChosenAndMarked)
{
    restartWith("Device=1\r\nMIDIClick=37\r\nMidiOutPort=Gone Synth:in 1\r\nMidiInPort=none\r\n");
    ui::SettingsDialog& dialog = openSettings();
    dialog.setPortLister(fakePorts);
    dialog.ListPorts();
    EXPECT_EQ(dialog.midiOutBox()->currentText(), "Gone Synth:in 1 (nicht gefunden)");
    EXPECT_EQ(dialog.midiInBox()->currentText(), "(keiner)");
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("MidiOutPort"), "Gone Synth:in 1") << "opening and saving never loses it";

    // The kept ALSA device, plugged in anew under another client number, is there.
    restartWith("Device=1\r\nMidiInPort=Pads:out 1 20:0\r\n");
    ui::SettingsDialog& moved = openSettings();
    moved.setPortLister([](devices::MidiDirection direction) {
        return direction == devices::MidiDirection::Input
                   ? devices::MidiPortList{false, {"Pads:out 1 24:0"}}
                   : fakePorts(direction);
    });
    moved.ListPorts();
    EXPECT_EQ(itemsOf(moved.midiInBox()), (QStringList{"(keiner)", "Pads:out 1 24:0"}));
    EXPECT_EQ(moved.midiInBox()->currentText(), "Pads:out 1 24:0");
}

TEST_F(SettingsDialogTest, TheEditingChoicesActAtOnceAndAreKeptOnlyOnceTurnedOff)
{
    restartWith("Device=1\r\nMIDIClick=37\r\n");
    ui::SettingsDialog& dialog = openSettings();
    EXPECT_EQ(dialog.askToSaveBox()->text(), "Vor dem Verwerfen von \u00c4nderungen fragen");
    EXPECT_EQ(dialog.hearStepsBox()->text(), "Schritte beim Setzen h\u00f6ren");
    EXPECT_TRUE(dialog.askToSaveBox()->isChecked()) << "on by default";
    EXPECT_TRUE(dialog.hearStepsBox()->isChecked()) << "on by default";
    pressOn(dialog.askToSaveBox());
    pressOn(dialog.hearStepsBox());
    EXPECT_FALSE(machine_->asksToSave());
    EXPECT_FALSE(machine_->hearsSteps());
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("AskToSave"), "0");
    EXPECT_EQ(iniValue("HearSteps"), "0");

    ui::SettingsDialog& again = openSettings();
    EXPECT_FALSE(again.askToSaveBox()->isChecked());
    EXPECT_FALSE(again.hearStepsBox()->isChecked());
    pressOn(again.askToSaveBox());
    pressOn(again.hearStepsBox());
    again.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("AskToSave"), "1");
    EXPECT_EQ(iniValue("HearSteps"), "1");
}

TEST_F(SettingsDialogTest, WithoutASelectionSoundIsLeftAloneAndAFailureIsReported)
{
    // No sample sets at all: WAVE cannot be chosen, the list is empty.
    restartWith("Sound=Gone\r\nDevice=1\r\nMIDIClick=31\r\n");
    ui::SettingsDialog& dialog = openSettings();
    EXPECT_EQ(dialog.soundList()->count(), 0);
    EXPECT_FALSE(dialog.soundOption(1)->isEnabled());
    EXPECT_TRUE(sound_.previews.empty());

    pressOn(dialog.clickOption(1));  // Rim
    dialog.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(iniValue("Sound"), "Gone");
    EXPECT_EQ(iniValue("MIDIClick"), "37");
    EXPECT_EQ(iniValue("SendMIDIClock"), "<none>")
        << "a file that never had the clock keeps its keys";

    // A settings file that cannot be replaced: said so, and the dialog stays for another try.
    fs::remove(settings_.IniFile);
    fs::create_directory(settings_.IniFile);
    ui::SettingsDialog& again = openSettings();
    again.saveButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(questions_.told.size(), 1u);
    EXPECT_EQ(dialogs_->settings(), &again);
}

TEST_F(SettingsDialogTest, MidiChoicesAreOffWhenMidiFailed)
{
    fs::create_directories(soundDir() / "Default");
    sound_.midiFailed = true;
    ui::SettingsDialog& dialog = openSettings();
    EXPECT_FALSE(dialog.soundOption(0)->isEnabled());
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(dialog.clickOption(i)->isEnabled()) << i;
    EXPECT_TRUE(dialog.soundOption(1)->isEnabled());
    pressOn(dialog.clickOption(0));
    EXPECT_EQ(sound_.clicks, 0);
}

// A mono 16-bit PCM wave of a few frames, byte for byte, so the kit below is real audio.
std::string tinyWave()
{
    auto word = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
        return out;
    };
    const std::string data = word(0x2000, 2) + word(0x2000, 2) + word(0x2000, 2) + word(0x2000, 2);
    return "RIFF" + word(36 + static_cast<std::uint32_t>(data.size()), 4) + "WAVEfmt " +
           word(16, 4) + word(1, 2) + word(1, 2) + word(44100, 4) + word(88200, 4) + word(2, 2) +
           word(16, 2) + "data" + word(static_cast<std::uint32_t>(data.size()), 4) + data;
}

TEST_F(SettingsDialogTest, ImportsAnInstalledKitAsASetShowsItsMappingAndAsksBeforeReplacing)
{
    const fs::path kits = home_.path() / "hydrogen-kits";
    fs::create_directories(kits / "Fab Kit");
    writeBytes(kits / "Fab Kit" / "kick.wav", tinyWave());
    writeBytes(kits / "Fab Kit" / "drumkit.xml",
               "<drumkit_info><name>Fab Kit</name><instrumentList><instrument><name>Kick"
               "</name><filename>kick.wav</filename></instrument></instrumentList>"
               "</drumkit_info>");
    fs::create_directories(kits / "not a kit");
    ui::SettingsDialog& dialog = openSettings();
    // The old controls stay where they were; the import panel lies to their right.
    EXPECT_EQ(dialog.saveButton()->geometry(), ui::pixels({60, 3270, 3765, 495}));
    EXPECT_GE(dialog.kitList()->parentWidget()->geometry().left(),
              dialog.saveButton()->geometry().right());

    dialog.setKitFolders({kits, home_.path() / "missing"});
    EXPECT_EQ(entries(dialog.kitList()), (QStringList{"Fab Kit"}));
    dialog.kitList()->setCurrentRow(0);
    dialog.importButton()->click();
    ASSERT_TRUE(waitForImport(dialog));
    EXPECT_TRUE(questions_.told.empty());
    EXPECT_TRUE(fs::exists(soundDir() / "Fab Kit" / "BD.wav"));
    EXPECT_TRUE(entries(dialog.soundList()).contains("Fab Kit"));
    EXPECT_EQ(machine_->settings().SoundSet, "Fab Kit");
    EXPECT_TRUE(dialog.mappingText()->toPlainText().contains("BD   Kick"));

    // Again: the set exists, and only a Yes replaces it.
    writeBytes(soundDir() / "Fab Kit" / "mine.txt", "kept unless replaced");
    questions_.answers = {false, true};
    dialog.importButton()->click();
    ASSERT_TRUE(waitForImport(dialog));
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_EQ(questions_.asked[0],
              "Den Klangsatz \"Fab Kit\" gibt es schon.\nSoll er ersetzt werden?");
    EXPECT_TRUE(fs::exists(soundDir() / "Fab Kit" / "mine.txt"));
    dialog.importButton()->click();
    ASSERT_TRUE(waitForImport(dialog));
    EXPECT_FALSE(fs::exists(soundDir() / "Fab Kit" / "mine.txt"));

    // A kit that cannot be read is reported, and nothing is made.
    writeBytes(kits / "Fab Kit" / "drumkit.xml", "<drumkit_info>");
    questions_.answers = {true};
    dialog.importButton()->click();
    ASSERT_TRUE(waitForImport(dialog));
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_TRUE(questions_.told[0].startsWith("Das Schlagzeug wurde nicht eingelesen."));
}

// An import runs beside the window: the event loop goes on while it converts (here a source
// that takes as long as it is let), a busy bar and Cancel stand in for the import buttons,
// and Cancel ends it without a set or a message. Closing the dialog cancels one, too.
TEST_F(SettingsDialogTest, AnImportRunsOnAWorkerAndCancelStopsIt)
{
    ui::SettingsDialog& dialog = openSettings();
    std::atomic<int> started{0};
    std::atomic<bool> sawCancel{false};
    dialog.setImporter([&](const kits::ImportOptions& options) -> core::Result<kits::ImportReport> {
        ++started;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!options.cancel->load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sawCancel = options.cancel->load();
        return core::fail("cancelled", std::string(kits::kImportCancelled));
    });
    ASSERT_TRUE(dialog.importKit(home_.path() / "slow.sfz"));
    EXPECT_TRUE(dialog.importing());
    EXPECT_FALSE(dialog.importKit(home_.path() / "other.sfz"));  // one at a time
    EXPECT_TRUE(dialog.busyBar()->isVisible());
    EXPECT_TRUE(dialog.cancelButton()->isVisible());
    EXPECT_FALSE(dialog.importButton()->isVisible());
    EXPECT_EQ(dialog.cancelButton()->text(), "Abbrechen");

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QTest::qWait(300);
    EXPECT_GE(ticks, 10) << "the event loop stalled during the import";
    EXPECT_TRUE(dialog.importing());

    dialog.cancelButton()->click();
    EXPECT_FALSE(dialog.cancelButton()->isEnabled());
    ASSERT_TRUE(waitForImport(dialog));
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(questions_.told.empty());
    EXPECT_FALSE(dialog.busyBar()->isVisible());
    EXPECT_TRUE(dialog.importButton()->isVisible());
    EXPECT_TRUE(dialog.browseButton()->isVisible());

    // Closed while an import runs: cancelled and waited for, not left running.
    sawCancel = false;
    ASSERT_TRUE(dialog.importKit(home_.path() / "slow.sfz"));
    QTest::qWait(20);
    dialog.close();
    QTest::qWait(20);
    EXPECT_TRUE(sawCancel);
}

}  // namespace
}  // namespace taktwerk::testing
