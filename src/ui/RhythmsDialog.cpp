#include "ui/RhythmsDialog.h"

#include "app/DrumMachine.h"
#include "core/Language.h"
#include "rhythms/RhythmLibrary.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"
#include "ui/NameDialog.h"
#include "ui/Questions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <iostream>

namespace taktwerk::ui {

namespace {

constexpr int kClientWidthTw = 2400;
constexpr int kClientHeightTw = 6000;
constexpr layout::TwipsRect kNew{60, 120, 750, 270};
constexpr layout::TwipsRect kSave{840, 120, 750, 270};
constexpr layout::TwipsRect kDel{1620, 120, 750, 270};
constexpr layout::TwipsRect kList{30, 420, 2325, 5550};
// Where a list entry keeps its file's name as the folder holds it.
constexpr int kFileRole = Qt::UserRole;

}  // namespace

void RhythmList::mousePressEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        QListWidget::mousePressEvent(event);
    else
        event->accept();
    emit pressedWith(button);
}

RhythmsDialog::RhythmsDialog(app::DrumMachine& machine, MainWindow& window, Questions& questions)
    : QWidget(&window), machine_(machine), window_(window), questions_(questions)
{
    // Only the close box ends the window; New and Save hide it, so it keeps its place.
    makeToolWindow(this, qtranslated("Rhythm Files"), kClientWidthTw, kClientHeightTw);
    setFont(appFont(layout::fontPixels(8.25), false));

    auto makeButton = [this](const char* caption, const layout::TwipsRect& rect) {
        auto* button = new QPushButton(qtranslated(caption), this);
        button->setGeometry(pixels(rect));
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    cmdNew_ = makeButton(core::translatable("New"), kNew);
    cmdSave_ = makeButton(core::translatable("Save"), kSave);
    cmdDel_ = makeButton(core::translatable("Delete"), kDel);
    connect(cmdNew_, &QPushButton::clicked, this, &RhythmsDialog::cmdNew_Click);
    connect(cmdSave_, &QPushButton::clicked, this, &RhythmsDialog::cmdSave_Click);
    connect(cmdDel_, &QPushButton::clicked, this, &RhythmsDialog::cmdDel_Click);

    lstRhythms_ = new RhythmList(this);
    lstRhythms_->setGeometry(pixels(kList));
    lstRhythms_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstRhythms_->setFont(appFont(layout::fontPixels(8.25), true));
    lstRhythms_->setStyleSheet(
        QStringLiteral("QListWidget { background-color: #000000; color: #E0E0E0; }"));
    connect(lstRhythms_, &RhythmList::pressedWith, this,
            [this](Qt::MouseButton) { lstRhythms_MouseDown(); });

    // The main window's "Beginner Mode" box turns Save and Delete off and on; the window has
    // switched the view by the time its click reaches here.
    connect(window_.modeBox(), &QCheckBox::clicked, this, &RhythmsDialog::applyView);
    applyView();
}

void RhythmsDialog::applyView()
{
    const bool beginner = machine_.isBeginner();
    cmdSave_->setEnabled(!beginner);
    cmdDel_->setEnabled(!beginner);
}

void RhythmsDialog::report(const std::string& message, const std::string& detail)
{
    if (!detail.empty())
        std::cerr << "taktwerk: " << message << " (" << detail << ")\n";
    questions_.tell(this, fromUtf8(message));
}

void RhythmsDialog::ListFiles()
{
    lstRhythms_->clear();
    const rhythms::RhythmLibrary library(machine_.settings().RhythmDir);
    const auto entries = library.entries();
    if (!entries) {
        report(entries.error().message, entries.error().detail);
        return;
    }
    for (const rhythms::RhythmEntry& entry : *entries) {
        auto* item = new QListWidgetItem(fromUtf8(entry.name), lstRhythms_);
        // The file's own name, byte for byte: the name shown may be decoded from another
        // code page or have its extension in capitals.
        const std::string& native = entry.file.native();
        item->setData(kFileRole, QByteArray(native.data(), static_cast<qsizetype>(native.size())));
    }
}

void RhythmsDialog::selectName(const QString& name)
{
    for (int row = 0; row < lstRhythms_->count(); ++row) {
        if (lstRhythms_->item(row)->text() == name) {
            lstRhythms_->setCurrentRow(row);
            return;
        }
    }
}

QString RhythmsDialog::selectedName() const
{
    const QList<QListWidgetItem*> selected = lstRhythms_->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

std::filesystem::path RhythmsDialog::selectedFile() const
{
    const QList<QListWidgetItem*> selected = lstRhythms_->selectedItems();
    if (selected.isEmpty())
        return {};
    const QByteArray native = selected.front()->data(kFileRole).toByteArray();
    return std::filesystem::path(
        std::string(native.constData(), static_cast<std::size_t>(native.size())));
}

void RhythmsDialog::lstRhythms_MouseDown()
{
    // With nothing selected there is no rhythm to load: loading the empty name would clear
    // the grid without a question.
    const std::filesystem::path file = selectedFile();
    if (file.empty())
        return;
    // A file removed behind the list's back would load as an empty rhythm and wipe the grid;
    // the list is brought up to date instead.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        ListFiles();
        return;
    }
    if (auto loaded = window_.loadRhythm(file); !loaded)
        report(loaded.error().message, loaded.error().detail);
}

void RhythmsDialog::cmdNew_Click()
{
    hide();
    // Asks first; on No the main window asks for the library again.
    window_.NewRhythm();
}

void RhythmsDialog::cmdSave_Click()
{
    // All 32 columns, whatever the loop length; edits made while the name dialog is open are
    // not part of this save.
    const pattern::Pattern steps = machine_.pattern();
    if (name_)
        name_->close();
    name_ = new NameDialog(machine_, questions_, steps, &window_);
    name_->nameBox()->setText(fromUtf8(machine_.RhythmName()));
    connect(name_, &NameDialog::saved, this, [this](const QString& name) {
        window_.showAudioOutputState();  // the mark of unsaved changes goes
        ListFiles();
        selectName(name);
        show();
    });
    connect(name_, &NameDialog::closed, this, [this] { show(); });
    name_->show();
    name_->nameBox()->setFocus();
    hide();
}

void RhythmsDialog::cmdDel_Click()
{
    const QString name = selectedName();
    const std::filesystem::path file = selectedFile();
    if (name.isEmpty() || file.empty())
        return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        // Gone meanwhile: what the user wanted has happened; the stale entry goes.
        ListFiles();
        return;
    }
    if (!questions_.askYesNo(this, qtranslated("Really delete the rhythm %s?", {name})))
        return;
    const rhythms::RhythmLibrary library(machine_.settings().RhythmDir);
    if (auto removed = library.removeFile(file, toUtf8(name)); !removed)
        report(removed.error().message, removed.error().detail);
    ListFiles();
}

}  // namespace taktwerk::ui
