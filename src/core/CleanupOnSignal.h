#pragma once
// Temporaries that Ctrl-C, a `kill` or a closed terminal must not leave behind: while a file or
// a folder is being written under a temporary name, it is registered here, and the handlers
// removeTemporariesOnSignals() installs remove every registered one before the process ends by
// the signal. The registry is process-wide because a signal handler can reach nothing else; it
// holds a fixed number of entries in static storage, so registering never allocates and the
// handler only makes system calls. Any thread may register; a temporary that finds the registry
// full is left to the stale-temporary sweep at the next start (AtomicFile.h).

#include <filesystem>

namespace taktwerk::core {

// Registers `path` (a file, or a folder holding only files) from construction to destruction.
class CleanupOnSignal {
public:
    CleanupOnSignal() = default;
    explicit CleanupOnSignal(const std::filesystem::path& path, bool folder = false);
    ~CleanupOnSignal();
    CleanupOnSignal(CleanupOnSignal&& other) noexcept;
    CleanupOnSignal& operator=(CleanupOnSignal&& other) noexcept;
    CleanupOnSignal(const CleanupOnSignal&) = delete;
    CleanupOnSignal& operator=(const CleanupOnSignal&) = delete;

    // The path is no temporary any more (it was renamed into place or removed).
    void release() noexcept;

private:
    int slot_ = -1;
};

// SIGINT, SIGTERM and SIGHUP remove the registered temporaries and then end the process by the
// same signal, as it would have ended without us (a shell sees 130 after Ctrl-C).
void removeTemporariesOnSignals();

// What the handler does, callable from a test: removes every registered temporary.
void removeRegisteredTemporaries() noexcept;

}  // namespace taktwerk::core
