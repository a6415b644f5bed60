#include "playback/ThrottledCount.h"

#include "core/Language.h"

namespace taktwerk::playback {

std::string ThrottledCount::report(std::uint64_t count, Clock::time_point now)
{
    const std::uint64_t total = base_ + count;
    if (total <= shown_ || (lastLine_ && now - *lastLine_ < every_))
        return {};
    std::string line =
        core::translated(format_, {std::to_string(total - shown_), std::to_string(total)});
    shown_ = total;
    lastLine_ = now;
    return line;
}

}  // namespace taktwerk::playback
