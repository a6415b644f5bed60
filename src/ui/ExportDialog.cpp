#include "ui/ExportDialog.h"

#include "app/DrumMachine.h"
#include "core/Paths.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/Questions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>
#include <memory>

namespace taktwerk::ui {

namespace {

constexpr int kClientWidthTw = 4200;
constexpr int kClientHeightTw = 1920;
constexpr layout::TwipsRect kLoopsLabel{120, 150, 1500, 285};
constexpr layout::TwipsRect kLoops{1680, 105, 1200, 345};
constexpr layout::TwipsRect kIntro{120, 570, 3960, 285};
constexpr layout::TwipsRect kTail{120, 900, 3960, 285};
constexpr layout::TwipsRect kExport{120, 1320, 3960, 495};
// While an export runs, these stand where the export button was.
constexpr layout::TwipsRect kProgress{120, 1320, 2760, 495};
constexpr layout::TwipsRect kCancel{3000, 1320, 1080, 495};
constexpr int kPermille = 1000;

std::filesystem::path askForFile(QWidget* parent, const std::filesystem::path& suggestion)
{
    QString chosen = QFileDialog::getSaveFileName(
        parent, qtranslated("Export"), fromUtf8(core::utf8FromPath(suggestion)),
        qtranslated("Audio and MIDI files (*.wav *.flac *.ogg *.mid)"));
    if (chosen.isEmpty())
        return {};
    std::filesystem::path file = core::pathFromUtf8(toUtf8(chosen));
    // A name typed without its ending is taken as a WAV file, as `render` takes it.
    if (!file.has_extension())
        file += ".wav";
    return file;
}

}  // namespace

ExportDialog::ExportDialog(app::DrumMachine& machine, Questions& questions, QWidget* parent)
    : QWidget(parent), machine_(machine), questions_(questions)
{
    makeToolWindow(this, qtranslated("Export"), kClientWidthTw, kClientHeightTw);
    setFont(appFont(layout::fontPixels(8.25), false));

    auto* loopsLabel = new QLabel(qtranslated("Loops:"), this);
    loopsLabel->setGeometry(pixels(kLoopsLabel));
    loops_ = new QSpinBox(this);
    loops_->setGeometry(pixels(kLoops));
    loops_->setRange(1, app::kMaxAudioLoops);
    loops_->setValue(app::ExportChoice{}.loops);
    intro_ = new QCheckBox(qtranslated("Count-in first"), this);
    intro_->setGeometry(pixels(kIntro));
    intro_->setChecked(machine_.intro());
    tail_ = new QCheckBox(qtranslated("Let the last hits ring out"), this);
    tail_->setGeometry(pixels(kTail));

    export_ = new QPushButton(qtranslated("Export..."), this);
    export_->setGeometry(pixels(kExport));
    connect(export_, &QPushButton::clicked, this, [this] { (void)exportNow(); });
    progress_ = new QProgressBar(this);
    progress_->setGeometry(pixels(kProgress));
    progress_->setRange(0, kPermille);
    progress_->setTextVisible(false);
    progress_->hide();
    cancel_ = new QPushButton(qtranslated("Cancel"), this);
    cancel_->setGeometry(pixels(kCancel));
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, &ExportDialog::cancelExport);

    chooser_ = [this](QWidget* owner) {
        const app::Settings& settings = machine_.settings();
        const std::string name = machine_.RhythmName().empty() ? "Rhythm" : machine_.RhythmName();
        return askForFile(owner, settings.RhythmDir / core::pathFromUtf8(name + ".wav"));
    };
}

ExportDialog::~ExportDialog()
{
    // The worker must not outlive what it posts to; a cancelled render stops at its next block
    // and leaves nothing behind.
    cancelled_ = true;
    if (worker_.joinable())
        worker_.join();
}

bool ExportDialog::exportNow()
{
    if (exporting())
        return false;
    const std::filesystem::path file = chooser_(this);
    if (file.empty())
        return false;
    return exportTo(file);
}

bool ExportDialog::exportTo(const std::filesystem::path& file)
{
    if (exporting())
        return false;
    app::ExportChoice choice;
    choice.loops = loops_->value();
    choice.intro = intro_->isChecked();
    choice.tail = tail_->isChecked();
    cancelled_ = false;
    shownPermille_ = -1;
    showRunning(true);
    // The worker gets copies: the rhythm may be edited on while it renders.
    worker_ = std::jthread([this, rhythm = machine_.currentRhythm(),
                            soundDir = machine_.settings().SoundDir,
                            rhythmFile = machine_.RhythmFile(), choice, file] {
        const auto progress = [this](double done) {
            const int permille = static_cast<int>(std::lround(done * kPermille));
            if (shownPermille_.exchange(permille) == permille)
                return;
            QMetaObject::invokeMethod(
                this, [this, permille] { progress_->setValue(permille); }, Qt::QueuedConnection);
        };
        auto result = std::make_shared<core::Result<void>>(
            app::writeExport(rhythm, soundDir, choice, file, rhythmFile, progress, &cancelled_));
        QMetaObject::invokeMethod(
            this, [this, result] { finishExport(std::move(*result)); }, Qt::QueuedConnection);
    });
    return true;
}

void ExportDialog::cancelExport()
{
    cancelled_ = true;
    cancel_->setEnabled(false);  // pressed once is enough; the worker stops at its next block
}

void ExportDialog::showRunning(bool running)
{
    progress_->setValue(0);
    progress_->setVisible(running);
    cancel_->setVisible(running);
    cancel_->setEnabled(true);
    export_->setVisible(!running);
    loops_->setEnabled(!running);
    intro_->setEnabled(!running);
    tail_->setEnabled(!running);
}

void ExportDialog::finishExport(core::Result<void> result)
{
    if (worker_.joinable())
        worker_.join();  // it has posted its result and is about to end
    showRunning(false);
    if (!result && result.error().detail != playback::kRenderCancelled)
        questions_.tell(this, fromUtf8(result.error().message));
    emit finished(result.has_value());
}

void ExportDialog::closeEvent(QCloseEvent* event)
{
    cancelled_ = true;
    if (worker_.joinable())
        worker_.join();
    event->accept();
}

}  // namespace taktwerk::ui
