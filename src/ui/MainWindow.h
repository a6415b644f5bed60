#pragma once
// The main window: the grid (each set step showing its velocity), the meter and tempo
// controls, the transport, the pads and the mutes, and below them the groove strip: swing, the
// velocity for new steps and the master volume. It turns clicks into DrumMachine calls and
// repaints from the machine. The machine's news (a step played, the audio output lost or back)
// wakes it through its event loop: no timer runs, playing or not, and a step repaints only what
// it changes (two marker columns, the pads that change colour, the beat light). A busy window
// never delays a hit and a stalled engine never freezes the window. Owned by runMainWindow (or
// a test); GUI thread only.

#include "app/DrumMachine.h"
#include "pattern/Pattern.h"
#include "sequencer/Sequencer.h"
#include "ui/Layout.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QScrollBar;
class QSocketNotifier;

namespace taktwerk::ui {

class FillPanel;
class FlatButton;
class LinesPanel;
class PicturePanel;
class Questions;
class StepButton;
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
    // Ctrl+Z and Ctrl+Shift+Z (or Ctrl+Y): the rhythm as it was before the last edit, and
    // again after it; also while playing.
    void undo();
    void redo();
    // The name dialog the question about unsaved changes opened on Yes; null when none is open.
    QWidget* saveDialog() const { return saveDialog_; }
    // RUN/STOP as a press on the button would (also Space, Escape and the tom pads' right
    // button).
    void toggleRun();
    // REC on or off (the button, the R key).
    void toggleRecording();
    // Paints what the steps waiting in the machine leave on screen and logs what the machine
    // reports; the machine's news calls it.
    void pollPlayback();
    // The caption says "no audio output" while nothing can be heard.
    void showAudioOutputState();
    // Repaints everything from the machine (after a load, a new rhythm, a view change).
    void refreshAll();
    // The tom pads show their sample names (`Tom1Sound` ...), after a load or a new sample.
    void refreshTomCaptions();

