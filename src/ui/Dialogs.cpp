#include "ui/Dialogs.h"

#include "ui/MainWindow.h"
#include "ui/RhythmsDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/WaveDialog.h"

namespace taktwerk::ui {

namespace {

void bringUp(QWidget* dialog)
{
    dialog->show();
    dialog->raise();
}

}  // namespace

Dialogs::Dialogs(app::DrumMachine& machine, MainWindow& window, Questions& questions)
    : machine_(machine), window_(window), questions_(questions)
{
    connect(&window_, &MainWindow::libraryRequested, this, &Dialogs::openLibrary);
    connect(&window_, &MainWindow::settingsRequested, this, &Dialogs::openSettings);
    connect(&window_, &MainWindow::sampleDialogRequested, this,
            [this](int /*tom: the machine keeps it as EditTom*/) { openSampleDialog(); });
    connect(&window_, &MainWindow::exportRequested, this, &Dialogs::openExport);
}

Dialogs::~Dialogs() = default;

void Dialogs::openLibrary()
{
    if (!library_)
        library_ = new RhythmsDialog(machine_, window_, questions_);
    library_->ListFiles();
    library_->applyView();
    bringUp(library_);
}

void Dialogs::openSettings()
{
    if (!settings_) {
        settings_ = new SettingsDialog(machine_, questions_, &window_);
        connect(settings_, &SettingsDialog::syncChanged, &window_, &MainWindow::refreshAll);
        connect(&window_, &MainWindow::outputNews, settings_, &SettingsDialog::showTimebase);
    }
    settings_->ListSounds();
    bringUp(settings_);
}

void Dialogs::openExport()
{
    if (!export_)
        export_ = new ExportDialog(machine_, questions_, &window_);
    bringUp(export_);
}

void Dialogs::openSampleDialog()
{
    if (!wave_)
        wave_ = new WaveDialog(machine_, window_);
    wave_->ListFiles();
    bringUp(wave_);
}

}  // namespace taktwerk::ui
