#include "ui/SettingsDialog.h"

#include "app/DrumMachine.h"
#include "app/Settings.h"
#include "core/Language.h"
#include "core/Paths.h"
#include "kits/InstalledKits.h"
#include "kits/KitImport.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>

namespace taktwerk::ui {

namespace {

// The import panel lies right of the old controls, which keep their places and sizes; the
// MIDI clock's box in a row of its own below them, and the editing choices below that.
constexpr int kClientWidthTw = 6885;
constexpr int kClientHeightTw = 5865;
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
constexpr layout::TwipsRect kImportFrame{3945, 60, 2880, 3705};
constexpr layout::TwipsRect kKitsLabel{120, 270, 2640, 240};
constexpr layout::TwipsRect kKits{120, 540, 2640, 1260};
constexpr layout::TwipsRect kImportKit{120, 1890, 1275, 375};
constexpr layout::TwipsRect kBrowseKit{1485, 1890, 1275, 375};
constexpr layout::TwipsRect kMapping{120, 2355, 2640, 1230};
// While an import runs, these stand where the two import buttons were.
constexpr layout::TwipsRect kBusy{120, 1890, 1755, 375};
constexpr layout::TwipsRect kCancelImport{1965, 1890, 795, 375};
constexpr layout::TwipsRect kClock{120, 3855, 3705, 285};
constexpr layout::TwipsRect kAskToSave{120, 4140, 3705, 285};
constexpr layout::TwipsRect kHearSteps{120, 4425, 3705, 285};
// Beside it, under the import panel: which notes coming in strike which pad.
constexpr layout::TwipsRect kLearnMidi{4005, 3855, 2820, 315};
// The sync choice's entries, in this order.
constexpr std::array<playback::SyncSource, 3> kSyncSources{playback::SyncSource::Internal,
                                                           playback::SyncSource::MidiClock,
                                                           playback::SyncSource::JackTransport};

// Whom we follow, and beside it whether we lead the JACK transport, in a row as wide as the
// dialog: the lead's German caption is long, and it belongs beside the choice it depends on.
// The labels' column is as wide as "Synchronisation:" needs.
constexpr layout::TwipsRect kSyncLabel{120, 4815, 1260, 285};
constexpr layout::TwipsRect kSync{1440, 4770, 1785, 345};
constexpr layout::TwipsRect kTimebase{3300, 4800, 3525, 285};
// The MIDI ports, in two rows of their own at the bottom, as wide as the dialog: port names
// are long ("FLUID Synth (1234):Synth input port (1234:0) 128:0").
constexpr layout::TwipsRect kMidiOutLabel{120, 5160, 1260, 285};
constexpr layout::TwipsRect kMidiOut{1440, 5130, 5385, 315};
constexpr layout::TwipsRect kMidiInLabel{120, 5505, 1260, 285};
constexpr layout::TwipsRect kMidiIn{1440, 5475, 5385, 315};
// What a port box's entry stands for: its kind, and the port's name for a named one.
constexpr int kChoiceKindRole = Qt::UserRole;
constexpr int kChoiceNameRole = Qt::UserRole + 1;

void addChoice(QComboBox* box, const QString& text, const devices::MidiPortChoice& choice)
{
    box->addItem(text);
    const int row = box->count() - 1;
    box->setItemData(row, static_cast<int>(choice.kind), kChoiceKindRole);
    box->setItemData(row, fromUtf8(choice.name), kChoiceNameRole);
}

devices::MidiPortChoice choiceAt(const QComboBox* box, int row)
{
    const auto kind =
        static_cast<devices::MidiPortChoice::Kind>(box->itemData(row, kChoiceKindRole).toInt());
    return {kind, toUtf8(box->itemData(row, kChoiceNameRole).toString())};
}

// The ports found, and the kept choice among them, found as the output finds it (an ALSA device
// plugged in anew shows under its new number); a kept port that is not there now is listed all
// the same, marked, so that opening and saving the dialog never loses it.
void fillPortBox(QComboBox* box, const std::vector<devices::MidiPortChoice>& fixed,
                 const std::vector<QString>& fixedTexts, const devices::MidiPortList& ports,
                 const devices::MidiPortChoice& kept)
{
    const QSignalBlocker block(box);
    box->clear();
    for (std::size_t i = 0; i < fixed.size(); ++i)
        addChoice(box, fixedTexts[i], fixed[i]);
    for (const std::string& name : ports.names)
        addChoice(box, fromUtf8(name), devices::MidiPortChoice::named(name));
    devices::MidiPortChoice shown = kept;
    if (kept.kind == devices::MidiPortChoice::Kind::Named) {
        if (const auto found = devices::chooseMidiPort(ports.names, kept))
            shown = devices::MidiPortChoice::named(ports.names[*found]);
        else
            addChoice(box, qtranslated("%s (not found)", {fromUtf8(kept.name)}), kept);
    }
    for (int row = 0; row < box->count(); ++row) {
        if (choiceAt(box, row) == shown)
            box->setCurrentIndex(row);
    }
}

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

