#pragma once
// The main window: the grid, the meter and tempo controls, the transport, the pads and the
// mutes. It turns clicks into DrumMachine calls and repaints from the machine; during playback
// a timer at the screen's refresh rate drains the machine's step events and paints them, so
// a busy window never delays a hit and a stalled engine never freezes the window.
// Owned by runMainWindow (or a test); GUI thread only.

#include "app/DrumMachine.h"
#include "pattern/Pattern.h"
#include "sequencer/Sequencer.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>

class QCheckBox;
class QLabel;
class QRadioButton;
class QScrollBar;

namespace taktwerk::ui {

class FillPanel;
class FlatButton;
class LinesPanel;
class PicturePanel;
class Questions;
class TitledFrame;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(app::DrumMachine& machine, Questions& questions, QWidget* parent = nullptr);
    ~MainWindow() override;

    // "New" of the rhythm library: asks, then starts an empty rhythm.
    void NewRhythm();
    // A click in the rhythm library: makes the file the current rhythm (also while playing,
    // from its first step) and shows it. On failure nothing changes and the error says why.
    core::Result<void> loadRhythm(const std::filesystem::path& file);
    // A rhythm file named on the command line or by a second start: loaded and shown the same
    // way; a missing file is an error instead of the default rhythm.
    core::Result<void> openRhythm(const std::filesystem::path& file);
    // RUN/STOP as a press on the button would (also Space, Escape and the tom pads' right
    // button).
    void toggleRun();
    // Paints every step event waiting in the machine; the playback timer calls it.
    void pollPlayback();
    // The caption says "no audio output" while nothing can be heard.
    void showAudioOutputState();
    // Repaints everything from the machine (after a load, a new rhythm, a view change).
    void refreshAll();
    // The tom pads show their sample names (`Tom1Sound` ...), after a load or a new sample.
    void refreshTomCaptions();

    // The controls, for tests and for the dialogs that will move or read them.
    FlatButton* stepButton(int track, int step) const;
    FlatButton* padButton(int track) const;
    FlatButton* muteButton(int track) const;
    FlatButton* runButton() const { return run_; }
    FlatButton* tapButton() const { return tap_; }
    FlatButton* filesButton() const { return files_; }
    FlatButton* settingsButton() const { return settings_; }
    QCheckBox* modeBox() const { return mode_; }
    QCheckBox* introBox() const { return intro_; }
    QRadioButton* intervalOption(int index) const;
    QRadioButton* beatsOption(int index) const;
    QWidget* intervalFrame() const;
    QWidget* beatFrame() const;
    QScrollBar* tempoBar() const { return tempoBar_; }
    QLabel* tempoLabel() const { return tempoLabel_; }
    QWidget* gridPanel() const;  // picBack, with its border
    LinesPanel* upperLines() const { return upper_; }
    LinesPanel* lowerLines() const { return lower_; }
    QWidget* tempoContainer() const;
    QWidget* muteContainer() const;
    PicturePanel* animation() const { return animation_; }
    PicturePanel* logo() const { return logo_; }
    const QTimer& playbackTimer() const { return playbackTimer_; }
    // Where TAP presses take their time from; tests replace it to tap exact intervals.
    void setTapClock(std::function<app::DrumMachine::Clock::time_point()> clock);

signals:
    // Hooks for the dialogs that come later: the library, the sound settings and a tom's
    // sample choice (1, 2, 3 = tom 1, 2, 3).
    void libraryRequested();
    void settingsRequested();
    void sampleDialogRequested(int tom);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    // After a load: every control from the machine, the markers on the first step.
    void showLoadedRhythm();
    void buildTopBand();
    void buildGrid();
    void buildPads();
    void buildMutes();
    void applyView();
    void refreshStep(int track, int step);
    void refreshGrid();
    void refreshMeter();
    void refreshMutes();
    void refreshTempo();
    void showTransportLooks(const sequencer::TransportLooks& looks);
    void setMarkers(int step);
    void showFrame(sequencer::AnimationFrame frame);
    void applyEvent(const sequencer::StepEvent& event);
    void onPad(int track, Qt::MouseButton button);
    void onTap(Qt::MouseButton button);
    void startPlaybackTimer();

    app::DrumMachine& machine_;
    Questions& questions_;

    FlatButton* files_ = nullptr;
    FlatButton* settings_ = nullptr;
    QCheckBox* mode_ = nullptr;
    QCheckBox* intro_ = nullptr;
    TitledFrame* intervalFrame_ = nullptr;
    std::array<QRadioButton*, 3> intervalOptions_{};
    TitledFrame* beatFrame_ = nullptr;
    std::array<QRadioButton*, 3> beatsOptions_{};
    FillPanel* container2_ = nullptr;
    QScrollBar* tempoBar_ = nullptr;
    QLabel* tempoLabel_ = nullptr;
    FlatButton* tap_ = nullptr;
    FlatButton* run_ = nullptr;
    FillPanel* back_ = nullptr;
    LinesPanel* upper_ = nullptr;
    LinesPanel* lower_ = nullptr;
    std::array<std::array<FlatButton*, pattern::kStepCount>, pattern::kTrackCount> steps_{};
    std::array<FlatButton*, pattern::kTrackCount> pads_{};
    FillPanel* container3_ = nullptr;
    std::array<FlatButton*, pattern::kTrackCount> mutes_{};
    PicturePanel* animation_ = nullptr;
    PicturePanel* logo_ = nullptr;
    std::array<QPixmap, 2> frames_;
    QTimer playbackTimer_;
    QTimer outputTimer_;  // keeps the caption's output state current while stopped too
    std::function<app::DrumMachine::Clock::time_point()> tapClock_ = app::DrumMachine::Clock::now;
};

}  // namespace taktwerk::ui
