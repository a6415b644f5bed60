#include "ui/MainWindow.h"

#include "core/Language.h"
#include "devices/AudioOut.h"
#include "ui/Artwork.h"
#include "ui/DialogSupport.h"
#include "ui/Fonts.h"
#include "ui/GridGeometry.h"
#include "ui/Layout.h"
#include "ui/Looks.h"
#include "ui/NameDialog.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <optional>

namespace taktwerk::ui {

namespace {

using namespace layout;

constexpr int kTomFirst = pattern::index(pattern::Track::Tom1);
constexpr int kTomLast = pattern::index(pattern::Track::Tom3);
constexpr int kOpenHiHat = pattern::index(pattern::Track::OpenHiHat);
constexpr int kRide = pattern::index(pattern::Track::RideCymbal);

QColor colour(Rgb rgb) { return QColor::fromRgb(rgb); }

QRect pixels(const TwipsRect& r) { return QRect(px(r.left), px(r.top), px(r.width), px(r.height)); }

void place(QWidget* widget, const TwipsRect& r) { widget->setGeometry(pixels(r)); }

// Check boxes and option buttons on the grey band: white captions, the band's own grey.
QString bandStyle(const char* kind)
{
    return QStringLiteral("%1 { color: white; background-color: #808080; }").arg(kind);
}

app::MouseButton machineButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return app::MouseButton::Left;
    case Qt::RightButton:
        return app::MouseButton::Right;
    default:
        return app::MouseButton::Other;
    }
}

QRect clientOf(const QWidget* panel)
{
    return panel->rect().adjusted(kPanelBorderPixels, kPanelBorderPixels, -kPanelBorderPixels,
                                  -kPanelBorderPixels);
}

// The outer window size of a view less the frame, as the window was designed, in twips.
int designedClientHeight(bool beginner)
{
    return viewLayout(beginner).windowHeight - kFrameHeightTw;
}

// The client area: the designed one and the groove strip below it.
QSize clientSize(bool beginner)
{
    const ViewLayout& view = viewLayout(beginner);
    return {px(view.windowWidth - kFrameWidthTw),
            px(designedClientHeight(beginner) + kGrooveStripHeight)};
}

QString percentText(int percent) { return QStringLiteral("%1 %").arg(percent); }

// What is shown but not offered (swing away from four steps per beat) fades into the band.
const QString kDisabledText = QStringLiteral(" %1:disabled { color: #404040; }");

// Up and Down move a velocity by a coarse step, with Shift by one, as the wheel does.
constexpr int kVelocityStep = 8;

}  // namespace

MainWindow::MainWindow(app::DrumMachine& machine, Questions& questions, QWidget* parent)
    : QWidget(parent), machine_(machine), questions_(questions)
{
    setWindowTitle(QStringLiteral("Quorrel Taktwerk"));
    setWindowIcon(artwork::windowIcon());
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colour(kWindowColour));
    setPalette(palette);
    build();
    if (const sound::Wakeup* news = machine_.news()) {
        news_ = new QSocketNotifier(news->fd(), QSocketNotifier::Read, this);
        connect(news_, &QSocketNotifier::activated, this, &MainWindow::pollPlayback);
    }
    refreshAll();
    showAudioOutputState();
}

MainWindow::~MainWindow() = default;

void MainWindow::build()
{
    setFixedSize(clientSize(false));
    buildGrid();
    buildPads();
    buildMutes();
    buildTopBand();
    buildGrooveStrip();

    const qreal ratio = qApp->devicePixelRatio();
    frames_ = {artwork::animationFrame(0, ratio), artwork::animationFrame(1, ratio)};
    animation_ = new PicturePanel(Qt::black, this);
    place(animation_, kAnimation);
    animation_->setPicture(frames_[0]);
    animation_->hide();
    logo_ = new PicturePanel(Qt::black, this);
    place(logo_, kLogo);
    logo_->setPicture(artwork::logo(ratio));
    logo_->hide();
    setMarkers(0);
}

