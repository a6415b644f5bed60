#include "ui/Questions.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace taktwerk::testing {
namespace {

// What the message box showed, read while it is open, and the button pressed to close it.
struct Shown {
    Qt::TextFormat format = Qt::AutoText;
    QString text;
};

TEST(MessageBoxQuestions, NamesAreShownAsWrittenNeverAsMarkup)
{
    // A rhythm file may be called anything; as markup this one would show another name.
    const QString name = QStringLiteral("<h1 style=\"color:red\">HTML&amp;<u>rendered");
    const QString question = QStringLiteral("Rhythmus ") + name + QStringLiteral(" wirklich?");
    ui::MessageBoxQuestions questions;
    for (const bool yes : {false, true}) {
        Shown shown;
        QTimer::singleShot(0, [&shown, yes] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = {box->textFormat(), box->text()};
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(questions.askYesNo(nullptr, question), yes);
        EXPECT_EQ(shown.format, Qt::PlainText);
        EXPECT_EQ(shown.text, question);
    }
    Shown told;
    QTimer::singleShot(0, [&told] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        told = {box->textFormat(), box->text()};
        box->button(QMessageBox::Ok)->click();
    });
    questions.tell(nullptr, name);
    EXPECT_EQ(told.format, Qt::PlainText);
    EXPECT_EQ(told.text, name);
}

}  // namespace
}  // namespace taktwerk::testing
