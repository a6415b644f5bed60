#pragma once
// The program's pictures, drawn with QPainter at the device-pixel ratio asked for so that they
// stay sharp on high-density screens: the window icon (32 x 32), the logo (4320 x 975 twips)
// and the two animation frames of the beginner view (2115 x 2535 twips). GUI thread only.

#include <QIcon>
#include <QPixmap>

namespace taktwerk::ui::artwork {

QPixmap icon(int pixels, qreal devicePixelRatio = 1.0);
QIcon windowIcon();
QPixmap logo(qreal devicePixelRatio);
// Frame 0: sticks raised; frame 1: sticks on the drums.
QPixmap animationFrame(int frame, qreal devicePixelRatio);

}  // namespace taktwerk::ui::artwork
