#include "ui/Widgets.h"

#include "pattern/Pattern.h"
#include "ui/Layout.h"
#include "ui/Looks.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
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
    // One-pixel fills rather than lines: the same pixels, but the raster engine fills a rectangle
    // through its clip at once, where a pen's line is stroked first. A step's repaint draws this
    // edge for every button it touches.
    painter.fillRect(l, t, r - l, 1, outerTopLeft);
    painter.fillRect(l, t, 1, b - t, outerTopLeft);
    painter.fillRect(l, b, r - l + 1, 1, outerBottomRight);
    painter.fillRect(r, t, 1, b - t + 1, outerBottomRight);
    painter.fillRect(l + 1, t + 1, r - l - 2, 1, innerTopLeft);
    painter.fillRect(l + 1, t + 1, 1, b - t - 2, innerTopLeft);
    painter.fillRect(l + 1, b - 1, r - l - 1, 1, innerBottomRight);
    painter.fillRect(r - 1, t + 1, 1, b - t - 1, innerBottomRight);
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
    const bool sunken = isDown() || isChecked();
    if (text().isEmpty()) {
        painter.fillRect(rect(), fill_);
        drawEdge(painter, rect(), sunken);
        return;
    }
    const Look look{fill_.rgba(),        text_.rgba(), sunken, size(),
                    devicePixelRatioF(), text(),       font()};
    auto kept = std::find_if(rendered_.begin(), rendered_.end(),
                             [&](const Rendered& entry) { return entry.look == look; });
    if (kept == rendered_.end()) {
        kept = rendered_.begin() + static_cast<std::ptrdiff_t>(nextRendered_);
        nextRendered_ = (nextRendered_ + 1) % rendered_.size();
        kept->look = look;
        kept->pixmap = QPixmap(look.size * look.pixelRatio);
        kept->pixmap.setDevicePixelRatio(look.pixelRatio);
        QPainter onPixmap(&kept->pixmap);
        paintLook(onPixmap, look);
    }
    painter.drawPixmap(0, 0, kept->pixmap);
}

void FlatButton::paintLook(QPainter& painter, const Look& look) const
{
    const QRect area(QPoint(0, 0), look.size);
    painter.fillRect(area, QColor::fromRgba(look.fill));
    drawEdge(painter, area, look.sunken);
    painter.setFont(look.font);
    painter.setPen(QColor::fromRgba(look.text));
    // A pressed button's caption moves one pixel down and right, as if pushed in.
    const int shift = look.sunken ? 1 : 0;
    const QRect textArea = area.adjusted(3, 2, -3, -2).translated(shift, shift);
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextWordWrap, look.caption);
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
    // Only what shows of the two strips repaints: the marker lies behind the step toggles, so
    // where one covers it nothing on screen changes, and a toggle left out of the region is not
    // painted again. Eight times a second that is eighteen toggles less to paint each time.
    QRegion changed = QRegion(markerRect(marker_)) + markerRect(x);
    marker_ = x;
    // Asked by class, not by Qt::WA_OpaquePaintEvent: a button's fill covers all of it, but the
    // attribute does not survive the application style's polish. The toggles on the lower panel
    // are its later siblings, standing on it, rather than its children.
    // Only the buttons the strips cross are taken out: each cut costs a region operation, and
    // all 288 toggles would cost more than painting the few again.
    const QRect strips = changed.boundingRect();
    const auto uncover = [&changed, &strips](const QObject* object, QPoint origin) {
        if (!object->isWidgetType())
            return;
        const QRect area = static_cast<const QWidget*>(object)->geometry().translated(-origin);
        if (!area.intersects(strips))
            return;  // the cheap test first: most toggles lie elsewhere
        const auto* button = qobject_cast<const FlatButton*>(object);
        if (button != nullptr && button->isVisible() && changed.intersects(area))
            changed -= area;
    };
    for (const QObject* child : children())
        uncover(child, {});
    if (const QWidget* parent = parentWidget()) {
        const QObjectList& siblings = parent->children();
        for (qsizetype at = siblings.indexOf(this) + 1; at < siblings.size(); ++at)
            uncover(siblings.at(at), pos());
    }
    update(changed);
}

void LinesPanel::paintEvent(QPaintEvent* event)
{
    // Qt clips the painter to the part that needs it, so a marker's move repaints two strips.
    // Each fill is cut against that clip, many small pieces, so the lines that lie wholly
    // outside it are not drawn at all.
    const QRect dirty = event->rect();
    QPainter painter(this);
    painter.fillRect(dirty, background_);
    // Lines and marker are drawn centred on their x, full height, behind the toggles.
    for (const Line& line : lines_) {
        const QRect strip(line.x - layout::kLinePixels / 2, 0, layout::kLinePixels, height());
        if (strip.intersects(dirty))
            painter.fillRect(strip, line.colour);
    }
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
