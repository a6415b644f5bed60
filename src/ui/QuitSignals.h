#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, `kill`, Ctrl-C in the terminal) close the main window
// as the user's close would: the sound stops at once, every note is ended, audio and MIDI are
// released and "Mode" is written. The signal handler only writes a byte to a socket; the GUI
// thread reads it and closes the window. One per process, owned by runMainWindow.

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <memory>

class QWidget;

namespace taktwerk::ui {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QWidget& window);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::array<int, 2> sockets_{-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace taktwerk::ui
