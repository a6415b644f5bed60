#include "ui/WaveDialog.h"

#include "app/DrumMachine.h"
#include "core/Paths.h"
#include "kits/KitIni.h"
#include "sound/VoiceSet.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace taktwerk::ui {

namespace {

constexpr int kClientWidthTw = 2190;
constexpr int kClientHeightTw = 4995;
constexpr layout::Rgb kBackground = 0xE0E0E0;
constexpr layout::TwipsRect kStandard{90, 30, 1035, 285};
constexpr layout::TwipsRect kPreview{1200, 30, 1035, 285};
constexpr layout::TwipsRect kList{90, 270, 1995, 4290};
constexpr layout::TwipsRect kSet{90, 4620, 1995, 315};
constexpr int kFirstTomVoice = 7;  // `SetSingleSound`'s number of tom 1; toms 2 and 3 follow
// An entry's name as the tom keeps it, when that is not the entry's text.
constexpr int kNameRole = Qt::UserRole;

// The extra toms (T4 ... T7) an import left in the set `set`, as tom names: "Set/T4" is a file
// of the sound folder like any loose sample, so the name works as every tom name does, and the
// old program, which joins folder and name on Windows, finds the file under it too.
std::vector<std::pair<std::string, int>> extraToms(const std::filesystem::path& soundDir,
                                                   const std::string& set)
{
    std::vector<std::pair<std::string, int>> toms;
    for (std::size_t i = 0; i < kits::kExtraTomFiles.size(); ++i) {
        const std::string name = set + "/" + std::string(kits::kExtraTomFiles[i]);
        const auto file = soundDir / core::pathFromUtf8(name + ".wav");
        std::error_code error;
        // A set name from a rhythm file may lead anywhere; only files of our folder are offered.
        if (std::filesystem::is_regular_file(file, error) && sound::isInSoundFolder(file, soundDir))
            toms.emplace_back(name, static_cast<int>(i) + 4);
    }
    return toms;
}

}  // namespace

WaveDialog::WaveDialog(app::DrumMachine& machine, MainWindow& window)
    : QWidget(&window), machine_(machine), window_(window)
{
    makeToolWindow(this, qtranslated("Select Sound"), kClientWidthTw, kClientHeightTw);
    setFont(appFont(layout::fontPixels(8.25), false));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colourOf(kBackground));
    setPalette(palette);

    chkWave_ = new QCheckBox(qtranslated("Standard"), this);
    chkWave_->setGeometry(pixels(kStandard));
    chkWave_->setChecked(true);
    chkPreview_ = new QCheckBox(qtranslated("Preview"), this);
    chkPreview_->setGeometry(pixels(kPreview));
    chkPreview_->setChecked(true);

    lstWave_ = new QListWidget(this);
    lstWave_->setGeometry(pixels(kList));
    lstWave_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstWave_->setFont(appFont(layout::fontPixels(8.25), true));
    lstWave_->setStyleSheet(
        QStringLiteral("QListWidget { background-color: #404040; color: #E0E0E0; }"));
    connect(lstWave_, &QListWidget::itemClicked, this, &WaveDialog::lstWave_Click);

    cmdSet_ = new QPushButton(qtranslated("< < <    S E T"), this);
    cmdSet_->setGeometry(pixels(kSet));
    cmdSet_->setFocusPolicy(Qt::NoFocus);
    connect(cmdSet_, &QPushButton::clicked, this, &WaveDialog::cmdSet_Click);
}

void WaveDialog::ListFiles()
{
    lstWave_->clear();
    const app::Settings& settings = machine_.settings();
    for (const auto& [name, number] : extraToms(settings.SoundDir, settings.SoundSet)) {
        auto* item = new QListWidgetItem(
            qtranslated("Tom %s of the set", {QString::number(number)}), lstWave_);
        item->setData(kNameRole, fromUtf8(name));
    }
    for (const std::string& name : waveFiles(settings.SoundDir))
        lstWave_->addItem(fromUtf8(name));
}

QString WaveDialog::selectedName() const
{
    const QList<QListWidgetItem*> selected = lstWave_->selectedItems();
    if (selected.isEmpty())
        return {};
    const QVariant name = selected.front()->data(kNameRole);
    return name.isValid() ? name.toString() : selected.front()->text();
}

void WaveDialog::lstWave_Click()
{
    const QString name = selectedName();
    if (name.isEmpty())
        return;
    // Picking a sample means not the set's own; hearing it is a choice of its own.
    chkWave_->setChecked(false);
    if (!chkPreview_->isChecked())
        return;
    machine_.preview(machine_.settings().SoundDir / core::pathFromUtf8(toUtf8(name) + ".wav"));
}

void WaveDialog::cmdSet_Click()
{
    const int tom = machine_.EditTom();
    if (tom < 1 || tom > 3)
        return;
    // "Tom 1" ... name the set's own sample; any other name a file in the sound folder. With
    // nothing selected the tom gets the empty name: a silent voice and an empty caption.
    const std::string name =
        chkWave_->isChecked() ? "Tom " + std::to_string(tom) : toUtf8(selectedName());
    machine_.SetSingleSound(kFirstTomVoice + tom - 1, name);
    window_.refreshTomCaptions();
}

void WaveDialog::closeEvent(QCloseEvent* event)
{
    machine_.stopPreview();  // the preview voice goes with the dialog
    event->accept();
}

}  // namespace taktwerk::ui
