#pragma once
// "Rhythm Files": the rhythm library window. Lists the rhythm folder, loads a rhythm on a
// press in the list, and starts, saves and deletes rhythms. Created on first use; New and
// Save only hide it (it keeps its place), its close box ends it. Owned by Qt (parented to the
// main window); GUI thread only.

#include "ui/NameDialog.h"

#include <QListWidget>
#include <QPointer>
#include <QWidget>
#include <filesystem>

class QPushButton;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class MainWindow;
class Questions;

// The list of the library: a press with any button reports itself after the list has done
// its own part. Only the left button on an entry selects; the right button and a press below
// the last entry leave the selection as it is.
class RhythmList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

signals:
    void pressedWith(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class RhythmsDialog : public QWidget {
    Q_OBJECT
public:
    RhythmsDialog(app::DrumMachine& machine, MainWindow& window, Questions& questions);

    // Refills the list from the rhythm folder; afterwards nothing is selected.
    void ListFiles();
    // Selects the entry `name` (exact text), without loading it.
    void selectName(const QString& name);
    // Save and Delete are off in the beginner view (its merged hi-hat row must not be saved).
    void applyView();

    // The selected entry's text; empty when nothing is selected.
    QString selectedName() const;
    // The selected entry's file; empty when nothing is selected.
    std::filesystem::path selectedFile() const;

    // A press in the list: loads the selected rhythm.
    void lstRhythms_MouseDown();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDel_Click();

    RhythmList* list() const { return lstRhythms_; }
    QPushButton* newButton() const { return cmdNew_; }
    QPushButton* saveButton() const { return cmdSave_; }
    QPushButton* deleteButton() const { return cmdDel_; }
    // The open name dialog, if any.
    NameDialog* nameDialog() const { return name_; }

private:
    void report(const std::string& message, const std::string& detail);

    app::DrumMachine& machine_;
    MainWindow& window_;
    Questions& questions_;
    QPushButton* cmdNew_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
    QPushButton* cmdDel_ = nullptr;
    RhythmList* lstRhythms_ = nullptr;
    QPointer<NameDialog> name_;
};

}  // namespace taktwerk::ui