    auto* importFrame = new QGroupBox(qtranslated("Import Kit:"), this);
    importFrame->setGeometry(pixels(kImportFrame));
    auto* kitsLabel = new QLabel(qtranslated("Installed Hydrogen kits:"), importFrame);
    kitsLabel->setGeometry(pixels(kKitsLabel));
    lstKits_ = new QListWidget(importFrame);
    lstKits_->setGeometry(pixels(kKits));
    lstKits_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(lstKits_, &QListWidget::itemDoubleClicked, this, &SettingsDialog::cmdImportKit_Click);
    cmdImportKit_ = new QPushButton(qtranslated("Import"), importFrame);
    cmdImportKit_->setGeometry(pixels(kImportKit));
    cmdImportKit_->setFocusPolicy(Qt::NoFocus);
    connect(cmdImportKit_, &QPushButton::clicked, this, &SettingsDialog::cmdImportKit_Click);
    cmdBrowseKit_ = new QPushButton(qtranslated("Import Kit..."), importFrame);
    cmdBrowseKit_->setGeometry(pixels(kBrowseKit));
    cmdBrowseKit_->setFocusPolicy(Qt::NoFocus);
    connect(cmdBrowseKit_, &QPushButton::clicked, this, &SettingsDialog::cmdBrowseKit_Click);
    busyBar_ = new QProgressBar(importFrame);
    busyBar_->setGeometry(pixels(kBusy));
    busyBar_->setRange(0, 0);  // no figure to show: it only says that the import is at work
    busyBar_->setTextVisible(false);
    busyBar_->hide();
    cmdCancelImport_ = new QPushButton(qtranslated("Cancel"), importFrame);
    cmdCancelImport_->setGeometry(pixels(kCancelImport));
    cmdCancelImport_->setFocusPolicy(Qt::NoFocus);
    cmdCancelImport_->hide();
    connect(cmdCancelImport_, &QPushButton::clicked, this, &SettingsDialog::cmdCancelImport_Click);
    txtMapping_ = new QPlainTextEdit(importFrame);
    txtMapping_->setGeometry(pixels(kMapping));
    txtMapping_->setReadOnly(true);
    txtMapping_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Fixed width, so the mapping's columns line up; small, so its longest lines fit.
    QFont mappingFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mappingFont.setPixelSize(layout::fontPixels(6.75));
    txtMapping_->setFont(mappingFont);

