#pragma once
// Whole writes to a file descriptor that may be a pipe: a pipe takes a write in parts and a
// signal may interrupt it, and neither may cut a file short. Any thread but the audio thread.

#include "core/Result.h"

#include <string_view>

namespace taktwerk::core {

// Writes all of `bytes` to `fd`. The failure's detail is the system's reason.
Result<void> writeAll(int fd, std::string_view bytes);

// Copies everything in `from` (a file it can seek in) from its start to `to`.
Result<void> copyFromStart(int from, int to);

}  // namespace taktwerk::core