void MainWindow::buildTopBand()
{
    files_ = new FlatButton(this);
    place(files_, kFiles);
    files_->setText(qtranslated("Rhythm..."));
    files_->setFill(colour(kFilesColour));
    files_->setFont(appFont(fontPixels(8.25), true));
    connect(files_, &FlatButton::clicked, this, &MainWindow::libraryRequested);

    settings_ = new FlatButton(this);
    place(settings_, kSettings);
    settings_->setText(qtranslated("Settings..."));
    settings_->setFill(colour(kSettingsColour));
    settings_->setFont(appFont(fontPixels(8.25), true));
    connect(settings_, &FlatButton::clicked, this, &MainWindow::settingsRequested);

    const QFont boxFont = appFont(fontPixels(8.25), true);
    mode_ = new WrapCheckBox(qtranslated("Beginner Mode"), colour(kWindowColour), this);
    place(mode_, kMode);
    mode_->setFont(boxFont);
    connect(mode_, &QCheckBox::clicked, this, [this](bool on) {
        machine_.setBeginner(on);
        refreshAll();
    });

    intro_ = new WrapCheckBox(qtranslated("Intro"), colour(kWindowColour), this);
    place(intro_, kIntro);
    intro_->setFont(boxFont);
    connect(intro_, &QCheckBox::clicked, this, [this](bool on) {
        machine_.setIntro(on);
        // Ticking or unticking "Intro" lets the user hear the click.
        machine_.click();
    });

    const QFont frameFont = appFont(fontPixels(9), true);
    auto makeOptions = [&](TitledFrame* frame, std::array<QRadioButton*, 3>& options,
                           const std::array<TwipsRect, 3>& rects, bool interval) {
        frame->setFont(frameFont);
        for (int i = 0; i < 3; ++i) {
            auto* option = new QRadioButton(frame);
            place(option, rects[static_cast<std::size_t>(i)]);
            option->setStyleSheet(bandStyle("QRadioButton"));
            option->setFont(frameFont);
            option->setFocusPolicy(Qt::NoFocus);
            connect(option, &QRadioButton::clicked, this, [this, i, interval] {
                if (interval)
                    machine_.setIntervalOption(i);
                else
                    machine_.setBeatsOption(i);
                refreshMeter();
            });
            options[static_cast<std::size_t>(i)] = option;
        }
    };
    intervalFrame_ = new TitledFrame(qtranslated("Interval"), this);
    place(intervalFrame_, kIntervalFrame);
    makeOptions(intervalFrame_, intervalOptions_, kIntervalOptions, true);
    for (int i = 0; i < 3; ++i)
        intervalOptions_[static_cast<std::size_t>(i)]->setText(QString::number(i + 3));
    beatFrame_ = new TitledFrame(qtranslated("Beats: "), this);
    place(beatFrame_, kBeatFrame);
    makeOptions(beatFrame_, beatsOptions_, kBeatsOptions, false);

    container2_ = new FillPanel(colour(kWindowColour), this);
    place(container2_, kContainer2);
    auto* bpmFrame = new TitledFrame(qtranslated("BPM:"), container2_);
    place(bpmFrame, kBpmFrame);
    bpmFrame->setFont(frameFont);
    tempoDisplay_ = new FillPanel(Qt::black, bpmFrame);
    place(tempoDisplay_, kBpmDisplay);
    tempoDisplay_->installEventFilter(this);
    tempoLabel_ = new QLabel(bpmFrame);
    place(tempoLabel_, kBpmLabel);
    tempoLabel_->setAlignment(Qt::AlignCenter);
    tempoLabel_->setTextFormat(Qt::PlainText);
    tempoLabel_->setFont(appFont(fontPixels(14.25), true));
    tempoLabel_->setStyleSheet(
        QStringLiteral("QLabel { color: #00FF00; background: transparent; }"));
    // A double-click on the display lets the tempo be typed.
    tempoLabel_->installEventFilter(this);
    tempoBar_ = new QScrollBar(Qt::Horizontal, bpmFrame);
    place(tempoBar_, kTempoBar);
    tempoBar_->setRange(35, 450);
    tempoBar_->setSingleStep(1);
    tempoBar_->setPageStep(10);
    tempoBar_->setFocusPolicy(Qt::NoFocus);
    connect(tempoBar_, &QScrollBar::valueChanged, this, [this](int value) {
        machine_.setTempo(value);
        tempoLabel_->setText(QString::number(machine_.tempoBpm()));
        showAudioOutputState();
    });
    // The scroll bar's own wheel turns a horizontal bar down when the wheel goes up, and by
    // three; the tempo goes up with the wheel, by one a notch.
    tempoBar_->installEventFilter(this);
    // A whole drag is one undo entry, not one per pixel.
    connect(tempoBar_, &QScrollBar::sliderReleased, this, [this] { machine_.endEditSeries(); });

    tap_ = new FlatButton(container2_);
    place(tap_, kTap);
    tap_->setText(qtranslated("T A P"));
    tap_->setFill(colour(kBeatLightOff));
    tap_->setFont(appFont(fontPixels(15.75), true));
    tap_->setToolTip(qtranslated("Right click = Reset"));
    connect(tap_, &FlatButton::pressedWith, this, &MainWindow::onTap);

    run_ = new FlatButton(container2_);
    place(run_, kRun);
    run_->setText(qtranslated(transportLooks(false, false).caption));
    run_->setFill(colour(kRunButtonStopped));
    run_->setTextColour(Qt::white);
    run_->setFont(appFont(fontPixels(15.75), true));
    connect(run_, &FlatButton::pressedWith, this, [this](Qt::MouseButton) { toggleRun(); });
}

