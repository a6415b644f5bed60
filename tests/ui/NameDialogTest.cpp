#include "ui/NameDialog.h"

#include "core/Profile.h"
#include "ui/DialogFixture.h"
#include "ui/RhythmsDialog.h"
#include "ui/Widgets.h"

#include <QLineEdit>
#include <QPushButton>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

class NameDialogTest : public DialogTest {
protected:
    // The library's Save: captures the grid and opens the name dialog.
    ui::NameDialog& startSave()
    {
        window_->filesButton()->click();
        library_ = dialogs_->library();
        library_->saveButton()->click();
        ui::NameDialog* dialog = library_->nameDialog();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    void pressEnter(ui::NameDialog& dialog) { QTest::keyClick(dialog.nameBox(), Qt::Key_Return); }
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    ui::RhythmsDialog* library_ = nullptr;
};

TEST_F(NameDialogTest, EnterSavesTheRhythmAndSelectsIt)
{
    clearGrid();
    window_->stepButton(0, 0)->click();
    window_->stepButton(8, 31)->click();  // past the loop: all 32 columns are saved
    window_->muteButton(4)->click();      // the ride starts muted: now it is not
    window_->beatsOption(2)->click();
    window_->tempoBar()->setValue(98);

    ui::NameDialog& dialog = startSave();
    EXPECT_EQ(dialog.windowTitle(), "Rhythmus benennen");
    EXPECT_EQ(dialog.nameBox()->text(), "Default");  // `RhythmName`
    EXPECT_FALSE(library_->isVisible());
    // Edits made while the dialog is open are not part of this save.
    window_->stepButton(3, 3)->click();

    dialog.nameBox()->setText(QString::fromUtf8("Gr\u00fcn & Blau"));
    pressEnter(dialog);
    settle();
    EXPECT_EQ(library_->nameDialog(), nullptr);
    EXPECT_TRUE(library_->isVisible());
    EXPECT_EQ(library_->selectedName(), QString::fromUtf8("Gr\u00fcn & Blau"));
    EXPECT_EQ(machine_->RhythmName(), "Gr\u00fcn & Blau");
    EXPECT_EQ(machine_->RhythmFile(), core::utf8FromPath(rhythmFile("Gr\u00fcn & Blau")));

    // The file as the program writes it, 28 keys in their order.
    const std::string expected =
        "[Settings]\r\n"
        "Name=Gr\xfcn & Blau\r\n"
        "BPM=98\r\n"
        "Beats=32\r\n"
        "Intv=4\r\n"
        "Sound=Default\r\n"
        "[RhythmData]\r\n"
        "BD=X_______________________________\r\n"
        "SD=________________________________\r\n"
        "HH=________________________________\r\n"
        "OH=________________________________\r\n"
        "RC=________________________________\r\n"
        "CC=________________________________\r\n"
        "T1=________________________________\r\n"
        "T2=________________________________\r\n"
        "T3=_______________________________X\r\n"
        "[Mute]\r\n"
        "BD=0\r\nSD=0\r\nHH=0\r\nOH=0\r\nRC=0\r\nCC=0\r\nT1=0\r\nT2=0\r\nT3=0\r\n"
        "[Multi]\r\n"
        "Snare=0\r\n"
        "Ride=0\r\n"
        "Tom1=Tom 1\r\n"
        "Tom2=Tom 2\r\n"
        "Tom3=Tom 3\r\n";
    EXPECT_EQ(readBytes(rhythmFile("Gr\u00fcn & Blau")), expected);

    // The next save offers the name just used.
    library_->saveButton()->click();
    EXPECT_EQ(library_->nameDialog()->nameBox()->text(), QString::fromUtf8("Gr\u00fcn & Blau"));
}

TEST_F(NameDialogTest, TypedCharactersThatCannotNameAFileAreSwallowed)
{
    ui::NameDialog& dialog = startSave();
    dialog.nameBox()->clear();
    type(dialog.nameBox(), QString::fromUtf8("a.b/c:d<e>f[g]h\\i^j*k\"l,m;n=o#p$q%r(s)t"));
    EXPECT_EQ(dialog.nameBox()->text(), "abcdefghijklmnopqrst");
    dialog.nameBox()->clear();
    type(dialog.nameBox(), QString::fromUtf8("R&B - It's +1! \u00e4\u00df?_~"));
    EXPECT_EQ(dialog.nameBox()->text(), QString::fromUtf8("R&B - It's +1! \u00e4\u00df?_~"));
    // Editing keys still edit.
    QTest::keyClick(dialog.nameBox(), Qt::Key_Backspace);
    EXPECT_EQ(dialog.nameBox()->text(), QString::fromUtf8("R&B - It's +1! \u00e4\u00df?_"));
}

TEST_F(NameDialogTest, AnEmptyNameKeepsTheDialog)
{
    ui::NameDialog& dialog = startSave();
    dialog.nameBox()->clear();
    pressEnter(dialog);
    settle();
    ASSERT_EQ(library_->nameDialog(), &dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(library_->isVisible());
    EXPECT_TRUE(fs::is_empty(rhythmDir()));
    EXPECT_TRUE(questions_.told.empty());
}

TEST_F(NameDialogTest, OverwriteAsksAndNoLeavesTheFileAndTheDialog)
{
    writeRhythm("Rock", {0, 8}, 140);
    const std::string original = readBytes(rhythmFile("Rock"));
    clearGrid();
    window_->stepButton(1, 4)->click();

    ui::NameDialog& dialog = startSave();
    dialog.nameBox()->setText("Rock");
    questions_.answers = {false};
    dialog.saveButton()->click();
    settle();
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_EQ(questions_.asked[0],
              QString::fromUtf8("Bereits vorhandenen Rhythmus \u00fcberschreiben ?"));
    EXPECT_EQ(readBytes(rhythmFile("Rock")), original);
    ASSERT_EQ(library_->nameDialog(), &dialog);
    EXPECT_EQ(dialog.nameBox()->text(), "Rock");
    EXPECT_EQ(machine_->RhythmName(), "Default");  // nothing written, nothing renamed

    questions_.answers = {true};
    dialog.saveButton()->click();
    settle();
    EXPECT_EQ(library_->nameDialog(), nullptr);
    const auto profile = core::ProfileFile::open(rhythmFile("Rock"));
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->read("Settings", "BPM", ""), "120");
    EXPECT_EQ(profile->read("RhythmData", "SD", ""), "____X___________________________");
    EXPECT_EQ(library_->selectedName(), "Rock");
    EXPECT_EQ(machine_->RhythmName(), "Rock");
}

TEST_F(NameDialogTest, ARefusedSaveIsReportedAndNothingIsLost)
{
    writeRhythm("Keep", {1});
    const std::string kept = readBytes(rhythmFile("Keep"));
    ui::NameDialog& dialog = startSave();

    // Pasted text is not filtered; these names can never be file names here.
    const std::vector<QString> refused{
        "What?", "A|B", "Jazz/Rock", QString(300, 'x'),
        QString::fromUtf8("Tr\u0113s")};  // "ē": not in the file's code page
    for (const QString& name : refused) {
        questions_.told.clear();
        dialog.nameBox()->setText(name);
        dialog.saveButton()->click();
        settle();
        EXPECT_EQ(questions_.told.size(), 1u) << name.left(20).toStdString();
        ASSERT_EQ(library_->nameDialog(), &dialog);
        EXPECT_EQ(dialog.nameBox()->text(), name);
    }
    // A folder standing where the file would go: the system refuses the write itself.
    fs::create_directory(rhythmFile("Busy"));
    questions_.told.clear();
    dialog.nameBox()->setText("Busy");
    dialog.saveButton()->click();
    settle();
    EXPECT_EQ(questions_.told.size(), 1u);
    ASSERT_EQ(library_->nameDialog(), &dialog);

    EXPECT_EQ(machine_->RhythmName(), "Default");
    EXPECT_TRUE(machine_->RhythmFile().empty());
    EXPECT_EQ(readBytes(rhythmFile("Keep")), kept);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(rhythmDir()))
        files.push_back(core::utf8FromPath(entry.path().filename()));
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Busy.rtm", "Keep.rtm"}));  // no leftovers

