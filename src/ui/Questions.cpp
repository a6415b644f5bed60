#include "ui/Questions.h"

#include <QMessageBox>

namespace taktwerk::ui {

namespace {

// The texts name rhythms and files, and a file may be called "<h1>...": Qt would guess such a
// text to be markup and show another name than the one the question is about.
int showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, QStringLiteral("Quorrel Taktwerk"), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

}  // namespace

bool MessageBoxQuestions::askYesNo(QWidget* parent, const QString& text)
{
    // Only No holds the program back; every other answer goes ahead, as it always did.
    return showBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) !=
           QMessageBox::No;
}

Answer MessageBoxQuestions::askYesNoCancel(QWidget* parent, const QString& text)
{
    switch (showBox(parent, QMessageBox::Question, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void MessageBoxQuestions::tell(QWidget* parent, const QString& text)
{
    (void)showBox(parent, QMessageBox::Warning, text, QMessageBox::Ok);  // OK is the only answer
}

}  // namespace taktwerk::ui