    chkClock_ = new QCheckBox(qtranslated("Send MIDI clock"), this);
    chkClock_->setGeometry(pixels(kClock));
    chkClock_->setFocusPolicy(Qt::NoFocus);
    connect(chkClock_, &QCheckBox::toggled, this,
            [this](bool on) { machine_.setSendMidiClock(on); });
    cmdLearnMidi_ = new QPushButton(qtranslated("Learn MIDI notes..."), this);
    cmdLearnMidi_->setGeometry(pixels(kLearnMidi));
    cmdLearnMidi_->setFocusPolicy(Qt::NoFocus);
    connect(cmdLearnMidi_, &QPushButton::clicked, this, [this] {
        if (!midiLearn_)
            midiLearn_ = new MidiLearnDialog(machine_, this);
        midiLearn_->show();
        midiLearn_->raise();
    });
    auto* syncLabel = new QLabel(qtranslated("Sync:"), this);
    syncLabel->setGeometry(pixels(kSyncLabel));
    cboSync_ = new QComboBox(this);
    cboSync_->setGeometry(pixels(kSync));
    cboSync_->setFocusPolicy(Qt::NoFocus);
    cboSync_->addItem(qtranslated("Internal"));
    cboSync_->addItem(qtranslated("MIDI clock"));
    cboSync_->addItem(qtranslated("JACK transport"));
    cboSync_->setItemData(
        1, qtranslated("Start, Stop and tempo come from the MIDI clock on Taktwerk:midi_in"),
        Qt::ToolTipRole);
    cboSync_->setItemData(2,
                          qtranslated("Rolling, position and tempo come from the JACK transport"),
                          Qt::ToolTipRole);
    syncLabel->setBuddy(cboSync_);
    connect(cboSync_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(kSyncSources.size()))
            return;
        if (auto chosen = machine_.setSyncSource(kSyncSources[static_cast<std::size_t>(index)]);
            !chosen) {
            questions_.tell(this, fromUtf8(chosen.error().message));
            showSyncSource();
            return;
        }
        showTimebase();
        emit syncChanged();
    });
    chkTimebase_ = new QCheckBox(qtranslated("Lead the JACK transport (timebase master)"), this);
    chkTimebase_->setGeometry(pixels(kTimebase));
    chkTimebase_->setFocusPolicy(Qt::NoFocus);
    connect(chkTimebase_, &QCheckBox::toggled, this,
            [this](bool on) { machine_.setJackTimebase(on); });

    chkAskToSave_ = new QCheckBox(qtranslated("Ask before discarding changes"), this);
    chkAskToSave_->setGeometry(pixels(kAskToSave));
    chkAskToSave_->setFocusPolicy(Qt::NoFocus);
    connect(chkAskToSave_, &QCheckBox::toggled, this,
            [this](bool on) { machine_.setAskToSave(on); });
    chkHearSteps_ = new QCheckBox(qtranslated("Hear steps as they are set"), this);
    chkHearSteps_->setGeometry(pixels(kHearSteps));
    chkHearSteps_->setFocusPolicy(Qt::NoFocus);
    connect(chkHearSteps_, &QCheckBox::toggled, this,
            [this](bool on) { machine_.setHearSteps(on); });

    auto* midiOutLabel = new QLabel(qtranslated("MIDI output:"), this);
    midiOutLabel->setGeometry(pixels(kMidiOutLabel));
    cboMidiOut_ = new QComboBox(this);
    cboMidiOut_->setGeometry(pixels(kMidiOut));
    auto* midiInLabel = new QLabel(qtranslated("MIDI input:"), this);
    midiInLabel->setGeometry(pixels(kMidiInLabel));
    cboMidiIn_ = new QComboBox(this);
    cboMidiIn_->setGeometry(pixels(kMidiIn));
    for (QComboBox* box : {cboMidiOut_, cboMidiIn_}) {
        connect(box, &QComboBox::activated, this, [this] {
            machine_.setMidiPorts(choiceAt(cboMidiOut_, cboMidiOut_->currentIndex()),
                                  choiceAt(cboMidiIn_, cboMidiIn_->currentIndex()));
        });
    }

    kitRoots_ = kits::hydrogenKitFolders(toUtf8(QDir::homePath()));
    ListKits();
}

void SettingsDialog::ListPorts()
{
    const app::Settings& settings = machine_.settings();
    fillPortBox(cboMidiOut_,
                {devices::MidiPortChoice::firstPort(), devices::MidiPortChoice::none()},
                {qtranslated("(first port)"), qtranslated("(none)")},
                portLister_(devices::MidiDirection::Output), settings.midiOut);
    fillPortBox(cboMidiIn_, {devices::MidiPortChoice::none()}, {qtranslated("(none)")},
                portLister_(devices::MidiDirection::Input), settings.midiIn);
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

    chkClock_->setChecked(settings.sendMidiClock);
    chkAskToSave_->setChecked(settings.AskToSave != 0);
    chkHearSteps_->setChecked(settings.hearSteps);
    showSyncSource();
    showTimebase();

    ListPorts();

    const bool midi = !machine_.MidiFailed();
    optSound_[0]->setEnabled(midi);
    for (QRadioButton* option : optMIDIClick_)
        option->setEnabled(midi);
}

void SettingsDialog::showSyncSource()
{
    const auto at = std::find(kSyncSources.begin(), kSyncSources.end(), machine_.syncSource());
    const QSignalBlocker block(cboSync_);
    cboSync_->setCurrentIndex(
        at == kSyncSources.end() ? 0 : static_cast<int>(std::distance(kSyncSources.begin(), at)));
}