void MainWindow::buildGrid()
{
    back_ = new FillPanel(colour(kGridPanelColour), this);
    place(back_, kBack);
    back_->setSunkenBorder(true);
    // The panel's children are placed inside its border, as in the original toolkit.
    upper_ = new LinesPanel(colour(kGridPanelColour), back_);
    upper_->setGeometry(clientOf(back_));
    lower_ = new LinesPanel(colour(kLowerPanelColour), upper_);
    const PanelBox& lower = kLowerPanelBox;
    place(lower_, {lower.left, lower.top, lower.width, lower.height});
    // Created after the black panel, so the crash and tom rows stand on it.
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const auto t = static_cast<std::size_t>(track);
        for (int step = 0; step < pattern::kStepCount; ++step) {
            auto* button = new StepButton(upper_);
            const RowBox& row = kRowBoxes[t];
            place(button, {columnLeftTwips(step), row.top, kColumnWidthTwips, row.height});
            button->setCheckable(true);
            button->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(button, &QWidget::customContextMenuRequested, this,
                    [this, track, button](const QPoint& at) {
                        showRowMenu(track, button->mapToGlobal(at));
                    });
            connect(button, &FlatButton::clicked, this, [this, track, step] {
                machine_.toggleStep(track, step);
                refreshStep(track, step);
                showAudioOutputState();
                velocityTrack_ = track;
                velocityStep_ = step;
            });
            connect(button, &StepButton::wheelTurned, this,
                    [this, track, step](int notches, bool fine) {
                        changeVelocity(track, step, notches * (fine ? 1 : kVelocityStep));
                    });
            connect(button, &StepButton::hovered, this, [this, track, step] {
                velocityTrack_ = track;
                velocityStep_ = step;
            });
            steps_[t][static_cast<std::size_t>(step)] = button;
        }
    }
}

void MainWindow::buildPads()
{
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const PadLook& look = kPads[static_cast<std::size_t>(track)];
        auto* pad = new FlatButton(this);
        place(pad, {kPadLeft, look.top, kPadWidth, look.height});
        pad->setText(qtranslated(look.caption));
        pad->setFill(colour(look.colour));
        pad->setFont(appFont(fontPixels(9.75), true));
        // The keys 1 to 9 play the pads from the top down (on the number row, and on the
        // keypad for a player whose left hand holds the mouse).
        QString tip = qtranslated("Key %s", {QString::number(track + 1)});
        if (look.changeable)
            tip += QLatin1Char('\n') + qtranslated("Right click = Change Sound");
        pad->setToolTip(tip);
        connect(pad, &FlatButton::pressedWith, this,
                [this, track](Qt::MouseButton button) { onPad(track, button); });
        pads_[static_cast<std::size_t>(track)] = pad;
    }
}

void MainWindow::buildMutes()
{
    container3_ = new FillPanel(colour(kWindowColour), this);
    place(container3_, kContainer3);
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const auto t = static_cast<std::size_t>(track);
        auto* mute = new FlatButton(container3_);
        place(mute, {kMuteLeft, kMuteTops[t], kMuteWidth, kMuteHeights[t]});
        mute->setText(qtranslated("MUTE"));
        mute->setTextColour(Qt::white);
        mute->setFont(appFont(fontPixels(9), true));
        mute->setCheckable(true);
        connect(mute, &FlatButton::clicked, this, [this, track](bool muted) {
            machine_.setMuted(track, muted);
            refreshMutes();
        });
        mutes_[t] = mute;
    }
}

void MainWindow::buildGrooveStrip()
{
    grooveStrip_ = new FillPanel(colour(kWindowColour), this);
    swingGroup_ = buildGrooveGroup("Swing:", swingBar_, swingValue_, pattern::kStraightSwing,
                                   pattern::kMaxSwing, kSwingGroup);
    connect(swingBar_, &QScrollBar::valueChanged, this, [this](int percent) {
        machine_.setSwing({percent, machine_.swing().note});
        swingValue_->setText(percentText(machine_.swing().percent));
        showAudioOutputState();
    });
    const QFont font = appFont(fontPixels(8.25), true);
    const std::array<pattern::SwingNote, 2> notes{pattern::SwingNote::Sixteenth,
                                                  pattern::SwingNote::Eighth};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        auto* option = new QRadioButton(i == 0 ? QStringLiteral("16ths") : QStringLiteral("8ths"),
                                        swingGroup_);
        place(option, kSwingNoteOptions[i]);
        option->setStyleSheet(bandStyle("QRadioButton") + kDisabledText.arg("QRadioButton"));
        option->setFont(font);
        option->setFocusPolicy(Qt::NoFocus);
        connect(option, &QRadioButton::clicked, this, [this, note = notes[i]] {
            machine_.setSwing({machine_.swing().percent, note});
            refreshGroove();
        });
        swingNoteOptions_[i] = option;
    }

    newVelocityGroup_ =
        buildGrooveGroup("Velocity for new steps:", newVelocityBar_, newVelocityValue_,
                         pattern::kMinVelocity, pattern::kMaxVelocity, kNewVelocityGroup);
    connect(newVelocityBar_, &QScrollBar::valueChanged, this, [this](int velocity) {
        machine_.setNewStepVelocity(velocity);
        newVelocityValue_->setText(QString::number(machine_.newStepVelocity()));
    });

    volumeGroup_ =
        buildGrooveGroup("Volume:", volumeBar_, volumeValue_, 0, app::kFullVolume, kVolumeGroup);
    connect(volumeBar_, &QScrollBar::valueChanged, this, [this](int percent) {
        machine_.setVolume(percent);
        volumeValue_->setText(percentText(machine_.volume()));
    });

    record_ = new FlatButton(grooveStrip_);
    place(record_, kRecordButton);
    record_->setText(qtranslated("REC"));
    record_->setToolTip(qtranslated("Record what is played into the grid (R)"));
    record_->setFont(font);
    record_->setFill(colour(kRecordOffColour));
    connect(record_, &FlatButton::pressedWith, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton)
            toggleRecording();
    });
}

