// The main controls stand where the window's twips table puts them, at 15 twips per pixel,
// times the screen's scale (run once as is and once with QT_SCALE_FACTOR=2). The expected
// figures are written out here from the table, independently of the window's own constants.

#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace taktwerk::ui {
namespace {

struct Twips {
    int left, top, width, height;
};

class NoQuestions final : public Questions {
public:
    bool askYesNo(QWidget*, const QString&) override { return false; }
    Answer askYesNoCancel(QWidget*, const QString&) override { return Answer::Cancel; }
    void tell(QWidget*, const QString&) override {}
};

// The scale the test runs at, from the environment, so that a window that ignored it fails.
double expectedScale()
{
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    return factor.isEmpty() ? 1.0 : factor.toDouble();
}

// A rectangle in device pixels: twips to pixels (rounded), then scaled.
QRect devicePixels(const Twips& t, QPoint origin = {})
{
    const double scale = expectedScale();
    auto px = [](int twips) { return (twips + 7) / 15; };
    const QRect logical(origin.x() + px(t.left), origin.y() + px(t.top), px(t.width), px(t.height));
    return QRect(static_cast<int>(std::lround(logical.x() * scale)),
                 static_cast<int>(std::lround(logical.y() * scale)),
                 static_cast<int>(std::lround(logical.width() * scale)),
                 static_cast<int>(std::lround(logical.height() * scale)));
}

QRect onScreen(const QWidget* widget, const QWidget* window)
{
    const double ratio = window->devicePixelRatioF();
    const QPoint at = widget->mapTo(window, QPoint(0, 0));
    return QRect(static_cast<int>(std::lround(at.x() * ratio)),
                 static_cast<int>(std::lround(at.y() * ratio)),
                 static_cast<int>(std::lround(widget->width() * ratio)),
                 static_cast<int>(std::lround(widget->height() * ratio)));
}

struct Fixture {
    Fixture()
    {
        window = std::make_unique<MainWindow>(machine, questions);
        window->show();
    }
    app::DrumMachine machine;
    NoQuestions questions;
    std::unique_ptr<MainWindow> window;
};

TEST(Geometry, RunsAtTheScaleAsked)
{
    Fixture f;
    EXPECT_DOUBLE_EQ(f.window->devicePixelRatioF(), expectedScale());
    // Client area: the full view's outer 15990 x 8400 less the 105 x 420 frame, and the
    // groove strip of 585 below it: no more than 40 pixels at 100 %.
    const QImage shot = f.window->grab().toImage();
    EXPECT_EQ(shot.size(), devicePixels({0, 0, 15885, 7980 + 585}).size());
    EXPECT_LE(shot.height() - devicePixels({0, 0, 15885, 7980}).height(),
              static_cast<int>(std::lround(40 * expectedScale())));
}

TEST(Geometry, MainControlsStandWhereTheTableSays)
{
    Fixture f;
    const MainWindow* w = f.window.get();
    const struct {
        const char* name;
        QWidget* widget;
        Twips rect;
    } controls[] = {
        {"cmdFiles", w->filesButton(), {120, 120, 1110, 450}},
        {"cmdSettings", w->settingsButton(), {120, 660, 1095, 360}},
        {"chkMode", w->modeBox(), {1320, 90, 1095, 435}},
        {"chkIntro", w->introBox(), {1320, 690, 825, 285}},
        {"frmInterval", w->intervalFrame(), {2430, 150, 1935, 855}},
        {"frmBeat", w->beatFrame(), {4470, 150, 2280, 855}},
        {"picContainer2", w->tempoContainer(), {6750, 60, 9075, 1005}},
        {"picBack", w->gridPanel(), {1320, 1095, 13665, 6795}},
        {"picContainer3", w->muteContainer(), {15030, 1200, 825, 6675}},
        {"cmdBass", w->padButton(0), {120, 1110, 1095, 765}},
        {"cmdOpHH", w->padButton(3), {120, 3780, 1095, 795}},
        {"cmdTom3", w->padButton(8), {120, 7380, 1095, 495}},
        {"groove strip", w->grooveStrip(), {0, 7980, 15885, 585}},
    };
    for (const auto& c : controls)
        EXPECT_EQ(onScreen(c.widget, w), devicePixels(c.rect)) << c.name;

    // Inside the tempo panel and its frame.
    const QPoint container2 = w->tempoContainer()->mapTo(w, QPoint(0, 0));
    EXPECT_EQ(onScreen(w->tapButton(), w), devicePixels({4770, 45, 2055, 900}, container2));
    EXPECT_EQ(onScreen(w->runButton(), w), devicePixels({6975, 45, 2055, 900}, container2));
    const QPoint bpmFrame = container2 + QPoint((90 + 7) / 15, (90 + 7) / 15);
    EXPECT_EQ(onScreen(w->tempoBar(), w), devicePixels({180, 450, 4215, 255}, bpmFrame));
    EXPECT_EQ(onScreen(w->tempoLabel(), w), devicePixels({735, 120, 3135, 405}, bpmFrame));
    const QPoint intervalFrame = w->intervalFrame()->mapTo(w, QPoint(0, 0));
    EXPECT_EQ(onScreen(w->intervalOption(2), w),
              devicePixels({1350, 330, 435, 285}, intervalFrame));

    // The grid stands inside picBack's 2-pixel border.
    const QPoint grid = w->gridPanel()->mapTo(w, QPoint(2, 2));
    EXPECT_EQ(onScreen(w->stepButton(0, 0), w), devicePixels({120, 120, 375, 495}, grid));
    EXPECT_EQ(onScreen(w->stepButton(4, 31), w), devicePixels({13140, 3720, 375, 495}, grid));
    EXPECT_EQ(onScreen(w->stepButton(8, 17), w),
              devicePixels({120 + 420 * 17, 6300, 375, 345}, grid));

    const QPoint mutes = w->muteContainer()->mapTo(w, QPoint(0, 0));
    EXPECT_EQ(onScreen(w->muteButton(0), w), devicePixels({30, 60, 735, 480}, mutes));
    EXPECT_EQ(onScreen(w->muteButton(8), w), devicePixels({30, 6210, 735, 360}, mutes));
}

TEST(Geometry, ColoursArePaintedFlatAtEveryScale)
{
    Fixture f;
    const QImage shot = f.window->grab().toImage();
    const double scale = expectedScale();
    auto at = [&](int xTwips, int yTwips) {
        return shot.pixelColor(static_cast<int>(std::lround((xTwips + 7) / 15 * scale)),
                               static_cast<int>(std::lround((yTwips + 7) / 15 * scale)));
    };
    // The middle of a set step, an unset step, a mute, the grid panel, the window.
    EXPECT_EQ(at(1320 + 30 + 120 + 60, 1095 + 30 + 120 + 60), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(at(1320 + 30 + 540 + 60, 1095 + 30 + 120 + 60), QColor(0x00, 0x00, 0x80));
    EXPECT_EQ(at(15030 + 30 + 60, 1200 + 60 + 60), QColor(0x00, 0x80, 0x00));
    EXPECT_EQ(at(1320 + 30 + 5000, 1095 + 30 + 700), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(at(15500, 7950), QColor(0x80, 0x80, 0x80));
    // The lower panel behind the crash and tom rows is black between the rows.
    EXPECT_EQ(at(1320 + 30 + 5000, 1095 + 30 + 4440 + 45), QColor(0x00, 0x00, 0x00));
}

}  // namespace
}  // namespace taktwerk::ui
