#include "ui/SettingsDialog.h"

#include "app/DrumMachine.h"
#include "app/Settings.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <iostream>

namespace taktwerk::ui {

namespace {

constexpr int kClientWidthTw = 3885;
constexpr int kClientHeightTw = 3840;
constexpr layout::TwipsRect kSoundFrame{60, 60, 3765, 3105};
constexpr std::array<layout::TwipsRect, 2> kSoundOptions{
    {{180, 360, 825, 255}, {1680, 360, 975, 255}}};
constexpr layout::TwipsRect kClickPanel{180, 750, 1215, 2205};
constexpr std::array<layout::TwipsRect, 5> kClickOptions{{{90, 90, 885, 285},
                                                          {90, 480, 945, 285},
                                                          {90, 870, 975, 285},
                                                          {90, 1290, 945, 285},
                                                          {90, 1710, 885, 285}}};
constexpr std::array<const char*, 5> kClickCaptions{
    core::translatable("Stick"), core::translatable("Rim"), core::translatable("Maracas"),
    core::translatable("Triangle"), core::translatable("Cowbell")};
// Line1, from (1530, 330) to (1530, 2940): one pixel wide.
constexpr layout::TwipsRect kLine{1530, 330, layout::kTwipsPerPixel, 2610};
constexpr layout::Rgb kLineColour = 0x808080;
constexpr layout::TwipsRect kSets{1680, 750, 1935, 2190};
constexpr layout::TwipsRect kSaveSettings{60, 3270, 3765, 495};

constexpr int kMidiDevice = 1;  // `SoundDevice` 1: MIDI
constexpr int kWaveDevice = 2;

}  // namespace

SettingsDialog::SettingsDialog(app::DrumMachine& machine, Questions& questions, QWidget* parent)
    : QWidget(parent), machine_(machine), questions_(questions)
{
    makeToolWindow(this, qtranslated("Sound Settings"), kClientWidthTw, kClientHeightTw);
    setFont(appFont(layout::fontPixels(8.25), false));

    auto* frame = new QGroupBox(qtranslated("Sound Device:"), this);
    frame->setGeometry(pixels(kSoundFrame));
    const std::array<const char*, 2> deviceCaptions{"MIDI", "WAVE"};
    for (std::size_t i = 0; i < optSound_.size(); ++i) {
        optSound_[i] = new QRadioButton(QString::fromUtf8(deviceCaptions[i]), frame);
        optSound_[i]->setGeometry(pixels(kSoundOptions[i]));
        optSound_[i]->setFocusPolicy(Qt::NoFocus);
        connect(optSound_[i], &QRadioButton::clicked, this, &SettingsDialog::optSound_Click);
    }
    optSound_[0]->setChecked(true);

    // A panel of its own, so the click options form a group apart from MIDI/WAVE.
    auto* clickPanel = new QWidget(frame);
    clickPanel->setGeometry(pixels(kClickPanel));
    for (std::size_t i = 0; i < optMIDIClick_.size(); ++i) {
        optMIDIClick_[i] = new QRadioButton(qtranslated(kClickCaptions[i]), clickPanel);
        optMIDIClick_[i]->setGeometry(pixels(kClickOptions[i]));
        optMIDIClick_[i]->installEventFilter(this);
    }
    optMIDIClick_[0]->setToolTip(qtranslated("Not available on all MIDI Devices !"));
    optMIDIClick_[1]->setChecked(true);

    auto* line = new FillPanel(colourOf(kLineColour), frame);
    line->setGeometry(pixels(kLine));

    lstSounds_ = new QListWidget(frame);
    lstSounds_->setGeometry(pixels(kSets));
    lstSounds_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstSounds_->setFont(appFont(layout::fontPixels(9.75), true));
    lstSounds_->setStyleSheet(QStringLiteral("QListWidget { background-color: #E0E0E0; }"));
    connect(lstSounds_, &QListWidget::itemClicked, this, &SettingsDialog::lstSounds_Click);
    connect(lstSounds_, &QListWidget::itemDoubleClicked, this, &SettingsDialog::lstSounds_DblClick);

    cmdSaveSettings_ = new QPushButton(qtranslated("S A V E  a n d   E X I T"), this);
    cmdSaveSettings_->setGeometry(pixels(kSaveSettings));
    cmdSaveSettings_->setFocusPolicy(Qt::NoFocus);
    connect(cmdSaveSettings_, &QPushButton::clicked, this, &SettingsDialog::cmdSaveSettings_Click);
}

QRadioButton* SettingsDialog::soundOption(int index) const
{
    return optSound_[static_cast<std::size_t>(index)];
}

QRadioButton* SettingsDialog::clickOption(int index) const
{
    return optMIDIClick_[static_cast<std::size_t>(index)];
}

QString SettingsDialog::selectedSet() const
{
    const QList<QListWidgetItem*> selected = lstSounds_->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

void SettingsDialog::ListSounds()
{
    const app::Settings& settings = machine_.settings();
    lstSounds_->clear();
    const std::vector<std::string> sets = soundSetFolders(settings.SoundDir);
    optSound_[1]->setEnabled(!sets.empty());
    for (const std::string& set : sets)
        lstSounds_->addItem(fromUtf8(set));
    // The settings file may spell the set in other letter case than its folder.
    const QString wanted = fromUtf8(settings.SoundSet);
    for (int row = 0; row < lstSounds_->count(); ++row) {
        if (lstSounds_->item(row)->text().compare(wanted, Qt::CaseInsensitive) == 0) {
            lstSounds_->setCurrentRow(row);
            lstSounds_Click();
            break;
        }
    }

    optSound_[settings.SoundDevice == kMidiDevice ? 0 : 1]->setChecked(true);
    optSound_Click();

    for (std::size_t i = 0; i < kClickNotes.size(); ++i)
        if (kClickNotes[i] == settings.ClickNote)
            optMIDIClick_[i]->setChecked(true);

    const bool midi = !machine_.MidiFailed();
    optSound_[0]->setEnabled(midi);
    for (QRadioButton* option : optMIDIClick_)
        option->setEnabled(midi);
}

void SettingsDialog::lstSounds_Click()
{
    const QString set = selectedSet();
    if (set.isEmpty())
        return;
    machine_.setSoundSet(toUtf8(set));
    // A set without its own click stays silent here.
    machine_.preview(machine_.settings().SoundDir / core::pathFromUtf8(toUtf8(set)) / "ST.wav");
}

void SettingsDialog::lstSounds_DblClick()
{
    const QString set = selectedSet();
    if (set.isEmpty())
        return;
    machine_.setSoundSet(toUtf8(set));
    machine_.SetSound();
}

void SettingsDialog::optSound_Click()
{
    machine_.setSoundDevice(optSound_[0]->isChecked() ? kMidiDevice : kWaveDevice);
}

void SettingsDialog::optMIDIClick_MouseDown(int index)
{
    const auto i = static_cast<std::size_t>(index);
    machine_.setClickNote(kClickNotes[i]);
    // Choosing a click means hearing it through MIDI.
    optMIDIClick_[i]->setChecked(true);
    optSound_[0]->setChecked(true);
    machine_.setSoundDevice(kMidiDevice);
    machine_.click();
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The click note follows the mouse alone, any button; the keyboard only moves the dot.
    if (event->type() == QEvent::MouseButtonPress) {
        for (std::size_t i = 0; i < optMIDIClick_.size(); ++i) {
            if (watched == optMIDIClick_[i] && optMIDIClick_[i]->isEnabled()) {
                optMIDIClick_MouseDown(static_cast<int>(i));
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsDialog::cmdSaveSettings_Click()
{
    machine_.setSoundDevice(optSound_[0]->isChecked() ? kMidiDevice : kWaveDevice);
    const QString set = selectedSet();
    if (!set.isEmpty())
        machine_.setSoundSet(toUtf8(set));
    if (auto saved = app::saveSoundSettings(machine_.settings(), !set.isEmpty()); !saved) {
        if (!saved.error().detail.empty())
            std::cerr << "taktwerk: " << saved.error().message << " (" << saved.error().detail
                      << ")\n";
        // The dialog stays, so the choice can be saved again once the cause is gone.
        questions_.tell(this, qtranslated("The settings were not saved.\n") +
                                  fromUtf8(saved.error().message));
        return;
    }
    close();
}

void SettingsDialog::closeEvent(QCloseEvent* event)
{
    machine_.stopPreview();  // the preview voice goes with the dialog
    event->accept();
}

}  // namespace taktwerk::ui
