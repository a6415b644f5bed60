#include "ui/RhythmsDialog.h"

#include "ui/DialogFixture.h"
#include "ui/NameDialog.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

class RhythmsDialogTest : public DialogTest {
protected:
    ui::RhythmsDialog& openLibrary()
    {
        window_->filesButton()->click();
        ui::RhythmsDialog* library = dialogs_->library();
        EXPECT_NE(library, nullptr);
        return *library;
    }
};

TEST_F(RhythmsDialogTest, ListsTheFolderByNameWithoutRegardToCase)
{
    ui::RhythmsDialog& library = openLibrary();
    EXPECT_TRUE(library.isVisible());
    EXPECT_EQ(library.windowTitle(), "Rhythm Files");
    // Centred across the screen, a little above its middle, over the main window.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(library.x() + library.width() / 2, screen.center().x(), 4);
    EXPECT_LT(library.y() + library.height() / 2, screen.center().y());
    EXPECT_TRUE(library.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(library.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(library.list()->count(), 0);  // an empty rhythm folder

    for (const char* name : {"Rock", "ballad", "Blues", "Waltz 3.4"})
        writeRhythm(name, {0});
    touch(rhythmDir() / "notes.txt");
    fs::create_directory(rhythmDir() / "Old.rtm");
    window_->filesButton()->click();
    EXPECT_EQ(entries(library.list()), (QStringList{"ballad", "Blues", "Rock", "Waltz 3.4"}));
    EXPECT_TRUE(library.selectedName().isEmpty());
}

TEST_F(RhythmsDialogTest, PressInTheListLoadsTheSelectedRhythm)
{
    writeRhythm("Funk", {0, 3}, 97);
    writeRhythm("Waltz 3.4", {5}, 150);
    ui::RhythmsDialog& library = openLibrary();
    const app::DrumMachine& machine = *machine_;
    const pattern::Pattern before = machine.pattern();

    // Nothing selected yet: a press loads nothing, the grid stays (no silent clear).
    pressRow(library.list(), -1);
    pressRow(library.list(), 0, Qt::RightButton);
    EXPECT_EQ(machine.pattern(), before);
    EXPECT_EQ(sound_.restarts, 0);

    pressRow(library.list(), 1);  // left: selects and loads
    EXPECT_EQ(library.selectedName(), "Waltz 3.4");
    EXPECT_EQ(machine.RhythmName(), "Waltz 3.4");
    EXPECT_EQ(machine.tempoBpm(), 150);
    EXPECT_TRUE(machine.StepIsOn(0, 5));
    EXPECT_EQ(machine.RhythmFile(), core::utf8FromPath(rhythmFile("Waltz 3.4")));
    EXPECT_EQ(window_->tempoLabel()->text(), "150");
    EXPECT_TRUE(window_->stepButton(0, 5)->isChecked());
    ASSERT_EQ(sound_.soundChoices.size(), 1u);  // the voices follow the loaded rhythm

    // Right button on another entry: the selection stays and the same rhythm loads afresh.
    window_->stepButton(0, 9)->click();
    pressRow(library.list(), 0, Qt::RightButton);
    EXPECT_EQ(library.selectedName(), "Waltz 3.4");
    EXPECT_FALSE(machine.StepIsOn(0, 9));
    EXPECT_EQ(sound_.restarts, 2);

    // A file deleted behind the list's back is not loaded as an empty rhythm; its entry goes.
    fs::remove(rhythmFile("Waltz 3.4"));
    window_->stepButton(0, 9)->click();
    pressRow(library.list(), 0, Qt::RightButton);
    EXPECT_TRUE(machine.StepIsOn(0, 9));
    EXPECT_EQ(entries(library.list()), QStringList{"Funk"});
}

TEST_F(RhythmsDialogTest, DeleteAsksAndRemovesOnlyOnYes)
{
    writeRhythm("Blues", {0});
    writeRhythm("Rock", {0});
    ui::RhythmsDialog& library = openLibrary();

    library.deleteButton()->click();  // nothing selected: no question
    EXPECT_TRUE(questions_.asked.empty());

    pressRow(library.list(), 1);
    questions_.answers = {false};
    library.deleteButton()->click();
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_EQ(questions_.asked[0], QString::fromUtf8("Rhythmus Rock wirklich l\u00f6schen ?   "));
    EXPECT_TRUE(fs::exists(rhythmFile("Rock")));

    questions_.answers = {true};
    library.deleteButton()->click();
    EXPECT_FALSE(fs::exists(rhythmFile("Rock")));
    EXPECT_EQ(entries(library.list()), QStringList{"Blues"});
    EXPECT_TRUE(library.selectedName().isEmpty());
    // The grid and the current name are not the library's to touch.
    EXPECT_EQ(machine_->RhythmName(), "Rock");
    EXPECT_TRUE(questions_.told.empty());
}

TEST_F(RhythmsDialogTest, DeleteReportsAFailureAndDropsAVanishedFile)
{
    writeRhythm("Blues", {0});
    writeRhythm("Rock", {0});
    ui::RhythmsDialog& library = openLibrary();

    // Vanished meanwhile: no question, the stale entry goes.
    pressRow(library.list(), 0);
    fs::remove(rhythmFile("Blues"));
    library.deleteButton()->click();
    EXPECT_TRUE(questions_.asked.empty());
    EXPECT_EQ(entries(library.list()), QStringList{"Rock"});

    // Something the system will not delete takes the file's place while the question is up.
    pressRow(library.list(), 0);
    questions_.beforeAnswer = [this] {
        fs::remove(rhythmFile("Rock"));
        fs::create_directory(rhythmFile("Rock"));
        touch(rhythmFile("Rock") / "keep");
    };
    library.deleteButton()->click();
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_TRUE(questions_.told[0].contains("Rock"));
    EXPECT_TRUE(fs::exists(rhythmFile("Rock") / "keep"));
}

TEST_F(RhythmsDialogTest, BeginnerViewDisablesSaveAndDelete)
{
    ui::RhythmsDialog* library = &openLibrary();
    EXPECT_TRUE(library->saveButton()->isEnabled());

    window_->modeBox()->click();  // on, with the library open
    ASSERT_TRUE(machine_->isBeginner());
    EXPECT_FALSE(library->saveButton()->isEnabled());
    EXPECT_FALSE(library->deleteButton()->isEnabled());
    EXPECT_TRUE(library->newButton()->isEnabled());

    // Closed with its close box and made anew while the view is on.
    library->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dialogs_->library(), nullptr);
    library = &openLibrary();
    EXPECT_FALSE(library->saveButton()->isEnabled());
    EXPECT_FALSE(library->deleteButton()->isEnabled());

    // Loading still works in the beginner view.
    writeRhythm("Pop", {2});
    window_->filesButton()->click();
    pressRow(library->list(), 0);
    EXPECT_EQ(machine_->RhythmName(), "Pop");

    window_->modeBox()->click();  // off again
    EXPECT_TRUE(library->saveButton()->isEnabled());
    EXPECT_TRUE(library->deleteButton()->isEnabled());
}

TEST_F(RhythmsDialogTest, NewHidesAndComesBackOnlyWhenTheUserSaysNo)
{
    ui::RhythmsDialog& library = openLibrary();
    window_->stepButton(1, 5)->click();
    const QPoint placed = library.pos();

    // The grid is edited: the question is whether to save, and Cancel is the way back.
    questions_.threeWay = {ui::Answer::Cancel};
    library.newButton()->click();
    EXPECT_TRUE(library.isVisible());
    EXPECT_EQ(library.pos(), placed);  // only hidden: it keeps its place
    EXPECT_TRUE(machine_->StepIsOn(1, 5));

    questions_.threeWay = {ui::Answer::No};
    library.newButton()->click();
    EXPECT_FALSE(library.isVisible());
    EXPECT_FALSE(machine_->StepIsOn(1, 5));
    EXPECT_TRUE(machine_->RhythmName().empty());
}

TEST_F(RhythmsDialogTest, SaveRoundTripRestoresTheRhythm)
{
    ui::RhythmsDialog& library = openLibrary();
    window_->stepButton(2, 7)->click();
    window_->muteButton(5)->click();
    window_->tempoBar()->setValue(133);
    const pattern::Pattern saved = machine_->pattern();

    library.saveButton()->click();
    ui::NameDialog* name = library.nameDialog();
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(library.isVisible());
    name->nameBox()->setText("Mine");
    name->saveButton()->click();
    EXPECT_TRUE(library.isVisible());
    EXPECT_EQ(library.selectedName(), "Mine");

    // Change everything, then load it back from the list.
    questions_.answers = {true};
    library.newButton()->click();
    window_->filesButton()->click();
    pressRow(library.list(), 0);
    EXPECT_EQ(machine_->pattern(), saved);
    EXPECT_TRUE(machine_->isMuted(5));
    EXPECT_EQ(machine_->tempoBpm(), 133);
    EXPECT_EQ(machine_->RhythmName(), "Mine");
}

TEST_F(RhythmsDialogTest, WindowsNamesAndCapitalExtensionsAreListedLoadedAndDeleted)
{
    writeRhythm("Funk", {0, 3}, 97);
    fs::rename(rhythmFile("Funk"), rhythmDir() / "FUNK.RTM");
    writeRhythm("Koeln", {5}, 150);
    fs::rename(rhythmFile("Koeln"), rhythmDir() / "K\xf6ln Groove.rtm");  // Windows-1252 bytes
    ui::RhythmsDialog& library = openLibrary();
    EXPECT_EQ(entries(library.list()),
              (QStringList{"FUNK", QString::fromUtf8("K\u00f6ln Groove")}));

    pressRow(library.list(), 1);
    EXPECT_EQ(machine_->tempoBpm(), 150);
    EXPECT_EQ(machine_->RhythmFile(), rhythmDir() / "K\xf6ln Groove.rtm");
    pressRow(library.list(), 0);
    EXPECT_EQ(machine_->tempoBpm(), 97);

    library.deleteButton()->click();
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_EQ(questions_.asked[0], QString::fromUtf8("Rhythmus FUNK wirklich l\u00f6schen ?   "));
    EXPECT_FALSE(fs::exists(rhythmDir() / "FUNK.RTM"));
    pressRow(library.list(), 0);
    library.deleteButton()->click();
    EXPECT_EQ(questions_.asked.back(),
              QString::fromUtf8("Rhythmus K\u00f6ln Groove wirklich l\u00f6schen ?   "));
    EXPECT_TRUE(fs::is_empty(rhythmDir()));
    EXPECT_EQ(library.list()->count(), 0);
}

}  // namespace
}  // namespace taktwerk::testing