    // The user picks a good name and the save goes through.
    dialog.nameBox()->setText("Fine");
    dialog.saveButton()->click();
    settle();
    EXPECT_EQ(library_->nameDialog(), nullptr);
    EXPECT_TRUE(fs::exists(rhythmFile("Fine")));
}

TEST_F(NameDialogTest, ClosingTheDialogBringsTheLibraryBack)
{
    ui::NameDialog& dialog = startSave();
    dialog.close();
    settle();
    EXPECT_EQ(library_->nameDialog(), nullptr);
    EXPECT_TRUE(library_->isVisible());
    EXPECT_TRUE(fs::is_empty(rhythmDir()));
}

TEST_F(NameDialogTest, ALinkLeadingOutOfTheRhythmFolderIsNotSavedThrough)
{
    fs::create_directories(rhythmDir());
    writeBytes(home_ / "victim.txt", "not a rhythm");
    fs::create_symlink(home_ / "victim.txt", rhythmFile("Trap"));
    ui::NameDialog& dialog = startSave();
    dialog.nameBox()->setText("Trap");
    pressEnter(dialog);
    settle();
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_TRUE(
        questions_.told[0].contains(QString::fromUtf8("au\u00dferhalb des Rhythmus-Ordners")))
        << questions_.told[0].toStdString();
    EXPECT_EQ(readBytes(home_ / "victim.txt"), "not a rhythm");
    EXPECT_EQ(library_->nameDialog(), &dialog);  // kept, so another name can be given
}

}  // namespace
}  // namespace taktwerk::testing
