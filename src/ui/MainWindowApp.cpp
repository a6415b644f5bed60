#include "ui/MainWindowApp.h"

#include "app/DrumMachine.h"
#include "app/FirstStart.h"
#include "app/LivePlayback.h"
#include "app/Settings.h"
#include "ui/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/QuitSignals.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

namespace taktwerk::ui {

namespace {

struct WindowOptions {
    std::optional<QString> screenshot;            // render to this PNG and exit
    std::optional<std::filesystem::path> rhythm;  // the screenshot shows this rhythm file
    bool beginner = false;
};

std::optional<WindowOptions> parseOptions(int argc, char** argv)
{
    WindowOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--screenshot" && i + 1 < argc) {
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--rhythm" && i + 1 < argc) {
            options.rhythm = std::filesystem::path(argv[++i]);
        } else if (arg == "--beginner") {
            options.beginner = true;
        } else {
            std::cerr << "taktwerk: unknown option \"" << arg
                      << "\" (taktwerk --help lists what the program can do)\n";
            return std::nullopt;
        }
    }
    return options;
}

bool hasDisplay()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // A platform chosen by hand (offscreen, vnc, ...) needs no display server.
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int takeScreenshot(app::DrumMachine& machine, MainWindow& window, const QString& path,
                   bool beginner, const std::optional<std::filesystem::path>& rhythm)
{
    if (beginner) {
        machine.setBeginner(true);
        window.refreshAll();
    }
    if (rhythm) {
        // A missing file would show the empty default rhythm: surely not what was asked for.
        std::error_code error;
        if (!std::filesystem::is_regular_file(*rhythm, error)) {
            std::cerr << "taktwerk: no rhythm file " << rhythm->string() << '\n';
            return 1;
        }
        if (auto loaded = window.loadRhythm(*rhythm); !loaded) {
            std::cerr << "taktwerk: " << loaded.error().message << '\n';
            return 1;
        }
    }
    window.show();
    QApplication::processEvents();
    const QPixmap shot = window.grab();
    if (!shot.save(path, "PNG")) {
        std::cerr << "taktwerk: could not write the screenshot to " << path.toStdString()
                  << " (check that the folder exists and is writable)\n";
        return 1;
    }
    return 0;
}

}  // namespace

// The same look on every desktop: the flat colours are ours, and the few controls the style
// draws (check boxes, option buttons, the scroll bar) should not change with the theme.
void prepareApplication(QApplication& application)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        application.setStyle(fusion);
    application.setWindowIcon(artwork::windowIcon());
}

int runMainWindow(int argc, char** argv)
{
    const std::optional<WindowOptions> options = parseOptions(argc, argv);
    if (!options)
        return 2;
    if (options->screenshot) {
        // Rendering to a file needs no display at all.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!hasDisplay()) {
        std::cerr << "taktwerk: no display here (DISPLAY and WAYLAND_DISPLAY are unset); "
                     "try `taktwerk --help` for the headless commands or `taktwerk "
                     "--screenshot window.png` for a picture of the window\n";
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("taktwerk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorrel Taktwerk"));
    QApplication::setDesktopFileName(QStringLiteral("taktwerk"));
    prepareApplication(application);

    MessageBoxQuestions questions;
    if (options->screenshot) {
        app::DrumMachine machine;
        MainWindow window(machine, questions);
        return takeScreenshot(machine, window, *options->screenshot, options->beginner,
                              options->rhythm);
    }

    app::Settings settings = app::InitPaths(app::processEnvironment());
    SingleInstance instance(
        SingleInstance::keyFor(QString::fromStdString(settings.AppDir.string())));
    if (instance.otherRunning())
        return 0;  // the running copy comes to the front instead
    for (const std::string& note : app::LoadSettingsOnStart(settings))
        std::cerr << "taktwerk: " << note << '\n';

    auto playback = std::make_unique<app::LivePlayback>(settings);
    if (!playback->notice().empty())
        std::cerr << "taktwerk: " << playback->notice() << '\n';
    auto machine = std::make_unique<app::DrumMachine>(settings, std::move(playback));
    MainWindow window(*machine, questions);
    const Dialogs dialogs(*machine, window, questions);
    if (settings.ModeSetting == 1) {
        machine->setBeginner(true);
        window.refreshAll();
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    const QuitSignals quitSignals(window);
    window.show();
    window.setFocus();
    const int code = QApplication::exec();
    // Normally the window's close did this already; it matters when the session ends it.
    (void)machine->shutdown();
    return code;
}

}  // namespace taktwerk::ui
