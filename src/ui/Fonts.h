#pragma once
// The window's typeface: Arial where it is installed, else Liberation Sans, which has Arial's
// metrics, so captions wrap and fit as designed. GUI thread only (needs the application).

#include <QFont>
#include <QFontDatabase>
#include <QString>

namespace taktwerk::ui {

inline QString appFontFamily()
{
    static const QString family =
        QFontDatabase::hasFamily("Arial") ? QString("Arial") : QString("Liberation Sans");
    return family;
}

// Sizes are pixels at 100 % scale (points at 96 dpi), independent of the screen's dpi setting.
inline QFont appFont(int pixels, bool bold)
{
    QFont font(appFontFamily());
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

}  // namespace taktwerk::ui
