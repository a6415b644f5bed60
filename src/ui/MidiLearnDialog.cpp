#include "ui/MidiLearnDialog.h"

#include "app/DrumMachine.h"
#include "core/Language.h"
#include "ui/DialogSupport.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <chrono>

namespace taktwerk::ui {

namespace {

// The pads in the order of the grid's rows, named as messages name the voices.
constexpr std::array<const char*, MidiLearnDialog::kPadCount> kPadNames{
    core::translatable("bass drum"),   core::translatable("snare drum"),
    core::translatable("hi-hat"),      core::translatable("open hi-hat"),
    core::translatable("ride cymbal"), core::translatable("crash cymbal"),
    core::translatable("tom 1"),       core::translatable("tom 2"),
    core::translatable("tom 3")};
// Quick enough that the note shows while the player still looks at the pad; as often as the
// window polls playback.
constexpr std::chrono::milliseconds kPollInterval{15};

}  // namespace

MidiLearnDialog::MidiLearnDialog(app::DrumMachine& machine, QWidget* parent)
    : QWidget(parent, Qt::Tool), machine_(machine)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(qtranslated("Learn MIDI notes"));
    auto* grid = new QGridLayout(this);
    for (int track = 0; track < kPadCount; ++track) {
        const auto at = static_cast<std::size_t>(track);
        grid->addWidget(new QLabel(qtranslated(kPadNames[at]), this), track, 0);
        notes_[at] = new QLabel(this);
        notes_[at]->setMinimumWidth(
            notes_[at]->fontMetrics().horizontalAdvance(QStringLiteral("000 000 000 000")));
        grid->addWidget(notes_[at], track, 1);
        learn_[at] = new QPushButton(qtranslated("Learn"), this);
        learn_[at]->setCheckable(true);
        // Escape must reach the dialog, which cancels the wait, not a button with the focus.
        learn_[at]->setFocusPolicy(Qt::NoFocus);
        connect(learn_[at], &QPushButton::clicked, this, [this, track] { learnClicked(track); });
        grid->addWidget(learn_[at], track, 2);
    }
    cmdReset_ = new QPushButton(qtranslated("Reset to General MIDI"), this);
    cmdReset_->setFocusPolicy(Qt::NoFocus);
    connect(cmdReset_, &QPushButton::clicked, this, [this] {
        machine_.cancelLearning();
        machine_.setDrumNotes(sound::DrumNoteMap::generalMidi());
        showNotes();
    });
    grid->addWidget(cmdReset_, kPadCount, 0, 1, 3);
    poll_.setInterval(kPollInterval);
    connect(&poll_, &QTimer::timeout, this, &MidiLearnDialog::pollLearning);
    setFocusPolicy(Qt::StrongFocus);
    showNotes();
}

// Also when it goes without being closed, with the sound settings that hold it: a wait left
// behind would take whatever note is played next, at the next opening, for the pad.
MidiLearnDialog::~MidiLearnDialog() { machine_.cancelLearning(); }

QPushButton* MidiLearnDialog::learnButton(int track) const
{
    return track >= 0 && track < kPadCount ? learn_[static_cast<std::size_t>(track)] : nullptr;
}

QLabel* MidiLearnDialog::notesLabel(int track) const
{
    return track >= 0 && track < kPadCount ? notes_[static_cast<std::size_t>(track)] : nullptr;
}

void MidiLearnDialog::learnClicked(int track)
{
    if (machine_.learningTrack() == track)
        machine_.cancelLearning();
    else
        machine_.learnNote(track);
    showNotes();
}

void MidiLearnDialog::pollLearning()
{
    if (machine_.takeLearnedNote() || machine_.learningTrack() < 0)
        showNotes();
}

void MidiLearnDialog::showNotes()
{
    const int learning = machine_.learningTrack();
    for (int track = 0; track < kPadCount; ++track) {
        const auto at = static_cast<std::size_t>(track);
        learn_[at]->setChecked(track == learning);
        if (track == learning) {
            notes_[at]->setText(qtranslated("Strike a note..."));
            continue;
        }
        const std::string notes = machine_.drumNotes().notesText(track);
        notes_[at]->setText(notes.empty() ? qtranslated("none") : fromUtf8(notes));
    }
    if (learning >= 0)
        poll_.start();
    else
        poll_.stop();
}

void MidiLearnDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && machine_.learningTrack() >= 0) {
        machine_.cancelLearning();
        showNotes();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MidiLearnDialog::closeEvent(QCloseEvent* event)
{
    // A note struck after the dialog is gone must not land on a pad the user no longer sees.
    machine_.cancelLearning();
    event->accept();
}

}  // namespace taktwerk::ui
