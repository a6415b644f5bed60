#include "ui/MainWindowApp.h"

#include "app/Commands.h"
#include "app/DrumMachine.h"
#include "app/Settings.h"
#include "rhythms/StarterRhythms.h"
#include "ui/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

namespace taktwerk::ui {

namespace {

struct WindowOptions {
    std::optional<QString> screenshot;  // render to this PNG and exit
    bool beginner = false;
};

std::optional<WindowOptions> parseOptions(int argc, char** argv)
{
    WindowOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--screenshot" && i + 1 < argc) {
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
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

// The same look on every desktop: the flat colours are ours, and the few controls the style
// draws (check boxes, option buttons, the scroll bar) should not change with the theme.
void useOwnStyle(QApplication& application)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        application.setStyle(fusion);
    application.setWindowIcon(artwork::windowIcon());
}

int takeScreenshot(app::DrumMachine& machine, MainWindow& window, const QString& path,
                   bool beginner)
{
    if (beginner) {
        machine.setBeginner(true);
        window.refreshAll();
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

// The folders and the settings file. A rhythm folder made just now gets the starter library;
// one the user has emptied stays empty.
app::Settings startUpSettings()
{
    const app::Environment environment = app::processEnvironment();
    app::Settings settings = app::InitPaths(environment);
    const bool newRhythmFolder = !app::DirExists(settings.RhythmDir);
    app::LoadSettings(settings);
    if (newRhythmFolder) {
        if (const auto starter = rhythms::findStarterRhythms(environment.executable.parent_path()))
            if (auto copied = rhythms::installStarterRhythms(*starter, settings.RhythmDir); !copied)
                std::cerr << "taktwerk: " << copied.error().message << '\n';
    }
    return settings;
}

}  // namespace

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
    useOwnStyle(application);

    MessageBoxQuestions questions;
    if (options->screenshot) {
        app::DrumMachine machine;
        MainWindow window(machine, questions);
        return takeScreenshot(machine, window, *options->screenshot, options->beginner);
    }

    SingleInstance instance(SingleInstance::keyFor(QCoreApplication::applicationDirPath()));
    if (instance.otherRunning())
        return 0;  // the running copy comes to the front instead

    auto machine = std::make_unique<app::DrumMachine>();
    machine->setSettings(startUpSettings());
    MainWindow window(*machine, questions);
    Dialogs dialogs(*machine, window, questions);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.show();
    window.setFocus();
    const int code = QApplication::exec();
    machine->shutdown();
    return code;
}

}  // namespace taktwerk::ui
