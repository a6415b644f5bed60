#include "sound/Wakeup.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace taktwerk::sound {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

Wakeup::~Wakeup() { ::close(fd_); }

void Wakeup::notify() const noexcept
{
    const std::uint64_t one = 1;
    // Fails only when the counter is near 2^64 - 1, that is, when news is waiting anyway.
    (void)!::write(fd_, &one, sizeof one);
}

bool Wakeup::clear() const noexcept
{
    std::uint64_t count = 0;
    return ::read(fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

bool Wakeup::wait(std::chrono::milliseconds timeout) const noexcept
{
    pollfd watched{.fd = fd_, .events = POLLIN, .revents = 0};
    constexpr std::chrono::milliseconds::rep kLongest = std::numeric_limits<int>::max();
    const int ms = timeout.count() < 0 ? -1 : static_cast<int>(std::min(timeout.count(), kLongest));
    if (::poll(&watched, 1, ms) <= 0)
        return false;  // timed out, or a signal came first
    return clear();
}

}  // namespace taktwerk::sound
