#include "ui/WaveDialog.h"

#include "sound/VoiceSet.h"
#include "ui/DialogFixture.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QPushButton>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kTom2 = 7;  // track index of tom 2

class WaveDialogTest : public DialogTest {
protected:
    // A right click on the pad of `track`, as the user opens the dialog.
    ui::WaveDialog& rightClickPad(int track)
    {
        QTest::mouseClick(window_->padButton(track), Qt::RightButton);
        ui::WaveDialog* dialog = dialogs_->wave();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
};

TEST_F(WaveDialogTest, ListsTheLooseSamplesOfTheSoundFolder)
{
    touch(soundDir() / "Conga.wav");
    touch(soundDir() / "bongo low.wav");
    touch(soundDir() / "Shout.WAV");  // not found as "Shout" + ".wav" again
    touch(soundDir() / "readme.txt");
    fs::create_directories(soundDir() / "Default");  // a set, not a sample
    ui::WaveDialog& dialog = rightClickPad(kTom2);
    EXPECT_EQ(dialog.windowTitle(), "Select Sound");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(entries(dialog.list()), (QStringList{"bongo low", "Conga"}));
    EXPECT_TRUE(dialog.standardBox()->isChecked());
    EXPECT_TRUE(dialog.previewBox()->isChecked());
    EXPECT_EQ(machine_->EditTom(), 2);
}

TEST_F(WaveDialogTest, PickingASampleTurnsStandardOffAndPreviewDecidesTheSound)
{
    touch(soundDir() / "Conga.wav");
    ui::WaveDialog& dialog = rightClickPad(kTom2);
    dialog.previewBox()->setChecked(false);
    pressRow(dialog.list(), 0);
    EXPECT_FALSE(dialog.standardBox()->isChecked());
    EXPECT_TRUE(sound_.previews.empty());

    dialog.previewBox()->setChecked(true);
    pressRow(dialog.list(), 0);
    ASSERT_EQ(sound_.previews.size(), 1u);
    EXPECT_EQ(sound_.previews[0], soundDir() / "Conga.wav");
    dialog.close();  // the preview voice goes with the dialog
    EXPECT_EQ(sound_.previewStops, 1);
}

TEST_F(WaveDialogTest, SetGivesTheTomLastStruckItsSampleAndStandardRestoresIt)
{
    touch(soundDir() / "Conga.wav");
    ui::WaveDialog& dialog = rightClickPad(kTom2);
    EXPECT_FALSE(window_->windowTitle().contains('*'));
    pressRow(dialog.list(), 0);
    dialog.setButton()->click();
    EXPECT_TRUE(window_->windowTitle().contains('*')) << "a new tom sample is an unsaved change";
    ASSERT_EQ(sound_.singleSounds.size(), 1u);
    EXPECT_EQ(sound_.singleSounds[0].first, 8);
    EXPECT_EQ(sound_.singleSounds[0].second.tomSounds[1], "Conga");
    EXPECT_EQ(machine_->settings().Tom2Sound, "Conga");
    EXPECT_EQ(window_->padButton(kTom2)->text(), "Conga");
    EXPECT_EQ(window_->padButton(kTom2 - 1)->text(), "Tom 1");
    EXPECT_TRUE(dialog.isVisible());  // stays open after SET

    // The choice travels with a saved rhythm.
    EXPECT_EQ(machine_->currentRhythm().Tom2Sound, "Conga");

    // A press on tom 3 makes SET apply to tom 3; Standard on restores the set's own tom.
    QTest::mouseClick(window_->padButton(kTom2 + 1), Qt::LeftButton);
    dialog.standardBox()->setChecked(true);
    dialog.setButton()->click();
    EXPECT_EQ(sound_.singleSounds.back().first, 9);
    EXPECT_EQ(window_->padButton(kTom2 + 1)->text(), "Tom 3");
    QTest::mouseClick(window_->padButton(kTom2), Qt::LeftButton);
    dialog.setButton()->click();
    EXPECT_EQ(machine_->settings().Tom2Sound, "Tom 2");
    EXPECT_EQ(window_->padButton(kTom2)->text(), "Tom 2");
    EXPECT_FALSE(window_->windowTitle().contains('*')) << "back as the rhythm was";
    EXPECT_EQ(sound_.singleSounds.back().second.tomSounds[1], "Tom 2");
}

TEST_F(WaveDialogTest, TheExtraTomsOfAnImportedSetAreOfferedFirst)
{
    touch(soundDir() / "Conga.wav");
    touch(soundDir() / "Default" / "T4.wav");
    touch(soundDir() / "Default" / "T6.wav");
    touch(soundDir() / "Default" / "T8.wav");  // no tom an import makes
    ui::WaveDialog& dialog = rightClickPad(kTom2);
    EXPECT_EQ(entries(dialog.list()),
              (QStringList{"Tom 4 des Klangsatzes", "Tom 6 des Klangsatzes", "Conga"}));

    pressRow(dialog.list(), 1);
    ASSERT_EQ(sound_.previews.size(), 1u);
    EXPECT_EQ(sound_.previews[0], soundDir() / "Default/T6.wav");
    dialog.setButton()->click();
    // The name finds the file in the set's folder, as a loose sample's name finds its file.
    EXPECT_EQ(machine_->settings().Tom2Sound, "Default/T6");
    ASSERT_EQ(sound_.singleSounds.size(), 1u);
    EXPECT_EQ(sound::sampleFileFor(sound::VoiceId::T2, sound_.singleSounds[0].second),
              soundDir() / "Default/T6.wav");
}

TEST_F(WaveDialogTest, SetWithNothingSelectedGivesTheTomNoSample)
{
    ui::WaveDialog& dialog = rightClickPad(kTom2 + 1);
    dialog.standardBox()->setChecked(false);
    dialog.setButton()->click();
    EXPECT_EQ(machine_->settings().Tom3Sound, "");
    EXPECT_EQ(window_->padButton(kTom2 + 1)->text(), "");
    // A loaded rhythm brings its own tom names back onto the pads.
    writeRhythm("Plain", {0});
    ASSERT_TRUE(window_->loadRhythm(rhythmFile("Plain")));
    EXPECT_EQ(window_->padButton(kTom2 + 1)->text(), "Tom 3");
}

}  // namespace
}  // namespace taktwerk::testing
