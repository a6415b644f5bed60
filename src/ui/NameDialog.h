#pragma once
// "Rhythmus benennen": names the rhythm the library's Save captured and writes it. Made fresh
// for every save and gone when it closes; closing it any way brings the library back (the
// library listens to `closed`). Owned by Qt (parented to the main window); GUI thread only.

#include "pattern/Pattern.h"

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class Questions;

class NameDialog : public QWidget {
    Q_OBJECT
public:
    // `steps`: the grid as it stood when the library's Save was pressed; later grid edits are
    // not saved, while tempo, meter, samples and mutes are read at this dialog's Save.
    NameDialog(app::DrumMachine& machine, Questions& questions, const pattern::Pattern& steps,
               QWidget* parent = nullptr);

    QLineEdit* nameBox() const { return txtName_; }
    QPushButton* saveButton() const { return cmdSave_; }

    // The dialog's Save (also Enter in the name box).
    void cmdSave_Click();

signals:
    // The rhythm was written under `name`.
    void saved(const QString& name);
    // The dialog is going away, saved or not.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Keeps the typed name and the focus in the box after a refusal.
    void backToName();

    app::DrumMachine& machine_;
    Questions& questions_;
    pattern::Pattern steps_;
    QLineEdit* txtName_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
};

}  // namespace taktwerk::ui