void MainWindow::toggleRecording()
{
    machine_.setRecording(!machine_.isRecording());
    const bool on = machine_.isRecording();
    record_->setFill(colour(on ? kRecordOnColour : kRecordOffColour));
    record_->setTextColour(on ? Qt::white : Qt::black);
}

FillPanel* MainWindow::buildGrooveGroup(const char* caption, QScrollBar*& bar, QLabel*& value,
                                        int min, int max, const GrooveGroup& look)
{
    auto* group = new FillPanel(colour(kWindowColour), grooveStrip_);
    group->resize(px(look.width), px(kGrooveStripHeight));
    const QFont font = appFont(fontPixels(8.25), true);
    const QString labelStyle = QStringLiteral("QLabel { color: white; background: transparent; }") +
                               kDisabledText.arg("QLabel");
    auto* label = new QLabel(QString::fromUtf8(caption), group);
    place(label, look.caption);
    label->setFont(font);
    label->setStyleSheet(labelStyle);
    bar = new QScrollBar(Qt::Horizontal, group);
    place(bar, look.bar);
    bar->setRange(min, max);
    bar->setSingleStep(1);
    bar->setPageStep(kVelocityStep);
    // The window keeps the keyboard: Space, T and the velocity keys work wherever the mouse was.
    bar->setFocusPolicy(Qt::NoFocus);
    value = new QLabel(group);
    place(value, look.value);
    value->setFont(font);
    value->setStyleSheet(labelStyle);
    return group;
}

StepButton* MainWindow::stepButton(int track, int step) const
{
    return steps_[static_cast<std::size_t>(track)][static_cast<std::size_t>(step)];
}
FlatButton* MainWindow::padButton(int track) const
{
    return pads_[static_cast<std::size_t>(track)];
}
FlatButton* MainWindow::muteButton(int track) const
{
    return mutes_[static_cast<std::size_t>(track)];
}
QRadioButton* MainWindow::intervalOption(int index) const
{
    return intervalOptions_[static_cast<std::size_t>(index)];
}
QRadioButton* MainWindow::beatsOption(int index) const
{
    return beatsOptions_[static_cast<std::size_t>(index)];
}
QRadioButton* MainWindow::swingNoteOption(int index) const
{
    return swingNoteOptions_[static_cast<std::size_t>(index)];
}
QLineEdit* MainWindow::tempoEditor() const { return tempoEdit_; }
QMenu* MainWindow::rowMenu() const { return rowMenu_; }
QWidget* MainWindow::grooveStrip() const { return grooveStrip_; }
QWidget* MainWindow::newVelocityGroup() const { return newVelocityGroup_; }
QWidget* MainWindow::volumeGroup() const { return volumeGroup_; }
QWidget* MainWindow::intervalFrame() const { return intervalFrame_; }
QWidget* MainWindow::beatFrame() const { return beatFrame_; }
QWidget* MainWindow::gridPanel() const { return back_; }
QWidget* MainWindow::tempoContainer() const { return container2_; }
QWidget* MainWindow::muteContainer() const { return container3_; }

void MainWindow::refreshAll()
{
    applyView();
    refreshGrid();
    refreshMeter();
    refreshMutes();
    refreshTempo();
    refreshTomCaptions();
    refreshGroove();
    intro_->setChecked(machine_.intro());
}

// The beginner view narrows the window to four tracks by 16 steps and brings the tempo, the
// mutes, the logo and the animation in next to the grid; the full view puts everything back.
void MainWindow::applyView()
{
    const bool beginner = machine_.isBeginner();
    {
        const QSignalBlocker block(mode_);
        mode_->setChecked(beginner);
    }
    const ViewLayout& view = viewLayout(beginner);
    back_->resize(px(view.gridPanelWidth), px(view.gridPanelHeight));
    upper_->setGeometry(clientOf(back_));
    setFixedSize(clientSize(beginner));
    beatFrame_->setVisible(!beginner);
    intervalFrame_->setVisible(!beginner);
    container2_->move(px(view.tempoPanelLeft), px(kContainer2.top));
    container3_->move(px(view.mutePanelLeft), px(kContainer3.top));
    animation_->setVisible(beginner);
    logo_->setVisible(beginner);
    if (beginner)
        showFrame(sequencer::AnimationFrame::Frame0);

    // The groove strip stands below the designed window; the beginner view keeps swing and
    // volume and leaves the velocity for new steps to the full view.
    place(grooveStrip_, {0, designedClientHeight(beginner), view.windowWidth - kFrameWidthTw,
                         kGrooveStripHeight});
    swingGroup_->move(px(beginner ? kSwingGroup.beginnerLeft : kSwingGroup.left), 0);
    newVelocityGroup_->move(px(kNewVelocityGroup.left), 0);
    newVelocityGroup_->setVisible(!beginner);
    volumeGroup_->move(px(beginner ? kVolumeGroup.beginnerLeft : kVolumeGroup.left), 0);
    record_->move(px((beginner ? kRecordBeginnerLeft : kRecordLeft) + kRecordButton.left),
                  px(kRecordButton.top));

    pads_[kRide]->move(px(kPadLeft), px(view.ridePadTop));
    pads_[kOpenHiHat]->setVisible(!beginner);
    mutes_[kRide]->move(px(kMuteLeft), px(view.rideMuteTop));
    mutes_[kOpenHiHat]->setVisible(!beginner);
    const int rideTop = rowTopTwips(kRide, beginner);
    for (int step = 0; step < pattern::kStepCount; ++step)
        stepButton(kRide, step)->move(px(columnLeftTwips(step)), px(rideTop));
}

