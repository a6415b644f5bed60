#pragma once
// The dialogs as the user meets them: the real main window, a drum machine whose playback
// only records what it was asked to sound, real files in a fresh TAKTWERK_HOME, and questions
// answered by the test. Qt runs on its offscreen platform (QtEnvironment.cpp).

#include "app/DrumMachine.h"
#include "app/FakeHost.h"  // tests/app
#include "app/Settings.h"
#include "core/Paths.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/TempFolder.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace taktwerk::testing {

// Answers the questions in the order queued (Yes when none is left) and keeps what was said.
class ScriptedQuestions final : public ui::Questions {
public:
    std::deque<bool> answers;
    std::function<void()> beforeAnswer;  // runs while the question is "on screen"
    std::vector<QString> asked;
    std::vector<QString> told;

    bool askYesNo(QWidget*, const QString& text) override
    {
        asked.push_back(text);
        if (beforeAnswer)
            beforeAnswer();
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // The question about unsaved changes, answered from its own queue; No when none is left,
    // which goes ahead as the program did before it asked.
    std::deque<ui::Answer> threeWay;
    ui::Answer askYesNoCancel(QWidget*, const QString& text) override
    {
        asked.push_back(text);
        if (threeWay.empty())
            return ui::Answer::No;
        const ui::Answer answer = threeWay.front();
        threeWay.pop_front();
        return answer;
    }
    void tell(QWidget*, const QString& text) override { told.push_back(text); }
};

class DialogTest : public ::testing::Test {
protected:
    DialogTest()
    {
        // The offscreen platform cannot raise windows and says so every time.
        static const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (!message.startsWith("This plugin does not support"))
                    previous(type, context, message);
            });
        ::setenv("TAKTWERK_HOME", home_.path().c_str(), 1);
        settings_ = app::InitPaths(app::processEnvironment());
        app::LoadSettings(settings_);
        startMachine();
        window_ = std::make_unique<ui::MainWindow>(*machine_, questions_);
        dialogs_ = std::make_unique<ui::Dialogs>(*machine_, *window_, questions_);
    }
    ~DialogTest() override
    {
        stopMachine();
        ::unsetenv("TAKTWERK_HOME");
    }

    // A drum machine on `settings_`, as a start with them would make it (the window too).
    void startMachine()
    {
        stopMachine();
        machine_ =
            std::make_unique<app::DrumMachine>(settings_, std::make_unique<FakeHost>(sound_));
        window_ = std::make_unique<ui::MainWindow>(*machine_, questions_);
        dialogs_ = std::make_unique<ui::Dialogs>(*machine_, *window_, questions_);
    }

    // Closes as the program ends (the machine writes "Mode" then).
    void stopMachine()
    {
        dialogs_.reset();
        window_.reset();
        machine_.reset();
    }

    std::filesystem::path rhythmDir() const { return settings_.RhythmDir; }
    std::filesystem::path soundDir() const { return settings_.SoundDir; }
    std::filesystem::path rhythmFile(const std::string& name) const
    {
        return settings_.RhythmDir / (name + ".rtm");
    }

    // A rhythm file as the program writes it: steps of the bass drum set at `bassSteps`.
    void writeRhythm(const std::string& name, std::initializer_list<int> bassSteps, int bpm = 120)
    {
        rhythms::Rhythm rhythm;
        rhythm.name = name;
        rhythm.Bpm = static_cast<std::int16_t>(bpm);
        rhythm.pattern.ClearGrid();
        for (int step : bassSteps)
            rhythm.pattern.SetStep(0, step, true);
        ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, rhythmFile(name)));
    }

    static void touch(const std::filesystem::path& file)
    {
        std::filesystem::create_directories(file.parent_path());
        writeBytes(file, "RIFF");
    }

    // A press of `button` on the list's entry `row` (or below the entries when row is -1).
    static void pressRow(QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint at = row >= 0 ? list->visualItemRect(list->item(row)).center()
                                   : QPoint(5, list->viewport()->height() - 5);
        QTest::mousePress(list->viewport(), button, Qt::NoModifier, at);
        QTest::mouseRelease(list->viewport(), button, Qt::NoModifier, at);
    }

    // Types `text` key by key, as a keyboard would deliver each character.
    static void type(QWidget* widget, const QString& text)
    {
        for (const QChar character : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
            QApplication::sendEvent(widget, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier,
                              QString(character));
            QApplication::sendEvent(widget, &release);
        }
    }

    // Every step off, by the user's clicks.
    void clearGrid()
    {
        for (int track = 0; track < pattern::kTrackCount; ++track)
            for (int step = 0; step < pattern::kStepCount; ++step)
                if (machine_->StepIsOn(track, step))
                    window_->stepButton(track, step)->click();
    }

    static QStringList entries(const QListWidget* list)
    {
        QStringList names;
        for (int row = 0; row < list->count(); ++row)
            names << list->item(row)->text();
        return names;
    }

    TempFolder home_;
    app::Settings settings_;
    HostLog sound_;
    ScriptedQuestions questions_;
    std::unique_ptr<app::DrumMachine> machine_;
    std::unique_ptr<ui::MainWindow> window_;
    std::unique_ptr<ui::Dialogs> dialogs_;
};

}  // namespace taktwerk::testing
