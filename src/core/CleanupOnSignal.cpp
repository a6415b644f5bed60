#include "core/CleanupOnSignal.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace taktwerk::core {

namespace {

// More than the most temporaries the program ever holds at once (a sample set of fourteen
// files, its folder and the extra toms).
constexpr std::size_t kSlots = 32;

enum SlotState : int { kFree = 0, kFilling = 1, kFile = 2, kFolder = 3 };

struct Slot {
    std::atomic<int> state{kFree};
    std::array<char, PATH_MAX> path{};
};

std::array<Slot, kSlots> slots;

constexpr std::array kFatalSignals{SIGINT, SIGTERM, SIGHUP};

// One folder level of files, removed with system calls only (getdents64 instead of readdir,
// which may allocate): our temporary folders never hold folders of their own.
void removeFolder(const char* path) noexcept
{
    const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (folder >= 0) {
        alignas(8) static char entries[4096];  // only the handler uses it, and it runs once
        for (;;) {
            const long got = ::syscall(SYS_getdents64, folder, entries, sizeof entries);
            if (got <= 0)
                break;
            for (long at = 0; at < got;) {
                // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name
                unsigned short length = 0;
                std::memcpy(&length, entries + at + 16, sizeof length);
                const char* name = entries + at + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                    (void)::unlinkat(folder, name, 0);  // nothing to do about a failure now
                at += length;
            }
        }
        ::close(folder);
    }
    (void)::rmdir(path);
}

extern "C" void onFatalSignal(int signal)
{
    removeRegisteredTemporaries();
    // End the way the signal would have ended us, so callers see the usual status.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

}  // namespace

CleanupOnSignal::CleanupOnSignal(const std::filesystem::path& path, bool folder)
{
    const std::string& text = path.native();
    if (text.size() >= PATH_MAX)
        return;
    for (std::size_t i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kFilling))
            continue;
        std::memcpy(slots[i].path.data(), text.c_str(), text.size() + 1);
        slots[i].state.store(folder ? kFolder : kFile);
        slot_ = static_cast<int>(i);
        return;
    }
}

CleanupOnSignal::~CleanupOnSignal() { release(); }

CleanupOnSignal::CleanupOnSignal(CleanupOnSignal&& other) noexcept : slot_(other.slot_)
{
    other.slot_ = -1;
}

CleanupOnSignal& CleanupOnSignal::operator=(CleanupOnSignal&& other) noexcept
{
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void CleanupOnSignal::release() noexcept
{
    if (slot_ >= 0)
        slots[static_cast<std::size_t>(slot_)].state.store(kFree);
    slot_ = -1;
}

void removeRegisteredTemporaries() noexcept
{
    // Files first: a folder is only removed once it is empty.
    for (const int kind : {kFile, kFolder}) {
        for (Slot& slot : slots) {
            if (slot.state.load() != kind)
                continue;
            if (kind == kFile)
                (void)::unlink(slot.path.data());
            else
                removeFolder(slot.path.data());
        }
    }
}

void removeTemporariesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals)
        sigaddset(&action.sa_mask, signal);  // one removal at a time
    for (const int signal : kFatalSignals)
        ::sigaction(signal, &action, nullptr);
}

}  // namespace taktwerk::core
