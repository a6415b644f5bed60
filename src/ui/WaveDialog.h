#pragma once
// "Select Sound": gives the tom last struck (`EditTom`) a sample of its own from the ".wav"
// files lying in the sound folder, or back the sample set's own tom. Stays open after SET.
// Created on first use, gone when closed. Owned by Qt (parented to the main window); GUI
// thread only.

#include <QWidget>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class MainWindow;

class WaveDialog : public QWidget {
    Q_OBJECT
public:
    WaveDialog(app::DrumMachine& machine, MainWindow& window);

    // Refills the list from the sound folder.
    void ListFiles();

    void lstWave_Click();
    void cmdSet_Click();

    QCheckBox* standardBox() const { return chkWave_; }
    QCheckBox* previewBox() const { return chkPreview_; }
    QListWidget* list() const { return lstWave_; }
    QPushButton* setButton() const { return cmdSet_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString selectedName() const;

    app::DrumMachine& machine_;
    MainWindow& window_;
    QCheckBox* chkWave_ = nullptr;
    QCheckBox* chkPreview_ = nullptr;
    QListWidget* lstWave_ = nullptr;
    QPushButton* cmdSet_ = nullptr;
};

}  // namespace taktwerk::ui
