#include "ui/Artwork.h"

#include "ui/Fonts.h"
#include "ui/Layout.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace taktwerk::ui::artwork {

namespace {

QPixmap canvas(int width, int height, qreal ratio, const QColor& fill)
{
    QPixmap pixmap(static_cast<int>(width * ratio + 0.5), static_cast<int>(height * ratio + 0.5));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(fill);
    return pixmap;
}

const QColor kRed{0xFF, 0x00, 0x00};
const QColor kNavy{0x00, 0x00, 0x80};
const QColor kYellow{0xFF, 0xFF, 0x00};
const QColor kChrome{0xC0, 0xC0, 0xC0};

// A drum seen from the front: shell, two rims and the head's top.
void drawDrum(QPainter& painter, const QRectF& shell, const QColor& colour)
{
    const qreal rim = shell.height() * 0.18;
    painter.setPen(QPen(kChrome, 1.5));
    painter.setBrush(colour);
    painter.drawRect(shell.adjusted(0, rim / 2, 0, -rim / 2));
    painter.setBrush(colour.lighter(130));
    painter.drawEllipse(QRectF(shell.left(), shell.top(), shell.width(), rim));
    painter.setBrush(colour.darker(120));
    painter.drawEllipse(QRectF(shell.left(), shell.bottom() - rim, shell.width(), rim));
}

}  // namespace

QPixmap icon(int pixels, qreal ratio)
{
    QPixmap pixmap = canvas(pixels, pixels, ratio, Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / 32.0, pixels / 32.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x40, 0x40, 0x40));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 4, 4);
    // Four steps by three tracks, a beat line after the second step.
    constexpr bool on[3][4] = {
        {true, false, true, false}, {false, true, false, true}, {true, true, true, true}};
    for (int row = 0; row < 3; ++row) {
        for (int step = 0; step < 4; ++step) {
            painter.setBrush(on[row][step] ? kRed : kNavy);
            painter.drawRect(QRectF(3 + step * 7, 4 + row * 8.5, 5.5, 6.5));
        }
    }
    painter.setBrush(kYellow);
    painter.drawRect(QRectF(16.0, 2, 1.2, 28));
    return pixmap;
}

QIcon windowIcon()
{
    QIcon result;
    for (const int size : {16, 32, 48, 64, 128, 256})
        result.addPixmap(icon(size));
    return result;
}

QPixmap logo(qreal ratio)
{
    const int width = layout::px(layout::kLogo.width);
    const int height = layout::px(layout::kLogo.height);
    QPixmap pixmap = canvas(width, height, ratio, Qt::black);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A row of steps along the bottom, as on the grid.
    const int steps = 16;
    const qreal pitch = (width - 8) / static_cast<qreal>(steps);
    for (int s = 0; s < steps; ++s) {
        const bool hit = s % 4 == 0 || s == 10 || s == 14;
        painter.fillRect(QRectF(4 + s * pitch + 1, height - 14, pitch - 3, 10), hit ? kRed : kNavy);
    }
    painter.fillRect(QRectF(4 + 8 * pitch - 2, height - 16, 2, 14), kYellow);
    QFont title = appFont(26, true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    painter.setFont(title);
    QLinearGradient shine(0, 4, 0, 40);
    shine.setColorAt(0, QColor(0xFF, 0xF0, 0x80));
    shine.setColorAt(1, QColor(0xFF, 0x80, 0x00));
    painter.setPen(QPen(QBrush(shine), 1));
    painter.drawText(QRect(0, 2, width, 36), Qt::AlignHCenter | Qt::AlignVCenter, "TAKTWERK");
    QFont small = appFont(9, true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    painter.setFont(small);
    painter.setPen(kChrome);
    painter.drawText(QRect(0, 35, width, 14), Qt::AlignHCenter | Qt::AlignVCenter,
                     "QUORREL  DRUM MACHINE");
    return pixmap;
}

QPixmap animationFrame(int frame, qreal ratio)
{
    const int width = layout::px(layout::kAnimationFrameWidth);    // 141
    const int height = layout::px(layout::kAnimationFrameHeight);  // 169
    QPixmap pixmap = canvas(width, height, ratio, Qt::black);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool hit = frame == 1;

    // The drummer behind the kit: head, body and arms holding two sticks.
    const QColor skin{0xE8, 0xB8, 0x90};
    const QColor shirt{0x30, 0x60, 0xC0};
    painter.setPen(Qt::NoPen);
    painter.setBrush(shirt);
    painter.drawRoundedRect(QRectF(52, 58, 38, 50), 10, 10);
    painter.setBrush(skin);
    painter.drawEllipse(QRectF(57, 22, 28, 32));
    painter.setBrush(QColor(0x50, 0x30, 0x10));
    painter.drawChord(QRectF(56, 19, 30, 24), 0, 180 * 16);

    // Arms and sticks: raised in frame 0, down on snare and hi-hat in frame 1.
    const QPointF leftShoulder(56, 66);
    const QPointF rightShoulder(86, 66);
    const QPointF leftHand = hit ? QPointF(40, 98) : QPointF(30, 56);
    const QPointF rightHand = hit ? QPointF(98, 96) : QPointF(110, 52);
    const QPointF leftTip = hit ? QPointF(30, 112) : QPointF(20, 26);
    const QPointF rightTip = hit ? QPointF(112, 110) : QPointF(124, 24);
    painter.setPen(QPen(skin, 7, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(leftShoulder, leftHand);
    painter.drawLine(rightShoulder, rightHand);
    painter.setPen(QPen(QColor(0xF0, 0xD8, 0xA0), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(leftHand, leftTip);
    painter.drawLine(rightHand, rightTip);

    // The kit: hi-hat left, snare right, bass drum in front.
    painter.setPen(QPen(kChrome, 2));
    painter.drawLine(QPointF(22, 114), QPointF(22, 160));
    painter.setBrush(QColor(0xD0, 0xB0, 0x30));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(4, hit ? 112 : 108, 38, 6));
    painter.drawEllipse(QRectF(4, 116, 38, 6));
    drawDrum(painter, QRectF(96, 110, 40, 20), QColor(0xC0, 0xC0, 0xC8));
    painter.setPen(QPen(kChrome, 2));
    painter.drawLine(QPointF(116, 130), QPointF(116, 160));
    drawDrum(painter, QRectF(42, 104, 58, 58), QColor(0xB0, 0x10, 0x10));
    painter.setPen(QPen(kChrome, 1.5));
    painter.setBrush(QColor(0xF0, 0xF0, 0xF0));
    painter.drawEllipse(QRectF(56, 120, 30, 30));

    if (hit) {
        // Sparks where the sticks land.
        painter.setPen(QPen(kYellow, 2, Qt::SolidLine, Qt::RoundCap));
        for (const QPointF centre : {leftTip, rightTip}) {
            for (int ray = 0; ray < 5; ++ray) {
                const qreal dx = (ray - 2) * 4.0;
                painter.drawLine(centre + QPointF(dx * 0.6, -5), centre + QPointF(dx, -11));
            }
        }
    }
    return pixmap;
}

}  // namespace taktwerk::ui::artwork
