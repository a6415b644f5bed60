#pragma once
// The main window's own controls, painted by hand so that every fill is exactly its colour
// whatever the desktop's widget style does with gradients and bevels. GUI thread only.

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QEnterEvent>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWheelEvent>
#include <QWidget>
#include <array>
#include <vector>

namespace taktwerk::ui {

// A push button or a push-button-style toggle: a flat fill, a 3-D border that is raised at
// rest and sunken while pressed or checked, and a centred, word-wrapped caption. Never takes
// the keyboard focus, so no focus rectangle is ever drawn.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(QWidget* parent = nullptr);

    QColor fill() const { return fill_; }
    void setFill(const QColor& colour);
    void setTextColour(const QColor& colour);

signals:
    // Any mouse button pressed on the button (pads, TAP and RUN/STOP act on the press).
    void pressedWith(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QSize sizeHint() const override;

private:
    // Everything a captioned button's pixels depend on.
    struct Look {
        QRgb fill = 0;
        QRgb text = 0;
        bool sunken = false;
        QSize size;
        qreal pixelRatio = 1.0;
        QString caption;
        QFont font;
        bool operator==(const Look&) const = default;
    };
    struct Rendered {
        Look look;
        QPixmap pixmap;
    };
    void paintLook(QPainter& painter, const Look& look) const;

    QColor fill_{0xC0, 0xC0, 0xC0};
    QColor text_{Qt::black};
    // A pad flashes between two fills and the beat light between three, each time laying out
    // a word-wrapped caption that never changed: painting a kept copy costs a blit instead.
    std::array<Rendered, 3> rendered_;
    std::size_t nextRendered_ = 0;
};

// A step toggle: a FlatButton that shows, while checked, its step's velocity as a bar rising
// from the bottom of its box (full velocity fills it), and turns the mouse wheel into
// velocity changes.
class StepButton : public FlatButton {
    Q_OBJECT
public:
    explicit StepButton(QWidget* parent = nullptr);

    int velocity() const { return velocity_; }
    void setVelocity(int velocity);  // 1 ... 127
    // The bar's height in pixels for the box's current size (0 while unchecked).
    int barHeight() const;

signals:
    // The wheel turned by whole notches (up is positive); `fine` while Shift is held.
    void wheelTurned(int notches, bool fine);
    // The mouse pointer came onto the step.
    void hovered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    int velocity_ = 127;  // full velocity, as every step starts
    int wheelRest_ = 0;   // a fine-grained wheel's part of a notch not yet acted on
};

// A check box whose caption wraps onto further lines when it is wider than the box, as
// "Beginner Mode" does in its narrow place; the whole box is clickable.
class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    WrapCheckBox(const QString& text, const QColor& background, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QColor background_;
};

// A plain panel of one colour, optionally with a sunken 2-pixel border.
class FillPanel : public QWidget {
    Q_OBJECT
public:
    explicit FillPanel(const QColor& colour, QWidget* parent = nullptr);
    QColor fill() const { return fill_; }
    void setFill(const QColor& colour);
    void setSunkenBorder(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    bool border_ = false;
};

// A frame with its caption set into an etched border (the meter and tempo groups).
class TitledFrame : public QWidget {
    Q_OBJECT
public:
    TitledFrame(const QString& title, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
};

// A grid panel: its background, the vertical beat lines and the red play-position marker,
// painted behind the step toggles that stand on it.
class LinesPanel : public QWidget {
    Q_OBJECT
public:
    struct Line {
        int x = 0;  // pixels, the line's middle
        QColor colour;
    };
    LinesPanel(const QColor& background, QWidget* parent = nullptr);
    QColor background() const { return background_; }
    void setLines(std::vector<Line> lines);
    const std::vector<Line>& lines() const { return lines_; }
    void setMarker(int x);
    int marker() const { return marker_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect markerRect(int x) const;

    QColor background_;
    std::vector<Line> lines_;
    int marker_ = 0;
};

// A picture panel: a fill with a picture at its top-left corner (logo, animation).
class PicturePanel : public QWidget {
    Q_OBJECT
public:
    PicturePanel(const QColor& background, QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture);
    qint64 pictureKey() const { return picture_.cacheKey(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor background_;
    QPixmap picture_;
};

}  // namespace taktwerk::ui
