// The window on a real X server: what the screen shows of a step set, undone and redone, taken
// from the screen itself rather than from the widget's own painting. Runs under Xvfb (see
// CMakeLists.txt); skipped on the offscreen platform, which has no screen to grab.

#include "app/FakeHost.h"  // tests/app
#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/Widgets.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace taktwerk::ui {
namespace {

const QColor kRed{0xFF, 0x00, 0x00};
const QColor kNavy{0x00, 0x00, 0x80};

class NoQuestions final : public Questions {
public:
    bool askYesNo(QWidget*, const QString&) override { return false; }
    Answer askYesNoCancel(QWidget*, const QString&) override { return Answer::Cancel; }
    void tell(QWidget*, const QString&) override {}
};

// The colour the screen shows inside the step, away from its border.
QColor onScreen(const MainWindow& window, const QWidget& step)
{
    QTest::qWait(100);  // the X server has drawn what was sent
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    const QImage image = shot.toImage();
    const QPoint at = step.mapTo(&window, QPoint(4, step.height() / 2));
    const qreal ratio = shot.devicePixelRatio();
    return image.pixelColor(static_cast<int>(at.x() * ratio), static_cast<int>(at.y() * ratio));
}

TEST(UndoOnScreen, AStepSetUndoneAndRedoneShowsNavyRedNavyRed)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "needs a real X server";
    testing::HostLog log;
    app::DrumMachine machine(app::Settings{}, std::make_unique<testing::FakeHost>(log));
    NoQuestions questions;
    MainWindow window(machine, questions);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    StepButton* step = window.stepButton(1, 6);
    ASSERT_FALSE(machine.StepIsOn(1, 6));

    EXPECT_EQ(onScreen(window, *step), kNavy);
    QTest::mouseClick(step, Qt::LeftButton);
    EXPECT_EQ(onScreen(window, *step), kRed);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(onScreen(window, *step), kNavy);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(onScreen(window, *step), kRed);
    (void)machine.shutdown(app::ViewSetting::Keep);
}

}  // namespace
}  // namespace taktwerk::ui
