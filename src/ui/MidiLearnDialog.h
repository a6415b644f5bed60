#pragma once
// "Learn MIDI notes": which notes of a MIDI keyboard, pad controller or e-drum kit strike each
// pad, and MIDI learn to change them as on a hardware drum machine: "Learn" beside a pad, then
// strike the controller, and the pad keeps that note besides its own (a note of another pad
// moves here). A second click on "Learn", Escape, or closing it or the sound settings around it
// stops waiting; "Reset to General MIDI" gives every pad its GM notes back. Acts on the drum
// machine at once; the settings file keeps it when the sound settings are saved. Opened from the
// sound settings; owned by Qt (parented to them), GUI thread only. It polls the drum machine while
// a pad waits for its note, as the window polls playback: the audio thread sends no signals.

#include <QTimer>
#include <QWidget>
#include <array>

class QLabel;
class QPushButton;

namespace taktwerk::app {
class DrumMachine;
}

namespace taktwerk::ui {

class MidiLearnDialog : public QWidget {
public:
    static constexpr int kPadCount = 9;

    explicit MidiLearnDialog(app::DrumMachine& machine, QWidget* parent = nullptr);
    ~MidiLearnDialog() override;

    QPushButton* learnButton(int track) const;
    QLabel* notesLabel(int track) const;
    QPushButton* resetButton() const { return cmdReset_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void learnClicked(int track);
    void pollLearning();
    void showNotes();

    app::DrumMachine& machine_;
    std::array<QLabel*, kPadCount> notes_{};
    std::array<QPushButton*, kPadCount> learn_{};
    QPushButton* cmdReset_ = nullptr;
    QTimer poll_;
};

}  // namespace taktwerk::ui