    // The controls, for tests and for the dialogs that will move or read them.
    StepButton* stepButton(int track, int step) const;
    FlatButton* padButton(int track) const;
    FlatButton* muteButton(int track) const;
    FlatButton* runButton() const { return run_; }
    FlatButton* tapButton() const { return tap_; }
    FlatButton* recordButton() const { return record_; }
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
    // The field a double-click on the tempo display opens for typing a tempo; null while
    // none is open.
    QLineEdit* tempoEditor() const;
    // The row tools' menu a right click on a track's steps opened; null while none is open.
    QMenu* rowMenu() const;
    QWidget* gridPanel() const;  // picBack, with its border
    LinesPanel* upperLines() const { return upper_; }
    LinesPanel* lowerLines() const { return lower_; }
    QWidget* tempoContainer() const;
    QWidget* muteContainer() const;
    PicturePanel* animation() const { return animation_; }
    PicturePanel* logo() const { return logo_; }
    // Watches the machine's news; null without a host, disabled once the machine is shut down.
    const QSocketNotifier* newsNotifier() const { return news_; }
    QWidget* grooveStrip() const;
    QScrollBar* swingBar() const { return swingBar_; }
    QLabel* swingLabel() const { return swingValue_; }
    QRadioButton* swingNoteOption(int index) const;  // 0: 16ths, 1: 8ths
    QScrollBar* newVelocityBar() const { return newVelocityBar_; }
    QLabel* newVelocityLabel() const { return newVelocityValue_; }
    QScrollBar* volumeBar() const { return volumeBar_; }
    QLabel* volumeLabel() const { return volumeValue_; }
    QWidget* newVelocityGroup() const;
    QWidget* volumeGroup() const;
    // Where TAP presses take their time from; tests replace it to tap exact intervals.
    void setTapClock(std::function<app::DrumMachine::Clock::time_point()> clock);

signals:
    // Hooks for the dialogs that come later: the library, the sound settings and a tom's
    // sample choice (1, 2, 3 = tom 1, 2, 3).
    void libraryRequested();
    void settingsRequested();
    void sampleDialogRequested(int tom);
    // Ctrl+E: "Export...".
    void exportRequested();
    // The machine reported news of its output (lost, back, another): what the dialogs show of
    // it may have changed.
    void outputNews();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    // Before New, a load or closing: true to go ahead at once. Over unsaved changes it asks
    // first; No goes ahead, Cancel does not, and Yes opens the name dialog and runs `then`
    // once the rhythm is saved.
    bool settleUnsaved(std::function<void()> then);
    void startNewRhythm();
    // After a load: every control from the machine, the markers on the first step.
    void showLoadedRhythm();
    void buildTopBand();
    void buildGrid();
    void buildPads();
    void buildMutes();
    void buildGrooveStrip();
    FillPanel* buildGrooveGroup(const char* caption, QScrollBar*& bar, QLabel*& value, int min,
                                int max, const layout::GrooveGroup& look);
    void applyView();
    void refreshStep(int track, int step);
    void refreshGrid();
    void refreshMeter();
    void refreshMutes();
    void refreshTempo();
    void refreshGroove();
    void changeVelocity(int track, int step, int delta);
    void showTransportLooks();
    void setMarkers(int step);
    void showFrame(sequencer::AnimationFrame frame);
    void onPad(int track, Qt::MouseButton button);
    void onTap(Qt::MouseButton button);
    // The tempo by `delta` BPM, as + and - and the wheel over the bar move it.
    void nudgeTempo(int delta);
    void showRowMenu(int track, const QPoint& globalPosition);
    // Typing a tempo on the display: Enter takes it (or says why not), Escape and leaving the
    // field keep the tempo as it was.
    void beginTempoEntry();
    void finishTempoEntry(bool take);

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
    FillPanel* tempoDisplay_ = nullptr;
    QPointer<QLineEdit> tempoEdit_;
    bool tempoRefusing_ = false;
    QPointer<QMenu> rowMenu_;  // the refusal's message box takes the focus, not a cancel
    FlatButton* tap_ = nullptr;
    FlatButton* run_ = nullptr;
    FlatButton* record_ = nullptr;
    FillPanel* back_ = nullptr;
    LinesPanel* upper_ = nullptr;
    LinesPanel* lower_ = nullptr;
    std::array<std::array<StepButton*, pattern::kStepCount>, pattern::kTrackCount> steps_{};
    // The step the keyboard's Up and Down change: the one last pointed at or clicked.
    int velocityTrack_ = -1;
    int velocityStep_ = -1;
    std::array<FlatButton*, pattern::kTrackCount> pads_{};
    FillPanel* container3_ = nullptr;
    std::array<FlatButton*, pattern::kTrackCount> mutes_{};
    PicturePanel* animation_ = nullptr;
    PicturePanel* logo_ = nullptr;
    FillPanel* grooveStrip_ = nullptr;
    FillPanel* swingGroup_ = nullptr;
    QScrollBar* swingBar_ = nullptr;
    QLabel* swingValue_ = nullptr;
    std::array<QRadioButton*, 2> swingNoteOptions_{};
    FillPanel* newVelocityGroup_ = nullptr;
    QScrollBar* newVelocityBar_ = nullptr;
    QLabel* newVelocityValue_ = nullptr;
    FillPanel* volumeGroup_ = nullptr;
    QScrollBar* volumeBar_ = nullptr;
    QLabel* volumeValue_ = nullptr;
    std::array<QPixmap, 2> frames_;
    QSocketNotifier* news_ = nullptr;
    QPointer<QWidget> saveDialog_;
    bool closeSettled_ = false;
    std::uint64_t shownLiveLosses_ = 0;  // in the caption; the poll redraws it when it grows
    int tempoWheel_ = 0;  // eighths of a degree turned over the tempo bar, not yet a notch
    std::function<app::DrumMachine::Clock::time_point()> tapClock_ = app::DrumMachine::Clock::now;
};

}  // namespace taktwerk::ui