void MainWindow::refreshStep(int track, int step)
{
    StepButton* button = stepButton(track, step);
    const bool on = machine_.StepIsOn(track, step);
    button->setChecked(on);
    button->setFill(colour(stepColour(on)));
    button->setVelocity(machine_.velocity(track, step));
    button->setToolTip(on ? QStringLiteral("Velocity %1").arg(machine_.velocity(track, step))
                          : QString());
    button->setVisible(machine_.meter().isShown(track, step));
}

void MainWindow::changeVelocity(int track, int step, int delta)
{
    if (machine_.changeVelocity(track, step, delta)) {
        refreshStep(track, step);
        showAudioOutputState();
    }
}

void MainWindow::refreshGrid()
{
    for (int track = 0; track < pattern::kTrackCount; ++track)
        for (int step = 0; step < pattern::kStepCount; ++step)
            refreshStep(track, step);
    showAudioOutputState();
}

void MainWindow::refreshMeter()
{
    showAudioOutputState();
    const pattern::MeterState& meter = machine_.meter();
    for (int i = 0; i < 3; ++i)
        intervalOption(i)->setChecked(meter.intervalOption() == i);
    for (int i = 0; i < 3; ++i) {
        // Each option is captioned with the loop length it gives.
        beatsOption(i)->setText(QString::number(meter.optionBeats(i)));
        beatsOption(i)->setChecked(meter.beatsOption() == i);
    }
    std::vector<LinesPanel::Line> upperLines;
    std::vector<LinesPanel::Line> lowerLines;
    for (int line = 1; line <= pattern::kBeatLineCount; ++line) {
        const int x = px(beatLineX(meter.Interval(), line));
        upperLines.push_back({x, colour(lineColour(meter.beatLine(line), 0))});
        lowerLines.push_back({x, colour(lineColour(meter.beatLine(line), 1))});
    }
    upper_->setLines(std::move(upperLines));
    lower_->setLines(std::move(lowerLines));
    // A change of interval shows or hides columns.
    for (int track = 0; track < pattern::kTrackCount; ++track)
        for (int step = 0; step < pattern::kStepCount; ++step)
            stepButton(track, step)->setVisible(meter.isShown(track, step));
    refreshGroove();  // swing plays at four steps per beat only
}

void MainWindow::refreshMutes()
{
    showAudioOutputState();
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const bool muted = machine_.isMuted(track);
        muteButton(track)->setChecked(muted);
        muteButton(track)->setFill(colour(muteColour(muted)));
    }
}

void MainWindow::refreshTempo()
{
    showAudioOutputState();
    // While a master leads, its tempo is shown (to a tenth, as it is measured) and ours can
    // neither be dragged nor tapped.
    const bool following = machine_.isFollowing();
    const int tenths = machine_.followedTempoTenths();
    tempoBar_->setEnabled(!following);
    tap_->setEnabled(!following);
    {
        const QSignalBlocker block(tempoBar_);
        tempoBar_->setValue(
            following && tenths > 0
                ? std::clamp((tenths + 5) / 10, tempoBar_->minimum(), tempoBar_->maximum())
                : machine_.tempoBpm());
    }
    if (!following)
        tempoLabel_->setText(QString::number(machine_.tempoBpm()));
    else if (tenths > 0)
        tempoLabel_->setText(QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10));
    else
        tempoLabel_->setText(QStringLiteral("--.-"));
}

void MainWindow::refreshGroove()
{
    showAudioOutputState();
    const pattern::Swing swing = machine_.swing();
    {
        const QSignalBlocker block(swingBar_);
        swingBar_->setValue(swing.percent);
    }
    swingValue_->setText(percentText(swing.percent));
    swingNoteOptions_[0]->setChecked(swing.note == pattern::SwingNote::Sixteenth);
    swingNoteOptions_[1]->setChecked(swing.note == pattern::SwingNote::Eighth);
    // Kept at three and five steps per beat, but not heard there: shown, not offered.
    const bool plays = machine_.swingPlays();
    swingGroup_->setEnabled(plays);
    swingGroup_->setToolTip(plays ? QString() : QStringLiteral("Swing plays at Interval 4 only"));
    {
        const QSignalBlocker block(newVelocityBar_);
        newVelocityBar_->setValue(machine_.newStepVelocity());
    }
    newVelocityValue_->setText(QString::number(machine_.newStepVelocity()));
    {
        const QSignalBlocker block(volumeBar_);
        volumeBar_->setValue(machine_.volume());
    }
    volumeValue_->setText(percentText(machine_.volume()));
}

