#pragma once
// Wakeup: how a thread sleeps until another one has news for it, without polling. An eventfd
// counts the news: notify() adds to it, wait() sleeps in poll(2) until there is some (or a
// timeout passes) and takes it back to zero. The descriptor is also what an event loop watches
// (the window's QSocketNotifier), so a GUI sleeps the same way.
//
// notify() is one non-blocking write(2) on the eventfd: no lock in user space, no allocation, no
// waiting, and async-signal-safe. So the audio thread, JACK's notification thread, RtAudio's
// error callback and a signal handler may all call it. Owned by the waiting side; any thread
// notifies, one thread waits.

#include <chrono>

namespace taktwerk::sound {

class Wakeup {
public:
    // Throws std::system_error when the process has no file descriptor left.
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // Any thread, the audio thread and signal handlers included.
    void notify() const noexcept;
    // The waiting thread. Sleeps until news comes or `timeout` has passed (a negative timeout
    // waits for ever), then takes the news: true when there was some. A signal cuts the sleep
    // short (false), so a caller that loops looks at its interrupt flag again.
    bool wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1)) const noexcept;
    // The waiting thread: takes the news without sleeping; true when there was some.
    bool clear() const noexcept;
    // Readable while news waits.
    int fd() const noexcept { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace taktwerk::sound
