#include "ui/WaveDialog.h"

#include "app/DrumMachine.h"
#include "core/Paths.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QListWidget>
#include <QPushButton>

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
    for (const std::string& name : waveFiles(machine_.settings().SoundDir))
        lstWave_->addItem(fromUtf8(name));
}

QString WaveDialog::selectedName() const
{
    const QList<QListWidgetItem*> selected = lstWave_->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
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
