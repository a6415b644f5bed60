#include "ui/DialogSupport.h"

#include "core/Language.h"
#include "core/Paths.h"
#include "rhythms/RhythmLibrary.h"
#include "ui/FormRules.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace taktwerk::ui {

namespace fs = std::filesystem;

void makeToolWindow(QWidget* window, const QString& caption, int clientWidthTw, int clientHeightTw,
                    bool deleteOnClose)
{
    window->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(caption);
    window->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
    window->setFixedSize(layout::px(clientWidthTw), layout::px(clientHeightTw));

    // PlaceForm works in twips on the whole window, frame included.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    const FormPosition at =
        PlaceForm(area.width() * layout::kTwipsPerPixel, area.height() * layout::kTwipsPerPixel,
                  clientWidthTw + layout::kFrameWidthTw, clientHeightTw + layout::kFrameHeightTw);
    window->move(area.left() + layout::px(static_cast<int>(at.left)),
                 area.top() + layout::px(static_cast<int>(at.top)));
}

QRect pixels(const layout::TwipsRect& rect)
{
    return QRect(layout::px(rect.left), layout::px(rect.top), layout::px(rect.width),
                 layout::px(rect.height));
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString qtranslated(const char* english) { return QString::fromUtf8(core::translated(english)); }

QString qtranslated(const char* english, std::initializer_list<QString> values)
{
    std::vector<std::string> texts;
    texts.reserve(values.size());
    for (const QString& value : values)
        texts.push_back(toUtf8(value));
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    return fromUtf8(core::translated(english, views));
}

namespace {

template <typename Keep>
std::vector<std::string> namesIn(const fs::path& folder, Keep keep)
{
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::string name;
        if (keep(*entries, name) && !name.empty())
            names.push_back(std::move(name));
    }
    // A folder that stops being readable halfway lists what was read: the lists are only
    // choices, nothing is lost by a shorter one.
    std::sort(names.begin(), names.end(), [](const std::string& left, const std::string& right) {
        return rhythms::listsBefore(left, right);
    });
    return names;
}

}  // namespace

std::vector<std::string> soundSetFolders(const fs::path& soundDir)
{
    return namesIn(soundDir, [](const fs::directory_entry& entry, std::string& name) {
        std::error_code error;
        if (!entry.is_directory(error))
            return false;
        name = core::utf8FromPath(entry.path().filename());
        return true;
    });
}

std::vector<std::string> waveFiles(const fs::path& soundDir)
{
    return namesIn(soundDir, [](const fs::directory_entry& entry, std::string& name) {
        std::error_code error;
        // Exactly ".wav": a tom's sample is found again as its name + ".wav", so a "Tom.WAV"
        // listed as "Tom" would be a silent choice on a file system that tells case apart.
        if (core::utf8FromPath(entry.path().extension()) != ".wav" || !entry.is_regular_file(error))
            return false;
        name = core::utf8FromPath(entry.path().stem());
        return true;
    });
}

}  // namespace taktwerk::ui
