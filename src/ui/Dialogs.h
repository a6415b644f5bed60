#pragma once
// Opens the main window's dialogs: "Rhythm..." the library (which opens the name dialog
// itself), "Settings..." the sound settings, a right click on a tom pad the sample choice,
// Ctrl+E the export.
// Each is created on first use and refilled at every opening. Owned by whoever owns the main
// window (runMainWindow or a test), and must not outlive it; GUI thread only.

#include "ui/ExportDialog.h"
#include "ui/RhythmsDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/WaveDialog.h"

#include <QObject>
#include <QPointer>

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class MainWindow;
class Questions;

class Dialogs : public QObject {
    Q_OBJECT
public:
    Dialogs(app::DrumMachine& machine, MainWindow& window, Questions& questions);
    ~Dialogs() override;

    // "Rhythm...": the library, refilled and shown.
    void openLibrary();
    // "Settings...": the sound settings, preset and shown.
    void openSettings();
    // A right click on a tom pad: the sample list for the tom last struck.
    void openSampleDialog();
    // Ctrl+E: the export of the rhythm as it stands.
    void openExport();

    // The dialogs as they are now; null before first use and after their close box.
    RhythmsDialog* library() const { return library_; }
    SettingsDialog* settings() const { return settings_; }
    WaveDialog* wave() const { return wave_; }
    ExportDialog* exportDialog() const { return export_; }

private:
    app::DrumMachine& machine_;
    MainWindow& window_;
    Questions& questions_;
    QPointer<RhythmsDialog> library_;
    QPointer<SettingsDialog> settings_;
    QPointer<WaveDialog> wave_;
    QPointer<ExportDialog> export_;
};

}  // namespace taktwerk::ui
