#pragma once
// What the four dialogs share: the tool-window frame, the place they open at, twips to
// pixels, the texts they exchange with the core and the hidden lists of the sound folder.
// GUI thread only.

#include "ui/Layout.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace taktwerk::ui {

// A small tool window that floats above the main window and never blocks it: no icon, no
// resizing, only a close box, and gone once closed when `deleteOnClose` (the next use makes a
// fresh one). Sized to the client size in twips and placed by PlaceForm.
void makeToolWindow(QWidget* window, const QString& caption, int clientWidthTw, int clientHeightTw,
                    bool deleteOnClose = true);

QRect pixels(const layout::TwipsRect& rect);
inline QColor colourOf(layout::Rgb rgb) { return QColor::fromRgb(rgb); }

// UTF-8 (the core's text) <-> QString.
QString fromUtf8(std::string_view text);
std::string toUtf8(const QString& text);

// A text of the window in the user's language (core::translated): the English text is the
// catalogue's key, so it must be a literal. Named apart from QObject::tr, which every widget
// would find first and which knows nothing of the program's catalogue.
QString qtranslated(const char* english);
QString qtranslated(const char* english, std::initializer_list<QString> values);

// `dirSounds`: the names of the sample-set folders in `soundDir`. `filWave`: the base names of
// the ".wav" files lying directly in it. Both sorted by name without regard to case; a
// missing or unreadable folder gives an empty list.
std::vector<std::string> soundSetFolders(const std::filesystem::path& soundDir);
std::vector<std::string> waveFiles(const std::filesystem::path& soundDir);

}  // namespace taktwerk::ui