// A tom pad shows the name of the sample it plays ("Tom 1" for the sample set's own).
void MainWindow::refreshTomCaptions()
{
    const app::Settings& settings = machine_.settings();
    const std::array<const std::string*, 3> names{&settings.Tom1Sound, &settings.Tom2Sound,
                                                  &settings.Tom3Sound};
    for (int tom = 0; tom < 3; ++tom)
        pads_[static_cast<std::size_t>(kTomFirst + tom)]->setText(
            QString::fromStdString(*names[static_cast<std::size_t>(tom)]));
    // A tom's sample is kept with the rhythm: a new one is an unsaved change to mark.
    showAudioOutputState();
}

void MainWindow::showTransportLooks()
{
    const TransportLooks looks = transportLooks(machine_.isRunning(), machine_.isBeginner());
    run_->setText(qtranslated(looks.caption));
    run_->setFill(colour(looks.buttonColour));
    if (looks.resetsLights) {
        tap_->setFill(colour(kBeatLightOff));
        for (FlatButton* pad : pads_)
            pad->setFill(colour(kPadIdle));
    }
    if (looks.markersHome)
        setMarkers(0);
    showFrame(looks.animation);
}

void MainWindow::setMarkers(int step)
{
    upper_->setMarker(px(markerXTwips(step)));
    lower_->setMarker(px(markerXTwips(step)));
}

void MainWindow::showFrame(sequencer::AnimationFrame frame)
{
    if (frame != sequencer::AnimationFrame::Unchanged)
        animation_->setPicture(frames_[frame == sequencer::AnimationFrame::Frame1 ? 1 : 0]);
}

void MainWindow::toggleRun()
{
    // The markers stay on the last column played when playback stops.
    if (machine_.isRunning())
        machine_.stop();
    else
        machine_.run();
    showTransportLooks();
}

void MainWindow::pollPlayback()
{
    // Taken before the steps are, so that news of a step queued meanwhile wakes the window
    // again instead of being lost.
    if (const sound::Wakeup* news = machine_.news())
        (void)news->clear();
    // Only what the last steps leave on screen is painted: after a stall, a burst of steps
    // paints once, and the same screen as painting each in turn.
    sequencer::StepEvent event;
    std::optional<std::uint16_t> litPads;
    int markerColumn = -1;
    std::optional<sequencer::BeatLight> beatLight;
    auto frame = sequencer::AnimationFrame::Unchanged;
    // What is recorded meanwhile is painted once, after the steps.
    const std::optional<pattern::Pattern> beforeRecording =
        machine_.isRecording() ? std::optional(machine_.pattern()) : std::nullopt;
    while (machine_.pollEvent(event)) {
        // A count-in step leaves the pads as they are.
        if (event.kind == sequencer::StepEvent::Kind::Pattern)
            litPads = event.litPads;
        if (event.markerColumn >= 0)
            markerColumn = event.markerColumn;
        beatLight = event.beatLight;
        if (event.animation != sequencer::AnimationFrame::Unchanged)
            frame = event.animation;
    }
    // Each control repaints only when its colour changes.
    if (litPads) {
        for (int track = 0; track < pattern::kTrackCount; ++track)
            pads_[static_cast<std::size_t>(track)]->setFill(colour(padColour(*litPads, track)));
    }
    if (markerColumn >= 0)
        setMarkers(markerColumn);
    if (beatLight)
        tap_->setFill(colour(beatLightColour(*beatLight)));
    showFrame(frame);
    if (beforeRecording && !(*beforeRecording == machine_.pattern()))
        refreshGrid();
    if (machine_.isFollowing())
        refreshTempo();
    if (machine_.lostLiveHits() != shownLiveLosses_)
        showAudioOutputState();
    if (const std::string trouble = machine_.playbackTrouble(); !trouble.empty()) {
        std::clog << "taktwerk: " << trouble << '\n';
        emit outputNews();
    }
}

void MainWindow::showAudioOutputState()
{
    // A musician must see why nothing is heard; the caption gets its own title back as soon
    // as an output returns and the samples are there.
    QString title = QStringLiteral("Quorrel Taktwerk");
    // Unsaved changes are marked as every editor marks them.
    if (machine_.isModified())
        title += QStringLiteral(" *");
    if (!machine_.hasAudioOutput())
        title += QStringLiteral(" \u2013 ") + qtranslated(devices::kNoAudioOutputNotice);
    if (const std::string problem = machine_.soundProblem(); !problem.empty())
        title += QStringLiteral(" \u2013 ") + QString::fromStdString(problem);
    // Hits a drummer played but never heard: the kit sent more at once than a block takes.
    shownLiveLosses_ = machine_.lostLiveHits();
    if (shownLiveLosses_ > 0)
        title += QStringLiteral(" \u2013 ") +
                 qtranslated("%s live hits lost", {QString::number(shownLiveLosses_)});
    if (windowTitle() != title)
        setWindowTitle(title);
}

void MainWindow::onPad(int track, Qt::MouseButton button)
{
    const bool tom = track >= kTomFirst && track <= kTomLast;
    if (tom && button == Qt::RightButton && machine_.isRunning())
        toggleRun();
    if (machine_.pad(track, machineButton(button)) == app::PadOutcome::OpenSampleDialog)
        emit sampleDialogRequested(machine_.EditTom());
}