void SettingsDialog::showTimebase()
{
    {
        const QSignalBlocker block(chkTimebase_);
        chkTimebase_->setChecked(machine_.jackTimebase());
    }
    // Greyed rather than unticked: the choice is kept, and acts again once it can.
    const bool jack = machine_.canFollowJackTransport();
    const bool following = machine_.isFollowing();
    chkTimebase_->setEnabled(jack && !following);
    chkTimebase_->setToolTip(
        !jack ? qtranslated("Only the JACK output has a transport to lead.")
        : following
            ? qtranslated(
                  "Only while Sync is Internal: a transport that is followed cannot be led.")
            : qtranslated("Our tempo, bar and beat go to every program on the JACK transport"));
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

void SettingsDialog::setKitFolders(std::vector<std::filesystem::path> roots)
{
    kitRoots_ = std::move(roots);
    ListKits();
}

void SettingsDialog::ListKits()
{
    lstKits_->clear();
    installedKits_.clear();
    for (const kits::InstalledKit& kit : kits::installedHydrogenKits(kitRoots_)) {
        lstKits_->addItem(fromUtf8(kit.name));
        installedKits_.push_back(kit.folder);
    }
    cmdImportKit_->setEnabled(!installedKits_.empty());
}

SettingsDialog::~SettingsDialog()
{
    // The worker must not outlive what it posts its result to; a cancelled import stops at
    // its next file and leaves nothing behind.
    cancelImport_ = true;
    if (worker_.joinable())
        worker_.join();
}

bool SettingsDialog::importKit(const std::filesystem::path& source)
{
    if (importing())
        return false;
    kits::ImportOptions options;
    options.source = source;
    options.soundDir = machine_.settings().SoundDir;
    startImport(std::move(options));
    return true;
}

void SettingsDialog::startImport(kits::ImportOptions options)
{
    cancelImport_ = false;
    options.cancel = &cancelImport_;
    showImportRunning(true);
    worker_ = std::jthread([this, options, importer = importer_] {
        // Shared, so the queued call can be copied; `this` is the call's context and lives
        // until the worker is joined.
        auto report = std::make_shared<core::Result<kits::ImportReport>>(importer(options));
        QMetaObject::invokeMethod(
            this, [this, report, options] { finishImport(std::move(*report), options); },
            Qt::QueuedConnection);
    });
}

void SettingsDialog::showImportRunning(bool running)
{
    busyBar_->setVisible(running);
    cmdCancelImport_->setVisible(running);
    cmdCancelImport_->setEnabled(true);
    cmdImportKit_->setVisible(!running);
    cmdBrowseKit_->setVisible(!running);
    lstKits_->setEnabled(!running);
}

void SettingsDialog::cmdCancelImport_Click()
{
    cancelImport_ = true;
    cmdCancelImport_->setEnabled(false);  // pressed once is enough; the worker stops soon
}

void SettingsDialog::finishImport(core::Result<kits::ImportReport> report,
                                  kits::ImportOptions options)
{
    if (worker_.joinable())
        worker_.join();  // it has posted its result and is about to end
    showImportRunning(false);
    if (!report && report.error().detail == kits::kImportCancelled)
        return;
    if (!report && report.error().detail == kits::kSetExists) {
        if (!questions_.askYesNo(this, fromUtf8(report.error().message) +
                                           qtranslated("\nShall it be replaced?")))
            return;
        options.force = true;
        startImport(std::move(options));
        return;
    }
    if (!report) {
        if (!report.error().detail.empty())
            std::cerr << "taktwerk: " << report.error().message << " (" << report.error().detail
                      << ")\n";
        questions_.tell(this, qtranslated("The drum kit was not imported.\n") +
                                  fromUtf8(report.error().message));
        return;
    }
    QString text = qtranslated("Sample set \"%s\":\n", {fromUtf8(report->setName)});
    for (const std::string& line : kits::describeMapping(*report))
        text += fromUtf8(line) + QLatin1Char('\n');
    for (const std::string& note : report->notes)
        text += fromUtf8(note) + QLatin1Char('\n');
    txtMapping_->setPlainText(text);
    // The new set is listed and chosen, as if clicked; a double click puts it to use.
    ListSounds();
    for (int row = 0; row < lstSounds_->count(); ++row) {
        if (lstSounds_->item(row)->text() == fromUtf8(report->setName)) {
            lstSounds_->setCurrentRow(row);
            lstSounds_Click();
        }
    }
}

void SettingsDialog::cmdImportKit_Click()
{
    const int row = lstKits_->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= installedKits_.size())
        return;
    importKit(installedKits_[static_cast<std::size_t>(row)]);
}

void SettingsDialog::cmdBrowseKit_Click()
{
    const QString file =
        QFileDialog::getOpenFileName(this, qtranslated("Import Kit"), QDir::homePath(),
                                     qtranslated("Drum kits (drumkit.xml *.h2drumkit *.sfz)"));
    if (!file.isEmpty())
        importKit(core::pathFromUtf8(toUtf8(file)));
}

void SettingsDialog::closeEvent(QCloseEvent* event)
{
    machine_.stopPreview();  // the preview voice goes with the dialog
    cancelImport_ = true;    // and so does an import still running
    // And the learn dialog, which lives inside it: gone unclosed, a pad of it would still wait,
    // and the next note played would be taken as learned once it opens again.
    if (midiLearn_)
        midiLearn_->close();
    event->accept();
}

}  // namespace taktwerk::ui
