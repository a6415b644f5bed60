#include "core/Descriptors.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace taktwerk::core {

Result<void> writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            return fail({}, std::strerror(errno));
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return {};
}

Result<void> copyFromStart(int from, int to)
{
    if (::lseek(from, 0, SEEK_SET) != 0)
        return fail({}, std::strerror(errno));
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail({}, std::strerror(errno));
        if (got == 0)
            return {};
        if (auto wrote =
                writeAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
            !wrote)
            return wrote;
    }
}

}  // namespace taktwerk::core
