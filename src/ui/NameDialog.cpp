#include "ui/NameDialog.h"

#include "app/DrumMachine.h"
#include "core/Paths.h"
#include "rhythms/RhythmLibrary.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/FormRules.h"
#include "ui/Questions.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <iostream>

namespace taktwerk::ui {

namespace {

constexpr int kClientWidthTw = 4305;
constexpr int kClientHeightTw = 510;
constexpr layout::TwipsRect kName{75, 90, 3165, 315};
constexpr layout::TwipsRect kSave{3285, 75, 945, 345};

// The key filter sees the code a typed character had in the program's code page; everything
// beyond ASCII (umlauts, "ß") lies above 127 there and passes, as FilterKey lets it.
int typedCode(QChar character)
{
    const char16_t unicode = character.unicode();
    return unicode < 128 ? static_cast<int>(unicode) : 255;
}

}  // namespace

NameDialog::NameDialog(app::DrumMachine& machine, Questions& questions,
                       const pattern::Pattern& steps, QWidget* parent)
    : QWidget(parent), machine_(machine), questions_(questions), steps_(steps)
{
    makeToolWindow(this, qtranslated("Name the rhythm"), kClientWidthTw, kClientHeightTw);
    setFont(appFont(layout::fontPixels(8.25), false));

    txtName_ = new QLineEdit(qtranslated("Rhythm"), this);
    txtName_->setGeometry(pixels(kName));
    txtName_->installEventFilter(this);

    cmdSave_ = new QPushButton(qtranslated("Save"), this);
    cmdSave_->setGeometry(pixels(kSave));
    cmdSave_->setFocusPolicy(Qt::NoFocus);
    connect(cmdSave_, &QPushButton::clicked, this, &NameDialog::cmdSave_Click);
}

bool NameDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != txtName_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        cmdSave_Click();
        return true;  // swallowed: nothing inserted, no beep
    }
    // Only printable characters are filtered; editing keys (arrows, Delete, Ctrl+V paste,
    // Ctrl+C copy) carry no such text and go through, so pasted text is not filtered.
    const QString text = key->text();
    if (text.size() != 1 || text.at(0).unicode() < 32 ||
        key->modifiers().testFlag(Qt::ControlModifier))
        return false;
    int code = typedCode(text.at(0));
    FilterKey(code, 1);
    return code == 0;
}

void NameDialog::backToName() { txtName_->setFocus(); }

void NameDialog::cmdSave_Click()
{
    const QString typed = txtName_->text();
    if (typed.isEmpty()) {
        backToName();
        return;
    }
    // Exactly as typed, no trimming: the name is also the file's name.
    const std::string name = toUtf8(typed);
    // A name that cannot be a file name is refused before the overwrite question: asking to
    // replace a file that can never be written would only mislead.
    if (auto checked = rhythms::checkRhythmName(name); !checked) {
        questions_.tell(this, fromUtf8(checked.error().message));
        backToName();
        return;
    }
    const rhythms::RhythmLibrary library(machine_.settings().RhythmDir);
    if (library.contains(name) &&
        !questions_.askYesNo(this, qtranslated("Overwrite the existing rhythm?"))) {
        backToName();
        return;
    }
    const auto target = library.saveTarget(name);
    if (!target) {
        questions_.tell(this, qtranslated("The rhythm was not saved.") + QStringLiteral("\n") +
                                  fromUtf8(target.error().message));
        backToName();
        return;
    }
    const auto written = machine_.saveRhythm(*target, name, steps_);
    if (!written) {
        if (!written.error().detail.empty())
            std::cerr << "taktwerk: " << written.error().message << " (" << written.error().detail
                      << ")\n";
        questions_.tell(this, qtranslated("The rhythm was not saved.\n") +
                                  fromUtf8(written.error().message));
        backToName();
        return;
    }
    emit saved(typed);
    close();
}

void NameDialog::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

}  // namespace taktwerk::ui
