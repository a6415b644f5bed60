// A captioned button keeps the pixels of the looks it has shown; whatever changes, the screen
// must show what a button just made in that state shows.

#include "ui/Widgets.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace taktwerk::ui {
namespace {

struct State {
    QColor fill{0xC0, 0xC0, 0xC0};
    QColor text{Qt::black};
    QString caption = QStringLiteral("Hi-Hat offen");
    QSize size{60, 40};
    int pointSize = 9;
    bool down = false;
};

void apply(FlatButton& button, const State& state)
{
    button.setFill(state.fill);
    button.setTextColour(state.text);
    button.setText(state.caption);
    button.resize(state.size);
    QFont font = button.font();
    font.setPointSize(state.pointSize);
    button.setFont(font);
    button.setDown(state.down);
}

QImage shown(FlatButton& button) { return button.grab().toImage(); }

TEST(FlatButton, EveryChangeShowsWhatAFreshButtonShowsAndAReturningLookItsOldPixels)
{
    FlatButton button;
    State state;
    apply(button, state);
    const QImage first = shown(button);
    const std::vector<std::pair<std::string, std::function<void(State&)>>> changes = {
        {"lit", [](State& s) { s.fill = QColor(0xFF, 0x00, 0x00); }},
        {"green", [](State& s) { s.fill = QColor(0x00, 0xFF, 0x00); }},
        {"idle again", [](State& s) { s.fill = QColor(0xC0, 0xC0, 0xC0); }},
        {"pressed", [](State& s) { s.down = true; }},
        {"released", [](State& s) { s.down = false; }},
        {"caption", [](State& s) { s.caption = QStringLiteral("Crash"); }},
        {"caption colour", [](State& s) { s.text = QColor(0xFF, 0xFF, 0xFF); }},
        {"font", [](State& s) { s.pointSize = 12; }},
        {"size", [](State& s) { s.size = QSize(80, 30); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change(state);
        apply(button, state);
        FlatButton fresh;
        apply(fresh, state);
        EXPECT_EQ(shown(button), shown(fresh));
        if (what == "idle again") {
            EXPECT_EQ(shown(button), first);
        }
    }
}

}  // namespace
}  // namespace taktwerk::ui
