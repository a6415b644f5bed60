// The window's texts in the two languages: English where the locale is not German, and Qt's
// own buttons in German beside the program's German questions. The other suites check the
// German texts word for word (QtEnvironment.cpp chooses German for the whole run).

#include "core/Language.h"

#include "DialogFixture.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QMessageBox>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

// English while it lives; constructed before the window, so the window is built in English.
struct InEnglish {
    InEnglish() { EXPECT_TRUE(core::useLanguage(core::Language::English, {})); }
    ~InEnglish() { EXPECT_TRUE(core::useLanguage(core::Language::German, TAKTWERK_LOCALE_DIR)); }
};

class EnglishWindow : private InEnglish, public DialogTest {};

TEST_F(EnglishWindow, SpeaksEnglishInCaptionsTipsAndQuestions)
{
    EXPECT_EQ(window_->tapButton()->toolTip(), "Right click = Reset");
    EXPECT_EQ(window_->padButton(1)->toolTip(), "Key 2\nRight click = Change Sound");
    EXPECT_EQ(window_->padButton(0)->toolTip(), "Key 1");
    EXPECT_EQ(window_->runButton()->text(), "R U N");

    questions_.answers = {false};
    window_->NewRhythm();
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_EQ(questions_.asked[0], "Really reset everything?");

    writeRhythm("Rock", {0});
    window_->filesButton()->click();
    ui::RhythmsDialog* library = dialogs_->library();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->windowTitle(), "Rhythm Files");
    pressRow(library->list(), 0);
    questions_.answers = {false};
    library->deleteButton()->click();
    ASSERT_EQ(questions_.asked.size(), 2u);
    EXPECT_EQ(questions_.asked[1], "Really delete the rhythm Rock?");
    EXPECT_TRUE(fs::exists(rhythmFile("Rock")));

    library->saveButton()->click();
    ASSERT_NE(library->nameDialog(), nullptr);
    EXPECT_EQ(library->nameDialog()->windowTitle(), "Name the rhythm");
}

TEST_F(EnglishWindow, NamesARefusedRhythmNameInEnglish)
{
    window_->filesButton()->click();
    dialogs_->library()->saveButton()->click();
    ui::NameDialog* dialog = dialogs_->library()->nameDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->nameBox()->setText("..");
    QTest::keyClick(dialog->nameBox(), Qt::Key_Return);
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_EQ(questions_.told[0], "The name \"..\" cannot be a file name.");
}

class GermanWindow : public DialogTest {};

TEST_F(GermanWindow, NamesARefusedRhythmNameInGerman)
{
    window_->filesButton()->click();
    dialogs_->library()->saveButton()->click();
    ui::NameDialog* dialog = dialogs_->library()->nameDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->nameBox()->setText("..");
    QTest::keyClick(dialog->nameBox(), Qt::Key_Return);
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_EQ(questions_.told[0],
              QString::fromUtf8("Der Name \"..\" ist als Dateiname nicht m\u00f6glich."));
}

TEST(QtTexts, AQuestionsButtonsReadJaAndNeinUnderGerman)
{
    // The German program's questions had Ja and Nein; Qt's catalogue gives the same.
    QMessageBox box(QMessageBox::Question, "Quorrel Taktwerk", "?",
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Ja");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Nein");
}

}  // namespace
}  // namespace taktwerk::testing
