#include "ui/MainWindowApp.h"

#include "app/DrumMachine.h"
#include "app/FirstStart.h"
#include "app/LiveHostOptions.h"
#include "app/Settings.h"
#include "core/Language.h"
#include "devices/LibraryNoise.h"
#include "ui/Artwork.h"
#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/Questions.h"
#include "ui/QuitSignals.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

namespace taktwerk::ui {

namespace {

struct WindowOptions {
    std::optional<QString> screenshot;  // render to this PNG and exit
    bool beginner = false;
    std::optional<std::filesystem::path> rhythmFile;  // open this rhythm at start
};

std::optional<WindowOptions> parseOptions(int argc, char** argv)
{
    WindowOptions options;
    bool optionsEnded = false;  // after "--" every word is a file, even one starting with "-"
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--screenshot" && i + 1 < argc) {
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (!optionsEnded && arg == "--beginner") {
            options.beginner = true;
        } else if ((optionsEnded || !arg.starts_with("-")) && !options.rhythmFile) {
            options.rhythmFile = std::filesystem::path(arg);
        } else {
            std::cerr
                << "taktwerk: "
                << core::translated(
                       "unknown option \"%s\" (taktwerk --help lists what the program can do)",
                       {arg})
                << '\n';
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

// The cost benchmark (bench/measure-cost) measures the window playing, with no one to click:
// TAKTWERK_BENCH_PRESS_RUN=1 presses RUN once the window is up. No option a user would meet,
// nothing on screen.
bool pressesRunAtStart()
{
    const char* value = std::getenv("TAKTWERK_BENCH_PRESS_RUN");
    return value != nullptr && std::string_view(value) == "1";
}

// A failed load of the file the user named: the reason in a message box, the detail in the log.
void report(Questions& questions, QWidget* parent, const core::Error& error)
{
    if (!error.detail.empty())
        std::cerr << "taktwerk: " << error.message << " (" << error.detail << ")\n";
    questions.tell(parent, fromUtf8(error.message));
}

int takeScreenshot(app::DrumMachine& machine, MainWindow& window, const WindowOptions& options)
{
    // The order of a start: the view first, then the file loaded into it.
    if (options.beginner) {
        machine.setBeginner(true);
        window.refreshAll();
    }
    if (options.rhythmFile) {
        if (auto opened = window.openRhythm(*options.rhythmFile); !opened) {
            const core::Error& error = opened.error();
            std::cerr << "taktwerk: " << error.message
                      << (error.detail.empty() ? "" : " (" + error.detail + ")") << '\n';
            return 2;
        }
    }
    window.show();
    QApplication::processEvents();
    const QPixmap shot = window.grab();
    if (!shot.save(*options.screenshot, "PNG")) {
        std::cerr << "taktwerk: "
                  << core::translated("could not write the screenshot to %s (check that the "
                                      "folder exists and is writable)",
                                      {toUtf8(*options.screenshot)})
                  << '\n';
        return 1;
    }
    return 0;
}

// Wakes a sleeping output the moment the user comes near the window: the pointer entering it
// or any of its controls, a press, a wheel turn, a key, the window coming to the front. A hit
// follows such a touch by far more than the output takes to start, so it lands on time. Sees
// every event of the application, and lets each one pass on.
class WakeOnTouch final : public QObject {
public:
    explicit WakeOnTouch(app::DrumMachine& machine) : machine_(machine)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~WakeOnTouch() override { QCoreApplication::instance()->removeEventFilter(this); }
    WakeOnTouch(const WakeOnTouch&) = delete;
    WakeOnTouch& operator=(const WakeOnTouch&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::WindowActivate:
            machine_.wakeOutput();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    app::DrumMachine& machine_;
};

}  // namespace

// The same look on every desktop: the flat colours are ours, and the few controls the style
// draws (check boxes, option buttons, the scroll bar) should not change with the theme.
void prepareApplication(QApplication& application)
{
    // QApplication has just set every locale category from the environment; where that left
    // the messages in "C" the program's catalogue would go unread.
    core::renewLanguage();
    if (core::currentLanguage() == core::Language::German) {
        // Qt's own buttons (Yes, No, OK) read as the German program's always did: Ja, Nein.
        auto* qtTexts = new QTranslator(&application);
        if (qtTexts->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qtTexts);
        else
            std::cerr << "taktwerk: "
                      << core::translated("Qt's German texts (qtbase_de.qm) are missing; its "
                                          "buttons stay English")
                      << '\n';
    }
    QApplication::setApplicationName(QStringLiteral("taktwerk"));
    // No application display name: Qt would append it to every caption (" — Quorrel
    // Taktwerk"), and the captions are the program's own, word for word.
    QApplication::setDesktopFileName(QStringLiteral("taktwerk"));
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
        std::cerr << "taktwerk: "
                  << core::translated("no display here (DISPLAY and WAYLAND_DISPLAY are unset); "
                                      "try `taktwerk --help` for the headless commands or "
                                      "`taktwerk --screenshot window.png` for a picture of the "
                                      "window")
                  << '\n';
        return 1;
    }

    devices::catchLibraryNoise();
    // While playing, the window repaints a few thin strips eight times a second. Through X's
    // shared memory each flush waits for the server's completion event, which wakes Qt's X
    // reader thread and then the GUI thread once more: measured under Xvfb, a quarter of the
    // window's CPU while playing. The same few kilobytes sent through the socket need no
    // answer. Qt reads only whether the variable is set, so a user's own setting stays as it is.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication application(argc, argv);
    prepareApplication(application);

    MessageBoxQuestions questions;
    if (options->screenshot) {
        app::DrumMachine machine;
        MainWindow window(machine, questions);
        return takeScreenshot(machine, window, *options);
    }

    app::Settings settings = app::InitPaths(app::processEnvironment());
    SingleInstance instance(
        SingleInstance::keyFor(QString::fromStdString(settings.AppDir.string())));
    if (instance.otherRunning(options->rhythmFile))
        return 0;  // the running copy comes to the front (and opens the file) instead
    for (const std::string& note : app::LoadSettingsOnStart(settings))
        std::cerr << "taktwerk: " << note << '\n';

    auto host = app::openLiveHost(settings, app::kWindowSleepAfter);
    if (!host->notice().empty())
        std::cerr << "taktwerk: " << host->notice() << '\n';
    auto machine = std::make_unique<app::DrumMachine>(settings, std::move(host));
    MainWindow window(*machine, questions);
    const Dialogs dialogs(*machine, window, questions);
    if (settings.ModeSetting == 1 || options->beginner) {
        machine->setBeginner(true);
        window.refreshAll();
    }
    const auto toFront = [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    };
    const auto open = [&window, &questions](const std::filesystem::path& file) {
        if (auto opened = window.openRhythm(file); !opened)
            report(questions, &window, opened.error());
    };
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, toFront);
    QObject::connect(&instance, &SingleInstance::openRequested, &window,
                     [toFront, open](const std::filesystem::path& file) {
                         toFront();
                         open(file);
                     });
    const QuitSignals quitSignals(window);
    const WakeOnTouch wakeOnTouch(*machine);
    window.show();
    window.setFocus();
    if (options->rhythmFile)
        open(*options->rhythmFile);
    if (pressesRunAtStart()) {
        QTimer::singleShot(0, &window, [&window] { window.toggleRun(); });
    }
    const int code = QApplication::exec();
    // Normally the window's close did this already; it matters when the session ends it.
    (void)machine->shutdown();
    return code;
}

}  // namespace taktwerk::ui
