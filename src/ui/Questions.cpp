#include "ui/Questions.h"

#include <QMessageBox>

namespace taktwerk::ui {

bool MessageBoxQuestions::askYesNo(QWidget* parent, const QString& text)
{
    // Only No holds the program back; every other answer goes ahead, as it always did.
    return QMessageBox::question(parent, QStringLiteral("Quorrel Taktwerk"), text,
                                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::No;
}

void MessageBoxQuestions::tell(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("Quorrel Taktwerk"), text);
}

}  // namespace taktwerk::ui
