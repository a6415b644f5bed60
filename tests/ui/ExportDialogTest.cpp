// Export from the window: the file equals what the command line writes for the same rhythm and
// options, a long render can be cancelled without leaving anything behind, and nothing that is
// not of the export's kind (the rhythm's own file above all) is ever replaced.

#include "ui/ExportDialog.h"

#include "DialogFixture.h"
#include "sound/ImpulseKit.h"

#include <QCheckBox>
#include <QProcess>
#include <QProgressBar>
#include <QSpinBox>
#include <fstream>
#include <iterator>
#include <sndfile.h>
#include <vector>

namespace taktwerk::testing {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples of an audio file, as a player decodes them.
std::vector<float> decoded(const fs::path& file)
{
    SF_INFO info{};
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
    if (in == nullptr)
        return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(in, samples.data(), info.frames);
    sf_close(in);
    return samples;
}

class ExportDialogTest : public DialogTest {
protected:
    // A rhythm of the impulse kit, saved, so the command line can read what the window holds.
    fs::path saveTestRhythm(const fs::path& file)
    {
        writeImpulseKit(soundDir(), "Impulse", 44100);
        machine_->setSoundSet("Impulse");
        machine_->toggleStep(1, 4);
        machine_->setTempo(133);
        EXPECT_TRUE(machine_->saveRhythm(file, "Test"));
        return file;
    }
    ui::ExportDialog& openExport()
    {
        QTest::keyClick(window_.get(), Qt::Key_E, Qt::ControlModifier);
        ui::ExportDialog* dialog = dialogs_->exportDialog();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    // Exports through the button to `file`, as if chosen in the file dialog, and waits.
    bool exportThroughTheButton(ui::ExportDialog& dialog, const fs::path& file)
    {
        dialog.setFileChooser([file](QWidget*) { return file; });
        bool written = false;
        bool ended = false;
        const auto connection =
            QObject::connect(&dialog, &ui::ExportDialog::finished, [&](bool ok) {
                written = ok;
                ended = true;
            });
        dialog.exportButton()->click();
        for (int i = 0; i < 6000 && !ended; ++i)
            QTest::qWait(5);
        QObject::disconnect(connection);
        EXPECT_TRUE(ended);
        return written;
    }
    static int runProgram(const QStringList& words)
    {
        return QProcess::execute(QStringLiteral(TAKTWERK_EXECUTABLE), words);
    }
    static QString q(const fs::path& path) { return QString::fromStdString(path.string()); }
};

TEST_F(ExportDialogTest, TheFileEqualsWhatTheCommandLineWritesWithTheSameOptions)
{
    const fs::path rhythm = saveTestRhythm(rhythmFile("Test"));
    ui::ExportDialog& dialog = openExport();
    dialog.loopsBox()->setValue(2);
    dialog.introBox()->setChecked(true);
    dialog.tailBox()->setChecked(true);
    const fs::path out = home_.path();
    const struct {
        const char* name;
        QStringList options;
        bool midi;
        // An Ogg stream bears a random serial number, so two renders of the command line
        // differ in it too: there the music must be the same.
        bool bytes;
    } cases[] = {
        {"song.wav", {"--loops", "2", "--intro", "--tail"}, false, true},
        {"song.flac", {"--loops", "2", "--intro", "--tail"}, false, true},
        {"song.ogg", {"--loops", "2", "--intro", "--tail"}, false, false},
        {"song.mid", {"--loops", "2"}, true, true},
    };
    for (const auto& c : cases) {
        const fs::path fromWindow = out / (std::string("window-") + c.name);
        const fs::path fromCommand = out / (std::string("command-") + c.name);
        ASSERT_TRUE(exportThroughTheButton(dialog, fromWindow)) << c.name;
        QStringList words{c.midi ? "export-midi" : "render", q(rhythm), "-o", q(fromCommand)};
        words += c.options;
        ASSERT_EQ(runProgram(words), 0) << c.name;
        const std::string written = bytesOf(fromWindow);
        EXPECT_GT(written.size(), 100u) << c.name;
        if (c.bytes) {
            EXPECT_TRUE(written == bytesOf(fromCommand)) << c.name << ": byte for byte";
        } else {
            EXPECT_FALSE(decoded(fromWindow).empty());
            EXPECT_TRUE(decoded(fromWindow) == decoded(fromCommand)) << c.name;
        }
    }
    EXPECT_TRUE(questions_.told.empty());
    EXPECT_FALSE(dialog.progressBar()->isVisible());
}

TEST_F(ExportDialogTest, ACancelledExportLeavesNoFileAndNoTemporary)
{
    saveTestRhythm(rhythmFile("Test"));
    const fs::path folder = home_.path() / "out";
    fs::create_directories(folder);
    ui::ExportDialog& dialog = openExport();
    dialog.loopsBox()->setValue(100000);  // hours of music: still rendering when cancelled
    dialog.setFileChooser([&](QWidget*) { return folder / "long.wav"; });
    bool ended = false;
    bool written = true;
    QObject::connect(&dialog, &ui::ExportDialog::finished, [&](bool ok) {
        written = ok;
        ended = true;
    });
    ASSERT_TRUE(dialog.exportNow());
    EXPECT_TRUE(dialog.progressBar()->isVisible());
    EXPECT_TRUE(dialog.cancelButton()->isVisible());
    EXPECT_FALSE(dialog.exportNow()) << "one export at a time";
    QTest::qWait(50);
    EXPECT_TRUE(window_->isEnabled()) << "the window stays live meanwhile";
    dialog.cancelButton()->click();
    for (int i = 0; i < 2000 && !ended; ++i)
        QTest::qWait(5);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(written);
    EXPECT_TRUE(questions_.told.empty()) << "a cancel is no failure to report";
    EXPECT_TRUE(fs::is_empty(folder)) << "neither the file nor a temporary";
    EXPECT_FALSE(dialog.cancelButton()->isVisible());
}

TEST_F(ExportDialogTest, NeverReplacesTheRhythmOrAFileOfAnotherKind)
{
    // A rhythm file may bear any name, even one of an audio file.
    const fs::path rhythm = saveTestRhythm(home_.path() / "Song.wav");
    const std::string rhythmBytes = bytesOf(rhythm);
    const fs::path notes = home_.path() / "notes.mid";
    writeBytes(notes, "my notes, not a MIDI file");
    fs::create_directories(home_.path() / "folder.wav");
    ui::ExportDialog& dialog = openExport();
    const struct {
        fs::path file;
        const char* toldPart;
    } cases[] = {
        {rhythm, "Eingabedatei"},
        {notes, "keine MIDI-Datei"},
        {home_.path() / "folder.wav", "Ordner"},
        {home_.path() / "song.mp3", ".mid"},
    };
    for (const auto& c : cases) {
        questions_.told.clear();
        EXPECT_FALSE(exportThroughTheButton(dialog, c.file)) << c.file;
        ASSERT_EQ(questions_.told.size(), 1u) << c.file;
        EXPECT_TRUE(questions_.told[0].contains(QString::fromUtf8(c.toldPart)))
            << questions_.told[0].toStdString();
    }
    // A sample set that is not there would give a file of silence, reported as written.
    machine_->setSoundSet("Gone");
    questions_.told.clear();
    EXPECT_FALSE(exportThroughTheButton(dialog, home_.path() / "silence.wav"));
    ASSERT_EQ(questions_.told.size(), 1u);
    EXPECT_TRUE(questions_.told[0].contains("Gone")) << questions_.told[0].toStdString();
    EXPECT_FALSE(fs::exists(home_.path() / "silence.wav"));
    EXPECT_EQ(bytesOf(rhythm), rhythmBytes);
    EXPECT_EQ(bytesOf(notes), "my notes, not a MIDI file");
    EXPECT_FALSE(fs::exists(home_.path() / "song.mp3"));
}

}  // namespace
}  // namespace taktwerk::testing
