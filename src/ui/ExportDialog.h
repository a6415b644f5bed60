#pragma once
// "Export...": the rhythm as it stands, written as a WAV, FLAC or Ogg Vorbis file or as a MIDI
// file, with the number of loops, the count-in and the ring-out that `taktwerk render` offers,
// through the same renderer. The format follows the chosen file name. A render runs on a worker
// thread with a progress bar and "Cancel", so the window plays and paints on meanwhile; a
// cancelled or failed export leaves no file behind. Created on first use, gone when closed (an
// export running then is cancelled and waited for). Owned by Qt (parented to the main window);
// GUI thread only, apart from the worker, which touches nothing of the dialog but posts back.

#include "app/Export.h"

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

class QCheckBox;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class Questions;

class ExportDialog : public QWidget {
    Q_OBJECT
public:
    // Asks where to write; an empty path when the user gave up. Tests replace it.
    using FileChooser = std::function<std::filesystem::path(QWidget* parent)>;

    ExportDialog(app::DrumMachine& machine, Questions& questions, QWidget* parent = nullptr);
    ~ExportDialog() override;

    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // Asks for the file and starts writing it; false when an export is running already or
    // none was chosen.
    bool exportNow();
    // Writes to `file` at once, without asking.
    bool exportTo(const std::filesystem::path& file);
    bool exporting() const { return worker_.joinable(); }
    void cancelExport();

    QSpinBox* loopsBox() const { return loops_; }
    QCheckBox* introBox() const { return intro_; }
    QCheckBox* tailBox() const { return tail_; }
    QPushButton* exportButton() const { return export_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* cancelButton() const { return cancel_; }

signals:
    // An export has ended: written, failed or cancelled.
    void finished(bool written);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showRunning(bool running);
    void finishExport(core::Result<void> result);

    app::DrumMachine& machine_;
    Questions& questions_;
    QSpinBox* loops_ = nullptr;
    QCheckBox* intro_ = nullptr;
    QCheckBox* tail_ = nullptr;
    QPushButton* export_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    FileChooser chooser_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> shownPermille_{-1};  // the worker posts only when the bar would move
    // Last, so it is joined before anything it was given goes.
    std::jthread worker_;
};

}  // namespace taktwerk::ui
