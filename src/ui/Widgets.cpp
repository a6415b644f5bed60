#include "ui/Widgets.h"

#include "pattern/Pattern.h"
#include "ui/Layout.h"
#include "ui/Looks.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <algorithm>
#include <cmath>
#include <utility>

namespace taktwerk::ui {

namespace {

const QColor kHighlight{0xFF, 0xFF, 0xFF};
const QColor kLight{0xE0, 0xE0, 0xE0};
const QColor kShadow{0x80, 0x80, 0x80};
const QColor kDarkShadow{0x00, 0x00, 0x00};
constexpr int kEdgePixels = 2;  // drawEdge's width

// The classic two-pixel 3-D edge: raised is light above and left, dark below and right;
// sunken is the reverse.
void drawEdge(QPainter& painter, const QRect& rect, bool sunken)
{
    const QColor outerTopLeft = sunken ? kShadow : kLight;
    const QColor innerTopLeft = sunken ? kDarkShadow : kHighlight;
    const QColor outerBottomRight = sunken ? kHighlight : kDarkShadow;
    const QColor innerBottomRight = sunken ? kLight : kShadow;
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int b = rect.bottom();
    painter.setPen(outerTopLeft);
    painter.drawLine(l, t, r - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(outerBottomRight);
    painter.drawLine(l, b, r, b);
    painter.drawLine(r, t, r, b);
    painter.setPen(innerTopLeft);
    painter.drawLine(l + 1, t + 1, r - 2, t + 1);
    painter.drawLine(l + 1, t + 1, l + 1, b - 2);
    painter.setPen(innerBottomRight);
    painter.drawLine(l + 1, b - 1, r - 1, b - 1);
    painter.drawLine(r - 1, t + 1, r - 1, b - 1);
}

}  // namespace

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FlatButton::setFill(const QColor& colour)
{
    if (colour == fill_)
        return;
    fill_ = colour;
    update();
}

void FlatButton::setTextColour(const QColor& colour)
{
    text_ = colour;
    update();
}

QSize FlatButton::sizeHint() const { return size(); }

void FlatButton::mousePressEvent(QMouseEvent* event)
{
    emit pressedWith(event->button());
    QAbstractButton::mousePressEvent(event);
}

void FlatButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, fill_);
    const bool sunken = isDown() || isChecked();
    drawEdge(painter, area, sunken);
    if (text().isEmpty())
        return;
    painter.setFont(font());
    painter.setPen(text_);
    // A pressed button's caption moves one pixel down and right, as if pushed in.
    const QRect textArea = area.adjusted(3, 2, -3, -2).translated(sunken ? 1 : 0, sunken ? 1 : 0);
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextWordWrap, text());
}

StepButton::StepButton(QWidget* parent) : FlatButton(parent) {}

void StepButton::setVelocity(int velocity)
{
    if (velocity == velocity_)
        return;
    velocity_ = velocity;
    update();
}

int StepButton::barHeight() const
{
    if (!isChecked())
        return 0;
    const int inside = height() - 2 * kEdgePixels;
    // At least a pixel: the quietest step must not look unset.
    return std::clamp(static_cast<int>(std::lround(inside * velocity_ /
                                                   static_cast<double>(pattern::kMaxVelocity))),
                      1, inside);
}

void StepButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, fill());
    if (isChecked()) {
        const QRect inside = area.adjusted(kEdgePixels, kEdgePixels, -kEdgePixels, -kEdgePixels);
        painter.fillRect(inside.adjusted(0, 0, 0, -barHeight()),
                         QColor::fromRgb(layout::kStepHeadroomColour));
    }
    drawEdge(painter, area, isDown() || isChecked());
}

void StepButton::wheelEvent(QWheelEvent* event)
{
    // Some desktops turn Shift+wheel into a sideways wheel.
    const QPoint delta = event->angleDelta();
    wheelRest_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRest_ -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        emit wheelTurned(notches, event->modifiers().testFlag(Qt::ShiftModifier));
    event->accept();
}

void StepButton::enterEvent(QEnterEvent* event)
{
    emit hovered();
    FlatButton::enterEvent(event);
}

WrapCheckBox::WrapCheckBox(const QString& text, const QColor& background, QWidget* parent)
    : QCheckBox(text, parent), background_(background)
{
    setFocusPolicy(Qt::NoFocus);
}

bool WrapCheckBox::hitButton(const QPoint& position) const { return rect().contains(position); }

void WrapCheckBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int size = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    option.rect = QRect(0, (height() - size) / 2, size, size);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
    painter.setFont(font());
    painter.setPen(Qt::white);
    const QRect textArea = rect().adjusted(size + spacing, 0, 0, 0);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text());
}

FillPanel::FillPanel(const QColor& colour, QWidget* parent) : QWidget(parent), fill_(colour)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FillPanel::setFill(const QColor& colour)
{
    fill_ = colour;
    update();
}

void FillPanel::setSunkenBorder(bool on)
{
    border_ = on;
    update();
}

void FillPanel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), fill_);
    if (border_)
        drawEdge(painter, rect(), true);
}

TitledFrame::TitledFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TitledFrame::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(layout::kWindowColour));
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    // Etched: a dark line with a light one just inside it.
    const QRect box = rect().adjusted(0, lineY, -1, -1);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(kHighlight);
    painter.drawRect(box.adjusted(1, 1, 0, 0));
    const int textLeft = 6;
    const QRect textRect(textLeft, 0, metrics.horizontalAdvance(title_) + 2, metrics.height());
    painter.fillRect(textRect, QColor(layout::kWindowColour));
    painter.setPen(Qt::white);
    painter.drawText(textRect.translated(1, 0), Qt::AlignLeft | Qt::AlignVCenter, title_);
}

LinesPanel::LinesPanel(const QColor& background, QWidget* parent)
    : QWidget(parent), background_(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LinesPanel::setLines(std::vector<Line> lines)
{
    lines_ = std::move(lines);
    update();
}

QRect LinesPanel::markerRect(int x) const
{
    return {x - layout::kMarkerPixels / 2, 0, layout::kMarkerPixels, height()};
}

void LinesPanel::setMarker(int x)
{
    if (x == marker_)
        return;
    // Only the two strips repaint, and with them the two columns of step toggles they cross;
    // the rest of the grid stays as it is.
    update(markerRect(marker_));
    marker_ = x;
    update(markerRect(marker_));
}

void LinesPanel::paintEvent(QPaintEvent* /*event*/)
{
    // Qt clips the painter to the part that needs it, so a marker's move repaints two strips.
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    // Lines and marker are drawn centred on their x, full height, behind the toggles.
    for (const Line& line : lines_)
        painter.fillRect(line.x - layout::kLinePixels / 2, 0, layout::kLinePixels, height(),
                         line.colour);
    painter.fillRect(markerRect(marker_), QColor::fromRgb(layout::kPlayMarkerColour));
}

PicturePanel::PicturePanel(const QColor& background, QWidget* parent)
    : QWidget(parent), background_(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PicturePanel::setPicture(const QPixmap& picture)
{
    if (picture.cacheKey() == picture_.cacheKey())
        return;
    picture_ = picture;
    update();
}

void PicturePanel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    // The artwork is drawn at device resolution, so it stays sharp at any scale.
    painter.drawPixmap(QRect(QPoint(0, 0), picture_.deviceIndependentSize().toSize()), picture_);
}

}  // namespace taktwerk::ui