void MainWindow::onTap(Qt::MouseButton button)
{
    if (machine_.isFollowing())
        return;  // the master's tempo it is
    machine_.tap(machineButton(button), tapClock_());
    refreshTempo();
}

bool MainWindow::settleUnsaved(std::function<void()> then)
{
    if (!machine_.isModified() || machine_.settings().AskToSave == 0)
        return true;
    switch (questions_.askYesNoCancel(
        this, qtranslated("The rhythm has been changed. Do you want to save the changes?"))) {
    case Answer::No:
        return true;
    case Answer::Cancel:
        return false;
    case Answer::Yes:
        break;
    }
    if (saveDialog_)
        saveDialog_->close();
    auto* dialog = new NameDialog(machine_, questions_, machine_.pattern(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->nameBox()->setText(fromUtf8(machine_.RhythmName()));
    // Queued: the dialog finishes closing before what waited on the save goes ahead.
    connect(
        dialog, &NameDialog::saved, this, [then = std::move(then)] { then(); },
        Qt::QueuedConnection);
    saveDialog_ = dialog;
    dialog->show();
    dialog->nameBox()->setFocus();
    return false;
}

core::Result<void> MainWindow::loadRhythm(const std::filesystem::path& file)
{
    if (!settleUnsaved([this, file] {
            if (auto loaded = loadRhythm(file); !loaded)
                questions_.tell(this, fromUtf8(loaded.error().message));
        }))
        return {};
    if (auto loaded = machine_.loadRhythm(file); !loaded)
        return loaded;
    showLoadedRhythm();
    return {};
}

core::Result<void> MainWindow::openRhythm(const std::filesystem::path& file)
{
    if (auto opened = machine_.openRhythm(file); !opened)
        return opened;
    showLoadedRhythm();
    return {};
}

void MainWindow::showLoadedRhythm()
{
    setMarkers(0);
    refreshGrid();
    refreshMeter();
    refreshMutes();
    refreshTempo();
    refreshTomCaptions();
    refreshGroove();
}

void MainWindow::setTapClock(std::function<app::DrumMachine::Clock::time_point()> clock)
{
    tapClock_ = std::move(clock);
}

void MainWindow::NewRhythm()
{
    // Unsaved changes get the question whose answer can save them; a saved rhythm the old
    // one, whose No brings the library back.
    if (machine_.isModified() && machine_.settings().AskToSave != 0) {
        if (settleUnsaved([this] { startNewRhythm(); }))
            startNewRhythm();
        else if (!saveDialog_)
            emit libraryRequested();  // Cancel: back where New was pressed
        return;
    }
    if (!questions_.askYesNo(this, qtranslated("Really reset everything?"))) {
        emit libraryRequested();
        return;
    }
    startNewRhythm();
}

void MainWindow::startNewRhythm()
{
    machine_.newRhythm();
    refreshGrid();
    refreshMutes();
    refreshMeter();
    refreshTempo();
    refreshGroove();
    setMarkers(0);
    tap_->setFill(colour(kBeatLightOff));
}

void MainWindow::showRowMenu(int track, const QPoint& globalPosition)
{
    if (rowMenu_)
        rowMenu_->close();
    struct Item {
        const char* caption;
        app::RowTool tool;
        bool separatorBefore;
    };
    static constexpr std::array<Item, 10> kItems{{
        {core::translatable("Fill every step"), app::RowTool::FillEvery1, false},
        {core::translatable("Fill every 2nd step"), app::RowTool::FillEvery2, false},
        {core::translatable("Fill every 4th step"), app::RowTool::FillEvery4, false},
        {core::translatable("Fill every 8th step"), app::RowTool::FillEvery8, false},
        {core::translatable("Clear row"), app::RowTool::Clear, false},
        {core::translatable("Shift left"), app::RowTool::ShiftLeft, true},
        {core::translatable("Shift right"), app::RowTool::ShiftRight, false},
        {core::translatable("Copy first half to second half"), app::RowTool::CopyFirstHalf, false},
        {core::translatable("Crescendo"), app::RowTool::Crescendo, true},
        {core::translatable("Decrescendo"), app::RowTool::Decrescendo, false},
    }};
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Item& item : kItems) {
        if (item.separatorBefore)
            menu->addSeparator();
        QAction* action = menu->addAction(qtranslated(item.caption));
        connect(action, &QAction::triggered, this, [this, track, tool = item.tool] {
            machine_.applyRowTool(track, tool);
            refreshGrid();
        });
    }
    // The window has no menu bar; the export is offered where a right click already leads.
    menu->addSeparator();
    connect(menu->addAction(qtranslated("Export...")), &QAction::triggered, this,
            &MainWindow::exportRequested);
    rowMenu_ = menu;
    // Not exec(): playback goes on being painted while the menu is open.
    menu->popup(globalPosition);
}

void MainWindow::nudgeTempo(int delta)
{
    if (machine_.isFollowing())
        return;
    machine_.setTempo(machine_.tempoBpm() + delta);
    refreshTempo();
}

void MainWindow::beginTempoEntry()
{
    if (tempoEdit_)
        return;
    tempoEdit_ = new QLineEdit(tempoLabel_->parentWidget());
    tempoEdit_->setGeometry(tempoLabel_->geometry());
    tempoEdit_->setFont(tempoLabel_->font());
    tempoEdit_->setAlignment(Qt::AlignCenter);
    tempoEdit_->setStyleSheet(QStringLiteral(
        "QLineEdit { color: #00FF00; background: black; border: 1px solid #00FF00; }"));
    // Room for a mistyped tempo to be refused, not cut to a tempo the user never typed.
    tempoEdit_->setMaxLength(8);
    tempoEdit_->setText(QString::number(machine_.tempoBpm()));
    tempoEdit_->selectAll();
    tempoEdit_->installEventFilter(this);
    tempoEdit_->show();
    tempoEdit_->setFocus();
}

void MainWindow::finishTempoEntry(bool take)
{
    if (!tempoEdit_)
        return;
    if (take) {
        if (auto typed = machine_.typeTempo(toUtf8(tempoEdit_->text())); !typed) {
            // The field stays open with the mistake selected, ready to be typed over.
            const QPointer<QLineEdit> edit = tempoEdit_;
            tempoRefusing_ = true;
            questions_.tell(this, fromUtf8(typed.error().message));
            tempoRefusing_ = false;
            if (edit) {
                edit->selectAll();
                edit->setFocus();
            }
            return;
        }
    }
    QLineEdit* edit = tempoEdit_;
    tempoEdit_ = nullptr;
    edit->removeEventFilter(this);
    edit->hide();
    edit->deleteLater();
    setFocus();
    refreshTempo();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == tempoLabel_ || watched == tempoDisplay_) &&
        event->type() == QEvent::MouseButtonDblClick) {
        beginTempoEntry();
        return true;
    }
    if (tempoEdit_ && watched == tempoEdit_) {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                finishTempoEntry(true);
                return true;
            }
            // Escape ends the typing only; it must not reach the window and stop playback.
            if (key->key() == Qt::Key_Escape) {
                finishTempoEntry(false);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut && !tempoRefusing_) {
            finishTempoEntry(false);
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != tempoBar_ || event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    const auto* wheel = static_cast<QWheelEvent*>(event);
    constexpr int kNotch = 120;  // eighths of a degree
    tempoWheel_ += wheel->angleDelta().y() != 0 ? wheel->angleDelta().y() : wheel->angleDelta().x();
    const int notches = tempoWheel_ / kNotch;
    tempoWheel_ -= notches * kNotch;
    if (notches != 0)
        nudgeTempo(notches);
    return true;
}

