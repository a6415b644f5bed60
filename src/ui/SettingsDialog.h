#pragma once
// "Sound Settings": chooses MIDI or the sampled voices, the count-in click's MIDI note and the
// sample set, lets the user hear them, and writes them to the settings file on "S A V E  a n d
// E X I T", with the editing choices below them (the question about unsaved changes, hearing
// steps as they are set), whom playback follows and whether we lead the JACK transport, and the
// MIDI ports. Choices act on the drum machine at once; closing without saving keeps
// them for this run only. To the right of the old controls, which keep their places, it imports
// drum kits of other programs (the Hydrogen kits installed here, or any kit file) as new sample
// sets and shows which instrument plays which file. An import runs on a worker thread, since a
// kit of hundreds of layers takes a while to convert; meanwhile a busy bar and "Cancel" stand
// where the import buttons were. Created on first use, gone when closed (an import running
// then is cancelled and waited for). Owned by Qt (parented to the main window); GUI thread
// only, apart from the worker, which touches nothing of the dialog but posts its result back.

#include "core/Result.h"
#include "devices/MidiPorts.h"
#include "kits/KitImport.h"
#include "ui/MidiLearnDialog.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QProgressBar;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class Questions;

class SettingsDialog : public QWidget {
    Q_OBJECT
public:
    // The click choices' MIDI notes: Stick, Rim, Maracas, Triangle, Cowbell.
    static constexpr std::array<int, 5> kClickNotes{31, 37, 70, 80, 56};

    // Where the MIDI port lists come from; devices::listMidiPorts but in tests.
    using PortLister = std::function<devices::MidiPortList(devices::MidiDirection)>;
    // What an import runs on the worker thread; kits::importKit but in tests.
    using Importer = std::function<core::Result<kits::ImportReport>(const kits::ImportOptions&)>;

    SettingsDialog(app::DrumMachine& machine, Questions& questions, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Fills the sample-set list and presets every choice from the drum machine.
    void ListSounds();

    void lstSounds_Click();
    void lstSounds_DblClick();
    void optSound_Click();
    void optMIDIClick_MouseDown(int index);
    void cmdSaveSettings_Click();
    // Fills the MIDI port boxes with the ports there now, and the choice kept in the settings
    // even when its port is not there.
    void ListPorts();
    void setPortLister(PortLister lister) { portLister_ = std::move(lister); }
    // Fills the list of installed kits from `roots` (Hydrogen's folders unless set).
    void ListKits();
    void setKitFolders(std::vector<std::filesystem::path> roots);
    // Starts importing `source` as a new sample set; when it is done, asks before replacing a
    // set of the same name, then shows the mapping and chooses the set. False when an import
    // is running already.
    bool importKit(const std::filesystem::path& source);
    bool importing() const { return worker_.joinable(); }
    void setImporter(Importer importer) { importer_ = std::move(importer); }
    void cmdImportKit_Click();
    void cmdBrowseKit_Click();
    void cmdCancelImport_Click();

    QListWidget* soundList() const { return lstSounds_; }
    QRadioButton* soundOption(int index) const;
    QRadioButton* clickOption(int index) const;
    QPushButton* saveButton() const { return cmdSaveSettings_; }
    QListWidget* kitList() const { return lstKits_; }
    QPushButton* importButton() const { return cmdImportKit_; }
    QPushButton* browseButton() const { return cmdBrowseKit_; }
    QPlainTextEdit* mappingText() const { return txtMapping_; }
    QProgressBar* busyBar() const { return busyBar_; }
    QPushButton* cancelButton() const { return cmdCancelImport_; }
    QCheckBox* clockBox() const { return chkClock_; }
    QCheckBox* askToSaveBox() const { return chkAskToSave_; }
    QCheckBox* hearStepsBox() const { return chkHearSteps_; }
    QComboBox* syncBox() const { return cboSync_; }
    QCheckBox* timebaseBox() const { return chkTimebase_; }
    QComboBox* midiOutBox() const { return cboMidiOut_; }
    QComboBox* midiInBox() const { return cboMidiIn_; }
    QPushButton* learnMidiButton() const { return cmdLearnMidi_; }
    MidiLearnDialog* midiLearnDialog() const { return midiLearn_; }
    // Whether the JACK transport can be led, from the output as it is now: called again when
    // the output goes or comes back while the settings are open.
    void showTimebase();

signals:
    // Another sync source was chosen: the window's tempo controls change their looks.
    void syncChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString selectedSet() const;
    void startImport(kits::ImportOptions options);
    void finishImport(core::Result<kits::ImportReport> report, kits::ImportOptions options);
    void showImportRunning(bool running);
    void showSyncSource();

    app::DrumMachine& machine_;
    QPushButton* cmdLearnMidi_ = nullptr;
    QPointer<MidiLearnDialog> midiLearn_;  // gone when closed
    Questions& questions_;
    std::array<QRadioButton*, 2> optSound_{};
    std::array<QRadioButton*, 5> optMIDIClick_{};
    QListWidget* lstSounds_ = nullptr;
    QPushButton* cmdSaveSettings_ = nullptr;
    QListWidget* lstKits_ = nullptr;
    QPushButton* cmdImportKit_ = nullptr;
    QPushButton* cmdBrowseKit_ = nullptr;
    QPlainTextEdit* txtMapping_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
    QPushButton* cmdCancelImport_ = nullptr;
    QCheckBox* chkClock_ = nullptr;
    QCheckBox* chkAskToSave_ = nullptr;
    QCheckBox* chkHearSteps_ = nullptr;
    QComboBox* cboSync_ = nullptr;
    QCheckBox* chkTimebase_ = nullptr;
    QComboBox* cboMidiOut_ = nullptr;
    QComboBox* cboMidiIn_ = nullptr;
    PortLister portLister_ = [](devices::MidiDirection direction) {
        return devices::listMidiPorts(direction);
    };
    std::vector<std::filesystem::path> kitRoots_;
    std::vector<std::filesystem::path> installedKits_;  // in the list's order
    Importer importer_ = kits::importKit;
    std::atomic<bool> cancelImport_{false};
    // Last, so it is joined before anything it was given goes.
    std::jthread worker_;
};

}  // namespace taktwerk::ui
