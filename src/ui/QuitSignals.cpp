#include "ui/QuitSignals.h"

#include <QWidget>
#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace taktwerk::ui {

namespace {

std::atomic<int> signalSocket{-1};
constexpr std::array kQuitSignals{SIGTERM, SIGINT, SIGHUP};

extern "C" void onQuitSignal(int /*signal*/)
{
    // Only async-signal-safe work here: one byte to wake the GUI thread.
    const char byte = 1;
    const int socket = signalSocket.load();
    if (socket >= 0)
        (void)::write(socket, &byte, 1);  // a full socket already carries a wake-up
}

}  // namespace

QuitSignals::QuitSignals(QWidget& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_.data()) != 0)
        return;  // without the socket the signals keep their default effect
    signalSocket.store(sockets_[0]);
    notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, &window, [this, &window] {
        char byte = 0;
        (void)::read(sockets_[1], &byte, 1);  // only the wake-up matters, not the byte
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kQuitSignals)
        ::sigaction(signal, &action, nullptr);
    signalSocket.store(-1);
    notifier_.reset();
    for (const int socket : sockets_)
        if (socket >= 0)
            ::close(socket);
}

}  // namespace taktwerk::ui