void MainWindow::undo()
{
    if (machine_.undo())
        refreshAll();
}

void MainWindow::redo()
{
    if (machine_.redo())
        refreshAll();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Held down, they walk through the history as in any editor.
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_Z) {
        undo();
        event->accept();
        return;
    }
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_E) {
        if (!event->isAutoRepeat())
            emit exportRequested();
        event->accept();
        return;
    }
    if ((modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && event->key() == Qt::Key_Z) ||
        (modifiers == Qt::ControlModifier && event->key() == Qt::Key_Y)) {
        redo();
        event->accept();
        return;
    }
    // A held key repeats only where repeating makes sense: a velocity moving on.
    const bool velocityKey = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (event->isAutoRepeat() && !velocityKey) {
        event->accept();
        return;
    }
    if (event->key() >= Qt::Key_1 && event->key() <= Qt::Key_9 &&
        (modifiers & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
        const int track = event->key() - Qt::Key_1;
        // A pad the view hides cannot be clicked, so its key stays silent too.
        if (pads_[static_cast<std::size_t>(track)]->isVisible())
            onPad(track, Qt::LeftButton);
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        toggleRun();
        break;
    case Qt::Key_Escape:
        if (machine_.isRunning())
            toggleRun();
        break;
    case Qt::Key_T:
        onTap(Qt::LeftButton);
        break;
    case Qt::Key_R:
        toggleRecording();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
        nudgeTempo(event->key() == Qt::Key_Plus ? 1 : -1);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // Over the tempo bar the arrows nudge it as + and - do.
        if (!tempoBar_->underMouse()) {
            QWidget::keyPressEvent(event);
            return;
        }
        nudgeTempo(event->key() == Qt::Key_Right ? 1 : -1);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // The step last pointed at or clicked, as the wheel would move it.
        if (velocityTrack_ >= 0) {
            const int step = event->modifiers().testFlag(Qt::ShiftModifier) ? 1 : kVelocityStep;
            changeVelocity(velocityTrack_, velocityStep_,
                           event->key() == Qt::Key_Up ? step : -step);
        }
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!closeSettled_ && !settleUnsaved([this] {
            closeSettled_ = true;
            close();
        })) {
        event->ignore();
        return;
    }
    // Nothing is painted once the machine is shut down.
    if (news_ != nullptr)
        news_->setEnabled(false);
    // Closing while playing silences at once: the machine stops, ends every note and closes
    // audio and MIDI before the window goes.
    if (auto saved = machine_.shutdown(); !saved)
        std::cerr << "taktwerk: " << saved.error().message << " (" << saved.error().detail << ")\n";
    event->accept();
}

}  // namespace taktwerk::ui
